// The link's socket-library start and close, free of any host. Every platform call goes
// through socketCalls, so a test can make any one of them fail.
#include "link.h"

#include <atomic>
#include <cstdlib>

namespace orvalink {

namespace platform {

const SocketCalls platformSocketCalls{
    startLibrary, stopLibrary, resolveIpv4, openDatagramSocket, connectTo, setNonBlocking, send, close,
    [](std::size_t size) { return std::calloc(1, size); },
    [](void* memory) { std::free(memory); },
    bindTo, receiveBatch,
};
SocketCalls socketCalls = platformSocketCalls;

}  // namespace platform

using platform::socketCalls;
using platform::SocketHandle;

namespace {
// Shared by every instance in the process, which may define blocks on
// several threads: one start is kept, a second one made meanwhile is undone.
std::atomic<bool> socketLibraryStarted(false);
}  // namespace

bool startSocketLibrary()
{
    if (socketLibraryStarted.load()) {
        return true;
    }
    if (socketCalls.startLibrary() != 0) {
        return false;  // tried again at the next definition
    }
    bool wasStarted = false;
    if (!socketLibraryStarted.compare_exchange_strong(wasStarted, true)) {
        socketCalls.stopLibrary();
    }
    return true;
}

void stopSocketLibrary()
{
    bool wasStarted = true;
    if (socketLibraryStarted.compare_exchange_strong(wasStarted, false)) {
        socketCalls.stopLibrary();
    }
}

void closeLink(SocketHandle socket)
{
    if (socket != platform::noSocket) {
        (void)socketCalls.close(socket);
    }
}

}  // namespace orvalink
