// The hall's data: its entries, the week's challenges, the uploads and their
// answers, in a database (board/database.h) of one SQLite file or on a
// PostgreSQL server, asked in the same SQL and answering alike. The schema
// has a version, and a database of an older one is brought up to date when
// opened. Every write is one transaction, committed to disk before the
// server answers it: an entry is there whole or not at all, and an
// acknowledged one stays. Any number of threads may use one Store.
//
// An upload is kept with its answer. On SQLite it is verified while its
// sender waits and kept once settled (Record); on PostgreSQL it is kept as
// waiting (Submit), and any board process sharing the database takes it
// (Take), holds it for a lease it renews while the verifier works, and
// settles it (Settle); an upload whose holder died is taken again once its
// lease has run out.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "board/database.h"
#include "board/verifier.h"

namespace zorva {

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
  // Opens (or makes) the database, a SQLite file or a PostgreSQL server's
  // address (postgresql://...), and brings its schema up to date. Throws
  // StoreError.
  explicit Store(const std::string& database);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Whether any number of board processes may serve the hall together (on
  // PostgreSQL): its uploads then wait in the database for a verifier of
  // any of them, and the per-address limits are kept there.
  bool Shared() const;

  // The challenge of the week `now` falls in: a seed drawn at random the
  // first time the week is asked for, and kept.
  Challenge ChallengeAt(std::int64_t now);

  // What entering a verdict's games did: the entries of its games, in order
  // (a game that is there already is not entered again, and one entered
  // unranked becomes ranked when a file proves its start; a removed one is
  // never entered again).
  struct Added {
    std::vector<Entry> entries;
    int fresh = 0;    // entries made now
    int removed = 0;  // games left out because they were removed
  };
  // An upload's answer: its HTTP status, its sentence, the entries it made.
  struct Answer {
    int status = 0;
    std::string sentence;
    std::vector<Entry> entries;
  };
  // What an upload's verification came to: the verdict whose games are to be
  // entered (none, for a refusal), and the answer from what entering did.
  struct Settlement {
    const UploadVerdict* verdict = nullptr;
    std::function<Answer(const Added&)> answer;
  };

  // Keeps an upload verified while its sender waited, settled, in one
  // transaction: its number and its answer.
  std::pair<std::int64_t, Answer> Record(const std::string& name, const std::string& file, const Settlement& settlement,
                                         std::int64_t now);

  // Keeps an upload as waiting for a verifier, and says so to every board
  // process: its number.
  std::int64_t Submit(const std::string& name, const std::string& file, std::int64_t now);
  // How many uploads wait that no verifier holds.
  std::int64_t Waiting(std::int64_t nowMs);
  // A waiting upload as a verifier holds it; `attempt` counts the verifiers
  // that took it, this one included.
  struct Taken {
    std::int64_t id = 0;
    std::int64_t attempt = 0;
    std::string name, file;
  };
  // The oldest waiting upload that no verifier holds, held until `leaseMs`
  // from `nowMs`; nothing when none waits.
  std::optional<Taken> Take(std::int64_t nowMs, std::int64_t leaseMs);
  // Holds it `leaseMs` longer; false when it is no longer this holder's.
  bool Renew(const Taken& taken, std::int64_t nowMs, std::int64_t leaseMs);
  // Lets it go untried, for another verifier to take at once.
  void Release(const Taken& taken);
  // Enters its games and keeps its answer, in one transaction, while it is
  // still this holder's; nothing when another has taken it since.
  std::optional<Answer> Settle(const Taken& taken, const Settlement& settlement, std::int64_t now);

  // An upload as it stands, for its sender to ask after.
  struct Upload {
    enum class Stage { Waiting, Verifying, Done };
    std::int64_t id = 0;
    Stage stage = Stage::Waiting;
    Answer answer;  // once done
  };
  std::optional<Upload> FindUpload(std::int64_t id, std::int64_t nowMs);

  // Takes one of `perMinute` a minute for `address` under the limit `kind`,
  // a minute's worth at once, in the database: 0 when it may go on, or else
  // the whole seconds until it may. Only for a shared hall.
  int Limit(const std::string& kind, const std::string& address, int perMinute, std::int64_t nowMs);

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
  // Calls `waiting` when an upload may wait (Submit, in any process).
  void OnWaiting(std::function<void()> waiting);

  // Administration, from the command line: false when there is no such entry.
  bool Remove(std::int64_t id);
  bool Rename(std::int64_t id, const std::string& name);
  // Copies the whole database, as it is at one moment, into a new file
  // `path` (SQLite's online backup: the server may go on writing).
  void Backup(const std::string& path);

 private:
  Added Add(Session& s, const std::string& name, const std::string& file, const UploadVerdict& verdict,
            std::int64_t now);
  Answer Settled(Session& s, std::int64_t id, const std::string& name, const std::string& file,
                 const Settlement& settlement, std::int64_t now);

  std::unique_ptr<Database> db_;
  std::mutex challengeMutex_;
  Challenge challenge_;  // the latest asked for
};

}  // namespace zorva
