// The --json report of the run commands against docs/report.schema.json: every key it writes
// is documented there, with its type; the format version, ISO 8601 times and one-word states.

#include "CliChild.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

bool HasType(const Json& value, const std::string& type) {
    return (type == "object" && value.is_object()) || (type == "array" && value.is_array()) ||
           (type == "string" && value.is_string()) || (type == "boolean" && value.is_boolean()) ||
           (type == "integer" && value.is_number_integer()) || (type == "null" && value.is_null());
}

// Checks `value` against `schema` with the words the report's schema uses (type, const, enum,
// properties, required, additionalProperties, items, $ref into $defs); adds each mismatch.
void Validate(const Json& root, const Json& schema, const Json& value, const std::string& where,
              std::vector<std::string>& problems) {
    if (schema.contains("$ref")) {
        const std::string ref = schema["$ref"];
        Validate(root, root.at("$defs").at(ref.substr(ref.rfind('/') + 1)), value, where, problems);
        return;
    }
    if (schema.contains("type")) {
        const Json types =
            schema["type"].is_array() ? schema["type"] : Json::array({schema["type"]});
        if (std::none_of(types.begin(), types.end(),
                         [&](const Json& type) { return HasType(value, type); })) {
            problems.push_back(where + ": " + value.dump() + " is not " + types.dump());
            return;
        }
    }
    if (schema.contains("const") && value != schema["const"]) {
        problems.push_back(where + ": " + value.dump() + " is not " + schema["const"].dump());
    }
    if (schema.contains("enum") &&
        std::find(schema["enum"].begin(), schema["enum"].end(), value) == schema["enum"].end()) {
        problems.push_back(where + ": " + value.dump() + " is none of " + schema["enum"].dump());
    }
    if (value.is_object()) {
        for (const auto& key : schema.value("required", Json::array())) {
            if (!value.contains(key)) {
                problems.push_back(where + ": no " + key.get<std::string>());
            }
        }
        const Json properties = schema.value("properties", Json::object());
        for (const auto& [key, member] : value.items()) {
            if (!properties.contains(key)) {
                problems.push_back(where + ": " + key + " is not in the schema");
            } else {
                Validate(root, properties[key], member, where + "." + key, problems);
            }
        }
    }
    if (value.is_array() && schema.contains("items")) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            Validate(root, schema["items"], value[i], where + "[" + std::to_string(i) + "]",
                     problems);
        }
    }
}

TEST(CliReport, KeysFollowTheSchemaWithVersionIsoTimesAndOneWordStates) {
    std::ifstream schemaFile(MENDRIX_REPORT_SCHEMA);
    const Json schema = Json::parse(schemaFile);
    ASSERT_EQ(schema.at("$schema"), "https://json-schema.org/draft/2020-12/schema");
    // The validator knows every word the schema uses.
    const std::set<std::string> known{
        "$schema", "$id",  "title",      "description", "type",
        "const",   "enum", "properties", "required",    "additionalProperties",
        "items",   "$ref", "$defs",      "format"};
    std::function<void(const Json&)> wordsKnown = [&](const Json& node) {
        for (const auto& [word, value] : node.items()) {
            EXPECT_TRUE(known.contains(word)) << word;
            if (word == "properties" || word == "$defs") {
                for (const auto& [name, sub] : value.items()) {
                    wordsKnown(sub);
                }
            } else if (word == "items") {
                wordsKnown(value);
            }
        }
    };
    wordsKnown(schema);

    testsupport::TempDir scratch;
    const clitest::Environment env{{"MENDRIX_ENGINE_CONFIG", (scratch / "none.ini").string()}};
    fs::copy(testsupport::SamplesDir(), scratch / "check");
    fs::copy(testsupport::SamplesDir(), scratch / "dry");
    const std::vector<std::vector<std::string>> commands{
        {"verify", "--json", "--details", (scratch / "dry").string(), (scratch / "none").string()},
        {"check", "--dry-run", "--json", (scratch / "dry").string()},
        {"check", "--json", "-v", (scratch / "check").string()}};
    std::set<std::string> states;
    for (const auto& args : commands) {
        SCOPED_TRACE(args.front() + " " + args.at(1) + " " + args.at(2));
        const clitest::ChildRun run = clitest::RunChild(args, env);
        const Json report = Json::parse(run.out);
        std::vector<std::string> problems;
        Validate(schema, schema, report, "report", problems);
        EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
        EXPECT_EQ(report.at("formatVersion"), 1);
        static const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)");
        for (const auto& entry : report.at("runs")) {
            const std::string start = entry.at("startTime");
            const std::string end = entry.at("endTime");
            EXPECT_TRUE(std::regex_match(start, iso)) << start;
            EXPECT_TRUE(std::regex_match(end, iso)) << end;
            EXPECT_LE(start, end);
            for (const auto& table : entry.at("tables")) {
                states.insert(table.at("state"));
            }
        }
    }
    // The samples hold healthy and damaged tables: a check repairs, a verify leaves problems.
    EXPECT_EQ(states, (std::set<std::string>{"healthy", "repaired", "problems"}));
}

} // namespace
