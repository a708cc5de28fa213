// Statements on the PostgreSQL test server as its superuser (TAVI_TEST_POSTGRES_ADMIN),
// for tests that change the server or look at what a reader does there.
#pragma once

#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "dao_test_support.h"

namespace dao_test {

// Runs statements as the superuser of the server at admin (a URI); the first field of
// every row the last one gives.
inline std::vector<std::string> as_admin_of(const std::string &admin, const std::string &sql) {
    PGconn *conn = PQconnectdb(admin.c_str());
    PQsetNoticeProcessor(
        conn, [](void *, const char *) {}, nullptr);
    PGresult *r = PQstatus(conn) == CONNECTION_OK ? PQexec(conn, sql.c_str()) : nullptr;
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        const std::string message = PQerrorMessage(conn);
        PQclear(r);
        PQfinish(conn);
        throw std::runtime_error(sql + ": " + message);
    }
    std::vector<std::string> values;
    for (int row = 0; row < PQntuples(r); ++row)
        values.push_back(PQgetvalue(r, row, 0));
    PQclear(r);
    PQfinish(conn);
    return values;
}

// Runs the statements on the test server as its superuser; the first field of every row
// the last one gives.
inline std::vector<std::string> as_admin(const std::string &sql) {
    return as_admin_of(server_uri("TAVI_TEST_POSTGRES_ADMIN"), sql);
}

// A PostgreSQL cluster of the test's own (scripts/pg-test-cluster.sh), for tests that
// stop, restart or reconfigure the server, which the shared one must not see. uri()
// reads as the role tavi with its password in the URI.
class PrivateCluster {
  public:
    PrivateCluster() {
        const std::string script =
            std::string(TAVI_SOURCE_DIR) + "/scripts/pg-test-cluster.sh start 2>/dev/null";
        FILE *out = ::popen(script.c_str(), "r");
        if (out == nullptr)
            return;
        char line[4096];
        while (std::fgets(line, sizeof line, out) != nullptr) {
            std::string l(line);
            const std::size_t eq = l.find("='");
            const std::size_t end = l.rfind('\'');
            if (l.rfind("export ", 0) != 0 || eq == std::string::npos || end <= eq + 1)
                continue;
            vars_[l.substr(7, eq - 7)] = l.substr(eq + 2, end - eq - 2);
        }
        ::pclose(out);
        std::ifstream pass(get("PGPASSFILE"));
        std::string entry;
        std::getline(pass, entry);
        password_ = entry.substr(entry.rfind(':') + 1);
    }
    ~PrivateCluster() {
        if (!dir().empty() && std::system((std::string(TAVI_SOURCE_DIR) +
                                           "/scripts/pg-test-cluster.sh stop '" + dir() + "'")
                                              .c_str()) != 0)
            std::fprintf(stderr, "the test cluster in %s could not be stopped\n", dir().c_str());
    }
    PrivateCluster(const PrivateCluster &) = delete;
    PrivateCluster &operator=(const PrivateCluster &) = delete;

    bool started() const { return !dir().empty() && !password_.empty(); }
    std::string dir() const { return get("TAVI_TEST_POSTGRES_DIR"); }
    std::string admin() const { return get("TAVI_TEST_POSTGRES_ADMIN"); }
    std::string reader() const { return get("TAVI_TEST_POSTGRES"); }
    std::string password() const { return password_; }
    // The reader's URI with its password.
    std::string uri() const { return with_parameter(reader(), "password=" + password_); }
    std::vector<std::string> sql(const std::string &statements) const {
        return as_admin_of(admin(), statements);
    }
    // Stops the server at once, as a crash would, and starts it again; true when it is up.
    bool restart_immediately() const {
        const std::string bin = "$(printf '%s\\n' /usr/lib/postgresql/*/bin | sort -V | tail -n 1)";
        const std::string as = ::getuid() == 0 ? "runuser -u postgres -- " : "";
        return std::system((as + bin + "/pg_ctl -D '" + dir() + "/data' -m immediate -w -l '" +
                            dir() + "/server.log' restart >/dev/null 2>&1")
                               .c_str()) == 0;
    }

  private:
    std::string get(const std::string &name) const {
        const auto it = vars_.find(name);
        return it == vars_.end() ? std::string() : it->second;
    }
    std::map<std::string, std::string> vars_;
    std::string password_;
};

} // namespace dao_test
