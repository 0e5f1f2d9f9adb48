// Warnings about inputs that a run accepts but that are likely mistakes: --check reports
// them, and every run carries them in its warnings.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <string>
#include <vector>

#include "hdfe/check.h"
#include "hdfe/hdfe.h"
#include "hdfe/values.h"

namespace hdfe {

// The text of a vehicle's input files as loading found it.
struct InputText {
  // The lines of the spec, engine and transmission files, by the name they are given as.
  std::map<std::string, std::vector<std::string>> lines;
  // What the text of every file shows that the values read from it cannot.
  std::vector<CheckFinding> findings;
  // The fuel map's idle line (its third), to be held against the engine's idle speed.
  struct IdleLine {
    std::string file;
    int64_t line = 0;
    double speed_rpm = 0.0;
  };
  std::optional<IdleLine> map_idle;
};

// The lines of a regular file, without their line ends; none when it cannot be read.
std::optional<std::vector<std::string>> file_lines(const std::string& path);
// The lines of a file's bytes, as file_lines gives them: as views into the bytes, or copied.
std::vector<std::string_view> text_line_views(std::string_view text);
std::vector<std::string> text_lines(std::string_view text);

// A file's lines, as the text checks below read them.
using LineViews = std::span<const std::string_view>;

// The line (1-based) of the k-th value (0-based) of a file with one value per line: the
// k-th line that is not blank; 0 past the end.
int64_t value_line(LineViews lines, std::size_t k);
int64_t value_line(const std::vector<std::string>& lines, std::size_t k);

// Where warnings go: the file as named, the line (0: not one line) and the message.
using WarningSink = std::function<void(const std::string& file, int64_t line, std::string message)>;
// The line of the k-th value of a file of one value per line; 0 when unknown.
using ValueLine = std::function<int64_t(const std::string& file, std::size_t k)>;

// Text warnings: a byte-order mark; for a data file of `columns` numbers a line, header
// lines that read as data and lines that read as a zero point; for the spec file, numbers
// written with a decimal comma.
void check_byte_order_mark(const std::string& file, LineViews lines, const WarningSink& warn);
void check_data_lines(const std::string& file, LineViews lines, std::size_t columns, const WarningSink& warn);
// The same from the file's bytes, whose lines are text_line_views(text).
void check_data_text(const std::string& file, std::string_view text, std::size_t columns, const WarningSink& warn);
void check_decimal_commas(const std::string& file, LineViews lines, const WarningSink& warn);
// Names cut at a slash: the values at `positions` (0-based, one value per line) whose
// line goes on with a slash right after an unquoted value. `what` names each position.
void check_cut_names(const std::string& file, LineViews lines,
                     std::span<const std::pair<std::size_t, std::string_view>> positions, const WarningSink& warn);
// The spec and engine files' names, as check_cut_names takes them.
std::vector<std::pair<std::size_t, std::string_view>> spec_name_positions();
std::vector<std::pair<std::size_t, std::string_view>> engine_name_positions();
// The fuel map's idle line: its line and speed, when it reads as three numbers.
std::optional<InputText::IdleLine> map_idle_line(const std::string& file, LineViews lines);
std::optional<InputText::IdleLine> map_idle_line_of_text(const std::string& file, std::string_view text);
void check_idle_line(const InputText::IdleLine& idle, const std::string& engineFile, const EngineInput& engine,
                     const ValueLine& line, const WarningSink& warn);

// The error of a spec number outside the range a run accepts (spec_value_table()), e.g.
// "FinalRatio is 0: it must be greater than 0"; none inside it.
std::optional<std::string> range_error(const SpecValueInfo& info, double value);

// Stops the run (Error of kind VehicleCheck, with range_error's message) on an engineering
// value that is set outside its range or not finite.
void check_engineering_values(const SpecValues& values);

// Value warnings: spec values outside their usual range (spec_value_table()); engine
// speeds out of order; gear ratios that do not descend; a full-load curve that ends
// before Nex; a fuel map that does not cover the full-load curve or whose rates at full
// load are not in l/h. An engineering value is in no file: its warning names no file.
void check_usual_ranges(const std::string& spec, const SpecValues& values, const ValueLine& line,
                        const WarningSink& warn);
void check_engine_speeds(const std::string& file, const EngineInput& engine, const ValueLine& line,
                         const WarningSink& warn);
void check_ratios(const std::string& file, const TransmissionInput& t, const ValueLine& line, const WarningSink& warn);
void check_curve_reach(const std::string& engineFile, const EngineInput& engine, const TorqueCurve& full,
                       const ValueLine& line, const WarningSink& warn);
void check_map_against_full_load(const std::string& file, const FuelMap& map, const TorqueCurve& full,
                                 const WarningSink& warn);

// The lines of the file opened at a path; null when it cannot be read.
using LinesOf = std::function<std::shared_ptr<const std::vector<std::string>>(const std::string& path)>;

// The text of a loaded vehicle's files (taken from the paths opened) and its text warnings.
std::shared_ptr<const InputText> read_input_text(const Vehicle& vehicle, const LinesOf& lines_of);
// The same from the bytes of the files: null for a file that cannot be read.
using BytesOf = std::function<const std::string*(const std::string& path)>;
std::shared_ptr<const InputText> input_text_of_bytes(const Vehicle& vehicle, const BytesOf& bytes_of);

// Every warning above for a loaded vehicle, as run warnings: its text warnings as loading
// found them, then the warnings of its values as they are now.
std::vector<RunWarning> input_warnings(const Vehicle& vehicle);

}  // namespace hdfe
