// Nothing acknowledged is lost: uploads from several clients while the board
// is killed with SIGKILL at random moments and started again. Every entry
// acknowledged is there afterwards with its name, and no entry is there in
// part. ZORVA_KILL_UPLOADS says how many uploads (100 unless told; make
// test-board-kill: 1,000).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "tests/board_support.h"

namespace zorva {
namespace {

// The first column of each row of `sql` as a whole number.
std::vector<std::int64_t> Column(sqlite3* db, const char* sql) {
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
  std::vector<std::int64_t> column;
  while (sqlite3_step(s) == SQLITE_ROW) column.push_back(sqlite3_column_int64(s, 0));
  sqlite3_finalize(s);
  return column;
}

TEST(BoardKill, EveryAcknowledgedEntryOutlivesSigkillAndNoneIsThereInPart) {
  const char* count = std::getenv("ZORVA_KILL_UPLOADS");
  const int uploads = count ? std::atoi(count) : 100, clients = 4;
  const TempDir dir("board-kill");
  const fs::path db = dir.path / "board.db";
  std::vector<std::string> games;
  for (int i = 0; i < uploads; ++i) games.push_back(ShortGame(1000 + static_cast<std::uint64_t>(i), 10 + i % 20));

  const std::string options = "--uploads-per-minute 0 --requests-per-minute 0";
  BoardProcess board(db, options);
  const int port = board.port;
  std::mutex mutex;
  std::map<std::int64_t, std::string> acknowledged;  // entry -> name
  std::atomic<int> done = 0, kills = 0;
  std::vector<std::thread> senders;
  for (int k = 0; k < clients; ++k) {
    senders.emplace_back([&, k] {
      for (int i = k; i < uploads; i += clients) {
        const std::string name = "p" + std::to_string(i);
        // Again after each kill, within two minutes: a game entered before it is acknowledged then.
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (std::chrono::steady_clock::now() < end) {
          httplib::Client c("127.0.0.1", port);
          c.set_connection_timeout(1, 0);
          c.set_read_timeout(30, 0);
          const Answer a = Upload(c, name, games[static_cast<std::size_t>(i)]);
          if (a.status != 200 && a.status != 201) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));  // while the board starts again
            continue;
          }
          const std::lock_guard lock(mutex);
          acknowledged[a.body["entries"][0]["id"]] = a.body["entries"][0]["name"];
          break;
        }
        ++done;
      }
    });
  }
  std::mt19937 random(12345);
  while (done < uploads) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<>(5, 60)(random)));
    if (done >= uploads) break;
    board.Stop(SIGKILL);
    ++kills;
    board.Start(db, options, port);
  }
  for (std::thread& t : senders) t.join();
  board.Stop(SIGTERM);
  EXPECT_EQ(acknowledged.size(), static_cast<std::size_t>(uploads));
  EXPECT_GT(kills, 0);

  sqlite3* file = nullptr;
  ASSERT_EQ(sqlite3_open_v2(db.c_str(), &file, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  EXPECT_EQ(Column(file, "SELECT COUNT(*) FROM pragma_integrity_check WHERE integrity_check <> 'ok'"),
            std::vector<std::int64_t>{0});
  for (const auto& [id, name] : acknowledged) {
    const std::string sql = "SELECT COUNT(*) FROM entries WHERE id = " + std::to_string(id) + " AND name = '" + name +
                            "' AND verdict LIKE 'game 1: %verified%' AND (SELECT length(demo) FROM demos WHERE entry = id) > 10";
    EXPECT_EQ(Column(file, sql.c_str()), std::vector<std::int64_t>{1}) << "entry " << id << " of " << name;
  }
  // Every upload holds the entries it says it made, and every entry its upload.
  EXPECT_EQ(Column(file, "SELECT COUNT(*) FROM uploads u WHERE entries <> (SELECT COUNT(*) FROM entries WHERE upload = u.id)"),
            std::vector<std::int64_t>{0});
  EXPECT_EQ(Column(file, "SELECT COUNT(*) FROM entries WHERE upload NOT IN (SELECT id FROM uploads)"),
            std::vector<std::int64_t>{0});
  EXPECT_EQ(Column(file, "SELECT COUNT(*) FROM entries"), std::vector<std::int64_t>{uploads});
  sqlite3_close(file);
  std::cout << uploads << " uploads acknowledged through " << kills << " kills\n";
}

}  // namespace
}  // namespace zorva
