// Record layouts of drawing and index files, the control-unit test, and the writers
// that produce drawings and their companions.
#include <gtest/gtest.h>

#include <shapefil.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <variant>
#include <vector>

#include "drawing/drw_format.h"
#include "drawing/drw_reader.h"
#include "drawing/linked_data.h"
#include "drawing_test_support.h"
#include "tools/writers/companions.h"
#include "tools/writers/drw_writer.h"

using namespace drawing;
using drawtest::at;
using drawtest::at_tenths;
namespace fs = std::filesystem;

namespace {

template <std::size_t N> std::array<uint8_t, N> zeros() {
    return std::array<uint8_t, N>{};
}

void put_text(uint8_t *p, const char *s, std::size_t n) {
    std::memset(p, ' ', n);
    std::memcpy(p, s, std::min(n, std::strlen(s)));
}

// A field at the value whose bytes, in file order, are base, base + 1, ...
void set_bytes(uint8_t &v, uint8_t base) {
    v = base;
}
void set_bytes(int16_t &v, uint8_t base) {
    v = static_cast<int16_t>(base | (base + 1) << 8);
}
void set_bytes(int32_t &v, uint8_t base) {
    v = static_cast<int32_t>(base | (base + 1u) << 8 | (base + 2u) << 16 | (base + 3u) << 24);
}
template <std::size_t N> void set_bytes(std::array<char, N> &t, uint8_t base) {
    for (std::size_t j = 0; j < N; ++j)
        t[j] = static_cast<char>(base + j);
}

// Every field of a layout filled through its table: field k (from 1) gets the bytes
// 0xk0, 0xk1, ...; the widths, in the order the format lays the fields out, say what
// the record's bytes must then be. Encoding must give exactly those bytes (none left
// over) and decoding them must give the record back.
template <class R, std::size_t N, class Decode>
void expect_layout(const std::array<Field<R>, N> &fields, std::initializer_list<int> widths,
                   Decode decode, R record = {}) {
    for (std::size_t k = 0; k < N; ++k) {
        const auto base = static_cast<uint8_t>(0x10 * (k + 1));
        std::visit([&](auto m) { set_bytes(record.*m, base); }, fields[k].member);
    }
    std::vector<uint8_t> want;
    int k = 1;
    for (int width : widths) {
        for (int j = 0; j < width; ++j)
            want.push_back(static_cast<uint8_t>(0x10 * k + j));
        ++k;
    }
    std::vector<uint8_t> got(want.size(), 0xEE);
    record.encode(got.data());
    EXPECT_EQ(got, want);
    EXPECT_EQ(decode(want.data()), record);
}

} // namespace

// Each record decoded from bytes laid out by hand, so that a field at a wrong offset or
// in the wrong byte order shows, and encoded back to the very same bytes.
TEST(RecordLayout, GroupRecordFieldsAtTheirOffsets) {
    auto b = zeros<kGroupRecordBytes>();
    b[0] = 10;                                              // kind
    b[2] = 0x34, b[3] = 0x12;                               // reserved
    b[4] = 0x04, b[5] = 0x03, b[6] = 0x02, b[7] = 0x01;     // length 0x01020304
    b[8] = 0x99;                                            // reserved
    b[12] = 0xFE, b[13] = 0xFF, b[14] = 0xFF, b[15] = 0xFF; // x min -2
    b[16] = 0x10;                                           // y min 16
    b[20] = 0xFF, b[21] = 0xFF, b[22] = 0xFF, b[23] = 0x7F; // z min max int
    b[24] = 0x20, b[28] = 0x30, b[32] = 0x40;
    put_text(&b[36], "ROMAN WALL", 12);
    const GroupRecord g = GroupRecord::decode(b.data());
    EXPECT_EQ(g.kind, 10);
    EXPECT_EQ(g.reserved1, 0x1234);
    EXPECT_EQ(g.length, 0x01020304);
    EXPECT_EQ(g.reserved2, 0x99);
    EXPECT_EQ(g.x_min, -2);
    EXPECT_EQ(g.y_min, 16);
    EXPECT_EQ(g.z_min, 0x7FFFFFFF);
    EXPECT_EQ(g.x_max, 0x20);
    EXPECT_EQ(g.y_max, 0x30);
    EXPECT_EQ(g.z_max, 0x40);
    EXPECT_EQ(std::string(g.name.data(), 12), "ROMAN WALL  "); // spaces kept
    EXPECT_EQ(trimmed(g.name), "ROMAN WALL");
    auto back = zeros<kGroupRecordBytes>();
    g.encode(back.data());
    EXPECT_EQ(back, b);
}

