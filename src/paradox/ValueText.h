#pragma once

#include "paradox/Finding.h"
#include "paradox/Header.h"
#include "paradox/Schema.h"

#include <cstdint>
#include <string>

namespace paradox {

class BlobFile;
class TableReader;
struct RecordRef;

// The canonical dump text of one field value (`\N` for NULL, `\E` when it cannot be decoded).
// `field` points at the field's ByteLength() bytes inside a record. Blob fields read their
// data through `blobs` (may be null); problems doing so go to `findings` when given, with
// `where` naming the record.
void AppendFieldText(std::string& out, const FieldSpec& spec, const std::uint8_t* field,
                     const BlobFile* blobs, FindingList* findings = nullptr,
                     const std::string& where = {});

// One dump line: every field of the record, TAB-separated, ending in LF.
void AppendRecordLine(std::string& out, const TableReader& table, const RecordRef& record,
                      const BlobFile* blobs, FindingList* findings = nullptr);

// The table structure as `key: value` lines followed by one line per field.
void AppendInfo(std::string& out, const TableHeader& header);

// Pieces of the value text, also used by tests and other dumps.
void AppendDateText(std::string& out, std::int64_t dayNumber);
void AppendTimeText(std::string& out, std::int64_t milliseconds);
void AppendTimestampText(std::string& out, double milliseconds);
void AppendDoubleText(std::string& out, double value);
void AppendHex(std::string& out, const std::uint8_t* bytes, std::size_t size);

} // namespace paradox
