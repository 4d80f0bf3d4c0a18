#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "http/id_io_handler.h"

namespace http {

// A transport that replays scripted server replies from memory instead of using sockets: the
// seam through which tests (and fuzz targets of the response reader) drive a whole request.
// Each connect takes the next scripted conversation; what the client sends is recorded.
//
// A fuzz target needs no more than:
//     TIdScriptedIOHandler transport;
//     transport.AddConversation({std::string(data, size)});
//     TIdHTTP client;
//     client.SetIOHandler(&transport);
//     try { std::string body; client.GetText("http://h/x", body); } catch (const std::exception&)
//     {}
class TIdScriptedIOHandler : public TIdIOHandler
{
public:
    enum class TEnd
    {
        Close,   // the peer closes: a receive returns 0
        Silence, // nothing more comes: every wait times out
        Reset,   // the peer resets: a receive fails with 10054
        // Nothing more comes until the client sends again; then the peer has closed (a server
        // dropping an idle kept-alive connection just as the next request goes out).
        CloseOnNextRequest,
    };

    struct TConversation
    {
        std::string reply; // bytes the server sends
        std::size_t bytesPerRecv = std::numeric_limits<std::size_t>::max(); // 1: byte by byte
        TEnd end = TEnd::Close;                                             // after the reply
        int connectError = 0; // non-zero: the connect fails with this Windows Sockets code
    };

    void AddConversation(TConversation conversation);

    // Makes operation number step fail with code; operations are counted from 0 over every
    // connect, wait, receive and send.
    void FailAtStep(int step, int code);
    int Steps() const { return m_steps; }

    // What the client sent, one text per connection made.
    const std::vector<std::string>& Sent() const { return m_sent; }
    // The host and port of every connect, "host:port".
    const std::vector<std::string>& ConnectTargets() const { return m_targets; }

    // With on, StartTLS succeeds and changes nothing, so a test scripts what goes through a
    // tunnel and the TLS session in it as plain bytes; each call is recorded by server name.
    void AcceptTLS(bool on) { m_acceptTLS = on; }
    const std::vector<std::string>& TLSStarts() const { return m_tlsStarts; }

    void Open() override {}
    void Close() override { m_connected = false; }
    void ConnectClient(const std::string& host, std::int32_t port, const std::string& boundIP,
                       std::int32_t boundPort, std::int32_t timeoutMs) override;
    bool Connected() const override { return m_connected; }
    int Readable(std::int32_t timeoutMs) override;
    std::int32_t Recv(char* buffer, std::int32_t size) override;
    std::int32_t Send(const char* data, std::int32_t size) override;
    int LastError() const override { return m_lastError; }
    bool SupportsTLS() const override { return m_acceptTLS; }
    void StartTLS(const std::string& serverName, std::int32_t timeoutMs) override;

private:
    // Counts an operation; true (with the error set) when it is the one to fail.
    bool FailsNow();

    std::deque<TConversation> m_pending;
    TConversation m_current;
    std::size_t m_offset = 0;
    bool m_sentAfterReply = false;
    bool m_connected = false;
    int m_lastError = 0;
    int m_steps = 0;
    int m_failStep = -1;
    int m_failCode = 0;
    std::vector<std::string> m_sent;
    std::vector<std::string> m_targets;
    bool m_acceptTLS = false;
    std::vector<std::string> m_tlsStarts;
};

} // namespace http
