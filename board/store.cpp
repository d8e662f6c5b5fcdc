#include "board/store.h"

#include <openssl/evp.h>
#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>

#include "base/challenge.h"

namespace zorva {

namespace {

// The schema, one step per version: a database of version N has had the
// first N steps. A new step goes at the end, and the steps before it stay as
// they are.
constexpr const char* kMigrations[] = {
    // 1: uploads, the entries made from them, the challenges, and the games removed.
    "CREATE TABLE uploads (id INTEGER PRIMARY KEY, sha256 BLOB NOT NULL UNIQUE, received INTEGER NOT NULL,"
    "  entries INTEGER NOT NULL, file BLOB NOT NULL);"
    "CREATE TABLE entries (id INTEGER PRIMARY KEY, hash BLOB NOT NULL UNIQUE,"
    "  upload INTEGER NOT NULL REFERENCES uploads(id), game INTEGER NOT NULL, name TEXT NOT NULL,"
    "  score INTEGER NOT NULL, frames INTEGER NOT NULL, duration INTEGER NOT NULL, seed INTEGER NOT NULL,"
    "  ranked INTEGER NOT NULL, reason TEXT NOT NULL, week TEXT, verdict TEXT NOT NULL, created INTEGER NOT NULL);"
    // The games' demos apart, so that the entries' rows stay small to read.
    "CREATE TABLE demos (entry INTEGER PRIMARY KEY REFERENCES entries(id) ON DELETE CASCADE, demo BLOB NOT NULL);"
    "CREATE INDEX entries_ranked ON entries(score DESC, id) WHERE ranked = 1;"
    "CREATE INDEX entries_week ON entries(week, score DESC, id) WHERE week IS NOT NULL;"
    "CREATE INDEX entries_upload ON entries(upload);"
    "CREATE TABLE challenges (week TEXT PRIMARY KEY, seed INTEGER NOT NULL UNIQUE);"
    "CREATE TABLE removed (hash BLOB PRIMARY KEY);",
};
constexpr int kSchema = static_cast<int>(std::size(kMigrations));

constexpr const char* kEntryColumns =
    "SELECT id, name, score, frames, duration, created, game, seed, ranked, reason, week, verdict FROM entries ";

constexpr const char* kCarriedIn =
    "The file begins after other games: what they left (the best score, shots and bullets in flight) is taken as it "
    "is, so the score is not ranked.";
constexpr const char* kWaitOff = "WAIT was not checked throughout the game, so the score is not ranked.";

std::int64_t Signed(std::uint64_t v) { return static_cast<std::int64_t>(v); }

}  // namespace

// A prepared statement, reset and unbound for each use.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s_, nullptr) != SQLITE_OK) Fail();
  }
  ~Statement() { sqlite3_finalize(s_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Reset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  Statement& Bind(int i, std::int64_t v) { return Checked(sqlite3_bind_int64(s_, i, v)); }
  Statement& Bind(int i, const std::string& text) {
    return Checked(sqlite3_bind_text(s_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
  }
  Statement& Blob(int i, const std::string& bytes) {
    return Checked(sqlite3_bind_blob(s_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
  }
  Statement& TextOrNull(int i, const std::string& text) {
    return text.empty() ? Checked(sqlite3_bind_null(s_, i)) : Bind(i, text);
  }
  // True for a row, false when done.
  bool Step() {
    const int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Fail();
    return false;
  }
  std::int64_t Int(int i) const { return sqlite3_column_int64(s_, i); }
  std::string Text(int i) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_blob(s_, i));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s_, i))) : std::string();
  }

 private:
  Statement& Checked(int rc) {
    if (rc != SQLITE_OK) Fail();
    return *this;
  }
  [[noreturn]] void Fail() { throw StoreError(std::string("the database: ") + sqlite3_errmsg(db_)); }
  sqlite3* db_;
  sqlite3_stmt* s_ = nullptr;
};

