#include "platform/db/server_uri.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace dao {

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A URI part with its %XX escapes decoded; a bad escape stays as written.
std::string decoded(std::string_view part) {
    std::string out;
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (part[i] == '%' && i + 2 < part.size() && hex_digit(part[i + 1]) >= 0 &&
            hex_digit(part[i + 2]) >= 0) {
            out += static_cast<char>(hex_digit(part[i + 1]) * 16 + hex_digit(part[i + 2]));
            i += 2;
        } else {
            out += part[i];
        }
    }
    return out;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The query's parameters as written: where each name and value start and end.
struct Parameter {
    std::size_t name_at, name_end, value_at, value_end; // value_at == npos: no "="
};
std::vector<Parameter> parameters(std::string_view uri) {
    std::vector<Parameter> out;
    const std::size_t q = uri.find('?');
    if (q == std::string_view::npos)
        return out;
    for (std::size_t at = q + 1; at <= uri.size();) {
        std::size_t end = uri.find('&', at);
        if (end == std::string_view::npos)
            end = uri.size();
        const std::size_t eq = uri.find('=', at);
        if (eq != std::string_view::npos && eq < end)
            out.push_back(Parameter{at, eq, eq + 1, end});
        else if (end > at)
            out.push_back(Parameter{at, end, std::string_view::npos, end});
        at = end + 1;
    }
    return out;
}

// The end of the user part ("user[:password]@"), or npos when there is none: the first
// "@" before the first "/" or "?", as libpq reads it.
std::size_t user_part_end(std::string_view uri, std::size_t scheme) {
    const std::size_t end = uri.find_first_of("@/?", scheme);
    return end != std::string_view::npos && uri[end] == '@' ? end : std::string_view::npos;
}

// A parameter's name, decoded, fit to be quoted in a message: letters, digits and "_"
// only (anything else may be a value typed in the wrong place).
std::string quotable(const std::string &name) {
    if (name.empty() || name.size() > 40 ||
        !std::all_of(name.begin(), name.end(),
                     [](unsigned char c) { return std::isalnum(c) || c == '_'; }))
        return {};
    return name;
}

std::set<std::string> libpq_keywords() {
    std::set<std::string> names;
    PQconninfoOption *all = PQconndefaults();
    for (PQconninfoOption *o = all; o != nullptr && o->keyword != nullptr; ++o)
        names.insert(o->keyword);
    PQconninfoFree(all);
    return names;
}

} // namespace

std::size_t scheme_length(std::string_view location) {
    for (const std::string_view scheme : {"postgresql://", "postgres://"})
        if (location.size() >= scheme.size() &&
            lower(std::string(location.substr(0, scheme.size()))) == scheme)
            return scheme.size();
    return 0;
}

std::string masked_uri(std::string_view uri) {
    const std::size_t scheme = scheme_length(uri);
    if (scheme == 0)
        return std::string(uri);
    static const std::string hidden = "*****";
    std::string shown(uri);
    // Replaced from the end backwards, so that the places found stay right.
    const std::vector<Parameter> params = parameters(uri);
    // A parameter without "=" is no parameter: it may be a value typed alone.
    for (auto it = params.rbegin(); it != params.rend(); ++it)
        if (it->value_at == std::string_view::npos)
            shown.replace(it->name_at, it->name_end - it->name_at, hidden);
        else if (lower(decoded(uri.substr(it->name_at, it->name_end - it->name_at)))
                     .find("password") != std::string::npos)
            shown.replace(it->value_at, it->value_end - it->value_at, hidden);
    if (const std::size_t end = user_part_end(uri, scheme); end != std::string_view::npos) {
        const std::size_t colon = uri.find(':', scheme);
        if (colon < end)
            shown.replace(colon + 1, end - colon - 1, hidden);
    }
    return shown;
}

