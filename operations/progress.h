#pragma once

#include <functional>

namespace velmora {

// Progress of a long command: `done` of `total` items handled so far. Called on the thread that
// runs the command (batch export calls it from the waiting thread, never from a worker).
using TProgress = std::function<void(int done, int total)>;

} // namespace velmora
