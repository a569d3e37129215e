// Allocation-failure injection for one test program: malloc, calloc, realloc,
// free and the operator new/delete family are replaced in the executable, so
// the library, yyjson and the C++ runtime all allocate through them. While
// armed, the allocation with the chosen number fails (and, in persistent
// mode, every one after it too). Live blocks are counted so that a leak shows
// as a count that does not come back down.
#pragma once

#include <cstdint>

namespace inject {

// Arms the injector: allocation number `k` (0 = the next one) fails; with
// `persistent`, all allocations after it fail as well.
void arm(int64_t k, bool persistent) noexcept;
// Disarms; returns how many allocations were asked for while armed.
int64_t disarm() noexcept;
// Whether an armed failure was handed out since the last arm().
bool hit() noexcept;
// Prints the call stack of each armed failure to stderr (for debugging).
void trace_failures(bool on) noexcept;
// Blocks currently allocated through the replaced functions.
int64_t live_blocks() noexcept;

}  // namespace inject
