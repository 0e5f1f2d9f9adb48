// Batch runs: many vehicles, or many variants of one, on every core, one summary row each.
//
//   hdfe::ManifestReader manifest(stream, "fleet.csv");       // or hdfe::Sweep
//   hdfe::run_batch([&] { return manifest.next(); }, {},
//                   [&](hdfe::BatchOutcome& o) { out << summary_csv_line(o.summary); });
//
// Every distinct input file is read and checked once and shared between rows, and each fuel
// grid is built once. Rows are run in parallel and handed back in manifest order. The figures
// equal those of hdfe::run on a vehicle loaded from an edited copy of the spec file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "hdfe/cycle.h"
#include "hdfe/hdfe.h"
#include "hdfe/tables.h"

namespace hdfe {

// A spec-file value a row replaces: the value's name (e.g. "FinalRatio") and its text,
// read as the spec file's value would be. An empty text leaves the value as the file has it.
struct Override {
  std::string name;
  std::string value;
};

// One row of a batch.
struct BatchRow {
  std::string id;
  std::filesystem::path spec;       // the spec file to open
  std::string spec_name;            // the spec file as the row names it (the summary's `spec`)
  std::vector<Override> overrides;  // in the manifest's column order
  // Set when the row itself cannot be read (e.g. a CSV row with too many cells): the row is
  // not run and reports this message.
  std::string error;
  // A vehicle already loaded, run instead of reading `spec` (which then only names the row).
  // The overrides edit a copy of it; they may not name its engine or transmission file.
  // Rows sharing one vehicle share its fuel grid.
  std::shared_ptr<const Vehicle> vehicle;
  // The cycles the row runs (run_cycles) instead of the built-in ones (run): each a library
  // cycle's name or a cycle file, opened as written (find_cycle). Empty: the built-in cycles.
  std::vector<std::string> cycles;
  // A route file the row drives (run_routes) instead of cycles; empty: none.
  std::string route;
};

// The names of the spec-file values a row may replace, in spec-file order.
std::span<const std::string_view> override_names();

// Replaces the named value in `values` with the text, read as the spec file's value would be
// (numbers free-form, whole numbers for whole-number values). Throws Error (BadValue) on a
// value that cannot be read, and (Usage) on an unknown name.
void apply_override(SpecValues& values, std::string_view name, std::string_view text);

// The summary of one row: what the summary table holds, as typed values.
struct SummaryRow {
  std::string id;
  std::string spec;
  bool ok = false;
  std::string message;   // the error's first line without its leading blank; empty when ok
  std::string category;  // the category code run; empty for a row that failed
  double urban_km_per_l = 0.0;
  double highway_km_per_l = 0.0;
  double average_km_per_l = 0.0;
  double midtown_km_per_l = 0.0;
  double urban_speed_km_per_h = 0.0;
  double highway_speed_km_per_h = 0.0;
  double midtown_speed_km_per_h = 0.0;
  double urban_fuel_l = 0.0;
  double highway_fuel_l = 0.0;
  CycleMetrics urban;
  CycleMetrics highway;
  std::string warnings;  // the run's warning messages, joined by " | "; empty when none
  std::vector<std::string> overrides;  // the row's override texts, as given
};

// The kind of a summary column's cells.
enum class SummaryKind {
  Text,    // as given, quoted when it must be
  Number,  // the shortest form that reads back to the same value; empty in a failed row
  Whole,   // a whole number; empty in a failed row
  Bool,    // the status: ok (true) or error (false)
};

// A metric of one of a summary row's cycles.
struct SummaryMetric {
  CycleMetrics SummaryRow::*cycle = nullptr;
  const MetricInfo* metric = nullptr;
};

// Where a summary row holds a column's value.
using SummaryMember = std::variant<std::string SummaryRow::*, double SummaryRow::*, bool SummaryRow::*, SummaryMetric>;

// A summary cell's value: Text std::string, Number double, Whole int32_t, Bool bool.
using SummaryCell = std::variant<std::string, double, int32_t, bool>;

struct SummaryColumnInfo {
  std::string_view name;  // the CSV header's name
  std::string_view unit;  // empty when the column has none
  SummaryKind kind = SummaryKind::Text;
  std::string_view meaning;
  SummaryMember member;
};

// The summary's columns before the override columns, in order: the row's id, spec, status,
// message and category, its figures, every metric of cycle_metric_table() for the urban
// and then the highway cycle (named urban_<metric>, highway_<metric>), then the warnings.
std::span<const SummaryColumnInfo> summary_column_table();

// A column's value in the row, and the value set (the cell's alternative must match the
// column's kind; std::invalid_argument otherwise).
SummaryCell get_summary_cell(const SummaryRow& row, const SummaryColumnInfo& info);
void set_summary_cell(SummaryRow& row, const SummaryColumnInfo& info, const SummaryCell& cell);

// The summary row of a successful run of the built-in cycles.
SummaryRow summary_row(const BatchRow& row, const Result& result);
// The summary row of a failed one: message is the error's first line, trimmed.
SummaryRow error_row(const BatchRow& row, std::string_view message);

// The summary table as CSV (UTF-8, LF): the header for these override columns, and a row.
// Numbers are written in the shortest form that reads back to the same value; a failed
// row's figures are empty. Cells holding a comma, a quote or a line end are quoted.
std::string summary_csv_header(std::span<const std::string> override_columns);
std::string summary_csv_line(const SummaryRow& row);
// One CSV cell, quoted when it must be.
std::string csv_cell(std::string_view text);
// The text a cell that csv_cell wrote stands for, once the CSV reader has taken off its quotes:
// the apostrophe before a formula-like text taken off and the byte escapes undone.
std::string csv_cell_text(std::string_view cell);

// How a batch's summary is laid out.
enum class SummaryLayout {
  Wide,      // a row per batch row, the built-in cycles' figures side by side (summary_column_table)
  PerCycle,  // a row per batch row and cycle or phase run (cycle_summary_column_table), for
             // batches whose rows run cycles of their own
};

// A row of the per-cycle summary: one cycle, phase or section (e.g. MID-TOWN) a batch row ran,
// or the one row of a batch row that failed.
struct CycleSummaryRow {
  std::string id;
  std::string spec;
  bool ok = false;
  std::string message;   // the error's first line without its leading blank; empty when ok
  std::string category;  // the category code run; empty for a row that failed
  std::string cycle;     // the figures' name: "hd-udds", "hd-udds/phase", "MID-TOWN"; empty for a failed row
  std::string phase;     // the phase label of a phase's figures; else empty
  CycleFigures figures;
  std::string warnings;  // the run's warnings about the inputs and about this cycle, joined by " | "
  std::vector<std::string> overrides;  // the row's override texts, as given
};

// A column of the per-cycle summary: a text or the status of the row, or one of the cycle's
// figures, metrics or energy-audit terms.
using CycleSummaryMember = std::variant<std::string CycleSummaryRow::*, bool CycleSummaryRow::*, const FigureInfo*,
                                        const MetricInfo*, const EnergyTermInfo*>;

struct CycleSummaryColumnInfo {
  std::string_view name;  // the CSV header's name
  std::string_view unit;  // empty when the column has none
  std::string_view meaning;
  CycleSummaryMember member;
};

// The per-cycle summary's columns before the override columns: id, spec, status, message,
// category, cycle and phase; every figure of cycle_figure_table() and metric of
// cycle_metric_table() under its own name; every term of energy_audit_table() as
// energy_<term>; then warnings. Cells: texts as csv_cell writes them, the status ok or
// error, numbers in the shortest form that reads back to the same value, a switch true or
// false; a figure that is none (g CO2/t·km without a payload) and every figure of a failed
// row are empty.
std::span<const CycleSummaryColumnInfo> cycle_summary_column_table();

// The per-cycle rows of a successful run: one per entry of Result::cycles, in order.
std::vector<CycleSummaryRow> cycle_summary_rows(const BatchRow& row, const Result& result);
// The one per-cycle row of a failed batch row.
CycleSummaryRow cycle_error_row(const BatchRow& row, std::string_view message);

std::string cycle_summary_csv_header(std::span<const std::string> override_columns);
std::string cycle_summary_csv_line(const CycleSummaryRow& row);

// A CSV manifest read row by row. The header must name a `spec` column; `id` is optional
// (default: the row number, from 1), and so is `cycle` (a cycle of the library or a cycle
// file the row runs instead of the built-in cycles; empty: the built-in cycles); every other
// column must be one of override_names(). Relative spec and cycle file names are taken from
// `base` (usually the manifest's folder).
class ManifestReader {
 public:
  // Reads the header. Throws Error (Usage) on a missing `spec` column, an unknown or a
  // repeated column, or a manifest without a header.
  ManifestReader(std::istream& in, std::string name, std::filesystem::path base = {});

