// The UDP endpoint's flow, once for both platforms, over the primitives of socket_calls.h.
#include <charconv>

#include "command_line.h"
#include "socket_calls.h"
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
        return ipv6Refused;
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

const char* hostProblem(const std::string& host)
{
    if (host.find(':') != std::string::npos || host.find('[') != std::string::npos) {
        return ipv6Refused;
    }
    return host.empty() || host.size() > 255 ? "a host name or IPv4 address of 1 to 255 characters" : nullptr;
}

bool startSockets() { return calls::start(); }

int takePendingError(std::intptr_t handle) { return calls::takePendingError(handle); }

namespace {

std::string shown(const Endpoint& endpoint)
{
    return command_line::quoted(endpoint.host + ":" + std::to_string(endpoint.port));
}

}  // namespace

std::optional<Socket> Socket::bound(const Endpoint& local, std::string& error)
{
    calls::start();
    std::uint32_t address = 0;
    if (!calls::resolve(local.host, address, error)) {
        return std::nullopt;
    }
    const calls::Handle handle = calls::open();
    if (handle == calls::invalid) {
        error = "cannot create a socket: " + calls::lastError();
        return std::nullopt;
    }
    Socket socket(handle);
    calls::setReceiveBuffer(handle, 8 << 20);  // room for bursts from a sender that runs flat out
    if (!calls::bind(handle, address, local.port)) {
        error = "cannot bind " + shown(local) + ": " + calls::lastError();
        return std::nullopt;
    }
    return socket;
}

std::optional<Socket> Socket::connected(const Endpoint& peer, std::string& error, Failure* failure)
{
    Failure ignored = Failure::none;
    Failure& failedAt = failure != nullptr ? *failure : ignored;
    calls::start();
    std::uint32_t address = 0;
    if (!calls::resolve(peer.host, address, error)) {
        failedAt = Failure::resolve;
        return std::nullopt;
    }
    const calls::Handle handle = calls::open();
    if (handle == calls::invalid) {
        failedAt = Failure::create;
        error = "cannot create a socket: " + calls::lastError();
        return std::nullopt;
    }
    Socket socket(handle);
    if (!calls::connect(handle, address, peer.port)) {
        failedAt = Failure::connect;
        error = "cannot connect to " + shown(peer) + ": " + calls::lastError();
        return std::nullopt;
    }
    return socket;
}

std::uint16_t Socket::localPort() const { return address(Side::local).port; }

Sender Socket::address(Side side) const
{
    Sender found;
    return calls::name(handle_, side == Side::peer, found) ? found : Sender{};
}

long Socket::receive(std::span<std::uint8_t> buffer, int timeoutMs, Sender* from)
{
    return calls::receive(handle_, buffer, timeoutMs, from);
}

long Socket::send(std::span<const std::uint8_t> data) { return calls::send(handle_, data); }

void Socket::close()
{
    if (handle_ != invalid) {
        calls::close(handle_);
        handle_ = invalid;
    }
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
