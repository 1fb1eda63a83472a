#include "os_named_lock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace {

using zv::os::LockWait;
using zv::os::NamedLock;

class NamedLockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("zv-named-lock-test-" + std::string(info->name()) + "-" +
                std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id())));
        std::filesystem::create_directories(dir_);
        if (const char* old = std::getenv("ZVOS_LOCK_DIR")) {
            saved_ = old;
        }
        SetLockDir(dir_.string());
    }
    void TearDown() override
    {
        SetLockDir(saved_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    static void SetLockDir(const std::string& dir)
    {
#ifdef _WIN32
        ::_putenv_s("ZVOS_LOCK_DIR", dir.c_str());
#else
        if (dir.empty()) {
            ::unsetenv("ZVOS_LOCK_DIR");
        } else {
            ::setenv("ZVOS_LOCK_DIR", dir.c_str(), 1);
        }
#endif
    }

    // What a wait of another thread on its own object of the name gets.
    static LockWait OtherThreadWaits(const std::string& name)
    {
        LockWait result = LockWait::Failed;
        std::thread([&] {
            auto lock = NamedLock::Open(name);
            result = lock ? lock->Wait(0) : LockWait::Failed;
            if (result == LockWait::Acquired) {
                lock->Release();
            }
        }).join();
        return result;
    }

    std::filesystem::path dir_;
    std::string saved_;
};

TEST_F(NamedLockTest, TheHolderNestsThroughEveryObjectOfTheNameAndOnlyItCanGiveItBack)
{
    const std::string name = "zvtest|nested";
    auto first = NamedLock::Open(name);
    auto second = NamedLock::Open(name);
    ASSERT_TRUE(first && second);

    // Nothing to give back before a wait, for this thread or another one.
    EXPECT_FALSE(second->Release());
    ASSERT_EQ(first->Wait(0), LockWait::Acquired);
    EXPECT_FALSE(second->Release());  // this object holds nothing
    ASSERT_EQ(second->Wait(0), LockWait::Acquired);
    ASSERT_EQ(first->Wait(0), LockWait::Acquired);
    EXPECT_EQ(OtherThreadWaits(name), LockWait::Timeout);

    // Another thread cannot give back the holder's acquisitions.
    bool released = true;
    std::thread([&] { released = first->Release(); }).join();
    EXPECT_FALSE(released);
    EXPECT_EQ(OtherThreadWaits(name), LockWait::Timeout);

    // Free for others only once every acquisition is given back.
    EXPECT_TRUE(first->Release());
    EXPECT_TRUE(second->Release());
    EXPECT_EQ(OtherThreadWaits(name), LockWait::Timeout);
    EXPECT_TRUE(first->Release());
    EXPECT_FALSE(first->Release());
    EXPECT_EQ(OtherThreadWaits(name), LockWait::Acquired);

    // And taken at once again afterwards.
    EXPECT_EQ(second->Wait(0), LockWait::Acquired);
    EXPECT_EQ(OtherThreadWaits(name), LockWait::Timeout);
    EXPECT_TRUE(second->Release());
    EXPECT_EQ(OtherThreadWaits(name), LockWait::Acquired);
}

#ifndef _WIN32
// Where locks are files (a named mutex leaves nothing behind by itself).
TEST_F(NamedLockTest, ALockRemovedWhenFreeLeavesNoFileAndIsTakenAgain)
{
    const std::string name = "zvtest|removed";
    auto lock = NamedLock::Open(name, true);
    ASSERT_TRUE(lock);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(lock->Wait(0), LockWait::Acquired);
        EXPECT_FALSE(std::filesystem::is_empty(dir_));
        EXPECT_EQ(OtherThreadWaits(name), LockWait::Timeout);
        EXPECT_TRUE(lock->Release());
        // Nothing of the lock stays behind, and the next one takes it anew.
        EXPECT_TRUE(std::filesystem::is_empty(dir_)) << "round " << round;
    }
    EXPECT_EQ(OtherThreadWaits(name), LockWait::Acquired);
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}
#endif

}  // namespace
