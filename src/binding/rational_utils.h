// Rational arithmetic computed locally (only the reduction calls the library).
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

namespace moskvid {

// Sign of a.num * b.den - b.num * a.den: -1, 0 or 1.
int CompareRational(AVRational a, AVRational b);
double RationalToDouble(AVRational value);
// a - b, reduced with numerator and denominator up to 2147483647.
AVRational SubtractRational(AVRational a, AVRational b);
// Nearest rational with numerator and denominator up to `max`.
AVRational DoubleToRational(double value, int max);

template <typename T>
constexpr T Clip(T value, T low, T high) {
  return value < low ? low : (value > high ? high : value);
}

}  // namespace moskvid
