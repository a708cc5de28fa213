#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "zt_test_util.h"

namespace {

ZT_Record40 record(int tag) {
    ZT_Record40 r{};
    std::memset(r.bytes, tag & 0xFF, sizeof r.bytes);
    std::memcpy(r.bytes, &tag, sizeof tag);
    return r;
}

int tag_of(const ZT_Record40 &r) {
    int t;
    std::memcpy(&t, r.bytes, sizeof t);
    return t;
}

TEST(SortPoints, OrdersBySecondThenFirstWithRecordsAlongside) {
    std::vector<ZT_KeyPair> keys{{5, 20}, {9, 10}, {1, 20}};
    std::vector<ZT_Record40> recs{record(0), record(1), record(2)};
    ZT_KeyPairArray k{keys.data(), 3};
    ZT_Record40Array r{recs.data(), 3};
    zt::ZT_SORT_PTS(&k, 3, &r);
    EXPECT_EQ(keys[0].first, 9);
    EXPECT_EQ(keys[1].first, 1);
    EXPECT_EQ(keys[2].first, 5);
    EXPECT_EQ(tag_of(recs[0]), 1);
    EXPECT_EQ(tag_of(recs[1]), 2);
    EXPECT_EQ(tag_of(recs[2]), 0);
    EXPECT_EQ(recs[0].bytes[39], 1); // the whole record moved, not just its start
}

TEST(SortPoints, AgreesWithStdSortOnRandomKeys) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int32_t> small(-3, 3), any(INT32_MIN, INT32_MAX);
    for (int round = 0; round < 40; ++round) {
        const int n = 1 + round * 37;
        std::vector<ZT_KeyPair> keys(n);
        std::vector<ZT_Record40> recs(n);
        std::vector<int32_t> tags(n);
        for (int i = 0; i < n; ++i) {
            // Small ranges force many equal halves; the low half compares unsigned.
            keys[i] =
                (round % 2) ? ZT_KeyPair{small(rng), small(rng)} : ZT_KeyPair{any(rng), any(rng)};
            recs[i] = record(i);
            tags[i] = i;
        }
        auto value = [](const ZT_KeyPair &k) {
            return static_cast<int64_t>(
                (static_cast<uint64_t>(static_cast<uint32_t>(k.second)) << 32) |
                static_cast<uint32_t>(k.first));
        };
        std::vector<ZT_KeyPair> original = keys, keys2 = keys;
        std::vector<int64_t> expect;
        for (auto &k : keys)
            expect.push_back(value(k));
        std::sort(expect.begin(), expect.end());

        ZT_KeyPairArray k{keys.data(), n};
        ZT_Record40Array r{recs.data(), n};
        zt::ZT_SORT_PTS(&k, n, &r);
        ZT_KeyPairArray k2{keys2.data(), n};
        ZT_Int32Array t{tags.data(), n};
        zt::ZT_SortDrawings(&k2, n, &t);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(value(keys[i]), expect[i]);
            ASSERT_EQ(value(keys2[i]), expect[i]);
            // Tag i still belongs to key i.
            ASSERT_EQ(value(original[tag_of(recs[i])]), value(keys[i]));
            ASSERT_EQ(value(original[tags[i]]), value(keys2[i]));
        }
    }
}

TEST(SortPoints, CountsAreLimitedByBothArrays) {
    std::vector<ZT_KeyPair> keys{{0, 3}, {0, 2}, {0, 1}, {0, 0}};
    std::vector<int32_t> tags{0, 1, 2, 3};
    ZT_KeyPairArray k{keys.data(), 4};
    ZT_Int32Array t{tags.data(), 2}; // room for two tags only
    zt::ZT_SortDrawings(&k, 100, &t);
    EXPECT_EQ(keys[0].second, 2);
    EXPECT_EQ(keys[1].second, 3);
    EXPECT_EQ(keys[2].second, 1); // beyond the limit: untouched
    zt::ZT_SortDrawings(&k, 0, &t);
    zt::ZT_SortDrawings(&k, -4, &t);
    EXPECT_EQ(keys[0].second, 2);
}

