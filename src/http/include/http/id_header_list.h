#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace http {

// Header lines as "Name: value" texts, in order. A line's name is the text before its first
// ":", compared ignoring case; its value is the rest, trimmed, joined with the trimmed text of
// the lines after it that begin with a space or a tab (one space between).
class TIdHeaderList
{
public:
    void Clear() { m_lines.clear(); }
    void Add(std::string line) { m_lines.push_back(std::move(line)); }
    std::size_t Count() const { return m_lines.size(); }
    const std::vector<std::string>& Lines() const { return m_lines; }

    // The value of the first line of that name; empty when there is none.
    std::string Values(std::string_view name) const;
    // Whether a line of that name exists.
    bool Has(std::string_view name) const;
    // The values of every line of that name, in order.
    std::vector<std::string> Extract(std::string_view name) const;
    // Replaces the first line of that name (with its continuation lines) by "name: value", or
    // appends it; an empty value removes the line instead.
    void SetValue(std::string_view name, std::string_view value);

private:
    // Index of the first line of that name, or Count().
    std::size_t IndexOf(std::string_view name) const;
    // The value of the line at index with its continuation lines; end receives the index after
    // them.
    std::string ValueAt(std::size_t index, std::size_t& end) const;

    std::vector<std::string> m_lines;
};

} // namespace http
