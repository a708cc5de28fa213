// Byte order and bit packing.
#include "scale_vars.h"
#include "zent32i.h"

extern "C" {

ZT_API void ZT_BigSwap(const char *s, int32_t length, int32_t *low, int32_t *high) {
    if (s == nullptr || length < 8)
        return;
    // The eight characters hold a number most significant byte first.
    auto byte = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(s[i])); };
    const uint32_t lo = byte(7) | byte(6) << 8 | byte(5) << 16 | byte(4) << 24;
    const uint32_t hi = byte(3) | byte(2) << 8 | byte(1) << 16 | byte(0) << 24;
    *low = static_cast<int32_t>(lo);
    *high = static_cast<int32_t>(hi);
}

ZT_API void ZT_WordSwap(int32_t a, int32_t b, int32_t *ra, int32_t *rb) {
    *ra = a;
    *rb = b;
}

ZT_API void ZT_SWAP(int32_t a, int32_t b) {
    // The arguments are copies: exchanging them is invisible to the caller.
    const int32_t t = a;
    a = b;
    b = t;
    (void)a;
    (void)b;
}

ZT_API void zt_getbit(int32_t v, char *s, int32_t capacity) {
    if (s == nullptr || capacity <= 0)
        return;
    int32_t i = 0;
    for (; i < 16 && i < capacity - 1; ++i)
        s[i] = ((static_cast<uint32_t>(v) >> i) & 1u) ? '1' : '0';
    s[i] = '\0';
}

ZT_API void zt_tobits(int32_t v, int32_t *a, int32_t *b, int32_t *c) {
    auto merge = [v](int32_t *target, uint32_t mask) {
        const uint32_t t = static_cast<uint32_t>(*target);
        *target = static_cast<int32_t>((t & ~mask) | (static_cast<uint32_t>(v) & mask));
    };
    merge(a, 0x003Eu); // bits 1-5
    merge(b, 0x07C0u); // bits 6-10
    merge(c, 0xF800u); // bits 11-15
}

} // extern "C"
