#include "connection/ConnectionHost.h"

namespace vx {

namespace {

ConnectionHost*& InstalledHost() {
    static ConnectionHost* host = nullptr;
    return host;
}

}  // namespace

DefaultConnectionHost& DefaultHost() {
    static DefaultConnectionHost host;
    return host;
}

ConnectionHost& CurrentConnectionHost() {
    ConnectionHost* host = InstalledHost();
    return host != nullptr ? *host : DefaultHost();
}

ConnectionHost* SetConnectionHost(ConnectionHost* host) {
    ConnectionHost* previous = InstalledHost();
    InstalledHost() = host;
    return previous;
}

}  // namespace vx
