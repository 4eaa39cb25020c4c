#include "platform/Toolkit.h"

#include "platform/RecordingToolkit.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using platform::BoxIcon;
using platform::RecordingToolkit;
using platform::ScopedToolkit;

TEST(ToolkitSeam, ScopedToolkitInstallsAndPutsThePreviousBack) {
    RecordingToolkit outer;
    RecordingToolkit inner;
    platform::Toolkit& before = platform::CurrentToolkit();
    {
        const ScopedToolkit installOuter(outer);
        EXPECT_EQ(&platform::CurrentToolkit(), &outer);
        {
            const ScopedToolkit installInner(inner);
            EXPECT_EQ(&platform::CurrentToolkit(), &inner);
        }
        EXPECT_EQ(&platform::CurrentToolkit(), &outer);
    }
    EXPECT_EQ(&platform::CurrentToolkit(), &before);
}

TEST(ToolkitSeam, RunGuardedShowsAnEscapingFailureCaptionedWithTheTitle) {
    RecordingToolkit toolkit;
    const ScopedToolkit installed(toolkit);
    EXPECT_TRUE(platform::RunGuarded([] {}));
    EXPECT_TRUE(toolkit.boxes.empty());

    EXPECT_FALSE(platform::RunGuarded([] { throw std::runtime_error("disk on fire"); }));
    EXPECT_FALSE(platform::RunGuarded([] { throw 42; }));
    ASSERT_EQ(toolkit.boxes.size(), 2u);
    EXPECT_EQ(toolkit.boxes[0].icon, BoxIcon::Error);
    EXPECT_EQ(toolkit.boxes[0].caption, "Mendrix");
    EXPECT_EQ(toolkit.boxes[0].text, "disk on fire");
    EXPECT_EQ(toolkit.boxes[1].caption, "Mendrix");
    EXPECT_FALSE(toolkit.boxes[1].text.empty());
}

TEST(ToolkitSeam, HourglassGivesWayToTheDefaultArrowAlsoOnFailure) {
    RecordingToolkit toolkit;
    const ScopedToolkit installed(toolkit);
    platform::RunGuarded([&] {
        const platform::HourglassScope hourglass;
        EXPECT_TRUE(toolkit.hourglass);
        throw std::runtime_error("failed under the hourglass");
    });
    EXPECT_FALSE(toolkit.hourglass);
    EXPECT_EQ(toolkit.hourglassCount, 1);
    EXPECT_EQ(toolkit.defaultCursorCount, 1);
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].text, "failed under the hourglass");
}

} // namespace
