#include "hdfe/freeform.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "io/fields.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

enum class Item { Value, Null, Slash, End };

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_sign(char c) { return c == '+' || c == '-'; }
bool is_blank_char(char c) { return c == ' ' || c == '\t'; }
// A value ends at a blank, a comma, a slash or the end of its record.
bool ends_value(char c) { return is_blank_char(c) || c == ',' || c == '/'; }
bool at_value_end(const RecordInput& in) {
  return in.pos >= in.record.size() || ends_value(in.record[in.pos]);
}

// Opens the next record, reading the stream only now so that a console is never read
// ahead. False at the end of the input.
bool next_record(RecordInput& in) {
  in.record = {};
  in.pos = 0;
  if (in.stream != nullptr) {
    in.inRecord = static_cast<bool>(std::getline(*in.stream, in.streamed));
    if (in.inRecord) in.record = in.streamed;
  } else {
    in.inRecord = in.textPos < in.text.size();
    if (in.inRecord) {
      const char* const start = in.text.data() + in.textPos;
      const std::size_t left = in.text.size() - in.textPos;
      const void* const lf = std::memchr(start, '\n', left);
      const std::size_t size = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) : left;
      in.record = std::string_view(start, size);
      in.textPos += size + 1;
    }
  }
  if (in.inRecord) ++in.line;
  if (in.inRecord && !in.record.empty() && in.record.back() == '\r') in.record.remove_suffix(1);
  return in.inRecord;
}

// Moves to the next item of the read, passing blanks and record ends. A comma directly
// after a value is its separator; a comma after a separator comma (or at the start of
// the read) stands for a null value and is taken.
Item next_item(RecordInput& in, bool& afterComma) {
  for (;;) {
    if (in.pos >= in.record.size()) {
      if (!next_record(in)) return Item::End;
      continue;
    }
    const char c = in.record[in.pos];
    if (c == '/') return Item::Slash;
    if (is_blank_char(c)) {
      ++in.pos;
    } else if (c == ',') {
      ++in.pos;
      if (afterComma) return Item::Null;
      afterComma = true;
    } else {
      return Item::Value;
    }
  }
}

// Takes a repeat count "r*" at the cursor: r, or 1 without one, 0 for a zero count.
// Counts beyond any list length saturate.
uint64_t repeat_count(RecordInput& in) {
  constexpr uint64_t Saturated = uint64_t{1} << 40;
  std::size_t p = in.pos;
  uint64_t r = 0;
  for (; p < in.record.size() && is_digit(in.record[p]); ++p) {
    r = r >= Saturated ? r : r * 10 + static_cast<uint64_t>(in.record[p] - '0');
  }
  if (p == in.pos || p >= in.record.size() || in.record[p] != '*') return 1;
  in.pos = p + 1;
  return r;
}

// Converts the text of a real, already checked, correctly rounded: std::from_chars gives
// the values of strtod without its locale and allocation. A value that underflows or
// overflows is left to strtod, whose zero or infinity the caller judges.
bool convert_real(const char* first, const char* last, double& x) {
  const auto result = std::from_chars(first, last, x, std::chars_format::general);
  if (result.ec == std::errc() && result.ptr == last) return true;
  if (result.ec != std::errc::result_out_of_range) return false;
  x = std::strtod(std::string(first, last).c_str(), nullptr);
  return true;
}

// Digits of a decimal that exact_decimal converts: its digits as an integer and the
// power of ten it is divided by are both exact doubles.
constexpr std::size_t MaxExactDigits = 15;

// A decimal without exponent of at most MaxExactDigits digits, given as its digits read as
// an integer and the count of those after the point, and its sign: one correctly rounded
// division of two exact values, so the double from_chars reads.
double exact_decimal(uint64_t m, std::size_t fraction, bool negative) {
  static constexpr double Power[MaxExactDigits + 1] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const double x = static_cast<double>(m) / Power[fraction];
  return negative ? -x : x;
}

