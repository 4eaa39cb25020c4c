#include "app/WindowOptions.h"

#include <algorithm>
#include <cstdlib>
#include <ostream>

namespace app {
namespace {

constexpr const char* kHelpOption = "-h,--help";
constexpr const char* kVersionOption = "-V,--version";

bool Given(const std::vector<std::string>& args, std::string_view shortName,
           std::string_view longName) {
    return std::any_of(args.begin(), args.end(),
                       [&](const std::string& arg) { return arg == shortName || arg == longName; });
}

// `text` broken into lines at spaces, each at most kHelpWidth wide where its words allow.
std::string Wrapped(const std::string& text) {
    constexpr std::size_t kHelpWidth = 85;
    std::string out;
    std::size_t lineStart = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string word = text.substr(start, end - start);
        if (out.size() > lineStart && out.size() - lineStart + 1 + word.size() > kHelpWidth) {
            out += '\n';
            lineStart = out.size();
        } else if (out.size() > lineStart) {
            out += ' ';
        }
        out += word;
        start = end + 1;
    }
    return out;
}

} // namespace

const cli::CommandSyntax& WindowSyntax() {
    static const cli::CommandSyntax syntax{
        .options = {
            {.names = kHelpOption, .description = "print this help and exit"},
            {.names = kVersionOption, .description = "print the program's version and exit"}}};
    return syntax;
}

std::string WindowDescription() {
    return "mendrix is the window program that checks and repairs Paradox tables (.DB with their "
           "indexes and .MB blob files). It offers the databases of the engine's configuration "
           "(the built-in SAMPLES alias when there is none) and runs Check & Repair, Verify or "
           "Rebuild All over every table of the one chosen, showing each table's lines in its "
           "message pane and keeping them in the run log. Qt's own options (-platform NAME, "
           "-style NAME, ...) are passed to Qt.";
}

std::string WindowHelp() {
    return "usage: mendrix [OPTIONS]\n\n" + Wrapped(WindowDescription()) + "\n\n" +
           cli::OptionsHelp(WindowSyntax());
}

std::optional<int> AnswerWindowOptions(const std::vector<std::string>& args, std::ostream& out) {
    // Only the words before a "--" are options.
    const std::vector<std::string> options(args.begin(), std::find(args.begin(), args.end(), "--"));
    if (Given(options, "-h", "--help")) {
        out << WindowHelp();
        return EXIT_SUCCESS;
    }
    if (Given(options, "-V", "--version")) {
        out << "mendrix " << MENDRIX_VERSION << '\n';
        return EXIT_SUCCESS;
    }
    return std::nullopt;
}

} // namespace app
