#include "demo/demo_stream.h"

#include <zlib.h>

#include <string>
#include <vector>

#include "demo/demo_file.h"

namespace zorva {

namespace {

constexpr std::size_t kPieceBytes = 64 * 1024;
constexpr int kLevel = 9;

class ZlibPacker final : public Packer {
 public:
  ZlibPacker() : packed_(kPieceBytes) {
    if (deflateInit(&z_, kLevel) != Z_OK) throw DemoError("cannot start the compressor");
  }
  ~ZlibPacker() override { deflateEnd(&z_); }

  void Pack(std::span<const std::uint8_t> in, Flush flush,
            const std::function<void(std::span<const std::uint8_t>)>& out) override {
    const int mode = flush == Flush::Finish ? Z_FINISH : flush == Flush::Sync ? Z_SYNC_FLUSH : Z_NO_FLUSH;
    z_.next_in = const_cast<Bytef*>(in.data());
    z_.avail_in = static_cast<uInt>(in.size());
    int result = Z_OK;
    do {
      z_.next_out = packed_.data();
      z_.avail_out = static_cast<uInt>(packed_.size());
      result = deflate(&z_, mode);
      const std::size_t n = packed_.size() - z_.avail_out;
      if (n > 0) out({packed_.data(), n});
    } while (z_.avail_out == 0 || (mode == Z_FINISH && result != Z_STREAM_END));
  }

 private:
  z_stream z_{};
  std::vector<std::uint8_t> packed_;
};

class ZlibUnpacker final : public Unpacker {
 public:
  ZlibUnpacker() {
    if (inflateInit(&z_) != Z_OK) throw DemoError("cannot start the decompressor");
  }
  ZlibUnpacker(const ZlibUnpacker& other) {
    if (inflateCopy(&z_, const_cast<z_stream*>(&other.z_)) != Z_OK) throw DemoError("cannot copy the decompressor");
    z_.next_in = nullptr;
    z_.avail_in = 0;
  }
  ZlibUnpacker& operator=(const ZlibUnpacker&) = delete;
  ~ZlibUnpacker() override { inflateEnd(&z_); }

  void Feed(std::span<const std::uint8_t> in) override {
    z_.next_in = const_cast<Bytef*>(in.data());
    z_.avail_in = static_cast<uInt>(in.size());
  }
  std::size_t Left() const override { return z_.avail_in; }

  std::size_t Unpack(std::span<std::uint8_t> out, bool& end) override {
    z_.next_out = out.data();
    z_.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z_, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      end = true;
    } else if (result != Z_OK && !(result == Z_BUF_ERROR && z_.avail_in == 0)) {
      throw DemoError(std::string("the file is damaged (") + (z_.msg != nullptr ? z_.msg : "bad compressed data") +
                      ")");
    }
    return out.size() - z_.avail_out;
  }

  std::unique_ptr<Unpacker> Copy() const override { return std::make_unique<ZlibUnpacker>(*this); }

 private:
  z_stream z_{};
};

}  // namespace

std::unique_ptr<Packer> OpenPacker() { return std::make_unique<ZlibPacker>(); }
std::unique_ptr<Unpacker> OpenUnpacker() { return std::make_unique<ZlibUnpacker>(); }

}  // namespace zorva
