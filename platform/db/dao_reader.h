// The reader process of Access files.
//
// libmdb, which decodes Access files, is a C library with a history of memory faults on
// malformed files, and the site database comes off old discs and shared drives. So the
// program never runs it itself: each opening that has to read an Access file starts
// the small program tavi-mdb-reader, which opens the file, decodes the catalogue and
// the tables asked for, and sends the decoded values back over a socket. A fault in
// libmdb then ends the reader, not the program: the caller gets dao::Error naming the
// file, and the user's view stays as it was. A reader that sends nothing for the time
// limit is taken for hung and ended the same way.
//
// The reader is installed in the private folder libexec/tavi/ beside the programs' bin/
// folder (the build tree has the same layout, so tests and benchmarks find it there)
// and is found relative to the running program, so a moved install still works.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace dao {

// Where Access files are decoded: in the reader process (what every program does), or
// in this process (what the reader itself does, and what a fuzzing harness of libmdb's
// paths needs in order to see the faults).
enum class AccessReading { ReaderProcess, InProcess };
void set_access_reading(AccessReading how);

// The reader program: by default the one installed with the running program; a path
// set here (tests) is used instead; an empty one goes back to the default.
void set_access_reader_program(const std::filesystem::path &program);
std::filesystem::path access_reader_program();

// How long the reader may send nothing before it is taken for hung.
inline constexpr std::chrono::milliseconds kDefaultReaderTimeLimit{60'000};
void set_access_reader_time_limit(std::chrono::milliseconds limit);

// The reader's side: serves the requests that arrive on in_fd for the Access file at
// path, answering on out_fd, until in_fd ends. Returns the process's exit status.
int serve_access_file(const std::string &path, std::int64_t file_size, int in_fd, int out_fd);

} // namespace dao
