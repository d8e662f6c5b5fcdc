#include "board/verifier.h"

#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <sstream>
#include <stdexcept>

#include "base/files.h"
#include "demo/demo.h"
#include "demo/demo_stream.h"
#include "run/run.h"
#include "sim/replay.h"

namespace zorva {

namespace {

constexpr const char* kProgram = "zorva-board";

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer reserves terabytes of address space for itself.
constexpr bool kLimitMemory = false;
#else
constexpr bool kLimitMemory = true;
#endif
constexpr std::size_t kHeaderBytes = sizeof kDemoMagic + 2;

// The file as a regular file that the verifier can open by its name.
class MemoryFile {
 public:
  explicit MemoryFile(const std::string& bytes) : fd_(memfd_create("demo", MFD_CLOEXEC)) {
    for (std::size_t at = 0; fd_ >= 0 && at < bytes.size();) {
      const ssize_t n = ::write(fd_, bytes.data() + at, bytes.size() - at);
      if (n <= 0) throw std::runtime_error("cannot hold the demo in memory");
      at += static_cast<std::size_t>(n);
    }
    if (fd_ < 0) throw std::runtime_error("cannot hold the demo in memory");
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

// Where a game's own records lie in the file's unpacked records, and how it
// started.
struct Span {
  std::uint64_t begin = 0, end = 0;
  std::uint64_t seed = 0;
  std::int64_t clock = 0;
};

// The first `games` whole games of the file.
std::vector<Span> GameSpans(const std::string& file, std::size_t games) {
  std::istringstream in(file);
  std::vector<Span> spans;
  try {
    DemoReader reader(in);
    Span span;
    while (spans.size() < games) {
      const std::uint64_t before = reader.RecordsRead();
      const DemoReader::Event e = reader.Next();
      if (e.kind == DemoReader::Kind::End) break;
      if (e.kind == DemoReader::Kind::GameStart) span = {before, 0, reader.Start().seed, reader.Start().clock};
      if (e.kind == DemoReader::Kind::GameEnd) span.end = reader.RecordsRead(), spans.push_back(span);
    }
  } catch (const DemoError&) {
    // The verifier has said what is wrong; the games before it stand.
  }
  return spans;
}

// Cuts every span out of the file's records: the SHA-256 of its bytes, and a
// demo file of them alone behind a header (every game's records stand alone).
// Returns how many games it could cut.
std::size_t CutGames(const std::string& file, const std::vector<Span>& spans, std::vector<VerifiedGame>& games) {
  if (spans.empty()) return 0;
  const std::unique_ptr<Unpacker> unpacker = OpenUnpacker();
  const auto* packed = reinterpret_cast<const std::uint8_t*>(file.data());
  unpacker->Feed({packed + kHeaderBytes, file.size() - kHeaderBytes});
  const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> sha(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  std::unique_ptr<Packer> packer;
  std::vector<std::uint8_t> buffer(64 * 1024);
  std::uint64_t at = 0;  // the records' bytes unpacked before the buffer's
  std::size_t next = 0;
  try {
    bool end = false;
    while (next < spans.size() && !end) {
      const std::size_t n = unpacker->Unpack(buffer, end);
      if (n == 0 && unpacker->Left() == 0) break;
      for (std::size_t i = 0; i < n && next < spans.size();) {
        const Span& s = spans[next];
        if (at + i < s.begin) {
          i = static_cast<std::size_t>(std::min<std::uint64_t>(n, s.begin - at));
          continue;
        }
        VerifiedGame& game = games[next];
        const auto append = [&game](std::span<const std::uint8_t> bytes) {
          game.demo.append(bytes.begin(), bytes.end());
        };
        if (!packer) {
          packer = OpenPacker();
          EVP_DigestInit_ex(sha.get(), EVP_sha256(), nullptr);
          game.demo.assign(file, 0, kHeaderBytes);
        }
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n - i, s.end - (at + i)));
        EVP_DigestUpdate(sha.get(), buffer.data() + i, take);
        packer->Pack({buffer.data() + i, take}, Packer::Flush::None, append);
        i += take;
        if (at + i == s.end) {
          packer->Pack({}, Packer::Flush::Finish, append);
          unsigned char hash[EVP_MAX_MD_SIZE];
          unsigned int size = 0;
          EVP_DigestFinal_ex(sha.get(), hash, &size);
          game.hash.assign(reinterpret_cast<const char*>(hash), size);
          packer.reset();
          ++next;
        }
      }
      at += n;
    }
  } catch (const DemoError&) {
    // Damage behind the last game verified, met in the same piece.
  }
  return next;
}

}  // namespace

UploadVerdict VerifyDemo(const std::string& file) {
  const MemoryFile memory(file);
  const std::string path = memory.Path();
  struct End {
    Trailer trailer;
    bool wait, carried;
    std::int64_t last;
  };
  std::vector<End> ends;
  const auto play = [&ends](DemoPlayer& player) {
    const auto line = player.onGameEnds;
    player.onGameEnds = [&ends, &player, line](const Trailer& t) {
      ends.push_back({t, player.verifier->WaitThroughout(), player.verifier->CarriedIn(), player.LastReading()});
      line(t);
    };
    return RunPlayback(player, SimOptions{});
  };
  std::ostringstream said;
  UploadVerdict verdict;
  const Verdict played = PlayDemoFile(kProgram, path, false, true, play);
  verdict.status = played.status;
  for (const Verdict::Line& line : played.lines) {
    if (line.error) {
      verdict.refusal = line.text;
    } else {
      said << line.text << '\n';
    }
  }
  const std::string prefix = std::string(kProgram) + ": " + PrintablePath(path) + ": ";
  if (verdict.refusal.starts_with(prefix)) verdict.refusal.erase(0, prefix.size());

  const std::vector<Span> spans = GameSpans(file, ends.size());
  std::istringstream lines(said.str());
  verdict.games.resize(spans.size());
  for (std::size_t k = 0; k < spans.size(); ++k) {
    VerifiedGame& g = verdict.games[k];
    std::getline(lines, g.line);
    g.score = ends[k].trailer.score;
    g.frames = ends[k].trailer.frames;
    g.durationMs = ends[k].last - spans[k].clock;
    g.seed = spans[k].seed;
    g.waitThroughout = ends[k].wait;
    g.carriedIn = ends[k].carried;
  }
  verdict.games.resize(CutGames(file, spans, verdict.games));
  return verdict;
}

std::string EncodeVerdict(const UploadVerdict& v) {
  using nlohmann::json;
  const auto binary = [](const std::string& s) { return json::binary(std::vector<std::uint8_t>(s.begin(), s.end())); };
  json games = json::array();
  for (const VerifiedGame& g : v.games) {
    games.push_back({{"line", g.line},
                     {"score", g.score},
                     {"frames", g.frames},
                     {"duration", g.durationMs},
                     {"seed", g.seed},
                     {"wait", g.waitThroughout},
                     {"carried", g.carriedIn},
                     {"hash", binary(g.hash)},
                     {"demo", binary(g.demo)}});
  }
  const std::vector<std::uint8_t> cbor =
      json::to_cbor({{"status", v.status}, {"refusal", v.refusal}, {"games", games}});
  return {cbor.begin(), cbor.end()};
}

UploadVerdict DecodeVerdict(const std::string& bytes) {
  const nlohmann::json j = nlohmann::json::from_cbor(bytes);
  const auto text = [](const nlohmann::json& binary) {
    const auto& b = binary.get_binary();
    return std::string(b.begin(), b.end());
  };
  UploadVerdict v;
  v.status = j.at("status").get<int>();
  v.refusal = j.at("refusal").get<std::string>();
  for (const nlohmann::json& g : j.at("games")) {
    VerifiedGame game{g.at("line").get<std::string>(),
                      g.at("score").get<std::int32_t>(),
                      g.at("frames").get<std::int64_t>(),
                      g.at("duration").get<std::int64_t>(),
                      g.at("seed").get<std::uint64_t>(),
                      g.at("wait").get<bool>(),
                      g.at("carried").get<bool>(),
                      text(g.at("hash")),
                      text(g.at("demo"))};
    if (game.hash.size() != 32) throw std::runtime_error("a game's hash is not 32 bytes");
    v.games.push_back(std::move(game));
  }
  return v;
}

int RunVerifyCommand(const WorkerLimits& limits) {
  // A worker whose board was killed has nobody to give its verdict to.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const rlimit cpu{static_cast<rlim_t>(limits.seconds), static_cast<rlim_t>(limits.seconds) + 1};
  const rlimit memory{limits.memoryBytes, limits.memoryBytes}, none{0, 0};
  if (setrlimit(RLIMIT_CPU, &cpu) != 0 || (kLimitMemory && setrlimit(RLIMIT_AS, &memory) != 0) ||
      setrlimit(RLIMIT_CORE, &none) != 0) {
    std::cerr << kProgram << ": cannot limit the verification: " << std::strerror(errno) << "\n";
    return 1;
  }
  std::string file;
  for (char piece[64 * 1024]; std::cin.read(piece, sizeof piece) || std::cin.gcount() > 0;) {
    file.append(piece, static_cast<std::size_t>(std::cin.gcount()));
    if (file.size() > kDemoMaxFileBytes) break;
  }
  if (file.size() > kDemoMaxFileBytes) {
    std::cerr << kProgram << ": " << kDemoTooLarge << "\n";
    return 2;
  }
  const std::string verdict = EncodeVerdict(VerifyDemo(file));
  std::cout.write(verdict.data(), static_cast<std::streamsize>(verdict.size()));
  std::cout.flush();
  return std::cout ? 0 : 1;
}

}  // namespace zorva
