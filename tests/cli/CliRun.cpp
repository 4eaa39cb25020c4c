#include "CliRun.h"

#include "support/Corpus.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <sys/wait.h>

namespace clitest {

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

Run RunCli(const std::string& arguments, const std::string& prefix) {
    testsupport::TempDir dir;
    const auto program = testsupport::BinDir() / "mendrix-cli";
    const std::string command = prefix + " " + Quoted(program.string()) + " " + arguments + " >" +
                                Quoted((dir / "out").string()) + " 2>" +
                                Quoted((dir / "err").string());
    const int status = std::system(command.c_str());
    Run run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = testsupport::ReadFileBytes(dir / "out");
    run.err = testsupport::ReadFileBytes(dir / "err");
    return run;
}

} // namespace clitest
