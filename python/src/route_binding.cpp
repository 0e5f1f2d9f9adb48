// hdfe.Route: a road by distance from a route file (CSV or GPX) or from arrays, back as
// arrays, picklable; and hdfe.RouteFigures, what driving one gave. The package adds the
// DataFrame constructor and to_frame (python/hdfe).
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cmath>
#include <optional>
#include <set>

#include "bindings.h"
#include "hdfe/error.h"
#include "hdfe/route.h"
#include "hdfe/tables.h"

namespace hdfe::python {

namespace {

constexpr int RouteStateVersion = 1;
constexpr int RouteFiguresStateVersion = 1;

// A 1-D array of numbers as doubles; ValueError naming `what` for another shape.
std::vector<double> route_numbers(const py::handle& object, const std::string& what) {
  const auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(object);
  if (!array || array.ndim() != 1) throw py::value_error(what + " must be a 1-D sequence of numbers");
  return std::vector<double>(array.data(), array.data() + array.size());
}

std::vector<double> optional_route_numbers(const py::handle& object, const std::string& what) {
  return object.is_none() ? std::vector<double>{} : route_numbers(object, what);
}

py::array_t<double> route_array(const std::vector<double>& values) {
  return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

py::object optional_route_array(const std::vector<double>& values) {
  return values.empty() ? py::object(py::none()) : py::object(route_array(values));
}

std::string route_name(const py::handle& name) {
  if (!py::isinstance<py::str>(name)) throw py::type_error("a route's name is a str");
  std::string text = to_bytes(name);
  if (text.empty()) throw py::value_error("a route needs a name");
  return text;
}

// A window of the elevation smoothing: a finite length from 0 [m].
double route_window(const py::handle& window) {
  const double metres = window.cast<double>();
  if (!(std::isfinite(metres) && metres >= 0.0)) {
    throw py::value_error("elevation_window_m must be a finite length from 0 m, not " + std::string(py::repr(window)));
  }
  return metres;
}

// The route of those columns as a route file gives them (make_route); ValueError when they
// give no route.
Route route_of(const std::string& name, const py::handle& distance, const py::handle& speed, const py::handle& grade,
               const py::handle& elevation, const py::handle& stop, double window_m) {
  try {
    return make_route(name, route_numbers(distance, "distance_m"), route_numbers(speed, "speed_km_per_h"),
                      optional_route_numbers(grade, "grade_percent"), optional_route_numbers(elevation, "elevation_m"),
                      optional_route_numbers(stop, "stop_s"), window_m);
  } catch (const Error& error) {
    throw py::value_error(error.what());
  }
}

// The route of the columns it holds (grades driven, elevations as kept), checked as
// check_route_values does: a pickled route, and a frame of to_frame's columns.
Route route_as_held(const std::string& name, const py::handle& distance, const py::handle& speed,
                    const py::handle& grade, const py::handle& elevation, const py::handle& stop) {
  Route r;
  r.name = name;
  r.distance_m = route_numbers(distance, "distance_m");
  r.speed_km_per_h = route_numbers(speed, "speed_km_per_h");
  r.grade_percent = route_numbers(grade, "grade_percent");
  r.elevation_m = route_numbers(elevation, "elevation_m");
  r.stop_s = optional_route_numbers(stop, "stop_s");
  try {
    check_route_values(r);
  } catch (const Error& error) {
    throw py::value_error(error.what());
  }
  if (r.elevation_m.size() != r.distance_m.size()) throw py::value_error("route " + name + ": no elevation column");
  return r;
}

py::dict route_state(const Route& r) {
  py::dict state;
  state["version"] = RouteStateVersion;
  state["name"] = to_str(r.name);
  state["distance_m"] = route_array(r.distance_m);
  state["speed_km_per_h"] = route_array(r.speed_km_per_h);
  state["grade_percent"] = route_array(r.grade_percent);
  state["elevation_m"] = route_array(r.elevation_m);
  state["stop_s"] = optional_route_array(r.stop_s);
  state["source"] = to_str(r.source);
  return state;
}

Route route_from(const py::object& object) {
  static const std::set<std::string> parts = {"version", "name", "distance_m", "speed_km_per_h", "grade_percent",
                                              "elevation_m", "stop_s", "source"};
  if (!py::isinstance<py::dict>(object)) throw py::value_error("not a pickled hdfe.Route");
  const auto state = object.cast<py::dict>();
  std::set<std::string> keys;
  for (const auto item : state) keys.insert(py::str(item.first).cast<std::string>());
  if (keys != parts || !py::object(state["version"]).equal(py::int_(RouteStateVersion))) {
    throw py::value_error("not a pickled hdfe.Route of this version");
  }
  try {
    Route r = route_as_held(route_name(state["name"]), state["distance_m"], state["speed_km_per_h"],
                            state["grade_percent"], state["elevation_m"], state["stop_s"]);
    r.source = to_bytes(state["source"]);
    return r;
  } catch (const std::exception& error) {
    throw py::value_error(std::string("not a pickled hdfe.Route: ") + error.what());
  }
}

bool same_route(const Route& a, const Route& b) {
  return a.name == b.name && a.distance_m == b.distance_m && a.speed_km_per_h == b.speed_km_per_h &&
         a.grade_percent == b.grade_percent && a.elevation_m == b.elevation_m && a.stop_s == b.stop_s &&
         a.source == b.source;
}

// A route's kilometres as a DataFrame, a column per entry of route_kilometre_table().
py::object kilometre_frame(const std::vector<RouteKilometre>& kilometres) {
  py::dict data;
  for (const RouteKilometreInfo& info : route_kilometre_table()) {
    std::vector<double> values;
    values.reserve(kilometres.size());
    for (const RouteKilometre& km : kilometres) values.push_back(km.*info.member);
    data[py::str(std::string(info.name))] = route_array(values);
  }
  return py::module_::import("pandas").attr("DataFrame")(data);
}

// The kilometres as the JSON writes them: a list of numbers per column.
py::dict kilometre_columns(const std::vector<RouteKilometre>& kilometres) {
  py::dict out;
  for (const RouteKilometreInfo& info : route_kilometre_table()) {
    py::list values;
    for (const RouteKilometre& km : kilometres) values.append(km.*info.member);
    out[py::str(std::string(info.name))] = values;
  }
  return out;
}

py::dict route_figures_dict(const RouteFigures& r) {
  py::dict out;
  out["name"] = to_str(r.name);
  for (const RouteFigureInfo& info : route_figure_table()) out[py::str(std::string(info.name))] = r.*info.member;
  out["kilometres"] = kilometre_columns(r.kilometres);
  return out;
}

RouteFigures route_figures_from(const py::object& object) {
  if (!py::isinstance<py::dict>(object)) throw py::value_error("not a pickled hdfe.RouteFigures");
  const auto state = object.cast<py::dict>();
  if (!state.contains("version") || !py::object(state["version"]).equal(py::int_(RouteFiguresStateVersion)) ||
      state.size() != route_figure_table().size() + 3) {
    throw py::value_error("not a pickled hdfe.RouteFigures of this version");
  }
  try {
    RouteFigures r;
    r.name = to_bytes(state["name"]);
    for (const RouteFigureInfo& info : route_figure_table()) {
      r.*info.member = state[py::str(std::string(info.name))].cast<double>();
    }
    const auto columns = state["kilometres"].cast<py::dict>();
    if (columns.size() != route_kilometre_table().size()) throw py::value_error("its kilometres have other columns");
    std::optional<std::size_t> rows;
    for (const RouteKilometreInfo& info : route_kilometre_table()) {
      const auto values = columns[py::str(std::string(info.name))].cast<std::vector<double>>();
      if (rows && *rows != values.size()) throw py::value_error("its kilometre columns differ in length");
      rows = values.size();
      r.kilometres.resize(values.size());
      for (std::size_t k = 0; k < values.size(); ++k) r.kilometres[k].*info.member = values[k];
    }
    return r;
  } catch (const std::exception& error) {
    throw py::value_error(std::string("not a pickled hdfe.RouteFigures: ") + error.what());
  }
}

// A table entry's help: its meaning, with its unit.
std::string route_help(std::string_view meaning, std::string_view unit) {
  std::string help(meaning);
  if (!help.empty() && help[0] >= 'a' && help[0] <= 'z') help[0] = static_cast<char>(help[0] - 'a' + 'A');
  return help + (unit.empty() ? "" : " [" + std::string(unit) + "]") + ".";
}

void bind_route_figures(py::module_& m) {
  py::class_<RouteFigures> c(m, "RouteFigures", R"(What driving a route gave (read-only): Result.routes holds one per route.

Attributes: name, the figures of hdfe.route_figure_table() (length_km, time_s,
time_at_targets_s, time_lost_s, time_lost_climbing_s, stopped_s), and kilometres, a
DataFrame of the route kilometre by kilometre (columns of hdfe.route_kilometre_table()).
to_dict() gives the JSON's entry of the route. A RouteFigures pickles.)");
  c.attr("__module__") = "hdfe";
  c.def_property_readonly("name", [](const RouteFigures& r) { return to_str(r.name); },
                          "The route's name: its cycle entry in Result.cycles has the same.");
  for (const RouteFigureInfo& info : route_figure_table()) {
    const auto member = info.member;
    c.def_property_readonly(std::string(info.name).c_str(), [member](const RouteFigures& r) { return r.*member; },
                            route_help(info.meaning, info.unit).c_str());
  }
  c.def_property_readonly("kilometres", [](const RouteFigures& r) { return kilometre_frame(r.kilometres); },
                          "The route kilometre by kilometre: a new DataFrame, one row each (the last may be shorter).");
  c.def("to_dict", &route_figures_dict, "The figures as the JSON's entry of the route: kilometres as lists per column.");
  c.def(
      "__eq__",
      [](const RouteFigures& a, const py::object& other) -> py::object {
        if (!py::isinstance<RouteFigures>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return route_figures_dict(a).equal(route_figures_dict(other.cast<const RouteFigures&>())) ? py::bool_(true)
                                                                                                  : py::bool_(false);
      },
      py::is_operator());
  c.attr("__hash__") = py::none();
  c.def("__repr__", [](const RouteFigures& r) {
    return py::str("<hdfe.RouteFigures {!r}: {:.3f} km in {:g} s, {:g} s lost>")
        .format(to_str(r.name), r.length_km, r.time_s, r.time_lost_s);
  });
  m.def("_restore_RouteFigures", &route_figures_from, "Restores pickled RouteFigures.");
  c.def("__reduce__", [](const RouteFigures& r) {
    py::dict state = route_figures_dict(r);
    state["version"] = RouteFiguresStateVersion;
    return reduced("RouteFigures", state);
  });
  m.def("route_figure_table", [] {
    py::list out;
    for (const RouteFigureInfo& info : route_figure_table()) {
      out.append(py::make_tuple(std::string(info.name), std::string(info.unit), std::string(info.meaning)));
    }
    return out;
  }, "A route's own figures, in order: (name, unit, meaning).");
  m.def("route_kilometre_table", [] {
    py::list out;
    for (const RouteKilometreInfo& info : route_kilometre_table()) {
      out.append(py::make_tuple(std::string(info.name), std::string(info.unit), std::string(info.meaning)));
    }
    return out;
  }, "The columns of a route's kilometres, in order: (name, unit, meaning).");
}

}  // namespace

std::vector<Route> routes_of(const py::handle& routes) {
  std::vector<Route> out;
  for (const py::handle route : routes) out.push_back(route.cast<const Route&>());
  return out;
}

void bind_route(py::module_& m) {
  py::class_<Route> c(m, "Route", R"(A road known by distance: speed limits, stops and how the road rises and falls.

Row k holds what starts at distance_m[k]: the speed limit and grade up to row k + 1, and a
stop there. Route(name, distance_m, speed_km_per_h, grade_percent=None, elevation_m=None,
stop_s=None, elevation_window_m=0) takes a route file's columns (the road as grades or as
elevations; neither: level; ValueError for values a route file may not hold).
Route.read(path) reads a CSV route file or a GPX track, Route.from_frame(frame, name) a
DataFrame of a route file's columns; to_frame() gives the columns back. Drive routes with
hdfe.run(vehicle, routes=[...]). A Route pickles.)");
  c.attr("__module__") = "hdfe";
  c.def(py::init([](const py::object& name, const py::object& distance, const py::object& speed, const py::object& grade,
                    const py::object& elevation, const py::object& stop, const py::object& window) {
          return route_of(route_name(name), distance, speed, grade, elevation, stop, route_window(window));
        }),
        py::arg("name"), py::arg("distance_m"), py::arg("speed_km_per_h"), py::arg("grade_percent") = py::none(),
        py::arg("elevation_m") = py::none(), py::arg("stop_s") = py::none(), py::arg("elevation_window_m") = 0.0);
  c.def_static(
      "read",
      [](const std::filesystem::path& path, const py::object& speed, const py::object& window) {
        RouteReadOptions options;
        if (!speed.is_none()) {
          const double kmh = speed.cast<double>();
          if (!(std::isfinite(kmh) && kmh > 0.0)) {
            throw py::value_error("speed_km_per_h must be a speed above 0 km/h, not " + std::string(py::repr(speed)));
          }
          options.speed_km_per_h = kmh;
        }
        if (!window.is_none()) options.elevation_window_m = route_window(window);
        py::gil_scoped_release unlocked;
        return read_route_file(path, options);
      },
      py::arg("path"), py::arg("speed_km_per_h") = py::none(), py::arg("elevation_window_m") = py::none(),
      "Reads a route file: CSV (distance_m, speed_km_per_h, grade_percent or elevation_m, optional stop_s) or a "
      "GPX track (.gpx, whose limit speed_km_per_h gives; a CSV's own speed column wins). elevation_window_m: "
      "the elevation smoothing (default: 100 m for GPX, none for CSV). Named after the file's stem. Raises "
      "hdfe.Error naming the file and line.");
  c.def_property(
      "name", [](const Route& o) { return to_str(o.name); }, [](Route& o, const py::object& name) { o.name = route_name(name); },
      "The route's name: its figures, its cycle entry and the trace's cycle column carry it.");
  c.def_property_readonly("distance_m", [](const Route& o) { return route_array(o.distance_m); },
                          "Where each row starts, from 0 [m] (a new array).");
  c.def_property_readonly("speed_km_per_h", [](const Route& o) { return route_array(o.speed_km_per_h); },
                          "The speed limit from each row on [km/h] (a new array).");
  c.def_property_readonly("grade_percent", [](const Route& o) { return route_array(o.grade_percent); },
                          "The grade from each row on [%] (a new array).");
  c.def_property_readonly("elevation_m", [](const Route& o) { return route_array(o.elevation_m); },
                          "The elevation at each row [m]: as given (smoothed), or from the grades from 0 (a new array).");
  c.def_property_readonly("stop_s", [](const Route& o) { return optional_route_array(o.stop_s); },
                          "Seconds standing at each row (a new array), or None for a route without stops.");
  c.def_property(
      "source", [](const Route& o) { return to_str(o.source); },
      [](Route& o, const py::object& source) {
        if (!py::isinstance<py::str>(source)) throw py::type_error("a route's source is a str");
        o.source = to_bytes(source);
      },
      "The file read, or what the user names.");
  c.def_property_readonly("length_km", [](const Route& o) { return o.distance_m.back() / 1000.0; }, "The route's length [km].");
  c.def("__len__", [](const Route& o) { return o.distance_m.size(); }, "The rows.");
  c.def(
      "__eq__",
      [](const Route& a, const py::object& other) -> py::object {
        if (!py::isinstance<Route>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::bool_(same_route(a, other.cast<const Route&>()));
      },
      py::is_operator());
  c.attr("__hash__") = py::none();
  c.def("__repr__", [](const Route& o) {
    return py::str("<hdfe.Route {!r}: {:.3f} km, {} rows{}>")
        .format(to_str(o.name), o.distance_m.back() / 1000.0, o.distance_m.size(), o.stop_s.empty() ? "" : ", with stops");
  });
  c.def("__copy__", [](const Route& o) { return Route(o); });
  c.def("__deepcopy__", [](const Route& o, const py::dict&) { return Route(o); }, py::arg("memo"));
  m.def("_restore_Route", &route_from, "Restores a pickled Route.");
  c.def("__reduce__", [](const Route& o) { return reduced("Route", route_state(o)); });
  m.def(
      "_route_as_held",
      [](const py::object& name, const py::object& distance, const py::object& speed, const py::object& grade,
         const py::object& elevation, const py::object& stop) {
        return route_as_held(route_name(name), distance, speed, grade, elevation, stop);
      },
      py::arg("name"), py::arg("distance_m"), py::arg("speed_km_per_h"), py::arg("grade_percent"),
      py::arg("elevation_m"), py::arg("stop_s"),
      "A route of the columns it holds (grades and elevations both, as to_frame gives them), checked.");
  bind_route_figures(m);
}

}  // namespace hdfe::python
