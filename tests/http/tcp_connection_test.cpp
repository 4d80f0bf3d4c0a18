// The connection layer over the scripted transport: line reading, exact and stream reads,
// buffered writes, and how closes, resets and aborts are noticed.

#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "http/id_exception.h"
#include "http/id_managed_buffer.h"
#include "http/id_tcp_client.h"
#include "platform/socket.h"
#include "scripted_io_handler.h"

using namespace http;

namespace {

using TEnd = TIdScriptedIOHandler::TEnd;
constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

TEST(ManagedBuffer, KeepsTheUnreadBytesThroughGrowthAndCompaction)
{
    // Checked against a plain string over a long random run that crosses the compaction point
    // many times.
    std::mt19937 random(42);
    TIdManagedBuffer buffer;
    std::string model;
    for (int round = 0; round < 5000; ++round) {
        const std::size_t add = random() % 20000;
        std::string bytes(add, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        if (random() % 2 == 0) {
            buffer.Append(bytes.data(), bytes.size());
        } else {
            std::memcpy(buffer.Prepare(add + 100), bytes.data(), add);
            buffer.Commit(add);
        }
        model += bytes;
        const std::size_t take = random() % (model.size() + 1);
        buffer.Consume(take);
        model.erase(0, take);
        ASSERT_EQ(std::string(buffer.Data(), buffer.Size()), model) << "round " << round;
    }
    buffer.Consume(buffer.Size() + 10);
    EXPECT_EQ(buffer.Size(), 0u);
}

// A client connected to one scripted conversation.
class ScriptedConnection : public ::testing::Test
{
protected:
    void connect(std::string reply, TEnd end, std::size_t bytesPerRecv = kWhole)
    {
        transport.AddConversation({std::move(reply), bytesPerRecv, end, 0});
        client.SetIOHandler(&transport);
        client.SetHost("host");
        client.SetPort(80);
        client.OpenConnection(0);
    }

    TIdScriptedIOHandler transport;
    TIdTCPClient client;
};

// ReadLine called until the table's results run out; each result is a line, or the name of the
// exception that call throws.
struct LineCase
{
    const char* name;
    std::string reply;
    TEnd end;
    std::vector<std::string> results;
};

const std::string kClosed = "!EIdConnClosedGracefully";
const std::string kTooLong = "!EIdReadLnMaxLineLengthExceeded";
const std::string kTimeout = "!EIdReadTimeout";

const LineCase kLines[] = {
    {"complete lines then close", "a\r\nb\n\r\n", TEnd::Close, {"a", "b", "", kClosed, kClosed}},
    {"close inside a line", "complete\npart", TEnd::Close, {"complete", "", kClosed}},
    {"silence inside a line", "part", TEnd::Silence, {kTimeout}},
    {"only one cr stripped", "a\r\r\n", TEnd::Close, {"a\r", kClosed}},
    {"cr alone is no line end", "a\rb\n", TEnd::Close, {"a\rb", kClosed}},
    {"16384 bytes and lf",
     std::string(16384, 'x') + "\nnext\n",
     TEnd::Close,
     {std::string(16384, 'x'), "next", kClosed}},
    {"16383 bytes and crlf",
     std::string(16383, 'x') + "\r\n",
     TEnd::Close,
     {std::string(16383, 'x'), kClosed}},
    {"16384 bytes and crlf", std::string(16384, 'x') + "\r\n", TEnd::Close, {kTooLong}},
    {"no line end in sight", std::string(16385, 'x'), TEnd::Silence, {kTooLong}},
    {"empty reply", "", TEnd::Close, {kClosed}},
};

class LineTable : public ::testing::TestWithParam<std::size_t>
{};

TEST_P(LineTable, ReadsLinesAndNoticesTheClose)
{
    const LineCase& c = kLines[GetParam() / 2];
    const std::size_t perRecv = GetParam() % 2 == 0 ? kWhole : 1;
    SCOPED_TRACE(std::string(c.name) + (perRecv == 1 ? ", byte by byte" : ""));
    TIdScriptedIOHandler transport;
    transport.AddConversation({c.reply, perRecv, c.end, 0});
    TIdTCPClient client;
    client.SetIOHandler(&transport);
    client.OpenConnection(0);
    for (const std::string& expected : c.results) {
        std::string result;
        try {
            result = client.ReadLine();
        } catch (const EIdException& e) {
            result = std::string("!") + e.ClassName();
        }
        ASSERT_EQ(result, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, LineTable, ::testing::Range<std::size_t>(0, 2 * std::size(kLines)));

TEST_F(ScriptedConnection, LineCutByTheCloseIsReportedAsTimedOut)
{
    connect("ab", TEnd::Close, 1);
    EXPECT_EQ(client.ReadLine(), "");
    EXPECT_TRUE(client.ReadLnTimedOut());
    EXPECT_EQ(client.InputBuffer().Size(), 2u);
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(ScriptedConnection, OtherTerminatorsAndSplitting)
{
    connect("oneENDtwo\nabcdefghij\n", TEnd::Silence, 2);
    EXPECT_EQ(client.ReadLine("END"), "one");
    EXPECT_EQ(client.ReadLine(""), "two");
    client.SetMaxLineAction(TIdTCPConnection::maSplit);
    EXPECT_EQ(client.ReadLine("\n", 4), "abcd");
    EXPECT_TRUE(client.ReadLnSplit());
    EXPECT_EQ(client.ReadLine("\n", 4), "efgh");
    EXPECT_EQ(client.ReadLine("\n", 4), "ij");
    EXPECT_FALSE(client.ReadLnSplit());
}

TEST_F(ScriptedConnection, StreamReadsKeepWhatArrived)
{
    connect("0123456789", TEnd::Close, 3);
    TIdStringStream stream;
    EXPECT_THROW(client.ReadToStream(stream, 20, false), EIdConnClosedGracefully);
    EXPECT_EQ(stream.Data(), "0123456789");
    // The close is known now: the next read just ends.
    client.ReadToStream(stream, 5, false);
    EXPECT_EQ(stream.Data(), "0123456789");
}

TEST_F(ScriptedConnection, StreamReadUntilCloseTakesEverything)
{
    connect("line\nrest of it", TEnd::Close, 4);
    EXPECT_EQ(client.ReadLine(), "line");
    TIdStringStream stream;
    client.ReadToStream(stream, -1, true);
    EXPECT_EQ(stream.Data(), "rest of it");
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(ScriptedConnection, StreamReadLeavesTheNextAnswerBuffered)
{
    connect("12345NEXT", TEnd::Silence);
    TIdStringStream stream;
    client.ReadToStream(stream, 5, false);
    EXPECT_EQ(stream.Data(), "12345");
    EXPECT_EQ(std::string(client.InputBuffer().Data(), client.InputBuffer().Size()), "NEXT");
}

TEST_F(ScriptedConnection, ExactReadConsumesNothingWhenCutShort)
{
    connect("abc", TEnd::Close);
    char buffer[8] = {};
    client.ReadExact(buffer, 2);
    EXPECT_EQ(std::string(buffer, 2), "ab");
    EXPECT_THROW(client.ReadExact(buffer, 2), EIdConnClosedGracefully);
    EXPECT_EQ(client.InputBuffer().Size(), 1u);
}

TEST_F(ScriptedConnection, AbortWithBufferedBytesLetsThemBeRead)
{
    // Steps: 0 connect, 1 wait, 2 receive, 3 wait, 4 receive (aborted).
    transport.FailAtStep(4, platform::wsa::kConnectionAborted);
    connect("line1\npartial", TEnd::Silence);
    EXPECT_EQ(client.ReadLine(), "line1");
    EXPECT_EQ(client.ReadLine(), "");
    EXPECT_TRUE(client.ReadLnTimedOut());
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THROW(client.ReadLine(), EIdConnClosedGracefully);
}

TEST_F(ScriptedConnection, AbortWithNothingBufferedIsASocketError)
{
    transport.FailAtStep(2, platform::wsa::kConnectionAborted);
    connect("data\n", TEnd::Silence);
    try {
        client.ReadLine();
        FAIL() << "no exception";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.Code(), 10053);
        EXPECT_STREQ(e.what(), "Socket Error # 10053\r\nSoftware caused connection abort.");
    }
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(ScriptedConnection, ResetWhileReadingLeavesTheSocketOpen)
{
    connect("abc", TEnd::Reset);
    TIdStringStream stream;
    EXPECT_THROW(client.ReadToStream(stream, 10, false), EIdSocketError);
    EXPECT_EQ(stream.Data(), "abc");
    EXPECT_TRUE(client.IsConnected());
}

TEST_F(ScriptedConnection, BufferedWritesLeaveAtTheThresholdAndAtTheEnd)
{
    connect("", TEnd::Silence);
    client.BeginBufferedWrite(5);
    client.WriteText("abc");
    EXPECT_EQ(transport.Sent().at(0), "");
    client.WriteText("def");
    EXPECT_EQ(transport.Sent().at(0), "abcde");
    client.WriteLine("g");
    client.EndBufferedWrite();
    EXPECT_EQ(transport.Sent().at(0), "abcdefg\r\n");
    client.WriteText("now");
    EXPECT_EQ(transport.Sent().at(0), "abcdefg\r\nnow");
}

TEST_F(ScriptedConnection, SendToAVanishedPeerClosesAndReports)
{
    transport.FailAtStep(1, platform::wsa::kShutDown);
    connect("", TEnd::Silence);
    try {
        client.WriteText("GET / HTTP/1.1\r\n\r\n");
        FAIL() << "no exception";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.Code(), 10058);
    }
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THROW(client.WriteText("more"), EIdConnClosedGracefully);
}

TEST(TcpClient, OpenAndCloseStates)
{
    TIdScriptedIOHandler transport;
    transport.AddConversation({"", kWhole, TEnd::Silence, platform::wsa::kConnectionRefused});
    transport.AddConversation({"x", kWhole, TEnd::Silence, 0});
    TIdTCPClient client;
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THROW(client.WriteText("x"), EIdNotConnected);
    client.SetIOHandler(&transport);

    try {
        client.OpenConnection(0);
        FAIL() << "no exception";
    } catch (const EIdSocketError& e) {
        EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.IOHandler(), &transport);

    client.OpenConnection(0);
    EXPECT_TRUE(client.IsConnected());
    EXPECT_THROW(client.OpenConnection(0), EIdAlreadyConnected);

    std::vector<std::string> statuses;
    client.OnStatus = [&](TIdStatus, const std::string& text) { statuses.push_back(text); };
    client.CloseConnection();
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(statuses, (std::vector<std::string>{"Disconnecting.", "Disconnected."}));
}

} // namespace
