// run_batch: many rows on the batch core's worker threads, with the GIL released, into the
// summary table's columns. A row names a spec file (the batch core reads and shares its
// files), or carries a loaded Vehicle (the batch core runs a copy of it). Summary files are
// written through the library's atomic writes.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>

#include "hdfe/batch.h"
#include "hdfe/fuel_grid.h"
#include "bindings.h"
#include "hdfe/hdfe.h"
#include "hdfe/output.h"

namespace hdfe::python {

namespace {

// The summary's columns: the table's, then the override columns.
std::vector<std::string> summary_columns(const std::vector<std::string>& override_columns) {
  std::vector<std::string> names;
  for (const SummaryColumnInfo& column : summary_column_table()) names.emplace_back(column.name);
  names.insert(names.end(), override_columns.begin(), override_columns.end());
  return names;
}

std::vector<BatchRow> batch_rows(const std::vector<py::object>& ids, const std::vector<py::object>& specs,
                                 const std::filesystem::path& base, const std::vector<std::string>& override_columns,
                                 const std::vector<std::vector<py::object>>& overrides) {
  if (specs.size() != ids.size()) throw py::value_error("ids and specs differ in length");
  if (overrides.size() != override_columns.size()) throw py::value_error("one list of texts per override column");
  for (const auto& column : overrides) {
    if (column.size() != ids.size()) throw py::value_error("override columns differ in length from the rows");
  }
  std::vector<BatchRow> rows(ids.size());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    BatchRow& row = rows[k];
    row.id = to_bytes(ids[k]);
    row.spec_name = to_bytes(specs[k]);
    const std::filesystem::path spec(row.spec_name);
    row.spec = base.empty() || spec.is_absolute() ? spec : base / spec;
    row.overrides.reserve(override_columns.size());
    for (std::size_t c = 0; c < override_columns.size(); ++c) {
      row.overrides.push_back(Override{override_columns[c], to_bytes(overrides[c][k])});
    }
  }
  return rows;
}

// Thrown from the row callback when a signal handler raised (Ctrl-C gives
// KeyboardInterrupt): the Python exception stays set on this thread and is raised once the
// GIL is held again.
struct SignalRaised {};

// How often, while rows run, signals that arrived are handed to their Python handlers.
constexpr std::chrono::milliseconds signal_check_interval{100};

// The summary of a batch in either layout: a row per batch row (wide), or a row per batch row
// and cycle run (per cycle).
struct Summary {
  std::vector<SummaryRow> wide;
  std::vector<CycleSummaryRow> per_cycle;
};

// Runs the rows with the GIL released (the caller releases it). Rows are handed back on this
// thread; every signal_check_interval the GIL is taken to run pending signal handlers, and
// one that raises stops the batch: no more rows are started, those under way finish, and
// SignalRaised is thrown.
Summary run_rows(std::vector<BatchRow> rows, unsigned jobs, SummaryLayout layout) {
  Summary summary;
  if (layout == SummaryLayout::Wide) summary.wide.reserve(rows.size());
  std::size_t next = 0;
  BatchOptions options;
  options.jobs = jobs;
  options.layout = layout;
  auto checked = std::chrono::steady_clock::now();
  run_batch([&]() -> std::optional<BatchRow> { return next < rows.size() ? std::optional(std::move(rows[next++])) : std::nullopt; },
            options, [&](BatchOutcome& outcome) {
              if (layout == SummaryLayout::Wide) {
                summary.wide.push_back(std::move(outcome.summary));
              } else {
                for (CycleSummaryRow& row : outcome.cycle_summary) summary.per_cycle.push_back(std::move(row));
              }
              const auto now = std::chrono::steady_clock::now();
              if (now - checked < signal_check_interval) return;
              checked = now;
              const py::gil_scoped_acquire locked;
              if (PyErr_CheckSignals() != 0) throw SignalRaised{};
            });
  return summary;
}

// A file replaced whole: written piece by piece to a temporary beside it, put in place by
// commit(); discarded (the target left as it was) on leaving a with-block by an exception.
class AtomicFile {
 public:
  AtomicFile(std::string name, std::string kind) : file_(std::make_unique<StreamedFile>(std::move(name), std::move(kind))) {}

