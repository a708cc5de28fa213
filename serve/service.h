// The service's answers over one session: a request comes in as method, path, decoded
// parameters and the headers that matter, and leaves as a status, a type, headers and a
// body. Answering is two steps, so that whatever is wrong is refused at once and only a
// checked request ever waits for the session: prepare() reads and checks the request and
// answers everything that needs no drawing (errors, the capabilities, "not modified");
// what needs drawing comes back as a job, which complete() answers when its turn comes.
//
// Paths are routed by a table: /wms is the map service; other services over the same
// session add their paths with route() (the enquiry and its report, the page).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "project/session.h"
#include "serve/layers.h"
#include "serve/parameters.h"
#include "serve/wms_request.h"

namespace serve {

struct Request {
    std::string method; // GET, HEAD, or POST where the path takes posts; the server refuses others
    std::string path;
    Parameters parameters;
    std::string if_none_match;
    std::string host;   // the Host header, for the addresses the capabilities give
    bool https = false; // a proxy in front says the client came by HTTPS (X-Forwarded-Proto)
    // A file the client sent (POST, on a path that takes them), in a private temporary
    // folder, and the name the client gave it (plain characters only); empty: none.
    std::string upload_file;
    std::string upload_name;
};

struct Response {
    int status = 200;
    std::string content_type;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

// How long a map may take to draw before it is given up (503).
inline constexpr std::chrono::milliseconds kRenderLimit{10'000};
// How long a client is asked to wait before trying again after a 503.
inline constexpr int kRetryAfterSeconds = 2;

// Work a request leaves for the session: a checked request and the tag its answer will carry.
struct Job {
    std::function<Response()> run;
    // How long it may run before the worker is taken for stuck and ended; zero: the
    // server's bound for a map. A report of a large enquiry runs to many pages.
    std::chrono::seconds stuck_after{0};
};

struct Prepared {
    std::optional<Response> answer; // answered at once
    std::optional<Job> job;         // or to be answered by complete()
};

class Service {
  public:
    // The session must have opened its project (and plotted its sites, when it has them).
    // title names the project in the capabilities; render_limit bounds one map's drawing.
    Service(project::Session &session, std::string title,
            std::chrono::milliseconds render_limit = kRenderLimit);

    Prepared prepare(const Request &request);
    Response complete(const Job &job) const { return job.run(); }

    // Both steps at once (tests and callers without a queue).
    Response answer(const Request &request);

    // A path of another service over the same session. Its handler prepares as above.
    // A path that takes posts takes a form (and a file) by POST as well as GET and HEAD.
    using Handler = std::function<Prepared(const Request &)>;
    enum class Posts { No, Yes };
    void route(const std::string &path, Handler handler, Posts posts = Posts::No);
    bool takes_posts(const std::string &path) const { return posting_.count(path) != 0; }

    const ServiceLayers &layers() const { return layers_; }

    // The answers that are not the service's own: an HTTP error with a line of text, and
    // an exception report (400, or 503 with Retry-After for a map not drawn in time).
    static Response plain(int status, const std::string &text);
    static Response exception(int status, const std::string &code, const std::string &text);

  private:
    Prepared wms(const Request &request);
    Response get_map(const MapRequest &m, const std::string &tag);
    Response get_feature_info(const FeatureInfoRequest &f);
    // The site list plotted again when its database changed since it was plotted.
    void refresh_sites();

    project::Session &session_;
    std::string title_;
    std::chrono::milliseconds render_limit_;
    ServiceLayers layers_;
    std::map<std::string, Handler> routes_;
    std::set<std::string> posting_;
    std::map<std::string, std::string> capabilities_; // by the address given in them
    std::string sites_tag_;                           // the site database as plotted
};

} // namespace serve
