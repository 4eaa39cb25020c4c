#include "app/WindowOptions.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using ::testing::HasSubstr;
using ::testing::Optional;

TEST(WindowOptions, HelpAndVersionAreAnsweredAndEverythingElseIsLeftToQt) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-platform", "offscreen", "-h"}}) {
        std::ostringstream out;
        EXPECT_THAT(app::AnswerWindowOptions(args, out), Optional(0));
        EXPECT_EQ(out.str(), app::WindowHelp());
    }
    std::string helpWords = app::WindowHelp();
    std::replace(helpWords.begin(), helpWords.end(), '\n', ' ');
    EXPECT_THAT(helpWords, HasSubstr(app::WindowDescription()));
    for (const auto& option : app::WindowSyntax().options) {
        EXPECT_THAT(app::WindowHelp(), HasSubstr(option.description));
    }

    std::ostringstream version;
    EXPECT_THAT(app::AnswerWindowOptions({"-V"}, version), Optional(0));
    EXPECT_EQ(version.str(), std::string("mendrix ") + MENDRIX_VERSION + "\n");

    std::ostringstream none;
    EXPECT_EQ(app::AnswerWindowOptions({}, none), std::nullopt);
    EXPECT_EQ(app::AnswerWindowOptions({"-platform", "offscreen"}, none), std::nullopt);
    EXPECT_EQ(app::AnswerWindowOptions({"--", "--help"}, none), std::nullopt);
    EXPECT_TRUE(none.str().empty());
}

} // namespace
