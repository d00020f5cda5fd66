#pragma once
// What a receiver set to another baud rate makes of the instrument's bytes. The bytes go out as
// a real UART sends them (idle high, a low start bit, eight data bits least significant first, a
// high stop bit), and a model receiver at its own rate waits for the line to go low, samples each
// bit in the middle of its own bit time and takes the stop-bit sample as the end of the byte. So
// a faster receiver makes about two bytes of every one and a slower one about half, with bits
// mixed across byte boundaries.
// The model is exact where a real line is not: its receiver never drifts, so at a quarter of the
// speed it samples the same start and top bits of every frame and shows STX and the like far
// more often than a real receiver with its jitter and framing errors does. So seven of every
// eight framing characters (STX, ETX, "$", "*", CR) it produces come out with the top bit set,
// the way a framing error garbles them: they rarely appear intact, as on a real line.

#include <cstdint>
#include <string>

namespace vx::sim {

// The bytes a receiver at rxBaud reads from `bytes` sent at txBaud after an idle line. Equal
// rates give the bytes unchanged.
std::string GarbleForBaud(const std::string& bytes, std::uint32_t txBaud, std::uint32_t rxBaud);

}  // namespace vx::sim
