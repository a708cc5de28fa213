// The redraw's shortcuts against the plain redraw, on a generated city of many groups in
// both units with a plotted site list: the grid over each index, the drawings and their
// groups held in memory and the stamped site symbols must give exactly the picture of
// walking every index entry, reading through the system and drawing every symbol on its
// own, at every kind of view, and must keep doing so as the files change.
#include <gtest/gtest.h>

#include <QImage>

#include <array>
#include <filesystem>
#include <string>

#include "project/session.h"
#include "support/run_program.h"
#include "support/temp_folder.h"
#include "view/navigation.h"

namespace fs = std::filesystem;

namespace {

class RedrawShortcuts : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        city_ = new testing_support::TempFolder;
        const auto r = testing_support::run_program(
            "make_sample_city", {"--out", QString::fromStdString(city_->path().string()),
                                 "--multiply", "6", "--sites", "20000"});
        ASSERT_EQ(r.code, 0) << r.err;
    }
    static void TearDownTestSuite() {
        delete city_;
        city_ = nullptr;
    }

    // The picture of the view, with and without the shortcuts.
    std::array<QImage, 2> both_ways(const std::array<double, 3> &view) {
        std::array<QImage, 2> pictures;
        for (const bool shortcuts : {true, false}) {
            project::AppState &st = session.state();
            st.display.Shortcuts = shortcuts;
            st.view.View_X_Min = view[0];
            st.view.View_Y_Min = view[1];
            st.view.View_Height_Units = static_cast<int32_t>(view[2]);
            session.redraw();
            pictures[shortcuts ? 0 : 1] = session.picture().copy();
        }
        return pictures;
    }

    static testing_support::TempFolder *city_;
    project::Session session{1200, 800};
};

testing_support::TempFolder *RedrawShortcuts::city_ = nullptr;

long differing(const QImage &a, const QImage &b) {
    long n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

} // namespace

TEST_F(RedrawShortcuts, DrawTheSamePixelsAsThePlainRedraw) {
    ASSERT_TRUE(session.open(city_->path().string() + "/"));
    ASSERT_TRUE(session.plot_sites());
    ASSERT_GT(session.state().points.count(), 19000);
    const std::array<double, 3> views[] = {
        {view::kMaxViewOriginX, view::kMaxViewOriginY, view::kMaxViewHeight}, // everything
        {49'620'000, 36'980'000, 27'500},  // a street at the centre, across tiles
        {49'600'000, 36'885'000, 10'000},  // groups in tenths, after the walk stops
        {49'641'000, 37'002'000, 900},     // closer than any group
        {49'000'000, 36'400'000, 300'000}, // over the map's south-west corner
        {49'780'000, 36'700'000, 160'000}, // over filled tiles and empty ones
        {50'100'000, 37'600'000, 50'000},  // beside the map: nothing
    };
    for (const bool filled : {false, true}) {
        session.state().display.Polygon_Filling = filled;
        for (const auto &v : views) {
            SCOPED_TRACE(::testing::Message() << (filled ? "filled " : "outlined ") << v[0] << ","
                                              << v[1] << "," << v[2]);
            const auto [fast, plain] = both_ways(v);
            EXPECT_EQ(differing(fast, plain), 0);
        }
    }
    // The two large drawings were drawn from their groups held in memory.
    EXPECT_EQ(session.drawing_cache().groups_held(), 2);

    // A drawing cut short and an index cut to its first half, between two redraws: what
    // the shortcuts kept of them is not used again.
    const std::array<double, 3> street = views[1];
    const QImage before = both_ways(street)[0];
    const fs::path drawing = city_->path() / "prehistoric.drw";
    fs::resize_file(drawing, fs::file_size(drawing) / 2 / 12 * 12);
    const fs::path index = city_->path() / "industrial.zix";
    fs::resize_file(index, fs::file_size(index) / 2 / 42 * 42);
    const auto [fast, plain] = both_ways(street);
    EXPECT_EQ(differing(fast, plain), 0);
    EXPECT_GT(differing(fast, before), 0);
}
