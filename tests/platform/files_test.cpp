#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/files.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class FilesTest : public ::testing::Test {
  protected:
    testing_support::TempFolder temp_;
    const fs::path dir_ = temp_.path();

    fs::path write(const std::string &name, const std::vector<unsigned char> &bytes) {
        const fs::path p = dir_ / name;
        fs::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return p;
    }

    static std::vector<unsigned char> counting(size_t n) {
        std::vector<unsigned char> v(n);
        for (size_t i = 0; i < n; ++i)
            v[i] = static_cast<unsigned char>(i * 7 + i / 256);
        return v;
    }
};

TEST_F(FilesTest, UnitReadsAreExactAcrossBufferBoundaries) {
    const auto bytes = counting(5000);
    auto f = files::BinaryFile::open_existing(write("d.drw", bytes), 1); // smallest buffer
    ASSERT_TRUE(f.is_open());
    EXPECT_EQ(f.size(), 5000);
    unsigned char unit[12];
    size_t at = 0;
    while (at + 12 <= bytes.size()) {
        ASSERT_EQ(f.read(unit, 12), 12u) << at;
        ASSERT_EQ(std::vector<unsigned char>(unit, unit + 12),
                  std::vector<unsigned char>(bytes.begin() + static_cast<long>(at),
                                             bytes.begin() + static_cast<long>(at) + 12))
            << "unit at " << at;
        at += 12;
    }
    EXPECT_EQ(f.position(), static_cast<int64_t>(at));
    // One read longer than the buffer.
    f.seek(100);
    std::vector<unsigned char> big(3000);
    ASSERT_EQ(f.read(big.data(), big.size()), 3000u);
    EXPECT_EQ(big, std::vector<unsigned char>(bytes.begin() + 100, bytes.begin() + 3100));
}

TEST_F(FilesTest, ShortReadAtTheEndGivesWhatIsLeftThenNothing) {
    const auto bytes = counting(30);
    auto f = files::BinaryFile::open_existing(write("s.drw", bytes));
    unsigned char unit[12] = {};
    EXPECT_EQ(f.read(unit, 12), 12u);
    EXPECT_EQ(f.read(unit, 12), 12u);
    std::fill(std::begin(unit), std::end(unit), 0xEE);
    EXPECT_EQ(f.read(unit, 12), 6u);
    EXPECT_EQ(unit[5], bytes[29]);
    EXPECT_EQ(unit[6], 0xEE) << "the rest of the record is left as it was";
    EXPECT_EQ(f.read(unit, 12), 0u);
    EXPECT_EQ(f.read(unit, 12), 0u);
}

TEST_F(FilesTest, SeekAndSkipMoveTheNextRead) {
    const auto bytes = counting(2000);
    auto f = files::BinaryFile::open_existing(write("k.drw", bytes), 512);
    unsigned char b = 0;
    ASSERT_TRUE(f.seek(1500));
    f.read(&b, 1);
    EXPECT_EQ(b, bytes[1500]);
    ASSERT_TRUE(f.seek(3)); // back, outside the buffer now held
    f.read(&b, 1);
    EXPECT_EQ(b, bytes[3]);
    ASSERT_TRUE(f.skip(596)); // 4 + 596
    f.read(&b, 1);
    EXPECT_EQ(b, bytes[600]);
    ASSERT_TRUE(f.skip(-101));
    EXPECT_EQ(f.position(), 500);
    f.read(&b, 1);
    EXPECT_EQ(b, bytes[500]);

    EXPECT_FALSE(f.seek(-1));
    EXPECT_FALSE(f.skip(-502));
    EXPECT_FALSE(f.skip(INT64_MIN));
    EXPECT_FALSE(f.skip(INT64_MAX));
    EXPECT_EQ(f.position(), 501) << "a refused move leaves the position";

    ASSERT_TRUE(f.seek(5000)); // beyond the end: reads nothing
    EXPECT_EQ(f.read(&b, 1), 0u);
}

TEST_F(FilesTest, OpenExistingLeavesAMissingFileMissing) {
    unsigned char b;
    for (const fs::path &p : {dir_ / "none.drw", dir_ / "no" / "folder.drw"}) {
        auto f = files::BinaryFile::open_existing(p);
        EXPECT_FALSE(f.is_open()) << p;
        EXPECT_EQ(f.read(&b, 1), 0u) << p;
        EXPECT_FALSE(fs::exists(p)) << "nothing is created: " << p;
    }
    EXPECT_FALSE(fs::exists(dir_ / "no"));
}

