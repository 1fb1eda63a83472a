#include "zvemu/usb3_hooks.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <vector>

namespace zvemu {
namespace {

bool Number(std::string_view text, std::uint32_t& out)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) {
        return false;
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return ec == std::errc() && end == text.data() + text.size();
}

std::optional<Usb3Hook> Fail(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
    return std::nullopt;
}

// Texts joined piece by piece (GCC 12 misreads chains of + on temporaries).
std::string Join(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (auto part : parts) {
        text.append(part);
    }
    return text;
}

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        std::size_t end = pos;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t') {
            ++end;
        }
        if (end > pos) {
            words.push_back(line.substr(pos, end - pos));
        }
        pos = end;
    }
    return words;
}

}  // namespace

bool IsUsb3HookLine(std::string_view line)
{
    const auto words = Words(line);
    return !words.empty() && words[0].substr(0, 2) == "u3";
}

std::optional<Usb3Hook> ParseUsb3Hook(std::string_view line, std::string* error)
{
    const auto words = Words(line);
    if (words.empty()) {
        return Fail(error, "empty hook");
    }
    static const std::map<std::string_view, std::pair<Usb3Hook::Kind, std::vector<std::string_view>>> kinds = {
        {"u3ack", {Usb3Hook::Kind::Ack, {"answer", "req", "nth", "times", "count", "ms", "field"}}},
        {"u3write", {Usb3Hook::Kind::Write, {"req", "nth", "times"}}},
        {"u3silent", {Usb3Hook::Kind::Silent, {"nth"}}},
        {"u3busy", {Usb3Hook::Kind::Busy, {}}},
        {"u3location", {Usb3Hook::Kind::Location, {"state"}}},
        {"u3c51", {Usb3Hook::Kind::C51, {"replies"}}},
        {"u3mcu", {Usb3Hook::Kind::Mcu, {"fault", "status", "nth", "times"}}}};
    const auto kind = kinds.find(words[0]);
    if (kind == kinds.end()) {
        return Fail(error, Join({"unknown hook '", words[0],
                                 "' (u3ack, u3write, u3silent, u3busy, u3location, u3c51, u3mcu)"}));
    }
    Usb3Hook hook;
    hook.kind = kind->second.first;
    std::map<std::string_view, std::string_view> given;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const auto eq = words[i].find('=');
        if (eq == std::string_view::npos || eq == 0) {
            return Fail(error, Join({"expected key=value, got '", words[i], "'"}));
        }
        const auto key = words[i].substr(0, eq);
        const auto& keys = kind->second.second;
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            return Fail(error, Join({"'", key, "' does not belong to '", words[0], "'"}));
        }
        if (!given.emplace(key, words[i].substr(eq + 1)).second) {
            return Fail(error, Join({"'", key, "' given twice"}));
        }
    }
    for (const auto& [key, value] : given) {
        std::uint32_t n = 0;
        if (key == "answer") {
            static const std::map<std::string_view, Usb3Hook::Answer> answers = {
                {"error", Usb3Hook::Answer::Error}, {"none", Usb3Hook::Answer::None},
                {"bad", Usb3Hook::Answer::Bad},     {"short", Usb3Hook::Answer::Short},
                {"long", Usb3Hook::Answer::Long},   {"pending", Usb3Hook::Answer::Pending},
                {"corrupt", Usb3Hook::Answer::Corrupt}};
            const auto it = answers.find(value);
            if (it == answers.end()) {
                return Fail(error, "answer is error, none, bad, short, long, pending or corrupt");
            }
            hook.answer = it->second;
        } else if (key == "field") {
            static const std::map<std::string_view, Usb3Hook::Field> fields = {
                {"magic", Usb3Hook::Field::Magic}, {"id", Usb3Hook::Field::Id}, {"command", Usb3Hook::Field::Command}};
            const auto it = fields.find(value);
            if (it == fields.end()) {
                return Fail(error, "field is magic, id or command");
            }
            hook.field = it->second;
        } else if (key == "state") {
            static const std::map<std::string_view, Usb3Hook::Location> states = {
                {"invalid", Usb3Hook::Location::Invalid},
                {"missing", Usb3Hook::Location::Missing},
                {"long", Usb3Hook::Location::Long}};
            const auto it = states.find(value);
            if (it == states.end()) {
                return Fail(error, "state is invalid, missing or long");
            }
            hook.location = it->second;
        } else if (key == "fault") {
            static const std::map<std::string_view, Usb3Hook::McuFault> faults = {
                {"status", Usb3Hook::McuFault::Status},
                {"prefix", Usb3Hook::McuFault::Prefix},
                {"id", Usb3Hook::McuFault::Id},
                {"short", Usb3Hook::McuFault::Short}};
            const auto it = faults.find(value);
            if (it == faults.end()) {
                return Fail(error, "fault is status, prefix, id or short");
            }
            hook.mcu = it->second;
        } else if (key == "replies") {
            if (value != "endless" && value != "empty") {
                return Fail(error, "replies is endless or empty");
            }
            hook.c51 = value == "endless" ? Usb3Hook::C51Replies::Endless : Usb3Hook::C51Replies::Empty;
        } else if (key == "times" && value == "all") {
            hook.times = 0;
        } else if (!Number(value, n)) {
            return Fail(error, Join({"bad number for '", key, "': ", value}));
        } else if (key == "req") {
            if (n > 0xFF) {
                return Fail(error, "req is a request code 0 to 0xFF");
            }
            hook.request = static_cast<int>(n);
        } else if (key == "nth" || key == "times") {
            if (n == 0) {
                return Fail(error, Join({key, " counts from 1"}));
            }
            (key == "nth" ? hook.nth : hook.times) = n;
        } else if (key == "status") {
            if (n > 0xFFFF) {
                return Fail(error, "status is a 16-bit value");
            }
            hook.status = n;
        } else if (key == "count") {
            if (n == 0 || n > 16) {
                return Fail(error, "count is 1 to 16");
            }
            hook.count = n;
        } else if (key == "ms") {
            if (n > 0xFFFF) {
                return Fail(error, "ms is at most 65535");
            }
            hook.ms = n;
        }
    }
    if (hook.kind == Usb3Hook::Kind::Ack && given.find("answer") == given.end()) {
        return Fail(error, "u3ack needs answer=");
    }
    if (hook.kind == Usb3Hook::Kind::Location && given.find("state") == given.end()) {
        return Fail(error, "u3location needs state=");
    }
    if (hook.kind == Usb3Hook::Kind::Mcu && given.find("fault") == given.end()) {
        return Fail(error, "u3mcu needs fault=");
    }
    if (hook.kind == Usb3Hook::Kind::C51 && given.find("replies") == given.end()) {
        return Fail(error, "u3c51 needs replies=");
    }
    if (hook.kind == Usb3Hook::Kind::Silent) {
        hook.times = 0;  // from the n-th request on
    }
    return hook;
}

}  // namespace zvemu
