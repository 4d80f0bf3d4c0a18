#include "scripted_io_handler.h"

#include <algorithm>
#include <cstring>

#include "http/id_exception.h"
#include "platform/socket.h"

namespace http {

void TIdScriptedIOHandler::AddConversation(TConversation conversation)
{
    m_pending.push_back(std::move(conversation));
}

void TIdScriptedIOHandler::FailAtStep(int step, int code)
{
    m_failStep = step;
    m_failCode = code;
}

bool TIdScriptedIOHandler::FailsNow()
{
    if (m_steps++ != m_failStep)
        return false;
    m_lastError = m_failCode;
    return true;
}

void TIdScriptedIOHandler::ConnectClient(const std::string& host, std::int32_t port,
                                         const std::string&, std::int32_t, std::int32_t)
{
    m_targets.push_back(host + ":" + std::to_string(port));
    if (FailsNow())
        throw EIdSocketError(m_failCode);
    if (m_pending.empty())
        throw EIdSocketError(platform::wsa::kConnectionRefused);
    m_current = std::move(m_pending.front());
    m_pending.pop_front();
    m_offset = 0;
    m_sentAfterReply = false;
    if (m_current.connectError != 0)
        throw EIdSocketError(m_current.connectError);
    m_connected = true;
    m_sent.emplace_back();
}

int TIdScriptedIOHandler::Readable(std::int32_t)
{
    if (FailsNow())
        return -1;
    // A failure that is due counts as pending, as a socket error does on a real socket.
    if (m_offset < m_current.reply.size() || m_steps == m_failStep)
        return 1;
    if (m_current.end == TEnd::CloseOnNextRequest)
        return m_sentAfterReply ? 1 : 0;
    return m_current.end == TEnd::Silence ? 0 : 1;
}

std::int32_t TIdScriptedIOHandler::Recv(char* buffer, std::int32_t size)
{
    if (FailsNow())
        return -1;
    const std::size_t left = m_current.reply.size() - m_offset;
    if (left == 0) {
        if (m_current.end == TEnd::Close ||
            (m_current.end == TEnd::CloseOnNextRequest && m_sentAfterReply))
            return 0;
        m_lastError = m_current.end == TEnd::Reset ? platform::wsa::kConnectionReset
                                                   : platform::wsa::kWouldBlock;
        return -1;
    }
    const std::size_t n = std::min({left, m_current.bytesPerRecv, static_cast<std::size_t>(size)});
    std::memcpy(buffer, m_current.reply.data() + m_offset, n);
    m_offset += n;
    return static_cast<std::int32_t>(n);
}

std::int32_t TIdScriptedIOHandler::Send(const char* data, std::int32_t size)
{
    if (FailsNow())
        return -1;
    if (!m_connected) {
        m_lastError = platform::wsa::kShutDown;
        return -1;
    }
    m_sent.back().append(data, static_cast<std::size_t>(size));
    if (m_offset == m_current.reply.size())
        m_sentAfterReply = true;
    return size;
}

void TIdScriptedIOHandler::StartTLS(const std::string& serverName, std::int32_t timeoutMs)
{
    if (!m_acceptTLS)
        TIdIOHandler::StartTLS(serverName, timeoutMs);
    if (!m_connected)
        throw EIdNotConnected();
    m_tlsStarts.push_back(serverName);
}

} // namespace http
