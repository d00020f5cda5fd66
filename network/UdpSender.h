#pragma once
// NMEA sentences as UDP datagrams, one sentence a datagram, to a host and port; a broadcast
// address (255.255.255.255 or a subnet's) is allowed. Used on an output's worker thread: the
// name look-up blocks, and is retried now and then while it fails.

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

class UdpSender {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kLookUpRetry{30};

    UdpSender() = default;
    ~UdpSender();
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    // Sets the destination; the look-up happens at the next Send.
    void SetDestination(std::string host, int port);

    // Sends one datagram; false when it could not go (no address yet, or the network refused).
    bool Send(std::string_view datagram);

    // The last problem, for the user ("" when the last send went out).
    const std::string& Problem() const { return problem_; }
    std::uint64_t Sent() const { return sent_; }

private:
    bool Resolve();
    void CloseSocket();

    std::string host_;
    int port_ = 0;
    int socket_ = -1;
    sockaddr_storage address_{};
    socklen_t addressLength_ = 0;
    Clock::time_point nextLookUp_{};
    std::string problem_;
    std::uint64_t sent_ = 0;
};

}  // namespace vx
