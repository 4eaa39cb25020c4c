#include "engine/InstalledData.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// An installed tree in a temporary folder: bin/ and the read-only sample database the data
// folder holds.
struct InstalledTree {
    TempDir root;
    fs::path bin = root / "bin";
    fs::path installedSamples = engine::InstalledDataDirectory(bin) / "samples";
    fs::path userFolder = root / "home" / "mendrix";

    InstalledTree() {
        fs::create_directories(bin);
        fs::create_directories(installedSamples);
        WriteFileBytes(installedSamples / "CUSTOMER.DB", "table bytes");
        WriteFileBytes(installedSamples / "CUSTOMER.PX", "index bytes");
        for (const auto& entry : fs::directory_iterator(installedSamples)) {
            fs::permissions(entry.path(),
                            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        }
    }
};

std::size_t EntriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(InstalledSamples, UserGetsAWritableCopyOnceAndKeepsIt) {
    InstalledTree tree;
    EXPECT_EQ(engine::InstalledDataDirectory(tree.bin).parent_path().filename(), "share");
    const fs::path copy = engine::SampleDatabaseFor(tree.bin, tree.userFolder);
    ASSERT_EQ(copy, tree.userFolder / "samples");
    EXPECT_EQ(EntriesIn(copy), EntriesIn(tree.installedSamples));
    EXPECT_EQ(ReadFileBytes(copy / "CUSTOMER.DB"), "table bytes");
    EXPECT_EQ(ReadFileBytes(copy / "CUSTOMER.PX"), "index bytes");
    EXPECT_NE(fs::status(copy / "CUSTOMER.DB").permissions() & fs::perms::owner_write,
              fs::perms::none);
    // Only the copy is left in the user's folder: no staging folder.
    EXPECT_EQ(EntriesIn(tree.userFolder), 1U);

    // A repair changes the copy; the next start keeps it as it is.
    WriteFileBytes(copy / "CUSTOMER.DB", "repaired bytes");
    EXPECT_EQ(engine::SampleDatabaseFor(tree.bin, tree.userFolder), copy);
    EXPECT_EQ(ReadFileBytes(copy / "CUSTOMER.DB"), "repaired bytes");
}

TEST(InstalledSamples, BesideTheProgramWinsAndTheInstalledOneServesWhenNoCopyCanBeMade) {
    InstalledTree tree;
    // No folder for the user: the installed (read-only) database.
    EXPECT_EQ(engine::SampleDatabaseFor(tree.bin, {}), tree.installedSamples);
    // A user folder that cannot be made (a file stands in its way).
    WriteFileBytes(tree.root / "file", "x");
    EXPECT_EQ(engine::SampleDatabaseFor(tree.bin, tree.root / "file" / "mendrix"),
              tree.installedSamples);
    // A program run from its build folder has its samples beside it.
    fs::create_directory(tree.bin / "samples");
    EXPECT_EQ(engine::SampleDatabaseFor(tree.bin, tree.userFolder), tree.bin / "samples");
    EXPECT_FALSE(fs::exists(tree.userFolder));
    // Nothing installed and nothing beside: the folder beside the program, as before.
    TempDir bare;
    EXPECT_EQ(engine::SampleDatabaseFor(bare.path(), tree.userFolder), bare / "samples");
    EXPECT_FALSE(fs::exists(tree.userFolder));
}

} // namespace
