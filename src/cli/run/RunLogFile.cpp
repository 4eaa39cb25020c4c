#include "cli/run/RunLogFile.h"

#include "engine/FileNames.h"
#include "posix/Durability.h"
#include "repair/LogFile.h"
#include "repair/PrivateDir.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace cli {

RunLogFile::RunLogFile(std::filesystem::path file, ProblemReport report)
    : file_(std::move(file)), report_(std::move(report)) {}

RunLogFile RunLogFile::ProgramLog(ProblemReport report) {
    const std::filesystem::path folder = repair::ProgramStateFolder(repair::ExecutableDirectory());
    RunLogFile log(engine::RunLogPath(folder), std::move(report));
    const std::filesystem::path priv = log.file_.parent_path();
    if (const int error = posix::TryMakeFolderAt(AT_FDCWD, priv, 0777, priv);
        error != 0 && error != EEXIST) {
        log.Fail("Could not make the run log's folder " + priv.string() + ": " +
                 std::strerror(error));
    }
    return log;
}

void RunLogFile::Append(const std::string& line) {
    if (!Enabled() || !problem_.empty()) {
        return;
    }
    try {
        repair::AppendLogLines(file_, {line});
    } catch (const repair::LogFileError& e) {
        Fail(e.what());
    }
}

void RunLogFile::Fail(const std::string& problem) {
    problem_ = problem;
    if (report_) {
        report_(problem_);
    }
}

} // namespace cli
