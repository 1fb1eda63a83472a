#include "zvemu/hooks.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <map>
#include <type_traits>
#include <vector>

namespace zvemu {
namespace {

constexpr std::string_view kFunctions[] = {
    "zvGetNumberDevices",    "zvOpenDevice",         "zvOpenDeviceBy",   "zvCloseDevice",
    "zvGetParamInt",         "zvGetParamFloat",      "zvGetParamString", "zvGetParam",
    "zvSetParamInt",         "zvSetParamFloat",      "zvSetParamString", "zvSetParam",
    "zvStartAcquisition",    "zvStopAcquisition",    "zvGetImage",       "zvProcOpen",
    "zvProcClose",           "zvProcPushImage",      "zvProcPullImage",  "zvProcSetParam",
    "zvGetDeviceInfoString", "zvSetDeviceInfoString"};

template <class T>
bool ParseNumber(std::string_view text, T& out)
{
    int base = 10;
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) {
        return false;
    }
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return false;
    }
    if constexpr (std::is_signed_v<T>) {
        // Codes may be given as unsigned 32-bit hex too.
        const int64_t v = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
        if (v < INT32_MIN || v > static_cast<int64_t>(UINT32_MAX)) {
            return false;
        }
        out = static_cast<T>(static_cast<int32_t>(static_cast<uint32_t>(v)));
    } else {
        if (negative || value > std::numeric_limits<T>::max()) {
            return false;
        }
        out = static_cast<T>(value);
    }
    return true;
}

bool Fail(std::string* error, std::string text)
{
    if (error) {
        *error = std::move(text);
    }
    return false;
}

}  // namespace

bool IsLibraryFunctionName(std::string_view name)
{
    for (auto f : kFunctions) {
        if (f == name) {
            return true;
        }
    }
    return false;
}

