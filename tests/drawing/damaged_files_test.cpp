// Damaged drawings and indexes: truncated anywhere, impossible counts and lengths,
// random bytes, index entries pointing nowhere. None of them may crash, hang, or read
// or write outside a buffer (the sanitizer build runs these too); what is intact
// around the damage is still drawn.
#include <gtest/gtest.h>

#include <limits>
#include <random>

#include <sys/stat.h>

#include "drawing/display.h"
#include "drawing/drw_reader.h"
#include "drawing_test_support.h"
#include "platform/base/files.h"
#include "tools/writers/companions.h"
#include "tools/writers/drw_writer.h"

using namespace drawing;
using namespace drawtest;

namespace {

using Points = std::vector<ZT_Point3>;
constexpr gdi::Colour kBlueRgb = gdi::rgb(0, 0, 255);
constexpr auto kLimit = std::chrono::seconds(60);

class Damaged : public ::testing::Test {
  protected:
    // Draws path once through the index (when zix is given) and once sequentially.
    void draw_both_ways(const std::string &path, const std::vector<uint8_t> *zix) {
        const auto zix_path = files::with_extension3(path, "zix");
        if (zix != nullptr) {
            write_bytes(zix_path, *zix);
            draw(path);
        }
        fs::remove(zix_path);
        draw(path);
    }
    void draw(const std::string &path) {
        map.drawings.clear();
        map.clear();
        map.display(path);
        EXPECT_EQ(map.view.Fine_Units, 0);
        EXPECT_FALSE(map.progress.Drawing_In_Progress);
    }

    ScratchDir dir;
    MapWindow map;
};

// A drawing with a bit of everything, in both units, with its index.
writers::DrwWriter sample() {
    writers::DrwWriter w;
    w.begin_group(1, "ONE");
    w.polygon(Points{at(10, 10), at(90, 10), at(50, 60)},
              writers::header({.colour = kRed, .fill = 5}));
    w.polyline(Points{at(-20, 50), at(220, 55), at(100, -30)},
               writers::header({.colour = kBlue, .line_width = 4}));
    w.annotation(Points{at(5, 5)});
    w.hidden(Points{at(1, 1), at(2, 2)});
    w.header_only(writers::header({}), Points{at(3, 3)});
    w.begin_group(10, "TWO");
    w.polygon(Points{at_tenths(100, 10), at_tenths(190, 20), at_tenths(150, 90)},
              writers::header({.colour = kGreen, .fill = 60}));
    w.begin_group(1, "THREE");
    w.polyline(Points{at(0, 99), at(199, 0)}, writers::header({.colour = kBlue}));
    w.layer_table({"A", "B"});
    w.end_mark();
    return w;
}

std::vector<uint8_t> index_bytes(const std::vector<IndexRecord> &recs) {
    std::vector<uint8_t> b(recs.size() * kIndexRecordBytes);
    for (std::size_t i = 0; i < recs.size(); ++i)
        recs[i].encode(b.data() + i * kIndexRecordBytes);
    return b;
}

} // namespace

TEST_F(Damaged, TruncatedAtEveryLength) {
    auto w = sample();
    const std::vector<uint8_t> full = w.bytes();
    const std::vector<uint8_t> zix = index_bytes(w.index_records());
    const auto path = dir.file("cut.drw");
    // Every length through the object groups; the long, uniform layer table at the
    // end in coarser steps.
    const auto layers_from = static_cast<std::size_t>(w.groups().back().first_unit) * kUnitBytes;
    must_finish(
        [&] {
            for (std::size_t len = 0; len <= full.size();
                 len += (len < layers_from + 100 ? 1 : 37)) {
                write_bytes(path, std::vector<uint8_t>(full.begin(),
                                                       full.begin() + static_cast<long>(len)));
                draw_both_ways(path, &zix);
            }
        },
        kLimit * 5, "truncated drawings");
}

TEST_F(Damaged, TruncatedIndexRecordIsIgnored) {
    auto w = sample();
    const auto path = dir.file("short_index.drw");
    write_bytes(path, w.bytes());
    std::vector<uint8_t> zix = index_bytes(w.index_records());
    for (std::size_t cut = 1; cut < kIndexRecordBytes; ++cut) {
        std::vector<uint8_t> part(zix.begin(), zix.end() - static_cast<long>(cut));
        draw_both_ways(path, &part);
    }
}

