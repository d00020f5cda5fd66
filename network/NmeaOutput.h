#pragma once
// The NMEA 0183 output of one connection: a worker thread that takes the connection's samples
// and summaries from a bounded hand-over, builds the sentences and sends them as UDP datagrams
// and to the TCP server's clients. While the instrument is lost or silent it sends a void MWV
// (status V) once a second, so a plotter shows the wind as missing rather than steady.

#include "network/NetworkSettings.h"
#include "network/WindReport.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vx {

struct NmeaCounts {
    std::uint64_t sentences = 0;  // built and handed to the senders
    std::uint64_t datagrams = 0;  // UDP datagrams that went out
    std::uint64_t lost = 0;       // samples the worker fell too far behind to send
    int tcpClients = 0;
    int tcpPort = 0;  // the port the server listens on, 0 without one
    std::uint64_t tcpDropped = 0;
    std::string problem;  // the latest UDP problem, for the user
};

class NmeaOutput {
public:
    NmeaOutput();
    ~NmeaOutput();
    NmeaOutput(const NmeaOutput&) = delete;
    NmeaOutput& operator=(const NmeaOutput&) = delete;

    // Opens the TCP server at once (so a port in use is reported here) and starts the worker.
    // The UDP destination is looked up on the worker. False with `error` set.
    bool Start(const NmeaSettings& settings, std::string& error);
    // Stops within a short while, whatever the worker is doing.
    void Stop();
    bool Running() const;
    // Asks the worker to stop and returns at once; Stop then waits less.
    void RequestStop();

    // Cheap and bounded: a copy into the hand-over. Rate limits are the caller's.
    void Hand(const OutputEvent& event);
    void SetStatus(LinkStatus status);

    // While running, the counts so far; once stopped, those of the run that ended.
    NmeaCounts Counts() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    NmeaCounts finalCounts_;  // what a stopped output did, until it starts again
};

}  // namespace vx
