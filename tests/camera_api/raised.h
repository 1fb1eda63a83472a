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
        char buffer[200] = {};
        e.GetDescription(buffer, sizeof buffer);
        return {true, e.GetErrorNumber(), buffer};
    }
    return {};
}

inline std::string Described(const std::string& text, const std::string& method)
{
    return text + " (zvAPIplus_Camera::" + method + ")";
}

}  // namespace zvtest
