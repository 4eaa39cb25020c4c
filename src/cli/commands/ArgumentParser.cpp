#include "cli/commands/ArgumentParser.h"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace cli {
namespace {

// The help's width: an option's description is wrapped to end by this column.
constexpr std::size_t kHelpWidth = 85;

std::vector<std::string> SplitNames(const std::string& names) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= names.size()) {
        const std::size_t comma = std::min(names.find(',', start), names.size());
        parts.push_back(names.substr(start, comma - start));
        start = comma + 1;
    }
    return parts;
}

std::string Key(const OptionSpec& option) {
    return SplitNames(option.names).back();
}

bool IsFlag(const OptionSpec& option) {
    return option.valueName.empty() && option.choices.empty();
}

// "csv|json" for an option with choices, else its value name.
std::string ValueText(const OptionSpec& option) {
    if (option.choices.empty()) {
        return option.valueName;
    }
    std::string text;
    for (const auto& choice : option.choices) {
        text += (text.empty() ? "" : "|") + choice;
    }
    return text;
}

std::string WithValue(std::string names, const OptionSpec& option) {
    return IsFlag(option) ? names : names + ' ' + ValueText(option);
}

// "-o, --output FILE".
std::string HelpNames(const OptionSpec& option) {
    std::string names;
    for (const auto& name : SplitNames(option.names)) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return WithValue(names, option);
}

// Appends `text` wrapped into lines that end by kHelpWidth, each after `indent` columns; the
// first line continues the one `out` ends with, at column `column`.
void AppendWrapped(std::string& out, std::string_view text, std::size_t indent,
                   std::size_t column) {
    std::size_t start = 0;
    bool lineEmpty = true;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        const std::string_view word = text.substr(start, end - start);
        if (!lineEmpty && column + 1 + word.size() > kHelpWidth) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineEmpty = false;
        start = end + 1;
    }
    out += '\n';
}

// An argument or option that takes one value.
CLI::Option* AddSingle(CLI::App& parser, const std::string& names,
                       std::vector<std::string>& storage) {
    return parser.add_option_function<std::string>(
        names, [&storage](const std::string& value) { storage = {value}; });
}

// The words of `args` that are among `left` (CLI11's left-over words, which hold the "--"
// mark and may come in another order), last first as CLI11's ExtrasError names them.
std::vector<std::string> LastFirst(std::vector<std::string> left,
                                   const std::vector<std::string>& args) {
    std::vector<std::string> ordered;
    for (const auto& arg : args) {
        const auto found = std::find(left.begin(), left.end(), arg);
        if (arg != "--" && found != left.end()) {
            ordered.push_back(arg);
            left.erase(found);
        }
    }
    std::reverse(ordered.begin(), ordered.end());
    return ordered;
}

} // namespace

bool ParsedArguments::Has(std::string_view key) const {
    const auto found = values_.find(key);
    return found != values_.end() && !found->second.empty();
}

std::string ParsedArguments::Value(std::string_view key, std::string fallback) const {
    const auto found = values_.find(key);
    return found == values_.end() || found->second.empty() ? fallback : found->second.front();
}

const std::vector<std::string>& ParsedArguments::Values(std::string_view key) const {
    static const std::vector<std::string> none;
    const auto found = values_.find(key);
    return found == values_.end() ? none : found->second;
}

ParsedArguments ParseArguments(const CommandSyntax& syntax, const std::vector<std::string>& args) {
    std::map<std::string, std::vector<std::string>> values;
    CLI::App parser;
    parser.set_help_flag();
    for (const auto& argument : syntax.arguments) {
        auto& storage = values[argument.name];
        if (argument.many) {
            parser.add_option(argument.name, storage)->required(argument.required);
        } else {
            AddSingle(parser, argument.name, storage)->required(argument.required);
        }
    }
    for (const auto& spec : syntax.options) {
        auto& storage = values[Key(spec)];
        if (IsFlag(spec)) {
            parser.add_flag_function(spec.names, [&storage](std::int64_t count) {
                storage.assign(static_cast<std::size_t>(count), std::string());
            });
            continue;
        }
        auto* option = AddSingle(parser, spec.names, storage)->required(spec.required);
        if (!spec.choices.empty()) {
            option->check(CLI::IsMember(spec.choices));
        }
        if (spec.range) {
            option->check(CLI::Range(spec.range->first, spec.range->second))->type_name("UINT");
        }
    }
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 takes them last first
    try {
        parser.parse(reversed);
    } catch (const CLI::RequiredError& e) {
        // A word that is no option of the command says more than what is missing for lack of it.
        if (parser.remaining_size() != 0) {
            throw UsageError(CLI::ExtrasError(LastFirst(parser.remaining(), args)).what());
        }
        throw UsageError(e.what());
    } catch (const CLI::ParseError& e) {
        throw UsageError(e.what());
    }
    return ParsedArguments(args, std::move(values));
}

std::string UsageText(const CommandSyntax& syntax) {
    std::vector<std::string> words;
    for (const auto& argument : syntax.arguments) {
        const std::string word = argument.name + (argument.many ? "..." : "");
        words.push_back(argument.required ? word : '[' + word + ']');
    }
    for (const auto& option : syntax.options) {
        const std::string word = WithValue(SplitNames(option.names).front(), option);
        words.push_back(option.required ? word : '[' + word + ']');
    }
    std::string text;
    for (const auto& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

std::string OptionsHelp(const CommandSyntax& syntax) {
    if (syntax.options.empty()) {
        return {};
    }
    std::size_t namesWidth = 0;
    for (const auto& option : syntax.options) {
        namesWidth = std::max(namesWidth, HelpNames(option).size());
    }
    const std::size_t column = 2 + namesWidth + 3;
    std::string help = "Options:\n";
    for (const auto& option : syntax.options) {
        const std::string names = HelpNames(option);
        help += "  " + names + std::string(column - 2 - names.size(), ' ');
        AppendWrapped(help, option.description + (option.required ? " (required)" : ""), column,
                      column);
    }
    return help;
}

} // namespace cli
