// The drawings' object tables: looking a reference up through the DRAWING tag.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "platform/db/dbase.h"
#include "support/temp_folder.h"
#include "tools/writers/companions.h"

namespace {

namespace fs = std::filesystem;

class DbaseTest : public ::testing::Test {
  protected:
    testing_support::TempFolder temp_;
    const fs::path dbf_ = temp_.path() / "roman.dbf";

    void SetUp() override {
        // Out of reference order on purpose: the tag, not the file, orders them.
        const std::vector<writers::ObjectTableRow> rows = {
            {"WALL", 40, 3},   {"RE0012", 10, 5}, {"ABCDEFGHIJKL", 70, 2}, {"WALL", 20, 3},
            {"re0012", 90, 1}, {"WALL", 60, 4},   {"RE001", 30, 2},        {"RE00123", 50, 9},
        };
        ASSERT_TRUE(writers::write_object_table(dbf_, rows));
    }

    // The FIRSTREC values of every record holding the reference, in tag order.
    static std::vector<int> first_units(dbase::Table &t, const std::string &reference) {
        std::vector<int> found;
        const int first = t.field("FIRSTREC");
        for (bool ok = t.seek(reference); ok; ok = t.seek_next())
            found.push_back(t.read_long(first));
        return found;
    }
};

TEST_F(DbaseTest, SeeksReferencesAsStoredThroughTheTag) {
    dbase::Table t;
    ASSERT_TRUE(t.open(dbf_));
    EXPECT_EQ(t.record_count(), 8);
    EXPECT_GE(t.field("firstrec"), 0);
    EXPECT_EQ(t.field("NOPE"), -1);
    struct Case {
        const char *reference;
        std::vector<int> first_units;
    };
    const Case cases[] = {
        {"RE0012", {10}},           // short key, padded entry
        {"RE0012      ", {10}},     // already padded
        {"re0012", {90}},           // case counts
        {"RE001", {30}},            // not a prefix match
        {"WALL", {40, 20, 60}},     // three groups, in record order
        {"ABCDEFGHIJKLMNOP", {70}}, // cut to the field's 12 characters
        {"RE0013", {}},
        {"", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(first_units(t, c.reference), c.first_units) << c.reference;
    ASSERT_TRUE(t.seek("RE00123"));
    EXPECT_EQ(t.read_text(t.field("DRAWING")), "RE00123     ");
    EXPECT_EQ(t.read_long(t.field("RECORDS")), 9);
    EXPECT_FALSE(t.seek_next());
    EXPECT_EQ(t.record(), -1);
    EXPECT_EQ(t.read_long(t.field("FIRSTREC")), 0);
}

TEST_F(DbaseTest, MissingOrDamagedTableIsNotFoundAndNothingIsCreated) {
    std::string bytes;
    {
        std::ifstream in(dbf_, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const fs::path missing = temp_.path() / "none.dbf";
    const fs::path cut = temp_.write("cut.dbf", bytes.substr(0, bytes.size() - 40));
    const fs::path noise = temp_.write("noise.dbf", std::string(300, '\x9c'));
    for (const fs::path &p : {missing, cut, noise}) {
        dbase::Table t;
        EXPECT_FALSE(t.open(p)) << p;
        EXPECT_FALSE(t.is_open());
        EXPECT_FALSE(t.seek("WALL"));
        EXPECT_FALSE(t.top());
        EXPECT_EQ(t.field("DRAWING"), -1);
    }
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(temp_.path() / "none.DBF"));
}

} // namespace
