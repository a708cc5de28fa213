// Reading drawings and indexes: the walk over a written file, the unusual layouts the
// format allows, and reads bounded by what the file holds.
#include <gtest/gtest.h>

#include "drawing/drw_reader.h"
#include "drawing_test_support.h"
#include "tools/writers/companions.h"
#include "tools/writers/drw_writer.h"

using namespace drawing;
using drawtest::at;
using drawtest::ScratchDir;
namespace fs = std::filesystem;

namespace {

struct Seen {
    DrawingWalker::Kind kind;
    int16_t code;
    int64_t unit;
    int32_t points;
    bool operator==(const Seen &) const = default;
    friend std::ostream &operator<<(std::ostream &o, const Seen &s) {
        return o << "{kind " << static_cast<int>(s.kind) << ", code " << s.code << ", unit "
                 << s.unit << ", points " << s.points << "}";
    }
};

std::vector<Seen> walk(const fs::path &p) {
    auto f = files::BinaryFile::open_existing(p);
    DrawingWalker w(f);
    std::vector<Seen> out;
    while (w.next())
        out.push_back(Seen{w.kind(), w.code(), w.unit_number(), w.point_count()});
    return out;
}

// A file read through the system, and the same bytes held in memory, which are read
// in place: both must give the same units, points and bounds.
const bool kHeld[] = {false, true};

files::BinaryFile open_as(const fs::path &p, bool held) {
    if (!held)
        return files::BinaryFile::open_existing(p);
    files::Identity id;
    return files::BinaryFile::over(files::read_whole(p, id));
}

} // namespace

TEST(DrawingWalker, EveryRecordComesBackAsWritten) {
    ScratchDir dir;
    writers::DrwWriter w;
    const std::vector<ZT_Point3> ring = {at(10, 10, 1), at(50, 10, 2), at(30, 40, 3)};
    ObjectHeader h = writers::header({.colour = 9,
                                      .fill = 12,
                                      .line_width = 30,
                                      .pen_style = 2,
                                      .layer = 4,
                                      .reference = "REF-7"});
    h.status = -3;
    h.text1 = text12("FIRST");
    h.value1 = 11, h.value2 = -12, h.value3 = 13;
    AnnotationRecord a;
    a.layer = 8;
    a.text1 = text12("NOTE");
    LayerRecord plain;
    plain.number = 3, plain.number_copy = 3, plain.value = 77, plain.short_text = text6("abc");
    plain.name = text12("WELLS");
    LayerRecord variant;
    variant.variant = true, variant.number = 4, variant.attributes = -9, variant.fill_switch = 1;
    variant.display_mode = 2, variant.extra = 300, variant.name = text12("PITS");

    w.begin_group(10, "FIRST GROUP", 5);
    w.polygon(ring, h);
    w.annotation(std::vector<ZT_Point3>{at(1, 2)}, a);
    w.hidden(std::vector<ZT_Point3>{at(3, 4), at(5, 6)}, h, kCodeHiddenB);
    w.layer(plain);
    w.layer(variant);
    w.header_only(h, std::vector<ZT_Point3>{at(7, 8)});
    w.end_mark();
    ASSERT_TRUE(w.save(dir.path() / "a.drw"));

    auto f = files::BinaryFile::open_existing(dir.path() / "a.drw");
    DrawingWalker r(f);
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.kind(), DrawingWalker::Kind::Group);
    EXPECT_EQ(r.group(), w.groups()[0].record);
    EXPECT_EQ(r.group().kind, 10);

    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.code(), kCodePolygon);
    EXPECT_EQ(r.unit_number(), 6);
    ObjectHeader expected = h;
    expected.point_count = 3;
    EXPECT_EQ(r.object(), expected);
    EXPECT_EQ(r.object().pen_style, 3); // dot is stored as 2 + 1
    ASSERT_EQ(r.point_count(), 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(r.points()[k].x, ring[k].x);
        EXPECT_EQ(r.points()[k].y, ring[k].y);
        EXPECT_EQ(r.points()[k].z, ring[k].z);
    }

    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.kind(), DrawingWalker::Kind::Annotation);
    AnnotationRecord expected_a = a;
    expected_a.point_count = 1;
    EXPECT_EQ(r.annotation(), expected_a);

    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.code(), kCodeHiddenB);
    EXPECT_EQ(r.point_count(), 2);

    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.kind(), DrawingWalker::Kind::Layer);
    EXPECT_EQ(r.layer(), plain);
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.layer(), variant);

    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.code(), kCodeHeaderOnly);
    EXPECT_EQ(r.point_count(), 0);
    // The header-only object's point is met as a plain data unit.
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.kind(), DrawingWalker::Kind::Data);
    EXPECT_EQ(r.unit().point().x, at(7, 8).x);

    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.kind(), DrawingWalker::Kind::EndMark);
    EXPECT_FALSE(r.next());
}

TEST(DrawingWalker, ZeroLengthFileHoldsNothing) {
    ScratchDir dir;
    drawtest::write_bytes(dir.path() / "empty.drw", {});
    EXPECT_TRUE(walk(dir.path() / "empty.drw").empty());
    EXPECT_TRUE(walk(dir.path() / "missing.drw").empty());
}

TEST(DrawingWalker, UnknownCodeIsConsumedAlone) {
    ScratchDir dir;
    writers::DrwWriter w;
    w.begin_group(1, "G");
    w.control_unit(-77);
    w.polyline(std::vector<ZT_Point3>{at(1, 1), at(2, 2)});
    w.control_unit(-1000);
    w.point_unit(at(9, 9));
    w.save(dir.path() / "u.drw");
    using K = DrawingWalker::Kind;
    const std::vector<Seen> expected = {
        {K::Group, kCodeGroup, 1, 0}, {K::Other, -77, 6, 0}, {K::Object, kCodePolyline, 7, 2},
        {K::Other, -1000, 14, 0},     {K::Data, 0, 15, 0},
    };
    EXPECT_EQ(walk(dir.path() / "u.drw"), expected);
}

