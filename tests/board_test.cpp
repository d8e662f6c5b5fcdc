// The hall of fame against a real zorva-board on loopback, on each store:
// uploads verified, ranked or refused with the verifier's sentence, names and
// paths of strangers, the week's challenge, the limits, administration from
// the command line while it serves, and a database of the schema before.
#include <gtest/gtest.h>

#include <future>
#include <map>
#include <set>
#include <thread>

#include "base/challenge.h"
#include "rules/state.h"
#include "tests/board_support.h"

namespace zorva {
namespace {

const std::string kCorpus = ZORVA_SOURCE_DIR "/tests/fuzz/corpus/demo_fuzz/";
// A hall of the schema before, as each store held it: tests/board/schema1-STORE.sql.
const std::string kSchemaBefore = ZORVA_SOURCE_DIR "/tests/board/schema1-";

std::string FileText(const std::string& path) {
  const Bytes b = ReadBytes(path);
  return {b.begin(), b.end()};
}

class Board : public testing::TestWithParam<std::string> {};
INSTANTIATE_TEST_SUITE_P(Stores, Board, testing::ValuesIn(kStores), [](const auto& store) { return store.param; });

// Every upload answered with its status and sentence; accepted games ranked or not, with the reason.
TEST_P(Board, UploadsAreVerifiedRankedOrRefusedWithTheVerifiersSentence) {
  const HallDatabase db(GetParam(), "uploads");
  const BoardProcess board(db.address, "--uploads-per-minute 0");
  httplib::Client c = board.Client();
  // Games 1 and 2 end on their GAME OVER, game 3 is closed while it runs.
  const std::string script = "2 -\n1 tap:SPACE\n100 RIGHT SPACE\n300 SPACE\n1 -\n1 tap:SPACE\n40 -\n1 close\n";
  const std::string run = Recorded(script, 5), shortRun = "2 -\n1 tap:SPACE\n30 SPACE\n1 close\n";
  const TempDir sim("board-sim");  // a run recorded by zorva-sim itself
  RunProgram(ZORVA_BINARY_DIR "/zorva-sim", "--seed 8 --record run.zdm -", sim.path, "1 tap:SPACE\n80 LEFT SPACE\n1 close\n");
  std::string damaged = run;
  damaged[40] = static_cast<char>(damaged[40] ^ 0x5A);
  const std::string rules = "not a game the rules allow: ";
  const struct {
    std::string what, demo, said;
    int status, entries = 0;
    std::vector<bool> ranked = {};
  } cases[] = {
      {"a run of three games", run, "3 games entered in the hall.", 201, 3, {true, true, true}},
      {"the same run again", run, "Every game of this file is in the hall already.", 200, 3, {true, true, true}},
      {"a committed demo", FileText(kCorpus + "game_over.zdm"), "1 game entered", 201, 1, {true}},
      {"a run of zorva-sim --record", FileText((sim.path / "run.zdm").string()), "1 game entered", 201, 1, {true}},
      {"a game after other games", Recorded(shortRun, 11, [] { G.HiScore = 900; }),
       "1 game entered", 201, 1, {false}},
      {"a game without WAIT", Recorded("1 tap:SPACE\n10 SPACE\n1 wait\n20 SPACE\n1 close\n", 12), "1 game entered", 201, 1,
       {false}},
      {"a scoreless game, then two that score", Recorded("1 tap:SPACE\n3000 -\n1 tap:SPACE\n300 SPACE\n1 close\n", 41),
       "3 games entered in the hall.", 201, 3, {true, true, true}},
      {"a forged start", Recorded(shortRun, 13, [] { G.MarchNext = G.MarchLast + 1000000; }),
       "game 1: " + rules + "the formation's step gate is 999,990 ms ahead of the clock", 422},
      {"a forged second game", Recorded(script, 3, [] { G.ShotActive[3] = 1, G.ShotX[3] = 146, G.ShotY[3] = 200; }, 2),
       "The rest of the file was refused: game 2: " + rules + "the shots differ", 201, 1, {true}},
      {"a damaged file", damaged, "the file is damaged", 422},
      {"a file cut short", run.substr(0, run.size() / 2), "The rest of the file was refused: the file ends early", 200, 1,
       {true}},
      {"a file cut inside its first game", run.substr(0, 300), "the file ends early", 422},
      {"a picture", FileText(ZORVA_SOURCE_DIR "/assets/icon.png"), "not a ZORVA demo", 422},
      {"an empty file", "", "not a ZORVA demo", 422},
      {"a file of 1 MiB and a byte", std::string((1 << 20) + 1, 'Z'), "larger than 1 MiB", 413},
  };
  for (const auto& k : cases) {
    const Answer a = Upload(c, "Ann", k.demo);
    EXPECT_EQ(a.status, k.status) << k.what << ": " << a.text;
    EXPECT_NE(a.text.find(k.said), std::string::npos) << k.what << ": " << a.text;
    const nlohmann::json entries = a.body.value("entries", nlohmann::json::array());
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(k.entries)) << k.what;
    // Each ranked game's rank is the hall's own, the file's other games counted.
    const Answer table = Get(c, "/api/scores");
    std::map<std::int64_t, int> ranks;
    for (const auto& e : table.body["entries"]) ranks[e["id"]] = e["rank"];
    for (const auto& e : entries) {
      if (e["ranked"]) {
        EXPECT_EQ(e["rank"], ranks[e["id"]]) << k.what << ", entry " << e["id"];
      }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i]["ranked"], k.ranked[i]) << k.what << ", game " << i + 1;
      EXPECT_EQ(entries[i].contains("reason"), !k.ranked[i]) << k.what << ", game " << i + 1;
      // The game alone, as the hall serves it, plays back as it was verified.
      const Answer demo = Get(c, entries[i]["demo"]);
      const TempDir play("board-play");
      WriteBytes(play.path / "game.zdm", Bytes(demo.text.begin(), demo.text.end()));
      const auto [status, lines, error] = RunProgram(ZORVA_BINARY_DIR "/zorva-sim", "--verify game.zdm", play.path);
      EXPECT_EQ(status, 0) << k.what << ", game " << i + 1 << ": " << error;
    }
  }
  // The table ranks what was ranked, best first; the reasons are said.
  const Answer all = Get(c, "/api/scores");
  ASSERT_EQ(all.body["entries"].size(), 9u) << all.text;
  for (std::size_t i = 1; i < 9; ++i) EXPECT_GE(all.body["entries"][i - 1]["score"], all.body["entries"][i]["score"]);
  const std::string hall = Get(c, "/").text;
  EXPECT_NE(Get(c, "/games/6").text.find("The file begins after other games"), std::string::npos);
  EXPECT_NE(Get(c, "/games/7").text.find("WAIT was not checked throughout"), std::string::npos);
  EXPECT_NE(hall.find("seeds are the players' own"), std::string::npos) << hall;
  // A browser's form gets a page: its answer, or one that asks after it by itself until it is there.
  const httplib::MultipartFormDataItems form{{"name", "Ann", "", ""}, {"demo", ShortGame(15), "game.zdm", ""}};
  const httplib::Headers html{{"Accept", "text/html"}};
  httplib::Result page = c.Post("/api/games", html, form);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, db.postgres ? 202 : 201);
  for (int asked = 0; page && page->has_header("Refresh") && asked < 6000; ++asked) {
    const std::string again = page->get_header_value("Refresh");  // 2; url=/api/uploads/N
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    page = c.Get(again.substr(again.find("url=") + 4), html);
  }
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("1 game entered in the hall.</p>"), std::string::npos) << page->body;
}