TEST(RecordLayout, ObjectHeaderFieldsAtTheirOffsets) {
    auto b = zeros<kObjectHeaderBytes>();
    b[0] = 0xE8, b[1] = 0x03; // 1000 points
    b[4] = 0xFF, b[5] = 0xFF; // status -1
    b[6] = 0x28;              // line width 40
    b[8] = 200;               // colour
    b[9] = 3;                 // pen style + 1
    b[10] = 255;              // layer
    b[11] = 60;               // fill
    put_text(&b[12], "TEXT ONE", 12);
    b[24] = 1, b[28] = 2, b[32] = 0x80, b[35] = 0x80;
    put_text(&b[36], "REF 0042", 12);
    const ObjectHeader h = ObjectHeader::decode(b.data());
    EXPECT_EQ(h.point_count, 1000);
    EXPECT_EQ(h.status, -1);
    EXPECT_EQ(h.line_width, 40);
    EXPECT_EQ(h.colour, 200);
    EXPECT_EQ(h.pen_style, 3);
    EXPECT_EQ(h.layer, 255);
    EXPECT_EQ(h.fill, 60);
    EXPECT_EQ(trimmed(h.text1), "TEXT ONE");
    EXPECT_EQ(h.value1, 1);
    EXPECT_EQ(h.value2, 2);
    EXPECT_EQ(h.value3, static_cast<int32_t>(0x80000080u));
    EXPECT_EQ(trimmed(h.text2), "REF 0042");
    auto back = zeros<kObjectHeaderBytes>();
    h.encode(back.data());
    EXPECT_EQ(back, b);
}

TEST(RecordLayout, AnnotationRecordFieldsAtTheirOffsets) {
    auto b = zeros<kAnnotationRecordBytes>();
    b[0] = 2;
    b[6] = 5;
    b[8] = 7, b[9] = 1, b[10] = 12, b[11] = 9;
    put_text(&b[12], "LABEL", 12);
    put_text(&b[24], "SECOND TEXT!", 12);
    const AnnotationRecord a = AnnotationRecord::decode(b.data());
    EXPECT_EQ(a.point_count, 2);
    EXPECT_EQ(a.line_width, 5);
    EXPECT_EQ(a.colour, 7);
    EXPECT_EQ(a.layer, 12);
    EXPECT_EQ(a.fill, 9);
    EXPECT_EQ(trimmed(a.text1), "LABEL");
    EXPECT_EQ(std::string(a.text2.data(), 12), "SECOND TEXT!");
    auto back = zeros<kAnnotationRecordBytes>();
    a.encode(back.data());
    EXPECT_EQ(back, b);
}