  void write(const py::bytes& piece) {
    const std::string_view text = piece;
    open().write(text);
  }
  void commit() {
    open().commit();
    file_.reset();
  }
  void discard() { file_.reset(); }

 private:
  StreamedFile& open() {
    if (!file_) throw py::value_error("the file is already committed or discarded");
    return *file_;
  }
  std::unique_ptr<StreamedFile> file_;
};

}  // namespace

template <> inline constexpr bool bound_class<AtomicFile> = true;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// One summary column of every row: a list of str for text and the status, an array for
// figures.
py::object summary_column(const std::vector<SummaryRow>& rows, const SummaryColumnInfo& info) {
  const auto size = static_cast<py::ssize_t>(rows.size());
  switch (info.kind) {
    case SummaryKind::Text:
    case SummaryKind::Bool: {
      py::list out(rows.size());
      for (std::size_t k = 0; k < rows.size(); ++k) {
        const SummaryCell cell = get_summary_cell(rows[k], info);
        out[k] = info.kind == SummaryKind::Bool ? py::str(std::get<bool>(cell) ? "ok" : "error")
                                                : to_str(std::get<std::string>(cell));
      }
      return out;
    }
    case SummaryKind::Number: {
      py::array_t<double> out(size);
      double* data = out.mutable_data();
      for (std::size_t k = 0; k < rows.size(); ++k) {
        data[k] = rows[k].ok ? std::get<double>(get_summary_cell(rows[k], info)) : NaN;
      }
      return out;
    }
    case SummaryKind::Whole: break;
  }
  py::array_t<int64_t> out(size);
  int64_t* data = out.mutable_data();
  for (std::size_t k = 0; k < rows.size(); ++k) {
    data[k] = rows[k].ok ? std::get<int32_t>(get_summary_cell(rows[k], info)) : -1;
  }
  return out;
}

// The summary as (names, columns), each column an array or a list of str, in header order.
// A failed row's figures are NaN and its whole-number metrics -1 (the caller masks them).
py::tuple summary_table(const std::vector<SummaryRow>& rows, const std::vector<std::string>& override_columns) {
  py::list columns;
  for (const SummaryColumnInfo& info : summary_column_table()) columns.append(summary_column(rows, info));
  for (std::size_t c = 0; c < override_columns.size(); ++c) {
    py::list texts(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
      texts[k] = c < rows[k].overrides.size() ? to_str(rows[k].overrides[c]) : py::str("");
    }
    columns.append(texts);
  }
  const std::vector<std::string> names = summary_columns(override_columns);
  if (names.size() != columns.size()) throw std::logic_error("the summary's columns do not match its header");
  return py::make_tuple(names, columns);
}

