#include "cli/export/JsonExport.h"

#include "cli/export/Base64.h"
#include "cli/export/CsvExport.h"
#include "cli/export/JsonText.h"

#include <charconv>
#include <cmath>
#include <ostream>
#include <set>
#include <stdexcept>

namespace cli {
namespace {

std::vector<std::string> UniqueKeys(const std::vector<std::string>& names) {
    std::set<std::string> used;
    std::vector<std::string> keys;
    for (const auto& name : names) {
        std::string key = name;
        for (int n = 2; used.contains(key); ++n) {
            key = name + '#' + std::to_string(n);
        }
        used.insert(key);
        keys.push_back(std::move(key));
    }
    return keys;
}

void AppendValue(std::string& out, const ExportValue& value) {
    using Kind = ExportValue::Kind;
    switch (value.kind) {
    case Kind::Null:
        out += "null";
        return;
    case Kind::Text:
    case Kind::Decimal:
    case Kind::Temporal:
        AppendJsonString(out, value.text);
        return;
    case Kind::Integer: {
        char text[24];
        out.append(text, std::to_chars(text, text + sizeof text, value.integer).ptr);
        return;
    }
    case Kind::Real:
        if (std::isfinite(value.real)) {
            AppendJsonNumber(out, value.real);
        } else {
            // JSON has no such numbers: written as null they would be lost.
            out += '"';
            AppendShortestDouble(out, value.real);
            out += '"';
        }
        return;
    case Kind::Boolean:
        out += value.boolean ? "true" : "false";
        return;
    case Kind::Binary:
        out += '"';
        AppendBase64(out, value.bytes.data(), value.bytes.size());
        out += '"';
        return;
    }
    out += "null";
}

} // namespace

JsonExport::JsonExport(std::ostream& out, const std::vector<std::string>& fieldNames, Layout layout)
    : out_(out), layout_(layout) {
    for (const auto& key : UniqueKeys(fieldNames)) {
        std::string member;
        AppendJsonString(member, key);
        members_.push_back(member + ':');
    }
    if (layout_ == Layout::Array) {
        out_ << '[';
    }
}

void JsonExport::Record(const std::vector<ExportValue>& values) {
    text_.clear();
    if (layout_ == Layout::Array) {
        text_ += empty_ ? "\n" : ",\n";
    }
    text_ += '{';
    for (std::size_t i = 0; i < values.size() && i < members_.size(); ++i) {
        if (i > 0) {
            text_ += ',';
        }
        text_ += members_[i];
        AppendValue(text_, values[i]);
    }
    text_ += '}';
    if (layout_ == Layout::Lines) {
        text_ += '\n';
    }
    empty_ = false;
    Write();
}

void JsonExport::Finish() {
    if (layout_ == Layout::Array) {
        text_ = empty_ ? "]\n" : "\n]\n";
        Write();
    }
    out_.flush();
    if (!out_) {
        throw std::runtime_error("cannot write the output");
    }
}

void JsonExport::Write() {
    out_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
    if (!out_) {
        throw std::runtime_error("cannot write the output");
    }
}

} // namespace cli
