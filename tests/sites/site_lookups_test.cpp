// The control panel's lookups in the site database, each case run on the Access 2000
// and 2010 test files, their SQLite copy and the sample project's database.
#include <gtest/gtest.h>

#include <algorithm>

#include "sites/site_lookups.h"
#include "sites_test_support.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using sites::ReferenceLookup;
using sites::Step;

class Lookups : public ::testing::TestWithParam<std::string> {
  protected:
    testing_support::TempFolder temp_;
    const fs::path file_ = sites_test::site_database(GetParam(), temp_.path());
    state::DrawingTable drawings_ = sites_test::drawings_for(file_.string());
    sites_test::Recorder said_;
    const state::UiHooks ui_ = said_.ui();

    ReferenceLookup show(const std::string &reference) {
        return sites::show_raz_text(reference, drawings_, ui_);
    }
    std::int64_t reno(const sites::RecordView &v) { return v.value("RENO").as_integer(); }
};

TEST_P(Lookups, ReferencesShowTheirTextEraOrSite) {
    struct Case {
        const char *reference;
        ReferenceLookup::Shows shows;
        const char *raz;   // Reference of the RAZ record shown
        const char *era;   // Era No of its era record; empty: none
        std::int64_t site; // RENO of the site shown; 0: not listed
    };
    const Case cases[] = {
        {"7.12", ReferenceLookup::RazText, "7.12", "7.", 0},
        {"  7.12 ", ReferenceLookup::RazText, "7.12", "7.", 0},
        {"7", ReferenceLookup::RazText, "7", "", 0}, // the era is sought as "7", which no era is
        {"712", ReferenceLookup::Nothing, "", "", 0},
        {"re12", ReferenceLookup::Nothing, "", "", 0}, // small letters: a text reference
        {"RE0012", ReferenceLookup::Site, "", "", 12},
        {"RE12", ReferenceLookup::Site, "", "", 12},
        {"RE1234", ReferenceLookup::Site, "", "", 1234},
        {"RE0013", ReferenceLookup::Site, "", "", 0},
        {"", ReferenceLookup::Nothing, "", "", 0},
        {"   ", ReferenceLookup::Nothing, "", "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("reference \"") + c.reference + "\"");
        const ReferenceLookup r = show(c.reference);
        EXPECT_EQ(r.shows, c.shows);
        EXPECT_FALSE(r.missing);
        EXPECT_EQ(r.raz.found, *c.raz != 0);
        EXPECT_EQ(r.raz.value("Reference").to_string(), c.raz);
        EXPECT_EQ(r.era.found, *c.era != 0);
        EXPECT_EQ(r.era.value("era no").to_string(), c.era);
        if (c.shows == ReferenceLookup::Site) {
            EXPECT_EQ(r.site.found, c.site != 0);
            EXPECT_EQ(reno(r.site), c.site);
            // The viewer's labels are there even for a site the list lacks.
            EXPECT_EQ(r.site.names.at(2), "site");
            EXPECT_EQ(r.site.table, sites::kSiteTable);
            EXPECT_EQ(r.site.index, sites::kSiteIndex);
            EXPECT_EQ(r.site.database, file_.string());
        }
    }
    EXPECT_TRUE(said_.messages.empty());
    EXPECT_EQ(said_.beeps, 0);
    const ReferenceLookup text = show("7.12");
    EXPECT_EQ(text.era.value("Title").to_string(), "Roman Colonia");
    EXPECT_EQ(text.raz.table, "RAZ Text");
    EXPECT_EQ(text.era.index, "ERANO");
}

TEST_P(Lookups, SiteReferenceWithoutANumberShowsNothingAndSaysWhy) {
    for (const char *reference : {"RE", "REabc", "RE0"}) {
        SCOPED_TRACE(reference);
        said_.messages.clear();
        const ReferenceLookup r = show(reference);
        EXPECT_EQ(r.shows, ReferenceLookup::Nothing);
        EXPECT_FALSE(r.site.found);
        ASSERT_EQ(said_.messages.size(), 1u);
        EXPECT_EQ(said_.messages[0], std::string("Reference ") + reference + " names no site");
    }
}

