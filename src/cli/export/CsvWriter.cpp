#include "cli/export/CsvWriter.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

namespace cli {

CsvWriter::CsvWriter(std::ostream& out, CsvDialect dialect) : out_(out), dialect_(dialect) {
    for (const char c : {dialect_.delimiter, '"', '\r', '\n'}) {
        special_[static_cast<unsigned char>(c)] = true;
    }
}

void CsvWriter::Field(std::string_view text, bool quote) {
    if (fields_++ > 0) {
        row_ += dialect_.delimiter;
    }
    // A plain loop: find_first_of would search the set of special characters once per byte.
    if (!quote && std::none_of(text.begin(), text.end(), [this](char c) {
            return special_[static_cast<unsigned char>(c)];
        })) {
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
