// The converter's way out: drawings and the site list as OGR layers, checked through
// OGR itself.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "convert_test_support.h"
#include "support/temp_folder.h"
#include "tools/convert/convert_error.h"
#include "tools/convert/drawing_to_ogr.h"
#include "tools/convert/export_project.h"
#include "tools/convert/palette.h"
#include "tools/convert/text_codec.h"
#include "tools/writers/companions.h"

namespace {

namespace fs = std::filesystem;
using namespace convert_test;
using testing_support::TempFolder;

TEST(ConvertPalette, ColoursBothWays) {
    const convert::Palette p;
    EXPECT_EQ(p.hex(4), "#aa0000");
    EXPECT_EQ(p.hex(1), "#0000aa");
    EXPECT_EQ(p.hex(255), "#ffffff");
    struct Case {
        const char *text;
        int index; // -1: no colour
    } cases[] = {
        {"#aa0000", 4},   {"aa0000", 4},   {" #AA0000 ", 4},
        {"#be5500", 6},   // entries 16-25 repeat 6-15: the first draws the same
        {"#fe0101", 249}, // no such entry: the nearest, pure red
        {"#aa00", -1},    {"#gg0000", -1}, {"", -1},
    };
    for (const Case &c : cases) {
        const auto i = p.index_of(c.text);
        if (c.index < 0)
            EXPECT_FALSE(i) << c.text;
        else
            EXPECT_EQ(i.value_or(0), c.index) << c.text;
    }
}

TEST(ConvertText, DrawingTextsAndMetres) {
    EXPECT_EQ(convert::to_utf8("Caf\xe9"), "Caf\xc3\xa9");     // Latin-1 as the viewer reads it
    EXPECT_EQ(convert::to_utf8("Caf\xc3\xa9"), "Caf\xc3\xa9"); // already UTF-8
    struct Case {
        const char *utf8, *stored;
        bool cut;
    } cases[] = {
        {"Caf\xc3\xa9", "Caf\xe9", false},           // one byte a character where it can be
        {"ROMAN BATHS NORTH", "ROMAN BATHS ", true}, // twelve bytes
        {"\xce\xb1\xce\xb2\xce\xb3\xce\xb4\xce\xb5\xce\xb6\xce\xb7", // Greek: UTF-8, whole
         "\xce\xb1\xce\xb2\xce\xb3\xce\xb4\xce\xb5\xce\xb6", true},  // characters only
    };
    for (const Case &c : cases) {
        bool cut = false;
        EXPECT_EQ(convert::to_drawing_text(c.utf8, 12, cut), c.stored) << c.utf8;
        EXPECT_EQ(cut, c.cut) << c.utf8;
    }
    EXPECT_EQ(convert::metres_text(49640025, 1), "496400.25");
    EXPECT_EQ(convert::metres_text(496400123, 10), "496400.123");
    EXPECT_EQ(convert::metres_text(-5, 1), "-0.05");
}

TEST(ConvertExport, EachObjectKindWithItsAttributes) {
    TempFolder temp;
    write_roman(temp.path());
    write_project(temp.path(), "roman.drw\r\n");
    const fs::path out = temp.path() / "out.gpkg";
    const convert::ExportReport r = convert::export_project({temp.path(), out, false, stderr});
    EXPECT_EQ(r.hidden, 2); // the hidden and the header-only object

    std::string srs;
    const auto f = read_layer(out, "roman", &srs);
    EXPECT_EQ(srs, "27700");
    ASSERT_EQ(f.size(), 4u);
    // Rings closed, metres from hundredths, tenths divided exactly.
    EXPECT_EQ(f[0].wkt, "POLYGON ((496400 370000,496410 370000,496410 370005,496400 370000))");
    EXPECT_EQ(f[1].wkt, "LINESTRING (496400 370010,496420 370015)");
    EXPECT_EQ(f[2].wkt, "POINT (496401 370001)");
    EXPECT_EQ(f[3].wkt, "POLYGON ((496400.123 370000.456,496400.223 370000.456,"
                        "496400.223 370000.556,496400.123 370000.456))");
    struct Expect {
        const char *field;
        std::vector<std::string> values; // per feature
    } table[] = {
        {"group", {"WALL 12", "WALL 12", "WALL 12", "PITS"}},
        {"group_no", {"1", "1", "1", "2"}},
        {"kind", {"1", "1", "1", "10"}},
        {"reference", {"F104", "F105", "(null)", "(null)"}},
        {"text", {"WALL", "(null)", "ERA 7", "(null)"}},
        {"colour", {"#aa0000", "#aa00aa", "#000000", "#be5500"}},
        {"colour_no", {"4", "5", "0", "6"}},
        {"fill", {"8", "0", "0", "26"}},
        {"pen_style", {"1", "2", "0", "0"}},
        {"line_width", {"40", "0", "0", "0"}},
        {"layer", {"1", "2", "2", "0"}},
        {"layer_name", {"WALLS", "LABELS", "LABELS", "FEATURES"}},
        {"extra_pts", {"(null)", "(null)", "496461.00 370001.00 0.00", "(null)"}},
    };
    for (const Expect &e : table)
        for (std::size_t k = 0; k < f.size(); ++k)
            EXPECT_EQ(f[k].field(e.field), e.values[k]) << e.field << " of feature " << k;
}

TEST(ConvertExport, EachFormatGetsTheLayersItCanHold) {
    TempFolder temp;
    write_roman(temp.path());
    write_project(temp.path(), "roman.drw\r\n");
    struct Case {
        const char *out;
        std::vector<std::pair<std::string, std::size_t>> layers; // name, features
    } cases[] = {
        {"out.gpkg", {{"roman", 4}}},
        // A Shapefile holds one kind of geometry.
        {"shapes", {{"roman_polygons", 2}, {"roman_lines", 1}, {"roman_points", 1}}},
        // One layer for everything, each feature naming its drawing.
        {"out.geojson", {{"out", 4}}},
    };
    for (const Case &c : cases) {
        const fs::path out = temp.path() / c.out;
        const auto r = convert::export_project({temp.path(), out, false, stderr});
        ASSERT_EQ(r.layers.size(), c.layers.size()) << c.out;
        for (const auto &[name, count] : c.layers) {
            const auto f = read_layer(out, name);
            EXPECT_EQ(f.size(), count) << c.out << " " << name;
            if (c.layers.size() == 1 && !f.empty() && fs::path(c.out).extension() != ".gpkg") {
                EXPECT_EQ(f[0].field("drawing"), "roman");
            }
        }
    }
    // A single Shapefile cannot take polygons and lines: nothing is written.
    EXPECT_THROW(convert::export_project({temp.path(), temp.path() / "one.shp", false, stderr}),
                 convert::ConvertError);
    EXPECT_FALSE(fs::exists(temp.path() / "one.shp"));
}

void exec(sqlite3 *db, const char *sql) {
    char *err = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
}

TEST(ConvertExport, SitesPlacedByGridReferenceOrCoordinates) {
    TempFolder temp;
    write_roman(temp.path());
    write_project(temp.path(), "roman.drw\r\n");
    ASSERT_TRUE(writers::write_sup(temp.path() / "roman.sup", 2, {"sites.sqlite", "RAZ Text"}));
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open((temp.path() / "sites.sqlite").c_str(), &db), SQLITE_OK);
    exec(db, "CREATE TABLE TAVIsitelist (RENO INTEGER, \"SITE NAME\" TEXT, NGS TEXT, "
             "xcoord REAL, ycoord REAL, LEVEL REAL);"
             "INSERT INTO TAVIsitelist VALUES (1, 'Castle', 'SK 9622 7016', 96220.74, "
             "70164.21, 10.5);"
             // No reference: the coordinates are the whole grid's.
             "INSERT INTO TAVIsitelist VALUES (2, 'Field', '  ', 512345.5, 301234.25, NULL);"
             "INSERT INTO TAVIsitelist VALUES (3, 'Bridge', 'tq 01 02', 1000.0, 2000.0, 3.0);"
             "INSERT INTO TAVIsitelist VALUES (4, 'Lost', 'SK', NULL, NULL, NULL);");
    sqlite3_close(db);