  // The override columns, in manifest order.
  const std::vector<std::string>& override_columns() const { return columns_; }
  // Whether the header names a `cycle` column, a `route` column.
  bool cycle_column() const { return cycle_column_; }
  bool route_column() const { return route_column_; }
  // The next row; none at the end. Blank lines are skipped.
  std::optional<BatchRow> next();

 private:
  std::istream& in_;
  std::string name_;
  std::filesystem::path base_;
  std::vector<std::string> columns_;  // override columns
  std::vector<int> role_;             // per manifest column: -1 spec, -2 id, -3 cycle, -4 route, else override index
  bool cycle_column_ = false;
  bool route_column_ = false;
  std::size_t rows_ = 0;
  std::size_t line_ = 1;
};

// A sweep: the product of the values of each assignment NAME=START:STOP:STEP or
// NAME=v1,v2,..., the last name varying fastest. Rows are numbered from 1.
class Sweep {
 public:
  // Throws Error (Usage) on an unknown name, a name given twice, or values that cannot be read.
  Sweep(std::filesystem::path spec, std::span<const std::string> assignments);

  const std::vector<std::string>& override_columns() const { return columns_; }
  std::size_t size() const { return size_; }
  // Row k (0-based) of the product.
  BatchRow row(std::size_t k) const;

