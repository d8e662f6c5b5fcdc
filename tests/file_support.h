// Small things for the tests: whole-file reads and writes, a scratch folder
// of the test's own (removed afterwards), and values compared side by side.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zorva {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct TempDir {
  explicit TempDir(const std::string& name = "scratch")
      : path(fs::temp_directory_path() / ("zorva-" + std::to_string(::getpid()) + "-" + name)) {
    fs::remove_all(path), fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  fs::path path;
};

template <class... T>
std::vector<double> V(T... values) {
  return {static_cast<double>(values)...};
}

inline Bytes ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string WriteBytes(const fs::path& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  return p.string();
}

}  // namespace zorva
