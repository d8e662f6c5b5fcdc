// The hall's database: one SQLite file in write-ahead-log mode, its schema
// version in the file (PRAGMA user_version) and brought up to date by the
// migrations when opened. Every upload is one transaction, committed to disk
// (synchronous=FULL) before the server answers it: an entry is there whole
// or not at all, and an acknowledged one stays. Any number of threads may
// read and write through one Store.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "board/verifier.h"

struct sqlite3;

namespace zorva {

struct StoreError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One verified game in the hall.
struct Entry {
  std::int64_t id = 0;
  std::string name;
  std::int32_t score = 0;
  std::int64_t frames = 0;
  std::int64_t durationMs = 0;
  std::int64_t created = 0;  // when it came, in seconds since 1970 (UTC)
  int game = 0;              // its place among the games of the file it came in
  std::uint64_t seed = 0;
  bool ranked = false;
  std::string reason;     // why it is not ranked
  std::string week;       // the challenge week whose table it is in, if any
  std::string line;       // the verifier's line for it
  std::int64_t rank = 0;  // its place in the all-time table (or the week's, in a week's table), if ranked
};

// A week, Monday 00:00 UTC to the next, named by its ISO week ("2025-W03").
struct Week {
  std::string name;
  std::int64_t starts = 0, ends = 0;  // seconds since 1970
};
Week WeekOf(std::int64_t seconds);

struct Challenge {
  Week week;
  std::uint64_t seed = 0;
};

class Store {
 public:
  // Opens (or makes) the database and brings its schema up to date. Throws
  // StoreError.
  explicit Store(const std::string& path);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // The challenge of the week `now` falls in: a seed drawn at random the
  // first time the week is asked for, and kept.
  Challenge ChallengeAt(std::int64_t now);

  // Enters the games the verifier verified, sent by `name` in `file`, in one
  // transaction: a game that is there already is not entered again (a game
  // entered unranked becomes ranked when a file proves its start), a removed
  // one never again. Returns the entries of the verdict's games, in order.
  struct Added {
    std::vector<Entry> entries;
    int fresh = 0;    // entries made now
    int removed = 0;  // games left out because they were removed
  };
  Added Add(const std::string& name, const std::string& file, const UploadVerdict& verdict, std::int64_t now);

  // `count` ranked entries from the `offset`-th on, best first (the higher
  // score, then the earlier entry): the all-time table, or the table of the
  // challenge week named `week`.
  std::vector<Entry> Table(const std::string& week, std::int64_t offset, int count);
  std::optional<Entry> Find(std::int64_t id);
  // The entry's game alone, as a demo file.
  std::optional<std::string> Demo(std::int64_t id);
  // A number that is another one once anything has been written to the
  // database since, by this process or another (the command line's).
  std::int64_t Changes();

  // Administration, from the command line: false when there is no such entry.
  bool Remove(std::int64_t id);
  bool Rename(std::int64_t id, const std::string& name);
  // Copies the whole database, as it is at one moment, into a new file
  // `path` (SQLite's online backup: the server may go on writing).
  void Backup(const std::string& path);

  class Connection;

 private:
  std::unique_ptr<Connection> Open();
  // A connection for reading, back to the pool when the lease ends.
  struct Lease {
    Store& store;
    std::unique_ptr<Connection> connection;
    ~Lease();
    Connection* operator->() { return connection.get(); }
  };
  Lease Reader();

  std::string path_;
  std::mutex writeMutex_;
  std::unique_ptr<Connection> writer_;
  std::mutex poolMutex_;
  std::vector<std::unique_ptr<Connection>> readers_;
  std::mutex watchMutex_;
  std::unique_ptr<Connection> watcher_;  // only asks whether others wrote
  std::mutex challengeMutex_;
  Challenge challenge_;  // the latest asked for
};

}  // namespace zorva
