#include "CliChild.h"

#include "support/Corpus.h"
#include "support/TempDir.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace clitest {
namespace {

[[noreturn]] void ExecCli(const std::vector<std::string>& args, const Environment& env) {
    for (const auto& [name, value] : env) {
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    const std::string program = CliProgram().string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

int ExitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            return text;
        }
    }
}

// Whether the process sleeps (state S): with its pipe full, it waits in the write.
bool Sleeping(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S';
}

} // namespace

std::filesystem::path CliProgram() {
    return testsupport::BinDir() / "mendrix-cli";
}

ChildRun RunChild(const std::vector<std::string>& args, const Environment& env) {
    testsupport::TempDir dir;
    const auto outFile = dir / "out";
    const auto errFile = dir / "err";
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ExecCli(args, env);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ChildRun run;
    run.exitCode = ExitCodeOf(status);
    run.out = testsupport::ReadFileBytes(outFile);
    run.err = testsupport::ReadFileBytes(errFile);
    return run;
}

ChildRun RunChildSignalledWhenBlocked(const std::vector<std::string>& args, const Environment& env,
                                      int signal) {
    testsupport::TempDir dir;
    const auto errFile = dir / "err";
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    ::fcntl(pipeFds[1], F_SETPIPE_SZ, 4096);
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::close(pipeFds[0]);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(pipeFds[1], 1);
        ::dup2(err, 2);
        ExecCli(args, env);
    }
    ::close(pipeFds[1]);
    // Wait until the pipe is full and the child waits for the reader.
    int available = 0;
    for (int i = 0; i < 600; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::ioctl(pipeFds[0], FIONREAD, &available);
        // Small writes share the pipe's one page: a line that does not fit any more blocks.
        if (available >= 4096 - 256 && Sleeping(pid)) {
            break;
        }
    }
    ::kill(pid, signal);
    ChildRun run;
    run.out = ReadAll(pipeFds[0]);
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = ExitCodeOf(status);
    run.err = testsupport::ReadFileBytes(errFile);
    return run;
}

ChildRun RunChildOnTerminal(const std::vector<std::string>& args, unsigned short columns,
                            const Environment& env) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, &size);
    if (pid < 0) {
        throw std::runtime_error("forkpty failed");
    }
    if (pid == 0) {
        ExecCli(args, env);
    }
    ChildRun run;
    run.out = ReadAll(terminal); // ends with EIO once the child has closed the terminal
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(terminal);
    run.exitCode = ExitCodeOf(status);
    return run;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

} // namespace clitest
