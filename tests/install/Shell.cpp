#include "Shell.h"

#include <array>
#include <cstdio>
#include <memory>
#include <sstream>
#include <sys/wait.h>

namespace installtest {

ShellRun RunShell(const std::string& command) {
    ShellRun run;
    const auto closer = [&run](FILE* pipe) {
        const int status = ::pclose(pipe);
        run.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    {
        std::unique_ptr<FILE, decltype(closer)> pipe(::popen((command + " 2>&1").c_str(), "r"),
                                                     closer);
        if (!pipe) {
            return run;
        }
        std::array<char, 4096> buffer{};
        std::size_t got = 0;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) {
            run.output.append(buffer.data(), got);
        }
    }
    return run;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::set<std::string> LineSet(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            lines.insert(line);
        }
    }
    return lines;
}

} // namespace installtest
