#include "drawing/drawing_cache.h"

#include "drawing/group_reader.h"

namespace drawing {

namespace {

// Times the files are looked at before what was read last is taken as it is (and not
// kept): a file written over and over again is then read afresh at every use.
constexpr int kLooks = 3;

// The buffer through which checking an index reads its drawing: a unit at each group
// start, in file order.
constexpr std::size_t kCheckBuffer = 4 * 1024;

} // namespace

DrawingCache::Indexed DrawingCache::indexed(const std::filesystem::path &drw,
                                            const std::filesystem::path &zix, bool shortcuts) {
    const std::string drawing_key = drw.string(), index_key = zix.string();
    for (int look = 1;; ++look) {
        const std::optional<files::Identity> drawing = identify(drw);
        const std::optional<files::Identity> index = identify(zix);
        if (!drawing || !index) {
            // An index deleted, or put back as something other than a file: the drawing
            // is read without it, as on a fresh start.
            indexes_.erase(index_key);
            forget_groups(drawing_key);
            told_.erase(index_key);
            return {};
        }
        std::shared_ptr<const DrawingIndex> entries =
            index_of(drw, zix, *drawing, *index, shortcuts);
        if (between_reads)
            between_reads();
        std::shared_ptr<const GroupElements> groups;
        if (shortcuts && entries->fault().empty())
            groups = groups_of(drw, *drawing, *index, entries);
        // Either file changed while it was read: the index may name groups of another
        // drawing, or the groups be those of another index. Nothing read is kept.
        const std::optional<files::Identity> drawing_after = identify(drw);
        const std::optional<files::Identity> index_after = identify(zix);
        if (!drawing_after || !index_after || !files::same_state(*drawing, *drawing_after) ||
            !files::same_state(*index, *index_after)) {
            indexes_.erase(index_key);
            forget_groups(drawing_key);
            if (look < kLooks)
                continue;
        }
        Indexed out;
        const std::string &fault = entries->fault();
        if (fault.empty()) {
            told_.erase(index_key);
            out.index = std::move(entries);
            out.groups = std::move(groups);
        } else if (told_[index_key] != fault) {
            told_[index_key] = fault;
            out.news = fault;
        }
        return out;
    }
}

std::shared_ptr<const DrawingIndex> DrawingCache::index_of(const std::filesystem::path &drw,
                                                           const std::filesystem::path &zix,
                                                           const files::Identity &drawing,
                                                           const files::Identity &index,
                                                           bool shortcuts) {
    const std::string key = zix.string();
    const auto found = indexes_.find(key);
    if (found != indexes_.end() && index.size > kSmallFile &&
        files::trusted(found->second.index, index) &&
        files::trusted(found->second.drawing, drawing))
        return found->second.entries;
    files::BinaryFile file =
        shortcuts ? open(drw, kCheckBuffer) : files::BinaryFile::open_existing(drw, kCheckBuffer);
    auto entries = std::make_shared<const DrawingIndex>(DrawingIndex::read(zix, file));
    indexes_.insert_or_assign(key, Index{index, drawing, entries});
    return entries;
}

std::shared_ptr<const GroupElements>
DrawingCache::groups_of(const std::filesystem::path &drw, const files::Identity &drawing,
                        const files::Identity &index,
                        const std::shared_ptr<const DrawingIndex> &entries) {
    const std::string key = drw.string();
    auto found = groups_.find(key);
    if (found != groups_.end() && found->second.index == entries &&
        files::trusted(found->second.drawing, drawing)) {
        found->second.last_used = ++clock_;
        return found->second.groups;
    }
    forget_groups(key);
    if (drawing.size <= kSmallFile || index.size <= kSmallFile || drawing.size > budget_)
        return nullptr;
    auto fresh = std::make_shared<GroupElements>();
    {
        files::BinaryFile file = open(drw, 64 * 1024);
        read_every_group(file, *entries, budget_, *fresh);
    }
    Groups held{drawing, entries, nullptr, 0, ++clock_};
    if (fresh->complete) {
        fresh->shrink_to_fit();
        held.bytes = fresh->bytes();
        forget(key); // its groups hold all that is drawn of it
        make_room(held.bytes, key);
        if (held_ + held.bytes <= budget_) {
            held_ += held.bytes;
            held.groups = std::move(fresh);
        } else {
            held.bytes = 0;
        }
    }
    return groups_.insert_or_assign(key, std::move(held)).first->second.groups;
}

files::BinaryFile DrawingCache::open(const std::filesystem::path &drw, std::size_t buffer_size) {
    const std::string key = drw.string();
    const std::optional<files::Identity> now = identify(drw);
    auto found = drawings_.find(key);
    if (found != drawings_.end() && (!now || !files::trusted(found->second.identity, *now))) {
        forget(key);
        found = drawings_.end();
    }
    if (found != drawings_.end()) {
        found->second.last_used = ++clock_;
        return files::BinaryFile::over(found->second.bytes);
    }
    if (now && now->size <= kSmallFile)
        return files::BinaryFile::open_existing(drw, static_cast<std::size_t>(kSmallFile));
    if (now && now->size <= budget_) {
        make_room(now->size, key);
        files::Identity read_as;
        if (auto bytes = files::read_whole(drw, read_as)) {
            // Held under the identity taken before the reading, and only when the file
            // still has it after: what was read is then that state of the file.
            const std::optional<files::Identity> after = identify(drw);
            if (after && files::same_state(*now, *after) &&
                static_cast<int64_t>(bytes->size()) == now->size) {
                held_ += static_cast<int64_t>(bytes->size());
                drawings_.insert_or_assign(key, Drawing{*now, bytes, ++clock_});
            }
            return files::BinaryFile::over(std::move(bytes));
        }
    }
    return files::BinaryFile::open_existing(drw, buffer_size);
}

bool DrawingCache::holds(const std::filesystem::path &drw) const {
    const auto groups = groups_.find(drw.string());
    return drawings_.count(drw.string()) != 0 ||
           (groups != groups_.end() && groups->second.groups != nullptr);
}

void DrawingCache::forget_groups(const std::string &path) {
    const auto found = groups_.find(path);
    if (found == groups_.end())
        return;
    held_ -= found->second.bytes;
    groups_.erase(found);
}

void DrawingCache::set_budget(int64_t bytes) {
    budget_ = bytes;
    make_room(0, {});
}

void DrawingCache::forget(const std::string &path) {
    const auto found = drawings_.find(path);
    if (found == drawings_.end())
        return;
    held_ -= static_cast<int64_t>(found->second.bytes->size());
    drawings_.erase(found);
}

void DrawingCache::make_room(int64_t bytes, const std::string &keep) {
    while (held_ + bytes > budget_) {
        // The least recently used of the drawings and groups held, other than keep's.
        const std::string *oldest = nullptr;
        bool oldest_is_groups = false;
        uint64_t oldest_use = 0;
        auto consider = [&](const std::string &path, uint64_t used, int64_t size, bool groups) {
            if (path != keep && size > 0 && (oldest == nullptr || used < oldest_use)) {
                oldest = &path;
                oldest_use = used;
                oldest_is_groups = groups;
            }
        };
        for (const auto &[path, d] : drawings_)
            consider(path, d.last_used, static_cast<int64_t>(d.bytes->size()), false);
        for (const auto &[path, g] : groups_)
            consider(path, g.last_used, g.bytes, true);
        if (oldest == nullptr)
            return;
        const std::string path = *oldest;
        if (oldest_is_groups)
            forget_groups(path);
        else
            forget(path);
    }
}

} // namespace drawing
