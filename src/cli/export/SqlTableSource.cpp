#include "cli/export/SqlTableSource.h"

#include "paradox/NameCase.h"
#include "tutil/SecondarySpecs.h"

namespace cli {

std::string SqlTableNamer::NameOf(const std::filesystem::path& table) {
    const std::string base = table.stem().string();
    std::string name = base;
    for (int n = 2; used_.contains(paradox::UpperAscii(name)); ++n) {
        name = base + '#' + std::to_string(n);
    }
    used_.insert(paradox::UpperAscii(name));
    return name;
}

paradox::TableSchema SchemaWithIndexes(const paradox::TableReader& reader) {
    paradox::TableSchema schema = reader.Schema();
    const tutil::TableLocation location{.db = reader.Path(),
                                        .dir = reader.Path().parent_path(),
                                        .stem = reader.Path().stem().string()};
    schema.secondaryIndexes = tutil::ReadSecondaryIndexSpecs(location, schema);
    return schema;
}

} // namespace cli