TEST(SortString, ByCharacterCodeWithTags) {
    std::vector<const char *> keys{"b", "B", "ab", "a", nullptr, "\xC3\xA9", "A"};
    std::vector<int32_t> tags{0, 1, 2, 3, 4, 5, 6};
    ZT_StringArray k{keys.data(), 7};
    ZT_Int32Array t{tags.data(), 7};
    zt::ZT_SortString(&k, 7, &t);
    const std::vector<std::string> expect{"", "A", "B", "a", "ab", "b", "\xC3\xA9"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(std::string(keys[i] ? keys[i] : ""), expect[i]);
    EXPECT_EQ(tags[0], 4);
    EXPECT_EQ(tags[1], 6);
    EXPECT_EQ(tags[6], 5);
}

TEST(ByteOrder, BigSwapReadsMostSignificantFirst) {
    const char s[] = "\x01\x02\x03\x04\x85\x06\x07\x08";
    int32_t low = 0, high = 0;
    zt::ZT_BigSwap(s, 8, &low, &high);
    EXPECT_EQ(static_cast<uint32_t>(low), 0x85060708u);
    EXPECT_EQ(high, 0x01020304);
    const char zeros[8] = {0, 0, 0, 0, 0, 0, 0, 9};
    zt::ZT_BigSwap(zeros, 8, &low, &high);
    EXPECT_EQ(low, 9);
    EXPECT_EQ(high, 0);
    low = high = 55;
    zt::ZT_BigSwap("short", 5, &low, &high);
    EXPECT_EQ(low, 55);
    EXPECT_EQ(high, 55);
}

TEST(ByteOrder, WordSwapCopiesAndSwapChangesNothing) {
    int32_t a = 0, b = 0;
    zt::ZT_WordSwap(-7, 123456789, &a, &b);
    EXPECT_EQ(a, -7);
    EXPECT_EQ(b, 123456789);
    zt::ZT_SWAP(1, 2); // by value: nothing to observe, and nothing may crash
}

TEST(Bits, GetBitWritesSixteenCharactersLowBitFirst) {
    char s[17];
    zt::zt_getbit(6, s, sizeof s);
    EXPECT_STREQ(s, "0110000000000000");
    zt::zt_getbit(-1, s, sizeof s);
    EXPECT_STREQ(s, "1111111111111111");
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    zt::zt_getbit(6, small, 4);
    EXPECT_STREQ(small, "011");
    EXPECT_EQ(small[4], 'x');
}

TEST(Bits, ToBitsCopiesThreeFiveBitFields) {
    int32_t a = 0, b = 0, c = 0;
    zt::zt_tobits(-1, &a, &b, &c);
    EXPECT_EQ(a, 62);
    EXPECT_EQ(b, 1984);
    EXPECT_EQ(c, 63488);
    a = b = c = -1; // bits outside each field are kept
    zt::zt_tobits(0, &a, &b, &c);
    EXPECT_EQ(a, ~62);
    EXPECT_EQ(b, ~1984);
    EXPECT_EQ(c, ~63488);
    a = b = c = 0;
    zt::zt_tobits(1, &a, &b, &c); // bit 0 of v is not used
    EXPECT_EQ(a | b | c, 0);
}

TEST(Palette, TheFixedTable) {
    std::vector<int32_t> pal(256, -1);
    zt::ZT_Init_Zent_Palette(pal.data());
    EXPECT_EQ(pal[1], 11141120);
    EXPECT_EQ(pal[4], 170);
    EXPECT_EQ(pal[255], 16777215);
    EXPECT_EQ(pal[171], 0);
    auto rgb = [](int r, int g, int b) { return r + 256 * g + 65536 * b; };
    EXPECT_EQ(pal[6], rgb(190, 85, 0));
    EXPECT_EQ(pal[35], rgb(63, 95, 63));
    EXPECT_EQ(pal[170], rgb(127, 255, 127));
    EXPECT_EQ(pal[234], rgb(252, 252, 252));
    EXPECT_EQ(pal[235], rgb(220, 220, 220));
    EXPECT_EQ(pal[243], rgb(252, 252, 252));
    EXPECT_EQ(pal[244], rgb(216, 216, 216));
    EXPECT_EQ(pal[245], rgb(0, 0, 170));
    EXPECT_EQ(pal[246], rgb(255, 251, 240));
    for (int i = 16; i <= 25; ++i)
        EXPECT_EQ(pal[i], pal[i - 10]) << i;
    for (int i = 26; i <= 34; ++i)
        EXPECT_EQ(pal[i], pal[i - 20]) << i;
    for (int i = 0; i < 256; ++i)
        EXPECT_TRUE(pal[i] >= 0 && pal[i] <= 0xFFFFFF) << i;
}

TEST(Palette, SplittingColours) {
    int32_t r, g, b;
    zt::ZT_RGC_to_R_G_B(16777215, &r, &g, &b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 255);
    EXPECT_EQ(b, 255);
    zt::ZT_RGC_to_R_G_B(255, &r, &g, &b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 0);
    zt::ZT_RGC_to_R_G_B(32768, &r, &g, &b);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 128);
    EXPECT_EQ(b, 0);
    zt::ZT_RGC_to_R_G_B(INT32_MIN, &r, &g, &b); // out of range: defined, no crash
    EXPECT_EQ(b, -32768);
}

} // namespace
