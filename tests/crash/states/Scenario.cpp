#include "Scenario.h"

#include "CrashModel.h"
#include "TableFixture.h"
#include "cli/Program.h"
#include "engine/IndexCatalog.h"
#include "engine/TableOpen.h"
#include "paradox/NameCase.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"
#include "support/TempDir.h"
#include "tutil/FamilySwap.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>
#include <unordered_set>

namespace crashstates {
namespace fs = std::filesystem;
using namespace tutilfixture;
using posix::RecordedKind;

namespace {

std::vector<std::string> Sorted(std::vector<std::string> values) {
    std::sort(values.begin(), values.end());
    return values;
}

std::vector<std::string> OrdersTable(const fs::path& dir, std::uint32_t keyValue) {
    return RecordValues(WriteOrders(dir, 600, true, true, keyValue));
}

// NOTES with a memo of a few hundred bytes to a few KB per record, in the .MB file.
std::vector<std::string> NotesTable(const fs::path& dir) {
    const paradox::TableSchema schema = NotesSchema(20);
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::vector<std::optional<std::vector<std::uint8_t>>>> blobs;
    paradox::RecordBuilder row(schema);
    for (int i = 1; i <= 120; ++i) {
        row.Clear().SetInt(0, i).SetText(1, "title " + std::to_string((i * 37) % 120));
        row.SetBlobText(2, "note " + std::to_string(i) + std::string(100 + i * 25, 'n'));
        records.push_back(row.Bytes());
        blobs.push_back(row.Blobs());
    }
    paradox::WriteTable(dir, "NOTES", schema, records, blobs);
    return RecordValues(dir / "NOTES.DB");
}

// ORDERS with a secondary index on every field but the key, so that the index files know every
// field; then the header's field count made unreadable: the structure comes back from them.
std::vector<std::string> HeaderLostTable(const fs::path& dir) {
    paradox::TableSchema schema = OrdersSchema(true, true);
    for (const std::uint16_t field : {3, 4}) {
        paradox::SecondaryIndexSpec spec = schema.secondaryIndexes.front();
        spec.extension = "X0" + std::to_string(field);
        spec.name = schema.fields[field - 1].name;
        spec.fieldNumbers = {field};
        schema.secondaryIndexes.push_back(spec);
    }
    std::vector<std::vector<std::uint8_t>> records;
    paradox::RecordBuilder row(schema);
    for (int id = 1; id <= 600; ++id) {
        row.Clear().SetInt(0, id).SetText(1, "customer " + std::to_string(id % 97));
        row.SetDouble(2, id * 0.5).SetLogical(3, id % 3 == 0);
        records.push_back(row.Bytes());
    }
    paradox::WriteTable(dir, "ORDERS", schema, records);
    const fs::path db = dir / "ORDERS.DB";
    const std::vector<std::string> values = RecordValues(db);
    std::string bytes = testsupport::ReadFileBytes(db);
    PutU16(bytes, 0x21, 700);
    testsupport::WriteFileBytes(db, bytes);
    return values;
}

struct Run {
    int exitCode = -1;
    std::string output;
};

// One mendrix-cli run in this process, its private directory inside `state`.
Run RunCli(const std::vector<std::string>& args, const fs::path& state) {
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    std::ostringstream out;
    Run run;
    run.exitCode = cli::RunProgram(args, out, out);
    run.output = out.str();
    return run;
}

std::uint64_t Fingerprint(const FolderImage& image) {
    std::uint64_t hash = 1469598103934665603ull;
    auto mix = [&](const std::uint8_t* bytes, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            hash = (hash ^ bytes[i]) * 1099511628211ull;
        }
        hash = (hash ^ 0xFF) * 1099511628211ull;
    };
    for (const auto& [name, bytes] : image) {
        mix(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
        if (bytes) {
            mix(bytes->data(), bytes->size());
        }
    }
    return hash;
}

std::string Describe(const posix::RecordedOperation& op) {
    static const char* const kinds[] = {"create",       "mkdir",      "write",  "truncate", "fsync",
                                        "fsync folder", "write back", "rename", "unlink"};
    std::string text = kinds[static_cast<int>(op.kind)] + std::string(" ") + op.shown.string();
    if (op.kind == RecordedKind::Write) {
        text += " @" + std::to_string(op.offset) + "+" + std::to_string(op.bytes.size());
    }
    return text;
}

// The folder of one crash state, checked as a user would find it.
class StateCheck {
public:
    StateCheck(const Scenario& scenario, const FolderImage& input,
               const std::vector<std::string>& before, const std::vector<std::string>& after)
        : scenario_(scenario), input_(input), before_(Sorted(before)), after_(Sorted(after)) {}