// [+-]digits[.digits][(E|e|D|d)[+-]digits | (+|-)digits], at least one mantissa digit.
// A D or bare-sign exponent is rewritten with an 'e' for the conversion.
bool parse_real(std::string_view t, double& value) {
  std::size_t p = 0;
  std::size_t digits = 0;
  uint64_t m = 0;  // the mantissa's digits as an integer, while there are at most MaxExactDigits
  if (p < t.size() && is_sign(t[p])) ++p;
  for (; p < t.size() && is_digit(t[p]); ++p, ++digits) {
    m = m * 10 + static_cast<uint64_t>(t[p] - '0');
  }
  const std::size_t whole = digits;
  if (p < t.size() && t[p] == '.') ++p;
  for (; p < t.size() && is_digit(t[p]); ++p, ++digits) {
    m = m * 10 + static_cast<uint64_t>(t[p] - '0');
  }
  if (digits == 0) return false;
  const std::size_t mantissaEnd = p;
  bool plainExponent = true;  // none, or E/e with the sign, if any, right after it
  if (p < t.size()) {
    const char c = t[p];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      plainExponent = c == 'E' || c == 'e';
      ++p;
    } else if (!is_sign(c)) {
      return false;
    } else {
      plainExponent = false;
    }
    if (p < t.size() && is_sign(t[p])) ++p;
    const std::size_t first = p;
    for (; p < t.size() && is_digit(t[p]); ++p) {
    }
    if (p == first || p != t.size()) return false;
  }
  const std::size_t start = t[0] == '+' ? 1 : 0;  // from_chars takes no plus sign
  double x = 0.0;
  if (mantissaEnd == t.size() && digits <= MaxExactDigits) {
    x = exact_decimal(m, digits - whole, t[0] == '-');
  } else if (plainExponent) {
    if (!convert_real(t.data() + start, t.data() + t.size(), x)) return false;
  } else {
    std::string n(t.substr(start, mantissaEnd - start));
    n += 'e';
    const std::size_t exponent = is_sign(t[mantissaEnd]) ? mantissaEnd : mantissaEnd + 1;
    n += t.substr(exponent);
    if (!convert_real(n.data(), n.data() + n.size(), x)) return false;
  }
  if (!std::isfinite(x)) return false;  // beyond the range of a 64-bit float
  value = x;
  return true;
}

// [+-]digits, within the 32-bit range.
bool parse_int(std::string_view t, int32_t& value) {
  constexpr int64_t Limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  std::size_t p = 0;
  const bool negative = !t.empty() && t[0] == '-';
  if (!t.empty() && is_sign(t[0])) p = 1;
  if (p == t.size()) return false;
  int64_t m = 0;
  for (; p < t.size(); ++p) {
    if (!is_digit(t[p])) return false;
    m = m * 10 + (t[p] - '0');
    if (m > Limit) return false;
  }
  if (!negative && m == Limit) return false;
  value = static_cast<int32_t>(negative ? -m : m);
  return true;
}

// Stores an undelimited value in each target in turn.
ReadStatus store_token(std::string_view token, std::span<const ReadTarget> targets) {
  bool cut = false;
  for (const ReadTarget& t : targets) {
    bool ok = true;
    if (t.kind == FieldKind::Real) {
      ok = parse_real(token, *t.real);
    } else if (t.kind == FieldKind::Integer) {
      ok = parse_int(token, *t.integer);
    } else {
      *t.text = text_field(token);
      cut = cut || trimmed(token).size() > TextFieldLength;
    }
    if (!ok) return ReadStatus::Bad;
  }
  return cut ? ReadStatus::TooLong : ReadStatus::Done;
}

// Appends as much of piece as the field has room for; cut becomes true when a character
// other than a blank is left out.
void append_cut(std::string& text, std::string_view piece, bool& cut) {
  const std::size_t room = TextFieldLength - std::min(text.size(), TextFieldLength);
  text.append(piece.substr(0, room));
  if (piece.size() > room && piece.find_first_not_of(' ', room) != std::string_view::npos) cut = true;
}

// Takes a text between apostrophes or double quotes, the cursor on the opening one.
// A doubled delimiter stands for one; a record end inside adds nothing. Only the
// first TextFieldLength characters are kept; cut tells whether anything but blanks was left out.
ReadStatus quoted(RecordInput& in, std::string& text, bool& cut) {
  const char quote = in.record[in.pos++];
  for (;;) {
    const std::size_t close = in.record.find(quote, in.pos);
    if (close == std::string_view::npos) {
      append_cut(text, in.record.substr(in.pos), cut);
      if (!next_record(in)) return ReadStatus::End;
      continue;
    }
    append_cut(text, in.record.substr(in.pos, close - in.pos), cut);
    in.pos = close + 1;
    if (in.pos >= in.record.size() || in.record[in.pos] != quote) break;
    append_cut(text, std::string_view(&quote, 1), cut);
    ++in.pos;
  }
  return at_value_end(in) ? ReadStatus::Done : ReadStatus::Bad;
}

