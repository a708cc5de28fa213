#include "drawing/drawing_cache.h"

namespace drawing {

const DrawingIndex &DrawingCache::index(const std::filesystem::path &zix) {
    const std::string key = zix.string();
    const std::optional<files::Identity> now = files::identity_of(zix);
    if (!now) {
        indexes_.erase(key);
        return none_;
    }
    auto found = indexes_.find(key);
    if (found != indexes_.end() && found->second.identity == *now && now->size > kSmallFile)
        return found->second.index;
    // Read after the identity was taken: written meanwhile, it is read again next time.
    Index fresh{*now, DrawingIndex::read(zix)};
    return indexes_.insert_or_assign(key, std::move(fresh)).first->second.index;
}

files::BinaryFile DrawingCache::open(const std::filesystem::path &drw, std::size_t buffer_size) {
    const std::string key = drw.string();
    const std::optional<files::Identity> now = files::identity_of(drw);
    auto found = drawings_.find(key);
    if (found != drawings_.end() && (!now || !(found->second.identity == *now))) {
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
    while (held_ + bytes > budget_ && !drawings_.empty()) {
        auto oldest = drawings_.end();
        for (auto it = drawings_.begin(); it != drawings_.end(); ++it)
            if (it->first != keep &&
                (oldest == drawings_.end() || it->second.last_used < oldest->second.last_used))
                oldest = it;
        if (oldest == drawings_.end())
            return;
        forget(oldest->first);
    }
}

} // namespace drawing
