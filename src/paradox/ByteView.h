#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

namespace paradox {

// Bounds-checked access to bytes read from a file. Every getter returns nullopt (or the
// given fallback) instead of reading past the end; nothing read here is trusted.
class ByteView {
public:
    ByteView() = default;
    explicit ByteView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    ByteView(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

    std::size_t size() const { return bytes_.size(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    bool Has(std::size_t offset, std::size_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    std::optional<std::uint8_t> U8(std::size_t offset) const {
        if (!Has(offset, 1)) {
            return std::nullopt;
        }
        return bytes_[offset];
    }
    std::optional<std::uint16_t> U16LE(std::size_t offset) const {
        if (!Has(offset, 2)) {
            return std::nullopt;
        }
        return static_cast<std::uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
    }
    std::optional<std::uint32_t> U32LE(std::size_t offset) const {
        if (!Has(offset, 4)) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(bytes_[offset]) |
               (static_cast<std::uint32_t>(bytes_[offset + 1]) << 8) |
               (static_cast<std::uint32_t>(bytes_[offset + 2]) << 16) |
               (static_cast<std::uint32_t>(bytes_[offset + 3]) << 24);
    }
    std::optional<std::int16_t> S16LE(std::size_t offset) const {
        auto v = U16LE(offset);
        if (!v) {
            return std::nullopt;
        }
        return static_cast<std::int16_t>(*v);
    }
    // A sub-view; empty when the range is out of bounds.
    ByteView Sub(std::size_t offset, std::size_t length) const {
        if (!Has(offset, length)) {
            return {};
        }
        return ByteView(bytes_.subspan(offset, length));
    }
    // A sub-view clipped to what exists.
    ByteView SubClipped(std::size_t offset, std::size_t length) const {
        if (offset >= bytes_.size()) {
            return {};
        }
        return ByteView(bytes_.subspan(offset, std::min(length, bytes_.size() - offset)));
    }
    // NUL-terminated text starting at offset, at most maxLength bytes, nullopt if no NUL
    // is found inside the view within maxLength.
    std::optional<std::string> CString(std::size_t offset, std::size_t maxLength) const {
        if (offset >= bytes_.size()) {
            return std::nullopt;
        }
        std::size_t limit = std::min(maxLength, bytes_.size() - offset);
        const void* nul = std::memchr(bytes_.data() + offset, 0, limit);
        if (nul == nullptr) {
            return std::nullopt;
        }
        auto length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) -
                                               (bytes_.data() + offset));
        return std::string(reinterpret_cast<const char*>(bytes_.data() + offset), length);
    }

private:
    std::span<const std::uint8_t> bytes_;
};

// Little-endian stores into a caller-sized buffer (the writer's side).
inline void PutU16LE(std::uint8_t* out, std::uint16_t v) {
    out[0] = static_cast<std::uint8_t>(v);
    out[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32LE(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

} // namespace paradox
