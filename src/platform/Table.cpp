#include "platform/Table.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/IndexCatalog.h"
#include "engine/TableOpen.h"
#include "platform/DBErrors.h"
#include "platform/Database.h"

namespace platform {

void TIndexDefs::Update() {
    defs_.clear();
    std::vector<engine::IndexDefinition> read;
    Check(engine::ReadIndexDefinitions(table_.TablePath(), read));
    for (auto& def : read) {
        defs_.emplace_back(std::move(def.name), std::move(def.fields), def.primary);
    }
}

TTable::TTable(TDatabase& database) : database_(database) {}

TTable::~TTable() = default;

void TTable::SetTableName(const std::string& name) {
    if (Active()) {
        Check(engine::Fail(engine::err::TableActive, "table name of open table " + tableName_));
    }
    tableName_ = name;
}

void TTable::SetIndexName(const std::string& name) {
    if (Active()) {
        Check(engine::Fail(engine::err::TableActive, "index name of open table " + tableName_));
    }
    indexName_ = name;
}

void TTable::SetExclusive(bool exclusive) {
    if (Active()) {
        Check(engine::Fail(engine::err::TableActive, "exclusive use of open table " + tableName_));
    }
    exclusive_ = exclusive;
}

std::filesystem::path TTable::TablePath() const {
    if (!database_.Connected()) {
        database_.SetConnected(true);
    }
    std::filesystem::path path;
    Check(engine::LocateTable(database_.Directory(), tableName_, path));
    return path;
}

void TTable::SetActive(bool active) {
    if (!active) {
        opened_.reset();
        return;
    }
    if (opened_) {
        return;
    }
    const auto path = TablePath();
    Check(engine::OpenTable(path, indexName_, exclusive_, opened_));
}

} // namespace platform
