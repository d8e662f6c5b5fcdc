// The hall on a PostgreSQL server that any number of board processes share,
// through libpq: a pool of connections in each process, writes one at a
// time among all of them (a transaction-scoped advisory lock), and a
// connection of its own that listens for the others' news: that the hall
// changed (so that a page kept as rendered is rendered anew) and that an
// upload waits. A connection the server dropped (a restart) is given up and
// made anew; a statement that found its connection gone is tried once more
// on a new one.
#include <fcntl.h>
#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "board/database.h"

namespace zorva {

namespace {

constexpr const char* kHallChannel = "zorva_hall";
constexpr const char* kWaitingChannel = "zorva_waiting";
// The one lock that every writing transaction of the hall takes.
constexpr const char* kWriteLock = "SELECT pg_advisory_xact_lock(5918273641)";
// Connections a process keeps at most (the listener's apart), and how long
// a request waits for one.
constexpr std::size_t kConnections = 16;
constexpr auto kConnectionWait = std::chrono::seconds(10);
constexpr unsigned kBytea = 17;  // the type's OID

// SQLSTATE classes of a connection lost or a server going down.
bool Unreachable(PGconn* c, const PGresult* r) {
  const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  return PQstatus(c) != CONNECTION_OK ||
         (state && (std::string_view(state).starts_with("08") || std::string_view(state).starts_with("57P")));
}

class Connection : public Session {
 public:
  explicit Connection(const std::string& address) {
    const char* keys[] = {"dbname", "fallback_application_name", "client_encoding", "connect_timeout", nullptr};
    const char* values[] = {address.c_str(), "zorva-board", "UTF8", "10", nullptr};
    c_ = PQconnectdbParams(keys, values, 1);
    if (PQstatus(c_) != CONNECTION_OK) {
      const std::string why = c_ ? PQerrorMessage(c_) : "out of memory";
      PQfinish(c_);
      throw StoreError("cannot reach the database: " + Trimmed(why), true);
    }
    // Notices (of a table that exists already, say) are not the hall's news.
    PQsetNoticeProcessor(
        c_, [](void*, const char*) {}, nullptr);
  }
  ~Connection() override { PQfinish(c_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Rows Run(const char* sql, std::initializer_list<Value> params) override {
    auto [it, fresh] = prepared_.try_emplace(sql, "s" + std::to_string(prepared_.size()));
    if (fresh) {
      PGresult* r = PQprepare(c_, it->second.c_str(), sql, 0, nullptr);
      if (PQresultStatus(r) != PGRES_COMMAND_OK) {
        prepared_.erase(it);
        Fail(r);
      }
      PQclear(r);
    }
    const std::size_t n = params.size();
    std::vector<std::string> texts(n);
    std::vector<const char*> values(n);
    std::vector<int> lengths(n), formats(n);
    for (std::size_t i = 0; i < n; ++i) {
      const Value& v = params.begin()[i];
      if (v.kind == Value::Kind::Null) continue;
      if (v.kind == Value::Kind::Bytes) {
        values[i] = v.text.data() ? v.text.data() : "";
        lengths[i] = static_cast<int>(v.text.size()), formats[i] = 1;
        continue;
      }
      texts[i] = v.kind == Value::Kind::Int ? std::to_string(v.number) : std::string(v.text);
      values[i] = texts[i].c_str();
    }
    return Collect(
        PQexecPrepared(c_, it->second.c_str(), static_cast<int>(n), values.data(), lengths.data(), formats.data(), 0));
  }

  void Script(const std::string& sql) override { Collect(PQexec(c_, sql.c_str())); }

  // Whether the connection may serve again.
  bool Sound() const { return PQstatus(c_) == CONNECTION_OK && PQtransactionStatus(c_) == PQTRANS_IDLE; }
  PGconn* Handle() { return c_; }

 private:
  static std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    for (char& c : s) c = c == '\n' ? ' ' : c;
    return s;
  }
  [[noreturn]] void Fail(PGresult* r) {
    const std::string why = Trimmed(r ? PQresultErrorMessage(r) : PQerrorMessage(c_));
    const bool unreachable = Unreachable(c_, r);
    PQclear(r);
    throw StoreError("the database: " + (why.empty() ? Trimmed(PQerrorMessage(c_)) : why), unreachable);
  }
  Rows Collect(PGresult* r) {
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) Fail(r);
    const int columns = PQnfields(r), count = PQntuples(r);
    Rows rows(columns);
    for (int i = 0; i < count; ++i) {
      for (int c = 0; c < columns; ++c) {
        const char* text = PQgetvalue(r, i, c);
        if (PQgetisnull(r, i, c)) {
          rows.Add({}, true);
        } else if (PQftype(r, c) == kBytea) {
          std::size_t size = 0;
          unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
          if (bytes == nullptr) throw StoreError("the database: out of memory");
          rows.Add(std::string(reinterpret_cast<const char*>(bytes), size), false);
          PQfreemem(bytes);
        } else {
          rows.Add(std::string(text, static_cast<std::size_t>(PQgetlength(r, i, c))), false);
        }
      }
    }
    PQclear(r);
    return rows;
  }

