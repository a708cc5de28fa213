// The control panel's lookups in the site database, each case run on every form of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "sites/site_lookups.h"
#include "sites_test_support.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using sites::ReferenceLookup;
using sites::Step;

std::string written(const fs::path &file) {
    if (dao::is_server_uri(file.string()))
        return file.string(); // a server's URI is written as it is
    std::string name = file.filename().string(), folder = file.parent_path().string();
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder + "\\" + name;
}

class Lookups : public ::testing::TestWithParam<std::string> {
  protected:
    testing_support::TempFolder temp_;
    const fs::path file_ = sites_test::site_database(GetParam(), temp_.path());
    // As a project written elsewhere may name it: another case, backslashes.
    state::DrawingTable drawings_ = sites_test::drawings_for(written(file_));
    sites_test::Recorder said_;
    const state::UiHooks ui_ = said_.ui();

    ReferenceLookup show(const std::string &ref) {
        return sites::show_raz_text(ref, drawings_, ui_);
    }
    static std::int64_t reno(const sites::RecordView &v) { return v.value("RENO").as_integer(); }

    void SetUp() override {
        if (file_.empty())
            GTEST_SKIP() << dao_test::kNoServer;
    }
};

TEST_P(Lookups, ReferencesShowTheirTextEraOrSite) {
    struct Case {
        const char *reference;
        ReferenceLookup::Shows shows;
        const char *raz, *era; // the Reference and Era No shown; empty: none
        std::int64_t site;     // RENO of the site shown; 0: none
    };
    const Case cases[] = {
        {"7.12", ReferenceLookup::RazText, "7.12", "7.", 0},
        {"  7.12 ", ReferenceLookup::RazText, "7.12", "7.", 0},
        {"7", ReferenceLookup::RazText, "7", "", 0}, // its era key "7" is no era's
        {"712", ReferenceLookup::Nothing, "", "", 0},
        {"re12", ReferenceLookup::Nothing, "", "", 0}, // small letters: a text reference
        {"RE0012", ReferenceLookup::Site, "", "", 12},
        {"RE1234", ReferenceLookup::Site, "", "", 1234},
        {"RE0013", ReferenceLookup::Site, "", "", 0}, // not listed: the viewer shows all the same
        {" ", ReferenceLookup::Nothing, "", "", 0},
        {"RE", ReferenceLookup::Nothing, "", "", 0},    // names no site: says so
        {"REabc", ReferenceLookup::Nothing, "", "", 0}, // likewise
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("reference \"") + c.reference + "\"");
        said_.messages.clear();
        const ReferenceLookup r = show(c.reference);
        EXPECT_EQ(r.shows, c.shows);
        EXPECT_EQ(r.raz.value("Reference").to_string(), c.raz);
        EXPECT_EQ(r.era.found, *c.era != 0);
        EXPECT_EQ(r.era.value("era no").to_string(), c.era);
        EXPECT_EQ(r.site.found, c.site != 0);
        EXPECT_EQ(reno(r.site), c.site);
        if (c.shows == ReferenceLookup::Site) {
            EXPECT_EQ(r.site.names.at(2), "site");
        }
        const bool no_site = std::string(c.reference).starts_with("RE") && c.shows == r.Nothing;
        EXPECT_EQ(said_.messages, no_site ? std::vector<std::string>{std::string("Reference ") +
                                                                     c.reference + " names no site"}
                                          : std::vector<std::string>{});
    }
    EXPECT_EQ(show("7.12").era.value("Title").to_string(), "Roman Colonia");
    EXPECT_EQ(sites::linked_data(drawings_).path, written(file_)); // kept as written
}

