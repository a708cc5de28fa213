// How a worker process ends, as its parent reads the exit status.
#pragma once

namespace serve {

inline constexpr int kExitDrained = 0;     // asked to stop, and it did
inline constexpr int kExitCannotStart = 3; // the project or the HTTP library would not open
inline constexpr int kExitStuck = 4;       // a map went on drawing past every limit

} // namespace serve
