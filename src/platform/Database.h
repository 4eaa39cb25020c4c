#pragma once

#include <memory>
#include <string>

namespace engine {
class Database;
}

namespace platform {

class TSession;

// A database object of a session ("TempDB"): an alias and, while connected, its directory.
// Failures raise EDBEngineError. The session must outlive the object.
class TDatabase {
public:
    TDatabase(TSession& session, std::string databaseName);
    ~TDatabase();
    TDatabase(const TDatabase&) = delete;
    TDatabase& operator=(const TDatabase&) = delete;

    const std::string& DatabaseName() const;
    TSession& Session() const { return session_; }

    void SetDriverName(const std::string& driver) { driverName_ = driver; }
    const std::string& DriverName() const { return driverName_; }

    // Only while disconnected.
    void SetAliasName(const std::string& alias);
    const std::string& AliasName() const;

    void SetConnected(bool connected);
    bool Connected() const;
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }

    // Directory of the open database as the engine reports it; empty when not connected.
    std::string Directory() const;

    engine::Database& Engine() const { return *database_; }

private:
    TSession& session_;
    std::string driverName_ = "STANDARD";
    std::unique_ptr<engine::Database> database_;
};

} // namespace platform