std::optional<Hook> ParseHook(std::string_view line, std::string* error)
{
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        size_t end = pos;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t') {
            ++end;
        }
        if (end > pos) {
            words.push_back(line.substr(pos, end - pos));
        }
        pos = end;
    }
    if (words.empty()) {
        Fail(error, "empty hook");
        return std::nullopt;
    }

    static const std::map<std::string_view, Hook::Kind> kinds = {
        {"fail", Hook::Kind::Fail},           {"cut", Hook::Kind::Cut},
        {"corrupt", Hook::Kind::Corrupt},     {"vanish", Hook::Kind::Vanish},
        {"nocameras", Hook::Kind::NoCameras}, {"trace", Hook::Kind::Trace}};
    const auto kind = kinds.find(words[0]);
    if (kind == kinds.end()) {
        Fail(error, "unknown hook '" + std::string(words[0]) + "' (fail, cut, corrupt, vanish, nocameras, trace)");
        return std::nullopt;
    }
    Hook hook;
    hook.kind = kind->second;
    if (hook.kind == Hook::Kind::Cut) {
        hook.code = 8;  // "Write block error"
    }

    // Which keys each kind takes.
    static const std::map<Hook::Kind, std::vector<std::string_view>> allowed = {
        {Hook::Kind::Fail, {"call", "param", "code", "nth", "times", "file", "callno"}},
        {Hook::Kind::Cut, {"bytes", "code", "nth", "file", "callno"}},
        {Hook::Kind::Corrupt, {"at", "xor", "nth", "file", "callno"}},
        {Hook::Kind::Vanish, {"opens"}},
        {Hook::Kind::NoCameras, {}},
        {Hook::Kind::Trace, {}}};
    std::map<std::string_view, std::string_view> given;
    for (size_t i = 1; i < words.size(); ++i) {
        const auto eq = words[i].find('=');
        if (eq == std::string_view::npos || eq == 0) {
            Fail(error, "expected key=value, got '" + std::string(words[i]) + "'");
            return std::nullopt;
        }
        const auto key = words[i].substr(0, eq);
        const auto& keys = allowed.at(hook.kind);
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            Fail(error, "'" + std::string(key) + "' does not belong to '" + std::string(words[0]) + "'");
            return std::nullopt;
        }
        if (!given.emplace(key, words[i].substr(eq + 1)).second) {
            Fail(error, "'" + std::string(key) + "' given twice");
            return std::nullopt;
        }
    }

    bool ok = true;
    auto number = [&](std::string_view key, auto& out) {
        auto it = given.find(key);
        if (it == given.end()) {
            return false;
        }
        if (!ParseNumber(it->second, out)) {
            ok = Fail(error, "bad number for '" + std::string(key) + "': " + std::string(it->second));
            return false;
        }
        return true;
    };
    if (auto it = given.find("call"); it != given.end()) {
        hook.call = it->second;
    }
    if (auto it = given.find("param"); it != given.end()) {
        hook.param = it->second;
    }
    if (auto it = given.find("file"); it != given.end()) {
        hook.file = it->second;
    }
    const bool hasCode = number("code", hook.code);
    const bool hasNth = number("nth", hook.nth);
    const bool hasCallNo = number("callno", hook.callNo);
    if (hasCallNo && hook.callNo == 0) {
        ok = ok && Fail(error, "callno counts from 1");
    }
    if (hasCallNo && hasNth) {
        ok = ok && Fail(error, "callno and nth do not go together");
    }
    if (auto it = given.find("times"); it != given.end() && it->second == "all") {
        hook.times = 0;
    } else if (number("times", hook.times) && hook.times == 0) {
        ok = ok && Fail(error, "times must be at least 1 (or 'all')");
    }
    const bool hasBytes = number("bytes", hook.bytes);
    const bool hasAt = number("at", hook.at);
    uint32_t mask = hook.xorMask;
    if (number("xor", mask)) {
        if (mask == 0 || mask > 0xFF) {
            ok = ok && Fail(error, "xor must be 1 to 0xFF");
        }
        hook.xorMask = static_cast<uint8_t>(mask);
    }
    const bool hasOpens = number("opens", hook.opens);
    if (!ok) {
        return std::nullopt;
    }
    if (hook.nth == 0) {
        Fail(error, "nth counts from 1");
        return std::nullopt;
    }

    switch (hook.kind) {
    case Hook::Kind::Fail:
        if (hook.call.empty() == hook.param.empty() && !(hasCallNo && hook.call.empty())) {
            Fail(error, "fail needs exactly one of call= and param= (or callno=)");
            return std::nullopt;
        }
        if (!hook.call.empty() && !IsLibraryFunctionName(hook.call)) {
            Fail(error, "unknown library function '" + hook.call + "'");
            return std::nullopt;
        }
        if (!hasCode) {
            Fail(error, "fail needs code=");
            return std::nullopt;
        }
        break;
    case Hook::Kind::Cut:
        if (!hasBytes) {
            Fail(error, "cut needs bytes=");
            return std::nullopt;
        }
        if (hook.code == 0) {
            Fail(error, "a cut write must answer an error code");
            return std::nullopt;
        }
        break;
    case Hook::Kind::Corrupt:
        if (!hasAt) {
            Fail(error, "corrupt needs at=");
            return std::nullopt;
        }
        break;
    case Hook::Kind::Vanish:
        if (!hasOpens || hook.opens == 0) {
            Fail(error, "vanish needs opens= of at least 1");
            return std::nullopt;
        }
        break;
    case Hook::Kind::NoCameras:
    case Hook::Kind::Trace:
        break;
    }
    return hook;
}

bool HookAllowedLibraryWide(const Hook& hook)
{
    return hook.kind != Hook::Kind::Vanish;
}

bool HookAllowedForCamera(const Hook& hook)
{
    return hook.kind != Hook::Kind::NoCameras && hook.kind != Hook::Kind::Trace;
}

}  // namespace zvemu
