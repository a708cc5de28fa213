#include "tools/sample/site_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>

#include "tools/sample/city_geometry.h"

namespace sample {

namespace {

// The 100 km square SK starts 400 km east and 300 km north of the grid's origin.
constexpr double kSquareWest = 40'000'000.0, kSquareSouth = 30'000'000.0;
constexpr double kUnitsPerMetre = 100.0;

const char *const kStreets[] = {"Castle Street", "Minster Yard", "Bridge Gate",   "Wharf Lane",
                                "Abbey Close",   "Market Place", "Silver Street", "Mill Road",
                                "Tanners Row",   "Priory Walk",  "Church Lane",   "North Gate"};
const char *const kKinds[] = {"Evaluation trench", "Watching brief",  "Excavation",
                              "Test pit",          "Building survey", "Borehole"};
const char *const kFinds[] = {
    "pottery of the period", "a cobbled surface", "a ditch terminal", "post holes", "a hearth",
    "human remains",         "a wall footing",    "residual flints"};
const char *const kEras[] = {"Prehistoric",   "Roman Military", "Roman Colonia", "Early Medieval",
                             "High Medieval", "Early Modern",   "Industrial"};
const char *const kEraDates[][2] = {{"-8000", "-43"}, {"43", "90"},     {"90", "410"},
                                    {"410", "1066"},  {"1066", "1540"}, {"1540", "1750"},
                                    {"1750", "1914"}};
constexpr int kFirstEra = 5; // era numbers 5 to 11 go with the seven periods

struct Closer {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, Closer>;
using Statement = std::unique_ptr<sqlite3_stmt, Closer>;

std::string text_of(const char *fmt, auto... args) {
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

class Writer {
  public:
    explicit Writer(sqlite3 *db) : db_(db) {}

    bool exec(const char *sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
            return true;
        error_ = sqlite3_errmsg(db_);
        return false;
    }
    Statement prepare(const char *sql) {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK)
            error_ = sqlite3_errmsg(db_);
        return Statement(s);
    }
    // Binds the values in order (a null pointer of text is SQL NULL) and runs the row.
    bool row(sqlite3_stmt *s, std::initializer_list<std::pair<bool, std::string>> texts,
             int first = 1) {
        int i = first;
        for (const auto &[present, t] : texts) {
            if (present)
                sqlite3_bind_text(s, i, t.c_str(), -1, SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(s, i);
            ++i;
        }
        const bool ok = sqlite3_step(s) == SQLITE_DONE;
        if (!ok)
            error_ = sqlite3_errmsg(db_);
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        return ok;
    }
    const std::string &error() const { return error_; }

  private:
    sqlite3 *db_;
    std::string error_;
};

std::pair<bool, std::string> text(std::string t) {
    return {true, std::move(t)};
}
std::pair<bool, std::string> number(double v) {
    return {true, text_of("%.2f", v)};
}
std::pair<bool, std::string> null() {
    return {false, {}};
}

bool write_sites(Writer &w, const SiteDatabasePlan &plan) {
    if (!w.exec("CREATE TABLE TAVIsitelist (RENO INTEGER, \"SITE NAME\" TEXT, site TEXT, "
                "LOCATION TEXT, NGS TEXT, xcoord REAL, ycoord REAL, LEVEL REAL, "
                "DESCRIPTION TEXT, \"Date Recorded\" TEXT);"
                "CREATE INDEX RENO ON TAVIsitelist (RENO);"))
        return false;
    Statement insert = w.prepare("INSERT INTO TAVIsitelist VALUES (CAST(?1 AS INTEGER), ?2, ?3, "
                                 "?4, ?5, CAST(?6 AS REAL), CAST(?7 AS REAL), CAST(?8 AS REAL), "
                                 "?9, ?10)");
    if (!insert)
        return false;

    // The sites on the excavated areas first, then the rest scattered over the map.
    std::vector<SiteOnMap> sites;
    const std::set<int32_t> missing(plan.unrecorded.begin(), plan.unrecorded.end());
    std::set<int32_t> used;
    for (const SiteOnMap &s : plan.excavated) {
        used.insert(s.reno);
        if (!missing.count(s.reno))
            sites.push_back(s);
    }
    Rng rng(0x517E5u);
    for (int32_t reno = 100; static_cast<int32_t>(sites.size()) < plan.sites; ++reno) {
        if (used.count(reno))
            continue;
        sites.push_back(
            SiteOnMap{reno, rng.range(plan.west, plan.east), rng.range(plan.south, plan.north)});
    }
    std::sort(sites.begin(), sites.end(),
              [](const SiteOnMap &a, const SiteOnMap &b) { return a.reno < b.reno; });

    for (std::size_t k = 0; k < sites.size(); ++k) {
        const SiteOnMap &s = sites[k];
        const double e = (s.x - kSquareWest) / kUnitsPerMetre;
        const double n = (s.y - kSquareSouth) / kUnitsPerMetre;
        const char *street = kStreets[rng.between(0, std::size(kStreets) - 1)];
        const char *kind = kKinds[rng.between(0, std::size(kKinds) - 1)];
        const std::string name = text_of("%s, %s", street, kind);
        const std::string code = text_of("RE%04d", s.reno);
        const std::string ngs = text_of("SK %04d %04d", static_cast<int>(e / 10) % 10000,
                                        static_cast<int>(n / 10) % 10000);
        const std::string description = text_of("%s at %s found %s and %s.", kind, street,
                                                kFinds[rng.between(0, std::size(kFinds) - 1)],
                                                kFinds[rng.between(0, std::size(kFinds) - 1)]);
        const std::string date = text_of("%04d-%02d-%02d", rng.between(1968, 2021),
                                         rng.between(1, 12), rng.between(1, 28));
        // Some records lack a level, as survey records often do.
        const auto level = k % 6 == 5 ? null() : number(rng.range(4.0, 42.0));
        if (!w.row(insert.get(),
                   {text(std::to_string(s.reno)), text(name), text(code), text(street), text(ngs),
                    number(e), number(n), level, text(description), text(date)}))
            return false;
    }
    return true;
}

bool write_texts(Writer &w, const SiteDatabasePlan &plan) {
    if (!w.exec("CREATE TABLE \"RAZ Text\" (ID INTEGER, Reference TEXT, \"Period No\" TEXT, "
                "Name TEXT, Text TEXT, Boundaries TEXT, FROMDRAW TEXT, Area INTEGER);"
                "CREATE INDEX RAZREF ON \"RAZ Text\" (Reference);"
                "CREATE TABLE \"Era details\" (\"Era No\" TEXT, Title TEXT, \"earliest date\" "
                "TEXT, \"latest date\" TEXT);"
                "CREATE INDEX ERANO ON \"Era details\" (\"Era No\");"))
        return false;
    Statement raz = w.prepare("INSERT INTO \"RAZ Text\" VALUES (CAST(?1 AS INTEGER), ?2, ?3, ?4, "
                              "?5, ?6, ?7, CAST(?8 AS INTEGER))");
    Statement era = w.prepare("INSERT INTO \"Era details\" VALUES (?1, ?2, ?3, ?4)");
    if (!raz || !era)
        return false;
    Rng rng(0x7E87u);
    // Each era by itself, as a bare reference, then every reference of its drawing.
    std::vector<TextReference> rows;
    for (int e = 0; e < static_cast<int>(std::size(kEras)); ++e)
        rows.push_back(TextReference{std::to_string(kFirstEra + e), kFirstEra + e});
    rows.insert(rows.end(), plan.references.begin(), plan.references.end());
    int id = 0;
    for (const TextReference &r : rows) {
        const int e = std::clamp(r.era - kFirstEra, 0, static_cast<int>(std::size(kEras)) - 1);
        const std::string name = r.reference.find('.') == std::string::npos
                                     ? std::string(kEras[e]) + " town"
                                     : text_of("%s area %s", kEras[e], r.reference.c_str());
        if (!w.row(raz.get(),
                   {text(std::to_string(++id)), text(r.reference),
                    text(std::to_string(r.era) + "."), text(name),
                    text(text_of("The %s remains of this area: %s, with %s.", kEras[e],
                                 kFinds[rng.between(0, std::size(kFinds) - 1)],
                                 kFinds[rng.between(0, std::size(kFinds) - 1)])),
                    text(text_of("Bounded by %s and %s.",
                                 kStreets[rng.between(0, std::size(kStreets) - 1)],
                                 kStreets[rng.between(0, std::size(kStreets) - 1)])),
                    text("RAZ " + r.reference), text(std::to_string(rng.between(1, 400)))}))
            return false;
    }
    for (int e = 0; e < static_cast<int>(std::size(kEras)); ++e)
        if (!w.row(era.get(), {text(std::to_string(kFirstEra + e) + "."), text(kEras[e]),
                               text(kEraDates[e][0]), text(kEraDates[e][1])}))
            return false;
    return true;
}

} // namespace

std::string write_site_database(const std::filesystem::path &file, const SiteDatabasePlan &plan) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    sqlite3 *raw = nullptr;
    if (sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const std::string why = raw ? sqlite3_errmsg(raw) : "out of memory";
        sqlite3_close(raw);
        return "cannot create " + file.string() + ": " + why;
    }
    Db db(raw);
    Writer w(db.get());
    // One transaction: the file is written once, and a failure leaves no half database.
    const bool ok = w.exec("PRAGMA journal_mode=OFF; BEGIN") && write_sites(w, plan) &&
                    write_texts(w, plan) && w.exec("COMMIT");
    if (!ok) {
        db.reset();
        std::filesystem::remove(file, ec);
        return "cannot write " + file.string() + ": " + w.error();
    }
    return {};
}

} // namespace sample
