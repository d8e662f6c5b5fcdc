// The hall's tests share a real zorva-board on loopback (started and stopped
// by the test, on a port of its own) on a database of either kind (a SQLite
// file, or a throw-away PostgreSQL server on a socket in the test's folder),
// games recorded on the simulated window, and uploads through cpp-httplib's
// client.
#pragma once

#include <httplib.h>
#include <libpq-fe.h>
#include <poll.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>
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

// The first column of the rows `sql` gives on the hall's database at `address` (statements one after another), as
// whole numbers.
inline std::vector<std::int64_t> SqlColumn(const std::string& address, const std::string& sql) {
  std::vector<std::int64_t> column;
  if (!address.starts_with("postgresql://")) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(address.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const auto row = [](void* to, int, char** values, char**) {
      static_cast<std::vector<std::int64_t>*>(to)->push_back(values[0] ? std::atoll(values[0]) : 0);
      return 0;
    };
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), row, &column, &error), SQLITE_OK) << (error ? error : "") << ": " << sql;
    sqlite3_free(error);
    sqlite3_close(db);
    return column;
  }
  PGconn* db = PQconnectdb(address.c_str());
  PGresult* r = PQexec(db, sql.c_str());
  const bool rows = PQresultStatus(r) == PGRES_TUPLES_OK;
  EXPECT_TRUE(rows || PQresultStatus(r) == PGRES_COMMAND_OK) << PQerrorMessage(db) << sql;
  for (int i = 0; rows && i < PQntuples(r); ++i) column.push_back(std::atoll(PQgetvalue(r, i, 0)));
  PQclear(r);
  PQfinish(db);
  return column;
}

// The stores a hall's test runs on: "sqlite" and "postgresql".
inline const std::vector<std::string> kStores = {"sqlite", "postgresql"};

// A hall's database for a test, in a folder of its own: the SQLite file hall.db, or a database of its own on the suite's
// PostgreSQL server (tools/scratch-postgres up, as CTest does before the hall's tests: the file ZORVA_TEST_POSTGRES
// names says where), dropped when done. A test that kills the server, or one run without the suite's, starts a server
// of its own in the folder (as an unprivileged user, on a socket: no port) and stops it. `address` is what
// zorva-board's --database takes.
struct HallDatabase {
  enum Server { kSuites, kOwn };
  HallDatabase(const std::string& store, const std::string& name, Server server = kSuites)
      : dir("board-" + name + "-" + store) {
    if (store == "sqlite") {
      address = (dir.path / "hall.db").string();
      return;
    }
    postgres = true;
    const char* suite = std::getenv("ZORVA_TEST_POSTGRES");
    std::ifstream file(suite && server == kSuites ? suite : "");
    std::string folder, url;
    if (std::getline(file, folder) && std::getline(file, url)) {
      Join(url, name);
    } else {
      Start();
    }
  }
  // A database of its own on the server of `url` (postgresql:///hall?host=...).
  void Join(std::string url, const std::string& name) {
    const std::size_t at = url.find("/hall?");
    ASSERT_NE(at, std::string::npos) << url;
    database = "hall_" + name + "_" + std::to_string(::getpid());
    SqlColumn(url, "CREATE DATABASE " + database);
    suiteAddress = url;
    address = url.replace(at, 5, "/" + database);
  }
  ~HallDatabase() {
    if (!database.empty()) SqlColumn(suiteAddress, "DROP DATABASE " + database + " WITH (FORCE)");
    if (postgres && database.empty()) Scratch("stop");
  }
  void Start() {
    FILE* out = ::popen(("'" + kScratch + "' start '" + (dir.path / "pg").string() + "'").c_str(), "r");
    ASSERT_NE(out, nullptr);
    char line[4096] = "";
    const bool said = std::fgets(line, sizeof line, out) != nullptr;
    ASSERT_EQ(::pclose(out), 0) << "the PostgreSQL server did not start";
    ASSERT_TRUE(said);
    address = std::string(line, std::strcspn(line, "\n"));
  }
  // Kills the server of its own as a crash would.
  void Kill() { Scratch("kill"); }
  void Scratch(const char* what) const {
    EXPECT_EQ(std::system(("'" + kScratch + "' " + what + " '" + (dir.path / "pg").string() + "'").c_str()), 0) << what;
  }

  inline static const std::string kScratch = ZORVA_SOURCE_DIR "/tools/scratch-postgres";
  TempDir dir;
  bool postgres = false;
  std::string address;
  std::string database, suiteAddress;  // on the suite's server
};

// A zorva-board serving `database`, with `options` (shell words), until it is destroyed or killed. Tests ask after
// their uploads every 20 ms, faster than a player's page does: no limit on requests unless `options` sets one.
struct BoardProcess {
  BoardProcess(const std::string& database, const std::string& options = "", int port = 0) { Start(database, options, port); }
  ~BoardProcess() { Stop(SIGTERM); }

  void Start(const std::string& database, const std::string& options, int at) {
    std::vector<std::string> args{kBoard, "--listen", "127.0.0.1:" + std::to_string(at), "--database", database};
    if (options.find("--requests-per-minute") == std::string::npos) args.insert(args.end(), {"--requests-per-minute", "0"});
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

inline Answer Get(httplib::Client& c, const std::string& path) {
  const httplib::Result r = c.Get(path);
  if (!r) return {};
  return {r->status, nlohmann::json::parse(r->body, nullptr, false), r->body};
}

// The upload at `address` once it is answered (asked every 20 ms, for two minutes at most), as the board would have
// answered it at once: with its status.
inline Answer Settled(httplib::Client& c, const std::string& address) {
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2); std::chrono::steady_clock::now() < end;) {
    Answer a = Get(c, address);
    if (a.status == 200 && a.body.value("state", "") == "done") return {a.body["status"].get<int>(), a.body, a.text};
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return {};
}

// The answer to an upload; a hall that answers 202 (on PostgreSQL) is asked after it until it is settled.
inline Answer Upload(httplib::Client& c, const std::string& name, const std::string& demo, bool settled = true) {
  const httplib::MultipartFormDataItems form{{"name", name, "", ""}, {"demo", demo, "game.zdm", "application/octet-stream"}};
  const httplib::Result r = c.Post("/api/games", form);
  if (!r) return {};
  if (r->status == 202 && settled) return Settled(c, r->get_header_value("Location"));
  return {r->status, nlohmann::json::parse(r->body, nullptr, false), r->body};
}

}  // namespace zorva
