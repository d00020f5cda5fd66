#pragma once
// The live mode of ventrix-stream: messages from a serial port, framed as a connection frames
// them, fed to the stream session until a count, a duration or a signal ends the run.

#include "tools/stream/StreamOptions.h"
#include "tools/stream/StreamSession.h"

#include <string>

namespace vx {

// Runs until options.count messages, options.duration seconds, SIGINT or SIGTERM; the port is
// closed before it returns. Returns 0, or 1 with `error` set when the port cannot be opened.
int RunLiveStream(const StreamOptions& options, const std::string& formatName,
                  StreamSession& session, std::string& error);

}  // namespace vx
