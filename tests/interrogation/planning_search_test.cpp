// The planning search of the drawn objects: which polygons hold a point, with their
// names and classes, in whichever units a drawing stores them, and how a feature name
// leads back to its drawing.
#include <gtest/gtest.h>

#include "interrogation/planning_search.h"
#include "support/temp_folder.h"
#include "tools/writers/companions.h"
#include "tools/writers/drw_writer.h"

namespace {

using namespace interrogation;

// In the square SK, well inside the grid.
constexpr int32_t kX = 40'100'000, kY = 30'200'000;

ZT_Point3 at(int32_t dx, int32_t dy, int32_t scale) {
    return {(kX + dx) * scale, (kY + dy) * scale, 0};
}

// A square from (x0, y0) to (x1, y1) about the origin (kX, kY), in the kind's units.
std::vector<ZT_Point3> square(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t scale) {
    return {at(x0, y0, scale), at(x1, y0, scale), at(x1, y1, scale), at(x0, y1, scale)};
}

class Planning : public ::testing::Test {
  protected:
    // The same drawing in the units of the kind: two overlapping polygons of feature
    // 9.12, a polyline over the point, a site's area, and features elsewhere.
    std::string drawing(int16_t kind, const std::string &name) {
        const int32_t s = kind == 10 ? 10 : 1;
        writers::DrwWriter w;
        w.layer_table({"WALLS"});
        w.begin_group(kind, "FAR WEST");
        w.polygon(square(-90000, -1000, -80000, 1000, s), writers::header({.reference = "Ditch"}));
        w.begin_group(kind, "9.12");
        w.polygon(square(-1000, -1000, 1000, 1000, s), writers::header({.reference = "Wall"}));
        w.polyline(square(-2000, -2000, 2000, 2000, s), writers::header({.reference = "Road"}));
        w.polygon(square(-500, -500, 500, 500, s), writers::header({.reference = "Floor"}));
        w.begin_group(kind, "RE1234");
        w.polygon(square(-100, -100, 100, 100, s), writers::header({.reference = "Trench"}));
        w.begin_group(kind, "7.3");
        w.polygon(square(0, 0, 300, 300, s), writers::header({.reference = "Yard"})); // corner
        w.begin_group(kind, "FAR EAST");
        w.polygon(square(80000, -1000, 90000, 1000, s), writers::header({.reference = "Bank"}));
        w.end_mark();
        const auto path = temp_.path() / (name + ".drw");
        EXPECT_TRUE(w.save(path));
        EXPECT_TRUE(writers::write_index(temp_.path() / (name + ".zix"), w.index_records()));
        return path.string();
    }
    int add(const std::string &path, bool active = true) {
        state::DrawingEntry e;
        e.file_name = path;
        e.active = active;
        return drawings_.add(e);
    }
    static std::vector<std::pair<std::string, std::string>> rows(const PlanningHits &h) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const PlanningHit &hit : h.hits)
            out.emplace_back(hit.feature_class, hit.feature_name);
        return out;
    }

    testing_support::TempFolder temp_;
    state::DrawingTable drawings_;
};

TEST_F(Planning, EveryUnitGivesTheSameFeaturesInFileOrder) {
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Wall", "9.12"}, {"Floor", "9.12"}, {"Excavated Area", "RE1234"}};
    // Kind 0 means whole units as 1 does; 10 holds tenths.
    for (const int16_t kind : {1, 0, 10}) {
        drawings_.clear();
        add(drawing(kind, "kind" + std::to_string(kind)));
        const PlanningHits h = planning_hits(drawings_, kX, kY - 50, 1000);
        EXPECT_EQ(rows(h), expected) << "kind " << kind;
        EXPECT_EQ(h.hits.front().drawing, 1);
    }
}

TEST_F(Planning, APointOnAnEdgeIsNotInside) {
    add(drawing(1, "plain"));
    // On the edge of the site's area and the corner of 7.3, inside the wall and floor.
    EXPECT_EQ(
        rows(planning_hits(drawings_, kX + 100, kY, 0)),
        (std::vector<std::pair<std::string, std::string>>{{"Wall", "9.12"}, {"Floor", "9.12"}}));
    EXPECT_EQ(rows(planning_hits(drawings_, kX + 150, kY + 150, 0)),
              (std::vector<std::pair<std::string, std::string>>{
                  {"Wall", "9.12"}, {"Floor", "9.12"}, {"Yard", "7.3"}}));
}

TEST_F(Planning, DrawingsAreSearchedInOrderAndEveryHitIsKept) {
    add(drawing(1, "first"));
    add(drawing(10, "off"), false);
    // A drawing of 300 nested squares around the point: far more than a page of hits.
    writers::DrwWriter w;
    w.begin_group(1, "9.40");
    for (int32_t k = 1; k <= 300; ++k)
        w.polygon(square(-k, -k, k, k, 1), writers::header({.reference = std::to_string(k)}));
    w.end_mark();
    ASSERT_TRUE(w.save(temp_.path() / "many.drw"));
    ASSERT_TRUE(writers::write_index(temp_.path() / "many.zix", w.index_records()));
    add((temp_.path() / "many.drw").string());
    add((temp_.path() / "missing.drw").string());

    const PlanningHits h = planning_hits(drawings_, kX, kY, 1000);
    ASSERT_EQ(h.hits.size(), 3u + 300u);
    EXPECT_EQ(h.hits[3].drawing, 3);
    EXPECT_EQ(h.hits.back().feature_class, "300");
    EXPECT_EQ(h.label, "Search @ SK  100000/ 200000");
}

// An index naming one group many times over (a damaged or hostile one) costs one search of
// the group, and lists its polygons once, under the first entry's name.
TEST_F(Planning, AGroupNamedByManyEntriesIsSearchedOnce) {
    writers::DrwWriter w;
    w.begin_group(1, "9.12");
    w.polygon(square(-1000, -1000, 1000, 1000, 1), writers::header({.reference = "Wall"}));
    w.polygon(square(-500, -500, 500, 500, 1), writers::header({.reference = "Floor"}));
    w.end_mark();
    ASSERT_TRUE(w.save(temp_.path() / "named.drw"));
    std::vector<drawing::IndexRecord> index(1600, w.index_records().front());
    for (std::size_t i = 0; i < index.size(); ++i)
        index[i].name = drawing::text12(i == 0 ? "9.12" : "9.13");
    ASSERT_TRUE(writers::write_index(temp_.path() / "named.zix", index));
    add((temp_.path() / "named.drw").string());
    EXPECT_EQ(
        rows(planning_hits(drawings_, kX, kY, 0)),
        (std::vector<std::pair<std::string, std::string>>{{"Wall", "9.12"}, {"Floor", "9.12"}}));
}

TEST(PlanningReference, TheFormOfANameTellsItsDrawing) {
    const std::pair<const char *, int32_t> cases[] = {{"9.12", 5}, {"11.2", 7}, {"RE1234", 8},
                                                      {"9.RE", 8}, {"Wall", 0}, {"", 0}};
    for (const auto &[reference, drawing] : cases)
        EXPECT_EQ(drawing_of_reference(reference), drawing) << reference;
}

} // namespace
