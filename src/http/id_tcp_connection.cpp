#include "http/id_tcp_connection.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "http/id_exception.h"
#include "platform/socket.h"

namespace http {
namespace {

// Ends a work bracket however the work ends.
class WorkScope
{
public:
    explicit WorkScope(std::function<void()> end) : m_end(std::move(end)) {}
    ~WorkScope() { m_end(); }
    WorkScope(const WorkScope&) = delete;
    WorkScope& operator=(const WorkScope&) = delete;

private:
    std::function<void()> m_end;
};

} // namespace

TIdTCPConnection::TIdTCPConnection() = default;

TIdTCPConnection::~TIdTCPConnection()
{
    if (m_ioHandler)
        m_ioHandler->Close();
}

void TIdTCPConnection::SetIOHandler(TIdIOHandler* handler)
{
    if (m_ownedHandler && m_ownedHandler.get() != handler) {
        m_ownedHandler->Close();
        m_ownedHandler.reset();
    }
    m_ioHandler = handler;
}

void TIdTCPConnection::AdoptIOHandler(std::unique_ptr<TIdIOHandler> handler)
{
    m_ownedHandler = std::move(handler);
    m_ioHandler = m_ownedHandler.get();
}

bool TIdTCPConnection::IsConnected()
{
    CheckDisconnect(false, false);
    return m_ioHandler && m_ioHandler->Connected();
}

void TIdTCPConnection::CheckDisconnect(bool raiseIfClosed, bool ignoreBuffer)
{
    bool disconnected = false;
    if (m_closedGracefully || !m_ioHandler) {
        // Without a handler there is nothing to have been disconnected.
        if (m_ioHandler) {
            disconnected = true;
            if (m_ioHandler->Connected()) {
                CloseSocket();
                DoStatus(TIdStatus::hsDisconnected);
                DoDisconnected();
            }
        }
    } else {
        disconnected = !m_ioHandler->Connected();
    }
    if (disconnected && (m_inputBuffer.Size() == 0 || ignoreBuffer) && raiseIfClosed)
        throw EIdConnClosedGracefully();
}

std::int32_t TIdTCPConnection::FillInputBuffer(bool raiseIfClosed, std::int32_t timeoutMs,
                                               bool raiseOnTimeout)
{
    if (timeoutMs == -1)
        timeoutMs = m_readTimeout;
    const std::int32_t wait = timeoutMs == 0 ? -1 : timeoutMs;

    CheckDisconnect(raiseIfClosed, false);
    if (!IsConnected()) {
        if (raiseIfClosed)
            throw EIdNotConnected();
        return 0;
    }

    std::int32_t n = 0;
    do {
        if (!m_ioHandler->Connected())
            throw EIdConnClosedGracefully();
        if (m_ioHandler->Readable(wait) != 1) {
            if (raiseOnTimeout)
                throw EIdReadTimeout();
            return -1;
        }
        char* room = m_inputBuffer.Prepare(static_cast<std::size_t>(m_recvBufferSize));
        n = m_ioHandler->Recv(room, m_recvBufferSize);
        m_closedGracefully = n == 0;
        if (n < 0) {
            const int code = m_ioHandler->LastError();
            if (code != platform::wsa::kShutDown && code != platform::wsa::kConnectionAborted)
                RaiseSocketError(code);
            // An aborted connection with unread bytes still lets the caller read them first.
            CloseSocket();
            if (m_inputBuffer.Size() == 0)
                RaiseSocketError(code);
            n = 0;
        } else if (n > 0) {
            m_inputBuffer.Commit(static_cast<std::size_t>(n));
        }
        CheckDisconnect(raiseIfClosed, false);
    } while (n == 0 && IsConnected());
    return n;
}

void TIdTCPConnection::ProbeForClose(bool raiseIfClosed)
{
    FillInputBuffer(raiseIfClosed, 1, false);
}

void TIdTCPConnection::CloseConnection()
{
    DoStatus(TIdStatus::hsDisconnecting);
    CloseSocket();
    if (m_ownedHandler) {
        m_ownedHandler.reset();
        m_ioHandler = nullptr;
    }
    DoDisconnected();
    DoStatus(TIdStatus::hsDisconnected);
}

void TIdTCPConnection::CloseSocket()
{
    if (m_ioHandler) {
        m_closedGracefully = true;
        m_ioHandler->Close();
    }
}

void TIdTCPConnection::ResetConnection()
{
    m_inputBuffer.Clear();
    m_closedGracefully = false;
}

void TIdTCPConnection::DoDisconnected()
{
    if (OnDisconnected)
        OnDisconnected();
}

void TIdTCPConnection::RaiseSocketError(int code)
{
    throw EIdSocketError(code);
}

std::string TIdTCPConnection::ReadLine(const std::string& terminator, std::int32_t maxLength)
{
    if (maxLength == -1)
        maxLength = m_maxLineLength;
    const std::string_view term = terminator.empty() ? std::string_view("\n") : terminator;
    const auto limit = static_cast<std::size_t>(maxLength < 0 ? 0 : maxLength);
    m_readLnSplit = false;
    m_readLnTimedOut = false;

    // Only the bytes that arrived since the previous pass are searched (plus the few before
    // them a terminator could straddle), so a long line costs linear time.
    std::size_t searchFrom = 0;
    for (;;) {
        const std::string_view unread(m_inputBuffer.Data(), m_inputBuffer.Size());
        const std::size_t at = unread.find(term, searchFrom);
        const std::size_t before = at == std::string_view::npos ? unread.size() : at;
        if (limit != 0 && before > limit) {
            if (m_maxLineAction == maException)
                throw EIdReadLnMaxLineLengthExceeded();
            m_readLnSplit = true;
            std::string piece(unread.substr(0, limit));
            m_inputBuffer.Consume(limit);
            DoWork(TIdWorkMode::wmRead, static_cast<std::int64_t>(limit));
            return piece;
        }
        if (at != std::string_view::npos) {
            std::string line(unread.substr(0, at));
            m_inputBuffer.Consume(at + term.size());
            DoWork(TIdWorkMode::wmRead, static_cast<std::int64_t>(at + term.size()));
            if (term == "\n" && !line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        searchFrom = unread.size() >= term.size() ? unread.size() - term.size() + 1 : 0;

        CheckDisconnect(true, true);
        if (FillInputBuffer(true, -1, true) == 0) {
            m_readLnTimedOut = true;
            return std::string();
        }
    }
}

void TIdTCPConnection::ReadExact(char* buffer, std::int32_t count)
{
    if (count <= 0)
        return;
    const auto needed = static_cast<std::size_t>(count);
    while (m_inputBuffer.Size() < needed) {
        FillInputBuffer(true, -1, true);
        CheckDisconnect(true, true);
    }
    std::memcpy(buffer, m_inputBuffer.Data(), needed);
    m_inputBuffer.Consume(needed);
    DoWork(TIdWorkMode::wmRead, count);
}

std::size_t TIdTCPConnection::MoveToStream(TIdStream& stream, std::int64_t count)
{
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::int64_t>(count, static_cast<std::int64_t>(m_inputBuffer.Size())));
    if (n > 0) {
        stream.Write(m_inputBuffer.Data(), n);
        m_inputBuffer.Consume(n);
        DoWork(TIdWorkMode::wmRead, static_cast<std::int64_t>(n));
    }
    return n;
}

void TIdTCPConnection::ReadToStream(TIdStream& stream, std::int64_t count, bool untilClose)
{
    if (count >= 0 && !untilClose)
        stream.Reserve(stream.Size() + count);
    std::int64_t remaining = untilClose ? std::numeric_limits<std::int64_t>::max() : count;

    BeginWork(TIdWorkMode::wmRead, untilClose ? 0 : count);
    const WorkScope work([this] { EndWork(TIdWorkMode::wmRead); });

    // Every byte goes to the stream as soon as it has arrived, so a body cut short by a close
    // or a reset keeps all that was received.
    remaining -= static_cast<std::int64_t>(MoveToStream(stream, remaining));
    while (remaining > 0 && IsConnected()) {
        try {
            FillInputBuffer(true, -1, true);
        } catch (const EIdConnClosedGracefully&) {
            if (!untilClose)
                throw;
        }
        remaining -= static_cast<std::int64_t>(MoveToStream(stream, remaining));
    }
}

void TIdTCPConnection::WriteBytes(const char* data, std::size_t size, bool sendNow)
{
    if (size == 0)
        return;
    CheckDisconnect(true, true);
    if (!IsConnected())
        throw EIdNotConnected();
    if (sendNow || !m_writeBuffer) {
        SendNow(data, size);
        return;
    }
    m_writeBuffer->append(data, size);
    if (m_writeThreshold > 0 && m_writeBuffer->size() >= static_cast<std::size_t>(m_writeThreshold))
        FlushWrites(m_writeThreshold);
}

void TIdTCPConnection::SendNow(const char* data, std::size_t size)
{
    BeginWork(TIdWorkMode::wmWrite, static_cast<std::int64_t>(size));
    const WorkScope work([this] { EndWork(TIdWorkMode::wmWrite); });
    std::size_t sent = 0;
    while (sent < size) {
        const auto chunk = static_cast<std::int32_t>(
            std::min<std::size_t>(size - sent, std::numeric_limits<std::int32_t>::max()));
        const std::int32_t n = m_ioHandler->Send(data + sent, chunk);
        if (n < 0) {
            const int code = m_ioHandler->LastError();
            if (code == platform::wsa::kShutDown || code == platform::wsa::kConnectionAborted ||
                code == platform::wsa::kConnectionReset)
                CloseSocket();
            RaiseSocketError(code);
        }
        m_closedGracefully = n == 0;
        CheckDisconnect(true, false);
        DoWork(TIdWorkMode::wmWrite, n);
        sent += static_cast<std::size_t>(n);
    }
}

void TIdTCPConnection::WriteText(const std::string& text)
{
    WriteBytes(text.data(), text.size());
}

void TIdTCPConnection::WriteLine(const std::string& text)
{
    WriteText(text + "\r\n");
}

void TIdTCPConnection::BeginBufferedWrite(std::int32_t threshold)
{
    m_writeBuffer.emplace();
    m_writeThreshold = threshold;
}

void TIdTCPConnection::FlushWrites(std::int32_t count)
{
    if (!m_writeBuffer || m_writeBuffer->empty())
        return;
    if (count != -1 && count >= 0 && m_writeBuffer->size() >= static_cast<std::size_t>(count)) {
        const std::string head = m_writeBuffer->substr(0, static_cast<std::size_t>(count));
        m_writeBuffer->erase(0, static_cast<std::size_t>(count));
        WriteBytes(head.data(), head.size(), true);
        return;
    }
    std::string all;
    all.swap(*m_writeBuffer);
    WriteBytes(all.data(), all.size(), true);
}

void TIdTCPConnection::EndBufferedWrite()
{
    try {
        FlushWrites(-1);
    } catch (...) {
        m_writeBuffer.reset();
        throw;
    }
    m_writeBuffer.reset();
}

} // namespace http
