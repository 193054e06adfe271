// A small UDP endpoint for the tools and tests: bound or connected, with a
// receive that waits at most a given time. POSIX sockets in
// udp_socket_posix.cpp, Windows Sockets in udp_socket_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace udp {

struct Endpoint {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
};

// Parses "[HOST:]PORT" ("5500", "127.0.0.1:5500"); nullopt when malformed.
std::optional<Endpoint> parseEndpoint(const std::string& text, const std::string& defaultHost);

// What is wrong with `text` as an option's address, for its message; null
// when nothing is. A destination needs HOST:PORT with a port from 1.
const char* endpointProblem(const std::string& text, bool destination);

// What is wrong with `host` as an option's host name or IPv4 address; null when nothing is.
const char* hostProblem(const std::string& host);

// Every tool refuses an IPv6 address with these words.
constexpr const char* ipv6Refused = "an IPv4 address or a host name (IPv6 addresses are not supported)";

struct Sender {
    std::uint32_t ip = 0;
    std::uint16_t port = 0;
};

// Where making a connected socket failed.
enum class Failure { none, resolve, create, connect };

class Socket {
public:
    // Bound to host:port (port 0: the system picks one; see localPort()).
    static std::optional<Socket> bound(const Endpoint& local, std::string& error);
    // Connected to host:port, so that send() needs no address.
    static std::optional<Socket> connected(const Endpoint& peer, std::string& error, Failure* failure = nullptr);

    Socket(Socket&& other) noexcept : handle_(other.handle_) { other.handle_ = invalid; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket();

    std::uint16_t localPort() const;
    // This socket's own address, or (connected) its peer's; zeros when unknown.
    enum class Side { local, peer };
    Sender address(Side side) const;

    static constexpr long timedOut = -1;
    static constexpr long failed = -2;
    // Bytes of the next datagram (its full length, of which the buffer holds
    // what fits), timedOut, or failed; `from` gets the sender (IPv4 address in host order, port).
    long receive(std::span<std::uint8_t> buffer, int timeoutMs, Sender* from = nullptr);
    long send(std::span<const std::uint8_t> data);

private:
    static constexpr std::intptr_t invalid = -1;
    explicit Socket(std::intptr_t handle) : handle_(handle) {}
    void close();
    std::intptr_t handle_;
};

// Takes the error a socket holds for a datagram refused further on (an ICMP
// "port unreachable" after an earlier send): the system's error number, or
// 0 when there is none. Taking it clears it, so the next send goes out.
int takePendingError(std::intptr_t handle);

// Whether two paths name the same file (device and inode, or Windows' file id);
// false when either cannot be looked at.
bool sameFile(const std::string& first, const std::string& second);

// Starts the platform's socket library for this process (a no-op on POSIX).
bool startSockets();

}  // namespace udp
