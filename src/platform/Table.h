#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace engine {
class OpenedTable;
}

namespace platform {

class TDatabase;
class TTable;

// One index of a table: "Primary", a field name or a composite index's label.
class TIndexDef {
public:
    TIndexDef(std::string name, std::string fields, bool primary)
        : name_(std::move(name)), fields_(std::move(fields)), primary_(primary) {}
    const std::string& Name() const { return name_; }
    const std::string& Fields() const { return fields_; } // "Name;City"
    bool Primary() const { return primary_; }

private:
    std::string name_;
    std::string fields_;
    bool primary_;
};

// The index definitions of a table, re-read from the table's structure by Update(): the
// primary index when the table is keyed, then each secondary index in file-name order.
class TIndexDefs {
public:
    explicit TIndexDefs(TTable& table) : table_(table) {}
    void Update();
    int Count() const { return static_cast<int>(defs_.size()); }
    const TIndexDef& Items(int i) const { return defs_.at(static_cast<std::size_t>(i)); }
    const TIndexDef& operator[](int i) const { return Items(i); }

private:
    TTable& table_;
    std::vector<TIndexDef> defs_;
};

// A table of a database, opened (Active = true) on its IndexName: exclusively when Exclusive
// is set. Opening tests the table; a damaged or busy table raises EDBEngineError. The table
// stays locked until it is closed. The database must outlive the object.
class TTable {
public:
    explicit TTable(TDatabase& database);
    ~TTable();
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    TDatabase& Database() const { return database_; }

    // Table name and index name can be changed only while the table is closed.
    void SetTableName(const std::string& name);
    const std::string& TableName() const { return tableName_; }
    void SetIndexName(const std::string& name);
    const std::string& IndexName() const { return indexName_; }
    void SetExclusive(bool exclusive);
    bool Exclusive() const { return exclusive_; }

    TIndexDefs& IndexDefs() { return indexDefs_; }

    void SetActive(bool active);
    bool Active() const { return opened_ != nullptr; }
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }

    // The table's .DB in the database's directory (connecting the database when needed).
    std::filesystem::path TablePath() const;

private:
    TDatabase& database_;
    std::string tableName_;
    std::string indexName_;
    bool exclusive_ = false;
    TIndexDefs indexDefs_{*this};
    std::unique_ptr<engine::OpenedTable> opened_;
};

} // namespace platform
