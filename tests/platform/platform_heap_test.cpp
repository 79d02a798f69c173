// The global heap: movable blocks with lock counts, fixed blocks, resizing
// and handles that are not (or no longer) valid.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "afm3_compat.h"
#include "platform.h"

namespace {

constexpr UINT kLockCountMask = 0xFF;
constexpr UINT kDiscarded = 0x4000;

TEST(PlatformGlobalHeap, MovableBlocksCountTheirLocks) {
  HGLOBAL mem = plat::globalAlloc(plat::kGhnd, 64);
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(plat::globalSize(mem), 64u);
  EXPECT_EQ(GlobalFlags(mem) & kLockCountMask, 0u);

  auto* first = static_cast<unsigned char*>(plat::globalLock(mem));
  ASSERT_NE(first, nullptr);
  EXPECT_NE(static_cast<void*>(first), mem);  // a handle is not the memory
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(first[i], 0) << i;  // zero-initialised
  }
  EXPECT_EQ(plat::globalLock(mem), first);
  EXPECT_EQ(GlobalFlags(mem) & kLockCountMask, 2u);
  EXPECT_EQ(plat::globalHandle(first), mem);

  // Unlocking reports whether the block is still locked.
  EXPECT_TRUE(plat::globalUnlock(mem));
  plat::setLastError(99);
  EXPECT_FALSE(plat::globalUnlock(mem));
  EXPECT_EQ(plat::lastError(), plat::kErrSuccess);
  EXPECT_FALSE(plat::globalUnlock(mem));
  EXPECT_EQ(plat::lastError(), plat::kErrNotLocked);
  EXPECT_EQ(plat::globalFree(mem), nullptr);
}

TEST(PlatformGlobalHeap, ResizingKeepsContentsAndZeroesGrowth) {
  HGLOBAL mem = plat::globalAlloc(plat::kGmemMoveable, 16);
  ASSERT_NE(mem, nullptr);
  std::memcpy(plat::globalLock(mem), "0123456789abcdef", 16);
  plat::globalUnlock(mem);

  HGLOBAL grown = plat::globalReAlloc(mem, 4096, plat::kGmemMoveable | plat::kGmemZeroInit);
  ASSERT_EQ(grown, mem);  // a movable block keeps its handle wherever it lives
  EXPECT_EQ(plat::globalSize(mem), 4096u);
  auto* bytes = static_cast<char*>(plat::globalLock(mem));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::memcmp(bytes, "0123456789abcdef", 16), 0);
  for (int i = 16; i < 4096; ++i) {
    ASSERT_EQ(bytes[i], 0) << i;
  }
  EXPECT_EQ(plat::globalHandle(bytes), mem);

  // Locked, it may move only when the caller allows it; the lock stays.
  HGLOBAL moved = plat::globalReAlloc(mem, 8192, plat::kGmemMoveable);
  ASSERT_EQ(moved, mem);
  EXPECT_EQ(GlobalFlags(mem) & kLockCountMask, 1u);
  bytes = static_cast<char*>(plat::globalLock(mem));
  EXPECT_EQ(std::memcmp(bytes, "0123456789abcdef", 16), 0);
  // Shrinking in place is always possible.
  EXPECT_EQ(plat::globalReAlloc(mem, 8, 0), mem);
  EXPECT_EQ(plat::globalSize(mem), 8u);
  EXPECT_EQ(plat::globalFree(mem), nullptr);  // freeing a locked block is allowed
}

TEST(PlatformGlobalHeap, FixedBlocksAreTheirOwnHandles) {
  HGLOBAL mem = plat::globalAlloc(plat::kGmemFixed | plat::kGmemZeroInit, 32);
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(plat::globalLock(mem), mem);
  EXPECT_EQ(plat::globalHandle(mem), mem);
  EXPECT_EQ(GlobalFlags(mem) & kLockCountMask, 0u);
  std::memcpy(mem, "fixed", 6);
  HGLOBAL grown = plat::globalReAlloc(mem, 1 << 20, plat::kGmemMoveable);
  ASSERT_NE(grown, nullptr);
  EXPECT_STREQ(static_cast<const char*>(grown), "fixed");
  EXPECT_EQ(plat::globalHandle(grown), grown);
  EXPECT_EQ(plat::globalFree(grown), nullptr);
}

