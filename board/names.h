// Players' names: 1 to 24 characters (code points) of UTF-8, each a letter, a
// digit, the ordinary space or a punctuation mark or symbol of any script.
// Control characters, the invisible format characters (the bidirectional
// ones among them, which would turn the text around them), private-use
// characters and spaces other than the ordinary one are refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorva {

inline constexpr int kNameMaxCharacters = 24;

// The name `text` gives, without the spaces around it, or nothing, with
// `why` set to a sentence that says what is wrong.
std::optional<std::string> PlayerName(std::string_view text, std::string& why);

}  // namespace zorva