 private:
  std::filesystem::path spec_;
  std::vector<std::string> columns_;
  std::vector<std::vector<std::string>> values_;
  std::size_t size_ = 0;
};

// The values of one sweep assignment's right-hand side: START:STOP:STEP gives
// START + k * STEP up to STOP (within half a step), written with the decimals of START and
// STEP; v1,v2,... gives the values as written. Throws Error (Usage) when they cannot be read.
std::vector<std::string> sweep_values(std::string_view values);

// The files a row will read, as its spec and engine files name them (the row's overrides
// applied), without reading more: the spec file, the transmission and engine files, and the
// map and curves of the engine file, names inside a file taken from the spec file's folder;
// then the row's cycle files (its cycles that are no library cycle).
// A file that cannot be read ends the list there: the row fails on it. Never throws.
std::vector<std::filesystem::path> row_input_files(const BatchRow& row);

struct BatchOptions {
  unsigned jobs = 0;          // worker threads; 0: one per core; at most 4 per core and one per row
  std::size_t window = 0;     // rows run ahead of the next one handed back; 0: 4 per job
  // Make each row's results file (with traces when TraceFlag is 1). Only a row that runs the
  // standard vehicle on the built-in cycles has one: not a row with cycles or engineering values.
  bool results_file = false;
  bool json = false;          // make each row's JSON document
  SummaryLayout layout = SummaryLayout::Wide;  // PerCycle: BatchOutcome::cycle_summary is made
};

// What a row produced, handed back in manifest order.
struct BatchOutcome {
  std::size_t index = 0;  // 0-based row number
  BatchRow row;
  // The row's summary in the wide layout; in the per-cycle layout its status, message,
  // category, warnings and overrides alone.
  SummaryRow summary;
  // SummaryLayout::PerCycle: the rows of cycle_summary_rows, or the one cycle_error_row.
  std::vector<CycleSummaryRow> cycle_summary;
  std::string results_file;  // when BatchOptions::results_file, the row has one and succeeded
  std::string json;          // when BatchOptions::json and the row succeeded
  std::vector<InputFile> inputs;  // the row's input files, once they were all read
};

// Runs every row that `next` gives until it gives none, and hands each outcome to `done` in
// row order, on the calling thread. A row that fails is handed back as an error row; the
// others go on. An exception from `next` or `done` stops the batch (rows under way finish)
// and is rethrown.
void run_batch(const std::function<std::optional<BatchRow>()>& next, const BatchOptions& options,
               const std::function<void(BatchOutcome&)>& done);

// Makes the C library keep memory freed by a batch's rows for the next rows rather than hand
// it back to the system (with glibc; elsewhere it does nothing). It changes the allocator of
// the whole process for the rest of its life, so run_batch does not do it: a program that
// owns its process and runs large batches calls it once (the hdfe program does).
void keep_freed_memory_for_batches();

}  // namespace hdfe
