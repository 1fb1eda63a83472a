#include "os_process.h"

#include <map>
#include <stdexcept>
#include <thread>

#include <windows.h>

namespace zv::os {
namespace {

std::wstring Wide(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

// One argument quoted so the C runtime of the started program splits the
// command line back into the same words.
void AppendQuoted(std::wstring& line, const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

// This process's environment with `env` added (names compare without case,
// as Windows compares them), as a block for CreateProcessW.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& env)
{
    struct NoCase {
        bool operator()(const std::wstring& a, const std::wstring& b) const
        {
            return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
        }
    };
    std::map<std::wstring, std::wstring, NoCase> vars;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            const std::wstring text(entry);
            const std::size_t eq = text.find(L'=', 1);  // "=C:=C:\..." entries start with '='
            if (eq != std::wstring::npos) {
                vars[text.substr(0, eq)] = text.substr(eq + 1);
            }
        }
        ::FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : env) {
        vars[Wide(name)] = Wide(value);
    }
    std::wstring result;
    for (const auto& [name, value] : vars) {
        result += name + L"=" + value;
        result += L'\0';
    }
    result += L'\0';
    return result;
}

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    HANDLE* out() { return &h_; }
    void Close()
    {
        if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(h_);
        }
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

// A pipe whose `child` end the started program inherits.
struct Pipe {
    Handle read;
    Handle write;
    explicit Pipe(bool childReads)
    {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        if (!::CreatePipe(read.out(), write.out(), &sa, 0)) {
            throw std::runtime_error("RunProcess: pipe failed");
        }
        // Only the child's end is inherited.
        ::SetHandleInformation(childReads ? write.get() : read.get(), HANDLE_FLAG_INHERIT, 0);
    }
};

void Drain(HANDLE from, std::string& into)
{
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        into.append(buffer, got);
    }
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args, const std::string& stdinText,
                         const std::vector<std::pair<std::string, std::string>>& env, std::chrono::milliseconds timeout)
{
    Pipe in(true);
    Pipe out(false);
    Pipe err(false);

    std::wstring commandLine;
    AppendQuoted(commandLine, Wide(program));
    for (const std::string& arg : args) {
        commandLine += L' ';
        AppendQuoted(commandLine, Wide(arg));
    }
    std::wstring environment = EnvironmentBlock(env);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.read.get();
    startup.hStdOutput = out.write.get();
    startup.hStdError = err.write.get();
    PROCESS_INFORMATION info{};
    ProcessResult result;
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                          environment.data(), nullptr, &startup, &info)) {
        result.err = "RunProcess: cannot start " + program + "\n";
        result.exitStatus = 127;  // as a POSIX shell reports a program it cannot run
        return result;
    }
    Handle process(info.hProcess);
    Handle thread(info.hThread);
    // The child holds its own copies now; ours would keep the pipes open.
    in.read.Close();
    out.write.Close();
    err.write.Close();

    std::thread feeder([&] {
        DWORD put = 0;
        std::size_t written = 0;
        while (written < stdinText.size() &&
               ::WriteFile(in.write.get(), stdinText.data() + written, static_cast<DWORD>(stdinText.size() - written),
                           &put, nullptr)) {
            written += put;
        }
        in.write.Close();  // a program that stops reading ends the feeding
    });
    std::thread errReader([&] { Drain(err.read.get(), result.err); });
    std::thread outReader([&] { Drain(out.read.get(), result.out); });

    const auto ms = timeout.count() < 0 ? 0 : timeout.count();
    if (::WaitForSingleObject(process.get(), static_cast<DWORD>(ms)) == WAIT_TIMEOUT) {
        result.timedOut = true;
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), INFINITE);
    }
    feeder.join();
    errReader.join();
    outReader.join();
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    result.exitStatus = static_cast<int>(code);
    return result;
}

}  // namespace zv::os
