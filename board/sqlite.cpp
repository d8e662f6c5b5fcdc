// The hall in one SQLite file, in write-ahead-log mode: a writer connection
// taken by one transaction at a time (BEGIN IMMEDIATE, committed to disk
// with synchronous=FULL), a pool of readers that never wait for it, and the
// schema's version in the file (PRAGMA user_version).
#include <sqlite3.h>

#include <charconv>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

#include "board/database.h"

namespace zorva {

namespace {

// A prepared statement; its parameters are named $1, $2, ...
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s_, nullptr) != SQLITE_OK) Fail();
    for (int i = 1; i <= sqlite3_bind_parameter_count(s_); ++i) {
      const char* name = sqlite3_bind_parameter_name(s_, i);
      int k = 0;
      if (name == nullptr || name[0] != '$' || std::from_chars(name + 1, name + std::strlen(name), k).ec != std::errc())
        throw StoreError(std::string("a statement's parameter is not $1, $2, ...: ") + sql);
      params_.push_back(k);
    }
  }
  ~Statement() { sqlite3_finalize(s_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Rows Run(std::initializer_list<Value> values) {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
    for (std::size_t i = 0; i < params_.size(); ++i) {
      const std::size_t k = static_cast<std::size_t>(params_[i]);
      if (k < 1 || k > values.size()) throw StoreError("a statement was not given its parameter $" + std::to_string(k));
      Bind(static_cast<int>(i + 1), values.begin()[k - 1]);
    }
    const int columns = sqlite3_column_count(s_);
    Rows rows(columns);
    int rc;
    while ((rc = sqlite3_step(s_)) == SQLITE_ROW) {
      for (int c = 0; c < columns; ++c) {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(s_, c));
        const bool null = sqlite3_column_type(s_, c) == SQLITE_NULL;
        rows.Add(p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s_, c))) : std::string(), null);
      }
    }
    // Reset at once, so that no read transaction stays open: one would keep
    // the connection on an old snapshot, and refuse its next write.
    sqlite3_reset(s_);
    if (rc != SQLITE_DONE) Fail();
    return rows;
  }

 private:
  void Bind(int i, const Value& v) {
    const int size = static_cast<int>(v.text.size());
    const int rc = v.kind == Value::Kind::Int    ? sqlite3_bind_int64(s_, i, v.number)
                   : v.kind == Value::Kind::Text ? sqlite3_bind_text(s_, i, v.text.data(), size, SQLITE_TRANSIENT)
                   : v.kind == Value::Kind::Bytes
                       ? sqlite3_bind_blob(s_, i, v.text.empty() ? "" : v.text.data(), size, SQLITE_TRANSIENT)
                       : sqlite3_bind_null(s_, i);
    if (rc != SQLITE_OK) Fail();
  }
  [[noreturn]] void Fail() { throw StoreError(std::string("the database: ") + sqlite3_errmsg(db_)); }

  sqlite3* db_;
  sqlite3_stmt* s_ = nullptr;
  std::vector<int> params_;  // the k of $k, for each of the statement's parameters
};

class Connection : public Session {
 public:
  explicit Connection(const std::string& path) {
    const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
      const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close_v2(db_);
      throw StoreError("cannot open the database " + path + ": " + why);
    }
    sqlite3_busy_timeout(db_, 10000);
    Script("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON;");
  }
  ~Connection() override {
    statements_.clear();
    sqlite3_close_v2(db_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Rows Run(const char* sql, std::initializer_list<Value> params) override {
    std::unique_ptr<Statement>& s = statements_[sql];
    if (!s) s = std::make_unique<Statement>(db_, sql);
    return s->Run(params);
  }
  void Script(const std::string& sql) override {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string why = error ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      throw StoreError("the database: " + why);
    }
  }
  void Rollback() { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }
  sqlite3* Handle() { return db_; }

 private:
  sqlite3* db_ = nullptr;
  std::map<const char*, std::unique_ptr<Statement>> statements_;
};

class Sqlite : public Database {
 public:
  explicit Sqlite(const std::string& path) : path_(path), writer_(path) {}

  Kind kind() const override { return Kind::Sqlite; }

  void Write(const std::function<void(Session&)>& work) override {
    const std::lock_guard lock(writeMutex_);
    writer_.Script("BEGIN IMMEDIATE");
    try {
      work(writer_);
      writer_.Script("COMMIT");
    } catch (...) {
      writer_.Rollback();
      throw;
    }
  }

  void Use(const std::function<void(Session&)>& work) override {
    std::unique_ptr<Connection> c;
    {
      const std::lock_guard lock(poolMutex_);
      if (!readers_.empty()) c = std::move(readers_.back()), readers_.pop_back();
    }
    if (!c) c = std::make_unique<Connection>(path_);
    work(*c);
    const std::lock_guard lock(poolMutex_);
    readers_.push_back(std::move(c));
  }

  void Migrate(const std::vector<const char*>& steps, const std::string& name) override {
    for (bool done = false; !done;) {
      Write([&](Session& s) {
        const std::int64_t version = s.Run("PRAGMA user_version").Int(0, 0);
        if (version > static_cast<std::int64_t>(steps.size())) {
          throw StoreError("the database " + name + " is of schema " + std::to_string(version) +
                           ", newer than this board's " + std::to_string(steps.size()));
        }
        done = version == static_cast<std::int64_t>(steps.size());
        if (done) return;
        s.Script(steps[static_cast<std::size_t>(version)]);
        s.Script("PRAGMA user_version = " + std::to_string(version + 1));
      });
    }
  }

  std::int64_t Changes() override {
    const std::lock_guard lock(watchMutex_);
    if (!watcher_) watcher_ = std::make_unique<Connection>(path_);
    return watcher_->Run("PRAGMA data_version", {}).Int(0, 0);
  }

  // One process serves a SQLite hall, and answers its uploads at once.
  void TellWaiting(Session&) override {
    if (waiting_) waiting_();
  }
  void OnWaiting(std::function<void()> waiting) override { waiting_ = std::move(waiting); }

  void Backup(const std::string& path) override {
    const std::string part = path + ".part";
    std::filesystem::remove(part);
    {
      Connection target(part);
      Connection source(path_);
      sqlite3_backup* backup = sqlite3_backup_init(target.Handle(), "main", source.Handle(), "main");
      if (backup == nullptr) throw StoreError(std::string("cannot back up: ") + sqlite3_errmsg(target.Handle()));
      int rc = SQLITE_OK;
      while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(50);
      sqlite3_backup_finish(backup);
      if (rc != SQLITE_DONE) throw StoreError(std::string("cannot back up: ") + sqlite3_errstr(rc));
      target.Script("PRAGMA journal_mode = DELETE");
    }
    std::filesystem::rename(part, path);
  }

 private:
  const std::string path_;
  std::mutex writeMutex_;
  Connection writer_;
  std::mutex poolMutex_;
  std::vector<std::unique_ptr<Connection>> readers_;
  std::mutex watchMutex_;
  std::unique_ptr<Connection> watcher_;  // only asks whether others wrote
  std::function<void()> waiting_;
};

}  // namespace

std::unique_ptr<Database> OpenSqlite(const std::string& path) { return std::make_unique<Sqlite>(path); }

}  // namespace zorva
