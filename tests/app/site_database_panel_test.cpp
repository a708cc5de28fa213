// The control panel's site-database part on a copy of the sample project: the sites
// grid, the RAZ references and their viewers, the site plot, the object list, and what a
// missing or damaged database does.
#include "panel_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/viewers/record_viewers.h"
#include "app/viewers/zoom_to_drawn_object.h"
#include "platform/base/settings.h"
#include "platform/db/dao.h"
#include "platform/widgets/grid.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using paneltest::Harness;

constexpr gdi::Colour kGrey = gdi::rgb(128, 128, 128);

class SitePanel : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path sample = fs::path(TAVI_BUILD_DIR) / "share/tavi/data";
        ASSERT_TRUE(fs::exists(sample / "tavidata.sqlite")) << "sample project missing: " << sample;
        fs::copy(sample, data_.path(), fs::copy_options::recursive);
        h.state.settings.Data_Folder = data_.folder();
        h.ui.beep_sound = [this] { ++beeps_; };
    }
    void load() { h.panel().LoadData(); }
    grid::Grid *sites() { return h.control<grid::Grid>("vaSpread2"); }
    int row_of(const std::string &code) {
        return sites()->search_column(2, 1, sites()->row_count(), QString::fromStdString(code));
    }
    bool said(const std::string &text) const {
        return std::find(h.messages.begin(), h.messages.end(), text) != h.messages.end();
    }
    static std::string box(QWidget *window, const char *name) {
        if (auto *line = window->findChild<QLineEdit *>(name))
            return line->text().toStdString();
        if (auto *memo = window->findChild<QPlainTextEdit *>(name))
            return memo->toPlainText().toStdString();
        return "<no box " + std::string(name) + ">";
    }

    testing_support::TempFolder data_;
    Harness h;
    int beeps_ = 0;
};

TEST_F(SitePanel, TheLoadFillsTheSitesGridTheReferencesAndEnablesThePlot) {
    EXPECT_FALSE(h.control<QCheckBox>("Check1")->isEnabled());
    load();
    // The excavated areas' codes, named from the site list; the two dug sites the list
    // lacks are grey.
    ASSERT_EQ(sites()->row_count(), 41);
    const int listed = row_of("RE0001"), unlisted = row_of("RE0013");
    ASSERT_GT(listed, 0);
    ASSERT_GT(unlisted, 0);
    EXPECT_FALSE(sites()->text(1, listed).isEmpty());
    EXPECT_NE(sites()->back_colour(2, listed), kGrey);
    EXPECT_EQ(sites()->back_colour(2, unlisted), kGrey);
    EXPECT_EQ(sites()->back_colour(2, row_of("RE0027")), kGrey);
    EXPECT_TRUE(sites()->text(1, unlisted).isEmpty());

    auto *combo = h.control<QComboBox>("Combo1");
    EXPECT_EQ(combo->count(), 99);
    h.panel().Fill_RAZ_Reference_List(); // a second time lists every reference again
    EXPECT_EQ(combo->count(), 198);
    EXPECT_TRUE(h.control<QCheckBox>("Check1")->isEnabled());
    EXPECT_EQ(beeps_, 0);
}

TEST_F(SitePanel, ASiteClickFlashesItsAreaAndADoubleClickCentresIt) {
    load();
    h.log.clear();
    const int listed = row_of("RE0005");
    sites()->on_click(2, listed);
    EXPECT_EQ(h.log, std::vector<std::string>{"Flash_DRW 8 RE0005 0"});
    EXPECT_TRUE(said("Site " + sites()->text(1, listed).toStdString() + " found"));

    sites()->on_double_click(2, listed);
    const auto area = h.panel().object_list()->find("RE0005");
    ASSERT_TRUE(area);
    const auto &v = h.state.view;
    EXPECT_NEAR(v.View_X_Min + v.View_Width_Units / 2.0, area->centre_x, 1.0);
    EXPECT_NEAR(v.View_Y_Min + v.View_Height_Units / 2.0, area->centre_y, 1.0);
    EXPECT_GE(v.View_Height_Units, 25000);
    EXPECT_EQ(h.count("Redraw"), 1);

    h.log.clear();
    sites()->on_click(2, row_of("RE0013"));
    sites()->on_double_click(2, row_of("RE0013"));
    EXPECT_TRUE(h.log.empty());
    EXPECT_EQ(h.messages.back(), "Site not in datatable");
}