  PGconn* c_ = nullptr;
  std::map<const char*, std::string> prepared_;  // statement -> its name on this connection
};

class Postgres : public Database {
 public:
  explicit Postgres(std::string address) : address_(std::move(address)) {
    open_ = 1;
    Give(std::make_unique<Connection>(address_));  // said at once when the server cannot be reached
  }
  ~Postgres() override {
    stopping_ = true;
    if (listener_.joinable()) {
      const char wake = 0;
      [[maybe_unused]] const ssize_t n = ::write(wake_[1], &wake, 1);
      listener_.join();
    }
    if (wake_[0] >= 0) ::close(wake_[0]), ::close(wake_[1]);
  }

  Kind kind() const override { return Kind::Postgres; }

  void Write(const std::function<void(Session&)>& work) override {
    With([&](Connection& c) {
      c.Script("BEGIN");
      try {
        c.Run(kWriteLock, {});
        work(c);
        c.Run("SELECT pg_notify('zorva_hall', '')", {});
        c.Script("COMMIT");
      } catch (...) {
        if (PQstatus(c.Handle()) == CONNECTION_OK) PQclear(PQexec(c.Handle(), "ROLLBACK"));
        throw;
      }
    });
    ++generation_;  // this process's own news, at once
  }

  void Use(const std::function<void(Session&)>& work) override {
    With([&](Connection& c) { work(c); });
  }

