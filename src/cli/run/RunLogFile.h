#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace cli {

// The run log a batch run adds its lines to, each line as it is written, so that a run that
// is stopped still leaves every line it wrote.
class RunLogFile {
public:
    // Said once, on the first line that cannot be logged.
    using ProblemReport = std::function<void(const std::string& problem)>;

    // No log.
    RunLogFile() = default;
    // The log in `file`; its folder must exist.
    RunLogFile(std::filesystem::path file, ProblemReport report);

    // The log the window program writes too: in the private directory beside the program when
    // that can be written, else in the user's state folder (repair::ProgramStateFolder). Its
    // private directory is made when missing; when that fails, the log has the problem.
    static RunLogFile ProgramLog(ProblemReport report);

    bool Enabled() const { return !file_.empty(); }
    const std::filesystem::path& Path() const { return file_; }

    // Adds the line at the end of the file now. After a failure, later lines are not tried.
    void Append(const std::string& line);

    // Why lines could not be logged; empty while all could.
    const std::string& Problem() const { return problem_; }

private:
    void Fail(const std::string& problem);

    std::filesystem::path file_;
    ProblemReport report_;
    std::string problem_;
};

} // namespace cli
