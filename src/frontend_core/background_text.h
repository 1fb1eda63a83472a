#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <string>
#include <thread>

// A text worked out on a thread of its own beside the run and taken where it
// is needed. Work that is never taken is told to stop when its owner goes,
// and the owner waits only for that.
class BackgroundText {
public:
    // The work; it returns soon once `stop` is set (its text is then unused).
    using Work = std::function<std::string(const std::atomic<bool>& stop)>;

    BackgroundText() = default;
    ~BackgroundText();
    BackgroundText(const BackgroundText&) = delete;
    BackgroundText& operator=(const BackgroundText&) = delete;

    // Starts `work` on a thread; when no thread can start, Take does the work.
    // Work started before and not taken is stopped first.
    void Start(Work work);
    // True from Start until Take.
    bool Pending() const { return static_cast<bool>(work_); }
    // The text, once the work is done (done here when it had no thread), or
    // what the work threw. Throws std::logic_error when nothing is pending.
    std::string Take();

private:
    void Stop() noexcept;

    Work work_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::string text_;
    std::exception_ptr error_;
};
