// Statements on the PostgreSQL test server as its superuser (TAVI_TEST_POSTGRES_ADMIN),
// for tests that change the server or look at what a reader does there.
#pragma once

#include <libpq-fe.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "dao_test_support.h"

namespace dao_test {

// Runs the statements on the test server as its superuser; the first field of every row
// the last one gives.
inline std::vector<std::string> as_admin(const std::string &sql) {
    PGconn *conn = PQconnectdb(server_uri("TAVI_TEST_POSTGRES_ADMIN").c_str());
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

} // namespace dao_test