// The CSV text of summary columns in the form summary_table gives them (failed rows' metrics
// may hold anything): the same text as the batch core writes for the same rows.
py::bytes summary_csv(const std::vector<std::string>& override_columns, const py::list& columns, bool header) {
  const std::span<const SummaryColumnInfo> table = summary_column_table();
  const std::size_t fixed = table.size();
  if (columns.size() != fixed + override_columns.size()) throw py::value_error("not the summary's columns");
  const auto texts = [&](std::size_t c) { return columns[c].cast<std::vector<py::object>>(); };
  const auto numbers = [&](std::size_t c) {
    const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(columns[c]);
    if (!a) throw py::value_error("a summary figure column is not numeric");
    return std::vector<double>(a.data(), a.data() + a.size());
  };
  // Per fixed column: its texts (text and status) or its numbers (figures).
  std::vector<std::vector<py::object>> cellTexts(fixed);
  std::vector<std::vector<double>> cellNumbers(fixed);
  std::size_t status = fixed;
  for (std::size_t c = 0; c < fixed; ++c) {
    const SummaryKind kind = table[c].kind;
    if (kind == SummaryKind::Text || kind == SummaryKind::Bool) {
      cellTexts[c] = texts(c);
    } else {
      cellNumbers[c] = numbers(c);
    }
    if (kind == SummaryKind::Bool) status = c;
  }
  std::vector<std::vector<py::object>> overrides;
  for (std::size_t c = fixed; c < columns.size(); ++c) overrides.push_back(texts(c));
  const std::size_t n = cellTexts.at(0).size();
  std::string out = header ? summary_csv_header(override_columns) : std::string();
  for (std::size_t k = 0; k < n; ++k) {
    SummaryRow r;
    r.ok = status < fixed && to_bytes(cellTexts[status].at(k)) == "ok";
    for (std::size_t c = 0; c < fixed; ++c) {
      const SummaryColumnInfo& info = table[c];
      switch (info.kind) {
        case SummaryKind::Text: set_summary_cell(r, info, to_bytes(cellTexts[c].at(k))); break;
        case SummaryKind::Bool: set_summary_cell(r, info, r.ok); break;
        // A failed row's figures may hold anything: they are not written.
        case SummaryKind::Number:
          if (r.ok) set_summary_cell(r, info, cellNumbers[c].at(k));
          break;
        case SummaryKind::Whole:
          if (r.ok) set_summary_cell(r, info, static_cast<int32_t>(cellNumbers[c].at(k)));
          break;
      }
    }
    for (const auto& column : overrides) r.overrides.push_back(to_bytes(column.at(k)));
    out += summary_csv_line(r);
  }
  return py::bytes(out);
}

// The kind of a per-cycle summary column, as Python takes it: text, the status (bool), or a
// figure: number (NaN for none), whole or switch.
const char* cycle_column_kind(const CycleSummaryColumnInfo& info) {
  return std::visit(
      [](const auto& member) -> const char* {
        using M = std::decay_t<decltype(member)>;
        if constexpr (std::is_same_v<M, std::string CycleSummaryRow::*>) {
          return "text";
        } else if constexpr (std::is_same_v<M, bool CycleSummaryRow::*>) {
          return "bool";
        } else if constexpr (std::is_same_v<M, const EnergyTermInfo*>) {
          return "number";
        } else {
          return std::visit(
              [](auto m) -> const char* {
                if constexpr (std::is_same_v<M, const MetricInfo*>) {
                  using W = std::decay_t<decltype(std::declval<CycleMetrics>().*m)>;
                  return std::is_same_v<W, int32_t> ? "whole" : "number";
                } else {
                  using V = std::decay_t<decltype(std::declval<CycleFigures>().*m)>;
                  return std::is_same_v<V, int32_t> ? "whole" : std::is_same_v<V, bool> ? "switch" : "number";
                }
              },
              member->member);
        }
      },
      info.member);
}

// A figure of a per-cycle row as a number (a switch 1 or 0; none NaN), and back.
double cycle_figure(const CycleSummaryRow& row, const CycleSummaryColumnInfo& info) {
  const auto number = [](const auto& value) -> double {
    using T = std::decay_t<decltype(value)>;
    if constexpr (std::is_same_v<T, std::optional<double>>) {
      return value ? *value : NaN;
    } else {
      return static_cast<double>(value);
    }
  };
  return std::visit(
      [&](const auto& member) -> double {
        using M = std::decay_t<decltype(member)>;
        if constexpr (std::is_same_v<M, const EnergyTermInfo*>) {
          return row.figures.energy.*(member->member);
        } else if constexpr (std::is_same_v<M, const MetricInfo*>) {
          return std::visit([&](auto m) { return number(row.figures.metrics.*m); }, member->member);
        } else if constexpr (std::is_same_v<M, const FigureInfo*>) {
          return std::visit([&](auto m) { return number(row.figures.*m); }, member->member);
        } else {
          return NaN;
        }
      },
      info.member);
}