TEST(RecordLayout, BothLayerLayoutsShareNumberAndName) {
    auto b = zeros<kLayerRecordBytes>();
    b[0] = 17;                    // layer number
    b[2] = 17;                    // copy / low byte of the variant's int32
    b[4] = 0x05, b[5] = 0x01;     // value 0x0105
    put_text(&b[6], "SHORT!", 6); // short text / variant bytes 6-11
    put_text(&b[12], "DITCHES", 12);
    const LayerRecord plain = LayerRecord::decode(b.data(), false);
    const LayerRecord variant = LayerRecord::decode(b.data(), true);
    EXPECT_EQ(plain.number, 17);
    EXPECT_EQ(variant.number, 17);
    EXPECT_EQ(trimmed(plain.name), "DITCHES");
    EXPECT_EQ(plain.name, variant.name);
    EXPECT_EQ(plain.number_copy, 17);
    EXPECT_EQ(plain.value, 0x0105);
    EXPECT_EQ(std::string(plain.short_text.data(), 6), "SHORT!");
    EXPECT_EQ(variant.attributes, 0x01050011);
    EXPECT_EQ(variant.fill_switch, 'S');
    EXPECT_EQ(variant.display_mode, 'H');
    EXPECT_EQ(variant.flag8, 'O');
    EXPECT_EQ(variant.flag9, 'R');
    EXPECT_EQ(variant.extra, static_cast<int16_t>('T' | ('!' << 8)));
    for (const LayerRecord &rec : {plain, variant}) {
        auto back = zeros<kLayerRecordBytes>();
        rec.encode(back.data());
        EXPECT_EQ(back, b) << "variant " << rec.variant;
    }
}

TEST(RecordLayout, IndexRecordIsPackedWithoutPadding) {
    auto b = zeros<kIndexRecordBytes>();
    b[0] = 10;
    b[2] = 0x01, b[3] = 0x02, b[4] = 0x03, b[5] = 0x04; // x min at 2: unaligned
    b[6] = 0xFF, b[7] = 0xFF, b[8] = 0xFF, b[9] = 0xFF; // y min -1
    b[10] = 0x10, b[14] = 0x20;
    b[18] = 0x55, b[22] = 0x66;
    b[24] = 0x0D;               // first unit 13
    b[28] = 0x02, b[29] = 0x80; // group value
    put_text(&b[30], "AREA 51", 12);
    const IndexRecord r = IndexRecord::decode(b.data());
    EXPECT_EQ(r.kind, 10);
    EXPECT_EQ(r.x_min, 0x04030201);
    EXPECT_EQ(r.y_min, -1);
    EXPECT_EQ(r.x_max, 0x10);
    EXPECT_EQ(r.y_max, 0x20);
    EXPECT_EQ(r.reserved1, 0x55);
    EXPECT_EQ(r.reserved2, 0x66);
    EXPECT_EQ(r.first_unit, 13);
    EXPECT_EQ(r.group_value, static_cast<int16_t>(0x8002));
    EXPECT_EQ(trimmed(r.name), "AREA 51");
    auto back = zeros<kIndexRecordBytes>();
    r.encode(back.data());
    EXPECT_EQ(back, b);
}

TEST(RecordLayout, EveryFieldOfEveryLayoutIsWhereTheFormatPutsIt) {
    {
        SCOPED_TRACE("group record");
        expect_layout(kGroupRecordFields, {2, 2, 4, 4, 4, 4, 4, 4, 4, 4, 12}, GroupRecord::decode);
    }
    {
        SCOPED_TRACE("object header");
        expect_layout(kObjectHeaderFields, {4, 2, 2, 1, 1, 1, 1, 12, 4, 4, 4, 12},
                      ObjectHeader::decode);
    }
    {
        SCOPED_TRACE("annotation record");
        expect_layout(kAnnotationRecordFields, {4, 2, 2, 1, 1, 1, 1, 12, 12},
                      AnnotationRecord::decode);
    }
    {
        SCOPED_TRACE("layer record");
        expect_layout(kLayerRecordFields, {2, 2, 2, 6, 12},
                      [](const uint8_t *b) { return LayerRecord::decode(b, false); });
    }
    {
        SCOPED_TRACE("variant layer record");
        LayerRecord variant;
        variant.variant = true;
        expect_layout(
            kLayerVariantFields, {2, 4, 1, 1, 1, 1, 2, 12},
            [](const uint8_t *b) { return LayerRecord::decode(b, true); }, variant);
    }
    {
        SCOPED_TRACE("index record");
        expect_layout(kIndexRecordFields, {2, 4, 4, 4, 4, 4, 2, 4, 2, 12}, IndexRecord::decode);
    }
}

