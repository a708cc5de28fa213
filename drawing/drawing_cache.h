// What the redraw keeps of the drawings between redraws: each drawing's index in memory
// with its grid, and the drawing files themselves, read whole, within a memory budget.
//
// Entries are found through the index in x order and read in that order, which jumps
// about the file: read through the system, every group costs a seek and a buffer's
// read, and a drawing of many small groups took twenty times as long as reading it
// straight through. Held in memory, a group costs only its own bytes.
//
// Both are checked against their files at every use, by their identity (see
// platform/base/file_identity.h): a file written again, replaced, put back with its old
// times or written within a tick of its clock is read again, and one that is gone is no
// longer used.
#pragma once

#include <cstdint>
#include <filesystem>
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

    // Files this small are read again at every use: the read buffer holds them whole,
    // and a file written twice within a tick of the clock keeps its identity.
    static constexpr int64_t kSmallFile = 64 * 1024;

    // The index at this path as its file now is (empty when there is none).
    const DrawingIndex &index(const std::filesystem::path &zix);

    // The drawing at this path, for reading: from memory when it is held or fits in
    // the budget (other drawings, least recently used first, make room for it), else
    // from its file through a buffer of buffer_size bytes. Closed when it cannot be read.
    files::BinaryFile open(const std::filesystem::path &drw, std::size_t buffer_size);

    // The groups of the drawing at drw that index (read from zix) names, held as long as
    // both files stay as they are and within the budget; the drawing's own bytes are then
    // let go. Null when they cannot be held: a small or damaged drawing, or one beyond the
    // budget.
    std::shared_ptr<const GroupElements> groups(const std::filesystem::path &drw,
                                                const std::filesystem::path &zix,
                                                const DrawingIndex &index);

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

  private:
    struct Index {
        files::Identity identity;
        DrawingIndex index;
    };
    struct Drawing {
        files::Identity identity;
        std::shared_ptr<const std::vector<unsigned char>> bytes;
        uint64_t last_used = 0;
    };
    struct Groups {
        files::Identity drawing, index;
        std::shared_ptr<const GroupElements> groups; // null: tried, and cannot be held
        int64_t bytes = 0;
        uint64_t last_used = 0;
    };
    void forget(const std::string &path);
    void forget_groups(const std::string &path);
    void make_room(int64_t bytes, const std::string &keep);

    std::unordered_map<std::string, Index> indexes_;
    std::unordered_map<std::string, Drawing> drawings_;
    std::unordered_map<std::string, Groups> groups_;
    DrawingIndex none_;
    int64_t budget_ = kDefaultBudget;
    int64_t held_ = 0;
    uint64_t clock_ = 0;
};

} // namespace drawing
