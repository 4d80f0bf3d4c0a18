#include "failure_cause.h"

#include "http/id_exception.h"

namespace engine {
namespace {

// Messages may span lines ("Socket Error # 10061\r\nConnection refused."); a log line may not.
std::string oneLine(const std::string& text)
{
    std::string line;
    for (const char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (!line.empty() && line.back() != ' ')
                line += ' ';
            continue;
        }
        line += c;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

} // namespace

std::string failureCause(const std::exception& error)
{
    if (const auto* status = dynamic_cast<const http::EIdHTTPProtocolException*>(&error)) {
        // "HTTP/1.1 404 Not Found": the version says nothing to the reader.
        const std::string& line = status->Message();
        const auto space = line.find(' ');
        if (line.starts_with("HTTP/") && space != std::string::npos)
            return oneLine(line.substr(space + 1));
        return oneLine(line);
    }
    if (dynamic_cast<const http::EIdUnknownProtocol*>(&error))
        return "Unknown protocol"; // the client raises it without a message
    return oneLine(error.what());
}

std::string cutShortCause(std::int64_t received, std::int64_t announced)
{
    return "Body cut short: " + std::to_string(received) + " of " + std::to_string(announced) +
           " bytes received";
}

std::string emptyBodyCause()
{
    return "Empty body";
}

} // namespace engine
