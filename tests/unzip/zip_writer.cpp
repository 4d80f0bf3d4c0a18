#include "zip_writer.h"

#include "crc32.h"

namespace unzip_test {
namespace {

void put16(Bytes& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void putText(Bytes& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
}

} // namespace

std::uint32_t crcOf(std::string_view content)
{
    return unzip::crc32Update(0, reinterpret_cast<const std::uint8_t*>(content.data()),
                              content.size());
}

CraftedEntry rawEntry(std::string name, std::uint16_t method, Bytes data, std::string_view content)
{
    CraftedEntry entry;
    entry.name = std::move(name);
    entry.method = method;
    entry.compressedSize = static_cast<std::uint32_t>(data.size());
    entry.uncompressedSize = static_cast<std::uint32_t>(content.size());
    entry.crc = crcOf(content);
    entry.data = std::move(data);
    return entry;
}

CraftedEntry storedEntry(std::string name, std::string_view content)
{
    return rawEntry(std::move(name), 0, bytesOf(content), content);
}

CraftedEntry deflatedEntry(std::string name, std::string_view content)
{
    return rawEntry(std::move(name), 8, deflate::literalStream(content), content);
}

CraftedEntry directoryEntry(std::string name)
{
    CraftedEntry entry = storedEntry(std::move(name), "");
    entry.externalAttributes = 0x10;
    return entry;
}

Bytes localHeader(const CraftedEntry& entry)
{
    Bytes out;
    put32(out, 0x04034B50);
    put16(out, 20);
    put16(out, entry.localFlags.value_or(entry.flags));
    put16(out, entry.method);
    put32(out, 0x52645283); // a fixed time stamp
    put32(out, entry.crc);
    put32(out, entry.localCompressedSize.value_or(entry.compressedSize));
    put32(out, entry.localUncompressedSize.value_or(entry.uncompressedSize));
    put16(out, static_cast<std::uint32_t>(entry.name.size()));
    put16(out, 0);
    putText(out, entry.name);
    return out;
}

Bytes centralEntry(const CraftedEntry& entry, std::uint32_t localHeaderOffset)
{
    Bytes out;
    put32(out, 0x02014B50);
    out.push_back(20);
    out.push_back(entry.hostSystem);
    put16(out, 20);
    put16(out, entry.flags);
    put16(out, entry.method);
    put32(out, 0x52645283);
    put32(out, entry.crc);
    put32(out, entry.compressedSize);
    put32(out, entry.uncompressedSize);
    put16(out, static_cast<std::uint32_t>(entry.name.size()));
    put16(out, 0); // extra field
    put16(out, 0); // comment
    put16(out, 0); // disk
    put16(out, 0); // internal attributes
    put32(out, entry.externalAttributes);
    put32(out, localHeaderOffset);
    putText(out, entry.name);
    return out;
}

Bytes endRecord(std::uint16_t entries, std::uint32_t directorySize, std::uint32_t directoryOffset,
                std::string_view comment)
{
    Bytes out;
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, entries);
    put16(out, entries);
    put32(out, directorySize);
    put32(out, directoryOffset);
    put16(out, static_cast<std::uint32_t>(comment.size()));
    putText(out, comment);
    return out;
}

Bytes buildZip(const std::vector<CraftedEntry>& entries, std::string_view comment)
{
    Bytes archive;
    Bytes directory;
    for (const CraftedEntry& entry : entries) {
        const auto offset = static_cast<std::uint32_t>(archive.size());
        append(archive, localHeader(entry));
        append(archive, entry.data);
        append(directory, centralEntry(entry, offset));
    }
    const auto directoryOffset = static_cast<std::uint32_t>(archive.size());
    append(archive, directory);
    append(archive,
           endRecord(static_cast<std::uint16_t>(entries.size()),
                     static_cast<std::uint32_t>(directory.size()), directoryOffset, comment));
    return archive;
}

void append(Bytes& to, const Bytes& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

} // namespace unzip_test
