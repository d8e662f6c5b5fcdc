// zorva-sim built for Node.js has no PNG library to write pictures with: it
// replays and dumps, and says so plainly when asked for pictures.
#include <stdexcept>

#include "sim/png.h"

namespace zorva {

bool WriteCanvasPng(const Surface&, const std::string&) {
  throw std::runtime_error("this build of zorva-sim writes no PNG pictures (--png); the native one does");
}

}  // namespace zorva
