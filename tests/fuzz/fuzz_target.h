#pragma once

// A fuzz target: one parser of the program fed with arbitrary bytes,
// written as
//
//     ZV_FUZZ_TARGET(name) { ... data, size ...; return accepted; }
//
// answering whether the parser took the input as valid (a refusal is a
// thrown error of the parser, which the target catches; anything else, a
// crash, a sanitizer report or a hang, is a finding). Built with
// ZV_LIBFUZZER the target is the entry point of its own libFuzzer program
// (scripts/fuzz NAME SECONDS); in every other build it joins the list that
// the seed test runs over its seeds.

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace zvfuzz {

using Target = bool (*)(const std::uint8_t* data, std::size_t size);

inline std::map<std::string, Target>& Targets()
{
    static std::map<std::string, Target> targets;
    return targets;
}

inline bool Register(const char* name, Target target)
{
    Targets()[name] = target;
    return true;
}

// The parsers that read files get the input as a file of the process's own,
// named with the suffix, removed again with the object.
class ScratchFile {
public:
    ScratchFile(const char* suffix, std::span<const std::uint8_t> bytes);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace zvfuzz

#ifdef ZV_LIBFUZZER
#define ZV_FUZZ_ENTRY(name)                                                                                            \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)                                  \
    {                                                                                                                  \
        ZvFuzz_##name(data, size);                                                                                     \
        return 0;                                                                                                      \
    }
#else
#define ZV_FUZZ_ENTRY(name)                                                                                            \
    [[maybe_unused]] static const bool zvFuzzRegistered_##name = zvfuzz::Register(#name, &ZvFuzz_##name);
#endif

#define ZV_FUZZ_TARGET(name)                                                                                           \
    static bool ZvFuzz_##name(const std::uint8_t* data, std::size_t size);                                             \
    ZV_FUZZ_ENTRY(name)                                                                                                \
    static bool ZvFuzz_##name(const std::uint8_t* data, std::size_t size)
