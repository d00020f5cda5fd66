#pragma once
// The two requests an instrument understands from the program: "Q" CR asks a polled unit for one
// message, and "$" "$" (the baud-rate search) makes the unit reset and announce itself.

#include <string>
#include <vector>

namespace vx::sim {

enum class Command { Poll, Reset };

class CommandListener {
public:
    // Bytes the instrument heard, in order; returns the commands they completed.
    std::vector<Command> Feed(const std::string& bytes);
    // The line was garbled or the program went away: a half-heard command is gone.
    void Forget() { previous_ = 0; }

private:
    char previous_ = 0;
};

}  // namespace vx::sim
