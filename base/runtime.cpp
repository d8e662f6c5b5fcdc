#include "base/runtime.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace zorva {

double Int(double x) { return std::floor(x); }

namespace {
template <class T>
T RoundHalfEven(double x) {
  if (std::isnan(x)) return 0;
  const double r = std::nearbyint(x);  // default rounding mode: to nearest, ties to even
  if (r <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (r >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(r);
}
}  // namespace

std::int16_t CInt16(double x) { return RoundHalfEven<std::int16_t>(x); }
std::int32_t CInt32(double x) { return RoundHalfEven<std::int32_t>(x); }
std::int16_t IntTo16(double x) { return RoundHalfEven<std::int16_t>(Int(x)); }

std::string Format(std::int64_t value, int digits) {
  char buf[32];
  const bool negative = value < 0;
  // Magnitude in unsigned arithmetic so that the most negative value is fine.
  std::uint64_t mag = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::snprintf(buf, sizeof buf, "%s%0*llu", negative ? "-" : "", digits < 1 ? 1 : (digits > 20 ? 20 : digits),
                static_cast<unsigned long long>(mag));
  return buf;
}

std::string Space(int n) { return n > 0 ? std::string(static_cast<std::size_t>(n), ' ') : std::string(); }

}  // namespace zorva
