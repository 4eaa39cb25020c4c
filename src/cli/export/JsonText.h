#pragma once

#include <string>
#include <string_view>

namespace cli {

// JSON text of single values, written byte for byte as nlohmann::json's dump(-1) with invalid
// UTF-8 replaced writes them, without building a json value for each.

// A string: quoted, with '"', '\' and control characters escaped.
void AppendJsonString(std::string& out, std::string_view text);
// A finite number (the caller writes a NaN or an infinity some other way).
void AppendJsonNumber(std::string& out, double value);

} // namespace cli
