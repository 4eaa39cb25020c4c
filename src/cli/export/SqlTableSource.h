#pragma once

#include "paradox/Schema.h"
#include "paradox/TableReader.h"

#include <filesystem>
#include <set>
#include <string>

namespace cli {

// The SQL table name of each table of one schema or export: its file name without the
// extension; one that another table (in another folder) has already, in any case, gets
// "#2", "#3"...
class SqlTableNamer {
public:
    std::string NameOf(const std::filesystem::path& table);

private:
    std::set<std::string> used_;
};

// The structure the SQL of a table is made from: its fields and key as its header has them,
// and the secondary indexes beside it.
paradox::TableSchema SchemaWithIndexes(const paradox::TableReader& reader);

} // namespace cli
