#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/socket.h"
#include "support/loopback_servers.h"

using namespace platform;

namespace {

TEST(SocketErrors, MapOntoWindowsSocketsCodes)
{
    const std::pair<int, int> errnoCases[] = {
        {ECONNREFUSED, 10061},
        {ETIMEDOUT, 10060},
        {ECONNRESET, 10054},
        {ECONNABORTED, 10053},
        {EPIPE, 10058},
        {ESHUTDOWN, 10058},
        {ENETUNREACH, 10051},
        {EHOSTUNREACH, 10065},
        {EADDRINUSE, 10048},
        {EADDRNOTAVAIL, 10049},
        {EINTR, 10004},
        {EMFILE, 10024},
        {EAGAIN, 10035},
        {EINPROGRESS, 10036},
        {ENOTCONN, 10057},
        {ENOTEMPTY, 10066},
        {EIO, EIO},
    };
    for (const auto& [error, code] : errnoCases)
        EXPECT_EQ(socketErrorFromErrno(error), code) << error;

    const std::pair<int, int> resolverCases[] = {
        {EAI_NONAME, 11001}, {EAI_AGAIN, 11002},  {EAI_FAIL, 11003},
        {EAI_NODATA, 11004}, {EAI_MEMORY, 10055},
    };
    for (const auto& [result, code] : resolverCases)
        EXPECT_EQ(resolverErrorFromGai(result, 0), code) << result;
    EXPECT_EQ(resolverErrorFromGai(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(ResolveIPv4, LooksUpLocalNamesWithoutTheNetwork)
{
    std::string dotted;
    EXPECT_EQ(resolveIPv4("localhost", dotted), 0);
    EXPECT_EQ(dotted, "127.0.0.1");
    EXPECT_EQ(resolveIPv4("127.0.0.1", dotted), 0);
    // An empty label is refused before any query leaves the machine.
    EXPECT_EQ(resolveIPv4("no..such.host", dotted), 11001);
}

// A listening socket on 127.0.0.1 with a queue of one; it accepts only when asked to, so the
// connections after a waiting one get no answer.
class Listener
{
public:
    Listener() { m_fd = testing_support::listenOnLoopback(0, m_port); }
    ~Listener() { ::close(m_fd); }
    std::uint16_t port() const { return m_port; }
    int accept() { return ::accept(m_fd, nullptr, nullptr); }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

std::uint16_t unusedPort()
{
    Listener gone;
    return gone.port();
}

// A socket connected to a listener, with the listener's end of the connection.
class ConnectedSocket : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(socket.open(), 0);
        bool timedOut = false;
        ASSERT_EQ(socket.connect("127.0.0.1", listener.port(), 0, timedOut), 0);
        peer = listener.accept();
        ASSERT_GE(peer, 0);
    }
    void TearDown() override
    {
        if (peer >= 0)
            ::close(peer);
    }

    Listener listener;
    TcpSocket socket;
    int peer = -1;
};

TEST_F(ConnectedSocket, TalksAndSeesTheOrderlyClose)
{
    std::string address;
    std::uint16_t port = 0;
    EXPECT_EQ(socket.peerAddress(address, port), 0);
    EXPECT_EQ(address + ":" + std::to_string(port), "127.0.0.1:" + std::to_string(listener.port()));
    EXPECT_EQ(socket.localAddress(address, port), 0);
    EXPECT_EQ(address, "127.0.0.1");

    int error = 0;
    EXPECT_EQ(socket.send("ping", 4, error), 4);
    char buffer[16] = {};
    EXPECT_EQ(::recv(peer, buffer, sizeof buffer, 0), 4);
    EXPECT_EQ(socket.waitReadable(20, error), 0);
    ASSERT_EQ(::send(peer, "pong", 4, 0), 4);
    EXPECT_EQ(socket.waitReadable(2000, error), 1);
    EXPECT_EQ(socket.receive(buffer, sizeof buffer, error), 4);
    EXPECT_EQ(std::string(buffer, 4), "pong");

    ::close(peer);
    peer = -1;
    EXPECT_EQ(socket.waitReadable(2000, error), 1);
    EXPECT_EQ(socket.receive(buffer, sizeof buffer, error), 0);
}

TEST_F(ConnectedSocket, ResetPeerGivesCodesNotSignals)
{
    const linger abort{1, 0};
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(peer);
    peer = -1;

    int error = 0;
    char buffer[16];
    EXPECT_EQ(socket.receive(buffer, sizeof buffer, error), -1);
    EXPECT_EQ(error, 10054);
    // The peer is gone: sending fails with a code, and the process is still here to see it.
    const std::string data(65536, 'x');
    std::int64_t sent = 0;
    for (int i = 0; i < 10 && sent >= 0; ++i)
        sent = socket.send(data.data(), data.size(), error);
    EXPECT_EQ(sent, -1);
    EXPECT_TRUE(error == 10058 || error == 10054) << error;
}

TEST(TcpSocket, RefusedPortsAndBadAddresses)
{
    for (const int timeoutMs : {0, 1000}) {
        TcpSocket socket;
        ASSERT_EQ(socket.open(), 0);
        bool timedOut = true;
        EXPECT_EQ(socket.connect("127.0.0.1", unusedPort(), timeoutMs, timedOut), 10061);
        EXPECT_FALSE(timedOut);
    }
    TcpSocket socket;
    ASSERT_EQ(socket.open(), 0);
    bool timedOut = false;
    EXPECT_EQ(socket.connect("not an address", 80, 0, timedOut), 10049);
    EXPECT_EQ(socket.bind("127.0.0.1", 0), 0);
}

TEST(TcpSocket, BoundedConnectGivesUpInTime)
{
    Listener listener;
    std::vector<TcpSocket> sockets(4);
    bool timedOut = false;
    int code = 0;
    for (TcpSocket& socket : sockets) {
        ASSERT_EQ(socket.open(), 0);
        code = socket.connect("127.0.0.1", listener.port(), 200, timedOut);
        if (timedOut)
            break;
    }
    ASSERT_TRUE(timedOut) << "the listener's queue never filled";
    EXPECT_EQ(code, 10060);
}

} // namespace
