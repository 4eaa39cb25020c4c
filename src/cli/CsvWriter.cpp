#include "cli/CsvWriter.h"

#include <ostream>
#include <stdexcept>

namespace cli {

void CsvWriter::Field(std::string_view text) {
    if (rowStarted_) {
        row_ += ',';
    }
    rowStarted_ = true;
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
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
    row_ += "\r\n";
    out_.write(row_.data(), static_cast<std::streamsize>(row_.size()));
    row_.clear();
    rowStarted_ = false;
    if (!out_) {
        throw std::runtime_error("cannot write the output");
    }
}

} // namespace cli