class Store::Connection {
 public:
  explicit Connection(const std::string& path) {
    const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
      const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close_v2(db_);
      throw StoreError("cannot open the database " + path + ": " + why);
    }
    sqlite3_busy_timeout(db_, 10000);
    Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON;");
  }
  ~Connection() {
    statements_.clear();
    sqlite3_close_v2(db_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string why = error ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      throw StoreError("the database: " + why);
    }
  }
  // Ends every statement's reading, so that no read transaction stays open
  // (one would keep this connection on an old snapshot, and refuse its next
  // write once another has written).
  void Finish() {
    for (auto& [sql, statement] : statements_) statement->Reset();
  }
  // The statement of `sql` (a text that lives as long as the program), ready.
  Statement& Query(const char* sql) {
    std::unique_ptr<Statement>& s = statements_[sql];
    if (!s) s = std::make_unique<Statement>(db_, sql);
    s->Reset();
    return *s;
  }
  std::int64_t Version() {
    Statement& s = Query("PRAGMA user_version");
    s.Step();
    const std::int64_t version = s.Int(0);
    s.Reset();
    return version;
  }
  std::optional<Entry> Row(Statement& s) {
    if (!s.Step()) return std::nullopt;
    Entry e;
    e.id = s.Int(0), e.name = s.Text(1), e.score = static_cast<std::int32_t>(s.Int(2)), e.frames = s.Int(3);
    e.durationMs = s.Int(4), e.created = s.Int(5), e.game = static_cast<int>(s.Int(6));
    e.seed = static_cast<std::uint64_t>(s.Int(7)), e.ranked = s.Int(8) != 0, e.reason = s.Text(9);
    e.week = s.Text(10), e.line = s.Text(11);
    return e;
  }
  std::optional<Entry> Find(std::int64_t id) {
    static const std::string sql = std::string(kEntryColumns) + "WHERE id = ?";
    std::optional<Entry> e = Row(Query(sql.c_str()).Bind(1, id));
    if (e && e->ranked) {
      // Two ranges of the ranking's index, counted on the index alone.
      Statement& better = Query(
          "SELECT (SELECT COUNT(*) FROM entries WHERE ranked = 1 AND score > ?1) +"
          " (SELECT COUNT(*) FROM entries WHERE ranked = 1 AND score = ?1 AND id < ?2)");
      better.Bind(1, e->score).Bind(2, e->id).Step();
      e->rank = better.Int(0) + 1;
    }
    return e;
  }
  // Runs `work` in a transaction that takes the write lock at once.
  template <class Work>
  auto Transaction(Work work) {
    Exec("BEGIN IMMEDIATE");
    try {
      auto result = work();
      Finish();
      Exec("COMMIT");
      return result;
    } catch (...) {
      Finish();
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }
  sqlite3* Handle() { return db_; }

 private:
  sqlite3* db_ = nullptr;
  std::map<const char*, std::unique_ptr<Statement>> statements_;
};

Week WeekOf(std::int64_t seconds) {
  const std::int64_t day = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const std::int64_t monday = day - ((day + 3) % 7 + 7) % 7;  // 1970-01-01 was a Thursday
  // The ISO week's year is its Thursday's.
  const std::time_t thursday = static_cast<std::time_t>((monday + 3) * 86400);
  std::tm t{};
  gmtime_r(&thursday, &t);
  char name[32];
  std::snprintf(name, sizeof name, "%04d-W%02d", t.tm_year + 1900, t.tm_yday / 7 + 1);
  return {name, monday * 86400, (monday + 7) * 86400};
}

Store::Store(const std::string& path) : path_(path), writer_(Open()) {
  const std::int64_t version = writer_->Version();
  if (version > kSchema) {
    throw StoreError("the database " + path + " is of schema " + std::to_string(version) +
                     ", newer than this board's " + std::to_string(kSchema));
  }
  for (std::int64_t v = version; v < kSchema; ++v) {
    writer_->Transaction([&] {
      writer_->Exec(kMigrations[v]);
      writer_->Exec("PRAGMA user_version = " + std::to_string(v + 1));
      return 0;
    });
  }
}

Store::~Store() = default;

std::int64_t Store::Changes() {
  const std::lock_guard lock(watchMutex_);
  if (!watcher_) watcher_ = Open();
  Statement& s = watcher_->Query("PRAGMA data_version");
  s.Step();
  const std::int64_t version = s.Int(0);
  s.Reset();
  return version;
}

std::unique_ptr<Store::Connection> Store::Open() { return std::make_unique<Connection>(path_); }

Store::Lease::~Lease() {
  connection->Finish();
  const std::lock_guard lock(store.poolMutex_);
  store.readers_.push_back(std::move(connection));
}

