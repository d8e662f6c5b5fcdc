// zorva-board: the hall of fame. Takes played games, verifies each on arrival
// in a worker process, ranks the verified ones and serves them to watch.
//
//   zorva-board [serve] [--listen HOST:PORT] [--database FILE|URL] [--page DIR] ...
//   zorva-board verify < DEMO
//   zorva-board remove ID | rename ID NAME | backup FILE  [--database FILE|URL]
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "base/number.h"
#include "board/names.h"
#include "board/server.h"
#include "board/store.h"
#include "board/verifier.h"
#include "demo/demo.h"

namespace {

constexpr const char* kHelp =
    "Usage: zorva-board [serve] [OPTION]...\n"
    "  or:  zorva-board verify [--verify-seconds N] [--verify-memory MIB] < DEMO\n"
    "  or:  zorva-board remove ID [--database FILE|URL]\n"
    "  or:  zorva-board rename ID NAME [--database FILE|URL]\n"
    "  or:  zorva-board backup FILE [--database FILE]\n"
    "The hall of fame of ZORVA. It takes games recorded by zorva --record or saved from the page\n"
    "(POST /api/games, or the form on its own page), verifies every game of a file in a worker\n"
    "process of its own as zorva-sim --verify does, and ranks those that start from the program's\n"
    "start with WAIT checked throughout. Every week it draws a challenge seed and ranks the games\n"
    "of that seed in a table of their own. It is administered only from this command line, on the\n"
    "database itself, also while the server runs.\n"
    "\n"
    "Its database is one SQLite file, or a PostgreSQL server (--database postgresql://...) that any\n"
    "number of board processes share, on any number of machines: an upload is then answered 202\n"
    "at once and kept as waiting, any of them verifies it, and its verdict is at the address the\n"
    "answer gives (GET /api/uploads/ID).\n"
    "\n"
    "Commands:\n"
    "  serve                        serve the hall (the default)\n"
    "  verify                       verify the demo on standard input as the hall does, and write\n"
    "                               the verdict on standard output (CBOR)\n"
    "  remove ID                    remove an entry; its game is never entered again\n"
    "  rename ID NAME               give an entry another name\n"
    "  backup FILE                  copy the SQLite database into the new file FILE, also while it\n"
    "                               serves (a PostgreSQL one is backed up with pg_dump)\n"
    "\n"
    "Options:\n"
    "  --listen HOST:PORT           where to listen (default 127.0.0.1:8080; port 0: any free port)\n"
    "  --database FILE|URL          the SQLite database (default board.db), made when missing, or a\n"
    "                               PostgreSQL database: postgresql://USER@HOST/NAME or\n"
    "                               postgresql:///NAME?host=SOCKET-FOLDER\n"
    "  --page DIR                   the built page (make web writes build-web/), served under /play/\n"
    "  --threads N                  connections served at once (default 64)\n"
    "  --requests-per-minute N      requests from one address (default 600; 0: no limit)\n"
    "  --uploads-per-minute N       uploads from one address (default 10; 0: no limit)\n"
    "  --connections-per-address N  connections open from one address at once (default 32)\n"
    "  --verifiers N                verifications at once (default: one per processor core)\n"
    "  --queue N                    uploads waiting for a verifier beyond those (default 16; on\n"
    "                               PostgreSQL, in the database for every process)\n"
    "  --lease-seconds N            on PostgreSQL, how long a verifier holds an upload unless it\n"
    "                               says it works on (default 15): after that, another takes it\n"
    "  --verify-seconds N           processor time one verification may take (default 60; twice\n"
    "                               as much wall time)\n"
    "  --verify-memory MIB          memory one verification may take (default 512)\n"
    "  --help                       print this help and exit\n"
    "  --version                    print the version and exit\n";

int Usage(const std::string& why) {
  std::cerr << "zorva-board: " << why << "\n" << kHelp;
  return 2;
}

std::string ThisProgram(const char* argv0) {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string(argv0);
}

// The options that take a whole number: its bounds, and what is asked of
// it when it is out of them.
struct NumberOption {
  const char* name;
  int min, max;
  int zorva::BoardOptions::*field;
  const char* needs;
};
constexpr NumberOption kNumberOptions[] = {
    {"--threads", 1, 4096, &zorva::BoardOptions::threads, "a number from 1 to 4096"},
    {"--requests-per-minute", 0, 1000000000, &zorva::BoardOptions::requestsPerMinute, "a number"},
    {"--uploads-per-minute", 0, 1000000000, &zorva::BoardOptions::uploadsPerMinute, "a number"},
    {"--connections-per-address", 1, 1000000, &zorva::BoardOptions::connectionsPerAddress, "a number"},
    {"--verifiers", 1, 1024, &zorva::BoardOptions::verifiers, "a number from 1 to 1024"},
    {"--queue", 0, 100000, &zorva::BoardOptions::queue, "a number"},
    {"--lease-seconds", 3, 3600, &zorva::BoardOptions::leaseSeconds, "a number from 3 to 3600"},
};

// Takes the option `arg` with its `value` into `o`: what is wrong with it, or
// nothing.
std::string TakeOption(zorva::BoardOptions& o, std::string_view arg, const std::string& value) {
  const auto number = [&](int min, int max, int& out) {
    const std::optional<int> v = zorva::WholeNumber<int>(value, min, max);
    if (v) out = *v;
    return v.has_value();
  };
  for (const NumberOption& n : kNumberOptions) {
    if (arg == n.name) return number(n.min, n.max, o.*n.field) ? "" : std::string(n.name) + " needs " + n.needs;
  }
  int mib = 0;
  if (arg == "--database") {
    o.database = value;
  } else if (arg == "--page") {
    o.page = value;
  } else if (arg == "--listen") {
    const std::size_t colon = value.rfind(':');
    std::string host = value.substr(0, colon == std::string::npos ? 0 : colon);
    if (host.size() > 1 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const std::optional<int> port =
        colon == std::string::npos ? std::nullopt : zorva::WholeNumber<int>(value.substr(colon + 1), 0, 65535);
    if (host.empty() || !port) return "--listen needs HOST:PORT, such as 127.0.0.1:8080";
    o.host = host, o.port = *port;
  } else if (arg == "--verify-seconds") {
    if (!number(1, 86400, o.limits.seconds)) return "--verify-seconds needs a number from 1 to 86400";
  } else if (arg == "--verify-memory") {
    if (!number(16, 1 << 20, mib)) return "--verify-memory needs a number of MiB, 16 or more";
    o.limits.memoryBytes = static_cast<std::uint64_t>(mib) << 20;
  } else {
    return "unknown option " + std::string(arg);
  }
  return "";
}

// remove, rename and backup, on the database itself.
int Administer(const std::string& command, const std::vector<std::string>& words, const zorva::BoardOptions& o) {
  zorva::Store store(o.database);
  if (command == "backup") {
    if (zorva::SameFile(words[0], o.database)) return Usage("the backup would be written over the database");
    store.Backup(words[0]);
    std::cout << "zorva-board: " << o.database << " backed up to " << words[0] << "\n";
    return 0;
  }
  const std::optional<std::int64_t> id = zorva::WholeNumber<std::int64_t>(words[0], 1, INT64_MAX);
  if (!id) return Usage("an entry's number is a whole number from 1 on");
  std::string why;
  std::optional<std::string> name;
  if (command == "rename" && !(name = zorva::PlayerName(words[1], why))) {
    std::cerr << "zorva-board: " << why << "\n";
    return 2;
  }
  if (!(command == "remove" ? store.Remove(*id) : store.Rename(*id, *name))) {
    // An address may hold a password.
    const std::string where = zorva::Database::NamesServer(o.database) ? "the database" : o.database;
    std::cerr << "zorva-board: no entry " << *id << " in " << where << "\n";
    return 1;
  }
  std::cout << "zorva-board: entry " << *id << (command == "remove" ? " removed" : " renamed") << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "--version")) {
    std::cout << (args[0] == "--help" ? std::string(kHelp) : std::string("zorva-board ") + ZORVA_VERSION + "\n");
    return 0;
  }
  std::string command = "serve";
  if (!args.empty() && !args[0].starts_with("--")) command = args[0], args.erase(args.begin());

  zorva::BoardOptions o;
  o.program = ThisProgram(argv[0]);
  std::vector<std::string> words;  // the command's own arguments
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!arg.starts_with("--")) {
      words.emplace_back(arg);
      continue;
    }
    if (i + 1 >= args.size()) return Usage(std::string(arg) + " needs a value");
    if (const std::string wrong = TakeOption(o, arg, std::string(args[++i])); !wrong.empty()) return Usage(wrong);
  }

  if (command == "serve") return words.empty() ? zorva::Serve(o) : Usage("serve takes options only");
  if (command == "verify")
    return words.empty() ? zorva::RunVerifyCommand(o.limits) : Usage("verify takes options only");
  const std::size_t wanted = command == "rename" ? 2 : 1;
  if ((command != "remove" && command != "rename" && command != "backup") || words.size() != wanted) {
    return Usage(command == "remove" || command == "rename" || command == "backup"
                     ? command + " takes " + (wanted == 2 ? "an entry's number and a name" : "one argument")
                     : "unknown command " + command);
  }
  try {
    return Administer(command, words, o);
  } catch (const std::exception& e) {
    std::cerr << "zorva-board: " << e.what() << "\n";
    return 1;
  }
}
