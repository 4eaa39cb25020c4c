// mendrix-cli info TABLE [--check-password PASSWORD]: the table's structure as read from its
// header.

#include "cli/commands/CommandHelp.h"
#include "cli/commands/ReadCommands.h"
#include "cli/commands/TableState.h"
#include "cli/run/FindingOutput.h"
#include "paradox/Cipher.h"
#include "paradox/TableReader.h"
#include "paradox/ValueText.h"

#include <ostream>

namespace cli {
namespace {

constexpr const char* kCheckPassword = "--check-password";

int RunInfo(const ParsedArguments& args, std::ostream& out, std::ostream& err) {
    const bool checkPassword = args.Has(kCheckPassword);
    paradox::FindingList findings;
    auto table = paradox::TableReader::Open(args.Value("TABLE"), findings);
    if (table) {
        std::string text;
        paradox::AppendInfo(text, table->Header());
        out << text;
        if (checkPassword) {
            // Reading needs no password; this only tells whether one is the table's.
            const std::uint32_t stored = table->Header().CipherKeyValue();
            const bool matches =
                stored != 0 && paradox::PasswordChecksum(args.Value(kCheckPassword)) == stored;
            out << "password matches: " << (matches ? "yes" : "no") << '\n';
        }
    }
    PrintFindings(findings, err);
    // Findings of damage leave the structure readable: they do not fail the command.
    return ExitCodeOf(StateOf({.opened = table != nullptr}));
}

} // namespace

Command InfoCommand() {
    return {.name = "info",
            .summary = "print the structure of a Paradox table (header, fields, whether it is "
                       "encrypted), and whether a password is the one an encrypted table was "
                       "protected with",
            .syntax = {.arguments = {{"TABLE"}},
                       .options = {{.names = kCheckPassword,
                                    .valueName = "PASSWORD",
                                    .description = "also say whether PASSWORD is the one the "
                                                   "table was protected with (\"password "
                                                   "matches: yes\" or \"no\")"}}},
            .run = &RunInfo,
            .exitCodes = ReadExitCodes(false)};
}

} // namespace cli
