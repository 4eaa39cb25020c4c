#include "platform/Database.h"

#include "engine/Database.h"
#include "platform/DBErrors.h"
#include "platform/Session.h"

namespace platform {

TDatabase::TDatabase(TSession& session, std::string databaseName)
    : session_(session),
      database_(std::make_unique<engine::Database>(session.Engine(), std::move(databaseName))) {}

TDatabase::~TDatabase() = default;

const std::string& TDatabase::DatabaseName() const {
    return database_->Name();
}

void TDatabase::SetAliasName(const std::string& alias) {
    Check(database_->SetAliasName(alias));
}

const std::string& TDatabase::AliasName() const {
    return database_->AliasName();
}

void TDatabase::SetConnected(bool connected) {
    if (connected) {
        Check(database_->Connect());
    } else {
        database_->Disconnect();
    }
}

bool TDatabase::Connected() const {
    return database_->Connected();
}

std::string TDatabase::Directory() const {
    return database_->Directory();
}

} // namespace platform
