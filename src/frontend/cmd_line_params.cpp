#include "cmd_line_params.h"

#include <charconv>
#include <cstdio>
#include <optional>

namespace {

std::optional<std::int32_t> ParseNonNegativeDecimal(std::string_view word)
{
    std::int32_t value = 0;
    if (word.empty() || word.front() < '0' || word.front() > '9') {
        return std::nullopt;
    }
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, 10);
    if (ec != std::errc{} || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> ParseDecimal(std::string_view word)
{
    bool negative = false;
    if (!word.empty() && (word.front() == '+' || word.front() == '-')) {
        negative = word.front() == '-';
        word.remove_prefix(1);
    }
    std::int64_t magnitude = 0;
    if (word.empty()) {
        return std::nullopt;
    }
    for (const char c : word) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 0x80000000LL) {
            return std::nullopt;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > 0x7FFFFFFFLL) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// Hexadecimal with an optional 0x prefix, as addresses and keys are written.
std::optional<std::uint32_t> ParseHex(std::string_view word)
{
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
    }
    std::uint32_t value = 0;
    if (word.empty()) {
        return std::nullopt;
    }
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
    if (ec != std::errc{} || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

CmdLineParams& TheCmdLineParams()
{
    static CmdLineParams params;
    return params;
}

const CmdLineOption* FindCmdLineOption(std::string_view name)
{
    for (const CmdLineOption& option : kCmdLineOptions) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

void CmdLineParams::Parse(int count, const char* const* words)
{
    for (int i = 0; i < count; ++i) {
        ParseParam(words[i] ? std::string_view(words[i]) : std::string_view());
    }
    if (pendingValue) {
        ReportMissingValue();
    }
}

void CmdLineParams::ReportMissingValue()
{
    std::printf("Missing value for parameter %.*s\n", static_cast<int>(pendingValue->name.size()),
                pendingValue->name.data());
    pendingValue = nullptr;
    SetError(1);
}

void CmdLineParams::ParseParam(std::string_view word)
{
    if (word.substr(0, 2) != "--") {
        if (pendingValue == nullptr) {
            std::printf("Invalid wait_param setr %d / %.*s\n", 0, static_cast<int>(word.size()), word.data());
            SetError(1);
            return;
        }
        const CmdLineOption& option = *pendingValue;
        pendingValue = nullptr;
        option.apply(*this, option, word);
        return;
    }

    // An option name where a value was due: the earlier option went without
    // its value, which would silently change what the run does.
    if (pendingValue) {
        ReportMissingValue();
    }

    const CmdLineOption* option = FindCmdLineOption(word);
    if (option == nullptr) {
        std::printf("Unknown parameter %.*s\n", static_cast<int>(word.size()), word.data());
        SetError(1);
        return;
    }
    if (option->kind == OptionKind::Value) {
        pendingValue = option;
        return;
    }
    option->apply(*this, *option, {});
}

namespace cmd_line_detail {
namespace {

void RefuseValue(CmdLineParams& params, const CmdLineOption& option, std::string_view word)
{
    std::printf("Invalid value %.*s for parameter %.*s\n", static_cast<int>(word.size()), word.data(),
                static_cast<int>(option.name.size()), option.name.data());
    params.SetError(1);
}

}  // namespace

void StoreText(CmdLineParams& params, const CmdLineOption& option, std::string_view word, std::string& field,
               std::size_t maxLength)
{
    if (word.size() > maxLength) {
        std::printf("Value of parameter %.*s is too long (at most %zu characters)\n",
                    static_cast<int>(option.name.size()), option.name.data(), maxLength);
        params.SetError(1);
        return;
    }
    field.assign(word);
}

void StoreHex(CmdLineParams& params, const CmdLineOption& option, std::string_view word, std::uint32_t& field)
{
    if (const auto value = ParseHex(word)) {
        field = *value;
    } else {
        RefuseValue(params, option, word);
    }
}

void StoreDecimal(CmdLineParams& params, const CmdLineOption& option, std::string_view word, std::int32_t& field,
                  bool nonNegative)
{
    if (const auto value = nonNegative ? ParseNonNegativeDecimal(word) : ParseDecimal(word)) {
        field = *value;
    } else {
        RefuseValue(params, option, word);
    }
}

}  // namespace cmd_line_detail

void CmdLineParams::PrintUsage() const
{
    std::printf("Usage: \n");
    std::printf(" kelvo_flasher.exe [(options)] command type [filename]\n");
    std::printf("Options: \n");
    for (const CmdLineOption& option : kCmdLineOptions) {
        std::printf("%20.*s %.*s\n", static_cast<int>(option.name.size()), option.name.data(),
                    static_cast<int>(option.help.size()), option.help.data());
    }
    std::printf("\t\n");
}
