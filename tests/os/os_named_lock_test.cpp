#include "os_named_lock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <csignal>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

// A system mutex name takes no '\\': every name is escaped one way, so a name
// with backslashes (a device path) is the lock of its escaped form, which
// other programs serialising on the device use too.
TEST_F(NamedLockTest, ANameWithBackslashesIsTheLockOfItsEscapedForm)
{
    EXPECT_EQ(zv::os::LockSystemName("\\\\?\\usb#X\\Y"), "||?|usb#X|Y");
    auto held = NamedLock::Open("zvtest\\device\\path");
    ASSERT_TRUE(held);
    ASSERT_EQ(held->Wait(0), LockWait::Acquired);
    EXPECT_EQ(OtherThreadWaits("zvtest|device|path"), LockWait::Timeout);
    EXPECT_TRUE(held->Release());
    EXPECT_EQ(OtherThreadWaits("zvtest|device|path"), LockWait::Acquired);
}

#ifndef _WIN32
// Lock files are removed when the last object of their name goes, so the lock
// folder does not fill with a file per device ever used; a dead holder's file
// stays until someone took the lock over, and a process that took the lock of
// a removed file goes on with the name's new one.
TEST_F(NamedLockTest, TheFileGoesWithItsLastObjectButNotADeadHoldersMark)
{
    const auto files = [&] {
        return std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator());
    };
    const std::string name = "zvtest|files";
    auto lock = NamedLock::Open(name);
    ASSERT_TRUE(lock);
    ASSERT_EQ(lock->Wait(0), LockWait::Acquired);
    EXPECT_EQ(files(), 1);
    lock.reset();
    EXPECT_EQ(files(), 0);

    // A holder that dies without giving the lock back.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto held = NamedLock::Open(name);
        ::_exit(held && held->Wait(0) == LockWait::Acquired ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    NamedLock::Open(name).reset();  // opened, never waited for: the mark stays
    EXPECT_EQ(files(), 1);
    lock = NamedLock::Open(name);
    EXPECT_EQ(lock->Wait(0), LockWait::Abandoned);
    EXPECT_TRUE(lock->Release());
    lock.reset();
    EXPECT_EQ(files(), 0);

    // The file removed by another process's end while this one had it open.
    // A process that opens the name on request and tells what its wait got,
    // forked while this one has nothing of the name open.
    int ask[2];
    int answer[2];
    ASSERT_EQ(::pipe(ask), 0);
    ASSERT_EQ(::pipe(answer), 0);
    const pid_t other = ::fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        ::close(ask[1]);
        ::close(answer[0]);
        char request = 0;
        while (::read(ask[0], &request, 1) == 1) {
            auto probe = NamedLock::Open(name);
            const LockWait got = probe ? probe->Wait(0) : LockWait::Failed;
            const char reply = got == LockWait::Acquired ? 'a' : got == LockWait::Timeout ? 't' : 'f';
            if (got == LockWait::Acquired) {
                probe->Release();
            }
            if (::write(answer[1], &reply, 1) != 1) {
                break;
            }
        }
        ::_exit(0);
    }
    ::close(ask[0]);
    ::close(answer[1]);
    const auto otherWaits = [&] {
        char reply = 0;
        return ::write(ask[1], "?", 1) == 1 && ::read(answer[0], &reply, 1) == 1 ? reply : 'f';
    };
    lock = NamedLock::Open(name);
    ASSERT_TRUE(lock);
    const auto path = std::filesystem::directory_iterator(dir_)->path();
    const pid_t remover = ::fork();
    ASSERT_GE(remover, 0);
    if (remover == 0) {
        lock.reset();  // this process's last object of the name
        ::_exit(std::filesystem::exists(path) ? 1 : 0);
    }
    ASSERT_EQ(::waitpid(remover, &status, 0), remover);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(lock->Wait(0), LockWait::Acquired);
    // Held on the name's new file, as another process opening it finds.
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(otherWaits(), 't');
    EXPECT_TRUE(lock->Release());
    EXPECT_EQ(otherWaits(), 'a');
    ::close(ask[1]);
    ::close(answer[0]);
    ASSERT_EQ(::waitpid(other, &status, 0), other);
}

// Another process finds the lock held for as long as its holder lives, and
// takes it over, Abandoned, once the holder is killed while holding it.
TEST_F(NamedLockTest, AnotherProcessWaitsWhileTheHolderLivesAndTakesOverFromAKilledOne)
{
    const std::string name = "zvtest|processes";
    int held[2];
    ASSERT_EQ(::pipe(held), 0);
    // Forked before this process opens the name, so that the holder shares
    // nothing of this process's lock.
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        auto lock = NamedLock::Open(name);
        const char state = lock && lock->Wait(0) == LockWait::Acquired ? 'h' : 'f';
        if (::write(held[1], &state, 1) != 1) {
            ::_exit(1);
        }
        for (;;) {
            ::pause();
        }
    }
    ::close(held[1]);
    char state = 0;
    ASSERT_EQ(::read(held[0], &state, 1), 1);
    ::close(held[0]);
    ASSERT_EQ(state, 'h');

    auto lock = NamedLock::Open(name);
    ASSERT_TRUE(lock);
    EXPECT_EQ(lock->Wait(0), LockWait::Timeout);
    EXPECT_EQ(lock->Wait(20), LockWait::Timeout);

    ASSERT_EQ(::kill(holder, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, 0), holder);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(lock->Wait(0), LockWait::Abandoned);
    EXPECT_TRUE(lock->Release());
    EXPECT_EQ(lock->Wait(0), LockWait::Acquired);  // the dead holder's mark is gone
    EXPECT_TRUE(lock->Release());
}
#endif

}  // namespace
