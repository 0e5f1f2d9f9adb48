// check_findings: what --check finds, as (file, line, severity, message) tuples.
#include <pybind11/stl.h>

#include <sstream>
#include <string_view>
#include <tuple>

#include "bindings.h"
#include "hdfe/check.h"

namespace hdfe::python {

namespace {

using Finding = std::tuple<std::string, int64_t, std::string, std::string>;

// A line `file[:line]: error|warning: message` of run_check; false for its closing count.
bool finding_of(std::string_view text, Finding& out) {
  for (const std::string_view severity : {"error", "warning"}) {
    const std::string mark = ": " + std::string(severity) + ": ";
    const auto at = text.find(mark);
    if (at == std::string_view::npos) continue;
    std::string_view place = text.substr(0, at);
    int64_t line = 0;
    const auto colon = place.rfind(':');
    if (colon != std::string_view::npos && colon + 1 < place.size() &&
        place.substr(colon + 1).find_first_not_of("0123456789") == std::string_view::npos) {
      line = std::stoll(std::string(place.substr(colon + 1)));
      place = place.substr(0, colon);
    }
    out = Finding{std::string(place), line, std::string(severity), std::string(text.substr(at + mark.size()))};
    return true;
  }
  return false;
}

}  // namespace

void bind_check(py::module_& m) {
  m.def(
      "check_findings",
      [](const std::string& spec) {
        std::ostringstream out;
        {
          py::gil_scoped_release unlocked;
          run_check(spec, out);
        }
        py::list findings;
        std::istringstream lines(out.str());
        std::string text;
        while (std::getline(lines, text)) {
          Finding f;
          if (!finding_of(text, f)) continue;
          findings.append(py::make_tuple(to_str(std::get<0>(f)), std::get<1>(f), std::get<2>(f), to_str(std::get<3>(f))));
        }
        return findings;
      },
      py::arg("spec"), "What --check finds in the spec file's vehicle: (file, line, severity, message) tuples.");
}

}  // namespace hdfe::python