TEST_F(SitePanel, ReferencesOpenTheirViewersAndTheViewersStepThroughTheirTables) {
    load();
    auto *combo = h.control<QComboBox>("Combo1");
    combo->setEditText("7.12");
    emit combo->lineEdit()->returnPressed();
    app::view_RAZ_Text *texts = h.panel().text_viewer();
    ASSERT_TRUE(texts->isVisible());
    EXPECT_EQ(box(texts, "Period_No"), "7.");
    EXPECT_EQ(box(texts, "PFC_ID"), "RAZ 7.12");
    EXPECT_EQ(box(texts, "Era_No"), "7.");
    EXPECT_EQ(box(texts, "Title"), "Roman Colonia");

    h.next_answer = "  RE0012 ";
    h.click_toolbar("ctrlSearch");
    EXPECT_EQ(h.state.interaction.RAZ_Reference, "RE0012");
    app::View_recevents *site = h.panel().site_viewer();
    ASSERT_TRUE(site->isVisible());
    EXPECT_EQ(box(site, "RENO"), "12");
    EXPECT_EQ(box(site, "SITECODE"), "RE0012");
    site->data1()->step(sites::Step::Next);
    EXPECT_EQ(box(site, "RENO"), "14"); // 13 was never entered
    site->data1()->step(sites::Step::First);
    EXPECT_EQ(box(site, "RENO"), "1");
    site->data1()->step(sites::Step::Previous);
    EXPECT_EQ(box(site, "RENO"), "1");
}

TEST_F(SitePanel, ThePlotSwitchPlotsTheSiteListOnceAndClearsIt) {
    load();
    auto *plot = h.control<QCheckBox>("Check1");
    h.log.clear();
    h.click(plot);
    EXPECT_EQ(h.state.points.count(), 300);
    ASSERT_EQ(h.state.points.sets.size(), 1u);
    EXPECT_EQ(h.state.points.sets[0].table, "TAVIsitelist");
    for (int32_t i = 1; i < h.state.points.count(); ++i)
        ASSERT_LE(h.state.points.easting(i - 1), h.state.points.easting(i)) << i;
    h.panel().Plot_Excavation_Points(); // a second plot does nothing
    EXPECT_EQ(h.state.points.count(), 300);
    h.click(plot);
    EXPECT_TRUE(h.state.points.empty());
    EXPECT_EQ(h.count("Redraw"), 1);
}

TEST_F(SitePanel, PointsArePlottedInTheColourTheSwatchShows) {
    load();
    constexpr gdi::Colour kTeal = gdi::rgb(0, 128, 128), kRed = gdi::rgb(255, 0, 0);
    auto *swatch = h.control<QLineEdit>("Text1");
    h.next_colour = kTeal;
    QTest::mouseDClick(swatch, Qt::LeftButton);
    // A period's colour picked since is that period's, not the points'.
    h.next_colour = kRed;
    h.double_click_cell(app::PeriodGrid::kColourColumn, 2);
    ASSERT_EQ(h.state.drawings.entry(2).fixed_colour, kRed);
    h.click(h.control<QCheckBox>("Check1"));
    ASSERT_EQ(h.state.points.count(), 300);
    for (int32_t i = 0; i < h.state.points.count(); ++i)
        ASSERT_EQ(h.state.points.points[static_cast<std::size_t>(i)].colour, kTeal) << i;
    EXPECT_EQ(swatch->palette().color(QPalette::Base), QColor::fromRgb(gdi::to_qrgb(kTeal)));
}