// Names are checked before any verifying, kept exactly as written, and shown escaped.
TEST_P(Board, NamesFromStrangersAreKeptAsWrittenAndShownAsText) {
  const HallDatabase db(GetParam(), "names");
  const BoardProcess board(db.address, "--uploads-per-minute 0");
  httplib::Client c = board.Client();
  const struct {
    std::string name, shown;  // shown: in the hall's page; empty when refused
  } cases[] = {
      {"<script>f()</script>", "&lt;script&gt;f()&lt;/script&gt;"},
      {"O'Brien \"Ace\"", "O&#39;Brien &quot;Ace&quot;"},
      {"'; DROP TABLE entries;--", "&#39;; DROP TABLE entries;--"},
      {"  محمد & Ελένη  ", "محمد &amp; Ελένη"},
      {"ゾルバ!", "ゾルバ!"},
      {"abc\u202Efed", ""},  // a right-to-left override
      {"tab\there", ""},
      {"bell\x07", ""},
      {"zero\u200Bwidth", ""},
      {"\xC3\x28", ""},  // not UTF-8
      {"   ", ""},
      {std::string(25, 'x'), ""},
      {std::string(24, 'x'), std::string(24, 'x')},
  };
  std::uint64_t seed = 100;
  for (const auto& k : cases) {
    const Answer a = Upload(c, k.name, ShortGame(seed++));
    EXPECT_EQ(a.status, k.shown.empty() ? 400 : 201) << k.name << ": " << a.text;
    if (k.shown.empty()) continue;
    const std::string id = std::to_string(a.body["entries"][0]["id"].get<int>());
    EXPECT_NE(Get(c, "/games/" + id).text.find("<bdi>" + k.shown + "</bdi>"), std::string::npos) << k.name;
    const std::size_t first = k.name.find_first_not_of(' '), last = k.name.find_last_not_of(' ');
    EXPECT_EQ(a.body["entries"][0]["name"], k.name.substr(first, last - first + 1));
  }
  EXPECT_EQ(Get(c, "/api/scores").body["entries"].size(), 6u);
  EXPECT_EQ(Get(c, "/").text.find("<script>"), std::string::npos);
}

