#include "platform/qtcore/HeapPages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tellix {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnAllocator = false; // the sanitizer's allocator ignores all of this
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kOwnAllocator = false;
#else
constexpr bool kOwnAllocator = true;
#endif
#else
constexpr bool kOwnAllocator = true;
#endif

} // namespace

bool PrepareHeapForBursts()
{
#if defined(__linux__) && defined(__GLIBC__)
    if constexpr (!kOwnAllocator) {
        return false;
    }
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    constexpr std::size_t kReserve = std::size_t{64} << 20;
    constexpr int kUsualTopPad = 128 << 10; // glibc's own
    // Large blocks (a list's array doubling, a hash table's next size) come from the heap too,
    // not from fresh mappings that cost their faults again at every size and are handed back
    // when freed. The heap keeps up to twice the reserve when blocks are freed: what a burst
    // took, the next one uses again.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * kReserve));
    // Grow the heap by the reserve now (address space only: pages come when first touched),
    // and ask for 2 MB pages over it. The padding is glibc's usual again at once: it would
    // also make every thread's arena that large.
    mallopt(M_TOP_PAD, static_cast<int>(kReserve));
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // Through a volatile: a block nobody uses would otherwise be optimized away, and with it the
    // growth.
    void* volatile probe = std::malloc(kHugePage);
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    std::free(probe);
    mallopt(M_TOP_PAD, kUsualTopPad);
    // Where the heap could not grow in place (no break to move), glibc mapped the block
    // elsewhere and the break stayed: nothing is asked.
    const std::uintptr_t start = (before + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = after & ~(kHugePage - 1);
    if (before == static_cast<std::uintptr_t>(-1) || end <= start) {
        return false;
    }
    return madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE) == 0;
#else
    return false;
#endif
}

} // namespace tellix
