#pragma once

#include "engine/Config.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

class Database;

// Which aliases a session sees and changes: the built-in ones (virtual), those of the
// configuration file (persistent), and those added to the session.
enum ConfigScope : unsigned {
    kScopeVirtual = 1,
    kScopePersistent = 2,
    kScopeSession = 4,
    kScopeAll = kScopeVirtual | kScopePersistent | kScopeSession,
};

// An engine session: a private directory, a view of the configured aliases, aliases of its
// own that live only as long as it is active (never written anywhere), and the database
// objects opened in it.
class Session : public std::enable_shared_from_this<Session> {
public:
    static std::shared_ptr<Session> Create(std::string name);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::string& Name() const { return name_; }

    // The directory for the session's private files (it must exist and be writable); checked
    // at once when the session is active, else when it becomes active.
    std::uint16_t SetPrivateDir(const std::string& directory);
    const std::string& PrivateDir() const { return privateDir_; }

    // Activation reads the configuration and makes this the session that direct calls
    // (database list, description) work in. Deactivation forgets the session's aliases.
    std::uint16_t Activate();
    void Deactivate();
    bool Active() const { return active_; }

    void SetScope(unsigned scope) { scope_ = scope & kScopeAll; }
    unsigned Scope() const { return scope_; }

    // Aliases under the current scope, in configuration order, then the session's own.
    std::vector<AliasDef> Aliases() const;
    bool AliasExists(std::string_view name) const;
    std::uint16_t AddStandardAlias(const std::string& name, const std::string& path,
                                   const std::string& defaultDriver);
    std::uint16_t DeleteAlias(std::string_view name);
    // Looks an alias up in every scope.
    std::uint16_t FindAlias(std::string_view name, AliasDef& out) const;

    // The directory behind a database name: a database object of this session with that
    // name (through its alias), else an alias, else a directory path (a name with a "/").
    // The directory is checked for existence and access.
    std::uint16_t ResolveDatabase(std::string_view databaseName, std::string& directory) const;

    // Table names of a database (see TableList.h).
    std::uint16_t TableNames(std::string_view databaseName, std::string_view pattern,
                             bool extensions, bool systemTables,
                             std::vector<std::string>& out) const;

    // Database objects announce themselves so that they can be found by name.
    void Attach(Database* database);
    void Detach(Database* database);

    class Key {
        friend class Session;
        Key() = default;
    };
    Session(Key, std::string name);

private:
    struct Entry {
        AliasDef alias;
        unsigned scope; // the one scope flag it belongs to
        bool deleted = false;
    };
    std::uint16_t CheckActive() const;
    std::uint16_t CheckPrivateDir(const std::string& directory) const;
    const Entry* Find(std::string_view name, unsigned scope) const;

    std::string name_;
    std::string privateDir_;
    bool active_ = false;
    unsigned scope_ = kScopeAll;
    std::vector<Entry> aliases_;
    std::vector<Database*> databases_;
};

// The session that direct calls use: the one most recently activated that is still active,
// else a default session activated on first use.
std::uint16_t CurrentSession(std::shared_ptr<Session>& out);

} // namespace engine
