#include "binding/rational_utils.h"

#include <cmath>

#include "binding/entry_points.h"

namespace moskvid {

int CompareRational(AVRational a, AVRational b) {
  const int64_t diff = static_cast<int64_t>(a.num) * b.den - static_cast<int64_t>(b.num) * a.den;
  return diff > 0 ? 1 : (diff < 0 ? -1 : 0);
}

double RationalToDouble(AVRational value) {
  return static_cast<double>(value.num) / static_cast<double>(value.den);
}

AVRational SubtractRational(AVRational a, AVRational b) {
  AVRational result{0, 1};
  ff::av_reduce(&result.num, &result.den,
                static_cast<int64_t>(a.num) * b.den - static_cast<int64_t>(b.num) * a.den,
                static_cast<int64_t>(a.den) * b.den, 2147483647);
  return result;
}

AVRational DoubleToRational(double value, int max) {
  AVRational result{0, 1};
  if (std::isnan(value)) return result;
  if (std::isinf(value)) return AVRational{value < 0 ? -1 : 1, 0};
  int exponent = static_cast<int>(std::log2(std::fabs(value) + 1e-20));
  if (exponent < 0) exponent = 0;
  const int64_t den = int64_t{1} << (61 - exponent);
  ff::av_reduce(&result.num, &result.den, std::llround(value * static_cast<double>(den)), den, max);
  return result;
}

}  // namespace moskvid
