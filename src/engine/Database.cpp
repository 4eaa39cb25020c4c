#include "engine/Database.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/FaultHook.h"
#include "engine/Limits.h"
#include "engine/Session.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace engine {

Database::Database(std::shared_ptr<Session> session, std::string name)
    : session_(std::move(session)), name_(std::move(name)) {
    session_->Attach(this);
}

Database::~Database() {
    session_->Detach(this);
}

std::uint16_t Database::SetAliasName(const std::string& alias) {
    if (connected_) {
        return Fail(err::DatabaseConnected, "database " + name_ + " is connected to " + alias_);
    }
    alias_ = alias;
    return err::Ok;
}

std::uint16_t Database::Connect() {
    if (connected_) {
        return err::Ok;
    }
    if (auto fault = TakeFault(op::Connect); fault != err::Ok) {
        return fault;
    }
    std::string directory;
    if (auto result =
            session_->ResolveDatabase(alias_.empty() ? std::string_view{} : alias_, directory);
        result != err::Ok) {
        return result;
    }
    directory_ = std::move(directory);
    connected_ = true;
    return err::Ok;
}

void Database::Disconnect() {
    connected_ = false;
    directory_.clear();
}

std::uint16_t CheckDatabaseDirectory(const std::string& path) {
    if (path.empty()) {
        return Fail(err::DirectoryMissing, "no directory given");
    }
    if (path.size() > kMaxPathLength) {
        return Fail(err::PathTooLong, std::to_string(path.size()) + " characters, at most " +
                                          std::to_string(kMaxPathLength) + ": " + path);
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == EACCES) {
            return Fail(err::NoPermission, "cannot reach directory " + path);
        }
        if (errno == ENOTDIR) {
            return Fail(err::NotADirectory, "a part of " + path + " is not a directory");
        }
        return Fail(err::DirectoryMissing, path);
    }
    if (!S_ISDIR(info.st_mode)) {
        return Fail(err::NotADirectory, path);
    }
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        if (errno == EACCES) {
            return Fail(err::NoPermission, "cannot read directory " + path);
        }
        return Fail(err::IoError, "cannot read directory " + path);
    }
    ::closedir(dir);
    return err::Ok;
}

} // namespace engine
