#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace cli {

// How CSV rows are written; the defaults are RFC 4180's.
struct CsvDialect {
    char delimiter = ',';
    bool crlf = true; // rows end in CRLF, else in LF
};

// Writes CSV as RFC 4180 has it: fields separated by the delimiter, every row ended by CRLF
// (or LF), and a field that holds the delimiter, a double quote, CR or LF enclosed in double
// quotes, with each of its double quotes doubled. A row of one empty field is written as ""
// so that readers do not take it for a blank line and drop the record.
class CsvWriter {
public:
    explicit CsvWriter(std::ostream& out, CsvDialect dialect = {}) : out_(out), dialect_(dialect) {}

    // `quote` encloses the field in double quotes even when it needs none.
    void Field(std::string_view text, bool quote = false);
    // Writes the row; throws std::runtime_error when the stream fails.
    void EndRow();

private:
    std::ostream& out_;
    CsvDialect dialect_;
    std::string row_;
    std::size_t fields_ = 0;
};

} // namespace cli
