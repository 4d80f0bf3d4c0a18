#include <algorithm>
#include <functional>
#include <limits>

#include "http/id_custom_http.h"
#include "http/id_exception.h"
#include "platform/code_page.h"
#include "text_util.h"

namespace http {
namespace {

// A body that breaks the client's bounds or its framing. The rest of the connection's bytes
// can no longer be told apart from the next answer, so the connection is closed.
class EBodyOutOfBounds : public EIdException
{
public:
    using EIdException::EIdException;
};

EBodyOutOfBounds bodyTooLarge(std::int64_t limit)
{
    return EBodyOutOfBounds("Response body exceeds " + std::to_string(limit) + " bytes");
}

using ProgressHook = std::function<void(std::int64_t, std::int64_t)>;

// Passes bytes on to the body's target, stops a body that outgrows the client's bound, and tells
// the progress hook (when given one) how far the body has come.
class BoundedStream : public TIdStream
{
public:
    BoundedStream(TIdStream& target, std::int64_t limit, const ProgressHook* progress,
                  std::int64_t total)
        : m_target(target), m_limit(limit), m_progress(progress), m_total(total)
    {
        if (m_progress)
            (*m_progress)(0, m_total);
    }
    std::int64_t Size() const override { return m_target.Size(); }
    void Write(const char* data, std::size_t size) override
    {
        if (static_cast<std::int64_t>(size) > m_limit - m_written)
            throw bodyTooLarge(m_limit);
        m_target.Write(data, size);
        m_written += static_cast<std::int64_t>(size);
        if (m_progress)
            (*m_progress)(m_written, m_total);
    }
    void Truncate(std::int64_t size) override { m_target.Truncate(size); }
    // Room beyond the bound would never be filled, whatever the chunks announce together.
    void Reserve(std::int64_t size) override
    {
        m_target.Reserve(std::min(size, m_target.Size() - m_written + m_limit));
    }

private:
    TIdStream& m_target;
    std::int64_t m_limit;
    const ProgressHook* m_progress;
    std::int64_t m_total;
    std::int64_t m_written = 0;
};

// Transfer codings are named without regard to case.
bool isChunked(const std::string& transferEncoding)
{
    return platform::asciiUpper(transferEncoding).find("CHUNKED") != std::string::npos;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

TIdBodyEnd TIdCustomHTTP::ReadBody(TIdStream* target, bool reportProgress)
{
    if (!target)
        return TIdBodyEnd::NotRead;
    const bool chunked = isChunked(m_response.TransferEncoding);
    // A length decides the framing before chunks do; chunks and close announce no total.
    const std::int64_t length = m_response.ContentLength;
    const std::int64_t total = length >= 1 ? length : (chunked || length < 0 ? -1 : 0);
    BoundedStream bounded(*target, MaxBodyBytes,
                          reportProgress && OnBodyProgress ? &OnBodyProgress : nullptr, total);
    const std::int64_t before = target->Size();
    try {
        if (m_response.ContentLength >= 1) {
            if (m_response.ContentLength > MaxBodyBytes)
                throw bodyTooLarge(MaxBodyBytes);
            try {
                ReadToStream(bounded, m_response.ContentLength, false);
            } catch (const EIdConnClosedGracefully&) {
                // Delivered as far as it came; the caller learns that it is not whole.
            }
            return target->Size() - before == m_response.ContentLength ? TIdBodyEnd::Complete
                                                                       : TIdBodyEnd::CutShort;
        }
        if (chunked) {
            ReadChunkedBody(bounded);
            return TIdBodyEnd::Complete;
        }
        if (!m_response.HasContentLength()) {
            ReadToStream(bounded, -1, true);
            return TIdBodyEnd::ServerClose;
        }
        return TIdBodyEnd::Complete;
    } catch (const EBodyOutOfBounds&) {
        CloseConnection();
        throw;
    }
}

// Chunked framing: a size line (hexadecimal, optionally followed by an extension after a
// blank or ";"), that many bytes, a line end; a size of 0 ends the chunks, and trailer lines
// follow up to an empty line.
void TIdCustomHTTP::ReadChunkedBody(TIdStream& target)
{
    DoStatus(TIdStatus::hsStatusText, "Chunk Started");
    for (std::int64_t size = ReadChunkSize(); size > 0; size = ReadChunkSize()) {
        const std::int64_t before = target.Size();
        ReadToStream(target, size, false);
        // A close noticed before the chunk was complete ends the read quietly; the body is
        // not whole then, whatever follows.
        if (target.Size() - before != size)
            throw EIdConnClosedGracefully();
        ReadLine();
    }
    for (std::size_t trailers = 0; !ReadLine().empty(); ++trailers) {
        if (trailers == kMaxHeaderLines)
            throw EBodyOutOfBounds("Response trailer exceeds " + std::to_string(kMaxHeaderLines) +
                                   " lines");
    }
}

std::int64_t TIdCustomHTTP::ReadChunkSize()
{
    const std::string line = ReadLine();
    if (ReadLnTimedOut())
        throw EIdConnClosedGracefully();
    const std::string_view digits = std::string_view(line).substr(0, line.find_first_of(" \t;"));
    if (digits.empty())
        throw EBodyOutOfBounds("Invalid chunk size in response body");
    const std::int64_t limit = std::min(MaxBodyBytes, kMaxBodyBytes); // keeps size * 16 in range
    std::int64_t size = 0;
    for (char c : digits) {
        const int digit = hexDigit(c);
        if (digit < 0)
            throw EBodyOutOfBounds("Invalid chunk size in response body");
        size = size * 16 + digit;
        if (size > limit)
            throw bodyTooLarge(limit);
    }
    return size;
}

} // namespace http
