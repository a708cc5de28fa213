#include "drawing/drawing_cache.h"

#include "drawing/group_reader.h"

namespace drawing {

const DrawingIndex &DrawingCache::index(const std::filesystem::path &zix) {
    const std::string key = zix.string();
    const std::optional<files::Identity> now = files::identity_of(zix);
    if (!now) {
        indexes_.erase(key);
        return none_;
    }
    auto found = indexes_.find(key);
    if (found != indexes_.end() && files::trusted(found->second.identity, *now) &&
        now->size > kSmallFile)
        return found->second.index;
    // Read after the identity was taken: written meanwhile, it is read again next time.
    Index fresh{*now, DrawingIndex::read(zix)};
    return indexes_.insert_or_assign(key, std::move(fresh)).first->second.index;
}

files::BinaryFile DrawingCache::open(const std::filesystem::path &drw, std::size_t buffer_size) {
    const std::string key = drw.string();
    const std::optional<files::Identity> now = files::identity_of(drw);
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
            held_ += static_cast<int64_t>(bytes->size());
            drawings_.insert_or_assign(key, Drawing{read_as, bytes, ++clock_});
            return files::BinaryFile::over(std::move(bytes));
        }
    }
    return files::BinaryFile::open_existing(drw, buffer_size);
}

std::shared_ptr<const GroupElements> DrawingCache::groups(const std::filesystem::path &drw,
                                                          const std::filesystem::path &zix,
                                                          const DrawingIndex &entries) {
    const std::string key = drw.string();
    const std::optional<files::Identity> drawing = files::identity_of(drw);
    const std::optional<files::Identity> index = files::identity_of(zix);
    auto found = groups_.find(key);
    if (found != groups_.end() && drawing && index &&
        files::trusted(found->second.drawing, *drawing) &&
        files::trusted(found->second.index, *index)) {
        found->second.last_used = ++clock_;
        return found->second.groups;
    }
    forget_groups(key);
    if (!drawing || !index || drawing->size <= kSmallFile || index->size <= kSmallFile ||
        drawing->size > budget_)
        return nullptr;
    // Read after the identities were taken: written meanwhile, they are read again next time.
    auto fresh = std::make_shared<GroupElements>();
    {
        files::BinaryFile file = open(drw, 64 * 1024);
        read_every_group(file, entries, budget_, *fresh);
    }
    Groups held{*drawing, *index, nullptr, 0, ++clock_};
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
