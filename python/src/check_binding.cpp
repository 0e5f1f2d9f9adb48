// check_findings: what --check finds, as (file, line, severity, message) tuples.
#include <pybind11/stl.h>

#include "bindings.h"
#include "hdfe/check.h"

namespace hdfe::python {

void bind_check(py::module_& m) {
  m.def(
      "check_findings",
      [](const std::string& spec) {
        std::vector<CheckFinding> found;
        {
          py::gil_scoped_release unlocked;
          found = check_findings(spec);
        }
        py::list findings;
        for (const CheckFinding& f : found) {
          const char* severity = f.severity == CheckFinding::Severity::Error ? "error" : "warning";
          findings.append(py::make_tuple(to_str(f.file), f.line, severity, to_str(f.message)));
        }
        return findings;
      },
      py::arg("spec"), "What --check finds in the spec file's vehicle: (file, line, severity, message) tuples.");
}

}  // namespace hdfe::python
