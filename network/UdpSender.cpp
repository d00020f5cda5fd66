#include "network/UdpSender.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vx {

UdpSender::~UdpSender() {
    CloseSocket();
}

void UdpSender::CloseSocket() {
    if (socket_ >= 0) {
        close(socket_);
        socket_ = -1;
    }
    addressLength_ = 0;
}

void UdpSender::SetDestination(std::string host, int port) {
    CloseSocket();
    host_ = std::move(host);
    port_ = port;
    nextLookUp_ = {};
    problem_.clear();
}

bool UdpSender::Resolve() {
    const Clock::time_point now = Clock::now();
    if (now < nextLookUp_) {
        return false;
    }
    nextLookUp_ = now + kLookUpRetry;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port_);
    const int rc = getaddrinfo(host_.c_str(), service.c_str(), &hints, &found);
    if (rc != 0 || found == nullptr) {
        problem_ = "cannot find " + host_ + ": " + gai_strerror(rc);
        return false;
    }
    const int fd = socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          found->ai_protocol);
    if (fd < 0) {
        problem_ = std::string("no UDP socket: ") + std::strerror(errno);
        freeaddrinfo(found);
        return false;
    }
    // Plotters on a boat's network usually listen to broadcasts; the kernel refuses them
    // without this flag.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    socket_ = fd;
    std::memcpy(&address_, found->ai_addr, found->ai_addrlen);
    addressLength_ = found->ai_addrlen;
    freeaddrinfo(found);
    problem_.clear();
    return true;
}

bool UdpSender::Send(std::string_view datagram) {
    if (socket_ < 0 && !Resolve()) {
        return false;
    }
    const ssize_t sent = sendto(socket_, datagram.data(), datagram.size(), MSG_DONTWAIT,
                                reinterpret_cast<const sockaddr*>(&address_), addressLength_);
    if (sent < 0) {
        // Nobody listening (ICMP port unreachable comes back as ECONNREFUSED), a full queue or
        // an unreachable network: this datagram is lost, the next one tries again.
        problem_ = std::string("cannot send to ") + host_ + ": " + std::strerror(errno);
        return false;
    }
    problem_.clear();
    ++sent_;
    return true;
}

}  // namespace vx
