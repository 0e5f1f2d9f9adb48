// The CSV tables users give (cycles, routes): UTF-8, a header row of known column names,
// blank lines and lines starting with '#' ignored, one value per field.
#pragma once
#include <cstdint>
#include <functional>
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hdfe {

// Throws Error (BadValue) "file:line: message" at the line.
[[noreturn]] void csv_bad(const std::string& file, int64_t line, const std::string& message);

// The field as a finite number; csv_bad names the column otherwise.
double csv_number(const std::string& file, int64_t line, std::string_view column, std::string_view text);

// Reads the table: the header's names, each one of `known` and none twice (csv_bad
// otherwise), are handed to header(); then each row's fields, as many as the header's and
// trimmed, with its line, to row(). Stops with csv_bad past max_rows rows.
void read_csv_rows(std::istream& in, const std::string& file, std::span<const std::string_view> known,
                   std::size_t max_rows, const std::function<void(std::span<const std::string_view>, int64_t)>& header,
                   const std::function<void(std::span<const std::string_view>, int64_t)>& row);

}  // namespace hdfe
