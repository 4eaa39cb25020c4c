#include "BashCompletion.h"

#include "OptionNames.h"
#include "cli/Program.h"
#include "cli/commands/CommandTable.h"

#include <sstream>

namespace manpages {
namespace {

// What a word names, by the name the syntax gives it.
enum class WordKind { Table, Target, File, Directory, Free };

WordKind KindOf(const std::string& name) {
    if (name == "TABLE" || name.ends_with(".DB")) {
        return WordKind::Table;
    }
    if (name == "TARGET") {
        return WordKind::Target;
    }
    if (name == "FILE") {
        return WordKind::File;
    }
    if (name.find("DIRECTORY") != std::string::npos || name == "DIR") {
        return WordKind::Directory;
    }
    return WordKind::Free;
}

std::string Completion(WordKind kind) {
    switch (kind) {
    case WordKind::Table:
        return "_mendrix_cli_tables";
    case WordKind::Target:
        return "_mendrix_cli_tables; _mendrix_cli_aliases";
    case WordKind::File:
        return "_mendrix_cli_files";
    case WordKind::Directory:
        return "_mendrix_cli_directories; _mendrix_cli_aliases";
    case WordKind::Free:
        break;
    }
    return ":";
}

std::string Words(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

std::vector<std::string> OptionWords(const cli::CommandSyntax& syntax) {
    std::vector<std::string> words;
    for (const auto& option : syntax.options) {
        for (const auto& name : SplitOptionNames(option.names)) {
            words.push_back(name);
        }
    }
    return words;
}

const char* const kHelpers =
    R"(# bash completion for mendrix-cli, made by the build from its command table; do not edit.

_mendrix_cli_tables() {
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X '!*.[dD][bB]' -- "$cur"))
}

_mendrix_cli_files() {
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
}

_mendrix_cli_directories() {
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$cur"))
}

# The aliases the program's `list` names (first column, after the heading).
_mendrix_cli_aliases() {
    local IFS=$'\n' aliases
    aliases=$("${COMP_WORDS[0]}" list 2>/dev/null | tail -n +2 | cut -d ' ' -f 1) || return
    COMPREPLY+=($(compgen -W "$aliases" -- "$cur"))
}

_mendrix_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done
    COMPREPLY=()
    case $command in
)";

} // namespace

std::string CliBashCompletion() {
    std::ostringstream script;
    script << kHelpers;
    std::vector<std::string> commands;
    for (const auto& command : cli::AllCommands()) {
        commands.push_back(command.name);
    }
    script << "    \"\")\n"
           << "        if [[ $cur == -* ]]; then\n"
           << "            COMPREPLY=($(compgen -W '" << Words(OptionWords(cli::ProgramSyntax()))
           << "' -- \"$cur\"))\n"
           << "        else\n"
           << "            COMPREPLY=($(compgen -W '" << Words(commands) << "' -- \"$cur\"))\n"
           << "        fi\n"
           << "        ;;\n";
    for (const auto& command : cli::AllCommands()) {
        script << "    " << command.name << ")\n"
               << "        case $prev in\n";
        for (const auto& option : command.syntax.options) {
            if (option.choices.empty() && option.valueName.empty()) {
                continue;
            }
            std::string names;
            for (const auto& name : SplitOptionNames(option.names)) {
                names += (names.empty() ? "" : "|") + name;
            }
            script << "        " << names << ")\n            ";
            if (!option.choices.empty()) {
                script << "COMPREPLY=($(compgen -W '" << Words(option.choices) << "' -- \"$cur\"))";
            } else {
                script << Completion(KindOf(option.valueName));
            }
            script << "\n            return\n            ;;\n";
        }
        script << "        esac\n";
        std::vector<std::string> options = OptionWords(command.syntax);
        options.insert(options.end(), {"-h", "--help"});
        WordKind argument = WordKind::Free;
        if (!command.syntax.arguments.empty()) {
            argument = KindOf(command.syntax.arguments.front().name);
        }
        script << "        if [[ $cur == -* ]]; then\n"
               << "            COMPREPLY=($(compgen -W '" << Words(options) << "' -- \"$cur\"))\n"
               << "        else\n"
               << "            " << Completion(argument) << "\n"
               << "        fi\n"
               << "        ;;\n";
    }
    script << "    esac\n"
           << "}\n\n"
           << "complete -F _mendrix_cli mendrix-cli\n";
    return script.str();
}

} // namespace manpages
