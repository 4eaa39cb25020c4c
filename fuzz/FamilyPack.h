#pragma once

// A table family packed into one buffer, so that a fuzzer mutates all members of a family
// together and a crash input is one file. The buffer is a run of members:
//
//   kind (1 byte: 'D' .DB, 'P' .PX, 'M' .MB, 'X' secondary data, 'Y' secondary index)
//   selector (1 byte: which secondary index; ignored for D, P, M)
//   length (u32 little-endian; clipped to what is left of the buffer)
//   the member's bytes
//
// Members of an unknown kind are skipped; a later member of a kind already seen replaces the
// earlier one, so a family never has two files of one name.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace fuzzpack {

struct Member {
    char kind = 'D';
    std::uint8_t selector = 0;
    std::span<const std::uint8_t> bytes;
};

inline constexpr std::size_t kMemberHeaderSize = 6;

// Extension of a secondary index member: composite ("XG3"/"YG3") when the selector's top bit
// is set, else single-field ("X02"/"Y02") with a field number 1..99.
inline std::string SecondaryExtension(char kind, std::uint8_t selector) {
    char text[8];
    if ((selector & 0x80) != 0) {
        std::snprintf(text, sizeof text, "%cG%d", kind, (selector & 0x7F) % 10);
    } else {
        std::snprintf(text, sizeof text, "%c%02d", kind, 1 + (selector % 99));
    }
    return text;
}

// File extension of a member ("DB", "PX", "MB", "X02", ...).
inline std::string MemberExtension(const Member& member) {
    switch (member.kind) {
    case 'D':
        return "DB";
    case 'P':
        return "PX";
    case 'M':
        return "MB";
    default:
        return SecondaryExtension(member.kind, member.selector);
    }
}

inline bool KnownKind(char kind) {
    return kind == 'D' || kind == 'P' || kind == 'M' || kind == 'X' || kind == 'Y';
}

inline std::vector<Member> Unpack(const std::uint8_t* data, std::size_t size) {
    std::vector<Member> members;
    std::size_t pos = 0;
    while (size - pos >= kMemberHeaderSize) {
        Member member;
        member.kind = static_cast<char>(data[pos]);
        member.selector = data[pos + 1];
        std::uint32_t length = 0;
        for (int i = 3; i >= 0; --i) {
            length = (length << 8) | data[pos + 2 + static_cast<std::size_t>(i)];
        }
        pos += kMemberHeaderSize;
        const std::size_t take = std::min<std::size_t>(length, size - pos);
        member.bytes = std::span<const std::uint8_t>(data + pos, take);
        pos += take;
        if (!KnownKind(member.kind)) {
            continue;
        }
        // Secondary members pair up by extension: X and Y of one selector are one index.
        bool replaced = false;
        for (auto& earlier : members) {
            if (earlier.kind == member.kind &&
                ((member.kind != 'X' && member.kind != 'Y') ||
                 MemberExtension(earlier) == MemberExtension(member))) {
                earlier = member;
                replaced = true;
            }
        }
        if (!replaced) {
            members.push_back(member);
        }
    }
    return members;
}

inline void AppendMember(std::vector<std::uint8_t>& out, char kind, std::uint8_t selector,
                         std::span<const std::uint8_t> bytes) {
    out.push_back(static_cast<std::uint8_t>(kind));
    out.push_back(selector);
    const auto length = static_cast<std::uint32_t>(bytes.size());
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    }
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// The selector that SecondaryExtension maps back to `upperExtension` ("X02", "YG1"), or -1.
inline int SelectorForExtension(const std::string& upperExtension) {
    if (upperExtension.size() != 3) {
        return -1;
    }
    for (int selector = 0; selector < 256; ++selector) {
        if (SecondaryExtension(upperExtension[0], static_cast<std::uint8_t>(selector)) ==
            upperExtension) {
            return selector;
        }
    }
    return -1;
}

inline std::filesystem::path MemberPath(const std::filesystem::path& dir, const std::string& stem,
                                        const Member& member) {
    return dir / (stem + "." + MemberExtension(member));
}

// Removes everything `dir` holds.
inline void EmptyFolder(const std::filesystem::path& dir) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
        std::filesystem::remove_all(entry.path(), ignored);
    }
}

// Writes the members as files stem.DB, stem.PX, ... into `dir`, after removing every file
// the directory already holds (so nothing of an earlier input survives). Returns the paths.
inline std::vector<std::filesystem::path> WriteMembers(const std::filesystem::path& dir,
                                                       const std::string& stem,
                                                       const std::vector<Member>& members) {
    EmptyFolder(dir);
    std::vector<std::filesystem::path> written;
    for (const auto& member : members) {
        const auto path = MemberPath(dir, stem, member);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(member.bytes.data()),
                  static_cast<std::streamsize>(member.bytes.size()));
        written.push_back(path);
    }
    return written;
}

} // namespace fuzzpack