void set_cycle_figure(CycleSummaryRow& row, const CycleSummaryColumnInfo& info, double value) {
  const auto assign = [&](auto& target) {
    using T = std::decay_t<decltype(target)>;
    if constexpr (std::is_same_v<T, std::optional<double>>) {
      target = std::isnan(value) ? std::nullopt : std::optional<double>(value);
    } else if constexpr (std::is_same_v<T, bool>) {
      target = value != 0.0;
    } else {
      target = static_cast<T>(value);
    }
  };
  std::visit(
      [&](const auto& member) {
        using M = std::decay_t<decltype(member)>;
        if constexpr (std::is_same_v<M, const EnergyTermInfo*>) {
          row.figures.energy.*(member->member) = value;
        } else if constexpr (std::is_same_v<M, const MetricInfo*>) {
          std::visit([&](auto m) { assign(row.figures.metrics.*m); }, member->member);
        } else if constexpr (std::is_same_v<M, const FigureInfo*>) {
          std::visit([&](auto m) { assign(row.figures.*m); }, member->member);
        }
      },
      info.member);
}

std::vector<std::string> cycle_summary_columns(const std::vector<std::string>& override_columns) {
  std::vector<std::string> names;
  for (const CycleSummaryColumnInfo& column : cycle_summary_column_table()) names.emplace_back(column.name);
  names.insert(names.end(), override_columns.begin(), override_columns.end());
  return names;
}

// The per-cycle summary as (names, columns): text and the status as lists of str, numbers as
// float64 arrays (NaN for none and in a failed row), whole numbers and switches as int64
// arrays (-1 in a failed row; the caller masks them).
py::tuple cycle_summary_table(const std::vector<CycleSummaryRow>& rows, const std::vector<std::string>& override_columns) {
  py::list columns;
  const auto size = static_cast<py::ssize_t>(rows.size());
  for (const CycleSummaryColumnInfo& info : cycle_summary_column_table()) {
    const std::string_view kind = cycle_column_kind(info);
    if (kind == "text" || kind == "bool") {
      py::list out(rows.size());
      for (std::size_t k = 0; k < rows.size(); ++k) {
        std::visit(
            [&](const auto& member) {
              using M = std::decay_t<decltype(member)>;
              if constexpr (std::is_same_v<M, std::string CycleSummaryRow::*>) {
                out[k] = to_str(rows[k].*member);
              } else if constexpr (std::is_same_v<M, bool CycleSummaryRow::*>) {
                out[k] = py::str(rows[k].*member ? "ok" : "error");
              }
            },
            info.member);
      }
      columns.append(out);
    } else if (kind == "number") {
      py::array_t<double> out(size);
      double* data = out.mutable_data();
      for (std::size_t k = 0; k < rows.size(); ++k) data[k] = rows[k].ok ? cycle_figure(rows[k], info) : NaN;
      columns.append(out);
    } else {
      py::array_t<int64_t> out(size);
      int64_t* data = out.mutable_data();
      for (std::size_t k = 0; k < rows.size(); ++k) {
        data[k] = rows[k].ok ? static_cast<int64_t>(cycle_figure(rows[k], info)) : -1;
      }
      columns.append(out);
    }
  }
  for (std::size_t c = 0; c < override_columns.size(); ++c) {
    py::list texts(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
      texts[k] = c < rows[k].overrides.size() ? to_str(rows[k].overrides[c]) : py::str("");
    }
    columns.append(texts);
  }
  return py::make_tuple(cycle_summary_columns(override_columns), columns);
}

