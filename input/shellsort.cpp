#include "input/shellsort.h"

#include <cstddef>
#include <utility>

namespace {

void SWAPENTRY(std::span<double> column, std::size_t a, std::size_t b) {
  if (!column.empty()) std::swap(column[a], column[b]);
}

}  // namespace

void SHELLSORT(std::span<double> key, std::span<double> with1, std::span<double> with2) {
  // 1-based positions as signed values, so that j may step below 1.
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(key.size());
  for (std::ptrdiff_t g = (n + 1) / 2; g > 0; g /= 2) {
    for (std::ptrdiff_t k = g + 1; k <= n; ++k) {
      for (std::ptrdiff_t j = k - g; j >= 1 && key[j - 1] > key[j + g - 1]; j -= g) {
        const auto a = static_cast<std::size_t>(j - 1);
        const auto b = static_cast<std::size_t>(j + g - 1);
        SWAPENTRY(key, a, b);
        SWAPENTRY(with1, a, b);
        SWAPENTRY(with2, a, b);
      }
    }
  }
}
