// Uploads from their verification to their answer: what an upload's answer
// is, whether its sender waits for it (a hall on SQLite) or asks after it (a
// hall on PostgreSQL), and the verifiers of a shared hall, threads that take
// the waiting uploads from the database, verify each in a worker under a
// lease they renew while it works, and settle it. A board that stops lets
// its uploads go for another to take at once; one that dies loses nothing
// either, since its leases run out.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/store.h"
#include "board/workers.h"

namespace zorva {

// The most games one file may enter.
inline constexpr std::size_t kGamesPerUpload = 1000;
// Verifiers that may take an upload and stop before its verdict (their
// process killed, say) before it is answered without one. A file that makes
// its worker fail is answered at once; this bounds only boards that die
// while they hold it, which a hall restarted often may see more than once.
inline constexpr std::int64_t kAttempts = 10;

// Milliseconds since 1970, as the leases count them.
std::int64_t NowMs();

// The answer to an upload whose verification ended with `outcome`, and the
// games it enters (`verdict`'s, which must outlive the settlement).
Store::Settlement Settle(Workers::Outcome outcome, const UploadVerdict& verdict, const std::string& why);

class Queue {
 public:
  // `verifiers` threads taking uploads from `store`, verified by `workers`,
  // each held for `leaseMs` at a time.
  Queue(Store& store, Workers& workers, int verifiers, std::int64_t leaseMs);
  ~Queue();
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;

  // An upload may wait.
  void Wake();

 private:
  void Verify();
  // Renews the leases held, a third of a lease before each runs out.
  void Keep();
  void Settle(const Store::Taken& taken, const Store::Settlement& settlement);

  Store& store_;
  Workers& workers_;
  const std::int64_t leaseMs_;
  std::mutex mutex_;
  std::condition_variable news_;
  std::uint64_t wakes_ = 0;
  bool stopping_ = false;
  std::map<std::int64_t, Store::Taken> held_;  // by upload
  std::vector<std::thread> threads_;
};

}  // namespace zorva
