#include "support/loopback_servers.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 10s;
constexpr auto kStopTimeout = 5s;
constexpr int kStartAttempts = 4;

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

} // namespace

std::string readTextIfAny(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

bool acceptsConnections(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

std::string pythonInterpreter()
{
    return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

int listenOnLoopback(int backlog, std::uint16_t& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("cannot create a socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        (backlog >= 0 && ::listen(fd, backlog) != 0)) {
        ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

std::uint16_t freeLoopbackPort()
{
    std::uint16_t port = 0;
    ::close(listenOnLoopback(-1, port)); // bound, never listening
    return port;
}

std::string ServerProcess::url(std::string_view path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(path);
}

std::string ServerProcess::output() const
{
    return readTextIfAny(m_dir.path() / "output.log");
}

ServerProcess::~ServerProcess()
{
    stop();
}

void ServerProcess::spawn(const std::vector<std::string>& argv, int stopSignal)
{
    stop();
    m_stopSignal = stopSignal;
    // Everything the child needs is prepared before fork: after it only async-signal-safe
    // calls are allowed.
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const std::string outputPath = (m_dir.path() / "output.log").string();
    const int output = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (output < 0)
        throw std::runtime_error("cannot create " + outputPath);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(output);
    if (pid < 0)
        throw std::runtime_error("cannot fork for " + argv[0]);
    m_pid = pid;
}

bool ServerProcess::childAlive()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

bool ServerProcess::waitUntilListening(std::uint16_t port, std::chrono::milliseconds timeout,
                                       const std::function<bool()>& ready)
{
    const bool up =
        waitFor([&] { return !childAlive() || (acceptsConnections(port) && ready()); }, timeout);
    if (up && childAlive())
        return true;
    stop();
    return false;
}

void ServerProcess::startWithRetries(const std::string& name, const std::function<bool()>& attempt)
{
    for (int i = 0; i < kStartAttempts; ++i) {
        if (attempt())
            return;
    }
    throw std::runtime_error(name + " did not start; its output:\n" + output());
}

void ServerProcess::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, m_stopSignal);
    int status = 0;
    if (!waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, kStopTimeout)) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
}

NginxServer::NginxServer() : m_docroot(runDirectory() / "www")
{
    const auto& run = runDirectory();
    std::filesystem::create_directories(m_docroot);
    // nginx makes tmp/body and its siblings itself, but not tmp/.
    std::filesystem::create_directories(run / "tmp");
    const std::string tmpl =
        readTextIfAny(std::filesystem::path(KAVOR_TEST_SUPPORT_DIR) / "nginx.conf");

    startWithRetries("nginx", [&] {
        const std::uint16_t port = freeLoopbackPort();
        const std::uint16_t backend = freeLoopbackPort();
        std::string config = replaceAll(tmpl, "@NGINX_PORT@", std::to_string(port));
        config = replaceAll(config, "@BACKEND_PORT@", std::to_string(backend));
        config = replaceAll(config, "@DOCROOT@", m_docroot.string());
        std::ofstream(run / "nginx.conf", std::ios::trunc) << config;
        std::filesystem::remove(run / "nginx.pid");
        setPort(port);
        // In the foreground nginx stays this process's child, so it can be awaited; the PID
        // file appears once its ports are bound, which tells it from a stranger on the port.
        spawn({"nginx", "-p", run.string() + "/", "-e", (run / "error.log").string(), "-c",
               (run / "nginx.conf").string(), "-g", "daemon off;"},
              SIGTERM);
        return waitUntilListening(port, kStartTimeout, [&] {
            return !readTextIfAny(run / "nginx.pid").empty() && acceptsConnections(backend);
        });
    });
}

NginxServer::~NginxServer()
{
    stop();
}

std::string NginxServer::accessLog() const
{
    return readTextIfAny(runDirectory() / "access.log");
}

std::string NginxServer::errorLog() const
{
    return readTextIfAny(runDirectory() / "error.log");
}

bool NginxServer::waitForAccessLog(std::string_view needle, std::chrono::milliseconds timeout) const
{
    return waitFor([&] { return accessLog().find(needle) != std::string::npos; }, timeout);
}

TinyProxy::TinyProxy(const std::string& user, const std::string& password,
                     const std::vector<std::uint16_t>& connectPorts)
{
    const auto& run = runDirectory();
    const std::string tmpl =
        readTextIfAny(std::filesystem::path(KAVOR_TEST_SUPPORT_DIR) / "tinyproxy.conf");
    startWithRetries("tinyproxy", [&] {
        const std::uint16_t port = freeLoopbackPort();
        std::string config = replaceAll(tmpl, "@PROXY_PORT@", std::to_string(port));
        config = replaceAll(config, "@PROXY_USER@", user);
        config = replaceAll(config, "@PROXY_PASSWORD@", password);
        config = replaceAll(config, "@RUN_DIR@", run.string());
        for (const std::uint16_t connectPort : connectPorts)
            config += "ConnectPort " + std::to_string(connectPort) + "\n";
        std::ofstream(run / "tinyproxy.conf", std::ios::trunc) << config;
        setPort(port);
        spawn({"tinyproxy", "-d", "-c", (run / "tinyproxy.conf").string()}, SIGTERM);
        return waitUntilListening(port, kStartTimeout, [] { return true; });
    });
}

TinyProxy::~TinyProxy()
{
    stop();
}

std::string TinyProxy::log() const
{
    return readTextIfAny(runDirectory() / "tinyproxy.log");
}

bool TinyProxy::waitForLog(std::string_view needle, std::chrono::milliseconds timeout) const
{
    return waitFor([&] { return log().find(needle) != std::string::npos; }, timeout);
}

FaultServer::FaultServer()
{
    const auto& run = runDirectory();
    const std::filesystem::path portFile = run / "port";
    startWithRetries("badserver.py", [&] {
        // The server binds port 0 itself and reports the port it got, so no race is possible.
        std::filesystem::remove(portFile);
        spawn({pythonInterpreter(),
               (std::filesystem::path(KAVOR_TEST_SUPPORT_DIR) / "badserver.py").string(),
               "--port-file", portFile.string(), "--max-seconds", "300"},
              SIGTERM);
        if (!waitFor([&] { return !readTextIfAny(portFile).empty(); }, kStartTimeout))
            return false;
        setPort(static_cast<std::uint16_t>(std::stoi(readTextIfAny(portFile))));
        std::ofstream(run / "badserver.pid") << pid() << "\n";
        return waitUntilListening(port(), kStartTimeout, [] { return true; });
    });
}

FaultServer::~FaultServer()
{
    stop();
}

} // namespace testing_support
