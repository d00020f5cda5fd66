#pragma once
// Serves a stream of NMEA sentences to TCP clients, on a thread of its own that polls the
// listening socket and every client. Clients only listen: whatever they send is read and thrown
// away. Each client has a bounded buffer; a client that stops reading (or vanished without
// closing) fills it and is dropped, and nobody else waits for it. Beyond the set number of
// clients a new one is accepted and closed at once, so it learns it was refused.

#include "network/HandOver.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vx {

struct TcpServerOptions {
    std::string address = "127.0.0.1";  // an address of this machine; "localhost" is 127.0.0.1
    int port = 10110;                   // 0 picks a free one (tests)
    int maxClients = 8;
    std::size_t clientBuffer = 32 * 1024;  // bytes waiting for one client before it is dropped
    int socketBuffer = 16 * 1024;          // the kernel's send buffer per client
};

struct TcpServerCounts {
    int clients = 0;
    std::uint64_t accepted = 0;
    std::uint64_t refused = 0;  // over the client limit
    std::uint64_t dropped = 0;  // too slow: their buffer filled
};

class TcpServer {
public:
    TcpServer() = default;
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // Binds and listens at once (no name look-up: the address is numeric or "localhost"), then
    // serves on its thread. False with `error` set when the address or port cannot be used.
    bool Start(const TcpServerOptions& options, std::string& error);
    void Stop();

    // The port listened on (the chosen one, or the one picked for port 0).
    int Port() const { return port_; }

    // Sends the bytes to every client, or queues what its socket will not take now; any thread,
    // never blocks.
    void Broadcast(std::string_view bytes);

    TcpServerCounts Counts() const;

private:
    struct Client {
        int fd = -1;
        std::string pending;
        bool overflowed = false;
    };

    void Serve();
    void AcceptClients();
    void ServeClient(Client& client, short events);
    void DropClosedClients();

    TcpServerOptions options_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    WakeEvent wake_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::vector<Client> clients_;
    TcpServerCounts counts_;
};

}  // namespace vx
