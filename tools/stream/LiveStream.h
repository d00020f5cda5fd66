#pragma once
// The live mode of ventrix-stream: messages from a serial port, framed as a connection frames
// them, fed to the stream session until a count, a duration or a signal ends the run.

#include "tools/stream/StreamOptions.h"
#include "tools/stream/StreamSession.h"

#include <string>

namespace vx {

// The exit status of a live run whose device went away (without --reconnect).
inline constexpr int kDeviceLostStatus = 3;

// Runs until options.count messages, options.duration seconds, SIGINT or SIGTERM; the port is
// closed before it returns. Returns 0; 1 with `error` set when the port cannot be opened;
// kDeviceLostStatus with `error` set when the device went away, unless options.reconnect, which
// waits for it to return (trying the port about once a second) and goes on.
int RunLiveStream(const StreamOptions& options, const std::string& formatName,
                  StreamSession& session, std::string& error);

}  // namespace vx