    // Empty when the state passes, else what is wrong.
    std::string Check(const FolderImage& state) const {
        testsupport::TempDir run;
        const fs::path data = run / "data";
        fs::create_directory(data);
        WriteFolder(state, data);
        const fs::path db = data / (scenario_.stem + ".DB");
        const bool leftovers = tutil::HasSwapLeftovers(data, scenario_.stem);
        const Run verify = RunCli({"verify", "--no-log", "--details", db.string()}, run / "state");
        std::string problems;
        auto fail = [&](const std::string& what) {
            problems += (problems.empty() ? "" : "; ") + what;
        };
        if (tutil::HasSwapLeftovers(data, scenario_.stem)) {
            fail("verify left the journal or staging folder");
        }
        if (leftovers && verify.output.find("interrupted") == std::string::npos) {
            fail("verify finished an interrupted rebuild without saying so");
        }
        const Run check = RunCli({"check", "--no-log", data.string()}, run / "state");
        if (check.exitCode != 0 && check.exitCode != 1) {
            fail("check ended with " + std::to_string(check.exitCode));
        }
        if (tutil::HasSwapLeftovers(data, scenario_.stem)) {
            fail("check left the journal or staging folder");
        }
        if (fs::exists(db)) {
            const std::vector<std::string> records = Sorted(RecordValues(db));
            if (records != before_ && records != after_) {
                fail("the table holds " + std::to_string(records.size()) +
                     " records, neither those before the rebuild nor those after it");
            }
            std::vector<engine::IndexDefinition> indexes;
            if (engine::ReadIndexDefinitions(db, indexes) != 0) {
                fail("its indexes cannot be listed");
            }
            for (const auto& index : indexes) {
                std::unique_ptr<engine::OpenedTable> opened;
                if (engine::OpenTable(db, index.name, true, opened) != 0) {
                    fail("it does not open on index " + index.name);
                }
            }
        } else {
            fail("the table is gone");
        }
        problems += BackupProblems(data);
        if (!problems.empty()) {
            problems += "\n--- verify:\n" + verify.output + "--- check:\n" + check.output;
        }
        return problems;
    }

private:
    // Every backup file must be a byte-identical copy of the table's file of its extension.
    std::string BackupProblems(const fs::path& data) const {
        std::string problems;
        const std::string backupStem = paradox::UpperAscii(scenario_.stem + "-BACKUP");
        for (const auto& entry : fs::directory_iterator(data)) {
            const std::string name = entry.path().filename().string();
            if (paradox::UpperAscii(name).rfind(backupStem, 0) != 0) {
                continue;
            }
            const std::string extension = paradox::UpperAscii(entry.path().extension().string());
            const auto original = std::find_if(input_.begin(), input_.end(), [&](const auto& file) {
                return paradox::UpperAscii(file.first) ==
                       paradox::UpperAscii(scenario_.stem) + extension;
            });
            const std::string bytes = testsupport::ReadFileBytes(entry.path());
            if (original == input_.end() || !original->second ||
                bytes != std::string(original->second->begin(), original->second->end())) {
                problems += "; the backup " + name + " differs from the table's file";
            }
        }
        return problems;
    }

