// run_batch: many rows on the batch core's worker threads, with the GIL released, into the
// summary table's columns. A row names a spec file (the batch core reads and shares its
// files), or carries a loaded Vehicle (run here, each vehicle's fuel grid built once).
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

#include "hdfe/batch.h"
#include "bindings.h"
#include "hdfe/hdfe.h"

namespace hdfe::python {

namespace {

// The summary's columns, as the summary CSV's header names them.
std::vector<std::string> summary_columns(const std::vector<std::string>& override_columns) {
  std::string header = summary_csv_header(override_columns);
  if (!header.empty() && header.back() == '\n') header.pop_back();
  std::vector<std::string> names;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = header.find(',', start);
    names.push_back(header.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
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

// Rows of loaded vehicles: a vehicle's values edited by the row's overrides, and its fuel
// grid built once for all its rows (overrides change no map).
class VehicleRows {
 public:
  // vehicles: the distinct vehicles, copied while the GIL is held; of_row: each row's one.
  VehicleRows(std::vector<Vehicle> vehicles, std::vector<std::size_t> of_row)
      : vehicles_(std::move(vehicles)), of_row_(std::move(of_row)), grids_(vehicles_.size()) {}

  SummaryRow run_row(std::size_t k, const BatchRow& row) {
    try {
      if (!row.error.empty()) throw Error(ErrorKind::BadValue, row.error);
      Vehicle vehicle = vehicles_[of_row_[k]];
      for (const Override& o : row.overrides) {
        if (o.value.empty()) continue;
        if (o.name == "EngineFile" || o.name == "TransmissionFile") {
          // The vehicle's files are already read: another name would not be run.
          throw Error(ErrorKind::BadValue,
                      o.name + " cannot be replaced on a loaded vehicle: give its spec file instead");
        }
        apply_override(vehicle.values, o.name, o.value);
      }
      Grid& grid = grids_[of_row_[k]];
      const Result result = run(vehicle, RunOptions{}, [&grid](const Vehicle& v) {
        std::call_once(grid.once, [&] { grid.grid = fuel_grid(v); });
        return grid.grid;
      });
      return summary_row(row, result);
    } catch (const std::exception& error) {
      return error_row(row, error.what());
    }
  }

 private:
  struct Grid {
    std::once_flag once;
    std::shared_ptr<const FuelGrid> grid;
  };
  std::vector<Vehicle> vehicles_;
  std::vector<std::size_t> of_row_;
  std::vector<Grid> grids_;
};

std::vector<SummaryRow> run_spec_rows(std::vector<BatchRow> rows, unsigned jobs) {
  std::vector<SummaryRow> summary;
  summary.reserve(rows.size());
  std::size_t next = 0;
  BatchOptions options;
  options.jobs = jobs;
  run_batch([&]() -> std::optional<BatchRow> { return next < rows.size() ? std::optional(std::move(rows[next++])) : std::nullopt; },
            options, [&](BatchOutcome& outcome) { summary.push_back(std::move(outcome.summary)); });
  return summary;
}

std::vector<SummaryRow> run_vehicle_rows(const std::vector<BatchRow>& rows, VehicleRows& runner, unsigned jobs) {
  std::vector<SummaryRow> summary(rows.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t k = next++; k < rows.size(); k = next++) summary[k] = runner.run_row(k, rows[k]);
  };
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  jobs = static_cast<unsigned>(std::min<std::size_t>(jobs, std::max<std::size_t>(rows.size(), 1)));
  std::vector<std::thread> workers;
  for (unsigned j = 1; j < jobs; ++j) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  return summary;
}

template <typename T>
py::array_t<T> column(const std::vector<SummaryRow>& rows, T (*get)(const SummaryRow&)) {
  py::array_t<T> out(static_cast<py::ssize_t>(rows.size()));
  T* data = out.mutable_data();
  for (std::size_t k = 0; k < rows.size(); ++k) data[k] = get(rows[k]);
  return out;
}

py::list text_column(const std::vector<SummaryRow>& rows, const std::string& (*get)(const SummaryRow&)) {
  py::list out(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) out[k] = to_str(get(rows[k]));
  return out;
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The summary as (names, columns), each column an array or a list of str, in header order.
// A failed row's figures are NaN and its whole-number metrics -1 (the caller masks them).
py::tuple summary_table(const std::vector<SummaryRow>& rows, const std::vector<std::string>& override_columns) {
  py::list columns;
  columns.append(text_column(rows, [](const SummaryRow& r) -> const std::string& { return r.id; }));
  columns.append(text_column(rows, [](const SummaryRow& r) -> const std::string& { return r.spec; }));
  py::list status(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) status[k] = rows[k].ok ? "ok" : "error";
  columns.append(status);
  columns.append(text_column(rows, [](const SummaryRow& r) -> const std::string& { return r.message; }));
  columns.append(text_column(rows, [](const SummaryRow& r) -> const std::string& { return r.category; }));
#define HDFE_FIGURE(field) \
  columns.append(column<double>(rows, [](const SummaryRow& r) { return r.ok ? r.field : NaN; }))
  HDFE_FIGURE(urban_km_per_l);
  HDFE_FIGURE(highway_km_per_l);
  HDFE_FIGURE(average_km_per_l);
  HDFE_FIGURE(midtown_km_per_l);
  HDFE_FIGURE(urban_speed_km_per_h);
  HDFE_FIGURE(highway_speed_km_per_h);
  HDFE_FIGURE(midtown_speed_km_per_h);
  HDFE_FIGURE(urban_fuel_l);
  HDFE_FIGURE(highway_fuel_l);
#define HDFE_METRICS(cycle)                                                                                          \
  columns.append(column<int64_t>(rows, [](const SummaryRow& r) -> int64_t { return r.ok ? r.cycle.seconds_below_target : -1; })); \
  HDFE_FIGURE(cycle.largest_shortfall_km_per_h);                                                                     \
  columns.append(column<int64_t>(rows, [](const SummaryRow& r) -> int64_t { return r.ok ? r.cycle.largest_shortfall_second : -1; })); \
  HDFE_FIGURE(cycle.distance_percent_of_target);                                                                     \
  columns.append(column<int64_t>(rows, [](const SummaryRow& r) -> int64_t { return r.ok ? r.cycle.seconds_at_full_load : -1; }))
  HDFE_METRICS(urban);
  HDFE_METRICS(highway);
#undef HDFE_METRICS
#undef HDFE_FIGURE
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
  const std::size_t fixed = 5 + 9 + 10;
  if (columns.size() != fixed + override_columns.size()) throw py::value_error("not the summary's columns");
  const auto texts = [&](std::size_t c) { return columns[c].cast<std::vector<py::object>>(); };
  const auto numbers = [&](std::size_t c) {
    const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(columns[c]);
    if (!a) throw py::value_error("a summary figure column is not numeric");
    return std::vector<double>(a.data(), a.data() + a.size());
  };
  const std::vector<py::object> ids = texts(0), specs = texts(1), status = texts(2), messages = texts(3),
                                categories = texts(4);
  std::vector<std::vector<double>> figures;
  for (std::size_t c = 5; c < fixed; ++c) figures.push_back(numbers(c));
  std::vector<std::vector<py::object>> overrides;
  for (std::size_t c = fixed; c < columns.size(); ++c) overrides.push_back(texts(c));
  const std::size_t n = ids.size();
  std::string out = header ? summary_csv_header(override_columns) : std::string();
  for (std::size_t k = 0; k < n; ++k) {
    SummaryRow r;
    r.id = to_bytes(ids[k]);
    r.spec = to_bytes(specs[k]);
    r.ok = to_bytes(status[k]) == "ok";
    r.message = to_bytes(messages[k]);
    r.category = to_bytes(categories[k]);
    if (r.ok) {
      const auto f = [&](std::size_t c) { return figures.at(c).at(k); };
      const auto whole = [&](std::size_t c) { return static_cast<int32_t>(f(c)); };
      r.urban_km_per_l = f(0);
      r.highway_km_per_l = f(1);
      r.average_km_per_l = f(2);
      r.midtown_km_per_l = f(3);
      r.urban_speed_km_per_h = f(4);
      r.highway_speed_km_per_h = f(5);
      r.midtown_speed_km_per_h = f(6);
      r.urban_fuel_l = f(7);
      r.highway_fuel_l = f(8);
      for (std::size_t cycle = 0; cycle < 2; ++cycle) {
        CycleMetrics& m = cycle == 0 ? r.urban : r.highway;
        const std::size_t at = 9 + 5 * cycle;
        m.seconds_below_target = whole(at);
        m.largest_shortfall_km_per_h = f(at + 1);
        m.largest_shortfall_second = whole(at + 2);
        m.distance_percent_of_target = f(at + 3);
        m.seconds_at_full_load = whole(at + 4);
      }
    }
    for (const auto& column : overrides) r.overrides.push_back(to_bytes(column.at(k)));
    out += summary_csv_line(r);
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
      "run_batch",
      [](const std::vector<py::object>& ids, const std::vector<py::object>& specs, const std::filesystem::path& base,
         const py::object& vehicles, const std::vector<std::string>& override_columns,
         const std::vector<std::vector<py::object>>& overrides, unsigned jobs) {
        std::vector<BatchRow> rows = batch_rows(ids, specs, base, override_columns, overrides);
        std::vector<SummaryRow> summary;
        if (vehicles.is_none()) {
          py::gil_scoped_release unlocked;
          summary = run_spec_rows(std::move(rows), jobs);
        } else {
          // The Vehicle objects stay alive in the caller's list while the GIL is released.
          // Copies: a Python thread may edit a vehicle while the rows run.
          std::map<const Vehicle*, std::size_t> numbers;
          std::vector<Vehicle> distinct;
          std::vector<std::size_t> of_row;
          for (const py::handle v : vehicles) {
            const Vehicle* vehicle = &v.cast<const Vehicle&>();
            const auto [at, added] = numbers.emplace(vehicle, distinct.size());
            if (added) distinct.push_back(*vehicle);
            of_row.push_back(at->second);
          }
          if (of_row.size() != rows.size()) throw py::value_error("one vehicle per row");
          VehicleRows runner(std::move(distinct), std::move(of_row));
          py::gil_scoped_release unlocked;
          summary = run_vehicle_rows(rows, runner, jobs);
        }
        return summary_table(summary, override_columns);
      },
      py::arg("ids"), py::arg("specs"), py::arg("base"), py::arg("vehicles"), py::arg("override_columns"), py::arg("overrides"),
      py::arg("jobs") = 0,
      "Runs rows (see hdfe.run_batch); returns (column names, columns) of the summary table.");

  m.def("summary_csv", &summary_csv, py::arg("override_columns"), py::arg("columns"), py::arg("header"),
        "The summary table's rows as CSV text (UTF-8 bytes), written as hdfe --batch writes them, "
        "from columns in the form run_batch returns; with the header row first when header is true.");
}

}  // namespace hdfe::python
