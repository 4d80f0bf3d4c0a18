#include "platform/ini_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/convert_error.h"
#include "platform/os_path.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace platform {
namespace {

#ifdef _WIN32
constexpr std::string_view kNativeLineEnd = "\r\n";
#else
constexpr std::string_view kNativeLineEnd = "\n";
#endif

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> sectionName(std::string_view line)
{
    line = trimBlanks(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const auto close = line.find(']');
    const auto name = line.substr(1, close == std::string_view::npos ? line.npos : close - 1);
    return trimBlanks(name);
}

struct KeyLine
{
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> keyLine(std::string_view line)
{
    const auto trimmed = trimBlanks(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[')
        return std::nullopt;
    const auto eq = trimmed.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return KeyLine{trimBlanks(trimmed.substr(0, eq)), trimmed.substr(eq + 1)};
}

// Where a section's lines lie: [header, end) with end one past its last line.
struct SectionSpan
{
    std::size_t header;
    std::size_t end;
};

std::optional<SectionSpan> findSection(const std::vector<std::string>& lines,
                                       std::string_view section)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i]);
        if (!name || !equalsIgnoringCase(*name, section))
            continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !sectionName(lines[end]))
            ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

// A file the user made read-only is not replaced behind their back: the profile API refuses to
// write it, and a rename over it would pass over its protection.
bool isReadOnlyFile(const std::filesystem::path& path)
{
#ifdef _WIN32
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(status) &&
           (status.permissions() & std::filesystem::perms::owner_write) ==
               std::filesystem::perms::none;
#else
    return ::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0;
#endif
}

} // namespace

IniFile::IniFile() : m_lineEnd(kNativeLineEnd) {}

IniFile IniFile::load(std::string_view enginePath)
{
    const std::filesystem::path path = toOsPath(enginePath);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return IniFile();
    std::string contents(kMaxReadBytes + 1, '\0');
    in.read(contents.data(), static_cast<std::streamsize>(contents.size()));
    contents.resize(static_cast<std::size_t>(in.gcount()));
    if (contents.size() <= kMaxReadBytes)
        return parse(contents);

    // A line cut at the limit is not read at all, so that no value is read cut short.
    const auto lastLineEnd = contents.rfind('\n', kMaxReadBytes - 1);
    const std::size_t kept = lastLineEnd == std::string::npos ? 0 : lastLineEnd + 1;
    IniFile ini = parse(std::string_view(contents).substr(0, kept));
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec))
        ini.m_unreadTail = UnreadTail{std::string(enginePath), kept};
    return ini;
}

IniFile IniFile::parse(std::string_view contents)
{
    IniFile ini;
    const auto firstLf = contents.find('\n');
    if (firstLf != std::string_view::npos)
        ini.m_lineEnd = (firstLf > 0 && contents[firstLf - 1] == '\r') ? "\r\n" : "\n";

    // Each line keeps the end it had, so that a file of mixed line ends is saved byte for byte.
    std::size_t start = 0;
    while (start < contents.size()) {
        const auto lf = contents.find('\n', start);
        const std::size_t stop = lf == std::string_view::npos ? contents.size() : lf + 1;
        std::string_view line = contents.substr(start, stop - start);
        std::size_t endLength = line.ends_with('\n') ? 1 : 0;
        if (line.size() > endLength && line[line.size() - endLength - 1] == '\r')
            ++endLength;
        ini.m_lines.emplace_back(line.substr(0, line.size() - endLength));
        ini.m_lineEnds.emplace_back(line.substr(line.size() - endLength));
        start = stop;
    }
    return ini;
}

std::optional<std::string> IniFile::rawValue(std::string_view section, std::string_view key) const
{
    const auto span = findSection(m_lines, section);
    if (!span)
        return std::nullopt;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        const auto entry = keyLine(m_lines[i]);
        if (entry && equalsIgnoringCase(entry->key, key))
            return std::string(entry->value);
    }
    return std::nullopt;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    const auto raw = rawValue(section, key);
    std::string_view value = raw ? std::string_view(*raw) : defaultValue;
    value = trimBlanks(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    value = value.substr(0, kMaxValueLength);
    return std::string(value.substr(0, value.find('\0')));
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const
{
    if (!rawValue(section, key))
        return defaultValue;
    return tryParseInt(readString(section, key, "")).value_or(defaultValue);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::insertLine(std::size_t at, std::string line)
{
    // The line before must end where the new one begins.
    if (at > 0 && !m_lineEnds[at - 1].ends_with('\n'))
        m_lineEnds[at - 1] = m_lineEnd;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    m_lineEnds.insert(m_lineEnds.begin() + static_cast<std::ptrdiff_t>(at), m_lineEnd);
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    std::string line = std::string(key) + "=" + std::string(value);
    const auto span = findSection(m_lines, section);
    if (!span) {
        if (!m_lines.empty() && !trimBlanks(m_lines.back()).empty())
            insertLine(m_lines.size(), std::string());
        insertLine(m_lines.size(), "[" + std::string(section) + "]");
        insertLine(m_lines.size(), std::move(line));
        return;
    }
    std::size_t lastContent = span->header;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        const auto entry = keyLine(m_lines[i]);
        if (entry && equalsIgnoringCase(entry->key, key)) {
            m_lines[i] = std::move(line);
            return;
        }
        if (!trimBlanks(m_lines[i]).empty())
            lastContent = i;
    }
    insertLine(lastContent + 1, std::move(line));
}

void IniFile::writeInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value)
{
    writeString(section, key, value ? "1" : "0");
}

std::string IniFile::serialize() const
{
    std::string out;
    for (std::size_t i = 0; i < m_lines.size(); ++i)
        out += m_lines[i] + m_lineEnds[i];
    return out;
}

bool IniFile::save(std::string_view enginePath, NewFileAccess newFileAccess) const
{
    const std::filesystem::path path = toOsPath(enginePath);
    if (isReadOnlyFile(path))
        return false;
    const std::string contents = serialize();
    // An administrator's chmod, chown or link stays as it was.
    AtomicFile file(path, Replacement::KeepsTheFile, newFileAccess);
    if (!file.open() || !file.write(contents.data(), contents.size()))
        return false;
    if (m_unreadTail) {
        std::ifstream tail(toOsPath(m_unreadTail->enginePath), std::ios::binary);
        if (!tail.seekg(static_cast<std::streamoff>(m_unreadTail->offset)))
            return false;
        std::vector<char> buffer(64 * 1024);
        while (tail) {
            tail.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            if (!file.write(buffer.data(), static_cast<std::size_t>(tail.gcount())))
                return false;
        }
        if (!tail.eof())
            return false;
    }
    return file.commit();
}

} // namespace platform
