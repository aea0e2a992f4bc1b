// Splits one line of a world file into tokens: words separated by blanks, ';' as a token of
// its own, "quoted text" as one token (no escapes), and '#' at the start of a token ending the
// line as a comment.
#pragma once

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

namespace znr::world_detail {

struct Token {
  std::string_view text;
  bool quoted = false;
  bool empty() const { return text.empty() && !quoted; }
};

class LineLexer {
 public:
  explicit LineLexer(std::string_view line) : p_(line.data()), end_(line.data() + line.size()) {}

  // The next token, or an empty one at the end of the line. An unclosed quote sets bad_quote()
  // and ends the line.
  Token next() {
    skip_blanks();
    if (p_ == end_ || *p_ == '#') {
      p_ = end_;
      return {};
    }
    if (*p_ == ';') return {std::string_view(p_++, 1), false};
    if (*p_ == '"') {
      const char* start = ++p_;
      while (p_ != end_ && *p_ != '"') ++p_;
      if (p_ == end_) {
        bad_quote_ = true;
        return {};
      }
      return {std::string_view(start, static_cast<size_t>(p_++ - start)), true};
    }
    const char* start = p_;
    while (p_ != end_ && *p_ != ' ' && *p_ != '\t' && *p_ != ';') ++p_;
    return {std::string_view(start, static_cast<size_t>(p_ - start)), false};
  }

  // The next token without taking it.
  Token peek() {
    const char* saved = p_;
    const bool saved_quote = bad_quote_;
    Token t = next();
    p_ = saved;
    bad_quote_ = saved_quote;
    return t;
  }

  bool at_end() {
    skip_blanks();
    return p_ == end_ || *p_ == '#';
  }
  bool bad_quote() const { return bad_quote_; }

 private:
  void skip_blanks() {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\t')) ++p_;
  }

  const char* p_;
  const char* end_;
  bool bad_quote_ = false;
};

enum class NumberStatus { Ok, Bad, OutOfRange, NotFinite };

// Reads the whole of text as a decimal number, independent of the locale. A leading '+' is
// allowed; "inf" and "nan" are refused.
template <class T>
NumberStatus parse_number(std::string_view text, T& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') {
    ++first;
    if (first != last && *first == '-') return NumberStatus::Bad;
  }
  if (first == last) return NumberStatus::Bad;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) return NumberStatus::OutOfRange;
  if (ec != std::errc() || ptr != last) return NumberStatus::Bad;
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(value)) return NumberStatus::NotFinite;
  }
  return NumberStatus::Ok;
}

}  // namespace znr::world_detail
