#include "cli/export/CsvWriter.h"

#include "cli/export/ByteScan.h"

#include <ostream>
#include <stdexcept>

namespace cli {

void CsvWriter::Field(std::string_view text, bool quote) {
    if (fields_++ > 0) {
        row_ += dialect_.delimiter;
    }
    if (!quote && !HasAnyOf(text.data(), text.size(), dialect_.delimiter, '"', '\r', '\n')) {
        row_ += text;
        return;
    }
    row_ += '"';
    for (const char c : text) {
        if (c == '"') {
            row_ += '"';
        }
        row_ += c;
    }
    row_ += '"';
}

void CsvWriter::EndRow() {
    if (fields_ == 1 && row_.empty()) {
        row_ = "\"\"";
    }
    row_ += dialect_.crlf ? "\r\n" : "\n";
    out_.write(row_.data(), static_cast<std::streamsize>(row_.size()));
    row_.clear();
    fields_ = 0;
    if (!out_) {
        throw std::runtime_error("cannot write the output");
    }
}

} // namespace cli