TEST_F(Damaged, ImpossiblePointCountsAreBoundedAndReadingGoesOn) {
    const int32_t counts[] = {-1,
                              -5,
                              -1000000,
                              std::numeric_limits<int32_t>::min(),
                              std::numeric_limits<int32_t>::max(),
                              1000000};
    const int16_t codes[] = {kCodePolygon, kCodePolyline, kCodeHiddenA, kCodeHiddenB,
                             kCodeHeaderOnly};
    for (int32_t count : counts) {
        for (int16_t code : codes) {
            SCOPED_TRACE(::testing::Message() << "count " << count << " code " << code);
            writers::DrwWriter w;
            w.begin_group(1, "BAD");
            ObjectHeader h = writers::header({.colour = kRed, .fill = 9});
            h.point_count = count;
            w.object(code, h, Points{at(10, 10), at(190, 20), at(100, 40)});
            w.begin_group(1, "GOOD");
            view_sized_group(w);
            w.polyline(Points{at(10, 80), at(190, 80)}, writers::header({.colour = kBlue}));
            const auto path = dir.file("count.drw");
            w.save(path);
            const auto zix = index_bytes(w.index_records());
            must_finish([&] { draw_both_ways(path, &zix); }, kLimit, "bad point count");
            // A negative count reads no points and leaves the next group intact. (A
            // count too large swallows the rest of the file as points instead.)
            if (count < 0) {
                EXPECT_EQ(map.pixel(100, 80), kBlueRgb);
            }
        }
    }
}

TEST_F(Damaged, AnnotationWithImpossibleCounts) {
    for (int32_t count : {-7, std::numeric_limits<int32_t>::max()}) {
        writers::DrwWriter w;
        w.begin_group(1, "NOTE");
        view_sized_group(w);
        w.control_unit(kCodeAnnotation);
        std::array<uint8_t, kAnnotationRecordBytes> rec{};
        AnnotationRecord a;
        a.point_count = count;
        a.encode(rec.data());
        w.raw(rec);
        w.point_unit(at(20, 20));
        w.polyline(Points{at(10, 80), at(190, 80)}, writers::header({.colour = kBlue}));
        const auto path = dir.file("note.drw");
        w.save(path);
        must_finish([&] { draw_both_ways(path, nullptr); }, kLimit, "bad annotation count");
    }
}

TEST_F(Damaged, GroupLengthsThatWouldMoveBackwards) {
    // The group's box lies outside the view, so the reader skips by its length.
    for (int32_t length : {0, 1, 4, -1, -100, std::numeric_limits<int32_t>::min(),
                           std::numeric_limits<int32_t>::max()}) {
        SCOPED_TRACE(length);
        writers::DrwWriter w;
        w.begin_group(1, "OUTSIDE");
        w.polyline(Points{at(-500, 10), at(-400, 20)}, writers::header({.colour = kRed}));
        w.begin_group(1, "INSIDE");
        view_sized_group(w);
        w.polyline(Points{at(10, 80), at(190, 80)}, writers::header({.colour = kBlue}));
        std::vector<uint8_t> bytes = w.bytes();
        put_i32(bytes.data() + kUnitBytes + 4, length);
        const auto path = dir.file("len.drw");
        write_bytes(path, bytes);
        must_finish([&] { draw_both_ways(path, nullptr); }, kLimit, "bad group length");
        if (length <= 5) { // a length that would not reach the next group stays put
            EXPECT_EQ(map.pixel(100, 80), kBlueRgb);
        }
    }
}

