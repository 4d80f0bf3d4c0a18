#include "platform/ini_file.h"

#include <fstream>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/convert_error.h"
#include "platform/os_path.h"

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

} // namespace

IniFile::IniFile() : m_lineEnd(kNativeLineEnd) {}

IniFile IniFile::load(std::string_view enginePath)
{
    std::ifstream in(toOsPath(enginePath), std::ios::binary);
    if (!in)
        return IniFile();
    std::ostringstream contents;
    contents << in.rdbuf();
    return parse(contents.str());
}

IniFile IniFile::parse(std::string_view contents)
{
    IniFile ini;
    if (contents.empty())
        return ini;
    const auto firstLf = contents.find('\n');
    if (firstLf != std::string_view::npos)
        ini.m_lineEnd = (firstLf > 0 && contents[firstLf - 1] == '\r') ? "\r\n" : "\n";
    ini.m_endsWithLineEnd = contents.back() == '\n';

    std::size_t start = 0;
    while (start < contents.size()) {
        auto lf = contents.find('\n', start);
        if (lf == std::string_view::npos)
            lf = contents.size();
        auto line = contents.substr(start, lf - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        ini.m_lines.emplace_back(line);
        start = lf + 1;
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
    return std::string(value.substr(0, kMaxValueLength));
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

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    std::string line = std::string(key) + "=" + std::string(value);
    const auto span = findSection(m_lines, section);
    if (!span) {
        if (!m_lines.empty() && !trimBlanks(m_lines.back()).empty())
            m_lines.emplace_back();
        m_lines.push_back("[" + std::string(section) + "]");
        m_lines.push_back(std::move(line));
        m_endsWithLineEnd = true;
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
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(lastContent + 1), std::move(line));
    if (lastContent + 2 == m_lines.size())
        m_endsWithLineEnd = true;
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
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        out += m_lines[i];
        if (i + 1 < m_lines.size() || m_endsWithLineEnd)
            out += m_lineEnd;
    }
    return out;
}

bool IniFile::save(std::string_view enginePath) const
{
    const std::string contents = serialize();
    AtomicFile file(toOsPath(enginePath));
    return file.open() && file.write(contents.data(), contents.size()) && file.commit();
}

} // namespace platform
