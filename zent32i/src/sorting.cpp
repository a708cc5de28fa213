// Tag sorts: keys sorted in place while a parallel array of tags moves with them.
#include <cstring>
#include <utility>

#include "scale_vars.h"
#include "zent32i.h"

namespace {

// Heapsort over index positions: in place, no allocation, O(n log n) in every case.
// `less(i, j)` compares keys i and j; `swap(i, j)` exchanges keys and tags together.
template <class Less, class Swap> void heap_sort(int32_t n, Less less, Swap swap) {
    auto sift_down = [&](int32_t root, int32_t end) {
        for (;;) {
            int32_t child = 2 * root + 1;
            if (child >= end)
                return;
            if (child + 1 < end && less(child, child + 1))
                ++child;
            if (!less(root, child))
                return;
            swap(root, child);
            root = child;
        }
    };
    for (int32_t start = n / 2 - 1; start >= 0; --start)
        sift_down(start, n);
    for (int32_t end = n - 1; end > 0; --end) {
        swap(0, end);
        sift_down(0, end);
    }
}

// The pair as one signed 64-bit number: `second` is the high half, `first` the low.
int64_t pair_value(const ZT_KeyPair &k) {
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(k.second)) << 32) |
                                static_cast<uint32_t>(k.first));
}

template <class Tag> void sort_pairs(ZT_KeyPair *keys, Tag *tags, int32_t n) {
    heap_sort(
        n, [&](int32_t i, int32_t j) { return pair_value(keys[i]) < pair_value(keys[j]); },
        [&](int32_t i, int32_t j) {
            std::swap(keys[i], keys[j]);
            std::swap(tags[i], tags[j]);
        });
}

int32_t limit(int32_t n, int32_t a, int32_t b) {
    if (n > a)
        n = a;
    if (n > b)
        n = b;
    return n;
}

} // namespace

extern "C" {

ZT_API void ZT_SORT_PTS(ZT_KeyPairArray *keys, int32_t n, ZT_Record40Array *tags) {
    n = limit(n, zent::capacity_of(keys), zent::capacity_of(tags));
    if (n > 1)
        sort_pairs(keys->data, tags->data, n);
}

ZT_API void ZT_SortDrawings(ZT_KeyPairArray *keys, int32_t n, ZT_Int32Array *tags) {
    n = limit(n, zent::capacity_of(keys), zent::capacity_of(tags));
    if (n > 1)
        sort_pairs(keys->data, tags->data, n);
}

ZT_API void ZT_SortString(ZT_StringArray *keys, int32_t n, ZT_Int32Array *tags) {
    n = limit(n, zent::capacity_of(keys), zent::capacity_of(tags));
    if (n <= 1)
        return;
    const char **k = keys->data;
    int32_t *t = tags->data;
    // strcmp compares as unsigned char: by character code, a prefix first.
    heap_sort(
        n,
        [&](int32_t i, int32_t j) { return std::strcmp(k[i] ? k[i] : "", k[j] ? k[j] : "") < 0; },
        [&](int32_t i, int32_t j) {
            std::swap(k[i], k[j]);
            std::swap(t[i], t[j]);
        });
}

} // extern "C"
