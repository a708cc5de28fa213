// What the redraw keeps of the drawings between redraws (indexes, drawings and their groups
// held in memory) against files that change during a run, and indexes that disagree with
// their drawings or name one group many times over. Every picture must be the one a fresh
// session draws of the files as they then are, with the redraw's shortcuts and without,
// for files small enough to be read again at every use and for files large enough to be
// held.
#include <gtest/gtest.h>

#include <QImage>

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <thread>
#include <utility>

#include "drawing/display.h"
#include "drawing_test_support.h"
#include "platform/base/files.h"
#include "tools/writers/companions.h"
#include "tools/writers/drw_writer.h"

using namespace drawing;
using namespace drawtest;

namespace {

using Points = std::vector<ZT_Point3>;

long differing(const QImage &a, const QImage &b) {
    if (a.size() != b.size())
        return static_cast<long>(a.width()) * a.height();
    long n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

// Small files are read again at every use; large ones (drawing and index beyond
// DrawingCache::kSmallFile) are held, and their groups with them.
struct Size {
    const char *name;
    int groups;
};
constexpr Size kSizes[] = {{"small", 40}, {"large", 1700}};

// A drawing of n places, each a short line in view; with a second set, each place also has
// a blue line beside the first, in a group of its own. The first set's groups are named
// "A...", the second's "B...". The drawing is left open for more groups.
writers::DrwWriter open_lines(int n, uint8_t colour, bool second_set) {
    writers::DrwWriter w;
    for (int g = 0; g < n; ++g) {
        const int x = (g * 7) % 190, y = 5 + (g * 13) % 85;
        w.begin_group(1, "A" + std::to_string(g));
        w.polyline(Points{at(x, y), at(x + 4, y + 6)}, writers::header({.colour = colour}));
        if (second_set) {
            w.begin_group(1, "B" + std::to_string(g));
            w.polyline(Points{at(x + 2, y), at(x + 6, y + 6)}, writers::header({.colour = kBlue}));
        }
    }
    return w;
}

writers::DrwWriter lines(int n, uint8_t colour, bool second_set) {
    writers::DrwWriter w = open_lines(n, colour, second_set);
    w.end_mark();
    return w;
}

// The index records of the groups whose names start with letter, in x-min order.
std::vector<IndexRecord> named(writers::DrwWriter &w, char letter) {
    std::vector<IndexRecord> out;
    for (const IndexRecord &r : w.index_records())
        if (trimmed(r.name).front() == letter)
            out.push_back(r);
    return out;
}

std::vector<uint8_t> index_bytes(const std::vector<IndexRecord> &records) {
    std::vector<uint8_t> b(records.size() * kIndexRecordBytes);
    for (std::size_t i = 0; i < records.size(); ++i)
        records[i].encode(b.data() + i * kIndexRecordBytes);
    return b;
}

timespec modified(const std::string &path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mtim;
}

// Writes the file in place (the same file, not a new one) and puts its modification time
// back, as cp -p, touch -r and rsync --inplace -t do.
void rewrite_keeping_time(const std::string &path, const std::vector<uint8_t> &bytes) {
    const timespec was = modified(path);
    ASSERT_EQ(fs::file_size(path), bytes.size()) << "a rewrite of the same size";
    write_bytes(path, bytes);
    const timespec times[2] = {{0, UTIME_OMIT}, was};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Waits until the file's times are older than a tick of its clock, so that its identity
// is no longer racy: what is held of it is then trusted, and only a change shows.
void settle(const std::string &path) {
    for (int k = 0; k < 1000; ++k) {
        const auto id = files::identity_of(path);
        ASSERT_TRUE(id.has_value()) << path;
        if (!id->racy)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FAIL() << path << " stays racy";
}

class HeldDrawings : public ::testing::Test {
  protected:
    // Registers the drawings in a fresh table of map's.
    void open(const std::vector<std::string> &drawings) {
        shown_ = drawings;
        map.drawings.clear();
        for (const std::string &d : drawings)
            project::register_drawing(map.drawings, d, map.data_folder, map.program_folder, map.ui);
    }
    // The picture of the registered drawings, with the shortcuts or without.
    QImage redraw(bool shortcuts) {
        map.options.Shortcuts = shortcuts;
        map.clear();
        for (const std::string &d : shown_)
            map.display(d, false);
        return map.image();
    }
    // The picture a fresh session draws of the drawings (as they are now, or those named).
    QImage fresh(const std::vector<std::string> &drawings = {}) {
        MapWindow window;
        for (const std::string &d : drawings.empty() ? shown_ : drawings)
            window.display(d);
        return window.image();
    }
    // Both of map's pictures are the fresh session's (of the drawings named, when given).
    void expect_fresh(const std::string &what, const std::vector<std::string> &drawings = {}) {
        const QImage expected = fresh(drawings);
        for (const bool shortcuts : {true, false}) {
            const QImage got = redraw(shortcuts);
            EXPECT_EQ(differing(got, expected), 0)
                << what << (shortcuts ? ", with the shortcuts" : ", plain");
        }
    }

    ScratchDir dir;
    MapWindow map;
    std::vector<std::string> shown_;
};

} // namespace

// cp -p, touch -r or rsync --inplace -t: the same size, the old modification time; only the
// change time tells. The pictures were those of the drawing and index first held.
TEST_F(HeldDrawings, ARewriteOfTheSameSizeWithItsTimePutBackIsSeen) {
    for (const Size &size : kSizes) {
        SCOPED_TRACE(size.name);
        const std::string drw = dir.file(std::string(size.name) + "_kept.drw");
        const std::string zix = files::with_extension3(drw, "zix");
        writers::DrwWriter red = lines(size.groups, kRed, true);
        write_bytes(drw, red.bytes());
        write_bytes(zix, index_bytes(named(red, 'A')));
        settle(drw);
        settle(zix);
        open({drw});
        expect_fresh("as written");
        if (size.groups > 1000) {
            EXPECT_TRUE(map.cache().holds(drw));
        }

        writers::DrwWriter green = lines(size.groups, kGreen, true);
        rewrite_keeping_time(drw, green.bytes());
        settle(drw);
        expect_fresh("the drawing recoloured");

        rewrite_keeping_time(zix, index_bytes(named(green, 'B')));
        settle(zix);
        expect_fresh("the index naming the other set");
    }
}

// Two writes within one tick of a coarse clock (two seconds on FAT and some SMB servers)
// leave a file's identity as it was. The cache is shown the files as such a clock shows
// them: all their times in the tick in which the test runs.
TEST_F(HeldDrawings, AFileWrittenWithinATickOfItsClockIsReadAgainAtItsNextUse) {
    constexpr int64_t kTick = 2'000'000'000;
    constexpr int64_t kWritten = int64_t{1'700'000'000} * 1'000'000'000;
    map.cache().identify = [](const fs::path &p) {
        std::optional<files::Identity> id = files::identity_of(p);
        if (id) {
            id->modified_ns = id->changed_ns = kWritten;
            id->racy = files::is_racy(kWritten, kWritten, kWritten + kTick / 2, kTick);
        }
        return id;
    };
    for (const Size &size : kSizes) {
        SCOPED_TRACE(size.name);
        const std::string drw = dir.file(std::string(size.name) + "_tick.drw");
        const std::string zix = files::with_extension3(drw, "zix");
        writers::DrwWriter red = lines(size.groups, kRed, true);
        write_bytes(drw, red.bytes());
        write_bytes(zix, index_bytes(named(red, 'A')));
        open({drw});
        expect_fresh("as written");

        const auto before = map.cache().identify(drw);
        writers::DrwWriter green = lines(size.groups, kGreen, true);
        write_bytes(drw, green.bytes());
        ASSERT_TRUE(files::same_state(*before, *map.cache().identify(drw)));
        expect_fresh("the drawing recoloured within the tick");

        write_bytes(zix, index_bytes(named(green, 'B')));
        expect_fresh("the index naming the other set within the tick");
    }
}

// Another program replaces the index (by renaming a new one over it) after the redraw has
// read it and before it reads the groups it names; the groups must be those of the index
// in place, in that redraw and after.
TEST_F(HeldDrawings, AnIndexReplacedWhileItsGroupsAreReadIsReadAgain) {
    for (const Size &size : kSizes) {
        SCOPED_TRACE(size.name);
        const std::string drw = dir.file(std::string(size.name) + "_race.drw");
        const std::string zix = files::with_extension3(drw, "zix");
        const std::string next = zix + ".next";
        writers::DrwWriter w = lines(size.groups, kRed, true);
        write_bytes(drw, w.bytes());
        write_bytes(zix, index_bytes(named(w, 'A')));
        open({drw});
        expect_fresh("as written");

        // The redraw reads this index, and finds the first one back once it has.
        write_bytes(next, index_bytes(named(w, 'B')));
        fs::rename(next, zix);
        write_bytes(next, index_bytes(named(w, 'A')));
        bool replaced = false;
        map.cache().between_reads = [&] {
            if (!std::exchange(replaced, true))
                fs::rename(next, zix);
        };
        const QImage raced = redraw(true);
        map.cache().between_reads = nullptr;
        ASSERT_TRUE(replaced);
        EXPECT_EQ(differing(raced, fresh()), 0) << "the redraw during the change";
        expect_fresh("after the change");
    }
}

// The format ends a group at the next group start or end mark, whatever its length field
// says; an index entry naming anything but a group start leaves the index unused (and the
// user's list of problems says why, once). Either way the picture is the drawing's without
// its index.
TEST_F(HeldDrawings, AnIndexThatDisagreesWithItsDrawingLosesNothing) {
    std::vector<std::string> problems;
    map.ui.problem_found = [&](const std::string &p) { problems.push_back(p); };
    for (const Size &size : kSizes) {
        writers::DrwWriter w = open_lines(size.groups, kGreen, false);
        // Last in the index as in the file (its box starts furthest east), so that it is
        // drawn over the lines either way.
        w.begin_group(1, "TWO");
        w.set_group_extent(kX0 + 195, kY0, 0, kX0 + kWidth, kY0 + kHeight, 0);
        w.polyline(Points{at(10, 30), at(190, 30)}, writers::header({.colour = kRed}));
        w.polyline(Points{at(10, 70), at(190, 70)}, writers::header({.colour = kBlue}));
        w.end_mark();
        std::vector<uint8_t> bytes = w.bytes();
        const int64_t two = w.groups().back().first_unit;
        put_i32(bytes.data() + two * kUnitBytes + 4, 0); // its length field
        std::vector<IndexRecord> sound = w.index_records();
        std::vector<IndexRecord> early = sound;
        std::size_t entry = 0;
        while (trimmed(early[entry].name) != "TWO")
            ++entry;
        early[entry].first_unit -= 1; // the last point of the group before

        const std::pair<const char *, std::vector<IndexRecord>> variants[] = {
            {"length 0", sound}, {"one unit early", early}};
        for (const auto &[what, index] : variants) {
            SCOPED_TRACE(std::string(size.name) + ", " + what);
            const std::string name = std::string(size.name) + (index == sound ? "_len" : "_early");
            const std::string drw = dir.file(name + ".drw");
            const std::string without = dir.file(name + "_without.drw");
            write_bytes(drw, bytes);
            write_bytes(without, bytes);
            write_bytes(files::with_extension3(drw, "zix"), index_bytes(index));
            problems.clear();
            open({drw});
            expect_fresh("with the index", {without});
            expect_fresh("again", {without});
            if (index == sound) {
                EXPECT_TRUE(problems.empty());
            } else {
                EXPECT_EQ(problems,
                          std::vector<std::string>{
                              "Drawing index not used, its entry " + std::to_string(entry + 1) +
                              " names unit " + std::to_string(two - 1) +
                              ", where no group starts: " + files::with_extension3(drw, "zix")});
            }
        }
    }
}

// An index deleted, or put back as a pipe or a device, during a run: the drawing is drawn
// as a fresh start draws it, whole and without an index, and nothing waits on the pipe.
TEST_F(HeldDrawings, AnIndexGoneDuringARunIsDrawnAsAFreshStartDrawsIt) {
    for (const Size &size : kSizes) {
        for (const std::string what : {"deleted", "pipe", "device"}) {
            SCOPED_TRACE(std::string(size.name) + ", " + what);
            const std::string drw = dir.file(std::string(size.name) + "_" + what + ".drw");
            const std::string zix = files::with_extension3(drw, "zix");
            writers::DrwWriter w = lines(size.groups, kRed, true);
            write_bytes(drw, w.bytes());
            write_bytes(zix, index_bytes(named(w, 'A')));
            open({drw});
            expect_fresh("with its index");
            fs::remove(zix);
            if (what == "pipe") {
                ASSERT_EQ(::mkfifo(zix.c_str(), 0600), 0);
            } else if (what == "device") {
                fs::create_symlink("/dev/zero", zix);
            }
            must_finish([&] { expect_fresh("without it"); }, std::chrono::seconds(60), what);
        }
    }
}

// Entries naming the same group share one reading of it, and, drawn over whatever was drawn
// between, one drawing of it: the picture is the one of drawing it for every entry. One
// group of many points named 1,600 times is held in memory once.
TEST_F(HeldDrawings, EntriesNamingOneGroupShareItsReadingAndDrawing) {
    // Filled rings of many points, overlapping, so that the order of drawing shows.
    const auto ring = [](int cx, int cy, int r, int n) {
        Points p;
        for (int k = 0; k < n; ++k) {
            const double a = 2 * 3.14159265358979 * k / n;
            p.push_back(ZT_Point3{kX0 + cx + static_cast<int32_t>(std::lround(r * std::cos(a))),
                                  kY0 + cy + static_cast<int32_t>(std::lround(r * std::sin(a))),
                                  0});
        }
        return p;
    };
    writers::DrwWriter w;
    w.begin_group(1, "RED");
    view_sized_group(w);
    w.polygon(ring(80, 50, 40, 12000), writers::header({.colour = kRed, .fill = 55}));
    w.begin_group(1, "BLUE");
    view_sized_group(w);
    w.polygon(ring(120, 50, 40, 12000), writers::header({.colour = kBlue, .fill = 55}));
    w.begin_group(1, "LINE");
    w.polyline(Points{at(10, 10), at(190, 90)}, writers::header({.colour = kGreen}));
    w.end_mark();
    const std::vector<IndexRecord> groups = w.index_records(); // the rings first
    const auto many = [&](int n, bool alternate) {
        std::vector<IndexRecord> out;
        for (int k = 0; k < n; ++k)
            out.push_back(groups[alternate && k % 2 == 1 ? 1 : 0]);
        out.push_back(groups[2]);
        return out;
    };
    const struct {
        const char *what;
        std::vector<IndexRecord> index;
    } cases[] = {
        {"1,600 entries naming one group", many(1600, false)},
        {"1,601 entries naming two groups by turns", many(1601, true)},
        {"100 entries naming two groups by turns", many(100, true)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        map.cache().set_budget(0); // nothing held from the case before
        map.cache().set_budget(DrawingCache::kDefaultBudget);
        const std::string drw = dir.file("named" + std::to_string(c.index.size()) + ".drw");
        write_bytes(drw, w.bytes());
        write_bytes(files::with_extension3(drw, "zix"), index_bytes(c.index));
        open({drw});
        must_finish([&] { expect_fresh("drawn once"); }, std::chrono::seconds(60), c.what);
        if (c.index.size() > 1000) {
            EXPECT_EQ(map.cache().groups_held(), 1);
            EXPECT_LT(map.cache().held(), 2 * static_cast<int64_t>(fs::file_size(drw)));
        }
    }
    // The last entry drawn is the one on top.
    EXPECT_EQ(map.pixel(100, 40), gdi::rgb(0, 0, 255));
}

// The budget holds: the drawings least recently used go first to make room, and what is
// drawn is always the fresh session's picture.
TEST_F(HeldDrawings, TheBudgetLetsTheLeastRecentlyUsedGoFirst) {
    std::vector<std::string> drawings;
    for (const uint8_t colour : {kRed, kGreen, kBlue}) {
        drawings.push_back(dir.file("colour" + std::to_string(colour) + ".drw"));
        write_bytes(drawings.back(), lines(1700, colour, false).bytes());
    }
    const int64_t size = static_cast<int64_t>(fs::file_size(drawings[0]));
    map.cache().set_budget(2 * size + size / 2);

    open(drawings);
    expect_fresh("all three");
    EXPECT_LE(map.cache().held(), map.cache().budget());
    EXPECT_FALSE(map.cache().holds(drawings[0])); // used first, let go first
    EXPECT_TRUE(map.cache().holds(drawings[1]));
    EXPECT_TRUE(map.cache().holds(drawings[2]));

    // The second used again, then the first: the third goes to make room.
    open({drawings[1], drawings[0]});
    expect_fresh("two of them");
    EXPECT_TRUE(map.cache().holds(drawings[0]));
    EXPECT_TRUE(map.cache().holds(drawings[1]));
    EXPECT_FALSE(map.cache().holds(drawings[2]));

    map.cache().set_budget(size);
    EXPECT_TRUE(map.cache().holds(drawings[0]));
    EXPECT_FALSE(map.cache().holds(drawings[1]));
    open(drawings);
    expect_fresh("within a smaller budget");
    EXPECT_LE(map.cache().held(), size);

    // The groups of a drawing with a large index count against the budget too.
    writers::DrwWriter indexed = lines(1700, kRed, false);
    write_bytes(files::with_extension3(drawings[0], "zix"), index_bytes(indexed.index_records()));
    map.cache().set_budget(DrawingCache::kDefaultBudget);
    open(drawings);
    expect_fresh("one drawing indexed");
    EXPECT_EQ(map.cache().groups_held(), 1);
    map.cache().set_budget(0);
    EXPECT_EQ(map.cache().held(), 0);
    EXPECT_EQ(map.cache().groups_held(), 0);
    expect_fresh("with nothing held");
    EXPECT_EQ(map.cache().held(), 0);
}
