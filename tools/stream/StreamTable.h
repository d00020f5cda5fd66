#pragma once
// The tab-separated table ventrix-stream writes: one header line, then one line per packet with
// the connection's state after that packet (m/s and degrees, six decimals, "." always).

#include "connection/WindConnection.h"

#include <cstdint>
#include <ostream>

namespace vx {

void WriteStreamHeader(std::ostream& out);

void WriteStreamRow(std::ostream& out, std::int64_t packetNumber, const PacketResult& result,
                    const WindConnection& connection);

}  // namespace vx
