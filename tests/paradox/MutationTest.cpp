#include "paradox/BlobFile.h"
#include "paradox/Family.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableReader.h"
#include "paradox/ValueText.h"
#include "support/CodedFindings.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

using paradox::FindingList;

// Every reading entry point over one family; whatever the bytes, this must return. What was
// found is added to `seen` when given.
std::size_t ReadEverything(const std::filesystem::path& db, std::string* seen = nullptr) {
    FindingList findings;
    auto table = paradox::TableReader::Open(db, findings);
    auto found = [&] {
        if (seen != nullptr) {
            *seen += testsupport::DescribeCoded(findings);
        }
        return findings.All().size();
    };
    if (!table) {
        return found();
    }
    const auto family = paradox::FindFamily(db);
    auto blobs = family.mb.empty() ? nullptr : paradox::BlobFile::Open(family.mb, findings);
    if (blobs) {
        blobs->CheckStructure(findings);
    }
    std::string dump;
    table->ForEachRecord([&](const paradox::RecordRef& record) {
        dump.clear();
        paradox::AppendRecordLine(dump, *table, record, blobs.get(), &findings);
    });
    paradox::AppendInfo(dump, table->Header());
    paradox::CheckTableBlobs(*table, blobs.get(), findings);
    if (!family.px.empty()) {
        paradox::CheckPrimaryIndex(*table, family.px, findings);
    }
    for (const auto& file : family.secondaries) {
        std::string ext = paradox::UpperExtension(file);
        if (ext[0] != 'X') {
            continue;
        }
        std::filesystem::path y;
        for (const auto& other : family.secondaries) {
            const std::string otherExt = paradox::UpperExtension(other);
            if (otherExt[0] == 'Y' && otherExt.substr(1) == ext.substr(1)) {
                y = other;
            }
        }
        paradox::CheckSecondaryIndex(*table, file, y, findings);
    }
    return found();
}

struct Family {
    const char* folder;
    const char* stem;
    std::vector<const char*> extensions;
};

// Damage at random places of one member of each family (headers hit more often than data),
// read back through everything. The sanitizer build turns any stray access into a failure.
TEST(Mutation, RandomDamageNeverCrashesAnyReader) {
    MENDRIX_NEEDS_CORPUS();
    const Family families[] = {
        {"leonhad-paradoxdriver/db", "CUSTOMER", {"DB", "PX", "MB", "X06", "Y06"}},
        {"leonhad-paradoxdriver/areas", "ZIPCODES", {"DB", "PX"}},
        {"MedilinkPS-Paradox-Reader", "testtab", {"DB", "PX", "MB", "XG0", "YG0"}},
        {"leonhad-paradoxdriver/mtdemo", "KRENTAL", {"DB", "PX"}},
        {"leonhad-paradoxdriver/fields", "graphic240", {"db", "px", "mb"}},
    };
    // MENDRIX_MUTATION_ROUNDS / MENDRIX_MUTATION_SEED allow a longer hunt by hand.
    const char* roundsText = std::getenv("MENDRIX_MUTATION_ROUNDS");
    const char* seedText = std::getenv("MENDRIX_MUTATION_SEED");
    const int roundsPerFamily = roundsText != nullptr ? std::atoi(roundsText) : 60;
    std::mt19937 random(seedText != nullptr ? static_cast<unsigned>(std::atol(seedText))
                                            : 20261207u);
    int rounds = 0;
    std::string seen; // the findings of each round, against tests/golden/ unless hunting
    for (const auto& family : families) {
        testsupport::TempDir dir;
        std::vector<std::string> originals;
        for (const char* ext : family.extensions) {
            const std::string name = std::string(family.stem) + "." + ext;
            originals.push_back(
                testsupport::ReadFileBytes(testsupport::CorpusDir() / family.folder / name));
            testsupport::WriteFileBytes(dir / name, originals.back());
        }
        const auto db = dir / (std::string(family.stem) + "." + family.extensions[0]);
        ASSERT_EQ(ReadEverything(db), 0u) << family.stem;
        for (int round = 0; round < roundsPerFamily; ++round) {
            const std::size_t member = random() % originals.size();
            std::string bytes = originals[member];
            const int edits = 1 + static_cast<int>(random() % 8);
            for (int e = 0; e < edits && !bytes.empty(); ++e) {
                const bool header = random() % 2 == 0;
                const std::size_t limit =
                    header ? std::min<std::size_t>(bytes.size(), 0x200) : bytes.size();
                const std::size_t at = random() % limit;
                switch (random() % 4) {
                case 0:
                    bytes[at] = static_cast<char>(random());
                    break;
                case 1:
                    bytes[at] = static_cast<char>(0xFF);
                    break;
                case 2:
                    bytes[at] = 0;
                    break;
                default:
                    bytes.resize(at);
                    break;
                }
            }
            const std::string name = std::string(family.stem) + "." + family.extensions[member];
            testsupport::WriteFileBytes(dir / name, bytes);
            seen += "round " + std::to_string(rounds) + " " + name + "\n";
            ReadEverything(db, &seen);
            testsupport::WriteFileBytes(dir / name, originals[member]);
            ++rounds;
        }
    }
    EXPECT_EQ(rounds, 5 * roundsPerFamily);
    if (roundsText == nullptr && seedText == nullptr) {
        testsupport::ExpectGolden("mutation/RandomDamage.txt", seen);
    }
}

} // namespace