// The CSV text of per-cycle summary columns in the form cycle_summary_table gives them (any
// number array for figures): the same text as the batch core writes for the same rows.
py::bytes cycle_summary_csv(const std::vector<std::string>& override_columns, const py::list& columns, bool header) {
  const std::span<const CycleSummaryColumnInfo> table = cycle_summary_column_table();
  const std::size_t fixed = table.size();
  if (columns.size() != fixed + override_columns.size()) throw py::value_error("not the per-cycle summary's columns");
  std::vector<std::vector<py::object>> texts(columns.size());
  std::vector<std::vector<double>> numbers(fixed);
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const std::string_view kind = c < fixed ? cycle_column_kind(table[c]) : "text";
    if (kind == "text" || kind == "bool") {
      texts[c] = columns[c].cast<std::vector<py::object>>();
    } else {
      const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(columns[c]);
      if (!a) throw py::value_error("a summary figure column is not numeric");
      numbers[c].assign(a.data(), a.data() + a.size());
    }
  }
  std::size_t n = 0;
  for (std::size_t c = 0; c < fixed; ++c) n = std::max(n, texts[c].size());
  std::string out = header ? cycle_summary_csv_header(override_columns) : std::string();
  for (std::size_t k = 0; k < n; ++k) {
    CycleSummaryRow r;
    for (std::size_t c = 0; c < fixed; ++c) {
      std::visit(
          [&](const auto& member) {
            using M = std::decay_t<decltype(member)>;
            if constexpr (std::is_same_v<M, bool CycleSummaryRow::*>) r.*member = to_bytes(texts[c].at(k)) == "ok";
          },
          table[c].member);
    }
    for (std::size_t c = 0; c < fixed; ++c) {
      std::visit(
          [&](const auto& member) {
            using M = std::decay_t<decltype(member)>;
            if constexpr (std::is_same_v<M, std::string CycleSummaryRow::*>) {
              r.*member = to_bytes(texts[c].at(k));
            } else if constexpr (!std::is_same_v<M, bool CycleSummaryRow::*>) {
              // A failed row's figures may hold anything: they are not written.
              if (r.ok) set_cycle_figure(r, table[c], numbers[c].at(k));
            }
          },
          table[c].member);
    }
    for (std::size_t c = fixed; c < columns.size(); ++c) r.overrides.push_back(to_bytes(texts[c].at(k)));
    out += cycle_summary_csv_line(r);
  }
  return py::bytes(out);
}

}  // namespace

