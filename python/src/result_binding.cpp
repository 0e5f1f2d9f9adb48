// run: a vehicle over the drive cycles, with the GIL released. Its output is the run's JSON
// document (the command line's --json) and, when asked for, the per-second traces as columns.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>


#include "bindings.h"
#include "hdfe/hdfe.h"
#include "hdfe/report.h"
#include "hdfe/tables.h"

namespace hdfe::python {

namespace {

constexpr int StateVersion = 1;

// The numeric trace columns, in the trace CSV's order (after its cycle name).
std::vector<std::string> trace_column_names() {
  std::vector<std::string> names;
  for (const TraceColumnInfo& column : trace_column_table()) names.emplace_back(column.name);
  return names;
}

// What a run gives Python: everything else is read from the JSON.
struct RunOutput {
  std::string json;
  std::vector<std::string> cycles;        // traced cycles, in order
  std::vector<int64_t> rows;              // rows of each traced cycle
  std::vector<std::vector<double>> columns;  // trace_column_names(), every cycle's rows in turn
};

// The trace table as the trace CSV writes it.
void add_traces(RunOutput& out, const Result& result) {
  TraceTable table = trace_table(result);
  out.cycles = std::move(table.cycles);
  out.rows = std::move(table.rows);
  out.columns = std::move(table.columns);
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
  m.def("trace_column_table", [] {
    py::list out;
    for (const TraceColumnInfo& c : trace_column_table()) {
      out.append(py::make_tuple(std::string(c.name), std::string(c.unit), std::string(c.meaning), c.whole_number));
    }
    return out;
  }, "The numeric trace columns, in order: (name, unit, meaning, whole_number).");
  m.def("cycle_metric_table", [] {
    py::list out;
    for (const MetricInfo& c : cycle_metric_table()) {
      const bool whole = std::holds_alternative<int32_t CycleMetrics::*>(c.member);
      out.append(py::make_tuple(std::string(c.name), std::string(c.unit), std::string(c.meaning), whole));
    }
    return out;
  }, "The cycle-following metrics, in order: (name, unit, meaning, whole_number).");
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
