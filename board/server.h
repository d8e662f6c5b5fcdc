// The hall's HTTP server, on cpp-httplib: the hall's pages and API, the
// uploads (verified by the workers), and the built page on the same origin
// under /play/. The server guards itself: every address is held to so many
// requests and uploads a minute and so many connections at once, a request
// must come whole within bounds of size and time, a response must be taken
// within a bound of time, and connections beyond what its threads and their
// queue hold are turned away at once.
#pragma once

#include <string>

#include "board/workers.h"

namespace zorva {

struct BoardOptions {
  std::string host = "127.0.0.1";
  int port = 8080;                    // 0: any free port (the line on standard output names it)
  std::string database = "board.db";  // a SQLite file, or postgresql://...
  std::string page;                   // the built page's folder, served under /play/; none when empty
  std::string program;                // this program, run as the verifier
  int threads = 64;                   // connections served at once; as many more wait
  int requestsPerMinute = 600;        // per address; 0 for no limit
  int uploadsPerMinute = 10;          // per address; 0 for no limit
  int connectionsPerAddress = 32;
  int verifiers = 0;  // at once; 0 for as many as the machine has cores
  // Uploads waiting for a verifier: in this process on SQLite, in the
  // database (for every process) on PostgreSQL.
  int queue = 16;
  int leaseSeconds = 15;  // a verifier of a shared hall holds its upload, renewed while it works
  WorkerLimits limits;
};

// Serves until SIGTERM or SIGINT; says on standard output where, once it
// listens. Returns the exit status.
int Serve(const BoardOptions& options);

}  // namespace zorva
