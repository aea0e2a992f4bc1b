// Splits one line of a world file into tokens: words separated by blanks, ';' as a token of
// its own, "quoted text" as one token (no escapes), and '#' at the start of a token ending the
// line as a comment.
#pragma once

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

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

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Plain decimals such as "-12.5" or "300" with few digits: the digits make an exact integer
// and the power of ten is exact too, so one division (which IEEE arithmetic rounds correctly)
// gives the same value as std::from_chars, only faster. false: not such a number, use the
// general path.
template <class T>
bool parse_plain_decimal(const char* p, const char* last, T& value) {
  constexpr bool kFloat = std::is_same_v<T, float>;
  constexpr int kMaxDigits = kFloat ? 7 : 15;     // below 2^24 or 2^53
  constexpr int kMaxFraction = kFloat ? 10 : 22;  // exact powers of ten
  const bool negative = p != last && *p == '-';
  if (negative) ++p;
  uint64_t mantissa = 0;
  int digits = 0, fraction = 0;
  bool dot = false;
  for (; p != last; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      if (++digits > kMaxDigits) return false;
      mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
      if (dot) ++fraction;
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      return false;
    }
  }
  if (digits == 0 || fraction > kMaxFraction) return false;
  const T v = static_cast<T>(mantissa) / static_cast<T>(kPowersOfTen[fraction]);
  value = negative ? -v : v;
  return true;
}

// Whether a decimal that std::from_chars found out of range is so small that it rounds to
// zero (rather than so large that it is infinite). Only on that rare path.
inline bool rounds_to_zero(std::string_view text) {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
  const std::string copy(text);
  return std::fabs(strtod_l(copy.c_str(), nullptr, c_locale)) < 1.0;
}

// Reads the whole of text as a decimal number, independent of the locale. A leading '+' is
// allowed; "inf" and "nan" are refused. A number too small to represent (1e-400) reads as 0.
template <class T>
NumberStatus parse_number(std::string_view text, T& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') {
    ++first;
    if (first != last && *first == '-') return NumberStatus::Bad;
  }
  if (first == last) return NumberStatus::Bad;
  if constexpr (std::is_floating_point_v<T>) {
    if (parse_plain_decimal(first, last, value)) return NumberStatus::Ok;
  }
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range && ptr == last && std::is_floating_point_v<T> &&
      rounds_to_zero(text)) {
    value = *first == '-' ? -T{0} : T{0};
    return NumberStatus::Ok;
  }
  if (ec == std::errc::result_out_of_range) return NumberStatus::OutOfRange;
  if (ec != std::errc() || ptr != last) return NumberStatus::Bad;
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(value)) return NumberStatus::NotFinite;
  }
  return NumberStatus::Ok;
}

}  // namespace znr::world_detail
