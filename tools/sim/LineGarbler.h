#pragma once
// What a receiver set to another baud rate makes of the instrument's bytes. The bytes go out as
// a real UART sends them (idle high, a low start bit, eight data bits least significant first, a
// high stop bit), and a model receiver at its own rate waits for the line to go low, samples each
// bit in the middle of its own bit time and takes the stop-bit sample as the end of the byte. So
// a faster receiver makes about two bytes of every one and a slower one about half, with bits
// mixed across byte boundaries: framing characters rarely survive intact, as on a real line.

#include <cstdint>
#include <string>

namespace vx::sim {

// The bytes a receiver at rxBaud reads from `bytes` sent at txBaud after an idle line. Equal
// rates give the bytes unchanged.
std::string GarbleForBaud(const std::string& bytes, std::uint32_t txBaud, std::uint32_t rxBaud);

}  // namespace vx::sim
