// The locks of objects that come and go give back what their first use took.
#include "Mutex.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

namespace {

size_t heapBytesInUse() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 8);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    size_t total = 0;
    for (HANDLE heap : heaps) {
        HeapLock(heap);
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        }
        HeapUnlock(heap);
    }
    return total;
}

// Heap growth after making, using and destroying many locks one after another.
template <class Lock, class Use>
long long growthOfManyLocks(Use use) {
    constexpr int kLocks = 4000;
    {
        Lock warmUp;
        use(warmUp);
    }
    const size_t before = heapBytesInUse();
    for (int i = 0; i < kLocks; ++i) {
        Lock lock;
        use(lock);
    }
    return static_cast<long long>(heapBytesInUse()) - static_cast<long long>(before);
}

// A leak of the smallest lock record (24 bytes) a lock shows as 96 000 bytes.
constexpr long long kNoise = 8192;

} // namespace

TEST(Mutex, LocksGiveBackWhatTheirFirstUseTook) {
    EXPECT_LT(growthOfManyLocks<FW::Mutex>([](FW::Mutex& m) { std::lock_guard<std::mutex> g(m); }),
              kNoise);
    EXPECT_LT(growthOfManyLocks<FW::RecursiveMutex>([](FW::RecursiveMutex& m) {
                  std::lock_guard<std::recursive_mutex> outer(m);
                  std::lock_guard<std::recursive_mutex> inner(m);
              }),
              kNoise);
    EXPECT_LT(growthOfManyLocks<FW::SharedMutex>([](FW::SharedMutex& m) {
                  { std::shared_lock<std::shared_mutex> reader(m); }
                  std::unique_lock<std::shared_mutex> writer(m);
              }),
              kNoise);
}

TEST(Mutex, LocksNeverUsedAreDestroyedSafely) {
    EXPECT_LT(growthOfManyLocks<FW::SharedMutex>([](FW::SharedMutex&) {}), kNoise);
    EXPECT_LT(growthOfManyLocks<FW::Mutex>([](FW::Mutex&) {}), kNoise);
}