  void Migrate(const std::vector<const char*>& steps, const std::string&) override {
    Write([&](Session& s) {
      s.Script("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
      const Rows kept = s.Run("SELECT version FROM schema_version");
      const std::int64_t version = kept.empty() ? 0 : kept.Int(0, 0);
      if (version > static_cast<std::int64_t>(steps.size())) {
        throw StoreError("the database is of schema " + std::to_string(version) + ", newer than this board's " +
                         std::to_string(steps.size()));
      }
      for (std::size_t v = static_cast<std::size_t>(version); v < steps.size(); ++v) s.Script(steps[v]);
      if (kept.empty()) s.Run("INSERT INTO schema_version (version) VALUES (0)");
      s.Run("UPDATE schema_version SET version = $1", {static_cast<std::int64_t>(steps.size())});
    });
  }

  std::int64_t Changes() override {
    Listen();
    return generation_;
  }

  void TellWaiting(Session& s) override { s.Run("SELECT pg_notify('zorva_waiting', '')"); }
  void OnWaiting(std::function<void()> waiting) override {
    {
      const std::lock_guard lock(waitingMutex_);
      waiting_ = std::move(waiting);
    }
    Listen();
  }

  void Backup(const std::string&) override {
    throw StoreError("a hall on PostgreSQL is backed up with the server's own tools (pg_dump)");
  }

 private:
  // Runs `work` on a connection of the pool: once more on a new one when the
  // connection it was given had been dropped by the server.
  void With(const std::function<void(Connection&)>& work) {
    for (int attempt = 0;; ++attempt) {
      auto [c, kept] = Take();
      try {
        work(*c);
      } catch (const StoreError& e) {
        const bool lost = !c->Sound();
        Give(std::move(c));
        if (lost && e.unavailable && kept && attempt == 0) continue;
        throw;
      } catch (...) {
        Give(std::move(c));
        throw;
      }
      Give(std::move(c));
      return;
    }
  }

  // A connection, and whether it was kept from before.
  std::pair<std::unique_ptr<Connection>, bool> Take() {
    {
      std::unique_lock lock(poolMutex_);
      if (!poolFreed_.wait_for(lock, kConnectionWait, [this] { return !idle_.empty() || open_ < kConnections; })) {
        throw StoreError("every connection of the board to the database is busy", true);
      }
      if (!idle_.empty()) {
        std::unique_ptr<Connection> c = std::move(idle_.back());
        idle_.pop_back();
        return {std::move(c), true};
      }
      ++open_;
    }
    try {
      return {std::make_unique<Connection>(address_), false};
    } catch (...) {
      Give(nullptr);
      throw;
    }
  }
  // Back to the pool when it may serve again. One the server dropped is given
  // up, and the idle ones with it: they are likely gone as well.
  void Give(std::unique_ptr<Connection> c) {
    std::vector<std::unique_ptr<Connection>> lost;
    {
      const std::lock_guard lock(poolMutex_);
      if (c && c->Sound()) {
        idle_.push_back(std::move(c));
      } else {
        lost.swap(idle_);
        open_ -= lost.size() + 1;
      }
    }
    poolFreed_.notify_all();
  }

  // Starts the listener once.
  void Listen() {
    std::call_once(listening_, [this] {
      if (::pipe2(wake_, O_CLOEXEC) != 0) throw StoreError("the board cannot listen to the database");
      listener_ = std::thread([this] { Listening(); });
    });
  }
  void Waiting() {
    const std::lock_guard lock(waitingMutex_);
    if (waiting_) waiting_();
  }
  // Listens until the board stops; after a connection lost, connects again
  // every second, and then takes everything as changed and looks for waiting
  // uploads, since what was said meanwhile was not heard.
  void Listening() {
    while (!stopping_) {
      try {
        Connection c(address_);
        c.Script(std::string("LISTEN ") + kHallChannel + "; LISTEN " + kWaitingChannel);
        ++generation_;
        Waiting();
        while (!stopping_) {
          pollfd p[2] = {{PQsocket(c.Handle()), POLLIN, 0}, {wake_[0], POLLIN, 0}};
          if (::poll(p, 2, 1000) < 0 && errno != EINTR) break;
          if (PQconsumeInput(c.Handle()) == 0) break;
          bool changed = false, waiting = false;
          while (PGnotify* n = PQnotifies(c.Handle())) {
            (std::string_view(n->relname) == kHallChannel ? changed : waiting) = true;
            PQfreemem(n);
          }
          generation_ += changed;
          if (waiting) Waiting();
        }
      } catch (const StoreError&) {
      }
      pollfd p{wake_[0], POLLIN, 0};
      if (!stopping_) ::poll(&p, 1, 1000);
    }
  }

  const std::string address_;
  std::mutex poolMutex_;
  std::condition_variable poolFreed_;
  std::vector<std::unique_ptr<Connection>> idle_;
  std::size_t open_ = 0;  // connections made and not given up: idle or in use
  std::atomic<std::int64_t> generation_ = 0;
  std::once_flag listening_;
  std::thread listener_;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stopping_ = false;
  std::mutex waitingMutex_;
  std::function<void()> waiting_;
};

}  // namespace

std::unique_ptr<Database> OpenPostgres(const std::string& address) { return std::make_unique<Postgres>(address); }

}  // namespace zorva
