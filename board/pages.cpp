#include "board/pages.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "base/challenge.h"

namespace zorva {

namespace {

std::string Date(std::int64_t seconds, const char* format = "%Y-%m-%d") {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[40];
  std::strftime(text, sizeof text, format, &tm);
  return text;
}

// 83,450 ms as "1:23.4".
std::string Duration(std::int64_t ms) {
  char text[40];
  std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64 ".%" PRId64, ms / 60000, ms / 1000 % 60, ms / 100 % 10);
  return text;
}

std::string Head(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<title>" +
         Escaped(title) +
         "</title><link rel=\"stylesheet\" href=\"/hall.css\"></head>\n<body>"
         "<header><h1><a href=\"/\">ZORVA hall of fame</a></h1></header>\n";
}

constexpr const char* kTail = "</body></html>\n";

std::string Links(const Entry& e, bool watch) {
  std::string links;
  if (watch) links += "<a href=\"" + WatchLink(e.id) + "\">Watch</a> ";
  return links + "<a href=\"" + DemoLink(e.id) + "\" download>Download</a>";
}

std::string Name(const Entry& e) {
  return "<a href=\"/games/" + std::to_string(e.id) + "\"><bdi>" + Escaped(e.name) + "</bdi></a>";
}

// One page of a table; `more` says whether a next page exists.
std::string Table(const std::vector<Entry>& entries, bool watch) {
  if (entries.empty()) return "<p class=\"empty\">No games yet.</p>\n";
  std::string html =
      "<table><thead><tr><th>Rank</th><th>Name</th><th>Score</th><th>Frames</th><th>Duration</th><th>Date</th>"
      "<th></th></tr></thead><tbody>\n";
  for (std::size_t i = 0; i < entries.size() && i < kTablePage; ++i) {
    const Entry& e = entries[i];
    html += "<tr><td>" + std::to_string(e.rank) + "</td><td>" + Name(e) + "</td><td>" + std::to_string(e.score) +
            "</td><td>" + std::to_string(e.frames) + "</td><td>" + Duration(e.durationMs) + "</td><td>" +
            Date(e.created) + "</td><td>" + Links(e, watch) + "</td></tr>\n";
  }
  return html + "</tbody></table>\n";
}

constexpr const char* kUploadForm =
    "<section class=\"upload\"><h2>Send a game</h2>\n"
    "<form method=\"post\" action=\"/api/games\" enctype=\"multipart/form-data\">"
    "<label>Name <input name=\"name\" required maxlength=\"24\" autocomplete=\"nickname\"></label> "
    "<label>Demo <input type=\"file\" name=\"demo\" accept=\".zdm\" required></label> "
    "<button type=\"submit\">Send</button></form>\n"
    "<p>A demo is recorded by <code>zorva --record run.zdm</code> (or saved from the page). The hall verifies every "
    "game of the file on its own copy of the game and enters each one it verifies, up to 1 MiB a file. A game is "
    "ranked when the file starts from the program's start and WAIT is checked throughout.</p></section>\n";

}  // namespace

std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string WatchLink(std::int64_t id) { return "/play/#demo-url=" + DemoLink(id); }
std::string DemoLink(std::int64_t id) { return "/games/" + std::to_string(id) + ".zdm"; }
std::string UploadLink(std::int64_t id) { return "/api/uploads/" + std::to_string(id); }

std::string HallPage(const HallView& v) {
  const Week& w = v.challenge.week;
  std::string html = Head("ZORVA hall of fame");
  if (v.watch) html += "<nav><a href=\"/play/\">Play ZORVA</a></nav>\n";
  html += "<main class=\"tables\">\n<section><h2>This week's challenge</h2>\n<p>Week " + w.name + ", " +
          Date(w.starts, "%A %-d %B") + " to " + Date(w.ends - 1, "%A %-d %B %Y") + " (UTC). Challenge code <code>" +
          ChallengeCode(v.challenge.seed).value_or("") +
          "</code>: every game of a challenge run starts from this seed, the same for every player, so these "
          "scores are of the same games.</p>\n" +
          Table(v.week, v.watch) +
          "</section>\n<section><h2>All time</h2>\n<p>Every verified game ranked: from the "
          "program's start, WAIT checked throughout. The seeds are the players' own, and a seed can be chosen, so "
          "these are not all the same games.</p>\n" +
          Table(v.all, v.watch);
  if (v.page > 1 || v.all.size() > kTablePage) {
    html += "<p class=\"pages\">";
    if (v.page > 1) html += "<a href=\"/?page=" + std::to_string(v.page - 1) + "\">Better scores</a> ";
    if (v.all.size() > kTablePage) html += "<a href=\"/?page=" + std::to_string(v.page + 1) + "\">Lower scores</a>";
    html += "</p>\n";
  }
  return html + "</section>\n</main>\n" + kUploadForm + kTail;
}

