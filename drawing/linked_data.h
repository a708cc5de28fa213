// The linked-data description of a drawing: a small text file beside it (the drawing's
// name with the extension "sup") naming the site database, the RAZ text table and the
// era table that go with the drawing's objects.
#pragma once

#include <string>

#include "state/drawing_table.h"

namespace drawing {

// The longest index name a description can give; longer names are cut.
inline constexpr std::size_t kIndexNameLength = 12;

// Fills the linked-data fields of entry from the description at sup_path:
//   - no such file: RAZ table and RAZ index blank, the kind stays as it is;
//   - an empty file (or one that is not a regular file or too large to be read whole)
//     gives no linked data and is left as it is;
//   - kind 1: RAZ table under program_folder, RAZ index, then optionally the era table
//     under data_folder and the era index;
//   - kinds 2 and 3: data file under data_folder (a server's URI as it stands), RAZ
//     table, RAZ index, then optionally the era table and era index (blank when the
//     file ends before them);
//   - any other kind leaves every linked-data field as it was.
// Fields the file lacks read as empty; index names are cut to kIndexNameLength.
void read_linked_data(const std::string &sup_path, const std::string &data_folder,
                      const std::string &program_folder, state::DrawingEntry &entry);

} // namespace drawing