TEST(RecordLayout, TextFieldsArePaddedAndCut) {
    EXPECT_EQ(std::string(text12("AB").data(), 12), "AB          ");
    EXPECT_EQ(std::string(text12("ABCDEFGHIJKLMNOP").data(), 12), "ABCDEFGHIJKL");
    EXPECT_EQ(trimmed(text12("  A B  ")), "A B");
    EXPECT_EQ(trimmed(text12("")), "");
}

TEST(RecordLayout, TenthsExtentIsDividedByTen) {
    GroupRecord g;
    g.kind = 10;
    g.x_min = 5;
    g.y_min = -15;
    g.z_max = 100;
    g.x_max = 1000;
    const WorldExtent e = world_extent(g);
    EXPECT_DOUBLE_EQ(e.x_min, 0.5);
    EXPECT_DOUBLE_EQ(e.y_min, -1.5);
    EXPECT_DOUBLE_EQ(e.z_max, 10.0);
    EXPECT_DOUBLE_EQ(e.x_max, 100.0);
    for (int16_t kind : {0, 1, 5}) {
        IndexRecord r;
        r.kind = kind;
        r.x_min = 7;
        r.y_max = 9;
        EXPECT_DOUBLE_EQ(world_extent(r).x_min, 7.0) << kind;
        EXPECT_DOUBLE_EQ(world_extent(r).y_max, 9.0) << kind;
    }
    IndexRecord r;
    r.kind = 10;
    r.x_max = 25;
    EXPECT_DOUBLE_EQ(world_extent(r).x_max, 2.5);
}

TEST(ControlUnit, SignExtendedWordPlusLongIsZero) {
    UnitBytes u{};
    put_i16(u.data(), -14);
    EXPECT_TRUE(is_control_unit(u.data()));
    EXPECT_EQ(control_code(u.data()), -14);

    // -1 in bytes 2-3 and +1 in bytes 4-7 also sum to 0: only a sign-extending test
    // (not one on the raw 16 bits) sees that.
    u[2] = 0xFF, u[3] = 0xFF;
    put_i32(u.data() + 4, 1);
    EXPECT_TRUE(is_control_unit(u.data()));
    put_i32(u.data() + 4, 65535); // equal to the word read unsigned: not a control unit
    EXPECT_FALSE(is_control_unit(u.data()));

    // Bytes 8-11 play no part in the test.
    UnitBytes layer{};
    encode_control(kCodeLayer, layer.data(), kLayerVariantTag);
    EXPECT_TRUE(is_control_unit(layer.data()));
    EXPECT_EQ(control_tag(layer.data()), 32);
}

TEST(ControlUnit, PointsAreNotControlUnitsExceptTheForbiddenOnes) {
    EXPECT_FALSE(point_reads_as_control(at(0, 0)));
    EXPECT_FALSE(point_reads_as_control(ZT_Point3{49250000, 37000000, -5}));
    // y = 0 with x below 65536 passes the control test: such points cannot be stored.
    EXPECT_TRUE(point_reads_as_control(ZT_Point3{100, 0, 7}));
    EXPECT_TRUE(point_reads_as_control(ZT_Point3{0x00030000, -3, 0}));

    writers::DrwWriter w;
    w.begin_group(1, "G");
    const ZT_Point3 bad[] = {{100, 0, 0}, {200, 5, 0}};
    EXPECT_THROW(w.polyline(bad), std::invalid_argument);
}

// ---- the writers --------------------------------------------------------------------

