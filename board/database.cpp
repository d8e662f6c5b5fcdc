#include "board/database.h"

#include <charconv>

namespace zorva {

std::unique_ptr<Database> OpenSqlite(const std::string& path);
std::unique_ptr<Database> OpenPostgres(const std::string& address);

bool Database::NamesServer(std::string_view name) {
  return name.starts_with("postgresql://") || name.starts_with("postgres://");
}

std::unique_ptr<Database> Database::Open(const std::string& name) {
  return NamesServer(name) ? OpenPostgres(name) : OpenSqlite(name);
}

std::int64_t Rows::Int(std::size_t row, int column) const {
  const std::string& text = Cell(row, column).bytes;
  std::int64_t n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw StoreError("the database gave \"" + text.substr(0, 40) + "\" for a whole number");
  }
  return n;
}

}  // namespace zorva
