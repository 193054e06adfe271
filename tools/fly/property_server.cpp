// The property server's client over TCP: POSIX sockets or Windows Sockets,
// one short connection for each question.
#include "property_server.h"

#if defined(_WIN32)
#  include <winsock2.h>
#  include <ws2tcpip.h>
#else
#  include <arpa/inet.h>
#  include <netinet/in.h>
#  include <sys/select.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif

#include <cstring>

#include "udp_socket.h"

namespace props {

namespace {

#if defined(_WIN32)
using Handle = SOCKET;
constexpr Handle noHandle = INVALID_SOCKET;
void closeHandle(Handle handle) { closesocket(handle); }
long sendBytes(Handle handle, const char* data, std::size_t length) { return ::send(handle, data, static_cast<int>(length), 0); }
long receiveBytes(Handle handle, char* data, std::size_t length) { return ::recv(handle, data, static_cast<int>(length), 0); }
#else
using Handle = int;
constexpr Handle noHandle = -1;
void closeHandle(Handle handle) { ::close(handle); }
long sendBytes(Handle handle, const char* data, std::size_t length) { return ::send(handle, data, length, 0); }
long receiveBytes(Handle handle, char* data, std::size_t length) { return ::recv(handle, data, length, 0); }
#endif

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Whether `handle` is readable within `timeoutMs`.
bool readable(Handle handle, int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(handle, &set);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::select(static_cast<int>(handle) + 1, &set, nullptr, nullptr, &limit) > 0;
}

}  // namespace

std::uint16_t freePort()
{
    udp::startSockets();
    const Handle handle = ::socket(AF_INET, SOCK_STREAM, 0);
    if (handle == noHandle) {
        return 0;
    }
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    closeHandle(handle);
    return port;
}

Answer sceneryLoaded(std::uint16_t port, int timeoutMs)
{
    udp::startSockets();
    const Handle handle = ::socket(AF_INET, SOCK_STREAM, 0);
    if (handle == noHandle) {
        return Answer::noServer;
    }
    const sockaddr_in address = loopback(port);
    if (::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        closeHandle(handle);
        return Answer::noServer;  // not listening yet
    }
    static const char question[] = "get /sim/sceneryloaded\r\n";
    Answer answer = Answer::notYet;
    if (sendBytes(handle, question, sizeof question - 1) == static_cast<long>(sizeof question - 1)) {
        // The reply: "/sim/sceneryloaded = 'true' (bool)", perhaps in pieces, then a prompt.
        char reply[512];
        std::size_t got = 0;
        while (got < sizeof reply - 1 && readable(handle, timeoutMs)) {
            const long n = receiveBytes(handle, reply + got, sizeof reply - 1 - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
            reply[got] = '\0';
            if (std::strchr(reply, '\n') != nullptr) {
                break;
            }
        }
        reply[got] = '\0';
        if (std::strstr(reply, "sceneryloaded") != nullptr && std::strstr(reply, "'true'") != nullptr) {
            answer = Answer::ready;
        }
    }
    closeHandle(handle);
    return answer;
}

}  // namespace props
