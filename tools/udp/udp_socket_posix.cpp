// The UDP endpoint's primitives on POSIX sockets.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "command_line.h"
#include "socket_calls.h"

namespace udp {

namespace {

// Linux tells a datagram's full length with MSG_TRUNC; elsewhere a datagram
// that fills the buffer is taken as longer than it (callers' buffers are
// larger than any datagram they accept).
#if defined(__linux__)
constexpr int fullLength = MSG_TRUNC;
#else
constexpr int fullLength = 0;
#endif
// A send to a closed peer raises no SIGPIPE for UDP; the flag, where there is one, says so anyway.
#if defined(MSG_NOSIGNAL)
constexpr int noSignal = MSG_NOSIGNAL;
#else
constexpr int noSignal = 0;
#endif

sockaddr_in socketAddress(std::uint32_t address, std::uint16_t port)
{
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_addr.s_addr = htonl(address);
    out.sin_port = htons(port);
    return out;
}

}  // namespace

bool sameFile(const std::string& first, const std::string& second)
{
    struct stat a{};
    struct stat b{};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

namespace calls {

bool start() { return true; }

bool resolve(const std::string& host, std::uint32_t& address, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || found == nullptr) {
        error = "cannot resolve " + command_line::quoted(host) + ": " + gai_strerror(status);
        return false;
    }
    address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(found);
    return true;
}

Handle open()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    return fd < 0 ? invalid : fd;
}

bool bind(Handle socket, std::uint32_t address, std::uint16_t port)
{
    const sockaddr_in to = socketAddress(address, port);
    return ::bind(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

bool connect(Handle socket, std::uint32_t address, std::uint16_t port)
{
    const sockaddr_in to = socketAddress(address, port);
    return ::connect(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

void setReceiveBuffer(Handle socket, int bytes)
{
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);  // the system may grant less
}

std::string lastError() { return std::strerror(errno); }

bool name(Handle socket, bool peer, Sender& out)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    sockaddr* into = reinterpret_cast<sockaddr*>(&address);
    const int fd = static_cast<int>(socket);
    if ((peer ? ::getpeername(fd, into, &length) : ::getsockname(fd, into, &length)) != 0) {
        return false;
    }
    out = Sender{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
    return true;
}

long receive(Handle socket, std::span<std::uint8_t> buffer, int timeoutMs, Sender* from)
{
    const int fd = static_cast<int>(socket);
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    const auto receiveOne = [&](int flags) -> long {
        const ssize_t got = ::recvfrom(fd, buffer.data(), buffer.size(), flags | fullLength,
                                       reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (got >= 0 && from != nullptr) {
            *from = Sender{ntohl(sender.sin_addr.s_addr), ntohs(sender.sin_port)};
        }
        // Without MSG_TRUNC a full buffer may hold a cut datagram: say it is longer.
        return got >= 0 && fullLength == 0 && static_cast<std::size_t>(got) == buffer.size() ? got + 1 : got;
    };
    // Take what is queued in one call; wait only when nothing is.
    const long queued = receiveOne(MSG_DONTWAIT);
    if (queued >= 0) {
        return queued;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNREFUSED) {
        return Socket::failed;
    }
    pollfd waiting{fd, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, timeoutMs);
    if (ready == 0) {
        return Socket::timedOut;
    }
    if (ready < 0) {
        return errno == EINTR ? Socket::timedOut : Socket::failed;
    }
    const long received = receiveOne(0);
    return received < 0 ? Socket::failed : received;
}

long send(Handle socket, std::span<const std::uint8_t> data)
{
    return static_cast<long>(::send(static_cast<int>(socket), data.data(), data.size(), noSignal));
}

int takePendingError(Handle socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_ERROR, &error, &length) == 0 ? error : 0;
}

void close(Handle socket) { ::close(static_cast<int>(socket)); }

}  // namespace calls

}  // namespace udp
