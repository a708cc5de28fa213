#include "platform/base/text.h"

#include <gtest/gtest.h>

using text::BlankLines;
using Fields = std::vector<std::string>;

namespace {

struct SplitCase {
    const char *text;
    Fields as_fields; // blank lines are fields (project list, linked data)
    Fields skipped;   // blank lines are skipped (world information, raster lists)
};

} // namespace

TEST(SplitFields, BothReadersAgreeButForBlankLines) {
    const SplitCase cases[] = {
        {"a.drw,b.zwi\nc.drw\r\nd.drw\re.drw",
         {"a.drw", "b.zwi", "c.drw", "d.drw", "e.drw"},
         {"a.drw", "b.zwi", "c.drw", "d.drw", "e.drw"}},
        {"  one  ,\t\"two words\" , three\t\n",
         {"one", "two words", "three"},
         {"one", "two words", "three"}},
        // Inside quotes a comma is text and blanks are kept; after the closing quote the
        // rest up to the separator is dropped; an open quote runs to the end.
        {"\" a, b \",c", {" a, b ", "c"}, {" a, b ", "c"}},
        {"\"x\" junk,y", {"x", "y"}, {"x", "y"}},
        {"\"open", {"open"}, {"open"}},
        {"a,,b", {"a", "", "b"}, {"a", "", "b"}},
        {"a,\nb", {"a", "", "b"}, {"a", "", "b"}},
        {"a,", {"a", ""}, {"a", ""}},
        {"\"\",b", {"", "b"}, {"", "b"}},
        {"a\n", {"a"}, {"a"}},
        {"a\r\n", {"a"}, {"a"}},
        {"", {}, {}},
        // The one difference.
        {"a\n\nb", {"a", "", "b"}, {"a", "b"}},
        {"a.tif\n\n  b.tif , c.tif\r\n",
         {"a.tif", "", "b.tif", "c.tif"},
         {"a.tif", "b.tif", "c.tif"}},
        {"\n", {""}, {}},
        {"\r\n\r\nx", {"", "", "x"}, {"x"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(text::split_fields(c.text, BlankLines::AreFields), c.as_fields);
        EXPECT_EQ(text::split_fields(c.text, BlankLines::Skipped), c.skipped);
    }
}

TEST(SplitFields, UnreadableFileGivesNoFields) {
    EXPECT_TRUE(
        text::read_fields_file("/nonexistent/folder/tavi.zpj", BlankLines::AreFields).empty());
}
