// The verify pane text and JSON report of every corpus folder and of the sample database, kept
// under tests/golden/cli (see support/Golden.h for how to rewrite them after a meant change).
#include "CliChild.h"
#include "support/Corpus.h"
#include "support/Golden.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>

namespace {

namespace fs = std::filesystem;

// Every folder holding corpus tables, with the name its golden files have, and the samples.
std::vector<std::pair<std::string, fs::path>> Folders() {
    std::set<fs::path> dirs;
    if (testsupport::CorpusPresent()) {
        for (const auto& db : testsupport::CorpusTables()) {
            dirs.insert(db.parent_path());
        }
    }
    std::vector<std::pair<std::string, fs::path>> folders;
    for (const auto& dir : dirs) {
        std::string name = fs::relative(dir, testsupport::CorpusDir()).generic_string();
        std::replace(name.begin(), name.end(), '/', '_');
        folders.emplace_back(name, dir);
    }
    folders.emplace_back("samples", testsupport::SamplesDir());
    return folders;
}

// The files (not the sub-folders) of `from` copied into a fresh `to`.
void CopyFiles(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from)) {
        if (entry.is_regular_file()) {
            fs::copy_file(entry.path(), to / entry.path().filename());
        }
    }
}

TEST(GoldenOutput, VerifyDetailsAndJsonOfEveryCorpusFolder) {
    const std::pair<const char*, const char*> modes[] = {{"--details", "verify-details"},
                                                         {"--json", "verify-json"}};
    for (const auto& [name, source] : Folders()) {
        for (const auto& [option, tag] : modes) {
            SCOPED_TRACE(name + " " + option);
            testsupport::TempDir scratch;
            const fs::path dir = scratch / name;
            CopyFiles(source, dir);
            const clitest::ChildRun run =
                clitest::RunChild({"verify", option, dir.string()},
                                  {{"MENDRIX_ENGINE_CONFIG", (scratch / "none.ini").string()}});
            std::string text = run.out + "exit " + std::to_string(run.exitCode) + "\n";
            if (!run.err.empty()) {
                text += "--- stderr\n" + run.err;
            }
            // The run log lies beside the program.
            text = testsupport::NormalisedOutput(text, testsupport::BinDir(), "BIN");
            testsupport::ExpectGolden("cli/" + name + "." + tag + ".txt",
                                      testsupport::NormalisedOutput(text, scratch.path(), "SCR"));
        }
    }
    MENDRIX_NEEDS_CORPUS(); // the samples were compared; the corpus folders were not
}

} // namespace
