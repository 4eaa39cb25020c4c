// mendrix-cli info TABLE: the table's structure as read from its header.

#include "cli/Commands.h"
#include "cli/FindingOutput.h"
#include "paradox/TableReader.h"
#include "paradox/ValueText.h"

#include <ostream>

namespace cli {
namespace {

int RunInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: mendrix-cli info TABLE\n";
        return kExitUsage;
    }
    paradox::FindingList findings;
    auto table = paradox::TableReader::Open(args[0], findings);
    if (table) {
        std::string text;
        paradox::AppendInfo(text, table->Header());
        out << text;
    }
    PrintFindings(findings, err);
    return table ? kExitOk : kExitFailed;
}

const CommandRegistration kInfo{
    {"info", "TABLE", "print the structure of a Paradox table (header, fields)", &RunInfo}};

} // namespace
} // namespace cli
