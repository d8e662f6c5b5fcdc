// What the hall shows: its pages, rendered on the server as HTML that works
// without script (every text from a player escaped, names isolated from the
// direction of the text around them), and the same entries as JSON.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "board/store.h"

namespace zorva {

// The Content-Security-Policy of every page of the hall: nothing but its own
// style sheet, and forms only to itself.
inline constexpr const char* kHallPolicy =
    "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";
// How many entries a page of a table holds.
inline constexpr int kTablePage = 50;

// `text` with & < > " ' as character references.
std::string Escaped(std::string_view text);

// Where a game is watched in the page served beside the hall, and downloaded.
std::string WatchLink(std::int64_t id);
std::string DemoLink(std::int64_t id);
// Where an upload's answer is, once it is settled.
std::string UploadLink(std::int64_t id);

struct HallView {
  Challenge challenge;
  std::vector<Entry> week, all;  // one page of each, and one entry more when there is a next page
  std::int64_t page = 1;         // of the all-time table
  bool watch = false;            // the page is served, so games can be watched
};
std::string HallPage(const HallView& view);
std::string EntryPage(const Entry& entry, bool watch);
// An answer in a sentence (an upload's, or a refusal), with the entries it
// made; 202 for an upload still waiting for its answer.
std::string MessagePage(int status, const std::string& sentence, const std::vector<Entry>& entries, bool watch);

nlohmann::json EntryJson(const Entry& entry, bool watch);
// The style sheet of the hall's pages.
std::string_view HallStyle();

}  // namespace zorva
