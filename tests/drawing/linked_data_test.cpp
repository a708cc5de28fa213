#include "drawing/linked_data.h"

#include <filesystem>
#include <ostream>
#include <string>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

using drawing::read_linked_data;
using state::DrawingEntry;
using testing_support::TempFolder;

namespace {

const std::string kProgram = "/opt/tavi/bin";

// An entry whose linked-data fields all hold something, to see which ones a read sets.
state::DrawingEntry filled_entry() {
    state::DrawingEntry e;
    e.linked_kind = 0;
    e.data_file = "old data";
    e.raz_table = "old raz";
    e.raz_index = "old rindex";
    e.era_table = "old era";
    e.era_index = "old eindex";
    return e;
}

// The linked-data fields of an entry as one value, so that a test states all of them.
struct Linked {
    int32_t kind = 0;
    std::string data_file{}, raz_table{}, raz_index{}, era_table{}, era_index{};
    bool operator==(const Linked &) const = default;
    friend std::ostream &operator<<(std::ostream &o, const Linked &l) {
        return o << "{kind " << l.kind << ", data \"" << l.data_file << "\", raz \"" << l.raz_table
                 << "\" \"" << l.raz_index << "\", era \"" << l.era_table << "\" \"" << l.era_index
                 << "\"}";
    }
};

Linked linked(const state::DrawingEntry &e) {
    return {e.linked_kind, e.data_file, e.raz_table, e.raz_index, e.era_table, e.era_index};
}

} // namespace

TEST(LinkedData, MissingDescriptionBlanksTheRazTableAndIndexOnly) {
    TempFolder t;
    state::DrawingEntry e = filled_entry();
    drawing::read_linked_data(t.folder() + "roman.sup", t.folder(), kProgram, e);
    EXPECT_EQ(linked(e),
              (Linked{.data_file = "old data", .era_table = "old era", .era_index = "old eindex"}));
}

TEST(LinkedData, EmptyDescriptionIsKeptAndGivesNoLinkedData) {
    TempFolder t;
    const std::string sup = t.write("roman.sup", "");
    state::DrawingEntry e = filled_entry();
    drawing::read_linked_data(sup, t.folder(), kProgram, e);
    EXPECT_TRUE(std::filesystem::exists(sup)) << "nothing in the data folder is deleted";
    EXPECT_EQ(e.linked_kind, 0);
    EXPECT_EQ(e.raz_table, "old raz");
}

// A description that is a pipe or a folder is never opened (a pipe with no writer would
// block the load for ever): it reads as a missing one and stays as it is.
TEST(LinkedData, DescriptionThatIsNoRegularFileReadsAsMissing) {
    TempFolder t;
    const std::string pipe = t.folder() + "pipe.sup";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string folder = t.folder() + "folder.sup";
    std::filesystem::create_directory(folder);
    for (const std::string &sup : {pipe, folder}) {
        state::DrawingEntry e = filled_entry();
        drawing::read_linked_data(sup, t.folder(), kProgram, e);
        EXPECT_EQ(e.raz_table, "") << sup;
        EXPECT_EQ(e.data_file, "old data") << sup;
        EXPECT_TRUE(std::filesystem::exists(sup)) << sup;
    }
}

TEST(LinkedData, KindThreeWithThreeDataFieldsLeavesTheEraBlank) {
    TempFolder t;
    const std::string sup =
        t.write("roman.sup", "3, \"tavidata.mdb\" ,RAZTEXT,RAZ_REFERENCE_INDEX\n");
    state::DrawingEntry e = filled_entry();
    drawing::read_linked_data(sup, t.folder(), kProgram, e);
    EXPECT_EQ(linked(e), (Linked{.kind = 3,
                                 .data_file = t.folder() + "tavidata.mdb",
                                 .raz_table = "RAZTEXT",
                                 .raz_index = "RAZ_REFERENC"})); // cut to twelve characters
}

