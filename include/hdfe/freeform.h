// Free-form (list-directed) reading and writing of text records.
#pragma once
#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <string_view>

namespace hdfe {

// Record end of every record the program writes.
inline constexpr std::string_view RecordEnd = "\r\n";

// A source of records: lines ending at LF, a CR before the LF dropped. The lines come from
// the stream or, without one, from `text` (a file's bytes held in memory), as std::getline
// would give them: a last line without LF included, none after a final LF.
struct RecordInput {
  std::istream* stream = nullptr;
  std::string_view text;  // read from textPos on when there is no stream
  std::size_t textPos = 0;
  std::string_view record;  // the record being read: in `text`, or in `streamed` (so a copy
                            // made while a record of a stream is open refers to the original's)
  std::string streamed;     // the last line taken from the stream
  std::size_t pos = 0;    // next character of record
  bool inRecord = false;  // a record is open (a read stopped inside it)
  int64_t line = 0;       // records read so far: the line number of the current record
};

// TooLong: a text value did not fit its 1024-character field (trailing blanks aside); the
// variable holds the value's first 1024 characters and the read stopped after it.
enum class ReadStatus { Done, End, Bad, TooLong };
enum class FieldKind { Real, Integer, Text };

// One variable of a read list. A value that a null or a slash leaves unfilled keeps
// what the variable held. Text variables are 1024-character fields.
struct ReadTarget {
  FieldKind kind = FieldKind::Real;
  double* real = nullptr;
  int32_t* integer = nullptr;
  std::string* text = nullptr;
};

inline ReadTarget real_var(double& v) { return {FieldKind::Real, &v, nullptr, nullptr}; }
inline ReadTarget int_var(int32_t& v) { return {FieldKind::Integer, nullptr, &v, nullptr}; }
inline ReadTarget text_var(std::string& v) { return {FieldKind::Text, nullptr, nullptr, &v}; }

// One free-form read: starts at the next record, fills the targets in order and
// skips the rest of the record in which the last value was found.
ReadStatus read_free(RecordInput& in, std::span<const ReadTarget> targets);

// Reads the next record whole (a header line). End when the input is exhausted.
ReadStatus read_record(RecordInput& in, std::string& line);

// A free-form output record without its record end: a leading blank, then the text.
std::string free_record(std::string_view text);
// A free-form output record of a text followed by an integer in 12 characters.
std::string free_record(std::string_view text, int32_t value);

}  // namespace hdfe