Store::Lease Store::Reader() {
  std::unique_ptr<Connection> connection;
  {
    const std::lock_guard lock(poolMutex_);
    if (!readers_.empty()) {
      connection = std::move(readers_.back());
      readers_.pop_back();
    }
  }
  return Lease{*this, connection ? std::move(connection) : Open()};
}

Challenge Store::ChallengeAt(std::int64_t now) {
  const Week week = WeekOf(now);
  {
    const std::lock_guard lock(challengeMutex_);
    if (challenge_.week.name == week.name) return challenge_;
  }
  const std::lock_guard lock(writeMutex_);
  const std::uint64_t seed = writer_->Transaction([&] {
    Statement& find = writer_->Query("SELECT seed FROM challenges WHERE week = ?");
    if (find.Bind(1, week.name).Step()) return static_cast<std::uint64_t>(find.Int(0));
    std::random_device random;
    for (;;) {
      const std::uint64_t drawn = ((std::uint64_t{random()} << 32) | random()) % kChallengeSeeds;
      Statement& taken = writer_->Query("SELECT 1 FROM challenges WHERE seed = ?");
      if (taken.Bind(1, Signed(drawn)).Step()) continue;
      writer_->Query("INSERT INTO challenges (week, seed) VALUES (?, ?)")
          .Bind(1, week.name)
          .Bind(2, Signed(drawn))
          .Step();
      return drawn;
    }
  });
  const std::lock_guard lock2(challengeMutex_);
  challenge_ = {week, seed};
  return challenge_;
}

