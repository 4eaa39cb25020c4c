#include "tutil/TableLocation.h"

#include "engine/ErrorCodes.h"
#include "engine/TableOpen.h"
#include "tutil/UtilityError.h"

#include <system_error>

namespace tutil {
namespace fs = std::filesystem;

TableLocation LocateTable(const std::string& tablePath) {
    if (tablePath.empty()) {
        throw UtilityError(engine::err::InvalidArgument, "no table named");
    }
    const fs::path given(tablePath);
    const fs::path found =
        engine::FindTableFile(given.parent_path().string(), given.filename().string());
    std::error_code ec;
    if (!fs::is_regular_file(found, ec)) {
        throw UtilityError(engine::err::TableMissing, "no such table: " + tablePath);
    }
    TableLocation location;
    location.db = found;
    location.dir = given.parent_path().empty() ? fs::path(".") : given.parent_path();
    location.stem = found.stem().string();
    return location;
}

std::string WorkTableStem(const TableLocation& table, const std::string& name) {
    const fs::path given(name);
    if (name.empty() || given.filename().empty()) {
        throw UtilityError(engine::err::InvalidArgument, "work table has no name");
    }
    if (given.has_parent_path()) {
        std::error_code ec;
        if (!fs::equivalent(given.parent_path(), table.dir, ec)) {
            throw UtilityError(engine::err::InvalidArgument,
                               "work table must be in the table's folder: " + name);
        }
    }
    const std::string stem = given.stem().string();
    if (stem.empty()) {
        throw UtilityError(engine::err::InvalidArgument, "work table has no name: " + name);
    }
    return stem;
}

} // namespace tutil
