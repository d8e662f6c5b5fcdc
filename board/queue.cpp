#include "board/queue.h"

#include <chrono>
#include <ctime>

namespace zorva {

namespace {

using std::chrono::milliseconds;

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// The sentence of an upload whose games were entered as `added` says.
Store::Answer Entered(const UploadVerdict& verdict, const Store::Added& added) {
  const std::size_t games = verdict.games.size();
  std::string sentence;
  if (added.fresh > 0) {
    sentence = std::to_string(added.fresh) + (added.fresh == 1 ? " game" : " games") + " entered in the hall.";
  } else if (added.entries.empty()) {
    return {422, games == 1 ? "This game was removed from the hall." : "These games were removed from the hall.", {}};
  } else {
    sentence = games == 1 ? "This game is in the hall already." : "Every game of this file is in the hall already.";
  }
  if (added.fresh > 0 && added.fresh < static_cast<int>(added.entries.size())) {
    sentence += " " + std::to_string(added.entries.size() - static_cast<std::size_t>(added.fresh)) +
                " of the file's games were there already.";
  }
  if (added.removed > 0) sentence += " " + std::to_string(added.removed) + " removed from the hall were left out.";
  if (verdict.status != 0) sentence += " The rest of the file was refused: " + verdict.refusal;
  return {added.fresh > 0 ? 201 : 200, sentence, added.entries};
}

Store::Settlement Refused(int status, const std::string& sentence) {
  return {nullptr, [status, sentence](const Store::Added&) { return Store::Answer{status, sentence, {}}; }};
}

}  // namespace

std::int64_t NowMs() {
  return std::chrono::duration_cast<milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

Store::Settlement Settle(Workers::Outcome outcome, const UploadVerdict& verdict, const std::string& why) {
  switch (outcome) {
    case Workers::Outcome::Verified: break;
    case Workers::Outcome::OverLimits: return Refused(422, why);
    case Workers::Outcome::Busy:
    case Workers::Outcome::Failed: return Refused(500, why);
  }
  if (verdict.games.empty()) return Refused(422, verdict.refusal);
  if (verdict.games.size() > kGamesPerUpload) {
    return Refused(422, "The file holds " + std::to_string(verdict.games.size()) +
                            " games; the hall takes at most 1,000 from one file.");
  }
  return {&verdict, [&verdict](const Store::Added& added) { return Entered(verdict, added); }};
}

Queue::Queue(Store& store, Workers& workers, int verifiers, std::int64_t leaseMs)
    : store_(store), workers_(workers), leaseMs_(leaseMs) {
  for (int i = 0; i < verifiers; ++i) threads_.emplace_back([this] { Verify(); });
  threads_.emplace_back([this] { Keep(); });
  store_.OnWaiting([this] { Wake(); });
}

Queue::~Queue() {
  store_.OnWaiting(nullptr);
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  news_.notify_all();
  workers_.Stop();
  for (std::thread& t : threads_) t.join();
}

void Queue::Wake() {
  {
    const std::lock_guard lock(mutex_);
    ++wakes_;
  }
  news_.notify_all();
}

void Queue::Verify() {
  for (std::uint64_t seen = 0;;) {
    {
      const std::lock_guard lock(mutex_);
      if (stopping_) return;
      seen = wakes_;
    }
    std::optional<Store::Taken> taken;
    try {
      taken = store_.Take(NowMs(), leaseMs_);
    } catch (const StoreError&) {  // the database is out of reach: asked again in a moment
    }
    if (!taken) {
      // Also once a second without news, for the uploads whose holder died.
      std::unique_lock lock(mutex_);
      news_.wait_for(lock, std::chrono::seconds(1), [&] { return stopping_ || wakes_ != seen; });
      continue;
    }
    if (taken->attempt > kAttempts) {
      Settle(*taken, Refused(500, "The board's verifiers stopped " + std::to_string(kAttempts) +
                                      " times while verifying this file; nothing of it was stored."));
      continue;
    }
    {
      const std::lock_guard lock(mutex_);
      held_[taken->id] = *taken;
    }
    UploadVerdict verdict;
    std::string why;
    const Workers::Outcome outcome = workers_.Verify(taken->file, verdict, why);
    bool stopping;
    {
      const std::lock_guard lock(mutex_);
      stopping = stopping_;
    }
    if (stopping) {
      try {
        store_.Release(*taken);
      } catch (const StoreError&) {  // then its lease runs out
      }
    } else {
      Settle(*taken, zorva::Settle(outcome, verdict, why));
    }
    const std::lock_guard lock(mutex_);
    held_.erase(taken->id);
  }
}

void Queue::Settle(const Store::Taken& taken, const Store::Settlement& settlement) {
  // While the database is out of reach, tried again until the lease would
  // have run out; after that another verifier has it.
  for (const std::int64_t end = NowMs() + leaseMs_;;) {
    try {
      store_.Settle(taken, settlement, Now());
      return;
    } catch (const StoreError& e) {
      std::unique_lock lock(mutex_);
      if (!e.unavailable || NowMs() >= end || news_.wait_for(lock, milliseconds(250), [this] { return stopping_; })) {
        return;
      }
    }
  }
}

void Queue::Keep() {
  for (;;) {
    std::vector<Store::Taken> held;
    {
      std::unique_lock lock(mutex_);
      if (news_.wait_for(lock, milliseconds(leaseMs_ / 3), [this] { return stopping_; })) return;
      for (const auto& [id, taken] : held_) held.push_back(taken);
    }
    for (const Store::Taken& taken : held) {
      try {
        store_.Renew(taken, NowMs(), leaseMs_);
      } catch (const StoreError&) {  // tried again a third of a lease later
      }
    }
  }
}

}  // namespace zorva
