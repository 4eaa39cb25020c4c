// mendrix-cli list [ALIAS|DIRECTORY]: the engine's aliases, or the tables of one database.

#include "cli/commands/CommandHelp.h"
#include "cli/commands/ReadCommands.h"
#include "cli/commands/TableState.h"
#include "paradox/ForeignFile.h"
#include "platform/DBErrors.h"
#include "platform/DatabaseDesc.h"
#include "platform/DatabaseList.h"
#include "platform/Session.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

namespace cli {
namespace {

constexpr const char* kDatabase = "ALIAS|DIRECTORY";

struct AliasLine {
    std::string name, type, path;
};

std::vector<AliasLine> ReadAliases(platform::TSession& session) {
    platform::TDatabaseList list(session);
    std::vector<AliasLine> lines;
    platform::TDatabaseListEntry entry;
    while (list.Next(entry)) {
        lines.push_back({entry.name, entry.type, entry.path});
    }
    list.Close();
    return lines;
}

void PrintAliases(platform::TSession& session, std::ostream& out) {
    const auto lines = ReadAliases(session);
    std::size_t nameWidth = 4;
    std::size_t typeWidth = 4;
    for (const auto& line : lines) {
        nameWidth = std::max(nameWidth, line.name.size());
        typeWidth = std::max(typeWidth, line.type.size());
    }
    auto row = [&](const std::string& name, const std::string& type, const std::string& path) {
        out << name << std::string(nameWidth - name.size() + 2, ' ') << type
            << std::string(typeWidth - type.size() + 2, ' ') << path << '\n';
    };
    row("NAME", "TYPE", "PATH");
    for (const auto& line : lines) {
        row(line.name, line.type, line.path);
    }
}

void PrintTables(platform::TSession& session, const std::string& database, std::ostream& out) {
    std::string name = database;
    std::error_code ec;
    const bool alias = session.IsAlias(database);
    if (!alias && std::filesystem::is_directory(database, ec)) {
        // A directory named without a "/" is still a directory, not an alias.
        name = std::filesystem::absolute(database, ec).lexically_normal().string();
    }
    std::vector<std::string> tables;
    session.GetTableNames(name, "*.*", true, false, tables);
    const std::filesystem::path directory =
        alias ? platform::DatabaseDirectory(platform::GetDatabaseDesc(name)) : name;
    for (const auto& table : tables) {
        if (!paradox::IsForeignFile(directory / table)) {
            out << table << '\n';
        }
    }
}

int RunList(const ParsedArguments& args, std::ostream& out, std::ostream& err) {
    try {
        platform::TSession session("ListSession");
        session.SetActive(true);
        if (!args.Has(kDatabase)) {
            PrintAliases(session, out);
        } else {
            PrintTables(session, args.Value(kDatabase), out);
        }
    } catch (const platform::EDBEngineError& e) {
        err << "mendrix-cli list: " << e.what() << '\n';
        return ExitCodeOf(StateOf({.opened = false}));
    }
    return ExitCodeOf(StateOf({.opened = true}));
}

} // namespace

Command ListCommand() {
    return {.name = "list",
            .summary =
                "print the engine's aliases (name, type, path), or the tables of one database",
            .syntax = {.arguments = {{.name = kDatabase, .required = false}}},
            .run = &RunList,
            .exitCodes = ReadExitCodes(false)};
}

} // namespace cli
