#include "ManualPages.h"

#include "Shell.h"
#include "cli/Program.h"
#include "cli/commands/CommandHelp.h"
#include "cli/commands/CommandTable.h"
#include "support/TempDir.h"

#if MENDRIX_WITH_WINDOW
#include "app/WindowOptions.h"
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using installtest::Quoted;
using installtest::RunShell;
using ::testing::HasSubstr;

// Words separated by single spaces.
std::string Words(const std::string& text) {
    std::istringstream in(text);
    std::string word;
    std::string words;
    while (in >> word) {
        words += (words.empty() ? "" : " ") + word;
    }
    return words;
}

// The page as man shows it, in plain ASCII on lines too long to break; fails the test on any
// warning of groff.
std::string Rendered(const std::string& page) {
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir / "page.1", page);
    const auto warnings =
        RunShell("groff -man -Tascii -ww -z " + Quoted((dir / "page.1").string()));
    EXPECT_EQ(warnings.exitCode, 0);
    EXPECT_EQ(warnings.output, "");
    const auto text =
        RunShell("groff -man -Tascii -rLL=4000n -P-cbou " + Quoted((dir / "page.1").string()));
    EXPECT_EQ(text.exitCode, 0) << text.output;
    return Words(text.output);
}

// Every paragraph of a help text.
std::vector<std::string> Paragraphs(const std::string& text) {
    std::vector<std::string> paragraphs{""};
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (Words(line).empty()) {
            paragraphs.emplace_back();
        } else {
            paragraphs.back() += ' ' + line;
        }
    }
    std::erase_if(paragraphs, [](const std::string& p) { return Words(p).empty(); });
    return paragraphs;
}

void ExpectOptions(const std::string& page, const cli::CommandSyntax& syntax) {
    for (const auto& option : syntax.options) {
        EXPECT_THAT(page, HasSubstr(Words(option.description)));
        std::istringstream names(option.names);
        for (std::string name; std::getline(names, name, ',');) {
            EXPECT_THAT(page, HasSubstr(name));
        }
        for (const auto& choice : option.choices) {
            EXPECT_THAT(page, HasSubstr(choice));
        }
    }
}

bool HaveGroff() {
    return RunShell("command -v groff").exitCode == 0;
}

TEST(ManualPages, CliPageHoldsEveryCommandOptionNoteAndExitCodeOfTheHelp) {
    if (!HaveGroff()) {
        GTEST_SKIP() << "groff is not installed";
    }
    const std::string page = Rendered(manpages::CliManualPage(MENDRIX_VERSION));
    EXPECT_THAT(page, HasSubstr(Words(cli::ProgramDescription())));
    ExpectOptions(page, cli::ProgramSyntax());
    for (const auto& command : cli::AllCommands()) {
        SCOPED_TRACE(command.name);
        EXPECT_THAT(page,
                    HasSubstr(Words("mendrix-cli " + command.name + ' ' + cli::UsageOf(command))));
        EXPECT_THAT(page, HasSubstr(Words(command.summary)));
        ExpectOptions(page, command.syntax);
        for (const auto& paragraph : Paragraphs(command.help)) {
            EXPECT_THAT(page, HasSubstr(Words(paragraph)));
        }
        for (const auto& [code, meaning] : command.exitCodes) {
            EXPECT_THAT(page, HasSubstr(std::to_string(code) + ' ' + Words(meaning)));
        }
    }
}

#if MENDRIX_WITH_WINDOW
TEST(ManualPages, WindowPageHoldsTheWindowProgramsHelp) {
    if (!HaveGroff()) {
        GTEST_SKIP() << "groff is not installed";
    }
    const std::string page = Rendered(
        manpages::WindowManualPage(MENDRIX_VERSION, app::WindowDescription(), app::WindowSyntax()));
    EXPECT_THAT(page, HasSubstr(Words(app::WindowDescription())));
    ExpectOptions(page, app::WindowSyntax());
    EXPECT_THAT(page, HasSubstr("mendrix-cli(1)"));
}
#endif

} // namespace