// Paths from strangers reach the hall's pages and the page's files, nothing beside them; every page has the policy.
TEST_P(Board, PathsReachOnlyWhatTheHallServes) {
  const HallDatabase db(GetParam(), "paths");
  const fs::path& dir = db.dir.path;
  fs::create_directories(dir / "page");
  std::ofstream(dir / "page" / "index.html") << "<p>the page</p>";
  std::ofstream(dir / "secret") << "secret";
  const BoardProcess board(db.address, "--page " + (dir / "page").string());
  httplib::Client c = board.Client();
  ASSERT_EQ(Upload(c, "Ann", ShortGame(7)).status, 201);
  const std::string policy = "default-src 'none'";
  const struct {
    std::string path;
    int status;
    std::string holds;
  } cases[] = {
      {"/", 200, "/play/#demo-url=/games/1.zdm"}, {"/games/1", 200, "Ann"}, {"/games/1.zdm", 200, "ZORVADMO"},
      {"/api/scores?page=1", 200, "\"name\":\"Ann\""}, {"/play", 301, ""}, {"/play/", 200, "the page"}, {"/play/index.html", 200, "the page"},
      {"/games/2", 404, "No game"}, {"/games/0.zdm", 404, "No game"}, {"/games/99999999999999999999", 404, ""},
      {"/games/1/../../secret", 404, ""}, {"/games/..%2F..%2Fsecret", 404, ""}, {"/play/../secret", 404, ""},
      {"/play/..%2Fsecret", 404, ""}, {"/play/%2E%2E/secret", 404, ""}, {"/play/%2e%2e%2fsecret", 404, ""},
      {"/play/../hall.db", 404, ""}, {"/?page=0", 404, ""}, {"/?page=x", 404, ""},
      {"/api/scores?week=1;DROP", 400, ""}, {"/" + std::string(9000, 'a'), 414, ""},
      {"/api/uploads/1", 200, "\"state\":\"done\",\"status\":201"}, {"/api/uploads/2", 404, "No upload"},
      {"/api/uploads/1%2F..%2F..%2Fsecret", 404, ""}, {"/hall.db", 404, ""}, {"/pg/data/PG_VERSION", 404, ""},
  };
  for (const auto& k : cases) {
    const httplib::Result r = c.Get(k.path);
    ASSERT_TRUE(r) << k.path;
    EXPECT_EQ(r->status, k.status) << k.path;
    EXPECT_NE(r->body.find(k.holds), std::string::npos) << k.path << ": " << r->body;
    EXPECT_EQ(r->body.find("secret"), std::string::npos) << k.path;
    if (!k.path.starts_with("/play/") || r->status != 200) {
      EXPECT_EQ(r->get_header_value("Content-Security-Policy").rfind(policy, 0), 0u) << k.path;
    }
  }
}

