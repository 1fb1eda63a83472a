#include "background_text.h"

#include <stdexcept>
#include <system_error>
#include <utility>

BackgroundText::~BackgroundText()
{
    Stop();
}

void BackgroundText::Stop() noexcept
{
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    work_ = nullptr;
    text_.clear();
    error_ = nullptr;
    stop_ = false;
}

void BackgroundText::Start(Work work)
{
    Stop();
    work_ = std::move(work);
    try {
        thread_ = std::thread([this] {
            try {
                text_ = work_(stop_);
            } catch (...) {
                error_ = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        // Take does the work on the caller's thread.
    }
}

std::string BackgroundText::Take()
{
    if (!work_) {
        throw std::logic_error("BackgroundText::Take: nothing pending");
    }
    if (thread_.joinable()) {
        thread_.join();
    } else {
        try {
            text_ = work_(stop_);
        } catch (...) {
            error_ = std::current_exception();
        }
    }
    work_ = nullptr;
    std::string text = std::move(text_);
    text_.clear();
    if (const std::exception_ptr error = std::exchange(error_, nullptr)) {
        std::rethrow_exception(error);
    }
    return text;
}