TEST(DrwWriter, GroupLengthAndExtentAreFilledIn) {
    writers::DrwWriter w;
    const std::vector<ZT_Point3> ring = {at(10, 10, 5), at(50, 10, -3), at(30, 40, 9)};
    w.begin_group(1, "ONE POLYGON", 7);
    w.polygon(ring, writers::header({.colour = 4, .fill = 2, .reference = "P1"}));
    w.begin_group(10, "TWO");
    w.polyline(std::vector<ZT_Point3>{{10, 20, 0}, {30, 40, 0}});
    w.annotation(std::vector<ZT_Point3>{{5, 60, 1}});
    w.end_mark();

    const auto &groups = w.groups();
    ASSERT_EQ(groups.size(), 2u);
    // A group of one object of N points is N + 10 units long.
    EXPECT_EQ(groups[0].record.length, 3 + 10);
    EXPECT_EQ(groups[0].first_unit, 1);
    const GroupRecord &g = groups[0].record;
    EXPECT_EQ(g.x_min, at(10, 0).x);
    EXPECT_EQ(g.x_max, at(50, 0).x);
    EXPECT_EQ(g.y_min, at(0, 40).y);
    EXPECT_EQ(g.y_max, at(0, 10).y);
    EXPECT_EQ(g.z_min, -3);
    EXPECT_EQ(g.z_max, 9);
    EXPECT_EQ(groups[1].first_unit, 14);
    // -200 + record, -22 + header + 2 points, -19 + record + 1 point; the end mark is
    // not part of the group.
    EXPECT_EQ(groups[1].record.length, 5 + 7 + 5);
    EXPECT_EQ(groups[1].record.y_max, 60);
    EXPECT_EQ(w.unit_count(), 13 + 17 + 1);
    EXPECT_EQ(w.bytes().size() % kUnitBytes, 0u);

    // What the writer says is what the file holds.
    const std::vector<uint8_t> bytes = w.bytes();
    GroupRecord stored = GroupRecord::decode(bytes.data() + unit_offset(14) + kUnitBytes);
    EXPECT_EQ(stored, groups[1].record);
}

TEST(DrwWriter, LayerTableIsOneGroupOf773Units) {
    writers::DrwWriter w;
    w.layer_table({"WALLS", "PITS"});
    const auto &g = w.groups().at(0);
    EXPECT_EQ(trimmed(g.record.name), "256 LAYERS");
    EXPECT_EQ(g.record.length, 773);
    EXPECT_EQ(w.unit_count(), 773);
    // Layer 1 is the second definition: unit 1 + 4 + 3 + 1.
    const auto &b = w.bytes();
    EXPECT_EQ(control_code(b.data() + unit_offset(9)), kCodeLayer);
    const LayerRecord l1 = LayerRecord::decode(b.data() + unit_offset(10), false);
    EXPECT_EQ(l1.number, 1);
    EXPECT_EQ(l1.number_copy, 1);
    EXPECT_EQ(trimmed(l1.name), "PITS");
    // Its index record leads the index, ahead of every object group.
    const auto index = w.index_records();
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(trimmed(index[0].name), "256 LAYERS");
}

TEST(DrwWriter, IndexRecordsAreOrderedByXMin) {
    writers::DrwWriter w;
    w.begin_group(1, "EAST");
    w.polyline(std::vector<ZT_Point3>{at(150, 10), at(160, 20)});
    w.begin_group(10, "WEST", 3);
    w.polyline(std::vector<ZT_Point3>{at_tenths(0, 10), at_tenths(20, 20)});
    w.begin_group(1, "MIDDLE");
    w.polyline(std::vector<ZT_Point3>{at(80, 10), at(90, 20)});
    const auto idx = w.index_records();
    ASSERT_EQ(idx.size(), 3u);
    // Raw values are ordered, whatever their units (the tenths group sorts last here).
    EXPECT_EQ(trimmed(idx[0].name), "MIDDLE");
    EXPECT_EQ(trimmed(idx[1].name), "EAST");
    EXPECT_EQ(trimmed(idx[2].name), "WEST");
    EXPECT_EQ(idx[2].kind, 10);
    EXPECT_EQ(idx[2].group_value, 3);
    EXPECT_EQ(idx[2].first_unit, w.groups()[1].first_unit);
    EXPECT_EQ(idx[1].x_min, at(150, 0).x);
    EXPECT_EQ(idx[1].y_min, at(0, 20).y);
}

