#pragma once

namespace tellix {

// Readies the process heap for bursts: a big channel's names reply makes tens of thousands of
// small objects within milliseconds, and on 4 KB pages every first touch of a page is a fault
// (over 10 us each on a virtual machine, more than the work itself). The heap is reserved
// ahead and backed by 2 MB pages where the kernel allows it, and freed blocks of any size stay
// in it to be used again. Call once, first thing in main. Whether the reserve was made with
// 2 MB pages asked for; elsewhere (another allocator, another system) it does nothing.
bool PrepareHeapForBursts();

} // namespace tellix
