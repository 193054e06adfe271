// Platform-independent parts of the UDP endpoint.
#include <charconv>

#include "udp_socket.h"

namespace udp {

std::optional<Endpoint> parseEndpoint(const std::string& text, const std::string& defaultHost)
{
    Endpoint endpoint{defaultHost, 0};
    std::string portText = text;
    const auto colon = text.rfind(':');
    if (colon != std::string::npos) {
        endpoint.host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (endpoint.host.empty()) {
            return std::nullopt;
        }
    }
    unsigned value = 0;
    const char* first = portText.data();
    const char* last = first + portText.size();
    const auto [end, status] = std::from_chars(first, last, value);
    if (portText.empty() || status != std::errc{} || end != last || value > 65535) {
        return std::nullopt;
    }
    endpoint.port = static_cast<std::uint16_t>(value);
    return endpoint;
}

const char* endpointProblem(const std::string& text, bool destination)
{
    if (text.find('[') != std::string::npos || text.find(':') != text.rfind(':')) {
        return "IPv6 is not supported";
    }
    const std::optional<Endpoint> endpoint = parseEndpoint(text, "127.0.0.1");
    if (!destination) {
        return endpoint ? nullptr : "[HOST:]PORT with a port from 0 to 65535";
    }
    if (!endpoint || endpoint->port == 0 || text.find(':') == std::string::npos) {
        return "HOST:PORT with a port from 1 to 65535";
    }
    return nullptr;
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = invalid;
    }
    return *this;
}

Socket::~Socket() { close(); }

}  // namespace udp
