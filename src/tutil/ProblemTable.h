#pragma once

#include "paradox/Finding.h"
#include "paradox/Schema.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace tutil {

// The rows of a rebuild's problem table: the raw bytes (hex) of a record that could not be
// placed, where it came from (file, block, position) and why. Written only when there is at
// least one row.
class ProblemTable {
public:
    // A non-zero `keyValue` writes the table encrypted, as the protected table whose records
    // it holds.
    ProblemTable(std::filesystem::path dir, std::string stem, std::uint32_t keyValue = 0);
    ~ProblemTable();
    ProblemTable(const ProblemTable&) = delete;
    ProblemTable& operator=(const ProblemTable&) = delete;

    static paradox::TableSchema Schema();

    void Add(const std::string& file, std::int64_t block, std::int64_t position,
             paradox::FindingCode code, const std::string& reason,
             std::span<const std::uint8_t> raw);
    void Finish();
    std::uint64_t Rows() const { return rows_; }

private:
    std::filesystem::path dir_;
    std::string stem_;
    std::uint32_t keyValue_ = 0;
    std::unique_ptr<class ProblemWriter> writer_;
    std::uint64_t rows_ = 0;
};

} // namespace tutil