TEST_F(SitePanel, TheObjectListFlashesAndZoomsToItsObjects) {
    load();
    app::Zoom_To_Drawn_object *list = h.panel().object_list();
    ASSERT_GT(list->list()->row_count(), 41);
    const auto area = list->find("RE0007");
    ASSERT_TRUE(area);
    const int row =
        list->list()->search_column(1, 1, list->list()->row_count(), "RE0007", grid::Match::Prefix);
    h.log.clear();
    list->object_clicked(1, row);
    EXPECT_EQ(h.log,
              std::vector<std::string>{"Flash_DRW 8 RE0007 " + std::to_string(area->first_unit)});
    list->object_double_clicked(1, row);
    EXPECT_NEAR(h.state.view.View_Y_Min + h.state.view.View_Height_Units / 2.0, area->centre_y,
                1.0);
    EXPECT_EQ(h.count("Redraw"), 1);

    // The toolbar's list holds the active drawings only.
    h.state.drawings.entry(8).active = false;
    h.click_toolbar("ctrlGotoObject");
    EXPECT_FALSE(list->find("RE0007"));
    EXPECT_TRUE(list->isVisible());
}

TEST_F(SitePanel, AMissingDatabaseIsSaidWithTwoBeepsEachTimeAndNothingElseHappens) {
    fs::remove(data_.path() / "tavidata.sqlite");
    load();
    const std::string path = data_.folder() + "tavidata.sqlite";
    EXPECT_TRUE(said("Search Linked Data File " + path + " Not Found"));
    EXPECT_TRUE(said("Linked Data File " + path + " Not Found"));
    EXPECT_EQ(beeps_, 4); // the grid's marks, then the references
    EXPECT_EQ(h.state.drawings.entry(1).linked_kind, 0);
    EXPECT_EQ(h.control<QComboBox>("Combo1")->count(), 0);
    for (int r = 1; r <= sites()->row_count(); ++r)
        ASSERT_NE(sites()->back_colour(2, r), kGrey) << "nothing is marked without the list";
}

TEST_F(SitePanel, ADamagedDatabaseEndsEachLookupWithItsMessageAndFillsNothing) {
    {
        std::ofstream(data_.path() / "tavidata.sqlite", std::ios::trunc | std::ios::binary)
            << "SQLite format 3" << std::string(1, '\0') << std::string(200, 'x');
    }
    load();
    EXPECT_EQ(h.control<QComboBox>("Combo1")->count(), 0);
    for (int r = 1; r <= sites()->row_count(); ++r)
        ASSERT_TRUE(sites()->text(1, r).isEmpty()) << r;
    EXPECT_TRUE(std::any_of(h.messages.begin(), h.messages.end(), [&](const std::string &m) {
        return m.find("tavidata.sqlite") != std::string::npos;
    }));
    h.click(h.control<QCheckBox>("Check1"));
    EXPECT_TRUE(h.state.points.empty());
}

// A project whose site list is on a server that asks for a password: the user is asked
// once, naming the server, whether their stored password may go there; a yes is kept in
// TAVI.ini and the plot goes on, a no sends nothing and is not asked again.
TEST_F(SitePanel, AServerAskingForAPasswordIsNamedAndAllowedOnlyByTheUser) {
    const char *uri = std::getenv("TAVI_TEST_POSTGRES");
    const char *host = std::getenv("TAVI_TEST_POSTGRES_DIR");
    if (uri == nullptr || host == nullptr)
        GTEST_SKIP() << "TAVI_TEST_POSTGRES is not set: no PostgreSQL server to test against";
    testing_support::TempFolder config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    std::ofstream(data_.path() / "prehistoric.sup", std::ios::trunc)
        << "2\n\"" << uri << "\"\n\"RAZ Text\"\nRAZREF\n\"Era details\"\nERANO\n";
    dao::clear_cache();
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "allowed" : "refused");
        std::vector<std::string> asked;
        h.panel().set_yes_no_box([&](const std::string &question) {
            asked.push_back(question);
            return yes;
        });
        load();
        h.click(h.control<QCheckBox>("Check1"));
        h.click(h.control<QCheckBox>("Check1")); // off, or on again after a refusal
        h.click(h.control<QCheckBox>("Check1"));
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_NE(asked[0].find(std::string(host) + ":5432"), std::string::npos) << asked[0];
        EXPECT_EQ(h.state.points.count() > 0, yes);
        const std::string allowed =
            settings::get("TAVI", dao::kServersSection, dao::kStoredPasswordsKey, "");
        EXPECT_EQ(allowed.find(host) != std::string::npos, yes) << allowed;
        if (!yes)
            h.take_panel(); // a new session asks again
    }
    ::unsetenv("XDG_CONFIG_HOME");
}

} // namespace