// The week's table ranks only the games of the week's seed, played from the program's start.
TEST_P(Board, TheWeeksTableRanksOnlyGamesOfTheWeeksSeed) {
  const HallDatabase db(GetParam(), "week");
  const BoardProcess board(db.address);
  httplib::Client c = board.Client();
  const Answer challenge = Get(c, "/api/challenge");
  ASSERT_EQ(challenge.status, 200) << challenge.text;
  const std::uint64_t seed = challenge.body["seed"];
  EXPECT_EQ(ChallengeSeed(challenge.body["code"].get<std::string>()), seed);
  EXPECT_EQ(Get(c, "/api/challenge").body, challenge.body);  // drawn once for the week
  // Game 1 ends on its own after its GAME OVER, game 2 is closed while it runs.
  const std::string script = "2 -\n1 tap:SPACE\n60 SPACE RIGHT\n1 close\n", two = "1 tap:SPACE\n3000 -\n1 tap:SPACE\n40 -\n1 close\n";
  const TempDir sim("board-challenge");
  RunProgram(ZORVA_BINARY_DIR "/zorva-sim", "--challenge " + challenge.body["code"].get<std::string>() + " --record run.zdm -",
             sim.path, two);
  const struct {
    std::string what, demo;
    std::vector<bool> inWeek;  // each game's
  } cases[] = {
      {"a run of zorva-sim --challenge", FileText((sim.path / "run.zdm").string()), {true, true}},
      {"the same keys from the week's seed on (--seed)", Recorded(two, seed), {true, false}},  // game 1 is there already
      {"the same keys, another seed", Recorded(script, seed + 1), {false}},
      {"the week's seed after other games", Recorded(script, seed, [] { G.HiScore = 10; }), {false}},
  };
  for (const auto& k : cases) {
    const Answer a = Upload(c, "Ann", k.demo);
    ASSERT_EQ(a.status, 201) << k.what << ": " << a.text;
    ASSERT_EQ(a.body["entries"].size(), k.inWeek.size()) << k.what << ": " << a.text;
    for (std::size_t i = 0; i < k.inWeek.size(); ++i)
      EXPECT_EQ(a.body["entries"][i].value("week", ""), k.inWeek[i] ? challenge.body["week"] : "") << k.what << ", game " << i + 1;
  }
  const Answer week = Get(c, "/api/scores?week=current"), all = Get(c, "/api/scores");
  ASSERT_EQ(week.body["entries"].size(), 2u) << week.text;
  for (const auto& e : week.body["entries"]) EXPECT_EQ(e["seed"], seed);
  EXPECT_EQ(all.body["entries"].size(), 4u) << all.text;
  EXPECT_NE(Get(c, "/").text.find(ChallengeCode(seed).value()), std::string::npos);
}

// Too many requests, uploads, or verifications at once are answered with a sentence; a verification over its limits
// costs its upload only.
TEST_P(Board, LimitsAreAnsweredInASentenceAndTheServerGoesOn) {
  const HallDatabase db(GetParam(), "limits");
  // One verifier, and no upload waits for it; on PostgreSQL, where every upload waits a moment in the database, one.
  const int waits = db.postgres ? 1 : 0, uploads = 2 + waits;
  const BoardProcess board(db.address, "--uploads-per-minute " + std::to_string(uploads) + " --verifiers 1 --queue " +
                                           std::to_string(waits) + " --verify-seconds 1");
  httplib::Client c = board.Client();
  // Thousands of frames, more than a second of the verifier's time.
  const std::string longRun = Recorded("1 tap:SPACE\n90000 SPACE\n", 21);
  std::vector<Answer> answers;
  if (!db.postgres) {
    auto first = std::async(std::launch::async, [&] {
      httplib::Client other = board.Client();
      return Upload(other, "Ann", longRun);
    });
    answers.push_back(Upload(c, "Ann", longRun));
    answers.push_back(first.get());
  } else {
    // The first verified, the second waiting for it, the third refused.
    const Answer first = Upload(c, "Ann", longRun, false);
    for (int asked = 0; asked < 3000 && Get(c, first.body.value("upload", "/")).body.value("state", "") != "verifying"; ++asked)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const Answer second = Upload(c, "Ann", longRun, false);
    answers.push_back(Upload(c, "Ann", ShortGame(23)));
    answers.push_back(Settled(c, first.body.value("upload", "/")));
    answers.push_back(Settled(c, second.body.value("upload", "/")));
  }
  std::multiset<int> statuses;
  std::string said;
  for (const Answer& a : answers) statuses.insert(a.status), said += a.text;
  EXPECT_EQ(statuses, (db.postgres ? std::multiset<int>{422, 422, 503} : std::multiset<int>{422, 503})) << said;
  EXPECT_NE(said.find("more than its limits (1 s of processor time"), std::string::npos);
  EXPECT_NE(said.find("verifying as many games as it can"), std::string::npos);
  const Answer over = Upload(c, "Ann", ShortGame(22));
  EXPECT_EQ(over.status, 429) << over.text;
  EXPECT_NE(over.text.find("at most " + std::to_string(uploads) + " a minute"), std::string::npos) << over.text;
  EXPECT_EQ(Get(c, "/").status, 200);
  // A minute's worth of requests at once, then one more is refused until the next is due.
  const BoardProcess strict(db.address, "--requests-per-minute 3");
  httplib::Client s = strict.Client();
  for (const int expected : {200, 200, 200, 429}) EXPECT_EQ(Get(s, "/api/challenge").status, expected);
  EXPECT_NE(Get(s, "/").text.find("Too many requests from your address; try again in "), std::string::npos);
  // A head that does not end within its bound is refused, and the server goes on.
  httplib::Headers huge;
  for (int i = 0; i < 40; ++i) huge.emplace("X-Filler-" + std::to_string(i), std::string(500, 'f'));
  const httplib::Result r = c.Get("/", huge);
  EXPECT_TRUE(!r || r->status == 400);
  EXPECT_EQ(Get(c, "/").status, 200);
}

