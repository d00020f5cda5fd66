#include "network/TcpServer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vx {
namespace {

constexpr int kListenBacklog = 16;

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Sets the options every client socket gets: no Nagle delay for short sentences, keep-alive
// probes so a client that vanished without a word is noticed, and a small kernel buffer so a
// client that stops reading fills our bounded buffer soon instead of megabytes of kernel memory.
void PrepareClientSocket(int fd, int socketBuffer) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    if (socketBuffer > 0) {
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &socketBuffer, sizeof socketBuffer);
    }
}

}  // namespace

TcpServer::~TcpServer() {
    Stop();
}

bool TcpServer::Start(const TcpServerOptions& options, std::string& error) {
    Stop();
    options_ = options;
    stop_ = false;
    const std::string address = options.address == "localhost" ? "127.0.0.1" : options.address;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(options.port);
    if (const int rc = getaddrinfo(address.c_str(), service.c_str(), &hints, &found);
        rc != 0 || found == nullptr) {
        error = "\"" + options.address + "\" is not an address of this computer";
        return false;
    }
    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = ErrnoText("no TCP socket");
        freeaddrinfo(found);
        return false;
    }
    // A restarted program must get its port back at once, not after TIME_WAIT.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const bool bound = bind(fd, found->ai_addr, found->ai_addrlen) == 0;
    freeaddrinfo(found);
    if (!bound || listen(fd, kListenBacklog) != 0) {
        error = "cannot listen on " + options.address + " port " + service + ": " +
                std::strerror(errno);
        close(fd);
        return false;
    }
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = local.ss_family == AF_INET6
                ? ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port)
                : ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
    listenFd_ = fd;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void TcpServer::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        wake_.Signal();
        thread_.join();
    }
    std::lock_guard lock(mutex_);
    for (Client& client : clients_) {
        close(client.fd);
    }
    clients_.clear();
    counts_.clients = 0;
    if (listenFd_ >= 0) {
        close(listenFd_);
        listenFd_ = -1;
    }
}

void TcpServer::Broadcast(std::string_view bytes) {
    bool queued = false;
    {
        std::lock_guard lock(mutex_);
        for (Client& client : clients_) {
            if (client.overflowed || client.fd < 0) {
                continue;
            }
            std::string_view rest = bytes;
            if (client.pending.empty()) {
                // Nothing waits for this client: send at once from this thread (never blocking),
                // which spares the server thread a wake-up for every sentence.
                const ssize_t sent =
                    send(client.fd, rest.data(), rest.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
                if (sent > 0) {
                    rest.remove_prefix(static_cast<std::size_t>(sent));
                }
            }
            if (rest.empty()) {
                continue;
            }
            if (client.pending.size() + rest.size() > options_.clientBuffer) {
                client.overflowed = true;
            } else {
                client.pending.append(rest);
            }
            queued = true;
        }
    }
    if (queued) {
        wake_.Signal();
    }
}

TcpServerCounts TcpServer::Counts() const {
    std::lock_guard lock(mutex_);
    return counts_;
}

void TcpServer::Serve() {
    std::vector<pollfd> fds;
    while (!stop_) {
        fds.clear();
        fds.push_back({wake_.Fd(), POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        {
            std::lock_guard lock(mutex_);
            for (const Client& client : clients_) {
                const short events = client.pending.empty() ? POLLIN : POLLIN | POLLOUT;
                fds.push_back({client.fd, events, 0});
            }
        }
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[0].revents != 0) {
            wake_.Clear();
        }
        if (fds[1].revents != 0) {
            AcceptClients();
        }
        std::lock_guard lock(mutex_);
        // Clients accepted above come after the polled ones and have no revents yet.
        for (std::size_t i = 2; i < fds.size(); ++i) {
            const auto found = std::find_if(clients_.begin(), clients_.end(),
                                            [&](const Client& c) { return c.fd == fds[i].fd; });
            if (found != clients_.end() && fds[i].revents != 0) {
                ServeClient(*found, fds[i].revents);
            }
        }
        DropClosedClients();
    }
}

void TcpServer::AcceptClients() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;  // EAGAIN: none left; anything else: the next poll tries again
        }
        std::lock_guard lock(mutex_);
        if (static_cast<int>(clients_.size()) >= options_.maxClients) {
            close(fd);
            ++counts_.refused;
            continue;
        }
        PrepareClientSocket(fd, options_.socketBuffer);
        clients_.push_back(Client{fd, {}, false});
        ++counts_.accepted;
        counts_.clients = static_cast<int>(clients_.size());
    }
}

// Called with the lock held; non-blocking calls only.
void TcpServer::ServeClient(Client& client, short events) {
    if (events & POLLIN) {
        char discard[4096];
        const ssize_t got = recv(client.fd, discard, sizeof discard, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
            close(client.fd);
            client.fd = -1;
            return;
        }
    }
    if (events & (POLLERR | POLLHUP)) {
        close(client.fd);
        client.fd = -1;
        return;
    }
    if ((events & POLLOUT) && !client.pending.empty()) {
        const ssize_t sent = send(client.fd, client.pending.data(), client.pending.size(),
                                  MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            client.pending.erase(0, static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno != EAGAIN && errno != EINTR) {
            close(client.fd);
            client.fd = -1;
        }
    }
}

void TcpServer::DropClosedClients() {
    for (Client& client : clients_) {
        if (client.fd >= 0 && client.overflowed) {
            close(client.fd);
            client.fd = -1;
            ++counts_.dropped;
        }
    }
    std::erase_if(clients_, [](const Client& c) { return c.fd < 0; });
    counts_.clients = static_cast<int>(clients_.size());
}

}  // namespace vx
