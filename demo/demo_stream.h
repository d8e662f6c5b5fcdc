// The compressed stream inside a demo file. Only demo_stream.cpp knows the
// compressor (zlib); a build without one puts in its own OpenPacker and
// OpenUnpacker, which refuse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace zorva {

class Packer {
 public:
  enum class Flush { None, Sync, Finish };
  virtual ~Packer() = default;
  // Packs `in` and hands the packed bytes to `out` piece by piece. Sync makes
  // everything so far readable; Finish ends the stream.
  virtual void Pack(std::span<const std::uint8_t> in, Flush flush,
                    const std::function<void(std::span<const std::uint8_t>)>& out) = 0;
};

class Unpacker {
 public:
  virtual ~Unpacker() = default;
  // The next packed bytes, which stay where they are until Left() is 0.
  virtual void Feed(std::span<const std::uint8_t> in) = 0;
  // Packed bytes fed but not yet unpacked.
  virtual std::size_t Left() const = 0;
  // Unpacks what it can into `out` and returns how many bytes; `end` is set
  // at the end of the stream. Throws DemoError for damaged data.
  virtual std::size_t Unpack(std::span<std::uint8_t> out, bool& end) = 0;
  // The bytes of the demo file behind the first `fed` bytes fed: the same,
  // unless the file was unpacked before it was fed (as the page does).
  virtual std::uint64_t FileBytes(std::uint64_t fed) const { return fed; }
  // An unpacker that goes on from here as this one does, once it is fed what
  // would have come after what this one was fed (and has used up).
  virtual std::unique_ptr<Unpacker> Copy() const = 0;
};

// Both throw DemoError when the stream cannot be started.
std::unique_ptr<Packer> OpenPacker();
std::unique_ptr<Unpacker> OpenUnpacker();

}  // namespace zorva
