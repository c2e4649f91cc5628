// SPDX-License-Identifier: GPL-3.0-or-later
#include "radiolink/open_failure_hamlib.hpp"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace morvane {
namespace {

constexpr int kConnectWaitMs = 500;  // a connection that can be made is made far sooner
constexpr int kUnknownHost = -1;

std::string ErrnoText(int error) {
    return std::generic_category().message(error);  // strerror's text, without its shared buffer
}

int SocketError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    return error;
}

// 0 when something takes a connection at `address` within kConnectWaitMs, else why not.
int ConnectError(const addrinfo& address) {
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address.ai_protocol);
    if (fd < 0) return errno;
    int error = connect(fd, address.ai_addr, address.ai_addrlen) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
        pollfd connecting{fd, POLLOUT, 0};
        error = poll(&connecting, 1, kConnectWaitMs) == 1 ? SocketError(fd) : ETIMEDOUT;
    }
    close(fd);
    return error;
}

// As Hamlib connects: each address the host has, until one takes it.
int ConnectError(const std::string& host, const std::string& port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found) != 0) {
        return kUnknownHost;
    }
    int error = ECONNREFUSED;
    for (const addrinfo* address = found; address != nullptr && error != 0;
         address = address->ai_next) {
        error = ConnectError(*address);
    }
    freeaddrinfo(found);
    return error;
}

// "host:port", "[v6 address]:port" or "host" (Hamlib's own port then), as Hamlib reads them.
void SplitAddress(const std::string& address, std::string& host, std::string& port) {
    const std::size_t colon = address.rfind(':');
    const bool bareIpv6 =
        colon != std::string::npos && address.find(':') != colon && !address.starts_with('[');
    if (colon == std::string::npos || bareIpv6 || address.back() == ']') {
        host = address;
        port = "4532";
    } else {
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
    }
    if (host.starts_with('[') && host.ends_with(']')) host = host.substr(1, host.size() - 2);
}

OpenFailure NetworkFailure(const std::string& address, int result) {
    std::string host;
    std::string port;
    SplitAddress(address, host, port);
    const std::string where = host + ":" + port;
    switch (const int error = ConnectError(host, port)) {
        case 0:
            if (IsNoAnswer(result))
                return {where + " takes the connection, but no radio answers", true};
            return {HamlibErrorText(result) + " from " + where, false};
        case kUnknownHost:
            return {"cannot find the host " + host, false};
        case ECONNREFUSED:
            return {"connection refused at " + where, true};
        default:  // timed out, or the host or its network unreachable
            return {"nothing answers at " + where + " (" + ErrnoText(error) + ")", true};
    }
}

OpenFailure DeviceFailure(const hamlib_port_t& port, int result) {
    const std::string path = port.pathname;
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int error = fd < 0 ? errno : 0;
    const bool serial = fd >= 0 && isatty(fd);
    if (fd >= 0) close(fd);
    switch (error) {
        case 0:
            break;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return {"no such device " + path, true};
        case EACCES:
        case EPERM:
            return {
                "permission denied for " + path +
                    "; join the dialout group (sudo usermod -aG dialout $USER) and log in again",
                false};
        default:
            return {path + ": " + ErrnoText(error), error == EBUSY};
    }
    if (port.type.rig == RIG_PORT_SERIAL && !serial) return {path + " is not a serial port", false};
    if (IsNoAnswer(result)) return {"no radio answers on " + path, true};
    if (result == -RIG_ECONF && port.type.rig == RIG_PORT_SERIAL) {
        return {
            "cannot use the serial speed " + std::to_string(port.parm.serial.rate) + " on " + path,
            false};
    }
    return {HamlibErrorText(result) + " on " + path, false};
}

}  // namespace

std::string HamlibErrorText(int code) {
    switch (code < 0 ? -code : code) {
        case RIG_EINVAL:
            return "invalid parameter";
        case RIG_ECONF:
            return "invalid configuration";
        case RIG_ENOMEM:
            return "out of memory";
        case RIG_ENIMPL:
            return "not supported by this radio";
        case RIG_ETIMEOUT:
            return "no answer (timed out)";
        case RIG_EIO:
            return "input/output error";
        case RIG_EPROTO:
            return "protocol error";
        case RIG_ERJCTED:
            return "command rejected by the radio";
        case RIG_ENAVAIL:
            return "not available";
        default:
            return "Hamlib error " + std::to_string(code);
    }
}

bool IsNoAnswer(int result) {
    return result == -RIG_ETIMEOUT || result == -RIG_EIO;
}

OpenFailure WhyNotOpen(const hamlib_port_t& port, int result) {
    switch (port.type.rig) {
        case RIG_PORT_NETWORK:
            return NetworkFailure(port.pathname, result);
        case RIG_PORT_SERIAL:
        case RIG_PORT_DEVICE:
        case RIG_PORT_PARALLEL:
        case RIG_PORT_CM108:
            return DeviceFailure(port, result);
        default:
            return {HamlibErrorText(result), result == -RIG_ETIMEOUT};
    }
}

}  // namespace morvane