TEST_P(Lookups, ReferenceListMarksAndSteps) {
    const auto refs = sites::raz_references(drawings_, ui_);
    EXPECT_EQ(refs.size(), 99u);
    EXPECT_TRUE(std::is_sorted(refs.begin(), refs.end()));
    EXPECT_EQ(sites::raz_references(drawings_, ui_), refs); // the drop-down appends it again

    const auto marks = sites::mark_sites({"RE0012", "RE0013", "  ", "RE1234 "}, drawings_, ui_);
    ASSERT_EQ(marks.size(), 3u); // the blank code is passed over
    EXPECT_EQ(marks[0].name, show("RE0012").site.values.at(1).to_string());
    EXPECT_FALSE(marks[0].name.empty());
    EXPECT_EQ((std::vector<bool>{marks[0].listed, marks[1].listed, marks[2].listed}),
              (std::vector<bool>{true, false, true}));
    EXPECT_EQ(marks[2].code, "RE1234 ");
    EXPECT_EQ(marks[1].name, "");

    // Steps in site-number order, staying on the end records past either end.
    const sites::RecordView site12 = show("RE0012").site, unlisted = show("RE0013").site;
    const sites::RecordView first = sites::step_record(site12, Step::First);
    const sites::RecordView last = sites::step_record(site12, Step::Last);
    const std::int64_t next = reno(sites::step_record(site12, Step::Next));
    EXPECT_GT(next, 12);
    EXPECT_EQ(reno(sites::step_record(sites::step_record(site12, Step::Next), Step::Previous)), 12);
    EXPECT_LE(reno(first), 12);
    EXPECT_EQ(reno(sites::step_record(first, Step::Previous)), reno(first));
    EXPECT_EQ(reno(sites::step_record(last, Step::Next)), reno(last));
    EXPECT_EQ(reno(sites::step_record(unlisted, Step::Next)), reno(first));
    EXPECT_EQ(reno(sites::step_record(unlisted, Step::Previous)), reno(last));
    EXPECT_EQ(sites::step_record(show("7.12").raz, Step::Next).value("Reference").to_string(),
              "7.13");
    EXPECT_TRUE(said_.messages.empty());
}

TEST_P(Lookups, ReadOnlyMarkedDatabaseIsOpenedExclusively) {
    if (GetParam() == "postgresql")
        GTEST_SKIP() << "a database on a server has no file to mark read-only";
    // Another opening holds the file shared: an exclusive one fails, a shared one not.
    fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    {
        dao::Database other = dao::Database::open(file_);
        EXPECT_THROW(show("RE0012"), dao::Error);
        EXPECT_THROW(sites::raz_references(drawings_, ui_), dao::Error);
        EXPECT_THROW(sites::mark_sites({"RE0012"}, drawings_, ui_), dao::Error);
    }
    fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add);
    dao::Database other = dao::Database::open(file_);
    EXPECT_TRUE(show("RE0012").site.found);
}

TEST_P(Lookups, DatabaseErrorsReachTheCaller) {
    for (auto field : {&state::DrawingEntry::raz_table, &state::DrawingEntry::raz_index,
                       &state::DrawingEntry::era_index}) {
        drawings_ = sites_test::drawings_for(written(file_));
        drawings_.entry(1).*field = "NOSUCH";
        EXPECT_THROW(show("7.12"), dao::Error);
    }
    // A project that names no era table, or an era table but no index for it, still
    // shows its texts.
    drawings_.entry(1).era_table = " ";
    EXPECT_EQ(show("7.12").shows, ReferenceLookup::RazText);
    drawings_ = sites_test::drawings_for(written(file_));
    drawings_.entry(1).era_index = " ";
    const ReferenceLookup no_era_index = show("7.12");
    EXPECT_EQ(no_era_index.shows, ReferenceLookup::RazText);
    EXPECT_EQ(no_era_index.raz.value("Reference").to_string(), "7.12");
    EXPECT_FALSE(no_era_index.era.found);
}

// The lookups the record viewers make, on the test server too.
INSTANTIATE_TEST_SUITE_P(Sources, Lookups,
                         ::testing::Values("mdb", "accdb", "sqlite", "sample", "postgresql"),
                         [](const auto &info) { return info.param; });

TEST(LinkedDataFile, MissingIsToldAndGivesNothing) {
    testing_support::TempFolder temp;
    const std::string path = (temp.path() / "tavidata.mdb").string();
    const std::string search = "Search Linked Data File " + path + " Not Found";
    for (const std::string lookup : {"references", "show", "mark"}) {
        SCOPED_TRACE(lookup);
        state::DrawingTable drawings = sites_test::drawings_for(" " + path + " ");
        sites_test::Recorder said;
        const state::UiHooks ui = said.ui();
        std::vector<std::string> expected{search};
        if (lookup == "references") {
            EXPECT_TRUE(sites::raz_references(drawings, ui).empty());
            expected.push_back("Linked Data File " + path + " Not Found");
        } else if (lookup == "show") {
            const ReferenceLookup r = sites::show_raz_text("7.12", drawings, ui);
            EXPECT_EQ(r.shows, ReferenceLookup::Nothing);
            EXPECT_EQ(r.missing, "Linked Data File " + path + " Not Found");
        } else {
            EXPECT_TRUE(sites::mark_sites({"RE0012"}, drawings, ui).empty());
        }
        EXPECT_EQ(said.messages, expected);
        EXPECT_EQ(said.beeps, 2);
        EXPECT_EQ(drawings.entry(1).linked_kind, 0);
    }
}

} // namespace
