// The verifier's side of an upload: the project's own verifier (DemoPlayer
// with verify, as zorva-sim --verify runs it) plays the file, and each game
// it verifies is cut out of the file as a demo of its own, with a hash of its
// records. `zorva-board verify` does this in a process of its own for the
// server (the demo on standard input, the verdict on standard output), so
// that no file can crash, stall or fill the server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorva {

// One game the verifier verified.
struct VerifiedGame {
  std::string line;  // the verifier's line: "game 1: score 120, ...: verified, ..."
  std::int32_t score = 0;
  std::int64_t frames = 0;
  std::int64_t durationMs = 0;  // from the game's start to its last clock reading
  std::uint64_t seed = 0;
  bool waitThroughout = false;
  bool carriedIn = false;  // the file's first game, started from what earlier games left
  std::string hash;        // SHA-256 of the game's own records, as the file holds them (32 bytes)
  std::string demo;        // the game alone, as a demo file
};

struct UploadVerdict {
  int status = 0;                   // the verifier's: 0 every game verified, 1 a game refused, 2 a file it cannot read
  std::string refusal;              // the verifier's sentence when status is not 0
  std::vector<VerifiedGame> games;  // the games verified before anything was refused
};

// Verifies the demo `file` in this process.
UploadVerdict VerifyDemo(const std::string& file);

// The verdict as the worker hands it over (CBOR), and back; Decode throws
// std::exception for anything that is not a verdict.
std::string EncodeVerdict(const UploadVerdict& verdict);
UploadVerdict DecodeVerdict(const std::string& bytes);

// What one verification may take.
struct WorkerLimits {
  int seconds = 60;                                      // of processor time; the wall time allows twice as much
  std::uint64_t memoryBytes = std::uint64_t{512} << 20;  // of address space
};

// zorva-board verify: puts the limits on its own process before it reads a
// byte, then reads the demo on standard input and writes the encoded verdict
// on standard output. Returns the exit status.
int RunVerifyCommand(const WorkerLimits& limits);

}  // namespace zorva
