#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace cli {

// Writes CSV as RFC 4180 has it: fields separated by commas, every row ended by CRLF, and a
// field that holds a comma, a double quote, CR or LF enclosed in double quotes, with each of
// its double quotes doubled. A row of one empty field is written as "" so that readers do not
// take it for a blank line and drop the record.
class CsvWriter {
public:
    explicit CsvWriter(std::ostream& out) : out_(out) {}

    void Field(std::string_view text);
    // Writes the row; throws std::runtime_error when the stream fails.
    void EndRow();

private:
    std::ostream& out_;
    std::string row_;
    std::size_t fields_ = 0;
};

} // namespace cli
