#include "board/server.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "base/challenge.h"
#include "base/number.h"
#include "board/guard.h"
#include "board/names.h"
#include "board/pages.h"
#include "board/queue.h"
#include "board/store.h"
#include "board/upload.h"

namespace zorva {

namespace {

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// The hall's pages as last rendered, until the database changes (by this
// process or another: the command line's changes show at once). Pages that
// show the week's table have the week in their key. While one thread renders
// a page anew, the others are given the page as it was, so that a busy page is
// never rendered by many threads at once.
class Rendered {
 public:
  explicit Rendered(Store& store) : store_(store) {}
  // The body kept under `key`, or the one `make` renders (nothing: no page).
  template <class Make>
  std::optional<std::string> Get(const std::string& key, Make make) {
    const std::int64_t generation = store_.Changes();
    {
      const std::lock_guard lock(mutex_);
      if (pages_.size() >= kPages) pages_.clear();
      Page& kept = pages_[key];
      if (kept.body && (kept.generation == generation || kept.rendering)) return kept.body;
      kept.rendering = true;
    }
    std::optional<std::string> body;
    try {
      body = make();
    } catch (...) {
      Done(key, nullptr, generation);
      throw;
    }
    Done(key, body ? &*body : nullptr, generation);
    return body;
  }

 private:
  static constexpr std::size_t kPages = 1024;
  struct Page {
    std::optional<std::string> body;
    std::int64_t generation = 0;
    bool rendering = false;
  };
  void Done(const std::string& key, const std::string* body, std::int64_t generation) {
    const std::lock_guard lock(mutex_);
    Page& kept = pages_[key];
    kept.rendering = false;
    if (body) kept.body = *body, kept.generation = generation;
  }
  Store& store_;
  std::mutex mutex_;
  std::unordered_map<std::string, Page> pages_;
};

class Board {
 public:
  explicit Board(const BoardOptions& o)
      : options_(o),
        store_(o.database),
        workers_(o.program, Verifiers(o), store_.Shared() ? 0 : o.queue, o.limits),
        requests_(o.requestsPerMinute),
        uploads_(o.uploadsPerMinute),
        rendered_(store_) {
    if (store_.Shared()) queue_.emplace(store_, workers_, Verifiers(o), std::int64_t{o.leaseSeconds} * 1000);
  }

  void Mount(GuardedServer& server) {
    MountLimits(server);
    MountHall(server);
    MountGames(server);
    MountFailures(server);
  }

 private:
  // Every request: the page's folder, and the limit on requests.
  void MountLimits(GuardedServer& server) {
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      // The page's files name each other relatively: its folder needs its slash.
      if (Watch() && req.path == "/play") {
        Secure(res);
        res.set_redirect("/play/", 301);
        return httplib::Server::HandlerResponse::Handled;
      }
      if (const int wait = Limit(requests_, "requests", options_.requestsPerMinute, req.remote_addr); wait > 0) {
        res.set_header("Retry-After", std::to_string(wait));
        Say(req, res, 429, "Too many requests from your address; try again in " + std::to_string(wait) + " s.");
        return httplib::Server::HandlerResponse::Handled;
      }
      return httplib::Server::HandlerResponse::Unhandled;
    });
  }

