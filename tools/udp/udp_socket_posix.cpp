// The UDP endpoint on POSIX sockets.
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
#include "udp_socket.h"

namespace udp {

namespace {

bool resolve(const Endpoint& endpoint, sockaddr_in& address, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(endpoint.host.c_str(), nullptr, &hints, &found);
    if (status != 0 || found == nullptr) {
        error = "cannot resolve " + command_line::quoted(endpoint.host) + ": " + gai_strerror(status);
        return false;
    }
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons(endpoint.port);
    return true;
}

}  // namespace

bool startSockets() { return true; }

int takePendingError(std::intptr_t handle)
{
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(static_cast<int>(handle), SOL_SOCKET, SO_ERROR, &error, &length) == 0 ? error : 0;
}

bool sameFile(const std::string& first, const std::string& second)
{
    struct stat a{};
    struct stat b{};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

std::optional<Socket> Socket::bound(const Endpoint& local, std::string& error)
{
    sockaddr_in address{};
    if (!resolve(local, address, error)) {
        return std::nullopt;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return std::nullopt;
    }
    Socket socket(fd);
    // Room for bursts from a sender that runs flat out (the system may grant less).
    const int receiveBuffer = 8 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot bind " + command_line::quoted(local.host + ":" + std::to_string(local.port)) + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return socket;
}

std::optional<Socket> Socket::connected(const Endpoint& peer, std::string& error, Failure* failure)
{
    Failure ignored = Failure::none;
    Failure& failedAt = failure != nullptr ? *failure : ignored;
    sockaddr_in address{};
    if (!resolve(peer, address, error)) {
        failedAt = Failure::resolve;
        return std::nullopt;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return std::nullopt;
    }
    Socket socket(fd);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        failedAt = Failure::connect;
        error = "cannot connect to " + command_line::quoted(peer.host + ":" + std::to_string(peer.port)) + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return socket;
}

std::uint16_t Socket::localPort() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

Sender Socket::address(Side side) const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    sockaddr* into = reinterpret_cast<sockaddr*>(&address);
    const int status = side == Side::local ? ::getsockname(static_cast<int>(handle_), into, &length) : ::getpeername(static_cast<int>(handle_), into, &length);
    return status != 0 ? Sender{} : Sender{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

long Socket::receive(std::span<std::uint8_t> buffer, int timeoutMs, Sender* from)
{
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    const auto receiveOne = [&](int flags) {
        const ssize_t got = ::recvfrom(static_cast<int>(handle_), buffer.data(), buffer.size(), flags,
                                       reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (got >= 0 && from != nullptr) {
            *from = Sender{ntohl(sender.sin_addr.s_addr), ntohs(sender.sin_port)};
        }
        return got;
    };
    // Take what is queued in one call; wait only when nothing is.
    const ssize_t queued = receiveOne(MSG_TRUNC | MSG_DONTWAIT);
    if (queued >= 0) {
        return static_cast<long>(queued);
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNREFUSED) {
        return failed;
    }
    pollfd waiting{static_cast<int>(handle_), POLLIN, 0};
    const int ready = ::poll(&waiting, 1, timeoutMs);
    if (ready == 0) {
        return timedOut;
    }
    if (ready < 0) {
        return errno == EINTR ? timedOut : failed;
    }
    const ssize_t received = receiveOne(MSG_TRUNC);
    if (received < 0) {
        return failed;
    }
    return static_cast<long>(received);
}

long Socket::send(std::span<const std::uint8_t> data)
{
    return static_cast<long>(::send(static_cast<int>(handle_), data.data(), data.size(), MSG_NOSIGNAL));
}

void Socket::close()
{
    if (handle_ != invalid) {
        ::close(static_cast<int>(handle_));
        handle_ = invalid;
    }
}

}  // namespace udp
