#include "platform/db/dao_cache.h"

#include <map>
#include <mutex>

namespace dao {

namespace {

// Catalogues are small; a few dozen files' worth is kept whatever the limit.
constexpr std::size_t kMaxFiles = 32;

struct Slot {
    std::shared_ptr<const Rows> rows;
    std::uint64_t last_use = 0;
};

struct FileEntry {
    FileStamp stamp;
    std::shared_ptr<const Catalog> catalog;
    std::map<std::string, Slot> rows;
    std::uint64_t last_use = 0;
};

struct Cache {
    std::mutex mutex;
    std::map<std::string, FileEntry> files;
    std::size_t limit = std::size_t{256} << 20;
    std::uint64_t clock = 0;

    // The entry for the file in this state; an entry for an older state, or for a look
    // at the file that cannot be trusted beyond itself, is dropped.
    FileEntry &entry(const std::string &key, const FileStamp &stamp) {
        auto it = files.find(key);
        if (it != files.end() && !files::trusted(it->second.stamp, stamp)) {
            files.erase(it);
            it = files.end();
        }
        if (it == files.end())
            it = files.emplace(key, FileEntry{stamp, nullptr, {}, 0}).first;
        it->second.last_use = ++clock;
        return it->second;
    }

    std::size_t bytes() const {
        std::size_t n = 0;
        for (const auto &[key, f] : files)
            for (const auto &[name, slot] : f.rows)
                n += slot.rows->memory_bytes();
        return n;
    }

    // Drops the least recently used rows until the cache is within its limit, keeping
    // the rows just handed out (a recordset holds them anyway), then the oldest files
    // beyond the count.
    void trim(const Rows *keep) {
        while (bytes() > limit) {
            FileEntry *owner = nullptr;
            std::map<std::string, Slot>::iterator oldest;
            for (auto &[key, f] : files)
                for (auto it = f.rows.begin(); it != f.rows.end(); ++it)
                    if (it->second.rows.get() != keep &&
                        (owner == nullptr || it->second.last_use < oldest->second.last_use)) {
                        owner = &f;
                        oldest = it;
                    }
            if (owner == nullptr)
                break;
            owner->rows.erase(oldest);
        }
        while (files.size() > kMaxFiles) {
            auto oldest = files.begin();
            for (auto it = files.begin(); it != files.end(); ++it)
                if (it->second.last_use < oldest->second.last_use)
                    oldest = it;
            files.erase(oldest);
        }
    }
};

Cache &cache() {
    static Cache c;
    return c;
}

} // namespace

std::shared_ptr<const Catalog> cached_catalog(const std::string &key, const FileStamp &stamp,
                                              const std::function<Catalog()> &load) {
    Cache &c = cache();
    {
        std::lock_guard lock(c.mutex);
        if (auto catalog = c.entry(key, stamp).catalog)
            return catalog;
    }
    // Read without holding the cache, which other openings may want meanwhile.
    auto loaded = std::make_shared<const Catalog>(load());
    std::lock_guard lock(c.mutex);
    FileEntry &e = c.entry(key, stamp);
    if (!e.catalog)
        e.catalog = std::move(loaded);
    std::shared_ptr<const Catalog> result = e.catalog;
    c.trim(nullptr);
    return result;
}

std::shared_ptr<const Rows> cached_rows(const std::string &key, const FileStamp &stamp,
                                        const std::string &object,
                                        const std::function<std::shared_ptr<Rows>()> &load) {
    Cache &c = cache();
    {
        std::lock_guard lock(c.mutex);
        FileEntry &e = c.entry(key, stamp);
        if (auto it = e.rows.find(object); it != e.rows.end()) {
            it->second.last_use = ++c.clock;
            return it->second.rows;
        }
    }
    std::shared_ptr<const Rows> loaded = load();
    std::lock_guard lock(c.mutex);
    FileEntry &e = c.entry(key, stamp);
    Slot &slot = e.rows[object];
    if (!slot.rows)
        slot.rows = std::move(loaded);
    slot.last_use = ++c.clock;
    std::shared_ptr<const Rows> result = slot.rows;
    c.trim(result.get());
    return result;
}

void set_cache_limit(std::size_t bytes) {
    Cache &c = cache();
    std::lock_guard lock(c.mutex);
    c.limit = bytes;
    c.trim(nullptr);
}

std::size_t cache_limit() {
    Cache &c = cache();
    std::lock_guard lock(c.mutex);
    return c.limit;
}

std::size_t cache_bytes() {
    Cache &c = cache();
    std::lock_guard lock(c.mutex);
    return c.bytes();
}

void clear_cache() {
    Cache &c = cache();
    std::lock_guard lock(c.mutex);
    c.files.clear();
}

} // namespace dao
