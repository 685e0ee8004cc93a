#include "platform/qtcore/HeapPages.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace tellix {
namespace {

long MinorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

bool SanitizedHeap()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

bool LargePagesOnRequest()
{
    std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    std::getline(file, modes);
    return modes.find("[always]") != std::string::npos || modes.find("[madvise]") != std::string::npos;
}

// Whether a part of the heap is marked for 2 MB pages.
bool HeapAskedForLargePages()
{
    std::ifstream maps("/proc/self/smaps");
    bool inHeap = false;
    for (std::string line; std::getline(maps, line);) {
        const bool header = !line.empty() && line.find(':') > line.find(' ');
        if (header) {
            inHeap = line.ends_with("[heap]");
        } else if (inHeap && line.starts_with("VmFlags:") && (line + " ").find(" hg ") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// What a names reply of 50,000 does to the heap: tens of thousands of small objects come within
// milliseconds, and a list's array doubles through a few sizes. Page faults are counted, not
// time: the count is what costs, and it does not depend on the machine's load.
TEST(HeapPages, ABurstOfSmallObjectsFaultsInLargePagesAndAFreedArrayIsUsedAgain)
{
    if (SanitizedHeap()) {
        GTEST_SKIP() << "the sanitizer's allocator stands in for the heap";
    }
    ASSERT_TRUE(PrepareHeapForBursts());
    const bool largePages = LargePagesOnRequest();
    if (largePages) {
        EXPECT_TRUE(HeapAskedForLargePages());
        // Fresh pages of the reserve, first touched here.
        constexpr std::size_t kObjects = 200'000;
        constexpr std::size_t kSize = 100;
        constexpr long kSmallPages = static_cast<long>(kObjects * kSize / 4096);
        std::vector<void*> objects;
        objects.reserve(kObjects);
        const long beforeBurst = MinorFaults();
        for (std::size_t i = 0; i < kObjects; ++i) {
            objects.push_back(std::malloc(kSize));
            std::memset(objects.back(), static_cast<int>(i), kSize);
        }
        const long burstFaults = MinorFaults() - beforeBurst;
        for (void* object : objects) {
            std::free(object);
        }
        EXPECT_LT(burstFaults, kSmallPages / 2) << "a fault for each of the " << kSmallPages << " small pages";
    }

    // Two lists grow by doubling to a million entries each, go, and grow again: the second
    // time the heap has the pages already.
    const auto grow = [] {
        const long before = MinorFaults();
        std::vector<long> members;
        std::vector<long> rows;
        for (long i = 0; i < 1'000'000; ++i) {
            members.push_back(i);
            rows.push_back(i);
        }
        return MinorFaults() - before;
    };
    grow();
    EXPECT_LT(grow(), 64) << "the freed arrays' pages were not used again";
    if (!largePages) {
        GTEST_SKIP() << "the kernel gives no large pages: only the reuse was tested";
    }
}

} // namespace
} // namespace tellix
