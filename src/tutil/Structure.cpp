#include "tutil/Structure.h"

#include "engine/ErrorCodes.h"
#include "paradox/Family.h"
#include "paradox/Header.h"
#include "paradox/KeySearch.h"
#include "paradox/MappedFile.h"
#include "paradox/TableReader.h"
#include "tutil/MemberHeader.h"
#include "tutil/SecondarySpecs.h"
#include "tutil/StructureProof.h"
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

// The structure a salvage finds; the error the header gave when it finds none.
paradox::TableSchema SalvagedOrThrow(const TableLocation& table, const StructureChoice& structure,
                                     std::uint16_t code, const std::string& error) {
    SalvagedStructure salvaged = SalvageStructure(table, structure);
    if (!salvaged.used) {
        throw UtilityError(code,
                           error + "; no structure source fits it: " + salvaged.WhyNoneHeld());
    }
    return std::move(salvaged.schema);
}

} // namespace

paradox::TableSchema ReadTableStructure(const TableLocation& table,
                                        const StructureChoice& structure) {
    std::string error;
    auto file = paradox::MappedFile::Open(table.db, &error);
    if (!file) {
        throw UtilityError(engine::err::IoError, error);
    }
    paradox::FindingList findings;
    const paradox::ParsedHeader parsed =
        paradox::ParseHeaderWithReason(file->View(), table.db.filename().string(), findings);
    const auto& header = parsed.header;
    if (!header) {
        using paradox::HeaderFailure;
        const std::uint16_t code = parsed.failure == HeaderFailure::NotAParadoxFile
                                       ? engine::err::NotATable
                                       : engine::err::HeaderCorrupt;
        const std::string error = "header of " + table.db.string() + " cannot be read";
        if (parsed.failure == HeaderFailure::TooShort) {
            throw UtilityError(code, error);
        }
        return SalvagedOrThrow(table, structure, code, error);
    }
    if (!header->IsTable()) {
        throw UtilityError(engine::err::NotATable, table.db.string() + " is not a table");
    }
    RefuseWithoutKey(*header, file->View(), table);
    if (!header->fieldsKnown) {
        return SalvagedOrThrow(table, structure, engine::err::HeaderCorrupt,
                               "field descriptors of " + table.db.string() + " are damaged");
    }
    if (structure.NamesASource()) {
        return SalvagedOrThrow(table, structure, engine::err::HeaderCorrupt,
                               "the structure source named for " + table.db.string() +
                                   " is refused");
    }
    paradox::FindingList ignored; // the verify reports the table's other damage
    if (const auto reader = paradox::TableReader::OpenWithHeader(table.db, *header, ignored)) {
        const std::string contradiction =
            StructureContradiction(*reader, paradox::FindFamily(table.db).mb);
        if (!contradiction.empty()) {
            return SalvagedOrThrow(table, structure, engine::err::HeaderCorrupt,
                                   "the fields in the header of " + table.db.string() +
                                       " do not fit its data (" + contradiction + ")");
        }
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
