// cpp-httplib's server with bounds of its own around every connection: a
// request's head (its line and headers) must come within 16 KiB and 10 s, its
// body within its size and 60 s, an idle connection is closed after 5 s, a
// response must be taken within 30 s a write, one address holds at most so
// many connections at once, and connections beyond what the threads and
// their queue hold are answered at once and closed. The library's own bounds
// are per read and have no total; these are the connection's, whatever it
// sends. Also the per-address rate limits that the routes apply.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zorva {

class GuardedServer : public httplib::Server {
 public:
  GuardedServer(int threads, int connectionsPerAddress);

  // For a handler, on its connection's thread: reads the request's body of
  // `length` bytes as it comes, within the connection's bounds. False when it
  // does not come whole.
  static bool ReadBody(std::size_t length, std::string& body);
  // For a handler: the connection is closed once its response is sent (its
  // body was left unread, say).
  static void CloseAfterResponse(httplib::Response& response);
  // Once bound: lets the system hold as many connections as it will until
  // they are accepted (the library asks for 5, and a client whose connection
  // finds the queue full waits a second to try again).
  void DeepenBacklog();

 private:
  bool process_and_close_socket(socket_t sock) override;
  bool Enter(const std::string& address);
  void Leave(const std::string& address);

  const int connectionsPerAddress_;
  std::mutex mutex_;
  std::unordered_map<std::string, int> connections_;
};

// At most `perMinute` a minute for each address, a minute's worth at once.
class RateLimit {
 public:
  explicit RateLimit(int perMinute) : perMinute_(perMinute) {}
  // 0 when `address` may go on (and it is counted), or else the whole
  // seconds until it may. A limit of 0 is no limit.
  int Take(const std::string& address);

 private:
  using Clock = std::chrono::steady_clock;
  struct Bucket {
    double tokens;
    Clock::time_point at;
  };
  const int perMinute_;
  std::mutex mutex_;
  std::unordered_map<std::string, Bucket> buckets_;
};

}  // namespace zorva
