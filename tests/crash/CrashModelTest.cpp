#include "states/CrashModel.h"

#include "posix/Durability.h"
#include "posix/FileDescriptor.h"
#include "posix/FileIo.h"
#include "support/TempDir.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>

namespace {

namespace fs = std::filesystem;
using crashstates::FolderImage;

std::vector<std::uint8_t> Filled(std::size_t size, std::uint8_t value) {
    return std::vector<std::uint8_t>(size, value);
}

// The states after replaying `operations`.
std::set<FolderImage> StatesAfter(crashstates::CrashModel& model,
                                  const std::vector<posix::RecordedOperation>& operations) {
    for (const auto& operation : operations) {
        model.Apply(operation);
    }
    EXPECT_TRUE(model.Outside().empty());
    const auto states = model.AllStates();
    return {states.begin(), states.end()};
}

// The model's rules on operations made through the file layer: a flushed file's pages are whole,
// a new name lives only once its folder is flushed and the folder's changes stay in order, and
// unflushed pages come back old or new, one by one.
TEST(CrashModel, KeepsWhatTheRulesKeepAndNothingElse) {
    testsupport::TempDir dir;
    const auto old = Filled(5000, 'o');
    testsupport::WriteFileBytes(dir / "A", std::string(old.begin(), old.end()));
    const FolderImage start = crashstates::ReadFolder(dir.path());
    const auto fresh = Filled(6000, 'n');
    crashstates::CrashModel model(dir.path());

    posix::testing::StartRecording();
    const posix::FileDescriptor folder = posix::OpenDirectory(dir.path());
    {
        const posix::FileDescriptor b = posix::CreateNewAt(folder.Get(), "B", O_WRONLY, 0644, "B");
        posix::WriteAll(b.Get(), fresh, "B");
        posix::Sync(b.Get(), "B");
    }
    posix::RenameAt(folder.Get(), "B", folder.Get(), "A", "B");
    const auto operations = posix::testing::StopRecording();
    ASSERT_EQ(operations.size(), 4u);

    FolderImage created = start;
    created["B"] = fresh;
    const FolderImage replaced{{"A", fresh}};
    EXPECT_EQ(StatesAfter(model, operations), (std::set<FolderImage>{start, created, replaced}));

    posix::testing::StartRecording();
    posix::SyncDirectory(folder.Get(), dir.path());
    {
        const posix::FileDescriptor a = posix::Open(dir / "A", O_WRONLY);
        posix::WriteAllAt(a.Get(), 4096, Filled(5000, 'x'), "A"); // pages 1 and 2, growing it
    }
    const auto states = StatesAfter(model, posix::testing::StopRecording());
    // The size kept (each of the two pages kept or not) or not (only page 1 left to choose).
    EXPECT_EQ(states.size(), 6u);
    const std::set<std::uint8_t> oldOrZero{'n', 0};
    for (const FolderImage& state : states) {
        ASSERT_EQ(state.size(), 1u);
        const std::vector<std::uint8_t>& a = *state.at("A");
        ASSERT_TRUE(a.size() == 6000 || a.size() == 9096);
        EXPECT_EQ(std::vector<std::uint8_t>(a.begin(), a.begin() + 4096), Filled(4096, 'n'));
        for (std::size_t at = 4096; at < a.size(); at += 4096) {
            const std::size_t end = std::min<std::size_t>(a.size(), at + 4096);
            const std::set<std::uint8_t> seen(a.begin() + static_cast<long>(at),
                                              a.begin() + static_cast<long>(end));
            EXPECT_TRUE(seen == std::set<std::uint8_t>{'x'} ||
                        std::includes(oldOrZero.begin(), oldOrZero.end(), seen.begin(), seen.end()))
                << "page at " << at << " mixes old and new bytes";
        }
    }
}

} // namespace
