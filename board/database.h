// The hall's database under the store: one SQLite file, or a PostgreSQL
// server that several board processes share. Both are asked in the same SQL
// (parameters written $1, $2, ...), and each answers with rows of whole
// numbers, texts and bytes read the same way; what they do differently
// (opening, the schema's version, taking the one write lock, telling the
// processes of a change) is theirs to do.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zorva {

struct StoreError : std::runtime_error {
  // `unavailable`: the database could not be reached (a server down or
  // restarting), not a fault of the request.
  explicit StoreError(const std::string& what, bool unavailable = false)
      : std::runtime_error(what), unavailable(unavailable) {}
  bool unavailable;
};

// A statement's parameter: a whole number, a text, bytes, or NULL.
struct Value {
  enum class Kind { Null, Int, Text, Bytes };
  Kind kind = Kind::Null;
  std::int64_t number = 0;
  std::string_view text;

  Value() = default;
  Value(std::int64_t n) : kind(Kind::Int), number(n) {}
  Value(int n) : Value(static_cast<std::int64_t>(n)) {}
  Value(std::string_view t) : kind(Kind::Text), text(t) {}
  Value(const std::string& t) : Value(std::string_view(t)) {}
  Value(const char* t) : Value(std::string_view(t)) {}
  static Value Bytes(std::string_view b) {
    Value v(b);
    v.kind = Kind::Bytes;
    return v;
  }
  // NULL for an empty text.
  static Value TextOrNull(const std::string& t) { return t.empty() ? Value() : Value(t); }
};

// A statement's rows, read whole.
class Rows {
 public:
  Rows() = default;
  explicit Rows(int columns) : columns_(columns) {}
  std::size_t size() const { return columns_ ? cells_.size() / static_cast<std::size_t>(columns_) : 0; }
  bool empty() const { return size() == 0; }
  std::int64_t Int(std::size_t row, int column) const;
  // A text or bytes, as they are; empty for NULL.
  const std::string& Text(std::size_t row, int column) const { return Cell(row, column).bytes; }
  bool Null(std::size_t row, int column) const { return Cell(row, column).null; }

  // For the databases, a row at a time.
  void Add(std::string bytes, bool null) { cells_.push_back({std::move(bytes), null}); }

 private:
  struct Cells {
    std::string bytes;
    bool null;
  };
  const Cells& Cell(std::size_t row, int column) const {
    return cells_.at(row * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(column));
  }
  int columns_ = 0;
  std::vector<Cells> cells_;
};

// One connection, held by one thread at a time.
class Session {
 public:
  virtual ~Session() = default;
  // Runs `sql`, a text that lives as long as the program (each connection
  // keeps it prepared), with `params` as $1, $2, ...
  virtual Rows Run(const char* sql, std::initializer_list<Value> params = {}) = 0;
  // Runs statements without parameters, one after another (a migration).
  virtual void Script(const std::string& sql) = 0;
};

class Database {
 public:
  enum class Kind { Sqlite, Postgres };

  // A SQLite file, or a PostgreSQL server named by its address
  // (postgresql://... or postgres://...). Throws StoreError.
  static std::unique_ptr<Database> Open(const std::string& name);
  static bool NamesServer(std::string_view name);

  virtual ~Database() = default;
  virtual Kind kind() const = 0;

  // Runs `work` in a transaction that writes, the only one at a time among
  // every process of the hall; commits it when `work` returns and rolls it
  // back when it throws.
  virtual void Write(const std::function<void(Session&)>& work) = 0;
  // Runs `work` on a connection of its own, each statement in a transaction
  // of its own (a read sees what was committed when it began).
  virtual void Use(const std::function<void(Session&)>& work) = 0;

  // The schema's version, and the steps that bring it up to date, one for
  // each version after the first: a database of version N has had the
  // first N steps. Run under the write lock, so that processes started
  // together do not both migrate.
  virtual void Migrate(const std::vector<const char*>& steps, const std::string& name) = 0;

  // A number that is another one once anything has been written since, by
  // this process or another.
  virtual std::int64_t Changes() = 0;
  // Tells every process (this one included) that an upload waits, once the
  // session's statements are committed, and calls `waiting` in each when it
  // is told so (or when it may have missed it).
  virtual void TellWaiting(Session& session) = 0;
  virtual void OnWaiting(std::function<void()> waiting) = 0;

  // Copies the whole database, as it is at one moment, into the new SQLite
  // file `path`, while the hall goes on.
  virtual void Backup(const std::string& path) = 0;
};

}  // namespace zorva
