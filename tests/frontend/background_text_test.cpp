#include "background_text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

// Work that runs until it is told to stop, and counts that it was.
BackgroundText::Work UntilStopped(std::atomic<int>& stopped)
{
    return [&stopped](const std::atomic<bool>& stop) {
        while (!stop) {
            std::this_thread::yield();
        }
        ++stopped;
        return std::string("unused");
    };
}

}  // namespace

TEST(BackgroundText, GivesTheWorksTextOrWhatItThrewOnce)
{
    BackgroundText text;
    EXPECT_FALSE(text.Pending());
    text.Start([](const std::atomic<bool>&) { return std::string("691280c753"); });
    EXPECT_TRUE(text.Pending());
    EXPECT_EQ(text.Take(), "691280c753");
    EXPECT_FALSE(text.Pending());
    EXPECT_THROW(text.Take(), std::logic_error);

    text.Start([](const std::atomic<bool>&) -> std::string { throw std::runtime_error("out of memory"); });
    try {
        text.Take();
        ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "out of memory");
    }
    EXPECT_FALSE(text.Pending());

    text.Start([](const std::atomic<bool>&) { return std::string("again"); });
    EXPECT_EQ(text.Take(), "again");
}

TEST(BackgroundText, WorkNotTakenIsStoppedWhenItsOwnerGoesOrItIsStartedAgain)
{
    std::atomic<int> stopped{0};
    {
        BackgroundText text;
        text.Start(UntilStopped(stopped));
    }  // waits for ever unless the work is told to stop
    EXPECT_EQ(stopped, 1);

    BackgroundText text;
    text.Start(UntilStopped(stopped));
    text.Start([](const std::atomic<bool>& stop) { return std::string(stop ? "stopped" : "new"); });
    EXPECT_EQ(stopped, 2);
    EXPECT_EQ(text.Take(), "new");
}
