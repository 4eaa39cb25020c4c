#include "cli/export/JsonArrayWriter.h"

#include <ostream>
#include <stdexcept>

namespace cli {
namespace {

void Check(const std::ostream& out) {
    if (!out) {
        throw std::runtime_error("cannot write the output");
    }
}

} // namespace

JsonArrayWriter::JsonArrayWriter(std::ostream& out) : out_(out) {
    out_ << '[';
}

void JsonArrayWriter::Add(const nlohmann::ordered_json& element) {
    // Strings are UTF-8 already; `replace` only guards against a fault in that.
    const std::string text = element.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    out_ << (empty_ ? "\n" : ",\n") << text;
    empty_ = false;
    Check(out_);
}

void JsonArrayWriter::Finish() {
    out_ << (empty_ ? "]\n" : "\n]\n");
    out_.flush();
    Check(out_);
}

} // namespace cli