  // The tables and the week's challenge.
  void MountHall(GuardedServer& server) {
    server.Get("/", [this](const httplib::Request& req, httplib::Response& res) { Hall(req, res); });
    server.Get("/hall.css", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "max-age=3600");
      res.set_content(std::string(HallStyle()), "text/css; charset=utf-8");
    });
    server.Get("/api/scores", [this](const httplib::Request& req, httplib::Response& res) { Scores(req, res); });
    server.Get("/api/challenge", [this](const httplib::Request&, httplib::Response& res) {
      const Challenge c = store_.ChallengeAt(Now());
      Json(res, 200,
           {{"week", c.week.name},
            {"code", ChallengeCode(c.seed).value_or("")},
            {"seed", c.seed},
            {"starts", Iso(c.week.starts)},
            {"ends", Iso(c.week.ends)}});
    });
  }

  // The games, their uploads, and the page beside them.
  void MountGames(GuardedServer& server) {
    server.Get(R"(/games/(\d{1,18}))", [this](const httplib::Request& req, httplib::Response& res) {
      const std::optional<std::string> page = rendered_.Get(req.path, [&]() -> std::optional<std::string> {
        const std::optional<Entry> e = store_.Find(std::stoll(req.matches[1]));
        if (!e) return std::nullopt;
        return EntryPage(*e, Watch());
      });
      if (!page) return Say(req, res, 404, "No game of that number is in the hall.");
      Html(res, 200, *page);
    });
    server.Get(R"(/games/(\d{1,18})\.zdm)", [this](const httplib::Request& req, httplib::Response& res) {
      const std::string id = req.matches[1];
      const std::optional<std::string> demo = store_.Demo(std::stoll(id));
      if (!demo) return Say(req, res, 404, "No game of that number is in the hall.");
      Secure(res);
      res.set_header("Content-Disposition", "attachment; filename=\"zorva-" + id + ".zdm\"");
      res.set_header("Cache-Control", "max-age=3600");
      res.set_content(*demo, "application/octet-stream");
    });
    server.Post("/api/games", [this](const httplib::Request& req, httplib::Response& res,
                                     const httplib::ContentReader&) { Receive(req, res); });
    server.Get(R"(/api/uploads/(\d{1,18}))", [this](const httplib::Request& req, httplib::Response& res) {
      const std::optional<Store::Upload> upload = store_.FindUpload(std::stoll(req.matches[1]), NowMs());
      if (!upload) return Say(req, res, 404, "No upload of that number is in the hall.");
      Answer(req, res, 200, *upload);
    });
    if (Watch()) {
      server.set_mount_point("/play", options_.page);
      server.set_file_request_handler(
          [](const httplib::Request&, httplib::Response& res) { res.set_header("X-Content-Type-Options", "nosniff"); });
    }
  }

  // Every failure answered in a sentence: the server's own, and those of the routes.
  void MountFailures(GuardedServer& server) {
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([this](const httplib::Request& req, httplib::Response& res) {
          // Called for every status of 400 or more; those of the routes have their sentence.
          if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
          const char* why = res.status == 404   ? "There is nothing here."
                            : res.status == 413 ? "The request is larger than the board takes."
                            : res.status == 414 ? "The address is longer than the board takes."
                                                : "The board could not read the request.";
          Say(req, res, res.status, why);
          return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler([this](const httplib::Request& req, httplib::Response& res, std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const StoreError& error) {
        std::cerr << "zorva-board: " << error.what() << std::endl;
        if (error.unavailable) {
          res.set_header("Retry-After", "5");
          return Say(req, res, 503, "The hall's database cannot be reached; try again in a moment.");
        }
      } catch (const std::exception& error) {
        std::cerr << "zorva-board: " << error.what() << std::endl;
      }
      Say(req, res, 500, "The board failed on this request.");
    });
  }

  bool Watch() const { return !options_.page.empty(); }

  static int Verifiers(const BoardOptions& o) {
    return o.verifiers > 0 ? o.verifiers : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  }

  // A shared hall keeps its per-address limits in the database, and lets a
  // request go when the database cannot say.
  int Limit(RateLimit& local, const char* kind, int perMinute, const std::string& address) {
    if (!store_.Shared()) return local.Take(address);
    try {
      return store_.Limit(kind, address, perMinute, NowMs());
    } catch (const StoreError&) {
      return 0;
    }
  }

  static std::string Iso(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
  }

  static void Secure(httplib::Response& res) {
    res.set_header("Content-Security-Policy", kHallPolicy);
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
  }
  static void Html(httplib::Response& res, int status, const std::string& html) {
    res.status = status;
    Secure(res);
    res.set_header("Cache-Control", "no-cache");
    res.set_content(html, "text/html; charset=utf-8");
  }
  static std::string Text(const nlohmann::json& j) {
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
  static void Json(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    Secure(res);
    res.set_header("Cache-Control", "no-cache");
    res.set_content(text, "application/json");
  }
  static void Json(httplib::Response& res, int status, const nlohmann::json& j) { Json(res, status, Text(j)); }
  // A browser's form gets a page; the API and scripts get JSON.
  static bool WantsHtml(const httplib::Request& req) {
    return !req.path.starts_with("/api/") || req.get_header_value("Accept").find("text/html") != std::string::npos;
  }
  // An answer in a sentence, with the entries it concerns, sent with `status`;
  // `j` holds what else the JSON says, and `said` the status of the answer
  // when it is not the response's own (an upload's, asked after).
  void Say(const httplib::Request& req, httplib::Response& res, int status, const std::string& sentence,
           const std::vector<Entry>& entries = {}, nlohmann::json j = nlohmann::json::object(), int said = 0) {
    said = said ? said : status;
    if (WantsHtml(req)) return Html(res, status, MessagePage(said, sentence, entries, Watch()));
    j[said < 400 ? "message" : "error"] = sentence;
    if (said < 400 && said != 202) {
      j["entries"] = nlohmann::json::array();
      for (const Entry& e : entries) j["entries"].push_back(EntryJson(e, Watch()));
    }
    Json(res, status, j);
  }
  // An upload as it stands, with `status`: once it is settled, its answer
  // (the same, whether its sender waited for it or asks after it); before,
  // where its answer will be.
  void Answer(const httplib::Request& req, httplib::Response& res, int status, const Store::Upload& upload) {
    const std::string link = UploadLink(upload.id);
    if (upload.stage != Store::Upload::Stage::Done) {
      const bool waits = upload.stage == Store::Upload::Stage::Waiting;
      // A page without script asks again by itself.
      if (WantsHtml(req)) res.set_header("Refresh", "2; url=" + link);
      if (status == 202) res.set_header("Location", link);
      return Say(req, res, status,
                 std::string(waits ? "The file is kept and waits for a verifier" : "A verifier is verifying the file") +
                     "; its verdict will be at " + link + ".",
                 {}, {{"upload", link}, {"state", waits ? "waiting" : "verifying"}}, 202);
    }
    Say(req, res, status, upload.answer.sentence, upload.answer.entries,
        {{"upload", link}, {"state", "done"}, {"status", upload.answer.status}}, upload.answer.status);
  }

  // The page number of ?page=, 1 when there is none; nothing for a bad one.
  static std::optional<std::int64_t> Page(const httplib::Request& req) {
    if (!req.has_param("page")) return 1;
    return WholeNumber<std::int64_t>(req.get_param_value("page"), 1, 1000000);
  }

  void Hall(const httplib::Request& req, httplib::Response& res) {
    const std::optional<std::int64_t> page = Page(req);
    if (!page) return Say(req, res, 404, "There is no such page of the hall.");
    Html(res, 200, *rendered_.Get(WeekOf(Now()).name + "/?page=" + std::to_string(*page), [&] {
      HallView view;
      view.challenge = store_.ChallengeAt(Now());
      view.week = store_.Table(view.challenge.week.name, 0, kTablePage + 1);
      view.all = store_.Table("", (*page - 1) * kTablePage, kTablePage + 1);
      view.page = *page;
      view.watch = Watch();
      return std::optional(HallPage(view));
    }));
  }

  void Scores(const httplib::Request& req, httplib::Response& res) {
    const std::optional<std::int64_t> page = Page(req);
    std::string week = req.get_param_value("week");
    if (week == "current") week = store_.ChallengeAt(Now()).week.name;
    // A week's name is as WeekOf writes it: 2025-W03.
    const auto digits = [&](std::size_t from, std::size_t n) {
      return std::all_of(week.begin() + static_cast<std::ptrdiff_t>(from),
                         week.begin() + static_cast<std::ptrdiff_t>(from + n),
                         [](char c) { return c >= '0' && c <= '9'; });
    };
    const bool named = week.size() == 8 && digits(0, 4) && week.substr(4, 2) == "-W" && digits(6, 2);
    if (!page || (!week.empty() && !named)) {
      return Say(req, res, 400, "A table is ?week=current or ?week=2025-W03, a page is ?page=1 or more.");
    }
    Json(res, 200, *rendered_.Get("/api/scores?week=" + week + "&page=" + std::to_string(*page), [&] {
      std::vector<Entry> entries = store_.Table(week, (*page - 1) * kTablePage, kTablePage + 1);
      nlohmann::json j = {{"table", week.empty() ? "all" : week}, {"page", *page}, {"per_page", kTablePage}};
      j["next"] = nullptr;
      if (entries.size() > kTablePage) {
        entries.pop_back();
        j["next"] = "/api/scores?" + (week.empty() ? "" : "week=" + week + "&") + "page=" + std::to_string(*page + 1);
      }
      j["entries"] = nlohmann::json::array();
      for (const Entry& e : entries) j["entries"].push_back(EntryJson(e, Watch()));
      return std::optional(Text(j));
    }));
  }

  void Receive(const httplib::Request& req, httplib::Response& res) {
    const auto refuse = [&](int status, const std::string& sentence) {
      GuardedServer::CloseAfterResponse(res);
      Say(req, res, status, sentence);
    };
    if (const int wait = Limit(uploads_, "uploads", options_.uploadsPerMinute, req.remote_addr); wait > 0) {
      res.set_header("Retry-After", std::to_string(wait));
      return refuse(429, "Too many uploads from your address: at most " + std::to_string(options_.uploadsPerMinute) +
                             " a minute. Send it again in " + std::to_string(wait) + " s.");
    }
    if (!req.has_header("Content-Length")) return refuse(411, "An upload must say its length (Content-Length).");
    const std::optional<std::uint64_t> length =
        WholeNumber<std::uint64_t>(req.get_header_value("Content-Length"), 0, UINT64_MAX);
    if (!length) return refuse(400, "The upload's length (Content-Length) is not a number.");
    if (*length > kUploadBodyBytes) return refuse(413, "The upload is larger than a demo of 1 MiB and its form.");
    std::string body;
    if (!GuardedServer::ReadBody(static_cast<std::size_t>(*length), body)) {
      return refuse(400, "The upload did not come whole, or not in time.");
    }
    Upload upload;
    if (const UploadRefusal bad = ParseUpload(req.get_header_value("Content-Type"), body, upload)) {
      return Say(req, res, bad.status, bad.why);
    }
    std::string why;
    const std::optional<std::string> name = PlayerName(upload.name, why);
    if (!name) return Say(req, res, 400, why);

    if (store_.Shared()) {
      if (store_.Waiting(NowMs()) >= options_.queue) return Busy(req, res);
      const std::int64_t id = store_.Submit(*name, upload.demo, Now());
      return Answer(req, res, 202, {id, Store::Upload::Stage::Waiting, {}});
    }
    UploadVerdict verdict;
    const Workers::Outcome outcome = workers_.Verify(upload.demo, verdict, why);
    if (outcome == Workers::Outcome::Busy) return Busy(req, res);
    const auto [id, answer] = store_.Record(*name, upload.demo, Settle(outcome, verdict, why), Now());
    Answer(req, res, answer.status, {id, Store::Upload::Stage::Done, answer});
  }

  void Busy(const httplib::Request& req, httplib::Response& res) {
    res.set_header("Retry-After", "10");
    Say(req, res, 503, "The board is verifying as many games as it can; send the file again in a minute.");
  }

  const BoardOptions& options_;
  Store store_;
  Workers workers_;
  RateLimit requests_, uploads_;  // of a hall on SQLite
  Rendered rendered_;
  std::optional<Queue> queue_;  // of a shared hall
};

}  // namespace

