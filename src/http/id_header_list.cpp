#include "http/id_header_list.h"

#include "text_util.h"

namespace http {
namespace {

bool isContinuation(const std::string& line)
{
    return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

bool hasName(const std::string& line, std::string_view name)
{
    if (isContinuation(line))
        return false;
    const auto colon = line.find(':');
    return colon != std::string::npos &&
           equalsIgnoringCase(std::string_view(line).substr(0, colon), name);
}

} // namespace

std::size_t TIdHeaderList::IndexOf(std::string_view name) const
{
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (hasName(m_lines[i], name))
            return i;
    }
    return m_lines.size();
}

std::string TIdHeaderList::ValueAt(std::size_t index, std::size_t& end) const
{
    const std::string& line = m_lines[index];
    std::string value = trimBlanks(std::string_view(line).substr(line.find(':') + 1));
    end = index + 1;
    while (end < m_lines.size() && isContinuation(m_lines[end])) {
        const std::string more = trimBlanks(m_lines[end]);
        if (!more.empty())
            value += value.empty() ? more : " " + more;
        ++end;
    }
    return value;
}

std::string TIdHeaderList::Values(std::string_view name) const
{
    const std::size_t index = IndexOf(name);
    std::size_t end = 0;
    return index < m_lines.size() ? ValueAt(index, end) : std::string();
}

bool TIdHeaderList::Has(std::string_view name) const
{
    return IndexOf(name) < m_lines.size();
}

std::vector<std::string> TIdHeaderList::Extract(std::string_view name) const
{
    std::vector<std::string> values;
    for (std::size_t i = 0; i < m_lines.size();) {
        if (hasName(m_lines[i], name)) {
            std::size_t end = 0;
            values.push_back(ValueAt(i, end));
            i = end;
        } else {
            ++i;
        }
    }
    return values;
}

void TIdHeaderList::SetValue(std::string_view name, std::string_view value)
{
    const std::size_t index = IndexOf(name);
    if (index < m_lines.size()) {
        std::size_t end = 0;
        ValueAt(index, end);
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(index + 1),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(end));
        if (value.empty())
            m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(index));
        else
            m_lines[index] = std::string(name) + ": " + std::string(value);
    } else if (!value.empty()) {
        m_lines.push_back(std::string(name) + ": " + std::string(value));
    }
}

} // namespace http
