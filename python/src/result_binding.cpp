// run: a vehicle over the drive cycles, with the GIL released. Its output is the run's JSON
// document (the command line's --json) and, when asked for, the per-second traces as columns.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <string_view>

#include "bindings.h"
#include "hdfe/hdfe.h"
#include "hdfe/units.h"
#include "hdfe/report.h"

namespace hdfe::python {

namespace {

constexpr int StateVersion = 1;

// The numeric trace columns: those of the trace CSV after its first (the cycle name).
std::vector<std::string> trace_column_names() {
  std::vector<std::string> names;
  std::string_view header = TraceCsvHeader;
  header.remove_prefix(header.find(',') + 1);
  while (true) {
    const auto comma = header.find(',');
    names.emplace_back(header.substr(0, comma));
    if (comma == std::string_view::npos) break;
    header.remove_prefix(comma + 1);
  }
  return names;
}

// What a run gives Python: everything else is read from the JSON.
struct RunOutput {
  std::string json;
  std::vector<std::string> cycles;        // traced cycles, in order
  std::vector<int64_t> rows;              // rows of each traced cycle
  std::vector<std::vector<double>> columns;  // trace_column_names(), every cycle's rows in turn
};

// The trace table as the trace CSV writes it: distance and fuel are running sums over the
// cycle, divided by the seconds of an hour at each row.
void add_traces(RunOutput& out, const Result& result) {
  out.columns.assign(trace_column_names().size(), {});
  for (const CycleRun& run : result.traces) {
    const CycleTrace& t = run.trace;
    out.cycles.push_back(run.name);
    out.rows.push_back(static_cast<int64_t>(t.speed_km_per_h.size()));
    double distance = 0.0;
    double fuel = 0.0;
    for (std::size_t k = 0; k < t.speed_km_per_h.size(); ++k) {
      distance = distance + t.speed_km_per_h[k];
      fuel = fuel + t.fuel_rate_l_per_h[k];
      const std::size_t point = k + 1;
      const double row[] = {static_cast<double>(point), run.cycle.target_speed_km_per_h[point], t.speed_km_per_h[k], run.cycle.grade_percent[point],
                            distance / SecondsPerHour, static_cast<double>(t.gear[k]), t.engine_speed_rpm[k], t.engine_torque_nm[k],
                            t.normalised_speed_percent[k], t.normalised_torque_percent[k], t.fuel_rate_l_per_h[k], fuel / SecondsPerHour};
      for (std::size_t c = 0; c < out.columns.size(); ++c) out.columns[c].push_back(row[c]);
    }
  }
}

py::object trace_columns(const RunOutput& out) {
  if (out.cycles.empty()) return py::none();
  const std::vector<std::string> names = trace_column_names();
  py::dict columns;
  for (std::size_t c = 0; c < names.size(); ++c) {
    columns[py::str(names[c])] = py::array_t<double>(static_cast<py::ssize_t>(out.columns[c].size()), out.columns[c].data());
  }
  py::list cycles;
  for (const std::string& name : out.cycles) cycles.append(to_str(name));
  return py::make_tuple(cycles, out.rows, columns);
}

}  // namespace

void bind_run(py::module_& m) {
  py::class_<RunOutput>(m, "RunOutput", "What a run gives hdfe.Result: the JSON document and the trace columns.")
      .def_property_readonly(
          "json", [](const RunOutput& o) { return py::str(o.json); }, "The run's JSON document (the CLI's --json).")
      .def("trace_columns", &trace_columns,
           "None without traces; else (cycle names, rows per cycle, {column: float64 array}) for the "
           "trace CSV's columns after 'cycle'.")
      .def(py::pickle(
          [](const RunOutput& o) {
            py::list columns;
            for (const std::vector<double>& column : o.columns) {
              columns.append(py::array_t<double>(static_cast<py::ssize_t>(column.size()), column.data()));
            }
            return py::make_tuple(StateVersion, py::bytes(o.json), o.cycles, o.rows, columns);
          },
          [](const py::tuple& state) {
            if (state.size() != 5 || state[0].cast<int>() != StateVersion) {
              throw py::value_error("not a pickled hdfe run output of this version");
            }
            RunOutput o{state[1].cast<std::string>(), state[2].cast<std::vector<std::string>>(),
                        state[3].cast<std::vector<int64_t>>(), {}};
            for (const py::handle column : state[4].cast<py::list>()) {
              const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(column);
              if (!a) throw py::value_error("not a pickled hdfe run output");
              o.columns.emplace_back(a.data(), a.data() + a.size());
            }
            return o;
          }));

  m.def(
      "run",
      [](const Vehicle& vehicle, bool trace) {
        // A copy: the run must not see a Python thread editing the vehicle meanwhile.
        const Vehicle v = vehicle;
        py::gil_scoped_release unlocked;
        const Result result = run(v, RunOptions{trace});
        RunOutput out{result_json(v, result), {}, {}, {}};
        add_traces(out, result);
        return out;
      },
      py::arg("vehicle"), py::arg("trace") = false, "Runs a vehicle (see hdfe.run).");
}

}  // namespace hdfe::python
