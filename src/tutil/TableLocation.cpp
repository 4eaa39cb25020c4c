#include "tutil/TableLocation.h"

#include "engine/Config.h"
#include "engine/ErrorCodes.h"
#include "tutil/UtilityError.h"

#include <system_error>

namespace tutil {
namespace fs = std::filesystem;
namespace {

fs::path FindIgnoringCase(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::is_regular_file(dir / name, ec)) {
        return dir / name;
    }
    for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (engine::SameName(it->path().filename().string(), name) && it->is_regular_file(ec)) {
            return dir / it->path().filename();
        }
    }
    return {};
}

} // namespace

TableLocation LocateTable(const std::string& tablePath) {
    if (tablePath.empty()) {
        throw UtilityError(engine::err::InvalidArgument, "no table named");
    }
    const fs::path given(tablePath);
    const fs::path dir = given.parent_path();
    const std::string name = given.filename().string();
    fs::path found = FindIgnoringCase(dir, name);
    if (found.empty() && !given.has_extension()) {
        found = FindIgnoringCase(dir, name + ".DB");
    }
    if (found.empty()) {
        throw UtilityError(engine::err::TableMissing, "no such table: " + tablePath);
    }
    TableLocation location;
    location.db = found;
    location.dir = dir.empty() ? fs::path(".") : dir;
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
