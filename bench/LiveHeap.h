#pragma once

#include <cstddef>

namespace Bench {

// The bytes the process holds in allocations at this moment, in every thread: what the program
// keeps, as opposed to mallinfo2's figure, which also counts the chunks glibc keeps in each
// thread's cache for reuse. Counted by LiveHeap.cpp, which takes malloc's place in the program
// that links it (and hands every call on to glibc's own allocator).
std::size_t liveHeapBytes();

} // namespace Bench
