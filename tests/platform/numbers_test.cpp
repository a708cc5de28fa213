#include <gtest/gtest.h>

#include <cmath>

#include "platform/base/numbers.h"

namespace {

TEST(Nearest, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(num::nearest(0.5), 0);
    EXPECT_EQ(num::nearest(1.5), 2);
    EXPECT_EQ(num::nearest(2.5), 2);
    EXPECT_EQ(num::nearest(3.5), 4);
    EXPECT_EQ(num::nearest(-0.5), 0);
    EXPECT_EQ(num::nearest(-1.5), -2);
    EXPECT_EQ(num::nearest(-2.5), -2);
    EXPECT_EQ(num::nearest(-3.5), -4);
    EXPECT_EQ(num::nearest(2.4999999), 2);
    EXPECT_EQ(num::nearest(2.5000001), 3);
    EXPECT_EQ(num::nearest(-2.6), -3);
    EXPECT_EQ(num::nearest(6.0 / 72.0 * 96.0), 8);
    EXPECT_EQ(num::nearest(8.0 / 72.0 * 96.0), 11);
    EXPECT_EQ(num::nearest64(4294967296.5), 4294967296LL);
    EXPECT_EQ(num::nearest64(-4294967297.5), -4294967298LL);
}

TEST(NumberText, StrHasALeadingBlankWhenNotNegative) {
    EXPECT_EQ(num::Str(5), " 5");
    EXPECT_EQ(num::Str(-5), "-5");
    EXPECT_EQ(num::Str(0), " 0");
    EXPECT_EQ(num::Str(0.5), " .5");
    EXPECT_EQ(num::Str(-0.5), "-.5");
    EXPECT_EQ(num::Str(int64_t{371500}), " 371500");
    EXPECT_EQ(num::CStr(5), "5");
    EXPECT_EQ(num::CStr(-5), "-5");
}

TEST(NumberText, RealsWithoutTrailingZerosOrLeadingZero) {
    EXPECT_EQ(num::CStr(0.05), ".05");
    EXPECT_EQ(num::CStr(-0.05), "-.05");
    EXPECT_EQ(num::CStr(2.0), "2");
    EXPECT_EQ(num::CStr(1.25), "1.25");
    EXPECT_EQ(num::CStr(0.1 + 0.2), ".3") << "fifteen significant digits";
    EXPECT_EQ(num::CStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(num::CStr(0.0), "0");
    EXPECT_EQ(num::CStr(-0.0), "0");
}

TEST(NumberText, ExponentFormBeyondFifteenDigits) {
    EXPECT_EQ(num::CStr(1e16), "1E+16");
    EXPECT_EQ(num::Str(1e16), " 1E+16");
    EXPECT_EQ(num::CStr(1e15), "1E+15");
    EXPECT_EQ(num::CStr(-2.5e20), "-2.5E+20");
    EXPECT_EQ(num::CStr(0.00001), "1E-05");
    EXPECT_EQ(num::CStr(0.0001), ".0001");
    // Rounded to fifteen digits this is 1E+15, not a longer fixed number.
    EXPECT_EQ(num::CStr(999999999999999.9), "1E+15");
    EXPECT_EQ(num::CStr(-999999999999999.9), "-1E+15");
    EXPECT_EQ(num::CStr(std::nextafter(1e-4, 0.0)), ".0001");
}

TEST(Val, TakesTheNumberAtTheStart) {
    EXPECT_DOUBLE_EQ(num::Val("12abc"), 12);
    EXPECT_DOUBLE_EQ(num::Val(" 1 2 "), 12);
    EXPECT_DOUBLE_EQ(num::Val("\t-3.5\r\n"), -3.5);
    EXPECT_DOUBLE_EQ(num::Val("&H10"), 16);
    EXPECT_DOUBLE_EQ(num::Val("&hff"), 255);
    EXPECT_DOUBLE_EQ(num::Val("&O17"), 15);
    EXPECT_DOUBLE_EQ(num::Val("1e3"), 1000);
    EXPECT_DOUBLE_EQ(num::Val("2D2"), 200);
    EXPECT_DOUBLE_EQ(num::Val("1e"), 1) << "an exponent mark without digits is not taken";
    EXPECT_DOUBLE_EQ(num::Val(".5."), 0.5);
    EXPECT_DOUBLE_EQ(num::Val("+7"), 7);
    EXPECT_DOUBLE_EQ(num::Val("abc"), 0);
    EXPECT_DOUBLE_EQ(num::Val(""), 0);
    EXPECT_DOUBLE_EQ(num::Val("-"), 0);
    EXPECT_DOUBLE_EQ(num::Val("--5"), 0);
    EXPECT_DOUBLE_EQ(num::Val("&"), 0);
}

TEST(IsNumeric, WholeTextMustBeANumber) {
    EXPECT_TRUE(num::is_numeric("12"));
    EXPECT_TRUE(num::is_numeric("  -12.5  "));
    EXPECT_TRUE(num::is_numeric("1e3"));
    EXPECT_TRUE(num::is_numeric(".5"));
    EXPECT_TRUE(num::is_numeric("&H1F"));
    EXPECT_FALSE(num::is_numeric("12abc"));
    EXPECT_FALSE(num::is_numeric("abc"));
    EXPECT_FALSE(num::is_numeric(""));
    EXPECT_FALSE(num::is_numeric("   "));
    EXPECT_FALSE(num::is_numeric("."));
    EXPECT_FALSE(num::is_numeric("-"));
    EXPECT_FALSE(num::is_numeric("1 2"));
}

} // namespace