std::string unreadable_uri(const std::string &uri) {
    char *error = nullptr;
    if (PQconninfoOption *parsed = PQconninfoParse(uri.c_str(), &error)) {
        PQconninfoFree(parsed);
        return {};
    }
    PQfreemem(error); // it may quote the URI, secrets and all
    for (std::size_t i = 0; i < uri.size(); ++i)
        if (uri[i] == '%' &&
            (i + 2 >= uri.size() || hex_digit(uri[i + 1]) < 0 || hex_digit(uri[i + 2]) < 0))
            return "a \"%\" in it is not followed by two hexadecimal digits";
    if (uri.find("%00") != std::string::npos)
        return "it encodes a zero byte (%00)";
    const std::set<std::string> known = libpq_keywords();
    for (const Parameter &p : parameters(uri)) {
        if (p.value_at == std::string::npos)
            return "a parameter in it has no \"=\"";
        const std::string name =
            decoded(std::string_view(uri).substr(p.name_at, p.name_end - p.name_at));
        if (!known.count(name)) {
            const std::string shown = quotable(name);
            return shown.empty() ? "a parameter in it is not one libpq knows"
                                 : "libpq knows no parameter \"" + shown + "\"";
        }
    }
    return "libpq cannot read it as a connection URI";
}

std::string refused_in_project(const std::string &uri) {
    const std::size_t scheme = scheme_length(uri);
    if (scheme == 0)
        return {};
    static const std::set<std::string> allowed = {"host", "port",    "dbname",
                                                  "user", "sslmode", "connect_timeout"};
    const std::string_view u(uri);
    if (const std::size_t end = user_part_end(u, scheme); end != std::string_view::npos) {
        const std::size_t colon = u.find(':', scheme);
        if (colon < end)
            return "it holds a password, which TAVI takes only from the user's own settings";
    }
    std::vector<std::string> refused;
    for (const Parameter &p : parameters(u)) {
        const std::string name = decoded(u.substr(p.name_at, p.name_end - p.name_at));
        if (allowed.count(name))
            continue;
        if (lower(name).find("password") != std::string::npos)
            return "it holds a password, which TAVI takes only from the user's own settings";
        const std::string shown = quotable(name);
        refused.push_back(shown.empty() ? "a parameter that is none of these"
                                        : "\"" + shown + "\"");
    }
    if (refused.empty())
        return {};
    std::string list;
    for (const std::string &r : refused)
        list += (list.empty() ? "" : ", ") + r;
    return "a project's server URI may set only host, port, dbname, user, sslmode and "
           "connect_timeout; it sets " +
           list;
}

std::vector<std::string> servers_of(const std::string &uri) {
    std::vector<std::string> out;
    char *error = nullptr;
    PQconninfoOption *parsed = PQconninfoParse(uri.c_str(), &error);
    PQfreemem(error);
    std::string hosts, ports;
    for (PQconninfoOption *o = parsed; o != nullptr && o->keyword != nullptr; ++o) {
        const std::string key = o->keyword;
        if (key == "host" && o->val != nullptr)
            hosts = o->val;
        else if (key == "port" && o->val != nullptr)
            ports = o->val;
    }
    PQconninfoFree(parsed);
    const auto split = [](const std::string &s) {
        std::vector<std::string> parts;
        std::size_t at = 0;
        for (;;) {
            const std::size_t comma = s.find(',', at);
            parts.push_back(s.substr(at, comma == std::string::npos ? comma : comma - at));
            if (comma == std::string::npos)
                return parts;
            at = comma + 1;
        }
    };
    const std::vector<std::string> host_list = split(hosts), port_list = split(ports);
    for (std::size_t i = 0; i < host_list.size(); ++i) {
        std::string host = host_list[i];
        if (host.empty())
            host = "/var/run/postgresql";
        std::string port = port_list.size() == 1  ? port_list[0]
                           : i < port_list.size() ? port_list[i]
                                                  : std::string();
        out.push_back(host + ":" + (port.empty() ? "5432" : port));
    }
    return out;
}

bool servers_allowed(const std::string &uri, std::string_view allowed) {
    std::vector<std::string> entries;
    std::string entry;
    for (const char c : std::string(allowed) + ",") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!entry.empty())
                entries.push_back(entry);
            entry.clear();
        } else {
            entry += c;
        }
    }
    const std::vector<std::string> servers = servers_of(uri);
    if (servers.empty())
        return false;
    for (const std::string &server : servers) {
        const std::string host = server.substr(0, server.rfind(':'));
        const bool ok = std::any_of(entries.begin(), entries.end(), [&](const std::string &e) {
            return e == "*" || e == server || e == host;
        });
        if (!ok)
            return false;
    }
    return true;
}

} // namespace dao
