// Thread-local slots and the program's own executable.
#include "platform/ThreadLocalSlot.h"
#include "platform/OwnExecutable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace {

TEST(ThreadLocalSlot, EachThreadSeesItsOwnValue) {
    platform::TThreadLocalSlot slot;
    int mine = 1;
    int theirs = 2;
    EXPECT_EQ(slot.Get(), nullptr);
    slot.Set(&mine);
    void* seenByOther = &mine;
    std::thread([&] {
        seenByOther = slot.Get();
        slot.Set(&theirs);
    }).join();
    EXPECT_EQ(seenByOther, nullptr);
    EXPECT_EQ(slot.Get(), &mine);
}

TEST(ThreadLocalSlot, NewSlotStartsEmptyAfterAnotherWasFreed) {
    int value = 0;
    {
        platform::TThreadLocalSlot first;
        first.Set(&value);
    }
    platform::TThreadLocalSlot second;
    EXPECT_EQ(second.Get(), nullptr);
}

TEST(OwnExecutable, IsTheRunningTestProgram) {
    const std::string path = platform::OwnExecutablePath();
    ASSERT_FALSE(path.empty());
#ifdef _WIN32
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::path(path).extension(), ".exe");
#else
    EXPECT_TRUE(std::filesystem::equivalent(path, "/proc/self/exe"));
    EXPECT_EQ(std::filesystem::path(path).filename(), "test_platform_runtime");
#endif
}

} // namespace
