#include "tutil/Structure.h"

#include "engine/ErrorCodes.h"
#include "paradox/Family.h"
#include "paradox/Header.h"
#include "paradox/KeySearch.h"
#include "paradox/MappedFile.h"
#include "tutil/MemberBlockSize.h"
#include "tutil/SecondarySpecs.h"
#include "tutil/UtilityError.h"

#include <string>

namespace tutil {

using paradox::FindingCode;

namespace {

// A protected table for which no key decrypts block 1 cannot be rewritten: its records would
// be cipher text taken for data.
void RefuseWithoutKey(const paradox::TableHeader& header, paradox::ByteView file,
                      const TableLocation& table) {
    if (paradox::CheckStoredKey(header, file).fit == paradox::KeyFit::NoKey) {
        throw UtilityError(engine::err::TableEncrypted,
                           table.db.string() + " is encrypted and no key decrypts its blocks");
    }
}

} // namespace

paradox::TableSchema ReadTableStructure(const TableLocation& table) {
    std::string error;
    auto file = paradox::MappedFile::Open(table.db, &error);
    if (!file) {
        throw UtilityError(engine::err::IoError, error);
    }
    paradox::FindingList findings;
    const auto header = paradox::ParseHeader(file->View(), table.db.filename().string(), findings);
    if (!header) {
        const bool notATable =
            findings.Has(FindingCode::BadFileType) || findings.Has(FindingCode::BadFileVersion);
        throw UtilityError(notATable ? engine::err::NotATable : engine::err::HeaderCorrupt,
                           "header of " + table.db.string() + " cannot be read");
    }
    if (!header->IsTable()) {
        throw UtilityError(engine::err::NotATable, table.db.string() + " is not a table");
    }
    RefuseWithoutKey(*header, file->View(), table);
    if (findings.LeavesStructureUnknown()) {
        throw UtilityError(engine::err::HeaderCorrupt,
                           "field descriptors of " + table.db.string() + " are damaged");
    }
    paradox::TableSchema schema = header->ToSchema();
    if (schema.Keyed()) {
        if (auto code = MemberBlockSizeCode(paradox::FindFamily(table.db).px)) {
            schema.indexBlockSizeCode = *code;
        }
    }
    schema.secondaryIndexes = ReadSecondaryIndexSpecs(table, schema);
    return schema;
}

} // namespace tutil
