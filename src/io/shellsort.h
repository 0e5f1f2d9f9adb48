// Shell sort of parallel columns by one key column.
#pragma once
#include <span>

namespace hdfe {

// Sorts entries 1..n of `key` ascending with gaps (n + 1) div 2, halved down to 1;
// entries j and j + g are swapped while key(j) > key(j + g), strictly. Every swap
// exchanges the whole entry: the same positions of `with1` and `with2` move along.
// `with1` and `with2` are empty or as long as `key`.
void shell_sort(std::span<double> key, std::span<double> with1, std::span<double> with2 = {});

}  // namespace hdfe
