#include "view/grid_ref.h"

#include <limits>
#include <optional>
#include <utility>

#include <gtest/gtest.h>

using view::NGR_To_Zent;
using view::os_factor;
using view::Zent_to_NGR;

namespace {

struct Split {
    std::string ngr;
    int32_t east, north;
};

Split split(int32_t east, int32_t north) {
    std::string ngr = "stale";
    Zent_to_NGR(east, north, ngr);
    return {ngr, east, north};
}

} // namespace

TEST(GridReference, LettersAddTheirSquareOffsetsAndTheReferenceIsUpperCased) {
    std::string ngr = "sk";
    int32_t east = 0, north = 0;
    ASSERT_TRUE(NGR_To_Zent(ngr, east, north));
    EXPECT_EQ(ngr, "SK");
    EXPECT_EQ(east, 40'000'000);
    EXPECT_EQ(north, 30'000'000);

    // The offsets are added to the in-square position already given.
    ngr = "TQ";
    east = 123;
    north = 456;
    ASSERT_TRUE(NGR_To_Zent(ngr, east, north));
    EXPECT_EQ(east, 50'000'000 + 123); // Q is in the first column
    EXPECT_EQ(north, 10'000'000 + 456);

    ngr = "HP";
    east = north = 0;
    ASSERT_TRUE(NGR_To_Zent(ngr, east, north));
    EXPECT_EQ(east, 40'000'000);
    EXPECT_EQ(north, 100'000'000 + 20'000'000);

    ngr = "JV";
    east = north = 0;
    ASSERT_TRUE(NGR_To_Zent(ngr, east, north));
    EXPECT_EQ(east, 50'000'000);
    EXPECT_EQ(north, 100'000'000);

    ngr = "OA";
    east = north = 0;
    ASSERT_TRUE(NGR_To_Zent(ngr, east, north));
    EXPECT_EQ(east, 50'000'000);
    EXPECT_EQ(north, 90'000'000);
}

TEST(GridReference, UnusedAndForeignCharactersAddOnlyWhatTheirCodesGive) {
    std::string ngr = "SI"; // I sits in the F-K row by its code, in no column
    int32_t east = 0, north = 0;
    ASSERT_TRUE(NGR_To_Zent(ngr, east, north));
    EXPECT_EQ(east, 0);
    EXPECT_EQ(north, 30'000'000);

    ngr = "X1";
    east = north = 7;
    ASSERT_TRUE(NGR_To_Zent(ngr, east, north));
    EXPECT_EQ(east, 7);
    EXPECT_EQ(north, 7);
}

TEST(GridReference, ReferenceShorterThanTwoCharactersIsRefused) {
    for (std::string ngr : {"", "s"}) {
        int32_t east = 5, north = 6;
        EXPECT_FALSE(NGR_To_Zent(ngr, east, north));
        EXPECT_EQ(east, 5);
        EXPECT_EQ(north, 6);
    }
}