TEST(RecordReads, ShortReadKeepsTheRestOfTheRecord) {
    ScratchDir dir;
    // 20 bytes of a 48-byte group record: kind, length, reserved, x min and y min.
    std::vector<uint8_t> bytes(20, 0);
    put_i16(bytes.data(), 10);
    put_i32(bytes.data() + 4, 99);
    put_i32(bytes.data() + 12, 1234);
    drawtest::write_bytes(dir.path() / "short", bytes);
    auto f = files::BinaryFile::open_existing(dir.path() / "short");
    GroupRecord g;
    g.y_min = 555;
    g.z_min = 666;
    g.name = text12("OLD NAME");
    EXPECT_FALSE(read_record(f, g));
    EXPECT_EQ(g.kind, 10);
    EXPECT_EQ(g.length, 99);
    EXPECT_EQ(g.x_min, 1234);
    EXPECT_EQ(g.y_min, 0);
    EXPECT_EQ(g.z_min, 666);
    EXPECT_EQ(trimmed(g.name), "OLD NAME");
    // Nothing left: the record stays as it is.
    EXPECT_FALSE(read_record(f, g));
    EXPECT_EQ(g.length, 99);
}

TEST(RecordReads, PartialUnitAtTheEndIsNoUnit) {
    ScratchDir dir;
    std::vector<uint8_t> bytes(12 + 7, 0);
    put_i16(bytes.data(), kCodeEndMark);
    drawtest::write_bytes(dir.path() / "tail", bytes);
    for (const bool held : kHeld) {
        SCOPED_TRACE(held ? "held in memory" : "read through the system");
        auto f = open_as(dir.path() / "tail", held);
        Unit u;
        EXPECT_TRUE(read_unit(f, u));
        EXPECT_EQ(u.code(), kCodeEndMark);
        EXPECT_FALSE(read_unit(f, u));
    }
}

TEST(RecordReads, PointCountsAreBoundedByTheFile) {
    ScratchDir dir;
    std::vector<uint8_t> bytes(12 * 5 + 5, 0); // five points and a scrap
    for (int k = 0; k < 5; ++k)
        encode_point(at(k, k + 1), bytes.data() + 12 * k);
    drawtest::write_bytes(dir.path() / "pts", bytes);
    for (const bool held : kHeld) {
        SCOPED_TRACE(held ? "held in memory" : "read through the system");
        auto f = open_as(dir.path() / "pts", held);
        EXPECT_EQ(bounded_point_count(f, -1), 0);
        EXPECT_EQ(bounded_point_count(f, std::numeric_limits<int32_t>::min()), 0);
        EXPECT_EQ(bounded_point_count(f, 3), 3);
        EXPECT_EQ(bounded_point_count(f, std::numeric_limits<int32_t>::max()), 5);

        std::vector<ZT_Point3> out(8);
        EXPECT_EQ(read_points(f, 1000000, out.data(), out.size()), 5);
        EXPECT_EQ(out[4].x, at(4, 0).x);
        EXPECT_EQ(f.position(), 60);
        EXPECT_EQ(read_points(f, 2, out.data(), out.size()), 0);

        // Room limits the read too.
        f.seek(0);
        EXPECT_EQ(read_points(f, 5, out.data(), 2), 2);
        EXPECT_EQ(f.position(), 24);
    }
}

TEST(RecordReads, SkipsNeverGoBackwards) {
    ScratchDir dir;
    drawtest::write_bytes(dir.path() / "s", std::vector<uint8_t>(12 * 10, 1));
    auto f = files::BinaryFile::open_existing(dir.path() / "s");
    ASSERT_TRUE(seek_unit(f, 4));
    EXPECT_EQ(f.position(), 36);
    EXPECT_EQ(current_unit(f), 4);
    EXPECT_EQ(skip_units(f, -3), 0);
    EXPECT_EQ(f.position(), 36);
    EXPECT_EQ(skip_units(f, 2), 2);
    EXPECT_EQ(current_unit(f), 6);
    EXPECT_EQ(skip_units(f, 1000), 5); // stops at the end
    EXPECT_EQ(units_remaining(f), 0);
    EXPECT_FALSE(seek_unit(f, 0));
    EXPECT_FALSE(seek_unit(f, -5));
    EXPECT_EQ(current_unit(f), 11);
}

TEST(IndexFile, RecordCountIgnoresATrailingPartialRecord) {
    EXPECT_EQ(index_record_count(0), 0);
    EXPECT_EQ(index_record_count(41), 0);
    EXPECT_EQ(index_record_count(84), 2);
    EXPECT_EQ(index_record_count(85), 2);

    ScratchDir dir;
    std::vector<IndexRecord> recs(2);
    recs[0].first_unit = 1, recs[0].x_min = 5;
    recs[1].first_unit = 20, recs[1].x_min = 6;
    writers::write_index(dir.path() / "x.zix", recs);
    auto bytes = drawtest::read_bytes(dir.path() / "x.zix");
    bytes.push_back(0x7F); // 85 bytes
    drawtest::write_bytes(dir.path() / "x.zix", bytes);
    const auto back = read_index(dir.path() / "x.zix");
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].first_unit, 20);
    EXPECT_TRUE(read_index(dir.path() / "none.zix").empty());
}
