// Small text helpers of the application logic.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace strella::app {

std::string Trim(std::string_view s);
std::string LowerCase(std::string_view s);
bool Contains(std::string_view s, std::string_view part);
std::vector<std::string> SplitText(std::string_view s, char delimiter);
// The text before the first blank (all of it without a blank).
std::string FirstWord(std::string_view s);
// A whole decimal number or a decimal fraction filling the whole text, or nothing.
std::optional<long long> ParseWhole(std::string_view s);
std::optional<double> ParseDecimal(std::string_view s);
// Nearest whole number, a half to the even neighbour.
long long RoundHalfEven(double value);
// A play time as people read it: "0:12", "1:30", "1:02:03" (whole seconds; negative reads 0:00).
std::string FormatClock(long long AMilliseconds);

}  // namespace strella::app
