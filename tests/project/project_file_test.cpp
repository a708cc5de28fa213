#include "project/project_file.h"

#include <gtest/gtest.h>

#include "state/drawing_table.h"
#include "support/temp_folder.h"

using project::ProjectItem;
using project::read_project;
using testing_support::TempFolder;

TEST(ProjectFile, FieldsBecomeRastersAndDrawingsUnderTheProjectFolderInOrder) {
    TempFolder t;
    const std::string project = t.write("tavi.zpj", "roman.drw, base.zwi\n"
                                                    "readme.txt\n"
                                                    "\"saxon.DRW\"\n"
                                                    "\n"
                                                    "maps\\medieval.drw\n");
    const auto items = project::read_project(project);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].kind, project::ProjectItem::Drawing);
    EXPECT_EQ(items[0].path, t.folder() + "roman.drw");
    EXPECT_EQ(items[1].kind, project::ProjectItem::Raster);
    EXPECT_EQ(items[1].path, t.folder() + "base.zwi");
    // Lower- and mixed-case names are recognised; the name keeps its own case.
    EXPECT_EQ(items[2].kind, project::ProjectItem::Drawing);
    EXPECT_EQ(items[2].path, t.folder() + "saxon.DRW");
    // A name written on another system keeps its separators for the file layer to resolve.
    EXPECT_EQ(items[3].path, t.folder() + "maps\\medieval.drw");
}

TEST(ProjectFile, ANameWithBothExtensionsIsListedAsRasterThenDrawing) {
    TempFolder t;
    const auto items = project::read_project(t.write("tavi.zpj", "odd.drw.zwi\n"));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].kind, project::ProjectItem::Raster);
    EXPECT_EQ(items[1].kind, project::ProjectItem::Drawing);
}

TEST(ProjectFile, MoreDrawingsThanTheTableHoldsAreAllListedForTheLoaderToRefuse) {
    TempFolder t;
    std::string text;
    const int listed = state::DrawingTable::kMaxDrawings + 3;
    for (int i = 1; i <= listed; ++i)
        text += "d" + std::to_string(i) + ".drw\n";
    const auto items = project::read_project(t.write("tavi.zpj", text));
    ASSERT_EQ(items.size(), static_cast<size_t>(listed));
    EXPECT_EQ(items.back().path, t.folder() + "d18.drw");

    // The table itself takes the first fifteen and refuses the rest.
    state::DrawingTable table;
    int refused = 0;
    for (const auto &item : items) {
        state::DrawingEntry e;
        e.file_name = item.path;
        if (table.add(e) == 0)
            ++refused;
    }
    EXPECT_EQ(table.count(), state::DrawingTable::kMaxDrawings);
    EXPECT_EQ(refused, 3);
}

TEST(ProjectFile, MissingOrDrawinglessProjectGivesNoItems) {
    TempFolder t;
    EXPECT_TRUE(project::read_project(t.folder() + "absent.zpj").empty());
    EXPECT_TRUE(project::read_project(t.write("tavi.zpj", "notes.txt,,legend.doc\n")).empty());
}

TEST(ProjectFile, ProjectPathIsFoundWhateverItsCaseAndBlanks) {
    TempFolder t;
    t.write("tavi.zpj", "a.drw\n");
    const auto items = project::read_project("  " + t.folder() + "TAVI.ZPJ ");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].path, t.folder() + "a.drw");
}

// ".." may step back within the project's folder; a name that climbs above it is
// refused and given back for the user's list of problems, whatever its separators.
TEST(ProjectFile, NamesThatLeaveTheProjectFolderAreRefused) {
    TempFolder t;
    const std::string project = t.write("tavi.zpj", "maps\\..\\roman.drw\n"
                                                    "..\\other\\saxon.drw\n"
                                                    "maps/../../base.zwi\n"
                                                    "..\\notes.txt\n"
                                                    "maps/medieval.drw\n");
    std::vector<std::string> refused;
    const auto items = project::read_project(project, &refused);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].path, t.folder() + "maps\\..\\roman.drw");
    EXPECT_EQ(items[1].path, t.folder() + "maps/medieval.drw");
    EXPECT_EQ(refused, (std::vector<std::string>{t.folder() + "..\\other\\saxon.drw",
                                                 t.folder() + "maps/../../base.zwi"}))
        << "fields naming neither a drawing nor a raster are ignored as before";
    EXPECT_EQ(project::read_project(project).size(), 2u);
}
