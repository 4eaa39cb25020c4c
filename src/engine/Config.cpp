#include "engine/Config.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/InstalledData.h"
#include "engine/Limits.h"
#include "posix/FileDescriptor.h"
#include "posix/FileIo.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <span>
#include <sys/stat.h>
#include <system_error>

namespace engine {
namespace {

// An alias list is a few lines; anything near this size is not one.
constexpr off_t kMaxConfigBytes = 1 << 20;

std::string_view Trim(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::uint16_t LineError(const std::string& source, std::size_t line, const std::string& what) {
    return Fail(err::ConfigUnreadable, source + " line " + std::to_string(line) + ": " + what);
}

std::uint16_t CheckAlias(const AliasDef& alias, const std::string& source, std::size_t line) {
    if (alias.name.size() > kMaxNameLength) {
        return LineError(source, line,
                         "alias name \"" + alias.name + "\" is longer than " +
                             std::to_string(kMaxNameLength) + " characters");
    }
    if (alias.type.empty() || alias.type.size() > kMaxNameLength) {
        return LineError(source, line,
                         "alias " + alias.name + " has a type of " +
                             std::to_string(alias.type.size()) + " characters");
    }
    if (alias.path.size() > kMaxPathLength) {
        return LineError(source, line,
                         "path of alias " + alias.name + " is longer than " +
                             std::to_string(kMaxPathLength) + " characters");
    }
    return err::Ok;
}

} // namespace

std::filesystem::path ConfigFilePath() {
    if (const char* explicitPath = std::getenv(kConfigEnvVar);
        explicitPath != nullptr && *explicitPath != '\0') {
        return explicitPath;
    }
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        return std::filesystem::path(xdg) / "mendrix" / "engine.ini";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : "") / ".config" / "mendrix" /
           "engine.ini";
}

std::filesystem::path ProgramDirectory() {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::filesystem::current_path(ec);
    }
    return self.parent_path();
}

std::filesystem::path SampleDatabaseDirectory() {
    return SampleDatabaseFor(ProgramDirectory(), UserDataFolder());
}

std::uint16_t ParseConfig(std::string_view text, const std::string& source,
                          std::vector<AliasDef>& out) {
    out.clear();
    std::vector<std::size_t> sectionLines;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                return LineError(source, lineNumber, "section header without ']'");
            }
            std::string name(Trim(line.substr(1, line.size() - 2)));
            if (name.empty()) {
                return LineError(source, lineNumber, "empty alias name");
            }
            for (const auto& existing : out) {
                if (SameName(existing.name, name)) {
                    return LineError(source, lineNumber, "alias " + name + " is defined twice");
                }
            }
            out.push_back({name, std::string(kStandardType), "", ""});
            sectionLines.push_back(lineNumber);
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            return LineError(source, lineNumber, "expected KEY=VALUE or [ALIAS]");
        }
        if (out.empty()) {
            return LineError(source, lineNumber, "setting before the first [ALIAS] section");
        }
        const std::string key = paradox::UpperAscii(Trim(line.substr(0, equals)));
        const std::string value(Trim(line.substr(equals + 1)));
        AliasDef& alias = out.back();
        if (key == "TYPE") {
            alias.type = value;
        } else if (key == "PATH") {
            alias.path = value;
        } else if (key == "DEFAULT DRIVER" || key == "DEFAULT_DRIVER") {
            alias.defaultDriver = value;
        }
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (auto result = CheckAlias(out[i], source, sectionLines[i]); result != err::Ok) {
            return result;
        }
    }
    return err::Ok;
}

std::uint16_t LoadConfig(EngineConfig& out) {
    out = {};
    out.file = ConfigFilePath();
    std::error_code ec;
    const auto status = std::filesystem::status(out.file, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        out.builtIn = true;
        out.aliases.push_back({std::string(kSamplesAlias), std::string(kStandardType),
                               SampleDatabaseDirectory().string(), std::string(kParadoxDriver)});
        if (out.aliases.back().path.size() > kMaxPathLength) {
            return Fail(err::PathTooLong, "sample database directory " + out.aliases.back().path);
        }
        return err::Ok;
    }
    // One descriptor for the check and the read, opened without blocking: a FIFO or device put
    // in the file's place must not hang the program.
    auto file = posix::TryOpen(out.file, O_RDONLY | O_NONBLOCK);
    if (!file.IsOpen()) {
        return Fail(err::ConfigUnreadable,
                    out.file.string() + " cannot be opened: " + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return Fail(err::ConfigUnreadable, out.file.string() + " is not a regular file");
    }
    if (info.st_size > kMaxConfigBytes) {
        return Fail(err::ConfigUnreadable, out.file.string() + " is larger than " +
                                               std::to_string(kMaxConfigBytes) + " bytes");
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    try {
        posix::ReadAllAt(file.Get(), 0,
                         std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size()),
                         out.file);
    } catch (const std::system_error& error) {
        return Fail(err::ConfigUnreadable, error.what());
    }
    return ParseConfig(text, out.file.string(), out.aliases);
}

} // namespace engine
