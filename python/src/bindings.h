// The Python module hdfe._core: what each source file adds to it, and text conversions.
#pragma once
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "constructed.h"

namespace hdfe::python {

namespace py = pybind11;

// Text from the library as a Python str. Input files may hold bytes that are not UTF-8
// (a Shift_JIS vehicle name): they become lone surrogates, which to_bytes turns back into
// the same bytes, so that a value read and written again is unchanged.
py::str to_str(const std::string& text);
std::string to_bytes(const py::handle& text);

// What __reduce__ gives for an object of that bound type with that state: restored by
// hdfe._restore.restore, which calls _core._restore_<type_name>.
py::tuple reduced(const std::string& type_name, const py::object& state);

// The hdfe.Cycle objects of a Python sequence, copied; TypeError for another object.
std::vector<Cycle> cycles_of(const py::handle& cycles);

// The hdfe.Route objects of a Python sequence, copied; TypeError for another object.
std::vector<Route> routes_of(const py::handle& routes);

// hdfe.Error, raised for every hdfe::Error.
void bind_error(py::module_& m);
// Vehicle, its engine and transmission records, load_vehicle.
void bind_vehicle(py::module_& m);
// Cycle, and the library's cycles.
void bind_cycle(py::module_& m);
// Route, and the figures of a route driven (RouteFigures).
void bind_route(py::module_& m);
// run, run_cycles, run_routes and the run's output.
void bind_run(py::module_& m);
// run_batch and the summary table.
void bind_batch(py::module_& m);
// check_findings (--check as data).
void bind_check(py::module_& m);

}  // namespace hdfe::python
