#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cli {

// Appends `size` bytes in the base64 of RFC 4648 (standard alphabet, '=' padding, no line
// breaks).
void AppendBase64(std::string& out, const std::uint8_t* data, std::size_t size);

} // namespace cli
