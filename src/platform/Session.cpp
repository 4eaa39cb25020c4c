#include "platform/Session.h"

#include "engine/Session.h"
#include "platform/DBErrors.h"

namespace platform {

TSession::TSession(std::string sessionName)
    : session_(engine::Session::Create(std::move(sessionName))) {}

TSession::~TSession() {
    session_->Deactivate();
}

const std::string& TSession::SessionName() const {
    return session_->Name();
}

void TSession::SetPrivateDir(const std::string& directory) {
    Check(session_->SetPrivateDir(directory));
}

const std::string& TSession::PrivateDir() const {
    return session_->PrivateDir();
}

void TSession::SetActive(bool active) {
    if (active) {
        Check(session_->Activate());
    } else {
        session_->Deactivate();
    }
}

bool TSession::Active() const {
    return session_->Active();
}

void TSession::SetConfigMode(TConfigMode mode) {
    session_->SetScope(mode);
}

TConfigMode TSession::ConfigMode() const {
    return session_->Scope();
}

bool TSession::IsAlias(const std::string& name) const {
    return session_->AliasExists(name);
}

void TSession::AddStandardAlias(const std::string& name, const std::string& path,
                                const std::string& defaultDriver) {
    Check(session_->AddStandardAlias(name, path, defaultDriver));
}

void TSession::DeleteAlias(const std::string& name) {
    Check(session_->DeleteAlias(name));
}

void TSession::GetAliasNames(std::vector<std::string>& list) const {
    list.clear();
    for (const auto& alias : session_->Aliases()) {
        list.push_back(alias.name);
    }
}

void TSession::GetTableNames(const std::string& databaseName, const std::string& pattern,
                             bool extensions, bool systemTables,
                             std::vector<std::string>& list) const {
    Check(session_->TableNames(databaseName, pattern, extensions, systemTables, list));
}

} // namespace platform