void bind_batch(py::module_& m) {
  m.def("override_names", [] {
    std::vector<std::string> names;
    for (const std::string_view name : override_names()) names.emplace_back(name);
    return names;
  }, "The names of the spec values a batch row may replace, in spec-file order.");

  m.def("summary_columns", &summary_columns, py::arg("override_columns"),
        "The summary table's column names for these override columns.");

  m.def(
      "csv_cell_text", [](const py::handle& cell) { return to_str(csv_cell_text(to_bytes(cell))); }, py::arg("cell"),
      "The text a summary cell stands for (the library's inverse of its CSV cell writing).");
  m.def("summary_column_table", [] {
    py::list out;
    for (const SummaryColumnInfo& c : summary_column_table()) {
      const char* kind = c.kind == SummaryKind::Text ? "text" : c.kind == SummaryKind::Number ? "number"
                         : c.kind == SummaryKind::Whole ? "whole" : "bool";
      out.append(py::make_tuple(std::string(c.name), std::string(c.unit), kind, std::string(c.meaning)));
    }
    return out;
  }, "The summary's columns before the override columns: (name, unit, kind, meaning), kind one of "
     "text, number, whole, bool.");

  m.def(
      "run_batch",
      [](const std::vector<py::object>& ids, const std::vector<py::object>& specs, const std::filesystem::path& base,
         const py::object& vehicles, const std::vector<std::string>& override_columns,
         const std::vector<std::vector<py::object>>& overrides, unsigned jobs, const py::object& cycles,
         const py::object& routes) {
        std::vector<BatchRow> rows = batch_rows(ids, specs, base, override_columns, overrides);
        // Rows that run cycles or routes of their own (all of them when any does): a row per
        // batch row and cycle.
        const SummaryLayout layout = cycles.is_none() && routes.is_none() ? SummaryLayout::Wide : SummaryLayout::PerCycle;
        if (!routes.is_none()) {
          const auto named = routes.cast<std::vector<py::object>>();
          if (named.size() != rows.size()) throw py::value_error("one route per row");
          for (std::size_t k = 0; k < rows.size(); ++k) rows[k].route = to_bytes(named[k]);
        }
        if (!cycles.is_none()) {
          const auto named = cycles.cast<std::vector<std::vector<py::object>>>();
          if (named.size() != rows.size()) throw py::value_error("one list of cycles per row");
          for (std::size_t k = 0; k < rows.size(); ++k) {
            for (const py::object& cycle : named[k]) rows[k].cycles.push_back(to_bytes(cycle));
          }
        }
        for (BatchRow& row : rows) {
          if (!row.route.empty() && !row.cycles.empty()) row.error = "a row drives a route or cycles, not both";
        }
        if (!vehicles.is_none()) {
          // Copies, made while the GIL is held: a Python thread may edit a vehicle while the
          // rows run. Rows of one Vehicle object share one copy, and so its fuel grid.
          std::map<const Vehicle*, std::shared_ptr<const Vehicle>> copies;
          std::size_t k = 0;
          for (const py::handle v : vehicles) {
            if (k == rows.size()) throw py::value_error("one vehicle per row");
            const Vehicle* vehicle = &v.cast<const Vehicle&>();
            auto& copy = copies[vehicle];
            if (!copy) copy = std::make_shared<const Vehicle>(*vehicle);
            rows[k++].vehicle = copy;
          }
          if (k != rows.size()) throw py::value_error("one vehicle per row");
        }
        Summary summary;
        try {
          const py::gil_scoped_release unlocked;
          summary = run_rows(std::move(rows), jobs, layout);
        } catch (const SignalRaised&) {
          throw py::error_already_set();
        }
        return layout == SummaryLayout::Wide ? summary_table(summary.wide, override_columns)
                                             : cycle_summary_table(summary.per_cycle, override_columns);
      },
      py::arg("ids"), py::arg("specs"), py::arg("base"), py::arg("vehicles"), py::arg("override_columns"), py::arg("overrides"),
      py::arg("jobs") = 0, py::arg("cycles") = py::none(), py::arg("routes") = py::none(),
      "Runs rows (see hdfe.run_batch); returns (column names, columns) of the summary table: the wide one, or "
      "with cycles (a list of cycle names or files per row) or routes (a route file per row, \"\" for none) "
      "the per-cycle one.");

  m.def("cycle_summary_columns", &cycle_summary_columns, py::arg("override_columns"),
        "The per-cycle summary table's column names for these override columns.");
  m.def("cycle_summary_column_table", [] {
    py::list out;
    for (const CycleSummaryColumnInfo& c : cycle_summary_column_table()) {
      out.append(py::make_tuple(std::string(c.name), std::string(c.unit), cycle_column_kind(c), std::string(c.meaning)));
    }
    return out;
  }, "The per-cycle summary's columns before the override columns: (name, unit, kind, meaning), kind one of "
     "text, bool (the status), number, whole, switch.");
  m.def("cycle_summary_csv", &cycle_summary_csv, py::arg("override_columns"), py::arg("columns"), py::arg("header"),
        "The per-cycle summary's rows as CSV text (UTF-8 bytes), as hdfe --batch writes them, from columns in the "
        "form run_batch returns; with the header row first when header is true.");

  py::class_<AtomicFile>(m, "AtomicFile",
                         "A file replaced whole through the library's atomic writes (see hdfe._write_file).")
      .def(py::init<std::string, std::string>(), py::arg("name"), py::arg("kind") = "output file")
      .def("write", &AtomicFile::write, py::arg("piece"), "Appends bytes.")
      .def("commit", &AtomicFile::commit, "Flushes the file to the disk and puts it in place of its target.")
      .def("discard", &AtomicFile::discard, "Removes the temporary; the target stays as it was.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](AtomicFile& f, const py::object& type, const py::object&, const py::object&) {
        if (!type.is_none()) f.discard();
        return false;
      });

  m.def("check_replaceable", &check_replaceable, py::arg("name"), py::arg("kind") = "output file",
        "Raises Error (cannot_write) when the file can never be replaced by a regular file: a folder, "
        "a FIFO, a device, a link to one, or an entry of /dev or /proc.");

  m.def("summary_csv", &summary_csv, py::arg("override_columns"), py::arg("columns"), py::arg("header"),
        "The summary table's rows as CSV text (UTF-8 bytes), written as hdfe --batch writes them, "
        "from columns in the form run_batch returns; with the header row first when header is true.");
}

}  // namespace hdfe::python
