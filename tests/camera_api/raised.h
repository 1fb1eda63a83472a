#pragma once

// What a call raised through the wrapper, for comparing in tests.

#include <string>

#include "zvapiplus_exception.h"

namespace zvtest {

struct Raised {
    bool thrown = false;
    int32_t code = 0;
    std::string text;
};

template <class F>
Raised Catch(F&& f)
{
    try {
        f();
    } catch (const zvAPIplus_Exception& e) {
        return {true, e.GetErrorNumber(), e.Description()};
    }
    return {};
}

inline std::string Described(const std::string& text, const std::string& method)
{
    return text + " (zvAPIplus_Camera::" + method + ")";
}

}  // namespace zvtest
