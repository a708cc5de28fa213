// A compound document (the "structured storage" container that Office 97 files are):
// a file of 512-byte sectors holding named streams, with the allocation tables that
// chain each stream's sectors. Streams under 4096 bytes go into the mini stream, in
// 64-byte pieces of their own; larger ones take whole sectors. The allocation table
// grows to as many sectors as the file needs, the first 109 listed in the header and
// the rest in extension sectors, so a workbook of any size fits.
#pragma once

#include <string>
#include <vector>

namespace compound {

struct Stream {
    std::string name; // at most 31 characters, ASCII
    std::string data; // the stream's bytes
};

// The whole file: every stream as a child of the root storage.
std::string build(const std::vector<Stream> &streams);

} // namespace compound