Store::Added Store::Add(const std::string& name, const std::string& file, const UploadVerdict& verdict,
                        std::int64_t now) {
  unsigned char sha[EVP_MAX_MD_SIZE];
  unsigned int shaSize = 0;
  EVP_Digest(file.data(), file.size(), sha, &shaSize, EVP_sha256(), nullptr);
  const std::string fileHash(reinterpret_cast<const char*>(sha), shaSize);
  const bool fromStart = !verdict.games.empty() && !verdict.games.front().carriedIn;

  const std::lock_guard lock(writeMutex_);
  Connection& c = *writer_;
  return c.Transaction([&] {
    Added added;
    std::int64_t upload = 0;  // made with the first entry that needs it
    const auto uploadId = [&] {
      if (upload != 0) return upload;
      c.Query("INSERT INTO uploads (sha256, received, entries, file) VALUES (?, ?, 0, ?) ON CONFLICT DO NOTHING")
          .Blob(1, fileHash)
          .Bind(2, now)
          .Blob(3, file)
          .Step();
      Statement& id = c.Query("SELECT id FROM uploads WHERE sha256 = ?");
      id.Blob(1, fileHash).Step();
      return upload = id.Int(0);
    };
    bool oneSeed = true;  // every game so far has the first one's seed
    for (std::size_t k = 0; k < verdict.games.size(); ++k) {
      const VerifiedGame& g = verdict.games[k];
      oneSeed = oneSeed && g.seed == verdict.games.front().seed;
      if (c.Query("SELECT 1 FROM removed WHERE hash = ?").Blob(1, g.hash).Step()) {
        ++added.removed;
        continue;
      }
      const bool ranked = fromStart && g.waitThroughout;
      const std::string reason = !fromStart ? kCarriedIn : !g.waitThroughout ? kWaitOff : "";
      std::string week;
      Statement& challenge = c.Query("SELECT week FROM challenges WHERE seed = ?");
      if (ranked && oneSeed && challenge.Bind(1, Signed(g.seed)).Step()) week = challenge.Text(0);
      Statement& existing = c.Query("SELECT id, ranked FROM entries WHERE hash = ?");
      if (existing.Blob(1, g.hash).Step()) {
        const std::int64_t id = existing.Int(0);
        if (ranked && existing.Int(1) == 0) {
          c.Query("UPDATE entries SET ranked = 1, reason = '', week = ?, verdict = ?, game = ? WHERE id = ?")
              .TextOrNull(1, week)
              .Bind(2, g.line)
              .Bind(3, static_cast<std::int64_t>(k + 1))
              .Bind(4, id)
              .Step();
        }
        added.entries.push_back(*c.Find(id));
        continue;
      }
      c.Query(
           "INSERT INTO entries (hash, upload, game, name, score, frames, duration, seed, ranked, reason, week,"
           " verdict, created) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
          .Blob(1, g.hash)
          .Bind(2, uploadId())
          .Bind(3, static_cast<std::int64_t>(k + 1))
          .Bind(4, name)
          .Bind(5, g.score)
          .Bind(6, g.frames)
          .Bind(7, g.durationMs)
          .Bind(8, Signed(g.seed))
          .Bind(9, ranked ? 1 : 0)
          .Bind(10, reason)
          .TextOrNull(11, week)
          .Bind(12, g.line)
          .Bind(13, now)
          .Step();
      const std::int64_t id = sqlite3_last_insert_rowid(c.Handle());
      c.Query("INSERT INTO demos (entry, demo) VALUES (?, ?)").Bind(1, id).Blob(2, g.demo).Step();
      added.entries.push_back(*c.Find(id));
      ++added.fresh;
    }
    if (upload != 0)
      c.Query("UPDATE uploads SET entries = entries + ? WHERE id = ?").Bind(1, added.fresh).Bind(2, upload).Step();
    return added;
  });
}

std::vector<Entry> Store::Table(const std::string& week, std::int64_t offset, int count) {
  // The page is found on the ranking's index alone, then its rows are read.
  static const std::string all = std::string(kEntryColumns) +
                                 "WHERE id IN (SELECT id FROM entries WHERE ranked = 1 ORDER BY score DESC, id"
                                 " LIMIT ?1 OFFSET ?2) ORDER BY score DESC, id";
  static const std::string weeks = std::string(kEntryColumns) +
                                   "WHERE id IN (SELECT id FROM entries WHERE week = ?3 ORDER BY score DESC, id"
                                   " LIMIT ?1 OFFSET ?2) ORDER BY score DESC, id";
  Lease c = Reader();
  Statement& s = week.empty() ? c->Query(all.c_str()) : c->Query(weeks.c_str()).Bind(3, week);
  s.Bind(1, count).Bind(2, offset);
  std::vector<Entry> table;
  while (std::optional<Entry> e = c->Row(s)) {
    e->rank = offset + static_cast<std::int64_t>(table.size()) + 1;
    table.push_back(std::move(*e));
  }
  return table;
}

std::optional<Entry> Store::Find(std::int64_t id) { return Reader()->Find(id); }

std::optional<std::string> Store::Demo(std::int64_t id) {
  Lease c = Reader();
  Statement& s = c->Query("SELECT demo FROM demos WHERE entry = ?").Bind(1, id);
  if (!s.Step()) return std::nullopt;
  return s.Text(0);
}

bool Store::Remove(std::int64_t id) {
  const std::lock_guard lock(writeMutex_);
  return writer_->Transaction([&] {
    Statement& find = writer_->Query("SELECT hash, upload FROM entries WHERE id = ?");
    if (!find.Bind(1, id).Step()) return false;
    const std::string hash = find.Text(0);
    const std::int64_t upload = find.Int(1);
    writer_->Query("DELETE FROM demos WHERE entry = ?").Bind(1, id).Step();
    writer_->Query("DELETE FROM entries WHERE id = ?").Bind(1, id).Step();
    writer_->Query("INSERT OR IGNORE INTO removed (hash) VALUES (?)").Blob(1, hash).Step();
    writer_->Query("UPDATE uploads SET entries = entries - 1 WHERE id = ?").Bind(1, upload).Step();
    writer_->Query("DELETE FROM uploads WHERE id = ? AND NOT EXISTS (SELECT 1 FROM entries WHERE upload = ?1)")
        .Bind(1, upload)
        .Step();
    return true;
  });
}

bool Store::Rename(std::int64_t id, const std::string& name) {
  const std::lock_guard lock(writeMutex_);
  writer_->Query("UPDATE entries SET name = ? WHERE id = ?").Bind(1, name).Bind(2, id).Step();
  return sqlite3_changes(writer_->Handle()) > 0;
}

void Store::Backup(const std::string& path) {
  const std::string part = path + ".part";
  std::filesystem::remove(part);
  {
    Connection target(part);
    Lease source = Reader();
    sqlite3_backup* backup = sqlite3_backup_init(target.Handle(), "main", source->Handle(), "main");
    if (backup == nullptr) throw StoreError(std::string("cannot back up: ") + sqlite3_errmsg(target.Handle()));
    int rc = SQLITE_OK;
    while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(50);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) throw StoreError(std::string("cannot back up: ") + sqlite3_errstr(rc));
    target.Exec("PRAGMA journal_mode = DELETE");
  }
  std::filesystem::rename(part, path);
}

}  // namespace zorva
