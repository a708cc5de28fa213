// Reading a drawing's groups into what the display needs of them (see group_elements.h):
// objects and lettering with their points, rings closed, and the record of each group
// start. It reads files and writes only the elements it is handed: the display draws
// what it reads, and the drawing cache holds what it reads for later redraws.
#pragma once

#include <cstdint>

#include "drawing/drawing_index.h"
#include "drawing/group_elements.h"
#include "platform/base/files.h"

namespace drawing {

// Reads what follows one control unit of the given code, at the file's position, into
// out, as far as drawing needs it. What draws nothing (a layer, a header without points,
// hidden points) is read past; a record cut short by the end of the file adds nothing and
// marks out incomplete.
void read_element(files::BinaryFile &file, int16_t code, GroupElements &out);

// Reads the group an index entry names, from its first unit to the next group start or
// end mark, into out as the entry's elements (one more entry in out.ends).
void read_indexed_group(files::BinaryFile &file, const IndexEntry &entry, GroupElements &out);

// Reads the group of every entry of an index into out, in the index's order; an entry
// naming the same group as one before it gets no elements of its own (it draws those of
// index.group_of(entry)). Stops, leaving out incomplete, once out holds more than budget
// bytes.
void read_every_group(files::BinaryFile &file, const DrawingIndex &index, int64_t budget,
                      GroupElements &out);

// Reads the elements that follow a group's record, up to and including the next group
// start, into out.
void read_rest_of_group(files::BinaryFile &file, GroupElements &out);

} // namespace drawing
