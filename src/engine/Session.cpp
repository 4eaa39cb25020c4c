#include "engine/Session.h"

#include "engine/Database.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/FaultHook.h"
#include "engine/Limits.h"
#include "engine/TableList.h"

#include <algorithm>
#include <mutex>
#include <unistd.h>

namespace engine {
namespace {

std::mutex registryMutex;
// Sessions in the order they were activated, the latest last.
std::vector<std::weak_ptr<Session>> activations;

void NoteActivation(const std::shared_ptr<Session>& session) {
    std::lock_guard lock(registryMutex);
    std::erase_if(activations, [&](const std::weak_ptr<Session>& weak) {
        auto other = weak.lock();
        return !other || other == session;
    });
    activations.push_back(session);
}

} // namespace

std::shared_ptr<Session> Session::Create(std::string name) {
    return std::make_shared<Session>(Key{}, std::move(name));
}

Session::Session(Key, std::string name) : name_(std::move(name)) {}

Session::~Session() = default;

std::uint16_t Session::SetPrivateDir(const std::string& directory) {
    if (directory.size() > kMaxPathLength) {
        return Fail(err::PathTooLong, "private directory of session " + name_ + ": " + directory);
    }
    if (active_) {
        if (auto result = CheckPrivateDir(directory); result != err::Ok) {
            return result;
        }
    }
    privateDir_ = directory;
    return err::Ok;
}

std::uint16_t Session::CheckPrivateDir(const std::string& directory) const {
    if (directory.empty()) {
        return err::Ok;
    }
    if (auto result = CheckDatabaseDirectory(directory); result != err::Ok) {
        return Fail(err::PrivateDirInvalid, "session " + name_ + ": " + TakeFailureMessage(result));
    }
    if (::access(directory.c_str(), W_OK) != 0) {
        return Fail(err::PrivateDirInvalid, "session " + name_ + ": cannot write in " + directory);
    }
    return err::Ok;
}

std::uint16_t Session::Activate() {
    if (active_) {
        return err::Ok;
    }
    if (auto fault = TakeFault(op::ActivateSession); fault != err::Ok) {
        return fault;
    }
    if (auto result = CheckPrivateDir(privateDir_); result != err::Ok) {
        return result;
    }
    EngineConfig config;
    if (auto result = LoadConfig(config); result != err::Ok) {
        return result;
    }
    aliases_.clear();
    const unsigned scope = config.builtIn ? kScopeVirtual : kScopePersistent;
    for (auto& alias : config.aliases) {
        aliases_.push_back({std::move(alias), scope});
    }
    active_ = true;
    NoteActivation(shared_from_this());
    return err::Ok;
}

void Session::Deactivate() {
    active_ = false;
    aliases_.clear();
}

std::uint16_t Session::CheckActive() const {
    if (!active_) {
        return Fail(err::SessionNotActive, name_);
    }
    return err::Ok;
}

const Session::Entry* Session::Find(std::string_view name, unsigned scope) const {
    for (const auto& entry : aliases_) {
        if (!entry.deleted && (entry.scope & scope) != 0 && SameName(entry.alias.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

std::vector<AliasDef> Session::Aliases() const {
    std::vector<AliasDef> visible;
    for (const auto& entry : aliases_) {
        if (!entry.deleted && (entry.scope & scope_) != 0) {
            visible.push_back(entry.alias);
        }
    }
    return visible;
}

bool Session::AliasExists(std::string_view name) const {
    return active_ && Find(name, scope_) != nullptr;
}

std::uint16_t Session::AddStandardAlias(const std::string& name, const std::string& path,
                                        const std::string& defaultDriver) {
    if (auto result = CheckActive(); result != err::Ok) {
        return result;
    }
    if (auto fault = TakeFault(op::AddAlias); fault != err::Ok) {
        return fault;
    }
    if (name.empty()) {
        return Fail(err::EmptyAliasName, "adding an alias");
    }
    if (name.size() > kMaxNameLength) {
        return Fail(err::NameTooLong, "alias name " + name + " has more than " +
                                          std::to_string(kMaxNameLength) + " characters");
    }
    if (path.size() > kMaxPathLength) {
        return Fail(err::PathTooLong, "path of alias " + name + " has " +
                                          std::to_string(path.size()) + " characters, at most " +
                                          std::to_string(kMaxPathLength));
    }
    if (Find(name, kScopeAll) != nullptr) {
        return Fail(err::AliasExists, name);
    }
    aliases_.push_back({{name, std::string(kStandardType), path,
                         defaultDriver.empty() ? std::string(kParadoxDriver) : defaultDriver},
                        kScopeSession});
    return err::Ok;
}

std::uint16_t Session::DeleteAlias(std::string_view name) {
    if (auto result = CheckActive(); result != err::Ok) {
        return result;
    }
    if (auto fault = TakeFault(op::DeleteAlias); fault != err::Ok) {
        return fault;
    }
    for (auto it = aliases_.begin(); it != aliases_.end(); ++it) {
        if (it->deleted || (it->scope & scope_) == 0 || !SameName(it->alias.name, name)) {
            continue;
        }
        if (it->scope == kScopeSession) {
            aliases_.erase(it);
        } else {
            it->deleted = true; // hidden from this session; the file is never changed
        }
        return err::Ok;
    }
    return Fail(err::UnknownAlias, std::string(name));
}

std::uint16_t Session::FindAlias(std::string_view name, AliasDef& out) const {
    if (auto result = CheckActive(); result != err::Ok) {
        return result;
    }
    if (name.empty()) {
        return Fail(err::EmptyAliasName, "session " + name_);
    }
    const Entry* entry = Find(name, kScopeAll);
    if (entry == nullptr) {
        return Fail(err::UnknownAlias, std::string(name));
    }
    out = entry->alias;
    return err::Ok;
}

std::uint16_t Session::ResolveDatabase(std::string_view databaseName,
                                       std::string& directory) const {
    if (auto result = CheckActive(); result != err::Ok) {
        return result;
    }
    std::string_view aliasName = databaseName;
    for (const Database* database : databases_) {
        if (!databaseName.empty() && SameName(database->Name(), databaseName)) {
            if (database->Connected()) {
                directory = database->Directory();
                return err::Ok;
            }
            aliasName = database->AliasName();
            break;
        }
    }
    AliasDef alias;
    if (aliasName.empty()) {
        return Fail(err::EmptyAliasName, "database " + std::string(databaseName));
    }
    if (Find(aliasName, kScopeAll) == nullptr && aliasName.find('/') != std::string_view::npos) {
        directory = std::string(aliasName);
        return CheckDatabaseDirectory(directory);
    }
    if (auto result = FindAlias(aliasName, alias); result != err::Ok) {
        return result;
    }
    if (alias.type != kStandardType) {
        return Fail(err::UnsupportedDriver, "alias " + alias.name + " is of type " + alias.type);
    }
    if (alias.path.empty()) {
        return Fail(err::DirectoryMissing, "alias " + alias.name + " names no directory");
    }
    if (auto result = CheckDatabaseDirectory(alias.path); result != err::Ok) {
        return result;
    }
    directory = alias.path;
    return err::Ok;
}

std::uint16_t Session::TableNames(std::string_view databaseName, std::string_view pattern,
                                  bool extensions, bool systemTables,
                                  std::vector<std::string>& out) const {
    out.clear();
    if (auto fault = TakeFault(op::GetTableNames); fault != err::Ok) {
        return fault;
    }
    std::string directory;
    if (auto result = ResolveDatabase(databaseName, directory); result != err::Ok) {
        return result;
    }
    return ListTables(directory, pattern, extensions, systemTables, out);
}

void Session::Attach(Database* database) {
    databases_.push_back(database);
}

void Session::Detach(Database* database) {
    std::erase(databases_, database);
}

std::uint16_t CurrentSession(std::shared_ptr<Session>& out) {
    {
        std::lock_guard lock(registryMutex);
        for (auto it = activations.rbegin(); it != activations.rend(); ++it) {
            if (auto session = it->lock(); session && session->Active()) {
                out = std::move(session);
                return err::Ok;
            }
        }
    }
    static const std::shared_ptr<Session> defaultSession = Session::Create("Default");
    out = defaultSession;
    return defaultSession->Activate();
}

} // namespace engine
