#include "io/csvrows.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>

#include "hdfe/error.h"

namespace hdfe {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

void split(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(trim(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
    if (comma == std::string_view::npos) return;
    start = comma + 1;
  }
}

// Most digits a plain decimal may have for its digits, read as an integer, to be exact in a
// double, as are the powers of ten up to the count of its decimals.
constexpr std::size_t MaxPlainDigits = 15;

// A plain decimal, -?digits[.digits] or with the digits on one side of the point only, of at
// most MaxPlainDigits digits: one correctly rounded division of two exact values, so the
// double from_chars reads. False for any other text, which from_chars reads.
bool plain_decimal(std::string_view text, double& value) {
  static constexpr double Power[MaxPlainDigits + 1] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  uint64_t m = 0;
  std::size_t digits = 0, fraction = 0;
  bool point = false;
  for (; p != end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit <= 9) {
      m = m * 10 + digit;
      ++digits;
      fraction += point ? 1 : 0;
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (digits == 0 || digits > MaxPlainDigits) return false;
  const double x = static_cast<double>(m) / Power[fraction];
  value = negative ? -x : x;
  return true;
}

// The lines of a stream as std::getline gives them, read a block at a time: a line stays
// valid until the next is asked for.
class BlockLines {
 public:
  explicit BlockLines(std::istream& in) : in_(in) {}

  bool next(std::string_view& line) {
    std::size_t from = at_;  // where the search for the line end goes on
    for (;;) {
      const std::size_t end = text_.find('\n', from);
      if (end != std::string::npos) {
        line = std::string_view(text_).substr(at_, end - at_);
        at_ = end + 1;
        return true;
      }
      if (ended_) {
        if (at_ == text_.size()) return false;
        line = std::string_view(text_).substr(at_);  // the last line, without its line end
        at_ = text_.size();
        return true;
      }
      from = text_.size() - at_;
      text_.erase(0, at_);  // the start of a line the next block goes on with
      at_ = 0;
      if (!block_) block_ = std::make_unique_for_overwrite<char[]>(Block);
      in_.read(block_.get(), static_cast<std::streamsize>(Block));
      const auto got = static_cast<std::size_t>(in_.gcount());
      text_.append(block_.get(), got);
      ended_ = got < Block;
    }
  }

 private:
  static constexpr std::size_t Block = 1 << 16;
  std::istream& in_;
  std::unique_ptr<char[]> block_;  // what a read takes, before it joins text_
  std::string text_;
  std::size_t at_ = 0;  // where the next line starts
  bool ended_ = false;  // the stream has no more
};

}  // namespace

void csv_bad(const std::string& file, int64_t line, const std::string& message) {
  const std::string where = line > 0 ? file + ":" + std::to_string(line) : file;
  throw Error(ErrorKind::BadValue, where + ": " + message, file, line);
}

namespace {

// csv_number of any other text than a plain decimal, kept apart so that the plain case
// stays a short call.
[[gnu::noinline]] double any_number(const std::string& file, int64_t line, std::string_view column,
                                    std::string_view text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    csv_bad(file, line, "the " + std::string(column) + " value '" + std::string(text) + "' is not a number");
  }
  if (!std::isfinite(value)) {
    csv_bad(file, line, "the " + std::string(column) + " value '" + std::string(text) + "' is not a finite number");
  }
  return value + 0.0;  // -0 reads as 0
}

}  // namespace

double csv_number(const std::string& file, int64_t line, std::string_view column, std::string_view text) {
  double value = 0.0;
  if (plain_decimal(text, value)) return value + 0.0;  // -0 reads as 0
  return any_number(file, line, column, text);
}

void read_csv_rows(std::istream& in, const std::string& file, std::span<const std::string_view> known,
                   std::size_t max_rows, const std::function<void(std::span<const std::string_view>, int64_t)>& header,
                   const std::function<void(std::span<const std::string_view>, int64_t)>& row) {
  BlockLines lines(in);
  std::string_view view;
  std::vector<std::string_view> fields;
  std::size_t columns = 0;
  std::size_t rows = 0;
  int64_t line = 0;
  while (lines.next(view)) {
    ++line;
    if (line == 1 && view.starts_with("\xEF\xBB\xBF")) view.remove_prefix(3);
    view = trim(view);
    if (view.empty() || view.front() == '#') continue;
    split(view, fields);
    if (columns == 0) {
      for (std::size_t j = 0; j < fields.size(); ++j) {
        if (std::find(known.begin(), known.end(), fields[j]) == known.end()) {
          csv_bad(file, line, "unknown column '" + std::string(fields[j]) + "'");
        }
        if (std::find(fields.begin(), fields.begin() + static_cast<std::ptrdiff_t>(j), fields[j]) !=
            fields.begin() + static_cast<std::ptrdiff_t>(j)) {
          csv_bad(file, line, "the column '" + std::string(fields[j]) + "' is given twice");
        }
      }
      columns = fields.size();
      header(fields, line);
      continue;
    }
    if (fields.size() != columns) {
      csv_bad(file, line, std::to_string(fields.size()) + " fields where the header has " + std::to_string(columns));
    }
    if (++rows > max_rows) csv_bad(file, line, "more than " + std::to_string(max_rows) + " rows");
    row(fields, line);
  }
  if (in.bad()) throw Error(ErrorKind::BadValue, file + ": the file cannot be read", file, line);
  if (columns == 0) csv_bad(file, line, "no header row");
}

}  // namespace hdfe
