#include "ManualPages.h"

#include "OptionNames.h"
#include "cli/ExitCodes.h"
#include "cli/Program.h"
#include "cli/commands/CommandHelp.h"
#include "cli/commands/CommandTable.h"

#include <sstream>

namespace manpages {
namespace {

// Text as troff reads it: backslashes escaped, a hyphen that begins a word (an option) written
// as a minus sign, and a line that would read as a request guarded.
std::string Roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    char before = ' ';
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\'')) {
            out += "\\&";
        }
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-' && (before == ' ' || before == '\n' || before == '(' || before == '[' ||
                                before == '|' || before == '-' || before == ',')) {
            out += "\\-";
        } else {
            out += c;
        }
        lineStart = c == '\n';
        before = c;
    }
    return out;
}

// Paragraphs of a help text: a blank line starts a new one, other lines are filled.
void Paragraphs(std::ostream& page, const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    bool open = false;
    while (std::getline(lines, line)) {
        if (line.find_first_not_of(' ') == std::string::npos) {
            open = false;
            continue;
        }
        if (!open) {
            page << ".PP\n";
            open = true;
        }
        page << Roff(line.substr(line.find_first_not_of(' '))) << '\n';
    }
}

std::string ValueOf(const cli::OptionSpec& option) {
    if (!option.choices.empty()) {
        std::string text;
        for (const auto& choice : option.choices) {
            text += (text.empty() ? "" : "|") + choice;
        }
        return text;
    }
    return option.valueName;
}

void Options(std::ostream& page, const cli::CommandSyntax& syntax) {
    for (const auto& option : syntax.options) {
        page << ".TP\n";
        std::string names;
        for (const auto& name : SplitOptionNames(option.names)) {
            names += (names.empty() ? "" : ", ") + ("\\fB" + Roff(name) + "\\fR");
        }
        if (const std::string value = ValueOf(option); !value.empty()) {
            names += " \\fI" + Roff(value) + "\\fR";
        }
        page << names << '\n'
             << Roff(option.description + (option.required ? " (required)" : "")) << '\n';
    }
}

void ExitCodes(std::ostream& page, const std::vector<std::pair<int, std::string>>& codes) {
    for (const auto& [code, meaning] : codes) {
        page << ".TP\n.B " << code << '\n' << Roff(meaning) << '\n';
    }
}

void Header(std::ostream& page, const std::string& name, const std::string& version,
            const std::string& what) {
    std::string upper;
    for (const char c : name) {
        upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    page << ".\\\" Made by the build from the programs' option descriptions; do not edit.\n"
         << ".TH " << Roff(upper) << " 1 \"\" \"Mendrix " << version << "\" \"User Commands\"\n"
         << ".nh\n.ad l\n"
         << ".SH NAME\n"
         << Roff(name) << " \\- " << Roff(what) << '\n';
}

// What both programs share: where they read their aliases and write their logs.
void EnvironmentAndFiles(std::ostream& page, const std::string& other) {
    page << ".SH ENVIRONMENT\n"
         << ".TP\n.B MENDRIX_ENGINE_CONFIG\n"
         << Roff("the engine's configuration file (aliases) when set and not empty") << '\n'
         << ".TP\n.B XDG_CONFIG_HOME\n"
         << Roff("else the configuration is $XDG_CONFIG_HOME/mendrix/engine.ini "
                 "(~/.config/mendrix/engine.ini when not set)")
         << '\n'
         << ".TP\n.B XDG_STATE_HOME\n"
         << Roff("the private directory and the run log go to $XDG_STATE_HOME/mendrix/priv "
                 "(~/.local/state/mendrix/priv when not set) when the program's own folder cannot "
                 "be written")
         << '\n'
         << ".TP\n.B XDG_DATA_HOME\n"
         << Roff("an installed program copies its sample database into "
                 "$XDG_DATA_HOME/mendrix/samples (~/.local/share/mendrix/samples when not set) "
                 "the first time the SAMPLES alias is used")
         << '\n'
         << ".SH FILES\n"
         << ".TP\n.I engine.ini\n"
         << Roff("the aliases, one [NAME] section each with TYPE=STANDARD, PATH=DIR and DEFAULT "
                 "DRIVER=PARADOX; without it the one alias is SAMPLES")
         << '\n'
         << ".TP\n.I priv/1Mendrix.log\n"
         << Roff("the run log both programs append to, in the private directory beside the "
                 "programs or in the user's state folder")
         << '\n'
         << ".TP\n.I share/mendrix/samples\n"
         << Roff("the sample database installed with the programs (beside their bin folder), "
                 "read-only; the SAMPLES alias names the user's copy of it")
         << '\n'
         << ".SH SEE ALSO\n"
         << ".BR " << Roff(other) << " (1)\n";
}

} // namespace

std::string CliManualPage(const std::string& version) {
    std::ostringstream page;
    Header(page, "mendrix-cli", version, "check, repair and read Paradox tables without a window");
    page << ".SH SYNOPSIS\n"
         << ".B mendrix\\-cli\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR \\fIARGUMENTS\\fR\n";
    for (const auto& command : cli::AllCommands()) {
        page << ".br\n.B mendrix\\-cli " << Roff(command.name) << '\n'
             << Roff(cli::UsageOf(command)) << '\n';
    }
    page << ".SH DESCRIPTION\n" << Roff(cli::ProgramDescription()) << '\n';
    page << ".SH OPTIONS\n";
    Options(page, cli::ProgramSyntax());
    page << ".SH COMMANDS\n";
    for (const auto& command : cli::AllCommands()) {
        page << ".SS \"" << Roff(command.name) << "\"\n"
             << ".B mendrix\\-cli " << Roff(command.name) << '\n'
             << Roff(cli::UsageOf(command)) << "\n.PP\n"
             << Roff(command.summary) << '\n';
        if (!command.syntax.options.empty()) {
            page << ".PP\nOptions:\n";
            Options(page, command.syntax);
        }
        Paragraphs(page, command.help);
        page << ".PP\nExit codes:\n";
        ExitCodes(page, command.exitCodes);
    }
    page << ".SH \"EXIT STATUS\"\n";
    ExitCodes(page,
              cli::RunExitCodes({cli::kExitOk, cli::kExitRepaired, cli::kExitProblemsLeft,
                                 cli::kExitOperational, cli::kExitUsage, cli::kExitCancelled}));
    page << ".PP\n" << Roff("The codes add up when a run meets several of these.") << '\n';
    EnvironmentAndFiles(page, "mendrix");
    return page.str();
}

std::string WindowManualPage(const std::string& version, const std::string& description,
                             const cli::CommandSyntax& options) {
    std::ostringstream page;
    Header(page, "mendrix", version, "check and repair Paradox tables in a window");
    page << ".SH SYNOPSIS\n.B mendrix\n[\\fIOPTIONS\\fR]\n"
         << ".SH DESCRIPTION\n"
         << Roff(description) << '\n'
         << ".SH OPTIONS\n";
    Options(page, options);
    EnvironmentAndFiles(page, "mendrix-cli");
    return page.str();
}

} // namespace manpages