// Anything but a regular file under a data file's name is refused at once, by every
// reader: a pipe with no writer would block the open for ever, /dev/zero never ends,
// a folder is no data.
TEST_F(FilesTest, OnlyRegularFilesAreOpened) {
    const fs::path pipe = dir_ / "pipe.drw";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_directory(dir_ / "folder.zwi");
    const fs::path link = dir_ / "zero.zwi";
    fs::create_symlink("/dev/zero", link);
    for (const fs::path &p : {pipe, dir_ / "folder.zwi", link, fs::path("/dev/zero")}) {
        EXPECT_EQ(files::kind_of(p), files::Kind::Other) << p;
        EXPECT_FALSE(files::BinaryFile::open_existing(p).is_open()) << p;
        EXPECT_FALSE(files::read_text_file(p)) << p;
        EXPECT_EQ(files::read_text(p), "") << p;
        EXPECT_FALSE(files::exists(p.string())) << p;
    }
    EXPECT_EQ(files::kind_of(dir_ / "none"), files::Kind::Missing);
    EXPECT_EQ(files::kind_of(write("a.zwi", counting(3))), files::Kind::Regular);
}

TEST_F(FilesTest, TextFilesAreReadWholeUpToTheLimit) {
    const auto bytes = counting(70000);
    EXPECT_EQ(files::read_text_file(write("t.zwi", bytes)),
              std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(files::read_text_file(write("e.zwi", {})), std::string());

    const fs::path at_limit = write("limit.zpj", {});
    fs::resize_file(at_limit, files::kTextFileLimit);
    EXPECT_EQ(files::read_text_file(at_limit).value_or("").size(),
              static_cast<std::size_t>(files::kTextFileLimit));
    fs::resize_file(at_limit, files::kTextFileLimit + 1);
    EXPECT_FALSE(files::read_text_file(at_limit)) << "too large to be a text of the project";
}

TEST_F(FilesTest, ReadsEndAtTheSizeTheFileHadWhenOpened) {
    const fs::path p = write("grow.drw", counting(100));
    auto f = files::BinaryFile::open_existing(p, 512);
    {
        std::ofstream more(p, std::ios::binary | std::ios::app);
        more << std::string(5000, 'x');
    }
    std::vector<unsigned char> all(6000);
    EXPECT_EQ(f.read(all.data(), all.size()), 100u);
    EXPECT_EQ(f.read(all.data(), 1), 0u);
}

TEST(Files, StaysInsideAllowsStepsBackOnlyWithinTheFolder) {
    struct Case {
        const char *name;
        bool inside;
    } cases[] = {
        {"roman.drw", true},
        {"maps\\roman.drw", true},
        {"maps/../roman.drw", true},
        {"maps\\..\\roman.drw", true},
        {"./maps/./x/../../roman.drw", true},
        {"\\roman.drw", true}, // joined after the folder's own separator
        {"..\\other\\roman.drw", false},
        {"../roman.drw", false},
        {"maps/../../roman.drw", false},
        {"maps\\..\\..\\..\\etc\\x.drw", false},
        {"..", false},
        {"roman.drw..", true}, // dots in a name are no step back
    };
    for (const Case &c : cases)
        EXPECT_EQ(files::stays_inside(c.name), c.inside) << c.name;
}

TEST_F(FilesTest, MovedFileKeepsItsPosition) {
    auto f = files::BinaryFile::open_existing(write("m.drw", counting(100)));
    f.seek(40);
    files::BinaryFile g = std::move(f);
    unsigned char b = 0;
    EXPECT_EQ(g.read(&b, 1), 1u);
    EXPECT_EQ(b, counting(100)[40]);
    EXPECT_FALSE(f.is_open()); // NOLINT(bugprone-use-after-move): moved-from is closed
}

TEST_F(FilesTest, ResolveMapsBackslashesAndMismatchedCase) {
    write("Data/Period Maps/Roman.DRW", counting(4));
    const std::string windows = dir_.string() + "\\data\\PERIOD MAPS\\roman.drw";
    EXPECT_EQ(files::resolve(windows), dir_ / "Data" / "Period Maps" / "Roman.DRW");
    EXPECT_TRUE(files::exists(windows));

    // An exact name is taken as it is.
    EXPECT_EQ(files::resolve((dir_ / "Data").string()), dir_ / "Data");
    // A missing file keeps the folders found and its own name.
    EXPECT_EQ(files::resolve(dir_.string() + "\\DATA\\Missing.zix"), dir_ / "Data" / "Missing.zix");
    EXPECT_FALSE(files::exists(dir_.string() + "\\DATA\\Missing.zix"));
    EXPECT_FALSE(files::exists(dir_.string() + "\\DATA")) << "a folder is not a file";
}

TEST(Files, WithExtension3ReplacesTheLastThreeCharacters) {
    EXPECT_EQ(files::with_extension3("C:\\Data\\roman.drw", "zix"), "C:\\Data\\roman.zix");
    EXPECT_EQ(files::with_extension3("/d/roman.drw", "sup"), "/d/roman.sup");
    EXPECT_EQ(files::with_extension3("ab", "zix"), "zix");
}

TEST_F(FilesTest, MountPointIsAnExistingAncestor) {
    const fs::path deep = dir_ / "not" / "there" / "file.drw";
    const fs::path m = files::mount_point(deep);
    EXPECT_TRUE(fs::is_directory(m));
    const std::string ms = m.string(), ds = deep.string();
    EXPECT_EQ(ds.compare(0, ms.size(), ms), 0) << m << " above " << deep;
    EXPECT_EQ(files::mount_point("/"), fs::path("/"));
    EXPECT_EQ(files::mount_point(dir_), files::mount_point(deep));
}

TEST_F(FilesTest, ReadOnlyMeansNoWritePermissionAtAll) {
    const fs::path p = write("r.drw", counting(3));
    fs::permissions(p, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_TRUE(files::is_read_only(p));
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(files::is_read_only(p));
    EXPECT_FALSE(files::is_read_only(dir_ / "none"));
}

TEST_F(FilesTest, ReadTextGivesTheWholeFile) {
    const fs::path p = dir_ / "t.zpj";
    std::ofstream(p) << "a\r\nb\n";
    EXPECT_EQ(files::read_text(p), "a\r\nb\n");
    EXPECT_EQ(files::read_text(dir_ / "none"), "");
}

} // namespace

TEST(Paths, FolderOfAndJoinPathTakeEitherSeparator) {
    EXPECT_EQ(files::folder_of("/data/tavi.zpj"), "/data/");
    EXPECT_EQ(files::folder_of("C:\\Tavi\\Data\\tavi.zpj"), "C:\\Tavi\\Data\\");
    EXPECT_EQ(files::folder_of("tavi.zpj"), "");
    EXPECT_EQ(files::join_path("/opt/tavi", "raz.dbf"), "/opt/tavi/raz.dbf");
    EXPECT_EQ(files::join_path("/opt/tavi/", "raz.dbf"), "/opt/tavi/raz.dbf");
    EXPECT_EQ(files::join_path("D:\\data\\", "x.mdb"), "D:\\data\\x.mdb");
    EXPECT_EQ(files::join_path("", "x.mdb"), "x.mdb");
}

// The racy rule: times not older than the moment an identity was taken, less one tick of
// the file system's clock, may not change at the next write.
TEST(FileIdentity, TimesWithinATickOfTheLookAreRacy) {
    constexpr int64_t s = 1'000'000'000;
    const struct {
        int64_t modified, changed, taken, tick;
        bool racy;
    } cases[] = {
        {10 * s, 10 * s, 20 * s, 2 * s, false},
        {19 * s, 10 * s, 20 * s, 2 * s, true},        // written within the tick
        {10 * s, 19 * s, 20 * s, 2 * s, true},        // its old modification time put back
        {18 * s, 18 * s, 20 * s, 2 * s, true},        // one tick old: not older
        {18 * s - 1, 0, 20 * s, 2 * s, false},        // older
        {25 * s, 25 * s, 20 * s, 2 * s, true},        // times from the future
        {20 * s - s / 50, 0, 20 * s, s / 100, false}, // a fine clock
    };
    for (const auto &c : cases)
        EXPECT_EQ(files::is_racy(c.modified, c.changed, c.taken, c.tick), c.racy)
            << c.modified << " " << c.changed << " " << c.taken << " " << c.tick;

    // FAT, SMB, NFS and file systems whose type is unknown tick in two seconds at worst;
    // times without fractions in a second; the rest with the system's coarse clock.
    for (const long type : {0x4d44L, 0xFE534D42L, 0x6969L, -1L})
        EXPECT_EQ(files::clock_tick_ns(type, false), 2 * s) << std::hex << type;
    EXPECT_EQ(files::clock_tick_ns(0xEF53, true), s);
    EXPECT_GE(files::clock_tick_ns(0xEF53, false), s / 100);
    EXPECT_LT(files::clock_tick_ns(0xEF53, false), s);
}

// A rewrite of the same size with the modification time put back (cp -p, touch -r) keeps
// every part of the identity but the change time; what was read before is not trusted.
TEST_F(FilesTest, AnIdentityTellsARewriteWhoseTimeWasPutBack) {
    const fs::path p = write("kept.drw", counting(1000));
    std::optional<files::Identity> before;
    for (int k = 0; k < 1000 && !(before && !before->racy); ++k) {
        if (k > 0)
            ::usleep(5000);
        before = files::identity_of(p);
    }
    ASSERT_TRUE(before && !before->racy);
    EXPECT_TRUE(files::trusted(*before, *files::identity_of(p)));

    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    std::vector<unsigned char> other = counting(1000);
    other[500] ^= 0xFF;
    write("kept.drw", other);
    const timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);

    const std::optional<files::Identity> after = files::identity_of(p);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->size, before->size);
    EXPECT_EQ(after->modified_ns, before->modified_ns);
    EXPECT_EQ(after->inode, before->inode);
    EXPECT_FALSE(files::same_state(*before, *after));
    EXPECT_FALSE(files::trusted(*before, *after));
    // A look trusts itself even while racy (an opening keeps to the state it saw).
    EXPECT_TRUE(files::trusted(*after, *after));
    EXPECT_FALSE(files::identity_of(dir_).has_value()); // a folder has no identity
}
