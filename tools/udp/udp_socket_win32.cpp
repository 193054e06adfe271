// The UDP endpoint on Windows Sockets.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#include "command_line.h"
#include "udp_socket.h"

namespace udp {

namespace {

bool resolve(const Endpoint& endpoint, sockaddr_in& address, std::string& error)
{
    const hostent* entry = gethostbyname(endpoint.host.c_str());
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) {
        error = "cannot resolve " + command_line::quoted(endpoint.host);
        return false;
    }
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    std::memcpy(&address.sin_addr, entry->h_addr_list[0], 4);
    address.sin_port = htons(endpoint.port);
    return true;
}

std::string lastError() { return "error " + std::to_string(WSAGetLastError()); }

}  // namespace

bool startSockets()
{
    static bool started = false;
    WSADATA reply;
    if (!started && WSAStartup(MAKEWORD(2, 2), &reply) == 0) {
        started = true;
    }
    return started;
}

int takePendingError(std::intptr_t handle)
{
    int error = 0;
    int length = sizeof error;
    return ::getsockopt(static_cast<SOCKET>(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                        &length) == 0 ? error : 0;
}

bool sameFile(const std::string& first, const std::string& second)
{
    const auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        const int size = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), size);
        const HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool known = GetFileInformationByHandle(file, &info) != 0;
        CloseHandle(file);
        return known;
    };
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return identify(first, a) && identify(second, b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

std::optional<Socket> Socket::bound(const Endpoint& local, std::string& error)
{
    startSockets();
    sockaddr_in address{};
    if (!resolve(local, address, error)) {
        return std::nullopt;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        error = "cannot create a socket: " + lastError();
        return std::nullopt;
    }
    Socket socket(static_cast<std::intptr_t>(s));
    // Room for bursts from a sender that runs flat out (the system may grant less).
    const int receiveBuffer = 8 << 20;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot bind " + command_line::quoted(local.host + ":" + std::to_string(local.port)) + ": " + lastError();
        return std::nullopt;
    }
    return socket;
}

std::optional<Socket> Socket::connected(const Endpoint& peer, std::string& error, Failure* failure)
{
    Failure ignored = Failure::none;
    Failure& failedAt = failure != nullptr ? *failure : ignored;
    startSockets();
    sockaddr_in address{};
    if (!resolve(peer, address, error)) {
        failedAt = Failure::resolve;
        return std::nullopt;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        failedAt = Failure::create;
        error = "cannot create a socket: " + lastError();
        return std::nullopt;
    }
    Socket socket(static_cast<std::intptr_t>(s));
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        failedAt = Failure::connect;
        error = "cannot connect to " + command_line::quoted(peer.host + ":" + std::to_string(peer.port)) + ": " + lastError();
        return std::nullopt;
    }
    return socket;
}

std::uint16_t Socket::localPort() const
{
    sockaddr_in address{};
    int length = sizeof address;
    if (::getsockname(static_cast<SOCKET>(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

Sender Socket::address(Side side) const
{
    sockaddr_in address{};
    int length = sizeof address;
    sockaddr* into = reinterpret_cast<sockaddr*>(&address);
    const int status = side == Side::local ? ::getsockname(static_cast<SOCKET>(handle_), into, &length) : ::getpeername(static_cast<SOCKET>(handle_), into, &length);
    return status != 0 ? Sender{} : Sender{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

long Socket::receive(std::span<std::uint8_t> buffer, int timeoutMs, Sender* from)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(handle_), &readable);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = ::select(0, &readable, nullptr, nullptr, &wait);
    if (ready == 0) {
        return timedOut;
    }
    if (ready < 0) {
        return failed;
    }
    sockaddr_in sender{};
    int senderLength = sizeof sender;
    const int received = ::recvfrom(static_cast<SOCKET>(handle_), reinterpret_cast<char*>(buffer.data()),
                                    static_cast<int>(buffer.size()), 0, reinterpret_cast<sockaddr*>(&sender),
                                    &senderLength);
    if (from != nullptr) {
        *from = Sender{ntohl(sender.sin_addr.s_addr), ntohs(sender.sin_port)};
    }
    if (received < 0) {
        // A datagram larger than the buffer: report its size as at least one more byte.
        return WSAGetLastError() == WSAEMSGSIZE ? static_cast<long>(buffer.size()) + 1 : failed;
    }
    return received;
}

long Socket::send(std::span<const std::uint8_t> data)
{
    // Windows reports a refusal (an ICMP port unreachable) to the next
    // receive, not to a send as POSIX does: look for one, so that send
    // tells of it the same way on both.
    const auto s = static_cast<SOCKET>(handle_);
    bool refused = false;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval now{0, 0};
    if (::select(0, &readable, nullptr, nullptr, &now) > 0) {
        char ignored[1];
        refused = ::recv(s, ignored, sizeof ignored, 0) == SOCKET_ERROR && WSAGetLastError() == WSAECONNRESET;
    }
    const int sent = ::send(s, reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()), 0);
    return refused ? -1 : sent;
}

void Socket::close()
{
    if (handle_ != invalid) {
        ::closesocket(static_cast<SOCKET>(handle_));
        handle_ = invalid;
    }
}

}  // namespace udp
