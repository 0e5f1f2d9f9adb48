// The extension module hdfe._core: each binding adds its part. The package hdfe
// (python/hdfe) is its public face.
#include <pybind11/pybind11.h>

#include "bindings.h"
#include "hdfe/hdfe.h"
#include "hdfe/units.h"

PYBIND11_MODULE(_core, m) {
  namespace py = pybind11;
  m.doc() = "The C++ core of hdfe. Use the package hdfe, which wraps it.";
  m.attr("program_version") = std::string(hdfe::ProgramVersion);
  m.attr("cycle_tables_version") = std::string(hdfe::CycleTablesVersion);
  m.attr("shortfall_km_per_h") = hdfe::ShortfallSpeedKmh;
  m.attr("diesel_density_kg_per_l") = hdfe::DieselDensityKgPerL;
  hdfe::python::bind_error(m);
  hdfe::python::bind_vehicle(m);
  hdfe::python::bind_cycle(m);
  hdfe::python::bind_route(m);
  hdfe::python::bind_run(m);
  hdfe::python::bind_batch(m);
  hdfe::python::bind_check(m);
}
