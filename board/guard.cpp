#include "board/guard.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

#include "board/upload.h"

namespace zorva {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kHeadBytes = 16 * 1024;
constexpr auto kHeadTime = std::chrono::seconds(10);
constexpr auto kBodyTime = std::chrono::seconds(60);
constexpr auto kIdleTime = std::chrono::seconds(5);
constexpr auto kWriteTime = std::chrono::seconds(30);
constexpr int kRequestsPerConnection = 1000;
// Addresses remembered by a rate limit before the idle ones are forgotten.
constexpr std::size_t kAddresses = 50000;

// A connection's socket, read through a buffer within the bounds of the
// request under way, written within a bound of time.
class GuardedStream : public httplib::Stream {
 public:
  explicit GuardedStream(int fd) : fd_(fd) {}

  // What the request still may send, and by when.
  void Bound(std::size_t bytes, Clock::duration time) { budget_ = bytes, deadline_ = Clock::now() + time; }
  // Whether a request begins within `time`, or the server stops.
  bool Waits(Clock::duration time, const httplib::Server& server) {
    for (const Clock::time_point end = Clock::now() + time; pos_ == end_;) {
      const auto left = std::min<Clock::duration>(end - Clock::now(), milliseconds(250));
      if (left <= Clock::duration::zero() || !server.is_running()) return false;
      if (Poll(POLLIN, left) > 0) return true;
    }
    return true;
  }
  bool Broken() const { return broken_; }

  bool is_readable() const override { return pos_ < end_ || Poll(POLLIN, Clock::duration::zero()) > 0; }
  bool is_writable() const override { return Poll(POLLOUT, kWriteTime) > 0; }
  ssize_t read(char* out, size_t size) override {
    if (pos_ == end_) {
      const auto left = deadline_ - Clock::now();
      if (budget_ == 0 || left <= Clock::duration::zero() || Poll(POLLIN, left) <= 0) return Break();
      const ssize_t n = ::recv(fd_, buffer_, std::min(sizeof buffer_, budget_), 0);
      if (n <= 0) return n == 0 ? 0 : Break();
      budget_ -= static_cast<std::size_t>(n);
      pos_ = 0, end_ = static_cast<std::size_t>(n);
    }
    const std::size_t n = std::min(size, end_ - pos_);
    std::memcpy(out, buffer_ + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* data, size_t size) override {
    const Clock::time_point deadline = Clock::now() + kWriteTime;
    for (std::size_t done = 0; done < size;) {
      const ssize_t n = ::send(fd_, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        return Break();
      } else if (Clock::now() >= deadline || Poll(POLLOUT, deadline - Clock::now()) <= 0) {
        return Break();
      }
    }
    return static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(::getpeername, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { Address(::getsockname, ip, port); }
  socket_t socket() const override { return fd_; }

 private:
  ssize_t Break() {
    broken_ = true;
    return -1;
  }
  int Poll(short events, Clock::duration time) const {
    pollfd p{fd_, events, 0};
    const auto ms = std::chrono::ceil<milliseconds>(std::max(time, Clock::duration::zero())).count();
    int ready;
    while ((ready = ::poll(&p, 1, static_cast<int>(ms))) < 0 && errno == EINTR) {
    }
    return ready;
  }
  template <class Name>
  void Address(Name name, std::string& ip, int& port) const {
    sockaddr_storage a{};
    socklen_t size = sizeof a;
    char text[INET6_ADDRSTRLEN] = "";
    ip.clear(), port = 0;
    if (name(fd_, reinterpret_cast<sockaddr*>(&a), &size) != 0) return;
    if (a.ss_family == AF_INET) {
      const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
      inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text), port = ntohs(v4->sin_port);
    } else if (a.ss_family == AF_INET6) {
      const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
      inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text), port = ntohs(v6->sin6_port);
    }
    ip = text;
  }

  int fd_;
  char buffer_[4096];
  std::size_t pos_ = 0, end_ = 0;
  std::size_t budget_ = kHeadBytes;
  Clock::time_point deadline_ = Clock::now() + kHeadTime;
  bool broken_ = false;
};

// The connection the thread serves, and whether it is to be closed after the
// response, or turned away at once (the queue is full).
thread_local GuardedStream* tStream = nullptr;
thread_local bool tCloseAfter = false;
thread_local bool tTurnAway = false;

// The connections' threads; connections beyond what they and the queue hold
// are served by the accepting thread itself, which only turns them away.
class BoundedPool : public httplib::TaskQueue {
 public:
  BoundedPool(int threads, std::size_t queue) : queue_(queue) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  }
  void enqueue(std::function<void()> job) override {
    {
      const std::lock_guard lock(mutex_);
      if (jobs_.size() < queue_) {
        jobs_.push_back(std::move(job));
        ready_.notify_one();
        return;
      }
    }
    tTurnAway = true;
    job();
    tTurnAway = false;
  }
  void shutdown() override {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }
  const std::size_t queue_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
};

// An answer written at once, without waiting for the client, and the end.
void TurnAway(int fd, const char* status, const char* sentence) {
  const std::string body = std::string(sentence) + "\n";
  const std::string answer = std::string("HTTP/1.1 ") + status +
                             "\r\nContent-Type: text/plain; charset=utf-8\r\nRetry-After: 5\r\nConnection: close\r\n"
                             "Content-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n" + body;
  ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// After a response to a request whose body was left unread: what the client
// still sends is read and dropped for a moment, so that the close does not
// reset the connection before the client has read the response.
void Linger(int fd) {
  ::shutdown(fd, SHUT_WR);
  const Clock::time_point end = Clock::now() + std::chrono::seconds(2);
  char buffer[16 * 1024];
  for (std::size_t dropped = 0; dropped < kUploadBodyBytes && Clock::now() < end;) {
    pollfd p{fd, POLLIN, 0};
    const auto left = std::chrono::ceil<milliseconds>(end - Clock::now()).count();
    if (::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left, 0))) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    dropped += static_cast<std::size_t>(n);
  }
}

}  // namespace

