// The few numeric and text conversions of the game's runtime.
#pragma once

#include <cstdint>
#include <string>

namespace zorva {

// The largest whole number not greater than x (also below zero: -0.25 -> -1).
double Int(double x);

// Conversion to an integer without Int: nearest whole number, halves to the
// even neighbour. Values beyond the type's range saturate at its limits.
std::int16_t CInt16(double x);
std::int32_t CInt32(double x);

// Int(x) converted to 16 bits, saturating at the limits of the type.
std::int16_t IntTo16(double x);

// Format(value, "0000") / "00000": at least `digits` digits, zero padded on
// the left; numbers with more digits are printed in full.
std::string Format(std::int64_t value, int digits);

// A string of n blanks (none for n <= 0).
std::string Space(int n);

}  // namespace zorva
