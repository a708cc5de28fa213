#include "shell/free_format.h"

#include <gtest/gtest.h>

using shell::read_free_format;
using Fields = std::vector<std::string>;

TEST(FreeFormat, CommasAndLineEndsBothSeparateFields) {
    EXPECT_EQ(read_free_format("a.drw,b.zwi\nc.drw\r\nd.drw\re.drw"),
              (Fields{"a.drw", "b.zwi", "c.drw", "d.drw", "e.drw"}));
}

TEST(FreeFormat, BlanksAroundFieldsAreDroppedAndQuotesRemoved) {
    EXPECT_EQ(read_free_format("  one  ,\t\"two words\" , three\t\n"),
              (Fields{"one", "two words", "three"}));
    // Inside quotes a comma is text and blanks are kept.
    EXPECT_EQ(read_free_format("\" a, b \",c"), (Fields{" a, b ", "c"}));
    // After the closing quote, the rest up to the separator is not part of the field.
    EXPECT_EQ(read_free_format("\"x\" junk,y"), (Fields{"x", "y"}));
    // An unclosed quote runs to the end rather than losing the text.
    EXPECT_EQ(read_free_format("\"open"), (Fields{"open"}));
}

TEST(FreeFormat, EmptyFieldsAreReportedAsEmpty) {
    EXPECT_EQ(read_free_format("a,,b"), (Fields{"a", "", "b"}));
    EXPECT_EQ(read_free_format("a,\nb"), (Fields{"a", "", "b"}));
    EXPECT_EQ(read_free_format("a\n\nb"), (Fields{"a", "", "b"}));
    EXPECT_EQ(read_free_format("a,"), (Fields{"a", ""}));
    EXPECT_EQ(read_free_format("\"\",b"), (Fields{"", "b"}));
}

TEST(FreeFormat, FinalLineEndAddsNoFieldAndEmptyTextHasNone) {
    EXPECT_EQ(read_free_format("a\n"), (Fields{"a"}));
    EXPECT_EQ(read_free_format("a\r\n"), (Fields{"a"}));
    EXPECT_TRUE(read_free_format("").empty());
}

TEST(FreeFormat, UnreadableFileGivesNoFields) {
    EXPECT_TRUE(shell::read_free_format_file("/nonexistent/folder/tavi.zpj").empty());
}