TEST_P(Lookups, RazReferencesInIndexOrderEveryCall) {
    const auto first = sites::raz_references(drawings_, ui_);
    ASSERT_EQ(first.size(), 99u);
    EXPECT_TRUE(std::is_sorted(first.begin(), first.end()));
    for (const char *r : {"7.12", "7", "11.14"})
        EXPECT_NE(std::find(first.begin(), first.end(), r), first.end()) << r;
    // The drop-down appends: a second call gives every reference again.
    EXPECT_EQ(sites::raz_references(drawings_, ui_), first);
    EXPECT_TRUE(said_.messages.empty());
}

TEST_P(Lookups, MarksListedSitesWithTheirNames) {
    const std::vector<std::string> codes = {"RE0012", "RE0013", "  ", "", "RE1234 ", "RE"};
    const auto marks = sites::mark_sites(codes, drawings_, ui_);
    ASSERT_EQ(marks.size(), 4u); // the blank codes are passed over
    const std::string names[] = {show("RE0012").site.values.at(1).to_string(),
                                 show("RE1234").site.values.at(1).to_string()};
    struct Expect {
        const char *code;
        bool listed;
        std::string name;
    };
    const Expect expected[] = {{"RE0012", true, names[0]},
                               {"RE0013", false, ""},
                               {"RE1234 ", true, names[1]},
                               {"RE", false, ""}};
    for (std::size_t i = 0; i < marks.size(); ++i) {
        SCOPED_TRACE(expected[i].code);
        EXPECT_EQ(marks[i].code, expected[i].code);
        EXPECT_EQ(marks[i].listed, expected[i].listed);
        EXPECT_EQ(marks[i].name, expected[i].name);
    }
    EXPECT_FALSE(names[0].empty());
}

TEST_P(Lookups, StepsThroughTheIndexAndStopsAtTheEnds) {
    // From the first site, Next walks the whole list in site-number order.
    sites::RecordView v = sites::step_record(show("RE0012").site, Step::First);
    ASSERT_TRUE(v.found);
    std::vector<std::int64_t> walked{reno(v)};
    for (;;) {
        sites::RecordView next = sites::step_record(v, Step::Next);
        ASSERT_TRUE(next.found);
        if (next.bookmark == v.bookmark)
            break; // past the end stays on the last
        walked.push_back(reno(next));
        v = next;
    }
    EXPECT_EQ(walked.size(), GetParam() == "sample" ? 300u : 40u);
    EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));
    EXPECT_EQ(reno(sites::step_record(v, Step::First)), walked.front());
    EXPECT_EQ(reno(sites::step_record(sites::step_record(v, Step::First), Step::Previous)),
              walked.front());
    EXPECT_EQ(reno(sites::step_record(show("RE0012").site, Step::Last)), walked.back());

    // One step each way from a site in the middle, and from a site the list lacks.
    const auto at12 = std::find(walked.begin(), walked.end(), 12);
    ASSERT_NE(at12, walked.end());
    const sites::RecordView site12 = show("RE0012").site;
    EXPECT_EQ(reno(sites::step_record(site12, Step::Previous)),
              at12 == walked.begin() ? 12 : *(at12 - 1));
    EXPECT_EQ(reno(sites::step_record(site12, Step::Next)), *(at12 + 1));
    const sites::RecordView unlisted = show("RE0013").site;
    EXPECT_EQ(reno(sites::step_record(unlisted, Step::Next)), walked.front());
    EXPECT_EQ(reno(sites::step_record(unlisted, Step::Previous)), walked.back());

    // The RAZ viewer steps in reference order.
    const sites::RecordView text = show("7.12").raz;
    EXPECT_EQ(sites::step_record(text, Step::Next).value("Reference").to_string(), "7.13");
    EXPECT_EQ(sites::step_record(text, Step::Previous).value("Reference").to_string(), "7.11");
}

