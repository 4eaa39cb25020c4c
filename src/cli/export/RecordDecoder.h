#pragma once

#include "cli/export/CodePage.h"
#include "cli/export/ExportValue.h"
#include "paradox/Finding.h"

#include <cstdint>
#include <string>
#include <vector>

namespace paradox {
class BlobFile;
class TableReader;
struct RecordRef;
} // namespace paradox

namespace cli {

// Turns the records of a table into export values, text converted to UTF-8, and counts what
// could not be read. Blob problems go to `findings`, naming the record and field.
class RecordDecoder {
public:
    RecordDecoder(const paradox::TableReader& table, const paradox::BlobFile* blobs,
                  TextConverter& text, paradox::FindingList& findings);

    // The field names in UTF-8.
    std::vector<std::string> FieldNames();
    // Every field of the record, in field order.
    void Decode(const paradox::RecordRef& record, std::vector<ExportValue>& values);

    // Values that could not be read and were given as NULL.
    std::uint64_t UnreadableValues() const { return unreadable_; }
    // Bytes of text the code page does not define, given as U+FFFD, and the texts (values and
    // field names) that held them.
    std::uint64_t ReplacedBytes() const { return replaced_; }
    std::uint64_t TextsWithReplacedBytes() const { return textsWithReplaced_; }
    // Whether any text held a byte outside ASCII, which only the right code page reads right.
    bool SawNonAsciiText() const { return sawNonAscii_; }

private:
    void DecodeField(std::size_t index, const paradox::RecordRef& record, const std::uint8_t* field,
                     ExportValue& value);
    void DecodeBlob(std::size_t index, const paradox::RecordRef& record, const std::uint8_t* field,
                    ExportValue& value);
    void SetText(ExportValue& value, const std::uint8_t* bytes, std::size_t size);
    void AppendText(std::string& out, const std::uint8_t* bytes, std::size_t size);
    void Unreadable(ExportValue& value);

    const paradox::TableReader& table_;
    const paradox::BlobFile* blobs_;
    TextConverter& text_;
    paradox::FindingList& findings_;
    std::vector<std::uint16_t> lengths_; // of each field in the record; 0: not in it
    std::vector<std::uint8_t> blobData_;
    std::uint64_t unreadable_ = 0;
    std::uint64_t replaced_ = 0;
    std::uint64_t textsWithReplaced_ = 0;
    bool sawNonAscii_ = false;
};

// Whether the export writes values of this field type as binary data.
bool IsBinaryField(std::uint8_t typeCode);

} // namespace cli