GuardedServer::GuardedServer(int threads, int connectionsPerAddress) : connectionsPerAddress_(connectionsPerAddress) {
  new_task_queue = [threads] { return new BoundedPool(threads, static_cast<std::size_t>(threads)); };
  set_keep_alive_max_count(kRequestsPerConnection);
  set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(kIdleTime).count());
  set_payload_max_length(kHeadBytes);
}

bool GuardedServer::ReadBody(std::size_t length, std::string& body) {
  if (tStream == nullptr) return false;
  body.resize(length);
  for (std::size_t at = 0; at < length;) {
    const ssize_t n = tStream->read(body.data() + at, length - at);
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

void GuardedServer::CloseAfterResponse(httplib::Response& response) {
  tCloseAfter = true;
  response.set_header("Connection", "close");
}

void GuardedServer::DeepenBacklog() { ::listen(svr_sock_, SOMAXCONN); }

bool GuardedServer::Enter(const std::string& address) {
  const std::lock_guard lock(mutex_);
  int& n = connections_[address];
  if (n >= connectionsPerAddress_) return false;
  ++n;
  return true;
}

void GuardedServer::Leave(const std::string& address) {
  const std::lock_guard lock(mutex_);
  if (--connections_[address] <= 0) connections_.erase(address);
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
  // A response goes out in two writes, its head and its body: without this,
  // the second would wait for the client to acknowledge the first, which it
  // may delay by 40 ms.
  const int on = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  GuardedStream stream(sock);
  std::string address;
  int port = 0;
  stream.get_remote_ip_and_port(address, port);
  if (tTurnAway) {
    TurnAway(sock, "503 Service Unavailable", "The board is serving as many connections as it can; try again soon.");
  } else if (!Enter(address)) {
    TurnAway(sock, "429 Too Many Requests", "Too many connections from your address at once.");
  } else {
    tStream = &stream;
    for (int served = 0; served < kRequestsPerConnection; ++served) {
      if (!stream.Waits(served == 0 ? kHeadTime : kIdleTime, *this)) break;
      stream.Bound(kHeadBytes, kHeadTime);
      tCloseAfter = false;
      bool closed = false;
      const bool ok =
          process_request(stream, served + 1 == kRequestsPerConnection, closed, [&stream](httplib::Request& r) {
            stream.Bound(r.method == "POST" ? kUploadBodyBytes : kHeadBytes, kBodyTime);
          });
      if (!ok || closed || tCloseAfter || stream.Broken()) break;
    }
    tStream = nullptr;
    Leave(address);
    if (tCloseAfter) Linger(sock);
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return true;
}

int RateLimit::Take(const std::string& address) {
  if (perMinute_ <= 0) return 0;
  const Clock::time_point now = Clock::now();
  const double perSecond = perMinute_ / 60.0;
  const std::lock_guard lock(mutex_);
  const auto refill = [&](Bucket& b) {
    b.tokens = std::min<double>(perMinute_, b.tokens + perSecond * std::chrono::duration<double>(now - b.at).count());
    b.at = now;
  };
  if (buckets_.size() >= kAddresses) {
    for (auto it = buckets_.begin(); it != buckets_.end();) {
      refill(it->second);
      it = it->second.tokens >= perMinute_ ? buckets_.erase(it) : std::next(it);
    }
  }
  auto [it, fresh] = buckets_.try_emplace(address, Bucket{static_cast<double>(perMinute_), now});
  Bucket& b = it->second;
  refill(b);
  if (b.tokens >= 1) {
    b.tokens -= 1;
    return 0;
  }
  return static_cast<int>((1 - b.tokens) / perSecond) + 1;
}

}  // namespace zorva
