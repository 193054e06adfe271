// The UDP endpoint's primitives on Windows Sockets.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#include "command_line.h"
#include "socket_calls.h"

namespace udp {

namespace {

sockaddr_in socketAddress(std::uint32_t address, std::uint16_t port)
{
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_addr.s_addr = htonl(address);
    out.sin_port = htons(port);
    return out;
}

SOCKET of(calls::Handle socket) { return static_cast<SOCKET>(socket); }

// Windows reports a refusal (an ICMP port unreachable) to the next receive,
// not to a send as POSIX does: this looks for one without waiting.
bool refusalWaiting(SOCKET s)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval now{0, 0};
    if (::select(0, &readable, nullptr, nullptr, &now) <= 0) {
        return false;
    }
    char ignored[1];
    return ::recv(s, ignored, sizeof ignored, MSG_PEEK) == SOCKET_ERROR && WSAGetLastError() == WSAECONNRESET;
}

}  // namespace

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

namespace calls {

bool start()
{
    static bool started = false;
    WSADATA reply;
    if (!started && WSAStartup(MAKEWORD(2, 2), &reply) == 0) {
        started = true;
    }
    return started;
}

bool resolve(const std::string& host, std::uint32_t& address, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        error = "cannot resolve " + command_line::quoted(host);
        return false;
    }
    address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(found);
    return true;
}

Handle open()
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    return s == INVALID_SOCKET ? invalid : static_cast<Handle>(s);
}

bool bind(Handle socket, std::uint32_t address, std::uint16_t port)
{
    const sockaddr_in to = socketAddress(address, port);
    return ::bind(of(socket), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

bool connect(Handle socket, std::uint32_t address, std::uint16_t port)
{
    const sockaddr_in to = socketAddress(address, port);
    return ::connect(of(socket), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

void setReceiveBuffer(Handle socket, int bytes)
{
    ::setsockopt(of(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

std::string lastError() { return "error " + std::to_string(WSAGetLastError()); }

bool name(Handle socket, bool peer, Sender& out)
{
    sockaddr_in address{};
    int length = sizeof address;
    sockaddr* into = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? ::getpeername(of(socket), into, &length) : ::getsockname(of(socket), into, &length)) != 0) {
        return false;
    }
    out = Sender{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
    return true;
}

long receive(Handle socket, std::span<std::uint8_t> buffer, int timeoutMs, Sender* from)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(of(socket), &readable);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = ::select(0, &readable, nullptr, nullptr, &wait);
    if (ready == 0) {
        return Socket::timedOut;
    }
    if (ready < 0) {
        return Socket::failed;
    }
    sockaddr_in sender{};
    int senderLength = sizeof sender;
    const int received = ::recvfrom(of(socket), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()),
                                    0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (from != nullptr) {
        *from = Sender{ntohl(sender.sin_addr.s_addr), ntohs(sender.sin_port)};
    }
    if (received < 0) {
        // A datagram larger than the buffer: report its size as at least one more byte.
        return WSAGetLastError() == WSAEMSGSIZE ? static_cast<long>(buffer.size()) + 1 : Socket::failed;
    }
    return received;
}

long send(Handle socket, std::span<const std::uint8_t> data)
{
    // A refusal waiting to be received is taken, so that send tells of it as on POSIX.
    const bool refused = takePendingError(socket) != 0;
    const int sent = ::send(of(socket), reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()), 0);
    return refused ? -1 : sent;
}

int takePendingError(Handle socket)
{
    if (refusalWaiting(of(socket))) {
        char ignored[1];
        ::recv(of(socket), ignored, sizeof ignored, 0);  // takes it
        return WSAECONNRESET;
    }
    int error = 0;
    int length = sizeof error;
    return ::getsockopt(of(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 ? error : 0;
}

void close(Handle socket) { ::closesocket(of(socket)); }

}  // namespace calls

}  // namespace udp
