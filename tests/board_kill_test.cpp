// Nothing acknowledged is lost: uploads from several clients while the board
// is killed with SIGKILL at random moments and started again (on PostgreSQL,
// one of two boards at a time, and now and then the database server itself).
// Every upload acknowledged is answered afterwards, every entry acknowledged
// is there with its name, and no entry is there in part. ZORVA_KILL_UPLOADS
// says how many uploads (100 unless told; make test-board-kill: 1,000).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "tests/board_support.h"

namespace zorva {
namespace {

class BoardKill : public testing::TestWithParam<std::string> {};
INSTANTIATE_TEST_SUITE_P(Stores, BoardKill, testing::ValuesIn(kStores), [](const auto& store) { return store.param; });

TEST_P(BoardKill, EveryAcknowledgedUploadOutlivesSigkillAndNoneIsThereInPart) {
  const char* count = std::getenv("ZORVA_KILL_UPLOADS");
  const int uploads = count ? std::atoi(count) : 100, clients = 4;
  HallDatabase db(GetParam(), "kill", HallDatabase::kOwn);  // its server is killed too
  std::vector<std::string> games;
  for (int i = 0; i < uploads; ++i) games.push_back(ShortGame(1000 + static_cast<std::uint64_t>(i), 10 + i % 20));

  const std::string options = "--uploads-per-minute 0 --requests-per-minute 0 --lease-seconds 3";
  std::vector<std::unique_ptr<BoardProcess>> boards;
  std::vector<int> ports;
  for (int k = 0; k < (db.postgres ? 2 : 1); ++k) {
    boards.push_back(std::make_unique<BoardProcess>(db.address, options));
    ports.push_back(boards.back()->port);
  }
  std::mutex mutex;
  std::map<std::int64_t, std::string> acknowledged;   // entry -> name
  std::map<std::string, std::string> waiting;         // upload's address -> name
  std::atomic<int> done = 0, kills = 0, serverKills = 0;
  std::vector<std::thread> senders;
  for (int k = 0; k < clients; ++k) {
    senders.emplace_back([&, k] {
      for (int i = k; i < uploads; i += clients) {
        const std::string name = "p" + std::to_string(i);
        // Again after each kill, within two minutes (to the other board): a game entered before is acknowledged then.
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        for (std::size_t attempt = 0; std::chrono::steady_clock::now() < end; ++attempt) {
          httplib::Client c("127.0.0.1", ports[(static_cast<std::size_t>(i) + attempt) % ports.size()]);
          c.set_connection_timeout(1, 0);
          c.set_read_timeout(30, 0);
          const Answer a = Upload(c, name, games[static_cast<std::size_t>(i)], false);
          const std::lock_guard lock(mutex);
          if (a.status == 202) {
            waiting[a.body["upload"]] = name;
          } else if (a.status == 200 || a.status == 201) {
            acknowledged[a.body["entries"][0]["id"]] = a.body["entries"][0]["name"];
          } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));  // while the board starts again
            continue;
          }
          break;
        }
        ++done;
      }
    });
  }
  std::mt19937 random(12345);
  for (int answered = 0; done < uploads; answered = done) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<>(5, 60)(random)));
    // Between two kills at least one upload is answered, so that the uploads
    // get through however long a worker takes to start (under the sanitizers,
    // longer than most of these intervals).
    while (done == answered) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (done >= uploads) break;
    if (db.postgres && kills % 8 == 2) {
      db.Kill();
      db.Start();
      ++serverKills;
    } else {
      const std::size_t k = random() % boards.size();
      boards[k]->Stop(SIGKILL);
      boards[k]->Start(db.address, options, ports[k]);
    }
    ++kills;
  }
  for (std::thread& t : senders) t.join();
  EXPECT_GT(kills, 0);
  EXPECT_EQ(serverKills > 0, db.postgres);
  // Every upload acknowledged as waiting is answered, with its entry.
  httplib::Client c = boards[0]->Client();
  for (const auto& [address, name] : waiting) {
    const Answer a = Settled(c, address);
    ASSERT_TRUE(a.status == 201 || a.status == 200) << address << ": " << a.text;
    acknowledged[a.body["entries"][0]["id"]] = name;
  }
  // And so is every upload sent again after one that was not acknowledged (within two minutes).
  for (int asked = 0; asked < 6000 && SqlColumn(db.address, "SELECT COUNT(*) FROM submissions WHERE status IS NULL") !=
                                          std::vector<std::int64_t>{0};
       ++asked)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  boards.clear();
  EXPECT_EQ(acknowledged.size(), static_cast<std::size_t>(uploads));

  if (!db.postgres) {
    EXPECT_EQ(SqlColumn(db.address, "SELECT COUNT(*) FROM pragma_integrity_check WHERE integrity_check <> 'ok'"),
              std::vector<std::int64_t>{0});
  }
  for (const auto& [id, name] : acknowledged) {
    const std::string sql = "SELECT COUNT(*) FROM entries WHERE id = " + std::to_string(id) + " AND name = '" + name +
                            "' AND verdict LIKE 'game 1: %verified%' AND (SELECT length(demo) FROM demos WHERE entry = id) > 10";
    EXPECT_EQ(SqlColumn(db.address, sql), std::vector<std::int64_t>{1}) << "entry " << id << " of " << name;
  }
  // Every upload holds the entries it says it made, and every entry its upload; no upload waits.
  EXPECT_EQ(SqlColumn(db.address, "SELECT COUNT(*) FROM uploads u WHERE entries <> (SELECT COUNT(*) FROM entries WHERE upload = u.id)"),
            std::vector<std::int64_t>{0});
  EXPECT_EQ(SqlColumn(db.address, "SELECT COUNT(*) FROM entries WHERE upload NOT IN (SELECT id FROM uploads)"),
            std::vector<std::int64_t>{0});
  EXPECT_EQ(SqlColumn(db.address, "SELECT COUNT(*) FROM entries"), std::vector<std::int64_t>{uploads});
  EXPECT_EQ(SqlColumn(db.address, "SELECT COUNT(*) FROM submissions WHERE status IS NULL"), std::vector<std::int64_t>{0});
  std::cout << uploads << " uploads acknowledged through " << kills << " kills (" << serverKills
            << " of the database server)\n";
}

}  // namespace
}  // namespace zorva