TEST(Companions, IndexFileRoundTripsAndSortsStably) {
    drawtest::ScratchDir dir;
    std::vector<IndexRecord> recs(3);
    recs[0].x_min = 30, recs[0].name = text12("C");
    recs[1].x_min = 10, recs[1].name = text12("A");
    recs[2].x_min = 30, recs[2].name = text12("D"), recs[2].first_unit = 99;
    ASSERT_TRUE(writers::write_index(dir.path() / "a.zix", recs));
    EXPECT_EQ(fs::file_size(dir.path() / "a.zix"), 3 * kIndexRecordBytes);
    const auto back = read_index(dir.path() / "a.zix");
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(trimmed(back[0].name), "A");
    EXPECT_EQ(trimmed(back[1].name), "C");
    EXPECT_EQ(back[2], recs[2]);

    ASSERT_TRUE(writers::write_index(dir.path() / "b.zix", recs, false));
    EXPECT_EQ(read_index(dir.path() / "b.zix"), recs);
}

TEST(Companions, ObjectTableHoldsReferenceAndGroupStart) {
    drawtest::ScratchDir dir;
    writers::DrwWriter w;
    w.begin_group(1, "G1");
    w.polygon(std::vector<ZT_Point3>{at(1, 1), at(5, 1), at(5, 5)},
              writers::header({.reference = "F100"}));
    w.polyline(std::vector<ZT_Point3>{at(1, 1), at(5, 1)}, writers::header({.reference = "F100"}));
    w.polyline(std::vector<ZT_Point3>{at(1, 1), at(5, 1)}); // no reference
    w.begin_group(1, "G2");
    w.polyline(std::vector<ZT_Point3>{at(1, 1), at(5, 1)}, writers::header({.reference = "F100"}));
    w.polyline(std::vector<ZT_Point3>{at(1, 1), at(5, 1)},
               writers::header({.reference = "A VERY LONG REFERENCE"}));
    const auto rows = w.object_rows();
    ASSERT_EQ(rows.size(), 3u); // F100 once per group
    const auto path = dir.path() / "objects.dbf";
    ASSERT_TRUE(writers::write_object_table(path, rows));

    DBFHandle h = DBFOpen(path.c_str(), "rb");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(DBFGetRecordCount(h), 3);
    const int drawing = DBFGetFieldIndex(h, "DRAWING");
    const int firstrec = DBFGetFieldIndex(h, "FIRSTREC");
    const int records = DBFGetFieldIndex(h, "RECORDS");
    ASSERT_GE(drawing, 0);
    ASSERT_GE(firstrec, 0);
    ASSERT_GE(records, 0);
    char name[12];
    int width = 0, decimals = 0;
    EXPECT_EQ(DBFGetFieldInfo(h, drawing, name, &width, &decimals), FTString);
    EXPECT_EQ(width, 12);
    EXPECT_STREQ(DBFReadStringAttribute(h, 0, drawing), "F100");
    EXPECT_EQ(DBFReadIntegerAttribute(h, 0, firstrec), 1);
    EXPECT_EQ(DBFReadIntegerAttribute(h, 0, records), w.groups()[0].record.length);
    EXPECT_EQ(DBFReadIntegerAttribute(h, 1, firstrec), w.groups()[1].first_unit);
    // Cut to the field's 12 characters (the reader drops the trailing blank).
    EXPECT_STREQ(DBFReadStringAttribute(h, 2, drawing), "A VERY LONG");
    DBFClose(h);
}

TEST(Companions, LinkedDataDescriptionReadsBack) {
    drawtest::ScratchDir dir;
    const auto sup = dir.path() / "roman.sup";
    ASSERT_TRUE(
        writers::write_sup(sup, 2, {"tavidata.mdb", "RAZTEXT", "RAZIDX", "ERAS", "ERAIDX"}));
    state::DrawingEntry e;
    drawing::read_linked_data(sup.string(), "/data/", "/prog/", e);
    EXPECT_EQ(e.linked_kind, 2);
    EXPECT_EQ(e.data_file, "/data/tavidata.mdb");
    EXPECT_EQ(e.raz_table, "RAZTEXT");
    EXPECT_EQ(e.raz_index, "RAZIDX");
    EXPECT_EQ(e.era_table, "ERAS");
    EXPECT_EQ(e.era_index, "ERAIDX");
}
