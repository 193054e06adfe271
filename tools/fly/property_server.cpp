// The property server's client over TCP: POSIX sockets or Windows Sockets,
// one short connection for each question.
#include "property_server.h"

#if defined(_WIN32)
#  include <winsock2.h>
#  include <ws2tcpip.h>
#else
#  include <arpa/inet.h>
#  include <fcntl.h>
#  include <netinet/in.h>
#  include <sys/select.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
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

// Whether `handle` is readable (or, with `writable`, writable) within `timeoutMs`.
bool ready(Handle handle, int timeoutMs, bool writable = false)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(handle, &set);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::select(static_cast<int>(handle) + 1, writable ? nullptr : &set, writable ? &set : nullptr, nullptr,
                    &limit) > 0;
}

// Connects within `timeoutMs`: a FlightGear busy loading its scenery accepts
// nothing, and a blocking connect would then wait for minutes.
bool connectWithin(Handle handle, const sockaddr_in& address, int timeoutMs)
{
#if defined(_WIN32)
    u_long nonBlocking = 1;
    ioctlsocket(handle, FIONBIO, &nonBlocking);
    const bool pending = ::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
                         WSAGetLastError() == WSAEWOULDBLOCK;
#else
    ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) | O_NONBLOCK);
    const int result = ::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (result == 0) {
        return true;
    }
    const bool pending = errno == EINPROGRESS;
#endif
    if (!pending || !ready(handle, timeoutMs, true)) {
        return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
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

bool readyInReply(const std::string& reply)
{
    const auto valueOf = [&reply](const char* path, std::string& value) {
        const std::size_t at = reply.find(std::string(path) + " = '");
        if (at == std::string::npos) {
            return false;
        }
        const std::size_t begin = at + std::strlen(path) + 4;
        const std::size_t end = reply.find('\'', begin);
        if (end == std::string::npos) {
            return false;
        }
        value = reply.substr(begin, end - begin);
        return true;
    };
    std::string loaded;
    std::string alpha;
    if (!valueOf("/sim/sceneryloaded", loaded) || loaded != "true") {
        return false;
    }
    if (!valueOf("/sim/startup/splash-alpha", alpha)) {
        return false;
    }
    if (alpha.empty()) {
        return true;  // a release without the property has no splash to wait for
    }
    char* end = nullptr;
    const double value = std::strtod(alpha.c_str(), &end);
    return end != alpha.c_str() && *end == '\0' && value <= 0.0;
}

Answer flightGearReady(std::uint16_t port, int timeoutMs)
{
    udp::startSockets();
    const Handle handle = ::socket(AF_INET, SOCK_STREAM, 0);
    if (handle == noHandle) {
        return Answer::noServer;
    }
    const sockaddr_in address = loopback(port);
    if (!connectWithin(handle, address, timeoutMs)) {
        closeHandle(handle);
        return Answer::noServer;  // not listening yet, or too busy to take the call
    }
    static const char question[] = "get /sim/sceneryloaded\r\nget /sim/startup/splash-alpha\r\n";
    Answer answer = Answer::notYet;
    if (ready(handle, timeoutMs, true) &&
        sendBytes(handle, question, sizeof question - 1) == static_cast<long>(sizeof question - 1)) {
        // Two answers, perhaps in pieces, each line ended and followed by a prompt.
        char reply[1024];
        std::size_t got = 0;
        std::size_t lines = 0;
        while (got < sizeof reply - 1 && lines < 2 && ready(handle, timeoutMs)) {
            const long n = receiveBytes(handle, reply + got, sizeof reply - 1 - got);
            if (n <= 0) {
                break;
            }
            for (long i = 0; i < n; ++i) {
                lines += reply[got + static_cast<std::size_t>(i)] == '\n' ? 1 : 0;
            }
            got += static_cast<std::size_t>(n);
        }
        reply[got] = '\0';
        if (readyInReply(reply)) {
            answer = Answer::ready;
        }
    }
    closeHandle(handle);
    return answer;
}

}  // namespace props
