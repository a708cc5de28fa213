#include "platform/exports/compound_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <numeric>

namespace compound {

namespace {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniCutoff = 4096; // smaller streams live in the mini stream
constexpr uint32_t kIdsPerSector = kSectorSize / 4;
constexpr uint32_t kHeaderFatIds = 109; // allocation sectors the header itself lists
constexpr uint32_t kEntrySize = 128;    // one directory entry

// Special sector numbers of the allocation tables.
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint32_t kNoEntry = 0xFFFFFFFF;

enum EntryType : uint8_t { kStream = 2, kRoot = 5 };
enum Colour : uint8_t { kRed = 0, kBlack = 1 };

uint32_t sectors_for(uint64_t bytes, uint32_t size) {
    return static_cast<uint32_t>((bytes + size - 1) / size);
}

void put16(std::string &b, std::size_t at, uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

void put32(std::string &b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void put64(std::string &b, std::size_t at, uint64_t v) {
    put32(b, at, static_cast<uint32_t>(v));
    put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}

// Directory siblings form a red-black tree ordered by name length first, then by the
// upper-cased names.
bool name_before(const std::string &a, const std::string &b) {
    if (a.size() != b.size())
        return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int x = std::toupper(static_cast<unsigned char>(a[i]));
        const int y = std::toupper(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    return false;
}

struct Entry {
    std::string name;
    EntryType type = kStream;
    Colour colour = kBlack;
    uint32_t left = kNoEntry, right = kNoEntry, child = kNoEntry;
    uint32_t start = kEndOfChain;
    uint64_t size = 0;
};

// A balanced tree over sorted[lo, hi): every level but the deepest is full, so the
// deepest level painted red and all others black is a valid red-black tree.
uint32_t make_tree(std::vector<Entry> &entries, const std::vector<uint32_t> &sorted, std::size_t lo,
                   std::size_t hi, int depth, int deepest) {
    if (lo >= hi)
        return kNoEntry;
    const std::size_t mid = lo + (hi - lo - 1) / 2;
    const uint32_t id = sorted[mid];
    entries[id].left = make_tree(entries, sorted, lo, mid, depth + 1, deepest);
    entries[id].right = make_tree(entries, sorted, mid + 1, hi, depth + 1, deepest);
    entries[id].colour = (depth == deepest && depth > 0) ? kRed : kBlack;
    return id;
}

void write_entry(std::string &out, std::size_t at, const Entry &e) {
    std::size_t units = 0;
    for (char ch : e.name) {
        put16(out, at + 2 * units, static_cast<unsigned char>(ch));
        ++units;
    }
    put16(out, at + 64, static_cast<uint16_t>(2 * (units + 1))); // with the terminating 0
    out[at + 66] = static_cast<char>(e.type);
    out[at + 67] = static_cast<char>(e.colour);
    put32(out, at + 68, e.left);
    put32(out, at + 72, e.right);
    put32(out, at + 76, e.child);
    put32(out, at + 116, e.start);
    put64(out, at + 120, e.size);
}

void write_empty_entry(std::string &out, std::size_t at) {
    put32(out, at + 68, kNoEntry);
    put32(out, at + 72, kNoEntry);
    put32(out, at + 76, kNoEntry);
}

// Links count sectors from first on in a table, the last ending the chain.
void chain(std::vector<uint32_t> &table, uint32_t first, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        table[first + i] = i + 1 < count ? first + i + 1 : kEndOfChain;
}

// How many sectors of each kind the file has, and where each run of them starts. Sector
// order: allocation table, its extension, directory, mini allocation table, mini stream,
// then the large streams one after another.
struct Layout {
    uint32_t streams = 0;
    uint32_t mini_sectors = 0; // 64-byte pieces of the small streams
    uint32_t big_sectors = 0;  // whole sectors of the large streams
    uint32_t container_sectors = 0, minifat_sectors = 0, dir_sectors = 0;
    uint32_t fat_sectors = 0, difat_sectors = 0;
    uint32_t first_difat = 0, first_dir = 0, first_minifat = 0, first_container = 0;
    uint32_t first_big = 0, total_sectors = 0;

    uint64_t mini_bytes() const { return uint64_t{mini_sectors} * kMiniSectorSize; }
    static std::size_t sector_at(uint32_t s) { return kSectorSize + std::size_t{s} * kSectorSize; }
};

// The directory entries (the root's left for later), small streams given their place in
// the mini stream; counts the mini and the whole sectors the streams take.
std::vector<Entry> place_streams(const std::vector<Stream> &streams, Layout &layout) {
    std::vector<Entry> entries(streams.size() + 1);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const Stream &s = streams[i];
        Entry &e = entries[i + 1];
        e.name = s.name.substr(0, 31);
        e.size = s.data.size();
        if (s.data.size() < kMiniCutoff) {
            const uint32_t k = sectors_for(s.data.size(), kMiniSectorSize);
            e.start = k > 0 ? layout.mini_sectors : kEndOfChain;
            layout.mini_sectors += k;
        } else {
            layout.big_sectors += sectors_for(s.data.size(), kSectorSize);
        }
    }
    return entries;
}

// The allocation table covers every sector, its own and those of its extension (the
// list of allocation sectors beyond the header's 109) included: grown until it does.
void size_allocation_tables(Layout &l) {
    const uint32_t data_sectors =
        l.dir_sectors + l.minifat_sectors + l.container_sectors + l.big_sectors;
    for (;;) {
        const uint32_t total = data_sectors + l.fat_sectors + l.difat_sectors;
        const uint32_t fat = sectors_for(total, kIdsPerSector);
        const uint32_t difat =
            fat > kHeaderFatIds ? sectors_for(fat - kHeaderFatIds, kIdsPerSector - 1) : 0;
        if (fat == l.fat_sectors && difat == l.difat_sectors)
            break;
        l.fat_sectors = fat;
        l.difat_sectors = difat;
    }
}

void plan_sectors(Layout &l) {
    l.container_sectors = sectors_for(l.mini_bytes(), kSectorSize);
    l.minifat_sectors = sectors_for(uint64_t{l.mini_sectors} * 4, kSectorSize);
    l.dir_sectors = sectors_for(uint64_t{l.streams + 1} * kEntrySize, kSectorSize);
    size_allocation_tables(l);
    l.first_difat = l.fat_sectors;
    l.first_dir = l.first_difat + l.difat_sectors;
    l.first_minifat = l.first_dir + l.dir_sectors;
    l.first_container = l.first_minifat + l.minifat_sectors;
    l.first_big = l.first_container + l.container_sectors;
    l.total_sectors = l.first_big + l.big_sectors;
}

// The allocation table with the chains of the file's own structures; the large streams
// are chained as they are copied in.
std::vector<uint32_t> allocation_table(const Layout &l) {
    std::vector<uint32_t> fat(std::size_t{l.fat_sectors} * kIdsPerSector, kFree);
    std::fill_n(fat.begin(), l.fat_sectors, kFatSector);
    std::fill_n(fat.begin() + l.first_difat, l.difat_sectors, kDifatSector);
    chain(fat, l.first_dir, l.dir_sectors);
    chain(fat, l.first_minifat, l.minifat_sectors);
    chain(fat, l.first_container, l.container_sectors);
    return fat;
}

// Each stream's bytes into its place, chained in the table it lives by; large streams
// are given their first sector here.
void copy_streams(const std::vector<Stream> &streams, std::vector<Entry> &entries, const Layout &l,
                  std::vector<uint32_t> &fat, std::vector<uint32_t> &minifat, std::string &out) {
    uint32_t next = l.first_big;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::string &data = streams[i].data;
        Entry &e = entries[i + 1];
        if (data.empty())
            continue;
        if (data.size() < kMiniCutoff) {
            chain(minifat, e.start, sectors_for(data.size(), kMiniSectorSize));
            std::memcpy(
                &out[Layout::sector_at(l.first_container) + std::size_t{e.start} * kMiniSectorSize],
                data.data(), data.size());
        } else {
            const uint32_t k = sectors_for(data.size(), kSectorSize);
            e.start = next;
            chain(fat, next, k);
            std::memcpy(&out[Layout::sector_at(next)], data.data(), data.size());
            next += k;
        }
    }
}

// The root storage (which also holds the mini stream) and its streams as its children,
// the unused entries of the last directory sector left empty.
void write_directory(std::vector<Entry> &entries, const Layout &l, std::string &out) {
    const uint32_t n = l.streams;
    Entry &root = entries[0];
    root.name = "Root Entry";
    root.type = kRoot;
    root.start = l.container_sectors > 0 ? l.first_container : kEndOfChain;
    root.size = l.mini_bytes();
    if (n > 0) {
        std::vector<uint32_t> sorted(n);
        std::iota(sorted.begin(), sorted.end(), 1u);
        std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) {
            return name_before(entries[a].name, entries[b].name);
        });
        int deepest = 0;
        while ((2u << deepest) <= n)
            ++deepest;
        root.child = make_tree(entries, sorted, 0, n, 0, deepest);
    }
    for (uint32_t i = 0; i < l.dir_sectors * (kSectorSize / kEntrySize); ++i) {
        const std::size_t at = Layout::sector_at(l.first_dir) + std::size_t{i} * kEntrySize;
        if (i <= n)
            write_entry(out, at, entries[i]);
        else
            write_empty_entry(out, at);
    }
}

void write_tables(const std::vector<uint32_t> &fat, const std::vector<uint32_t> &minifat,
                  const Layout &l, std::string &out) {
    for (std::size_t i = 0; i < minifat.size(); ++i)
        put32(out, Layout::sector_at(l.first_minifat) + 4 * i, minifat[i]);
    for (std::size_t i = 0; i < fat.size(); ++i)
        put32(out, Layout::sector_at(0) + 4 * i, fat[i]);

    // The extension: 127 allocation sector numbers per sector, then the next one.
    for (uint32_t d = 0; d < l.difat_sectors; ++d) {
        const std::size_t at = Layout::sector_at(l.first_difat + d);
        for (uint32_t k = 0; k < kIdsPerSector - 1; ++k) {
            const uint32_t fat_index = kHeaderFatIds + d * (kIdsPerSector - 1) + k;
            put32(out, at + 4 * k, fat_index < l.fat_sectors ? fat_index : kFree);
        }
        put32(out, at + 4 * (kIdsPerSector - 1),
              d + 1 < l.difat_sectors ? l.first_difat + d + 1 : kEndOfChain);
    }
}

void write_header(const Layout &l, std::string &out) {
    static const unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(out.data(), kSignature, sizeof kSignature);
    put16(out, 0x18, 0x003E); // minor version
    put16(out, 0x1A, 0x0003); // major version 3: 512-byte sectors
    put16(out, 0x1C, 0xFFFE); // little-endian
    put16(out, 0x1E, 9);      // sector size 2^9
    put16(out, 0x20, 6);      // mini sector size 2^6
    put32(out, 0x2C, l.fat_sectors);
    put32(out, 0x30, l.first_dir);
    put32(out, 0x38, kMiniCutoff);
    put32(out, 0x3C, l.minifat_sectors > 0 ? l.first_minifat : kEndOfChain);
    put32(out, 0x40, l.minifat_sectors);
    put32(out, 0x44, l.difat_sectors > 0 ? l.first_difat : kEndOfChain);
    put32(out, 0x48, l.difat_sectors);
    for (uint32_t k = 0; k < kHeaderFatIds; ++k)
        put32(out, 0x4C + 4 * std::size_t{k}, k < l.fat_sectors ? k : kFree);
}

} // namespace

std::string build(const std::vector<Stream> &streams) {
    Layout layout;
    layout.streams = static_cast<uint32_t>(streams.size());
    std::vector<Entry> entries = place_streams(streams, layout);
    plan_sectors(layout);

    std::vector<uint32_t> fat = allocation_table(layout);
    std::vector<uint32_t> minifat(std::size_t{layout.minifat_sectors} * kIdsPerSector, kFree);
    std::string out(kSectorSize + std::size_t{layout.total_sectors} * kSectorSize, '\0');
    copy_streams(streams, entries, layout, fat, minifat, out);
    write_directory(entries, layout, out);
    write_tables(fat, minifat, layout, out);
    write_header(layout, out);
    return out;
}

} // namespace compound