TEST_P(Board, TheCommandLineRemovesRenamesAndBacksUpWhileTheHallServes) {
  const HallDatabase db(GetParam(), "admin");
  const BoardProcess board(db.address);
  httplib::Client c = board.Client();
  const std::string game = ShortGame(31);
  ASSERT_EQ(Upload(c, "Ann", game).status, 201);
  ASSERT_EQ(Upload(c, "Bob", ShortGame(32)).status, 201);
  const std::string on = " --database '" + db.address + "'";
  // A hall on PostgreSQL is backed up with the server's own tools.
  const int backup = db.postgres ? 1 : 0;
  const struct {
    std::string args;
    int status;
    std::string entry1;  // what /games/1 then holds
  } cases[] = {
      {"rename 1 'Ann Marie'", 0, "Ann Marie"}, {"rename 1 ''", 2, "Ann Marie"},       {"rename 9 Zed", 1, "Ann Marie"},
      {"backup copy.db", backup, "Ann Marie"},  {"backup hall.db", 1 + !backup, "Ann Marie"}, {"remove 1", 0, "No game"},
      {"remove 1", 1, "No game"},
      {"remove x", 2, "No game"},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(std::get<0>(RunProgram(kBoard, k.args + on, db.dir.path)), k.status) << k.args;
    EXPECT_NE(Get(c, "/games/1").text.find(k.entry1), std::string::npos) << k.args;
  }
  EXPECT_EQ(Upload(c, "Ann", game).status, 422);  // removed for good
  if (!db.postgres) {
    EXPECT_EQ(SqlColumn((db.dir.path / "copy.db").string(), "SELECT COUNT(*) FROM entries WHERE name IN ('Ann Marie', 'Bob')"),
              std::vector<std::int64_t>{2});
  }
}

// A database of the schema before is brought up to date by the first board that opens it: its entries served, its
// uploads answered.
TEST_P(Board, ADatabaseOfTheSchemaBeforeIsBroughtUpToDate) {
  const HallDatabase db(GetParam(), "schema");
  const std::ifstream dump(kSchemaBefore + GetParam() + ".sql");
  SqlColumn(db.address, (std::ostringstream() << dump.rdbuf()).str());
  {
    const BoardProcess board(db.address);
    httplib::Client c = board.Client();
    EXPECT_NE(Get(c, "/games/2").text.find("<bdi>Eve</bdi>: 480 points"), std::string::npos);
    EXPECT_EQ(Get(c, "/games/2.zdm").text, "ZORVADMO of the game of Eve");
    const Answer a = Upload(c, "Ann", ShortGame(41));
    EXPECT_EQ(a.status, 201) << a.text;
    EXPECT_EQ(a.body["entries"][0]["id"], 3) << a.text;
  }
  const BoardProcess again(db.address);
  httplib::Client c = again.Client();
  const Answer scores = Get(c, "/api/scores");
  ASSERT_EQ(scores.body["entries"].size(), 3u) << scores.text;
  EXPECT_EQ(scores.body["entries"][0]["name"], "Eve");
  EXPECT_EQ(scores.body["entries"][0]["rank"], 1);
}

}  // namespace
}  // namespace zorva
