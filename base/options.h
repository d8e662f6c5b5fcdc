// The words of a command line, option by option: "--name VALUE",
// "--name=VALUE", or a word of its own (an argument). What each option means
// is its program's.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace zorva {

class Options {
 public:
  explicit Options(const std::vector<std::string_view>& words) : words_(words) {}

  // Moves to the next word; false after the last.
  bool Next() {
    if (next_ >= words_.size()) return false;
    name_ = words_[next_++];
    attached_.reset();
    if (const std::size_t eq = name_.find('='); name_.rfind("--", 0) == 0 && eq != std::string_view::npos) {
      attached_ = name_.substr(eq + 1);
      name_ = name_.substr(0, eq);
    }
    return true;
  }
  // The option's name ("--scale"), or the word itself.
  std::string_view Name() const { return name_; }
  // Whether the word is an option: a dash and more ("-" alone is a word).
  bool IsOption() const { return name_.size() > 1 && name_[0] == '-'; }
  // Whether a value came after "=".
  bool Attached() const { return attached_.has_value(); }
  // The option's value: the one after "=", or else the next word, which it
  // takes; none at the end.
  std::optional<std::string_view> Value() {
    if (attached_) return attached_;
    if (next_ >= words_.size()) return std::nullopt;
    return words_[next_++];
  }

 private:
  const std::vector<std::string_view>& words_;
  std::size_t next_ = 0;
  std::string_view name_;
  std::optional<std::string_view> attached_;
};

}  // namespace zorva
