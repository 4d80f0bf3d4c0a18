#include "http/id_url_reference.h"

#include <cctype>
#include <string_view>

namespace http {
namespace {

bool isSchemeCharacter(char c, bool first)
{
    const auto u = static_cast<unsigned char>(c);
    if (std::isalpha(u))
        return true;
    return !first && (std::isdigit(u) || c == '+' || c == '-' || c == '.');
}

// The parts of an absolute URL; each keeps its delimiter in front ("//", "?", "#"), so that
// joining them gives the text back.
struct Parts
{
    std::string scheme; // with its ":"
    std::string authority;
    std::string path;
    std::string query;
    std::string fragment;
};

Parts split(std::string_view text)
{
    Parts parts;
    if (HasUrlScheme(std::string(text))) {
        const auto colon = text.find(':');
        parts.scheme = text.substr(0, colon + 1);
        text.remove_prefix(colon + 1);
    }
    if (const auto hash = text.find('#'); hash != std::string_view::npos) {
        parts.fragment = text.substr(hash);
        text = text.substr(0, hash);
    }
    if (const auto question = text.find('?'); question != std::string_view::npos) {
        parts.query = text.substr(question);
        text = text.substr(0, question);
    }
    if (text.substr(0, 2) == "//") {
        const auto end = text.find('/', 2);
        parts.authority = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end);
    }
    parts.path = text;
    return parts;
}

// "." and ".." segments resolved; ".." at the root stays at the root.
std::string removeDotSegments(std::string_view in)
{
    std::string out;
    while (!in.empty()) {
        if (in.substr(0, 3) == "../") {
            in.remove_prefix(3);
        } else if (in.substr(0, 2) == "./") {
            in.remove_prefix(2);
        } else if (in.substr(0, 3) == "/./") {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.substr(0, 4) == "/../" || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            const auto last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (in == "." || in == "..") {
            in = std::string_view();
        } else {
            const auto next = in.find('/', 1);
            const auto segment = in.substr(0, next);
            out += segment;
            in.remove_prefix(segment.size());
        }
    }
    return out;
}

} // namespace

bool HasUrlScheme(const std::string& text)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        if (!isSchemeCharacter(text[i], i == 0))
            return false;
    }
    return true;
}

std::string ResolveUrlReference(const std::string& base, const std::string& reference)
{
    if (HasUrlScheme(reference) || !HasUrlScheme(base))
        return reference;
    const Parts b = split(base);
    const Parts r = split(reference);

    Parts t;
    t.scheme = b.scheme;
    t.fragment = r.fragment;
    if (!r.authority.empty()) {
        t.authority = r.authority;
        t.path = removeDotSegments(r.path);
        t.query = r.query;
    } else {
        t.authority = b.authority;
        if (r.path.empty()) {
            t.path = b.path;
            t.query = r.query.empty() ? b.query : r.query;
        } else {
            if (r.path.front() == '/') {
                t.path = removeDotSegments(r.path);
            } else {
                const auto slash = b.path.rfind('/');
                const std::string directory = slash == std::string::npos
                                                  ? (b.authority.empty() ? "" : "/")
                                                  : b.path.substr(0, slash + 1);
                t.path = removeDotSegments(directory + r.path);
            }
            t.query = r.query;
        }
    }
    if (!t.authority.empty() && t.path.empty())
        t.path = "/";
    return t.scheme + t.authority + t.path + t.query + t.fragment;
}

} // namespace http
