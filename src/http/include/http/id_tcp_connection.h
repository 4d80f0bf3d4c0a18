#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "http/id_component.h"
#include "http/id_io_handler.h"
#include "http/id_managed_buffer.h"
#include "http/id_stream.h"

namespace http {

// A blocking TCP connection: an input buffer from which lines, exact byte counts or everything
// up to the peer's close are read; buffered writes; detection of a close by the peer. Every
// call blocks the calling thread; a connection belongs to one thread at a time.
//
// States: no handler (never connected, or closed by CloseConnection); open (a socket is
// allocated and no close has been seen); closed (the peer's close was received, or the socket
// was closed here). IsConnected is true only when open.
class TIdTCPConnection : public TIdComponent
{
public:
    enum TIdMaxLineAction
    {
        maException, // an over-long line raises EIdReadLnMaxLineLengthExceeded
        maSplit,     // an over-long line is returned in pieces of the maximum length
    };

    // Lines longer than this many bytes before their terminator are refused (or split).
    static constexpr std::int32_t kDefaultMaxLineLength = 16384;
    // Bytes asked of one receive.
    static constexpr std::int32_t kDefaultBufferSize = 32768;

    TIdTCPConnection();
    ~TIdTCPConnection() override;
    TIdTCPConnection(const TIdTCPConnection&) = delete;
    TIdTCPConnection& operator=(const TIdTCPConnection&) = delete;

    // Milliseconds a read waits for data; 0 waits without limit.
    std::int32_t ReadTimeout() const { return m_readTimeout; }
    void SetReadTimeout(std::int32_t milliseconds) { m_readTimeout = milliseconds; }
    std::int32_t MaxLineLength() const { return m_maxLineLength; }
    void SetMaxLineLength(std::int32_t length) { m_maxLineLength = length; }
    TIdMaxLineAction MaxLineAction() const { return m_maxLineAction; }
    void SetMaxLineAction(TIdMaxLineAction action) { m_maxLineAction = action; }
    std::int32_t RecvBufferSize() const { return m_recvBufferSize; }
    void SetRecvBufferSize(std::int32_t size) { m_recvBufferSize = size > 0 ? size : 1; }

    // The transport; nullptr until the first connect makes a socket handler of its own.
    TIdIOHandler* IOHandler() const { return m_ioHandler; }
    // Uses handler (owned by the caller, who keeps it alive as long as the connection) for every
    // later connect. Only while no connection is open.
    void SetIOHandler(TIdIOHandler* handler);

    // Whether the connection is open; notices (and completes) a close already received.
    virtual bool IsConnected();

    // Completes a close already received: closes the socket and reports the disconnect. With
    // raiseIfClosed, throws EIdConnClosedGracefully when the connection is closed and no unread
    // bytes remain (or ignoreBuffer is set).
    virtual void CheckDisconnect(bool raiseIfClosed, bool ignoreBuffer);

    // One wait (timeoutMs; -1 means ReadTimeout) and one receive into the input buffer.
    // Returns the bytes received, 0 when the peer closed, -1 when the wait expired without
    // raiseOnTimeout. Throws EIdReadTimeout, EIdNotConnected, EIdConnClosedGracefully (only
    // with raiseIfClosed) or EIdSocketError.
    std::int32_t FillInputBuffer(bool raiseIfClosed, std::int32_t timeoutMs, bool raiseOnTimeout);

    // Notices a close of an idle connection: FillInputBuffer waiting 1 ms, never timing out.
    void ProbeForClose(bool raiseIfClosed);

    // Closes the socket and releases a handler the connection made for itself. No throw.
    virtual void CloseConnection();

    // A line up to terminator (empty: LF), which is stripped, and a CR before an LF with it.
    // maxLength -1 means MaxLineLength; 0 means no limit. When this very read meets the peer's
    // close with part of a line buffered, returns "" and sets ReadLnTimedOut; the next read
    // then throws. Throws EIdConnClosedGracefully, EIdReadLnMaxLineLengthExceeded,
    // EIdReadTimeout, EIdSocketError.
    std::string ReadLine(const std::string& terminator = "\n", std::int32_t maxLength = -1);
    bool ReadLnSplit() const { return m_readLnSplit; }
    bool ReadLnTimedOut() const { return m_readLnTimedOut; }

    // Exactly count bytes into buffer. A close before they all arrived throws
    // EIdConnClosedGracefully and consumes nothing.
    void ReadExact(char* buffer, std::int32_t count);

    // Appends count bytes (count >= 0, the stream pre-sized for them) or, with untilClose,
    // everything until the peer closes, to stream. Bytes received always reach the stream,
    // also when the read then fails. A close before count bytes throws
    // EIdConnClosedGracefully, unless it had already been noticed, in which case the stream
    // just holds what arrived.
    void ReadToStream(TIdStream& stream, std::int64_t count, bool untilClose);

    // Sends bytes now, or adds them to the write buffer between BeginBufferedWrite and
    // EndBufferedWrite. Throws EIdNotConnected, EIdConnClosedGracefully, EIdSocketError.
    void WriteBytes(const char* data, std::size_t size, bool sendNow = false);
    void WriteText(const std::string& text);
    void WriteLine(const std::string& text); // text + CR LF

    // Collects writes; threshold > 0 flushes automatically once that many bytes are held.
    void BeginBufferedWrite(std::int32_t threshold);
    // Sends the first count buffered bytes when that many are held, else (or with -1) all.
    void FlushWrites(std::int32_t count = -1);
    // Sends everything buffered and stops buffering (also when the send fails).
    void EndBufferedWrite();

    const TIdManagedBuffer& InputBuffer() const { return m_inputBuffer; }

    std::function<void()> OnDisconnected;

protected:
    // The disconnected notification; derived classes add their own steps.
    virtual void DoDisconnected();
    // Empties the input buffer and forgets a close seen before.
    void ResetConnection();
    // Marks the connection closed and closes the handler's socket.
    void CloseSocket();
    // Takes ownership of a handler made by the connection itself.
    void AdoptIOHandler(std::unique_ptr<TIdIOHandler> handler);
    bool ClosedGracefully() const { return m_closedGracefully; }
    void ClearClosedGracefully() { m_closedGracefully = false; }

private:
    [[noreturn]] void RaiseSocketError(int code);
    void SendNow(const char* data, std::size_t size);
    // Moves up to count unread bytes into stream; returns how many.
    std::size_t MoveToStream(TIdStream& stream, std::int64_t count);

    TIdIOHandler* m_ioHandler = nullptr;
    std::unique_ptr<TIdIOHandler> m_ownedHandler;
    TIdManagedBuffer m_inputBuffer;
    std::optional<std::string> m_writeBuffer;
    std::int32_t m_writeThreshold = 0;
    bool m_closedGracefully = false;
    bool m_readLnSplit = false;
    bool m_readLnTimedOut = false;
    std::int32_t m_readTimeout = 0;
    std::int32_t m_maxLineLength = kDefaultMaxLineLength;
    TIdMaxLineAction m_maxLineAction = maException;
    std::int32_t m_recvBufferSize = kDefaultBufferSize;
};

} // namespace http