TEST_P(Lookups, ReadOnlyMarkedDatabaseIsOpenedExclusively) {
    // Someone else holds the file shared: an exclusive opening must fail, a shared one
    // goes ahead beside it.
    fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    {
        dao::Database other = dao::Database::open(file_);
        EXPECT_THROW(show("RE0012"), dao::Error);
        EXPECT_THROW(sites::raz_references(drawings_, ui_), dao::Error);
        EXPECT_THROW(sites::mark_sites({"RE0012"}, drawings_, ui_), dao::Error);
    }
    EXPECT_TRUE(show("RE0012").site.found);
    fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add);
    dao::Database other = dao::Database::open(file_);
    EXPECT_TRUE(show("RE0012").site.found);
    EXPECT_EQ(sites::raz_references(drawings_, ui_).size(), 99u);
}

TEST_P(Lookups, DatabaseErrorsReachTheCaller) {
    struct Case {
        const char *what;
        std::string state::DrawingEntry::*field;
        const char *value;
    };
    const Case cases[] = {{"RAZ table", &state::DrawingEntry::raz_table, "RAZ Texts"},
                          {"RAZ index", &state::DrawingEntry::raz_index, "REFIDX"},
                          {"era index", &state::DrawingEntry::era_index, "ERA"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        drawings_ = sites_test::drawings_for(file_.string());
        drawings_.entry(1).*c.field = c.value;
        EXPECT_THROW(show("7.12"), dao::Error);
        if (c.field != &state::DrawingEntry::era_index) {
            EXPECT_THROW(sites::raz_references(drawings_, ui_), dao::Error);
        }
    }
    // Without an era table the texts still show.
    drawings_ = sites_test::drawings_for(file_.string());
    drawings_.entry(1).era_table = " ";
    const ReferenceLookup r = show("7.12");
    EXPECT_EQ(r.shows, ReferenceLookup::RazText);
    EXPECT_FALSE(r.era.found);
}

INSTANTIATE_TEST_SUITE_P(Sources, Lookups, ::testing::ValuesIn(sites_test::kSources),
                         sites_test::source_name);

TEST(LinkedDataFile, MissingIsToldAndGivesNothing) {
    testing_support::TempFolder temp;
    const std::string path = (temp.path() / "tavidata.mdb").string();
    const std::string search = "Search Linked Data File " + path + " Not Found";
    const std::string missing = "Linked Data File " + path + " Not Found";
    struct Case {
        const char *lookup;
        std::vector<std::string> messages;
    };
    const Case cases[] = {{"references", {search, missing}},
                          {"show", {search}},
                          {"mark", {search}},
                          {"present", {search}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lookup);
        state::DrawingTable drawings = sites_test::drawings_for(" " + path + " ");
        sites_test::Recorder said;
        const state::UiHooks ui = said.ui();
        const std::string which = c.lookup;
        if (which == "references") {
            EXPECT_TRUE(sites::raz_references(drawings, ui).empty());
        } else if (which == "show") {
            const ReferenceLookup r = sites::show_raz_text("7.12", drawings, ui);
            EXPECT_EQ(r.shows, ReferenceLookup::Nothing);
            EXPECT_EQ(r.missing, missing);
        } else if (which == "mark") {
            EXPECT_TRUE(sites::mark_sites({"RE0012"}, drawings, ui).empty());
        } else {
            EXPECT_FALSE(sites::database_present(drawings, ui));
        }
        EXPECT_EQ(said.messages, c.messages);
        EXPECT_EQ(said.beeps, 2);
        EXPECT_EQ(drawings.entry(1).linked_kind, 0);
    }
}

TEST(LinkedDataFile, FoundAsTheProjectSpellsIt) {
    // A project written elsewhere may name the file in another case, with backslashes;
    // the path is kept as written.
    testing_support::TempFolder temp;
    dao_test::site_database("mdb", temp.path());
    std::string written = (temp.path() / "TAVIDATA.MDB").string();
    std::replace(written.begin(), written.end(), '/', '\\');
    state::DrawingTable drawings = sites_test::drawings_for(written + "  ");
    sites_test::Recorder said;
    EXPECT_EQ(sites::linked_data(drawings).path, written);
    EXPECT_TRUE(sites::show_raz_text("RE0012", drawings, said.ui()).site.found);
    EXPECT_EQ(drawings.entry(1).linked_kind, 2);
    EXPECT_EQ(sites::linked_data(state::DrawingTable()).path, "");
}

} // namespace
