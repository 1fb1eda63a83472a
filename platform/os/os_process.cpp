#include "os_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zv::os {
namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe()
    {
        if (::pipe2(fd, O_CLOEXEC) != 0) {
            throw std::runtime_error("RunProcess: pipe failed");
        }
    }
    ~Pipe()
    {
        CloseRead();
        CloseWrite();
    }
    void CloseRead()
    {
        if (fd[0] >= 0) {
            ::close(fd[0]);
        }
        fd[0] = -1;
    }
    void CloseWrite()
    {
        if (fd[1] >= 0) {
            ::close(fd[1]);
        }
        fd[1] = -1;
    }
};

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args, const std::string& stdinText,
                         const std::vector<std::pair<std::string, std::string>>& env, std::chrono::milliseconds timeout)
{
    // A program that ends without reading its input must not kill the caller.
    ::signal(SIGPIPE, SIG_IGN);
    Pipe in;
    Pipe out;
    Pipe err;
    std::vector<std::string> argvStore;
    argvStore.push_back(program);
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("RunProcess: fork failed");
    }
    if (pid == 0) {
        ::dup2(in.fd[0], STDIN_FILENO);
        ::dup2(out.fd[1], STDOUT_FILENO);
        ::dup2(err.fd[1], STDERR_FILENO);
        ::signal(SIGPIPE, SIG_DFL);
        for (const auto& [name, value] : env) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        ::execv(program.c_str(), argv.data());
        const char message[] = "RunProcess: exec failed\n";
        [[maybe_unused]] auto ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
        ::_exit(127);
    }
    in.CloseRead();
    out.CloseWrite();
    err.CloseWrite();
    if (stdinText.empty()) {
        in.CloseWrite();
    } else {
        ::fcntl(in.fd[1], F_SETFL, O_NONBLOCK);
    }

    ProcessResult result;
    std::size_t written = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[65536];
    while (out.fd[0] >= 0 || err.fd[0] >= 0) {
        pollfd fds[3];
        int n = 0;
        int outAt = -1, errAt = -1, inAt = -1;
        if (out.fd[0] >= 0) {
            fds[n] = {out.fd[0], POLLIN, 0};
            outAt = n++;
        }
        if (err.fd[0] >= 0) {
            fds[n] = {err.fd[0], POLLIN, 0};
            errAt = n++;
        }
        if (in.fd[1] >= 0) {
            fds[n] = {in.fd[1], POLLOUT, 0};
            inAt = n++;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        const int ready = ::poll(fds, static_cast<nfds_t>(n), static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            break;
        }
        const auto drain = [&](int at, Pipe& pipe, std::string& into) {
            if (at < 0 || fds[at].revents == 0) {
                return;
            }
            const ssize_t got = ::read(pipe.fd[0], buffer, sizeof buffer);
            if (got > 0) {
                into.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                pipe.CloseRead();
            }
        };
        drain(outAt, out, result.out);
        drain(errAt, err, result.err);
        if (inAt >= 0 && fds[inAt].revents != 0) {
            const ssize_t put = ::write(in.fd[1], stdinText.data() + written, stdinText.size() - written);
            if (put > 0) {
                written += static_cast<std::size_t>(put);
            }
            if ((put < 0 && errno != EAGAIN && errno != EINTR) || written == stdinText.size()) {
                in.CloseWrite();
            }
        }
    }
    in.CloseWrite();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitStatus = 128 + WTERMSIG(status);
    }
    return result;
}

}  // namespace zv::os