// Reads one value at the cursor and stores it in every target of its repeat group.
ReadStatus take_value(RecordInput& in, std::span<const ReadTarget> group) {
  const char first = in.record[in.pos];
  if (first != '\'' && first != '"') {
    std::size_t end = in.pos;
    while (end < in.record.size() && !ends_value(in.record[end])) ++end;
    const std::string_view token = in.record.substr(in.pos, end - in.pos);
    in.pos = end;
    return store_token(token, group);
  }
  for (const ReadTarget& t : group) {
    if (t.kind != FieldKind::Text) return ReadStatus::Bad;
  }
  std::string text;
  bool cut = false;
  const ReadStatus status = quoted(in, text, cut);
  if (status != ReadStatus::Done) return status;
  const std::string field = text_field(text);
  for (const ReadTarget& t : group) *t.text = field;
  return cut ? ReadStatus::TooLong : ReadStatus::Done;
}

// Adds the digits from p on (up to end) to m, each as m * 10 + digit; gives the first place
// past them.
const char* take_digits(const char* p, const char* const end, uint64_t& m) {
  for (; p != end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit > 9) break;
    m = m * 10 + digit;
  }
  return p;
}

// Most targets plain_reals takes.
constexpr std::size_t MaxPlainReals = 4;

// The common record of a data file: the targets all reals, whose values are plain decimals
// of at most MaxExactDigits digits ([+-]digits[.digits]), each after blanks and before a
// blank or the record's end. Stores them as fill_values would, in one scan. False, with
// nothing stored, for any other read, which fill_values then makes from the record's start.
bool plain_reals(RecordInput& in, std::span<const ReadTarget> targets) {
  if (targets.size() > MaxPlainReals) return false;
  std::array<double, MaxPlainReals> values{};
  const char* p = in.record.data();
  const char* const end = p + in.record.size();
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (targets[i].kind != FieldKind::Real) return false;
    while (p != end && is_blank_char(*p)) ++p;
    if (p == end) return false;  // the read goes on in the next record
    const bool negative = *p == '-';
    if (is_sign(*p)) ++p;
    uint64_t m = 0;
    const char* const first = p;
    p = take_digits(p, end, m);
    std::size_t digits = static_cast<std::size_t>(p - first);
    std::size_t fraction = 0;
    if (p != end && *p == '.') {
      const char* const point = ++p;
      p = take_digits(p, end, m);
      fraction = static_cast<std::size_t>(p - point);
    }
    digits += fraction;
    if (digits == 0 || digits > MaxExactDigits) return false;
    if (p != end && !is_blank_char(*p)) return false;  // a separator, an exponent, a repeat or a bad value
    values[i] = exact_decimal(m, fraction, negative);
  }
  for (std::size_t i = 0; i < targets.size(); ++i) *targets[i].real = values[i];
  in.pos = static_cast<std::size_t>(p - in.record.data());
  return true;
}

ReadStatus fill_values(RecordInput& in, std::span<const ReadTarget> targets) {
  bool afterComma = true;  // a comma at the start of the read is a null value
  std::size_t i = 0;
  while (i < targets.size()) {
    const Item item = next_item(in, afterComma);
    if (item == Item::End) return ReadStatus::End;
    if (item == Item::Slash) return ReadStatus::Done;
    if (item == Item::Null) {
      ++i;
      continue;
    }
    afterComma = false;
    const uint64_t r = repeat_count(in);
    if (r == 0) return ReadStatus::Bad;
    const std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(r, targets.size() - i));
    if (!at_value_end(in)) {  // otherwise "r*" alone: r null values
      const ReadStatus status = take_value(in, targets.subspan(i, count));
      if (status != ReadStatus::Done) return status;
    }
    i += count;
  }
  return ReadStatus::Done;
}

}  // namespace

ReadStatus read_free(RecordInput& in, std::span<const ReadTarget> targets) {
  if (!next_record(in)) return ReadStatus::End;
  const ReadStatus status = plain_reals(in, targets) ? ReadStatus::Done : fill_values(in, targets);
  in.inRecord = false;  // the rest of the record is skipped
  return status;
}

ReadStatus read_record(RecordInput& in, std::string& line) {
  if (!next_record(in)) return ReadStatus::End;
  line.assign(in.record);
  in.inRecord = false;
  return ReadStatus::Done;
}

std::string free_record(std::string_view text) {
  std::string record(" ");
  record += text;
  return record;
}

std::string free_record(std::string_view text, int32_t value) {
  std::string record = free_record(text);
  record += format_i(value, 12);
  return record;
}

}  // namespace hdfe
