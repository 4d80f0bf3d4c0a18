#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "support/temp_dir.h"

namespace testing_support {

// A server program started by a test as its own child process on 127.0.0.1, in a temporary
// directory of its own that holds its configuration, logs and PID file. The server is stopped
// when the object goes away, also when the test fails; should the test process itself die,
// the server gets SIGTERM from the kernel. Servers listen on free ports picked at start, so
// tests may run in parallel. One thread per object.
class ServerProcess
{
public:
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    std::uint16_t port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string url(std::string_view path = "/") const;
    // The temporary directory of this server.
    const std::filesystem::path& runDirectory() const { return m_dir.path(); }
    // The server's output (stdout and stderr).
    std::string output() const;
    // Stops the server and waits for it (SIGKILL after a few seconds). Nothing once stopped.
    void stop();

protected:
    ServerProcess() = default;
    ~ServerProcess();

    // Starts argv (the program looked up in PATH) with its output going to the output file,
    // stopped later with stopSignal. Throws std::runtime_error when it cannot be started.
    void spawn(const std::vector<std::string>& argv, int stopSignal = SIGTERM);
    // Waits until the child accepts connections on port and ready() holds, at most timeout.
    // False when the child exited first or time ran out (the child is then stopped).
    bool waitUntilListening(std::uint16_t port, std::chrono::milliseconds timeout,
                            const std::function<bool()>& ready);
    void setPort(std::uint16_t port) { m_port = port; }
    pid_t pid() const { return m_pid; }
    // Starts the server up to a few times, picking new ports each time: another process may
    // take a free port before the server binds it. Throws std::runtime_error with the last
    // output when every attempt fails.
    void startWithRetries(const std::string& name, const std::function<bool()>& attempt);

private:
    bool childAlive();

    TempDir m_dir;
    pid_t m_pid = -1;
    int m_stopSignal = SIGTERM;
    std::uint16_t m_port = 0;
};

// nginx from the test configuration tests/support/nginx.conf: static files of docroot() with
// Content-Length and keep-alive, /close/FILE (Connection: close), /chunked/FILE, /eof/FILE
// (body until close), /redirect (302), /set-cookie, /headers (request head echoed), /slow.
class NginxServer : public ServerProcess
{
public:
    // Throws std::runtime_error when nginx does not come up.
    NginxServer();
    ~NginxServer();

    // Empty at start; the test fills it.
    const std::filesystem::path& docroot() const { return m_docroot; }
    std::string accessLog() const;
    std::string errorLog() const;
    // Waits until the access log holds a line containing needle: nginx logs a request only
    // after it has answered it. False after timeout.
    bool waitForAccessLog(std::string_view needle,
                          std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

private:
    std::filesystem::path m_docroot;
};

// tinyproxy (tests/support/tinyproxy.conf) with Basic proxy authorization for user and
// password. It answers 407 without credentials and 401 for wrong ones, and closes the client
// connection after every answer. CONNECT goes to any port, or with connectPorts to those only
// (others get "403 Access violation").
class TinyProxy : public ServerProcess
{
public:
    TinyProxy(const std::string& user, const std::string& password,
              const std::vector<std::uint16_t>& connectPorts = {});
    ~TinyProxy();

    // Holds "Request (file descriptor N): GET <absolute URL> HTTP/1.1" per request.
    std::string log() const;
    bool waitForLog(std::string_view needle,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
};

// The scripted fault server tests/support/badserver.py; the request path picks the misdeed.
class FaultServer : public ServerProcess
{
public:
    FaultServer();
    ~FaultServer();
};

// The bytes of a file, empty when it does not exist (yet): for logs and PID files.
std::string readTextIfAny(const std::filesystem::path& path);

// text with every from replaced by to: for filling configuration templates.
std::string replaceAll(std::string text, const std::string& from, const std::string& to);

// Whether something accepts TCP connections on 127.0.0.1 at port.
bool acceptsConnections(std::uint16_t port);

// The Python interpreter for the scripted servers: Debian's starts in a tenth of the time a
// version-manager shim needs.
std::string pythonInterpreter();

// A TCP port on 127.0.0.1 that nothing listened on a moment ago.
std::uint16_t freeLoopbackPort();

// A socket on 127.0.0.1 at a port the kernel picked (stored in port), listening with a queue of
// backlog connections (a negative backlog: bound only). The caller closes it. Throws
// std::runtime_error when it cannot.
int listenOnLoopback(int backlog, std::uint16_t& port);

} // namespace testing_support
