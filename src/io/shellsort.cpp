#include "io/shellsort.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <utility>
#include <vector>

namespace hdfe {

namespace {

void swap_entry(std::span<double> column, std::size_t a, std::size_t b) {
  if (!column.empty()) std::swap(column[a], column[b]);
}

// The gap passes entry by entry. Used when a key is NaN: no comparison moves a NaN, nor
// anything past it, which no ordering can reproduce.
void swap_sort(std::span<double> key, std::span<double> with1, std::span<double> with2) {
  // 1-based positions as signed values, so that j may step below 1.
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(key.size());
  for (std::ptrdiff_t g = (n + 1) / 2; g > 0; g /= 2) {
    for (std::ptrdiff_t k = g + 1; k <= n; ++k) {
      for (std::ptrdiff_t j = k - g; j >= 1 && key[j - 1] > key[j + g - 1]; j -= g) {
        const auto a = static_cast<std::size_t>(j - 1);
        const auto b = static_cast<std::size_t>(j + g - 1);
        swap_entry(key, a, b);
        swap_entry(with1, a, b);
        swap_entry(with2, a, b);
      }
    }
  }
}

// Puts the entries of the chain r, r + g, r + 2g, ... (0-based) of every column into the
// chain order `order`.
void reorder(std::span<double> column, std::size_t r, std::size_t g, const std::vector<std::size_t>& order,
             std::vector<double>& scratch) {
  if (column.empty()) return;
  scratch.resize(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) scratch[i] = column[r + order[i] * g];
  for (std::size_t i = 0; i < order.size(); ++i) column[r + i * g] = scratch[i];
}

}  // namespace

// A pass of gap g moves every entry down its chain (the entries g apart) while the entry
// before it has a strictly greater key: an insertion sort of each chain that never passes
// an equal key, that is the chain's stable sort. Sorting each chain stably gives the same
// order in O(n log n) per pass, where the entry-by-entry passes can take O(n^2).
void shell_sort(std::span<double> key, std::span<double> with1, std::span<double> with2) {
  if (std::any_of(key.begin(), key.end(), [](double k) { return std::isnan(k); })) {
    swap_sort(key, with1, with2);
    return;
  }
  // Keys in order, none NaN: every chain is in order already and no pass moves an entry.
  if (std::is_sorted(key.begin(), key.end())) return;
  const std::size_t n = key.size();
  std::vector<std::size_t> order;
  std::vector<double> scratch;
  for (std::size_t g = (n + 1) / 2; g > 0; g /= 2) {
    for (std::size_t r = 0; r < g && r < n; ++r) {
      order.resize((n - r + g - 1) / g);
      std::iota(order.begin(), order.end(), std::size_t{0});
      const auto before = [&](std::size_t a, std::size_t b) { return key[r + a * g] < key[r + b * g]; };
      if (std::is_sorted(order.begin(), order.end(), before)) continue;
      std::stable_sort(order.begin(), order.end(), before);
      reorder(with1, r, g, order, scratch);
      reorder(with2, r, g, order, scratch);
      reorder(key, r, g, order, scratch);
    }
  }
}

}  // namespace hdfe
