// zorva-sim built for Node.js has no compressor for demo files: it replays
// scripts and dumps, and says so plainly when asked to record or play a demo.
#include "demo/demo_file.h"
#include "demo/demo_stream.h"

namespace zorva {

namespace {
constexpr const char* kNoDemos = "this build of zorva-sim reads and writes no demos; the native one does";
}  // namespace

std::unique_ptr<Packer> OpenPacker() { throw DemoError(kNoDemos); }
std::unique_ptr<Unpacker> OpenUnpacker() { throw DemoError(kNoDemos); }

}  // namespace zorva