TEST(PlatformGlobalHeap, EmptyMovableBlocksStartDiscarded) {
  HGLOBAL mem = plat::globalAlloc(plat::kGmemMoveable, 0);
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(plat::globalLock(mem), nullptr);
  EXPECT_TRUE(GlobalFlags(mem) & kDiscarded);
  ASSERT_EQ(plat::globalReAlloc(mem, 10, plat::kGmemMoveable | plat::kGmemZeroInit), mem);
  EXPECT_FALSE(GlobalFlags(mem) & kDiscarded);
  auto* bytes = static_cast<char*>(plat::globalLock(mem));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[9], 0);
  plat::globalUnlock(mem);
  EXPECT_EQ(plat::globalFree(mem), nullptr);
}

#ifndef _WIN32
TEST(PosixGlobalHeap, InvalidHandlesFailWithError6) {
  HGLOBAL freed = plat::globalAlloc(plat::kGmemMoveable, 8);
  ASSERT_EQ(plat::globalFree(freed), nullptr);
  int onStack = 0;
  for (HGLOBAL bad : {freed, static_cast<HGLOBAL>(&onStack), reinterpret_cast<HGLOBAL>(0x1234)}) {
    plat::setLastError(0);
    EXPECT_EQ(plat::globalLock(bad), nullptr);
    EXPECT_EQ(plat::lastError(), plat::kErrInvalidHandle);
    EXPECT_EQ(plat::globalSize(bad), 0u);
    EXPECT_FALSE(plat::globalUnlock(bad));
    EXPECT_EQ(plat::globalReAlloc(bad, 16, plat::kGmemMoveable), nullptr);
    EXPECT_EQ(plat::globalFree(bad), bad);
    EXPECT_EQ(plat::lastError(), plat::kErrInvalidHandle);
    EXPECT_EQ(GlobalFlags(bad), 0x8000u);  // GMEM_INVALID_HANDLE
  }
  EXPECT_EQ(plat::globalHandle(&onStack), nullptr);
  EXPECT_EQ(plat::globalFree(nullptr), nullptr);
}

TEST(PosixGlobalHeap, CountsTheBlocksNotYetFreed) {
  const SIZE_T before = qwinTestGlobalBlockCount();
  HGLOBAL movable = plat::globalAlloc(plat::kGhnd, 16);
  HGLOBAL fixed = plat::globalAlloc(plat::kGmemFixed, 16);
  HGLOBAL discarded = plat::globalAlloc(plat::kGmemMoveable, 0);
  EXPECT_EQ(qwinTestGlobalBlockCount(), before + 3);
  for (HGLOBAL mem : {movable, fixed, discarded}) plat::globalFree(mem);
  EXPECT_EQ(qwinTestGlobalBlockCount(), before);
}

TEST(PosixGlobalHeap, PinnedBlocksOnlyShrinkInPlace) {
  // A locked movable block, or a fixed one, cannot grow without permission
  // to move; the emulation never grows in place.
  HGLOBAL movable = plat::globalAlloc(plat::kGmemMoveable, 16);
  void* pointer = plat::globalLock(movable);
  EXPECT_EQ(plat::globalReAlloc(movable, 32, 0), nullptr);
  EXPECT_EQ(plat::lastError(), plat::kErrNotEnoughMemory);
  EXPECT_EQ(plat::globalLock(movable), pointer);
  plat::globalFree(movable);

  HGLOBAL fixed = plat::globalAlloc(plat::kGmemFixed, 16);
  EXPECT_EQ(plat::globalReAlloc(fixed, 32, 0), nullptr);
  EXPECT_EQ(plat::globalSize(fixed), 16u);
  // GMEM_MODIFY turns it into a movable block with a handle of its own.
  HGLOBAL handle = plat::globalReAlloc(fixed, 0, plat::kGmemModify | plat::kGmemMoveable);
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(handle, fixed);
  EXPECT_EQ(plat::globalLock(handle), fixed);
  EXPECT_EQ(plat::globalHandle(fixed), handle);
  plat::globalFree(handle);
  EXPECT_EQ(plat::globalAlloc(plat::kGmemFixed, size_t{1} << 40), nullptr);
  EXPECT_EQ(plat::lastError(), plat::kErrNotEnoughMemory);
}
#endif

TEST(PlatformGlobalHeap, ThreadsShareTheHeap) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) {
        HGLOBAL mem = plat::globalAlloc(plat::kGhnd, 32 + i % 7);
        auto* bytes = static_cast<int*>(plat::globalLock(mem));
        bytes[0] = t * 1000 + i;
        plat::globalUnlock(mem);
        mem = plat::globalReAlloc(mem, 256, plat::kGmemMoveable);
        bytes = static_cast<int*>(plat::globalLock(mem));
        EXPECT_EQ(bytes[0], t * 1000 + i);
        EXPECT_EQ(plat::globalHandle(bytes), mem);
        plat::globalFree(mem);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
}

}  // namespace