    const fs::path out = temp.path() / "out.gpkg";
    const auto r = convert::export_project({temp.path(), out, true, stderr});
    EXPECT_EQ(r.unplaced, 1);
    const auto f = read_layer(out, "sites");
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].wkt, "POINT (496220.74 370164.21)");
    EXPECT_EQ(f[1].wkt, "POINT (512345.5 301234.25)");
    EXPECT_EQ(f[2].wkt, "POINT (501000 102000)"); // T: 500 km east; Q: 100 km north
    EXPECT_EQ(f[0].field("SITE NAME"), "Castle");
    EXPECT_EQ(f[0].field("LEVEL"), "10.5");
    EXPECT_EQ(f[1].field("LEVEL"), "(null)");
    EXPECT_EQ(f[2].field("NGS"), "tq 01 02"); // fields as stored
}

TEST(ConvertExport, AProjectWithoutSiteDatabaseIsAnError) {
    TempFolder temp;
    write_roman(temp.path());
    write_project(temp.path(), "roman.drw\r\n");
    std::ofstream(temp.path() / "roman.sup"); // empty: links nothing
    try {
        convert::export_project({temp.path(), temp.path() / "out.gpkg", true, stderr});
        FAIL() << "no error";
    } catch (const convert::ConvertError &e) {
        EXPECT_NE(std::string(e.what()).find("no site database"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::exists(temp.path() / "roman.sup")); // the data folder is left alone
    EXPECT_FALSE(fs::exists(temp.path() / "out.gpkg"));
}

// The converter opens the project as the viewer does, and its opening writes nothing: it
// leaves an empty linked-data description in place, as the viewer does, and makes no index
// or table for a drawing that lacks them. Drawings beyond those the viewer loads are named,
// not lost.
TEST(ConvertExport, OpeningTheProjectLeavesItsFolderAsItWas) {
    TempFolder temp;
    write_roman(temp.path());
    std::string project;
    for (int n = 1; n <= 16; ++n) {
        const std::string name = "copy" + std::to_string(n) + ".drw";
        fs::copy_file(temp.path() / "roman.drw", temp.path() / name);
        project += name + "\r\n";
    }
    write_project(temp.path(), project + "absent.drw\r\n");
    std::ofstream(temp.path() / "copy2.sup"); // empty: links nothing
    const auto listing = [&] {
        std::vector<std::string> files;
        for (const auto &f : fs::directory_iterator(temp.path()))
            files.push_back(
                f.path().filename().string() + " " + std::to_string(fs::file_size(f.path())) + " " +
                std::to_string(fs::last_write_time(f.path()).time_since_epoch().count()));
        std::sort(files.begin(), files.end());
        return files;
    };
    const std::vector<std::string> before = listing();
    const fs::path out = temp.path() / ".." / (temp.path().filename().string() + ".gpkg");
    const convert::ExportReport r = convert::export_project({temp.path(), out, false, stderr});
    fs::remove(out);
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(r.layers.size(), 15u);
    // The sixteenth and later are never registered, there or not.
    EXPECT_EQ(r.not_loaded, (std::vector<std::string>{"copy16.drw", "absent.drw"}));
    EXPECT_TRUE(r.missing.empty());
}

} // namespace
