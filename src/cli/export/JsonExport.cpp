#include "cli/export/JsonExport.h"

#include "cli/export/Base64.h"
#include "cli/export/CsvExport.h"

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

nlohmann::ordered_json ToJson(const ExportValue& value) {
    using Kind = ExportValue::Kind;
    switch (value.kind) {
    case Kind::Null:
        return nullptr;
    case Kind::Text:
    case Kind::Decimal:
    case Kind::Temporal:
        return value.text;
    case Kind::Integer:
        return value.integer;
    case Kind::Real:
        if (std::isfinite(value.real)) {
            return value.real;
        } else {
            // JSON has no such numbers; nlohmann would write null and lose the value.
            std::string text;
            AppendShortestDouble(text, value.real);
            return text;
        }
    case Kind::Boolean:
        return value.boolean;
    case Kind::Binary: {
        std::string text;
        AppendBase64(text, value.bytes.data(), value.bytes.size());
        return text;
    }
    }
    return nullptr;
}

} // namespace

JsonExport::JsonExport(std::ostream& out, const std::vector<std::string>& fieldNames, Layout layout)
    : out_(out), keys_(UniqueKeys(fieldNames)) {
    if (layout == Layout::Array) {
        array_.emplace(out);
    }
}

void JsonExport::Record(const std::vector<ExportValue>& values) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < values.size() && i < keys_.size(); ++i) {
        object[keys_[i]] = ToJson(values[i]);
    }
    if (array_) {
        array_->Add(object);
        return;
    }
    out_ << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    if (!out_) {
        throw std::runtime_error("cannot write the output");
    }
}

void JsonExport::Finish() {
    if (array_) {
        array_->Finish();
    }
}

} // namespace cli