// A site database on a server is named by its URI, which is no name in the data folder:
// it is kept as written, in quotes when it holds commas (several hosts).
TEST(LinkedData, ServerUriIsKeptAsWritten) {
    TempFolder t;
    const std::string uris[] = {
        "postgresql://reader@db.example.org:5433/heritage?sslmode=require",
        "postgres://h1:5432,h2:5432/heritage?target_session_attrs=any&connect_timeout=3",
    };
    for (const std::string &uri : uris) {
        const std::string sup = t.write("roman.sup", "2,\"" + uri + "\",RAZ,RAZREF,ERAS,ERANO\n");
        state::DrawingEntry e = filled_entry();
        drawing::read_linked_data(sup, t.folder(), kProgram, e);
        EXPECT_EQ(linked(e), (Linked{2, uri, "RAZ", "RAZREF", "ERAS", "ERANO"}));
    }
}

TEST(LinkedData, KindTwoWithTheEraPairOnSeparateLines) {
    TempFolder t;
    const std::string sup = t.write("saxon.sup", "2\r\nsites\\saxon.mdb\r\nRAZ\r\nRAZREF\r\n"
                                                 "ERAS\r\nERA_INDEX_WITH_A_LONG_NAME\r\n");
    state::DrawingEntry e = filled_entry();
    drawing::read_linked_data(sup, t.folder(), kProgram, e);
    // Separators written on another system are left for the file layer to resolve.
    EXPECT_EQ(linked(e), (Linked{.kind = 2,
                                 .data_file = t.folder() + "sites\\saxon.mdb",
                                 .raz_table = "RAZ",
                                 .raz_index = "RAZREF",
                                 .era_table = "ERAS",
                                 .era_index = "ERA_INDEX_WI"}));
}

TEST(LinkedData, KindOneTakesTheRazTableFromTheProgramFolder) {
    TempFolder t;
    state::DrawingEntry e = filled_entry();
    drawing::read_linked_data(t.write("a.sup", "1,raz.dbf,RAZNO\n"), t.folder(), kProgram, e);
    // The file ended before the optional pair: it is not read at all.
    EXPECT_EQ(linked(e), (Linked{.kind = 1,
                                 .data_file = "old data",
                                 .raz_table = "/opt/tavi/bin/raz.dbf",
                                 .raz_index = "RAZNO",
                                 .era_table = "old era",
                                 .era_index = "old eindex"}));

    state::DrawingEntry f = filled_entry();
    drawing::read_linked_data(t.write("b.sup", "1,raz.dbf,RAZNO,era.dbf,ERANO\n"), t.folder(),
                              kProgram, f);
    EXPECT_EQ(f.era_table, t.folder() + "era.dbf");
    EXPECT_EQ(f.era_index, "ERANO");
}

TEST(LinkedData, AnyOtherKindLeavesEveryFieldAsItWas) {
    TempFolder t;
    for (const char *text : {"7,x.mdb,R,I,E,F\n", "0,x.mdb\n", "kind,x.mdb\n", ",x.mdb\n"}) {
        state::DrawingEntry e = filled_entry();
        drawing::read_linked_data(t.write("c.sup", text), t.folder(), kProgram, e);
        EXPECT_EQ(linked(e), linked(filled_entry())) << text;
    }
}

TEST(LinkedData, TruncatedDescriptionReadsMissingFieldsAsEmpty) {
    TempFolder t;
    state::DrawingEntry e = filled_entry();
    drawing::read_linked_data(t.write("d.sup", "2,x.mdb\n"), t.folder(), kProgram, e);
    EXPECT_EQ(linked(e), (Linked{.kind = 2, .data_file = t.folder() + "x.mdb"}));
}

TEST(LinkedData, DescriptionIsFoundWhateverTheCaseOfItsName) {
    TempFolder t;
    t.write("roman.sup", "3,x.mdb,RAZ,IDX\n");
    state::DrawingEntry e;
    drawing::read_linked_data(t.folder() + "ROMAN.SUP", t.folder(), kProgram, e);
    EXPECT_EQ(e.linked_kind, 3);
    EXPECT_EQ(e.raz_table, "RAZ");
}
