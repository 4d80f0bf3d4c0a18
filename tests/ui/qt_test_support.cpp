#include "qt_test_support.h"

#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {
namespace {

int boundLoopbackSocket(std::uint16_t& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot bind a loopback socket");
    }
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

void closeModalWindows()
{
    while (QWidget* window = QApplication::activeModalWidget()) {
        window->close();
        if (QApplication::activeModalWidget() == window)
            window->hide();
    }
}

SilentListener::SilentListener() : m_socket(boundLoopbackSocket(m_port))
{
    if (::listen(m_socket, 16) != 0) {
        ::close(m_socket);
        throw std::runtime_error("listen() failed");
    }
}

SilentListener::~SilentListener()
{
    close();
}

void SilentListener::close()
{
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

} // namespace testing_support
