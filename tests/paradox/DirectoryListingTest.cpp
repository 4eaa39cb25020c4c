#include "paradox/DirectoryListing.h"

#include "paradox/Family.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

std::vector<std::string> Names(const paradox::DirectoryListing& listing) {
    std::vector<std::string> names;
    for (const auto& entry : listing.Entries()) {
        names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Lists(const fs::path& dir, const std::string& name) {
    const auto names = Names(*paradox::ListDirectory(dir));
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Long enough for the folder's times to be older than a listing by more than a clock tick.
void LetTheFolderAge() {
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
}

// A listing kept for a folder must never hide what changed in it since, whether the change
// comes right after the listing or after the listing has been reused.
TEST(DirectoryListing, ReusedOnlyWhileTheFolderIsUnchanged) {
    TempDir dir;
    WriteFileBytes(dir / "ORDERS.DB", "x");
    LetTheFolderAge();
    const auto first = paradox::ListDirectory(dir.path());
    const auto again = paradox::ListDirectory(dir.path());
    EXPECT_EQ(first, again) << "an unchanged folder is read again";

    WriteFileBytes(dir / "ORDERS.PX", "x"); // at once: in the same clock tick as the listing
    EXPECT_TRUE(Lists(dir.path(), "ORDERS.PX"));
    fs::rename(dir / "ORDERS.PX", dir / "orders.px");
    EXPECT_TRUE(Lists(dir.path(), "orders.px"));
    EXPECT_FALSE(Lists(dir.path(), "ORDERS.PX"));

    LetTheFolderAge();
    EXPECT_TRUE(Lists(dir.path(), "orders.px")); // trusted from here on
    fs::remove(dir / "orders.px");
    EXPECT_FALSE(Lists(dir.path(), "orders.px"));
    WriteFileBytes(dir / "PARADOX.LCK", "");
    EXPECT_EQ(paradox::ListDirectory(dir.path())->FindIgnoringCase("paradox.lck"), "PARADOX.LCK");

    // A folder removed and made again under the same name is another folder.
    LetTheFolderAge();
    ASSERT_TRUE(Lists(dir.path(), "ORDERS.DB"));
    fs::remove_all(dir.path());
    fs::create_directory(dir.path());
    WriteFileBytes(dir / "OTHER.DB", "x");
    EXPECT_FALSE(Lists(dir.path(), "ORDERS.DB"));
    EXPECT_TRUE(Lists(dir.path(), "OTHER.DB"));

    std::error_code error;
    EXPECT_TRUE(paradox::ListDirectory(dir / "missing", error)->Entries().empty());
    EXPECT_TRUE(error);
}

// The family found through the listing's stem look-up is the one the membership rule gives
// on the whole folder: stems with dots, case variants, other tables, folders and links.
TEST(DirectoryListing, FamilyFromTheStemLookupMatchesTheWholeFolder) {
    TempDir dir;
    for (const char* name :
         {"orders.DB", "orders.PX", "ORDERS.px", "Orders.MB", "orders.X02", "ORDERS.Y02",
          "ORDERS.DB", "orders.b.DB", "orders.b.PX", "orders", "ordersX.PX", "orders.VAL",
          "ORDERS.TV", "order.PX", "orders.x02.bak"}) {
        WriteFileBytes(dir / name, "x");
    }
    fs::create_directory(dir / "orders.Y03");
    fs::create_symlink(dir / "orders.VAL", dir / "orders.FAM");
    LetTheFolderAge();

    std::vector<std::string> regular;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        if (entry.is_regular_file()) {
            regular.push_back(entry.path().filename().string());
        }
    }
    for (const std::string stem : {"orders", "ORDERS", "orders.b", "order"}) {
        SCOPED_TRACE(stem);
        const auto expected = paradox::SplitFamilyNames(regular, stem);
        paradox::TableFamily family = paradox::FindFamily(dir / (stem + ".DB"));
        std::vector<std::string> found;
        for (const auto& file : paradox::AllFamilyFiles(family)) {
            found.push_back(file.filename().string());
        }
        for (const auto& file : family.ambiguous) {
            found.push_back("?" + file.filename().string());
        }
        std::vector<std::string> wanted{stem + ".DB"};
        for (const auto& name : expected.members) {
            if (name != stem + ".DB") {
                wanted.push_back(name);
            }
        }
        for (const auto& name : expected.ambiguous) {
            wanted.push_back("?" + name);
        }
        std::sort(found.begin(), found.end());
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(found, wanted);
    }
    // The symbolic link to a regular file counts as one; the folder named like an index not.
    const auto orders = paradox::FindFamily(dir / "orders.DB");
    EXPECT_TRUE(std::any_of(orders.others.begin(), orders.others.end(),
                            [](const fs::path& p) { return p.filename() == "orders.FAM"; }));
    EXPECT_TRUE(std::none_of(orders.secondaries.begin(), orders.secondaries.end(),
                             [](const fs::path& p) { return p.filename() == "orders.Y03"; }));
}

} // namespace
