#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace engine {

class Session;

// A database object of a session: an alias name and, while connected, the directory behind it.
class Database {
public:
    Database(std::shared_ptr<Session> session, std::string name);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& Name() const { return name_; }

    // Only while disconnected.
    std::uint16_t SetAliasName(const std::string& alias);
    const std::string& AliasName() const { return alias_; }

    // Connecting checks that the alias exists, is served by the STANDARD driver, and that its
    // directory exists, is a directory and can be read.
    std::uint16_t Connect();
    void Disconnect();
    bool Connected() const { return connected_; }
    // The alias's directory as configured; empty while disconnected.
    const std::string& Directory() const { return directory_; }

private:
    std::shared_ptr<Session> session_;
    std::string name_;
    std::string alias_;
    bool connected_ = false;
    std::string directory_;
};

// Checks a database directory: at most 260 characters, exists, is a directory, can be listed.
std::uint16_t CheckDatabaseDirectory(const std::string& path);

} // namespace engine