TEST(GridReference, OffsetsNearTheEndOfTheRangeDoNotWrap) {
    std::string ngr = "JE";
    int32_t east = std::numeric_limits<int32_t>::max() - 10;
    int32_t north = 0;
    ASSERT_TRUE(NGR_To_Zent(ngr, east, north));
    EXPECT_EQ(east, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(north, 140'000'000);
}

TEST(GridReference, WorldPositionSplitsIntoLettersAndPositionInSquare) {
    const Split a = split(49'750'000, 37'150'000);
    EXPECT_EQ(a.ngr, "SK");
    EXPECT_EQ(a.east, 9'750'000);
    EXPECT_EQ(a.north, 7'150'000);

    const Split b = split(49'999'999, 37'150'000);
    EXPECT_EQ(b.ngr, "SK");
    EXPECT_EQ(b.east, 9'999'999);
    EXPECT_EQ(b.north, 7'150'000);

    const Split c = split(50'000'000, 0); // first unit of the next square east
    EXPECT_EQ(c.ngr, "TV");
    EXPECT_EQ(c.east, 0);

    const Split d = split(55'000'000, 105'000'000);
    EXPECT_EQ(d.ngr, "JV");
    EXPECT_EQ(d.east, 5'000'000);
    EXPECT_EQ(d.north, 5'000'000);
}

TEST(GridReference, PositionsOutsideTheLetteredSquaresGetFewerLetters) {
    const Split none = split(-1, 5);
    EXPECT_EQ(none.ngr, "");
    EXPECT_EQ(none.east, -1);
    EXPECT_EQ(none.north, 5);

    // No first letter, but a column and a row of the small squares.
    const Split second_only = split(30'000'000, -1);
    EXPECT_EQ(second_only.ngr, "");
    EXPECT_EQ(second_only.east, 0); // the column is taken off even though the row failed
    EXPECT_EQ(second_only.north, -1);

    // The H band is twice as tall as a square: its upper half has no second letter.
    const Split high = split(10'000'000, 160'000'000);
    EXPECT_EQ(high.ngr, "H");
    EXPECT_EQ(high.east, 0);
    EXPECT_EQ(high.north, 60'000'000);

    const Split far_east = split(100'000'000, 0);
    EXPECT_EQ(far_east.ngr, "");
    EXPECT_EQ(far_east.east, 100'000'000);
}

TEST(GridReference, SplitThenJoinGivesThePositionBack) {
    for (auto [e, n] : {std::pair{49'750'000, 37'150'000},
                        {12'345'678, 87'654'321},
                        {99'999'999, 149'999'999},
                        {0, 0}}) {
        Split s = split(e, n);
        ASSERT_EQ(s.ngr.size(), 2u) << e << "," << n;
        ASSERT_TRUE(NGR_To_Zent(s.ngr, s.east, s.north));
        EXPECT_EQ(s.east, e);
        EXPECT_EQ(s.north, n);
    }
}

TEST(GridReference, UnitsPerLastDigit) {
    EXPECT_EQ(os_factor(1), 1'000'000);
    EXPECT_EQ(os_factor(2), 100'000);
    EXPECT_EQ(os_factor(3), 10'000);
    EXPECT_EQ(os_factor(4), 1'000);
    EXPECT_EQ(os_factor(5), 100);
    EXPECT_EQ(os_factor(6), 10);
    EXPECT_EQ(os_factor(0), 1);
    EXPECT_EQ(os_factor(7), 1);
    EXPECT_EQ(os_factor(-3), 1);
}

TEST(GridReference, TypedPlacesAreReadAndCopiedPlacesReadBack) {
    using Place = std::optional<std::pair<int32_t, int32_t>>;
    // SK's square starts 400 km east and 300 km north.
    const Place church{{49'660'000, 37'025'000}};
    const struct {
        const char *typed;
        Place place;
    } cases[] = {
        {"SK 9660 7025", church},
        {"  sk 9660,7025 ", church},
        {"SK9660070250", church},
        {"SK 96600 70250", church},
        {"SK 96 70", Place{{49'600'000, 37'000'000}}},
        {"496600 370250", church},
        {"496600.5, 370250.25", Place{{49'660'050, 37'025'025}}},
        {"TF 0 0", Place{{50'000'000, 30'000'000}}},
        {"SK 9660 702", {}},      // the halves differ in length
        {"SK966070255", {}},      // an odd count run together
        {"SK 966001 702501", {}}, // finer than a metre
        {"SI 1 1", {}},           // no square is lettered I
        {"XK 1 1", {}},           // nor has a first letter X
        {"SK", {}},               // a square alone names no place in it
        // The grid's squares run to 700 km east and 1300 km north; the letters go on.
        {"HP 99999 99999", Place{{49'999'900, 129'999'900}}},
        {"TG 0 0", Place{{60'000'000, 30'000'000}}},
        {"JE 99999 99999", {}},
        {"TE 1 1", {}},
        {"HA 1 1", {}},
        {"TH 1 1", {}},
        {"496600", {}},           // one number
        {"-5 370250", {}},        // off the grid
        {"800000 370250", {}},    // beyond it
        {"496600 370250 12", {}}, // three numbers
        {"SK 96a0 7025", {}},     // not digits
        {"", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(view::parse_grid_reference(c.typed), c.place) << '"' << c.typed << '"';

    // What is copied is read back to the metre, and says where it is in whole metres.
    for (const auto &[x, y] : {std::pair{49'659'546, 37'025'501}, std::pair{123, 45'600'099},
                               std::pair{69'999'999, 129'999'999}})
        EXPECT_EQ(view::parse_grid_reference(view::grid_reference(x, y)),
                  (Place{{x / 100 * 100, y / 100 * 100}}))
            << view::grid_reference(x, y);
}

TEST(GridReference, AReferenceToTheMetreHasFiveDigitsEachWayInItsSquare) {
    struct Case {
        int32_t x, y;
        const char *reference;
    };
    const Case cases[] = {
        {49'659'546, 37'025'501, "SK 96595 70255"},
        {40'000'099, 30'000'000, "SK 00000 00000"}, // leading zeros kept; centimetres dropped
        {49'999'999, 39'999'999, "SK 99999 99999"},
        {-150, 5'000, "-2 50"}, // no square: whole metres from the origin, towards the south-west
    };
    for (const Case &c : cases)
        EXPECT_EQ(view::grid_reference(c.x, c.y), c.reference) << c.x << "," << c.y;
}
