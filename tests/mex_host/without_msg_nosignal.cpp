// The one-file source as the macOS 10 SDKs show it: no MSG_NOSIGNAL. The
// socket header's guard keeps the name away when the source includes it again.
#include <sys/socket.h>
#undef MSG_NOSIGNAL

#include "orvalink.cpp"

#if defined(MSG_NOSIGNAL)
#error "MSG_NOSIGNAL came back: this compile proves nothing"
#endif
