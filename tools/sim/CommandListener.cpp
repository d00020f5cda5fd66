#include "tools/sim/CommandListener.h"

namespace vx::sim {

std::vector<Command> CommandListener::Feed(const std::string& bytes) {
    std::vector<Command> commands;
    for (char c : bytes) {
        if (c == '\r' && previous_ == 'Q') {
            commands.push_back(Command::Poll);
            c = 0;
        } else if (c == '$' && previous_ == '$') {
            commands.push_back(Command::Reset);
            c = 0;  // "$$$$" is two requests, not three
        }
        previous_ = c;
    }
    return commands;
}

}  // namespace vx::sim