int Serve(const BoardOptions& options) {
  if (!options.page.empty() && !std::filesystem::is_regular_file(std::filesystem::path(options.page) / "index.html")) {
    std::cerr << "zorva-board: " << options.page << " holds no built page (index.html); make web builds one\n";
    return 2;
  }
  // SIGTERM and SIGINT are waited for by a thread of their own, in every
  // thread blocked before any is started.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  std::optional<Board> board;
  try {
    board.emplace(options);
  } catch (const std::exception& e) {
    std::cerr << "zorva-board: " << e.what() << "\n";
    return 1;
  }
  GuardedServer server(options.threads, options.connectionsPerAddress);
  board->Mount(server);
  const int port = options.port == 0 ? server.bind_to_any_port(options.host) : options.port;
  if (port <= 0 || (options.port != 0 && !server.bind_to_port(options.host, options.port))) {
    std::cerr << "zorva-board: cannot listen on " << options.host << " port " << options.port << "\n";
    return 1;
  }
  server.DeepenBacklog();
  std::thread stopper([&server, &stops] {
    int signal = 0;
    sigwait(&stops, &signal);
    server.stop();
  });
  const std::string host = options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
  std::cout << "zorva-board: the hall is at http://" << host << ":" << port << "/" << std::endl;
  const bool served = server.listen_after_bind();
  if (stopper.joinable()) {
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
  }
  return served ? 0 : 1;
}

}  // namespace zorva
