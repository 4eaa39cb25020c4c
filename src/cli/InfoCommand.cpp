// mendrix-cli info TABLE [--check-password PASSWORD]: the table's structure as read from its
// header.

#include "cli/Commands.h"
#include "cli/FindingOutput.h"
#include "paradox/Cipher.h"
#include "paradox/TableReader.h"
#include "paradox/ValueText.h"

#include <ostream>

namespace cli {
namespace {

int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const bool checkPassword = args.size() == 3 && args[1] == "--check-password";
    if (args.size() != 1 && !checkPassword) {
        err << "usage: mendrix-cli info TABLE [--check-password PASSWORD]\n";
        return kExitUsage;
    }
    paradox::FindingList findings;
    auto table = paradox::TableReader::Open(args[0], findings);
    if (table) {
        std::string text;
        paradox::AppendInfo(text, table->Header());
        out << text;
        if (checkPassword) {
            // Reading needs no password; this only tells whether one is the table's.
            const std::uint32_t stored = table->Header().CipherKeyValue();
            const bool matches = stored != 0 && paradox::PasswordChecksum(args[2]) == stored;
            out << "password matches: " << (matches ? "yes" : "no") << '\n';
        }
    }
    PrintFindings(findings, err);
    return table ? kExitOk : kExitFailed;
}

const CommandRegistration kInfo{
    {"info", "TABLE [--check-password PASSWORD]",
     "print the structure of a Paradox table (header, fields, whether it is encrypted), and "
     "whether a password is the one an encrypted table was protected with",
     &RunInfo}};

} // namespace
} // namespace cli
