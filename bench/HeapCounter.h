#pragma once

#include <cstdint>

namespace tellix::bench {

// Heap bytes the program holds right now, as the allocator hands them out (its usable size,
// so rounding counts): operator new and delete are replaced in this program to keep count.
std::int64_t HeapBytesInUse();

} // namespace tellix::bench
