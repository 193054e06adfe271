// The thin platform layer under the link: Windows Sockets in
// socket_win32.cpp, POSIX sockets in socket_posix.cpp, the same functions
// in both. The link reaches them only through `socketCalls`, so a test can
// make any one of them fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvalink {
namespace platform {

#if defined(_WIN32)
typedef std::uintptr_t SocketHandle;  // SOCKET
#else
typedef int SocketHandle;  // file descriptor; 0 is a valid one
#endif

// A value no open socket has on this platform (INVALID_SOCKET, or -1).
constexpr SocketHandle noSocket = static_cast<SocketHandle>(-1);

struct Ipv4Destination {
    std::uint8_t address[4];  // network byte order
    std::uint16_t port;       // host byte order
};

// One entry per platform call that can fail; each answers 0 on success.
struct SocketCalls {
    int (*startLibrary)();  // requests version 1.1 and checks it where the platform needs a start
    void (*stopLibrary)();  // pairs a successful start
    int (*resolveIpv4)(const char* name, std::uint8_t address[4]);  // the first address only
    SocketHandle (*openDatagramSocket)();                            // noSocket on failure
    int (*connectTo)(SocketHandle socket, const Ipv4Destination& destination);
    int (*setNonBlocking)(SocketHandle socket);
    long (*send)(SocketHandle socket, const void* data, std::size_t length);  // bytes sent or < 0
    int (*close)(SocketHandle socket);
    void* (*allocate)(std::size_t size);  // zero-filled
    void (*release)(void* memory);
    // 0, addressInUse when another socket holds the address and port, or -1.
    int (*bindTo)(SocketHandle socket, const Ipv4Destination& local);
    // Up to `count` queued datagrams without waiting, in one system call
    // where the platform has one: datagram i into the `capacity` bytes at
    // buffers + i * capacity, its length into lengths[i] (`capacity` for one
    // cut to fit). How many were taken; 0 when none is queued or the call failed.
    int (*receiveBatch)(SocketHandle socket, std::uint8_t* buffers, std::size_t capacity, int count,
                        std::size_t* lengths);
};

// The most datagrams one receiveBatch call takes.
constexpr int largestBatch = 16;

constexpr int addressInUse = -2;

// The platform's own functions.
int startLibrary();
void stopLibrary();
int resolveIpv4(const char* name, std::uint8_t address[4]);
SocketHandle openDatagramSocket();
int connectTo(SocketHandle socket, const Ipv4Destination& destination);
int setNonBlocking(SocketHandle socket);
long send(SocketHandle socket, const void* data, std::size_t length);
int close(SocketHandle socket);
int bindTo(SocketHandle socket, const Ipv4Destination& local);
int receiveBatch(SocketHandle socket, std::uint8_t* buffers, std::size_t capacity, int count, std::size_t* lengths);

extern SocketCalls socketCalls;
extern const SocketCalls platformSocketCalls;

#if !defined(_WIN32)
// The system calls under the POSIX primitives, so that a test can make any
// one of them fail as it can the primitives themselves.
struct SystemCalls {
    int (*getFlags)(int fd);              // fcntl F_GETFL
    int (*setFlags)(int fd, int flags);   // fcntl F_SETFL
};
extern SystemCalls systemCalls;
extern const SystemCalls platformSystemCalls;
#endif

}  // namespace platform
}  // namespace orvalink
