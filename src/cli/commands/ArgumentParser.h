#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// One option of a command: "--format csv|json", "-o, --output FILE", or a flag ("--json").
struct OptionSpec {
    std::string names{};     // as CLI11 takes them: "-o,--output"; the last one is its key
    std::string valueName{}; // "FILE"; empty for a flag, which takes no value
    std::string description{};
    bool required = false;
    std::vector<std::string> choices{}; // the only values allowed, when not empty
    std::optional<std::pair<std::int64_t, std::int64_t>> range{}; // a whole number within
};

// A word of the command line that is not an option: "TABLE", "TARGET...".
struct ArgumentSpec {
    std::string name{};
    bool required = true;
    bool many = false; // takes every remaining word
};

// Everything a command accepts, in the order the usage line names it.
struct CommandSyntax {
    std::vector<ArgumentSpec> arguments{};
    std::vector<OptionSpec> options{};
};

// The command line was wrong; what() says how, in CLI11's words.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a command line gave, by argument name or option key ("TABLE", "--output"), and its
// words as they were.
class ParsedArguments {
public:
    explicit ParsedArguments(std::vector<std::string> words,
                             std::map<std::string, std::vector<std::string>> values = {})
        : words_(std::move(words)), values_(values.begin(), values.end()) {}

    const std::vector<std::string>& Words() const { return words_; }

    bool Has(std::string_view key) const;
    // The (first) value given, or `fallback` when none was.
    std::string Value(std::string_view key, std::string fallback = {}) const;
    const std::vector<std::string>& Values(std::string_view key) const;

private:
    std::vector<std::string> words_;
    std::map<std::string, std::vector<std::string>, std::less<>> values_;
};

// Parses the words after the command name. "--" ends the options; "-h"/"--help" are not
// options here, the program answers them before a command parses. Throws UsageError.
ParsedArguments ParseArguments(const CommandSyntax& syntax, const std::vector<std::string>& args);

// "TABLE --format csv|json [-o FILE] [--code-page N]".
std::string UsageText(const CommandSyntax& syntax);

// "Options:" and one entry per option, its description wrapped beside its names; empty when
// the command has no options.
std::string OptionsHelp(const CommandSyntax& syntax);

} // namespace cli