std::string EntryPage(const Entry& e, bool watch) {
  std::string html = Head(e.name + ": " + std::to_string(e.score) + " points, ZORVA hall of fame");
  html += "<main><h2><bdi>" + Escaped(e.name) + "</bdi>: " + std::to_string(e.score) + " points</h2>\n<dl>";
  const auto item = [&html](const std::string& term, const std::string& what) {
    html += "<dt>" + term + "</dt><dd>" + what + "</dd>";
  };
  item("Rank", e.ranked ? std::to_string(e.rank) + " of all time" : "not ranked: " + Escaped(e.reason));
  if (!e.week.empty()) item("Challenge", "week " + Escaped(e.week));
  item("Frames", std::to_string(e.frames));
  item("Duration", Duration(e.durationMs));
  item("Date", Date(e.created, "%Y-%m-%d %H:%M UTC"));
  item("Seed", std::to_string(e.seed));
  item("Game", std::to_string(e.game) + " of its file");
  item("Verdict", "<samp>" + Escaped(e.line) + "</samp>");
  return html + "</dl>\n<p>" + Links(e, watch) + "</p></main>\n" + kTail;
}

std::string MessagePage(int status, const std::string& sentence, const std::vector<Entry>& entries, bool watch) {
  std::string html = Head(status == 202  ? "Waiting, ZORVA hall of fame"
                          : status < 300 ? "Entered, ZORVA hall of fame"
                                         : "Refused, ZORVA hall of fame");
  html += "<main><p class=\"message\">" + Escaped(sentence) + "</p>\n";
  if (!entries.empty()) html += "<ul>";
  for (const Entry& e : entries) {
    html += "<li>" + Name(e) + ": " + std::to_string(e.score) + " points, " +
            (e.ranked ? "rank " + std::to_string(e.rank) : "not ranked: " + Escaped(e.reason)) + " " + Links(e, watch) +
            "</li>";
  }
  if (!entries.empty()) html += "</ul>\n";
  return html + "<p><a href=\"/\">Back to the hall</a></p></main>\n" + kTail;
}

nlohmann::json EntryJson(const Entry& e, bool watch) {
  nlohmann::json j = {{"id", e.id},
                      {"name", e.name},
                      {"score", e.score},
                      {"frames", e.frames},
                      {"duration_ms", e.durationMs},
                      {"date", Date(e.created, "%Y-%m-%dT%H:%M:%SZ")},
                      {"game", e.game},
                      {"seed", e.seed},
                      {"ranked", e.ranked},
                      {"verdict", e.line},
                      {"url", "/games/" + std::to_string(e.id)},
                      {"demo", DemoLink(e.id)}};
  if (e.ranked) j["rank"] = e.rank;
  if (!e.ranked) j["reason"] = e.reason;
  if (!e.week.empty()) j["week"] = e.week;
  if (watch) j["watch"] = WatchLink(e.id);
  return j;
}

std::string_view HallStyle() {
  return "body{margin:0 auto;max-width:72rem;padding:0 1rem 2rem;background:#05050f;color:#e8e8f0;"
         "font:16px/1.45 system-ui,sans-serif}a{color:#7fd4ff}h1 a{color:inherit;text-decoration:none}"
         "h1{font-size:1.6rem;letter-spacing:.2em}code,samp{font-size:.95em;color:#ffd36b}"
         ".tables{display:grid;grid-template-columns:repeat(auto-fit,minmax(34rem,1fr));gap:2rem}"
         ".tables section{min-width:0;overflow-x:auto}"
         "table{border-collapse:collapse;width:100%;font-size:.92em}th,td{padding:.2rem "
         ".4rem;text-align:right;white-space:nowrap}"
         "th:nth-child(2),td:nth-child(2){text-align:left;white-space:normal}td:last-child{white-space:normal}"
         "tbody tr:nth-child(odd){background:#10102a}.empty{color:#9090a8}"
         "form{display:flex;flex-wrap:wrap;gap:1rem;align-items:center}dt{color:#9090a8}dd{margin:0 0 .6rem}\n";
}

}  // namespace zorva
