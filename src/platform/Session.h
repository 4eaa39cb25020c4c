#pragma once

#include <memory>
#include <string>
#include <vector>

namespace engine {
class Session;
}

namespace platform {

// Configuration scopes of a session: which aliases it sees and changes.
enum TConfigModeItem : unsigned { cfmVirtual = 1, cfmPersistent = 2, cfmSession = 4 };
using TConfigMode = unsigned;
inline constexpr TConfigMode cmAll = cfmVirtual | cfmPersistent | cfmSession;

// An engine session ("TempSession"). Failures raise EDBEngineError.
class TSession {
public:
    explicit TSession(std::string sessionName = "Default");
    ~TSession();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    const std::string& SessionName() const;

    void SetPrivateDir(const std::string& directory);
    const std::string& PrivateDir() const;

    void SetActive(bool active);
    bool Active() const;
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }

    void SetConfigMode(TConfigMode mode);
    TConfigMode ConfigMode() const;

    bool IsAlias(const std::string& name) const;
    void AddStandardAlias(const std::string& name, const std::string& path,
                          const std::string& defaultDriver);
    void DeleteAlias(const std::string& name);
    // Names of the aliases the session sees, in the engine's order.
    void GetAliasNames(std::vector<std::string>& list) const;
    // Table names of a database (a database object's name, an alias or a directory),
    // e.g. GetTableNames("TempDB", "*.*", true, false, list). The list is replaced.
    void GetTableNames(const std::string& databaseName, const std::string& pattern, bool extensions,
                       bool systemTables, std::vector<std::string>& list) const;

    const std::shared_ptr<engine::Session>& Engine() const { return session_; }

private:
    std::shared_ptr<engine::Session> session_;
};

// Narrows a session to its own aliases for the scope and then sets all scopes back, also
// when the scope is left by an exception: only the program's own session alias is changed,
// and a configured alias of the same name stays.
class SessionScopeOnly {
public:
    explicit SessionScopeOnly(TSession& session) : session_(session) {
        session_.SetConfigMode(cfmSession);
    }
    ~SessionScopeOnly() { session_.SetConfigMode(cmAll); }
    SessionScopeOnly(const SessionScopeOnly&) = delete;
    SessionScopeOnly& operator=(const SessionScopeOnly&) = delete;

private:
    TSession& session_;
};

} // namespace platform
