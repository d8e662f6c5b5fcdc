// The hall's tests share a real zorva-board on loopback (started and stopped
// by the test, on a port of its own), games recorded on the simulated window,
// and uploads through cpp-httplib's client.
#pragma once

#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "sim/replay.h"
#include "sim/script.h"
#include "tests/file_support.h"

namespace zorva {

inline const std::string kBoard = ZORVA_BINARY_DIR "/zorva-board";
// A board may close a connection on an upload it refuses while the client still writes.
inline const bool kWritesToClosedConnectionsFail = (::signal(SIGPIPE, SIG_IGN), true);

// A zorva-board serving `database`, with `options` (shell words), until it is destroyed or killed.
struct BoardProcess {
  BoardProcess(const fs::path& database, const std::string& options = "", int port = 0) { Start(database, options, port); }
  ~BoardProcess() { Stop(SIGTERM); }

  void Start(const fs::path& database, const std::string& options, int at) {
    std::vector<std::string> args{kBoard, "--listen", "127.0.0.1:" + std::to_string(at), "--database", database.string()};
    std::istringstream words(options);
    for (std::string w; words >> w;) args.push_back(w);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    pid = ::fork();
    if (pid == 0) {
      ::dup2(out[1], 1), ::close(out[0]), ::close(out[1]);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    std::string said;  // "zorva-board: the hall is at http://127.0.0.1:PORT/", within 30 s
    pollfd p{out[0], POLLIN, 0};
    for (char c = 0; said.find('\n') == std::string::npos && ::poll(&p, 1, 30000) > 0 && ::read(out[0], &c, 1) == 1;) said += c;
    ::close(out[0]);
    const std::size_t colon = said.rfind(':');
    ASSERT_NE(colon, std::string::npos) << "zorva-board did not start: " << said;
    port = std::stoi(said.substr(colon + 1));
  }
  void Stop(int signal) {
    if (pid <= 0) return;
    ::kill(pid, signal);
    ::waitpid(pid, nullptr, 0);
    pid = 0;
  }
  httplib::Client Client() const {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(120, 0);
    return c;
  }
  pid_t pid = 0;
  int port = 0;
};

// The bytes of a run of `script` recorded with seed `seed`; `forge` runs after every title pass before game `game`.
inline std::string Recorded(const std::string& script, std::uint64_t seed, const std::function<void()>& forge = nullptr,
                            int game = 1) {
  const TempDir dir("board-record-" + std::to_string(seed));
  SimOptions options;
  options.seed = seed, options.record = (dir.path / "run.zdm").string();
  int started = 1;
  options.afterPass = [&](Loop loop, bool endsGame) {
    started += endsGame;
    if (forge && loop == Loop::Title && started == game) forge();
  };
  RunSimulation(ParseScript(script), options);
  const Bytes b = ReadBytes(dir.path / "run.zdm");
  return {b.begin(), b.end()};
}

// A short game: started, fired at for `frames` frames, closed while it runs.
inline std::string ShortGame(std::uint64_t seed, int frames = 30) {
  return Recorded("1 tap:SPACE\n" + std::to_string(frames) + " SPACE\n1 close\n", seed);
}

struct Answer {
  int status = 0;
  nlohmann::json body;
  std::string text;
};

inline Answer Upload(httplib::Client& c, const std::string& name, const std::string& demo) {
  const httplib::MultipartFormDataItems form{{"name", name, "", ""}, {"demo", demo, "game.zdm", "application/octet-stream"}};
  const httplib::Result r = c.Post("/api/games", form);
  if (!r) return {};
  return {r->status, nlohmann::json::parse(r->body, nullptr, false), r->body};
}

inline Answer Get(httplib::Client& c, const std::string& path) {
  const httplib::Result r = c.Get(path);
  if (!r) return {};
  return {r->status, nlohmann::json::parse(r->body, nullptr, false), r->body};
}

}  // namespace zorva
