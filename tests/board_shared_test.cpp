// A hall on PostgreSQL served by several board processes at once: any of them
// answers alike (the same pages, the same week's challenge, the per-address
// limits shared), and an upload whose verifier is killed while it holds the
// upload is verified by another once its lease has run out.
#include <gtest/gtest.h>

#include <thread>

#include "tests/board_support.h"

namespace zorva {
namespace {

using std::chrono::steady_clock;

TEST(BoardShared, TwoProcessesServeOneHallAlikeAndShareTheirLimits) {
  const HallDatabase db("postgresql", "shared");
  const BoardProcess a(db.address, "--uploads-per-minute 3"), b(db.address, "--uploads-per-minute 3");
  httplib::Client toA = a.Client(), toB = b.Client();
  const Answer sent = Upload(toA, "Ann", ShortGame(51), false);
  ASSERT_EQ(sent.status, 202) << sent.text;
  const Answer settled = Settled(toB, sent.body["upload"]);  // asked after at the other
  ASSERT_EQ(settled.status, 201) << settled.text;
  ASSERT_EQ(Upload(toB, "Bob", ShortGame(52)).status, 201);
  for (const std::string path : {"/", "/api/scores", "/api/challenge", "/api/scores?week=current", "/games/1",
                                 "/games/2.zdm", "/api/uploads/1"}) {
    // Each says what the other says, once it has heard the other's news (within ten seconds).
    Answer atA, atB;
    for (const auto end = steady_clock::now() + std::chrono::seconds(10); steady_clock::now() < end;) {
      atA = Get(toA, path), atB = Get(toB, path);
      if (atA.text == atB.text) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(atA.status, 200) << path;
    EXPECT_EQ(atA.text, atB.text) << path;
  }
  // The third upload from the address is the last of its minute, at whichever board it comes.
  EXPECT_EQ(Upload(toA, "Ann", ShortGame(53)).status, 201);
  const Answer over = Upload(toB, "Ann", ShortGame(54));
  EXPECT_EQ(over.status, 429) << over.text;
  EXPECT_NE(over.text.find("at most 3 a minute"), std::string::npos) << over.text;
}

TEST(BoardShared, AnUploadWhoseVerifierIsKilledIsVerifiedByAnotherWithinTheLease) {
  const HallDatabase db("postgresql", "lease");
  const std::string options = "--lease-seconds 3 --verifiers 1";
  // Tens of thousands of frames (hundreds of games, FIRE held from one to the next): a second or more of the
  // verifier's time.
  const std::string longRun = Recorded("1 tap:SPACE\n60000 SPACE\n1 close\n", 61);
  auto first = std::make_unique<BoardProcess>(db.address, options);
  httplib::Client c = first->Client();
  const Answer sent = Upload(c, "Ann", longRun, false);
  ASSERT_EQ(sent.status, 202) << sent.text;
  const std::string upload = sent.body["upload"];
  for (int asked = 0; asked < 1000 && Get(c, upload).body.value("state", "") != "verifying"; ++asked)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(Get(c, upload).body.value("state", ""), "verifying");
  first->Stop(SIGKILL);

  const BoardProcess second(db.address, options);
  httplib::Client other = second.Client();
  // Taken again once the lease has run out: within its 3 s and the second's look for such uploads, once a second.
  std::string state;
  for (const auto end = steady_clock::now() + std::chrono::seconds(5); steady_clock::now() < end && state != "verifying";) {
    state = Get(other, upload).body.value("state", "");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(state, "verifying");
  const Answer answer = Settled(other, upload);
  EXPECT_EQ(answer.status, 201) << answer.text;
  EXPECT_EQ(answer.body["message"], "303 games entered in the hall.") << answer.text;
  EXPECT_EQ(Get(other, "/api/scores").body["entries"].size(), 50u);
}

}  // namespace
}  // namespace zorva