TEST_F(Damaged, IndexEntriesPointingNowhere) {
    writers::DrwWriter w;
    w.begin_group(1, "ONLY");
    view_sized_group(w);
    w.polyline(Points{at(10, 80), at(190, 80)}, writers::header({.colour = kBlue}));
    const auto path = dir.file("nowhere.drw");
    w.save(path);
    const IndexRecord good = w.index_records().at(0);
    for (int32_t first : {0, -1, std::numeric_limits<int32_t>::min(), 3, 7, 8, 9, 1000,
                          std::numeric_limits<int32_t>::max()}) {
        SCOPED_TRACE(first);
        IndexRecord bad = good;
        bad.first_unit = first;
        const auto zix = index_bytes({bad, good});
        must_finish([&] { draw_both_ways(path, &zix); }, kLimit, "index pointing nowhere");
    }
    // Entries before the first unit or past the end name nothing; the good entry
    // after them still draws.
    for (int32_t first : {0, -1, 1000}) {
        IndexRecord bad = good;
        bad.first_unit = first;
        write_bytes(files::with_extension3(path, "zix"), index_bytes({bad, good}));
        draw(path);
        EXPECT_EQ(map.pixel(100, 80), kBlueRgb) << first;
        EXPECT_EQ(map.painted(), 180) << first;
    }
}

// Bytes this process has read through the system so far (from the page cache or not).
int64_t bytes_read_so_far() {
    std::ifstream io("/proc/self/io");
    std::string key;
    int64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return -1;
}