    const Scenario& scenario_;
    const FolderImage& input_;
    std::vector<std::string> before_;
    std::vector<std::string> after_;
};

} // namespace

std::vector<Scenario> Scenarios() {
    return {
        {"plain table", "ORDERS", [](const fs::path& dir) { return OrdersTable(dir, 0); }},
        {"encrypted table", "ORDERS",
         [](const fs::path& dir) { return OrdersTable(dir, 0x5A17C3E1); }},
        {"table with blobs and secondary indexes", "NOTES", NotesTable},
        {"structure salvaged from an index file", "ORDERS", HeaderLostTable},
    };
}

Figures CheckScenario(const Scenario& scenario, const Sample& sample, std::ostream& log) {
    Figures figures;
    testsupport::TempDir work;
    const fs::path data = work / "data";
    const fs::path state = work / "state";
    fs::create_directory(data);
    const std::vector<std::string> before = scenario.make(data);
    const FolderImage input = ReadFolder(data);
    const fs::path db = data / (scenario.stem + ".DB");

    CrashModel model(data);
    posix::testing::StartRecording();
    const Run rebuild = RunCli({"rebuild", "--no-log", db.string()}, state);
    const std::vector<posix::RecordedOperation> operations = posix::testing::StopRecording();
    figures.operations = operations.size();
    if (std::getenv("MENDRIX_CRASH_TRACE") != nullptr) {
        for (std::size_t i = 0; i < operations.size(); ++i) {
            log << scenario.name << " " << i + 1 << ": " << Describe(operations[i]) << "\n";
        }
    }
    if (rebuild.exitCode != 0 && rebuild.exitCode != 1) {
        figures.failures.push_back("the rebuild itself failed (" +
                                   std::to_string(rebuild.exitCode) + "):\n" + rebuild.output);
        return figures;
    }
    const std::vector<std::string> after = RecordValues(db);
    const StateCheck check(scenario, input, before, after);

    std::mt19937_64 random(sample.seed);
    std::unordered_set<std::uint64_t> seen;
    const std::uint64_t randomPerBoundary = std::max<std::uint64_t>(
        sample.perBoundary, (sample.perScenario + operations.size()) / (operations.size() + 1));
    for (std::size_t boundary = 0; boundary <= operations.size(); ++boundary) {
        if (boundary > 0) {
            model.Apply(operations[boundary - 1]);
        }
        ++figures.boundaries;
        std::size_t n = 0;
        // Checks a state unless the same folder was checked before; says whether it was new.
        auto consider = [&](const FolderImage& crashState) {
            ++figures.generated;
            ++n;
            if (!seen.insert(Fingerprint(crashState)).second) {
                return false;
            }
            ++figures.checked;
            const std::string problem = check.Check(crashState);
            if (!problem.empty()) {
                std::string at = scenario.name + ", seed " + std::to_string(sample.seed) +
                                 ", after operation " + std::to_string(boundary) + " of " +
                                 std::to_string(operations.size());
                if (boundary > 0) {
                    at += " (" + Describe(operations[boundary - 1]) + ")";
                }
                std::string files;
                for (const auto& [name, bytes] : crashState) {
                    files +=
                        "  " + name + (bytes ? " " + std::to_string(bytes->size()) : "/") + "\n";
                }
                figures.failures.push_back(at + ", state " + std::to_string(n) + ": " + problem +
                                           "--- files of the state:\n" + files);
                log << figures.failures.back() << "\n";
            }
            return true;
        };
        if (model.StateCount(sample.allUpTo) <= sample.allUpTo) {
            for (const FolderImage& crashState : model.AllStates()) {
                consider(crashState);
            }
            continue;
        }
        consider(model.FlushedState());
        consider(model.KeptState());
        // Drawn until as many new folders turned up, or eight times as many draws were made.
        for (std::uint64_t found = 0, draws = 0;
             found < randomPerBoundary && draws < 8 * randomPerBoundary; ++draws) {
            found += consider(model.RandomState(random)) ? 1 : 0;
        }
    }
    for (const std::string& outside : model.Outside()) {
        if (outside.rfind(state.string(), 0) != 0) {
            figures.failures.push_back(scenario.name + ": the rebuild changed " + outside +
                                       ", outside the table's folder and the private directory");
        }
    }
    return figures;
}

} // namespace crashstates
