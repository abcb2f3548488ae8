#include "app/text_utils.h"

#include <cstdio>

#include <cctype>
#include <charconv>
#include <cmath>

namespace strella::app {

std::string Trim(std::string_view s) {
  size_t begin = 0, end = s.size();
  while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  return std::string(s.substr(begin, end - begin));
}

std::string LowerCase(std::string_view s) {
  std::string lower(s);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool Contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

std::vector<std::string> SplitText(std::string_view s, char delimiter) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t pos; (pos = s.find(delimiter, start)) != std::string_view::npos; start = pos + 1)
    parts.emplace_back(s.substr(start, pos - start));
  parts.emplace_back(s.substr(start));
  return parts;
}

std::string FirstWord(std::string_view s) { return std::string(s.substr(0, s.find(' '))); }

// from_chars reads "." as the decimal separator whatever the locale says.
template <typename T>
std::optional<T> ParseNumber(std::string_view s) {
  const std::string text = Trim(s);
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  T value{};
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

std::optional<long long> ParseWhole(std::string_view s) { return ParseNumber<long long>(s); }

std::optional<double> ParseDecimal(std::string_view s) {
  const auto value = ParseNumber<double>(s);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

long long RoundHalfEven(double value) {
  const double floor = std::floor(value);
  const double fraction = value - floor;
  if (fraction > 0.5) return static_cast<long long>(floor) + 1;
  if (fraction < 0.5) return static_cast<long long>(floor);
  const auto whole = static_cast<long long>(floor);
  return whole % 2 == 0 ? whole : whole + 1;
}

std::string FormatClock(long long AMilliseconds) {
  const long long seconds = AMilliseconds > 0 ? AMilliseconds / 1000 : 0;
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  return text;
}

}  // namespace strella::app
