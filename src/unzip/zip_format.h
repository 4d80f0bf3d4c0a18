#pragma once

#include <cstddef>
#include <cstdint>

// Record layouts of the ZIP format as the extractor reads them: little-endian integers at fixed
// offsets from the start of each record.
namespace unzip::zip_format {

inline std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline bool hasSignature(const std::uint8_t* p, std::uint8_t third, std::uint8_t fourth)
{
    return p[0] == 0x50 && p[1] == 0x4B && p[2] == third && p[3] == fourth;
}

// End-of-central-directory record.
namespace eocd {
inline constexpr std::uint8_t kSignature[2] = {0x05, 0x06};
inline constexpr std::size_t kSize = 22; // without the comment
inline constexpr std::size_t kDirectoryOffset = 16;
} // namespace eocd

// Central-directory entry.
namespace cdh {
inline constexpr std::uint8_t kSignature[2] = {0x01, 0x02};
inline constexpr std::size_t kSize = 46; // without name, extra field and comment
inline constexpr std::size_t kHostSystem = 5;
inline constexpr std::size_t kFlags = 8;
inline constexpr std::size_t kMethod = 10;
inline constexpr std::size_t kDateTime = 12;
inline constexpr std::size_t kCrc32 = 16;
inline constexpr std::size_t kCompressedSize = 20;
inline constexpr std::size_t kUncompressedSize = 24;
inline constexpr std::size_t kNameLength = 28;
inline constexpr std::size_t kExtraLength = 30;
inline constexpr std::size_t kCommentLength = 32;
inline constexpr std::size_t kExternalAttributes = 38;
inline constexpr std::size_t kLocalHeaderOffset = 42;
inline constexpr std::uint8_t kHostMsDos = 0;
} // namespace cdh

// Local file header.
namespace lfh {
inline constexpr std::uint8_t kSignature[2] = {0x03, 0x04};
inline constexpr std::size_t kSize = 30; // without name and extra field
inline constexpr std::size_t kFlags = 6;
inline constexpr std::size_t kMethod = 8;
inline constexpr std::size_t kCompressedSize = 18;
inline constexpr std::size_t kUncompressedSize = 22;
inline constexpr std::size_t kNameLength = 26;
inline constexpr std::size_t kExtraLength = 28;
} // namespace lfh

// General-purpose flag bits.
namespace flag {
inline constexpr std::uint16_t kEncrypted = 0x0001;
inline constexpr std::uint16_t kImplode8KDictionary = 0x0002;
inline constexpr std::uint16_t kImplodeThreeTrees = 0x0004;
inline constexpr std::uint16_t kDataDescriptor = 0x0008; // sizes follow the data
inline constexpr std::uint16_t kUtf8Name = 0x0800;
} // namespace flag

// Compression methods the extractor handles.
namespace method {
inline constexpr std::uint16_t kStored = 0;
inline constexpr std::uint16_t kShrunk = 1;
inline constexpr std::uint16_t kImploded = 6;
inline constexpr std::uint16_t kDeflated = 8;
} // namespace method

// What a member's sizes read as when its local header does not carry them (flag bit 3).
inline constexpr std::int64_t kUnknownSize = 2147483647;

} // namespace unzip::zip_format
