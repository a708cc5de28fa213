// What the redraw keeps of the drawings between redraws: each drawing's index in memory
// with its grid, and the drawing files themselves, read whole, within a memory budget.
//
// Entries are found through the index in x order and read in that order, which jumps
// about the file: read through the system, every group costs a seek and a buffer's
// read, and a drawing of many small groups took twenty times as long as reading it
// straight through. Held in memory, a group costs only its own bytes.
//
// Everything held is checked against its files at every use, by their identity (see
// platform/base/file_identity.h): a file written again, replaced, put back with its old
// times, or written within a tick of its clock of being read, is read again; one that is
// gone is no longer used. Each identity is taken before its file is read and looked at
// again after all the reading: a file that changed meanwhile is read again at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "drawing/drawing_index.h"
#include "drawing/group_elements.h"
#include "platform/base/files.h"

namespace drawing {

class DrawingCache {
  public:
    // Bytes of drawing files held at most. The largest city the benchmarks write (16
    // million points in 230 MB of drawings) fits.
    static constexpr int64_t kDefaultBudget = int64_t{256} << 20;

    // Files this small are read again at every use: the read buffer holds them whole.
    static constexpr int64_t kSmallFile = 64 * 1024;

    // An indexed drawing as its two files now are.
    struct Indexed {
        // The index, checked against the drawing; null when there is none to use (the
        // index is gone, is no regular file, or disagrees with the drawing): the drawing
        // is then read whole, as one without an index.
        std::shared_ptr<const DrawingIndex> index;
        // The groups its entries name, held in memory; null when they are read from the
        // file (see groups below).
        std::shared_ptr<const GroupElements> groups;
        // Why an index that is there is not used, when this is the first time it is found
        // so (later uses say nothing more until it changes).
        std::string news;
    };
    // The index of the drawing at drw, read from zix, and with shortcuts the groups it
    // names, held as long as both files stay as they are and within the budget (the
    // drawing's own bytes are then let go). Groups are not held for a small or damaged
    // drawing or index, or one beyond the budget. Without shortcuts the drawing is read
    // through the system to check the index.
    Indexed indexed(const std::filesystem::path &drw, const std::filesystem::path &zix,
                    bool shortcuts);

    // The drawing at this path, for reading: from memory when it is held or fits in
    // the budget (other drawings, least recently used first, make room for it), else
    // from its file through a buffer of buffer_size bytes. Closed when it cannot be read.
    files::BinaryFile open(const std::filesystem::path &drw, std::size_t buffer_size);

    void set_budget(int64_t bytes);
    int64_t budget() const { return budget_; }
    // Bytes of drawing files and of their groups held now.
    int64_t held() const { return held_; }
    // Drawings whose groups are held now (kept for tests and benchmarks).
    int groups_held() const {
        int n = 0;
        for (const auto &[path, g] : groups_)
            n += g.groups != nullptr;
        return n;
    }
    // Whether the drawing's bytes or its groups are held now (kept for tests).
    bool holds(const std::filesystem::path &drw) const;

    // How a file's identity is taken. Tests show the files as a coarse clock would.
    std::function<std::optional<files::Identity>(const std::filesystem::path &)> identify =
        [](const std::filesystem::path &p) { return files::identity_of(p); };
    // Called between reading an index and reading the groups it names. Tests change the
    // files here, as another program may at any moment.
    std::function<void()> between_reads;

  private:
    struct Index {
        files::Identity index, drawing; // what it was read from and checked against
        std::shared_ptr<const DrawingIndex> entries;
    };
    struct Drawing {
        files::Identity identity;
        std::shared_ptr<const std::vector<unsigned char>> bytes;
        uint64_t last_used = 0;
    };
    struct Groups {
        files::Identity drawing;
        std::shared_ptr<const DrawingIndex> index;   // whose entries they are
        std::shared_ptr<const GroupElements> groups; // null: tried, and cannot be held
        int64_t bytes = 0;
        uint64_t last_used = 0;
    };
    std::shared_ptr<const DrawingIndex> index_of(const std::filesystem::path &drw,
                                                 const std::filesystem::path &zix,
                                                 const files::Identity &drawing,
                                                 const files::Identity &index, bool shortcuts);
    std::shared_ptr<const GroupElements> groups_of(const std::filesystem::path &drw,
                                                   const files::Identity &drawing,
                                                   const files::Identity &index,
                                                   const std::shared_ptr<const DrawingIndex> &);
    void forget(const std::string &path);
    void forget_groups(const std::string &path);
    void make_room(int64_t bytes, const std::string &keep);

    std::unordered_map<std::string, Index> indexes_;
    std::unordered_map<std::string, Drawing> drawings_;
    std::unordered_map<std::string, Groups> groups_;
    std::unordered_map<std::string, std::string> told_; // the fault last told of an index
    int64_t budget_ = kDefaultBudget;
    int64_t held_ = 0;
    uint64_t clock_ = 0;
};

} // namespace drawing
