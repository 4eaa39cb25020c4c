#include "BashCompletion.h"

#include "OptionNames.h"
#include "Shell.h"
#include "cli/Program.h"
#include "cli/commands/CommandTable.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using installtest::LineSet;
using installtest::Quoted;
using installtest::RunShell;
using Words = std::set<std::string>;

// The completion script in a folder holding a few files to complete.
class BashCompletion : public ::testing::Test {
protected:
    void SetUp() override {
        if (RunShell("command -v bash").exitCode != 0) {
            GTEST_SKIP() << "bash is not installed";
        }
        testsupport::WriteFileBytes(dir / "completion.bash", manpages::CliBashCompletion());
        std::filesystem::create_directory(dir / "tables");
        std::filesystem::create_directory(dir / "tables" / "sub");
        for (const char* name : {"ORDERS.DB", "parts.db", "ORDERS.PX", "notes.txt"}) {
            testsupport::WriteFileBytes(dir / "tables" / name, "");
        }
        // The program as the completion calls it for the aliases: `list` names one.
        testsupport::WriteFileBytes(dir / "program", "#!/bin/sh\n[ \"$1\" = list ] && printf "
                                                     "'NAME   TYPE      PATH\\nSALES  STANDARD  "
                                                     "/srv/sales\\n'\n");
        std::filesystem::permissions(dir / "program", std::filesystem::perms::owner_all);
    }

    // COMPREPLY after completing the last of `words` in tables/ (the first word, the program,
    // stands for the one in the test's folder).
    Words Complete(const std::vector<std::string>& words) const {
        std::string array = ' ' + Quoted((dir / "program").string());
        for (std::size_t i = 1; i < words.size(); ++i) {
            array += ' ' + Quoted(words[i]);
        }
        const auto run =
            RunShell("cd " + Quoted((dir / "tables").string()) + " && bash --norc --noprofile -c " +
                     Quoted("source ../completion.bash; COMP_WORDS=(" + array +
                            "); COMP_CWORD=" + std::to_string(words.size() - 1) +
                            "; _mendrix_cli; printf '%s\\n' \"${COMPREPLY[@]}\""));
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return LineSet(run.output);
    }

    testsupport::TempDir dir;
};

Words NamesOf(const cli::CommandSyntax& syntax) {
    Words names;
    for (const auto& option : syntax.options) {
        for (const auto& name : manpages::SplitOptionNames(option.names)) {
            names.insert(name);
        }
    }
    return names;
}

TEST_F(BashCompletion, CompletesCommandsAndTheProgramsOptions) {
    Words commands;
    for (const auto& command : cli::AllCommands()) {
        commands.insert(command.name);
        EXPECT_EQ(Complete({"mendrix-cli", command.name.substr(0, command.name.size() - 1)})
                      .count(command.name),
                  1U);
    }
    EXPECT_EQ(Complete({"mendrix-cli", ""}), commands);
    EXPECT_EQ(Complete({"mendrix-cli", "-"}), NamesOf(cli::ProgramSyntax()));
}

TEST_F(BashCompletion, CompletesEachCommandsOptionsChoicesAndTableFiles) {
    const Words tables{"ORDERS.DB", "parts.db", "sub"};
    const Words files{"ORDERS.DB", "parts.db", "ORDERS.PX", "notes.txt", "sub"};
    for (const auto& command : cli::AllCommands()) {
        SCOPED_TRACE(command.name);
        Words options = NamesOf(command.syntax);
        options.insert({"-h", "--help"});
        EXPECT_EQ(Complete({"mendrix-cli", command.name, "-"}), options);
        for (const auto& option : command.syntax.options) {
            const std::string name = manpages::SplitOptionNames(option.names).back();
            if (!option.choices.empty()) {
                EXPECT_EQ(Complete({"mendrix-cli", command.name, name, ""}),
                          Words(option.choices.begin(), option.choices.end()));
            } else if (option.valueName == "FILE") {
                EXPECT_EQ(Complete({"mendrix-cli", command.name, name, ""}), files);
            }
        }
        const auto& arguments = command.syntax.arguments;
        const std::string argument = arguments.empty() ? "" : arguments.front().name;
        if (argument == "TABLE") {
            EXPECT_EQ(Complete({"mendrix-cli", command.name, ""}), tables);
            EXPECT_EQ(Complete({"mendrix-cli", command.name, "p"}), Words{"parts.db"});
        } else if (argument == "TARGET") {
            Words targets = tables;
            targets.insert("SALES");
            EXPECT_EQ(Complete({"mendrix-cli", command.name, ""}), targets);
            EXPECT_EQ(Complete({"mendrix-cli", command.name, "p"}), Words{"parts.db"});
            EXPECT_EQ(Complete({"mendrix-cli", command.name, "S"}), Words{"SALES"});
        } else if (argument.find("DIRECTORY") != std::string::npos) {
            EXPECT_EQ(Complete({"mendrix-cli", command.name, ""}), (Words{"sub", "SALES"}));
        }
    }
}

} // namespace
