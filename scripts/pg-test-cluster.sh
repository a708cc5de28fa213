#!/usr/bin/env bash
# A throwaway PostgreSQL cluster holding a site database, for the tests and benchmarks.
#
#   eval "$(scripts/pg-test-cluster.sh start [ACCESS_FILE])"
#   scripts/pg-test-cluster.sh stop "$TAVI_TEST_POSTGRES_DIR"
#
# start makes a new temporary folder, runs initdb into it (as the postgres user when run
# as root), starts a server that listens on a Unix socket in that folder only (no TCP
# port), and loads database "tavidata" from the Access file (tests/data/tavidata.mdb
# when none is given) with the README's recipe: the CREATE TABLE statements of
# tests/data/tavidata.postgresql.sql, then every table's rows through mdb-export and
# psql's \copy. Role "tavi" may only read; its password is in a password file. Then it
# prints the shell lines that name the cluster:
#   TAVI_TEST_POSTGRES        the URI the tests read through (role tavi)
#   TAVI_TEST_POSTGRES_ADMIN  the same database as the cluster's superuser
#   PGPASSFILE                where libpq finds tavi's password
#   TAVI_TEST_POSTGRES_DIR    the folder, for stop
# stop ends the server and removes the folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bindir=$(printf '%s\n' /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
[[ -x "$bindir/initdb" ]] || {
  echo "pg-test-cluster: no PostgreSQL server programs (install postgresql)" >&2
  exit 1
}

# The server refuses to run as root: as root, its programs run as the postgres user.
as_server() {
  if [[ $(id -u) -eq 0 ]]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

stop() {
  local dir=$1
  [[ -n "$dir" && -d "$dir" ]] || return 0
  if [[ -f "$dir/data/postmaster.pid" ]]; then
    as_server "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

start() {
  local access=${1:-$root/tests/data/tavidata.mdb}
  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/tavi-pg.XXXXXX")
  trap 'stop "$dir"' ERR
  [[ $(id -u) -eq 0 ]] && chown postgres: "$dir"
  chmod 700 "$dir"

  as_server "$bindir/initdb" -D "$dir/data" -U postgres -E UTF8 --locale=C --no-sync \
    --auth-local=trust >"$dir/initdb.log" 2>&1
  # The superuser without a password (the folder is the operator's alone); everyone
  # else with one.
  printf '%s\n' 'local all postgres trust' 'local all all scram-sha-256' \
    >"$dir/data/pg_hba.conf"
  cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$dir'
fsync = off
synchronous_commit = off
full_page_writes = off
EOF
  as_server "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w start >/dev/null

  local admin="postgresql://postgres@/tavidata?host=$dir"
  local reader="postgresql://tavi@/tavidata?host=$dir"
  local password
  password=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
  psql -q -X -v ON_ERROR_STOP=1 "postgresql://postgres@/postgres?host=$dir" \
    -c "CREATE DATABASE tavidata" -c "CREATE ROLE tavi LOGIN PASSWORD '$password'" >/dev/null

  # The recipe: the tables, then each table's rows. A date mdb-export cannot convert
  # (before 30 December 1899 or after the year 4637) comes out as day 0 of January 1900,
  # which no server takes: it goes in as a null.
  psql -q -X -v ON_ERROR_STOP=1 "$admin" -f "$root/tests/data/tavidata.postgresql.sql" >/dev/null
  local table
  while IFS= read -r table; do
    [[ -n "$table" ]] || continue
    mdb-export -D '%Y-%m-%d' -T '%Y-%m-%d %H:%M:%S' "$access" "$table" |
      sed -E ':a; s/(^|,)"1900-01-00( 00:00:00)?"(,|$)/\1\3/; ta' |
      psql -q -X -v ON_ERROR_STOP=1 "$admin" \
        -c "\\copy \"${table//\"/\"\"}\" FROM STDIN WITH (FORMAT csv, HEADER)"
  done < <(mdb-tables -1 "$access")
  psql -q -X -v ON_ERROR_STOP=1 "$admin" \
    -c 'GRANT SELECT ON ALL TABLES IN SCHEMA public TO tavi' >/dev/null

  # For the tests only: mdb-export writes an empty text as a null, so the one empty text
  # of the test file is put back; and a schema whose names would be SQL if they were
  # ever pasted into a statement rather than quoted.
  psql -q -X -v ON_ERROR_STOP=1 "$admin" >/dev/null <<'EOF'
UPDATE "RAZ Text" SET "Boundaries" = '' WHERE "Reference" = '7' AND "Boundaries" IS NULL;
CREATE SCHEMA odd;
CREATE TABLE odd."x""; DROP TABLE ""TAVIsitelist""; --" ("id"")--" integer, "name" text);
INSERT INTO odd."x""; DROP TABLE ""TAVIsitelist""; --" VALUES (2, 'two'), (1, 'one');
CREATE INDEX "k""; --" ON odd."x""; DROP TABLE ""TAVIsitelist""; --" ("id"")--");
GRANT USAGE ON SCHEMA odd TO tavi;
GRANT SELECT ON ALL TABLES IN SCHEMA odd TO tavi;
EOF

  printf '*:*:*:tavi:%s\n' "$password" >"$dir/pgpass"
  chmod 600 "$dir/pgpass"
  trap - ERR
  printf "export TAVI_TEST_POSTGRES='%s'\n" "$reader"
  printf "export TAVI_TEST_POSTGRES_ADMIN='%s'\n" "$admin"
  printf "export PGPASSFILE='%s'\n" "$dir/pgpass"
  printf "export TAVI_TEST_POSTGRES_DIR='%s'\n" "$dir"
}

case "${1:-}" in
start) start "${2:-}" ;;
stop) stop "${2:?give the folder start made}" ;;
*)
  echo "usage: $0 start [ACCESS_FILE] | stop FOLDER" >&2
  exit 2
  ;;
esac