// However many index entries point into a drawing, a redraw reads it about once: entries
// naming no group leave the index unused, and the drawing is read once without it; entries
// naming one group read it once between them, even when nothing after it ends the group
// before the end of the file.
TEST_F(Damaged, ManyIndexEntriesCostAboutOnePassOverTheDrawing) {
    if (bytes_read_so_far() < 0)
        GTEST_SKIP() << "no /proc/self/io to count the bytes read";
    constexpr int64_t kSize = int64_t{64} << 20;
    writers::DrwWriter one_group;
    one_group.begin_group(1, "ONLY");
    view_sized_group(one_group);
    one_group.polyline(Points{at(10, 80), at(190, 80)}, writers::header({.colour = kBlue}));
    IndexRecord in_view = one_group.index_records().at(0);
    const struct {
        const char *what;
        std::vector<uint8_t> start; // the drawing's first bytes; zeros (a hole) after them
        int32_t first_unit_step;    // between the entries' first units
    } cases[] = {
        {"entries into an empty drawing", {}, 997},
        {"entries naming one group followed by nothing", one_group.bytes(), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = dir.file("hole.drw");
        write_bytes(path, c.start);
        fs::resize_file(path, kSize);
        std::vector<IndexRecord> index(100, in_view);
        for (std::size_t i = 0; i < index.size(); ++i)
            index[i].first_unit = 1 + static_cast<int32_t>(i) * c.first_unit_step;
        write_bytes(files::with_extension3(path, "zix"), index_bytes(index));
        // Read through the system or held in memory, the file is read once.
        for (const bool shortcuts : {false, true}) {
            SCOPED_TRACE(shortcuts ? "held in memory" : "read through the system");
            map.options.Shortcuts = shortcuts;
            const int64_t before = bytes_read_so_far();
            must_finish([&] { draw(path); }, kLimit, c.what);
            EXPECT_LT(bytes_read_so_far() - before, kSize + kSize / 8);
            if (!c.start.empty()) {
                EXPECT_EQ(map.pixel(100, 80), kBlueRgb);
            }
        }
    }
}

TEST_F(Damaged, RandomBytes) {
    std::mt19937 rng(20240611);
    const auto path = dir.file("noise.drw");
    must_finish(
        [&] {
            for (int round = 0; round < 300; ++round) {
                std::vector<uint8_t> drw(rng() % 4000);
                for (auto &b : drw)
                    b = static_cast<uint8_t>(rng());
                // Plenty of control units among the noise, so that records get read.
                for (std::size_t u = 0; u + kUnitBytes <= drw.size(); u += kUnitBytes)
                    if (rng() % 3 == 0) {
                        static const int16_t codes[] = {
                            kCodeGroup,      kCodePolygon,    kCodePolyline,
                            kCodeAnnotation, kCodeLayer,      kCodeEndMark,
                            kCodeHiddenA,    kCodeHeaderOnly, -1};
                        put_i16(&drw[u], codes[rng() % 9]);
                        put_i16(&drw[u + 2], 0);
                        put_i32(&drw[u + 4], 0);
                    }
                write_bytes(path, drw);
                std::vector<uint8_t> zix(rng() % 400);
                for (auto &b : zix)
                    b = static_cast<uint8_t>(rng());
                // Some index entries point into the file.
                for (std::size_t r = 0; r + kIndexRecordBytes <= zix.size(); r += kIndexRecordBytes)
                    if (rng() % 2 == 0)
                        put_i32(&zix[r + 24], static_cast<int32_t>(rng() % (drw.size() / 12 + 2)));
                draw_both_ways(path, &zix);
            }
        },
        kLimit * 5, "random drawings");
}

TEST_F(Damaged, RandomlyCorruptedValidDrawing) {
    std::mt19937 rng(77);
    auto w = sample();
    const std::vector<uint8_t> full = w.bytes();
    const std::vector<uint8_t> zix = index_bytes(w.index_records());
    const auto path = dir.file("flipped.drw");
    must_finish(
        [&] {
            for (int round = 0; round < 300; ++round) {
                std::vector<uint8_t> drw = full;
                const int flips = 1 + static_cast<int>(rng() % 8);
                for (int k = 0; k < flips; ++k)
                    drw[rng() % drw.size()] = static_cast<uint8_t>(rng());
                write_bytes(path, drw);
                std::vector<uint8_t> idx = zix;
                if (round % 3 == 0)
                    idx[rng() % idx.size()] = static_cast<uint8_t>(rng());
                draw_both_ways(path, &idx);
            }
        },
        kLimit * 5, "corrupted drawings");
}

TEST_F(Damaged, WalkerSurvivesTheSameDamage) {
    std::mt19937 rng(5);
    auto w = sample();
    const std::vector<uint8_t> full = w.bytes();
    const auto path = dir.path() / "walk.drw";
    must_finish(
        [&] {
            for (int round = 0; round < 300; ++round) {
                std::vector<uint8_t> drw(full.begin(),
                                         full.begin() + static_cast<long>(rng() % full.size()));
                for (int k = 0; k < 4 && !drw.empty(); ++k)
                    drw[rng() % drw.size()] = static_cast<uint8_t>(rng());
                write_bytes(path, drw);
                auto f = files::BinaryFile::open_existing(path);
                DrawingWalker walker(f);
                int64_t last_unit = 0;
                while (walker.next()) {
                    ASSERT_GT(walker.unit_number(), last_unit); // always forward
                    last_unit = walker.unit_number();
                    ASSERT_LE(walker.point_count(), static_cast<int32_t>(drw.size() / 12));
                }
            }
        },
        kLimit, "walker over damaged drawings");
}

// A drawing or index that is no regular file is never opened: /dev/zero reads code 0
// for ever and never ends, a named pipe with no writer blocks the open for ever. The
// drawing is reported as skipped and draws nothing; the program goes on.
TEST_F(Damaged, DrawingsThatAreDevicesOrPipesAreSkipped) {
    std::vector<std::string> problems;
    map.ui.problem_found = [&](const std::string &p) { problems.push_back(p); };
    const std::string zero = dir.file("zero.drw");
    fs::create_symlink("/dev/zero", zero);
    const std::string pipe = dir.file("pipe.drw");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // A sound drawing whose index is a device or a pipe is drawn without it.
    const std::string sound = dir.file("sound.drw");
    write_bytes(sound, sample().bytes());
    fs::create_symlink("/dev/zero", dir.file("sound.zix"));
    const std::string piped = dir.file("piped.drw");
    write_bytes(piped, sample().bytes());
    ASSERT_EQ(::mkfifo(dir.file("piped.zix").c_str(), 0600), 0);

    for (const std::string &drw : {zero, pipe}) {
        problems.clear();
        must_finish([&] { draw(drw); }, kLimit, drw);
        EXPECT_EQ(map.painted(), 0) << drw;
        EXPECT_EQ(problems,
                  std::vector<std::string>{"Drawing skipped, not a regular file: " + drw});
    }
    for (const std::string &drw : {sound, piped}) {
        problems.clear();
        must_finish([&] { draw(drw); }, kLimit, drw);
        EXPECT_GT(map.painted(), 0) << drw;
        EXPECT_FALSE(map.drawings.entry(1).has_index) << drw;
        EXPECT_TRUE(problems.empty()) << drw;
    }
}
