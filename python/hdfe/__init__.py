"""hdfe: heavy-duty vehicle fuel economy from Python.

Load a vehicle, edit its values, run it over the drive cycles and read every figure::

    import hdfe
    vehicle = hdfe.load_vehicle("examples/tractor_TT1_325kW_AMT12/spec.txt")
    vehicle.final_ratio = 2.8               # or vehicle["FinalRatio"]
    result = hdfe.run(vehicle, trace=True)
    result.urban.fuel_economy_km_per_l      # or result.cycles["URBAN"]....
    result.average_fuel_economy_km_per_l
    result.trace                            # per-second DataFrame

Any drive cycle, and the vehicle's own mass and drag (the engineering values)::

    vehicle.test_mass_kg = 30000
    cycle = hdfe.Cycle.read("route.csv")    # or Cycle(name, speeds), Cycle.from_frame(df)
    result = hdfe.run(vehicle, cycles=[cycle, "hd-udds"])
    result.to_frame()                       # every figure, one row per cycle and phase

Roads by distance (speed limits, stops, grades or elevations; CSV or GPX)::

    route = hdfe.Route.read("depot-run.csv")  # or Route(name, distance_m, speed_km_per_h, ...)
    result = hdfe.run(vehicle, routes=[route])
    result.routes[0].time_lost_s            # and .kilometres, a DataFrame

Many rows at once, on every core (``run_batch``) or on a Dask cluster (``hdfe.dask.sweep``),
take a manifest DataFrame: a ``spec`` column plus a column per spec value to override.
"""

import collections as _collections
import math as _math
import numbers as _numbers
import os as _os

try:
    from hdfe import _core
except ImportError as _error:
    import sys as _sys

    raise ImportError(
        f"the hdfe package cannot be loaded by {_sys.executable} ({_error}): it is built for "
        "Debian's /usr/bin/python3 and its Debian packages (python3-numpy, python3-pandas); run "
        "it with /usr/bin/python3, e.g. /usr/bin/python3 -m hdfe"
    ) from _error

__all__ = [
    "Classification",
    "Cycle",
    "CycleFigures",
    "CycleMetrics",
    "EnergyAudit",
    "EngineData",
    "EngineInput",
    "Error",
    "Finding",
    "GearRow",
    "InputFile",
    "Result",
    "Route",
    "RouteFigures",
    "RunFinding",
    "RunWarning",
    "SpecValues",
    "TransmissionData",
    "TransmissionInput",
    "Vehicle",
    "VehicleSpec",
    "check",
    "spec_values",
    "cycle_tables_version",
    "library_cycles",
    "load_vehicle",
    "override_names",
    "program_version",
    "read_summary",
    "report",
    "route_figure_table",
    "route_kilometre_table",
    "run",
    "run_batch",
    "summary_columns",
    "write_batch_report",
    "write_summary_csv",
]

from hdfe._errors import Error

Vehicle = _core.Vehicle
EngineInput = _core.EngineInput
TransmissionInput = _core.TransmissionInput
Result = _core.Result
CycleFigures = _core.CycleFigures
CycleMetrics = _core.CycleMetrics
EnergyAudit = _core.EnergyAudit
Cycle = _core.Cycle
Route = _core.Route
RouteFigures = _core.RouteFigures
RunFinding = _core.RunFinding
RunWarning = _core.RunWarning
InputFile = _core.InputFile
Classification = _core.Classification
SpecValues = _core.SpecValues
VehicleSpec = _core.VehicleSpec
EngineData = _core.EngineData
TransmissionData = _core.TransmissionData
GearRow = _core.GearRow

#: The program version, as the results file and the JSON give it.
program_version = _core.program_version
#: The version of the built-in drive-cycle tables.
cycle_tables_version = _core.cycle_tables_version


def load_vehicle(path, base=None):
    """Read a spec file and every file it names; return a :class:`Vehicle`.

    Args:
        path: the spec file (str or path-like).
        base: the folder that relative names inside the files are taken from; by default
            the spec file's folder. ``""`` opens them as written, from the working directory.

    Raises:
        Error: a file is missing or a value cannot be read (``kind`` and ``file`` say which).
    """
    return _core.load_vehicle(path, base)


def run(vehicle, trace=False, cycles=None, routes=None):
    """Run a vehicle over the drive cycles or along routes; return its :class:`Result`.

    The simulation runs with the GIL released, so threads may run vehicles in parallel.

    Args:
        vehicle: a :class:`Vehicle`, e.g. from :func:`load_vehicle`.
        trace: keep the per-second traces (``Result.trace``).
        cycles: None for the built-in cycles (URBAN, HIGHWAY and MID-TOWN); else the cycles
            to run instead, in order: :class:`Cycle` objects, names of the library's cycles
            (:func:`library_cycles`, any case) or cycle files. Each cycle's figures are
            followed by those of its phases; no transient correction and no Kf apply.
        routes: routes to drive instead of cycles, in order: :class:`Route` objects or route
            files (CSV or GPX, read as :meth:`Route.read` reads them). Each route is a cycle
            entry named after it, and ``Result.routes`` holds its own figures.

    Raises:
        Error: the vehicle cannot be run (e.g. ``kind == "vehicle_check"``), or a cycle or
            route file cannot be read.
        ValueError: no cycles or routes, two of the same name, or cycles and routes together.
    """
    if routes is not None:
        if cycles is not None:
            raise ValueError("run: give cycles or routes, not both")
        if isinstance(routes, (Route, str, bytes)) or hasattr(routes, "__fspath__"):
            routes = [routes]
        chosen = [_find_route(route) for route in routes]
        if not chosen:
            raise ValueError("run: routes names no route")
        _check_names("routes", [route.name for route in chosen], "route.name")
        return _core.run_routes(vehicle, chosen, bool(trace))
    if cycles is None:
        return _core.run(vehicle, bool(trace))
    if isinstance(cycles, (Cycle, str, bytes)) or hasattr(cycles, "__fspath__"):
        cycles = [cycles]
    chosen = [_find_cycle(cycle) for cycle in cycles]
    if not chosen:
        raise ValueError("run: cycles names no cycle (None runs the built-in ones)")
    _check_names("cycles", [cycle.name for cycle in chosen], "cycle.name")
    return _core.run_cycles(vehicle, chosen, bool(trace))


def _check_names(what, names, attribute):
    """ValueError when two of the cycles or routes run share a name."""
    repeated = sorted({name for name in names if names.count(name) > 1})
    if repeated:
        raise ValueError(f"run: two {what} are named {', '.join(map(repr, repeated))}: their figures and "
                         f"traces would mix; rename one ({attribute} = ...)")


def _given(item, kind, find, what):
    """A cycle or route given to run: one of `kind` as it is, else a name or path for `find`."""
    if isinstance(item, kind):
        return item
    if isinstance(item, bytes):
        item = _os.fsdecode(item)
    if not isinstance(item, str) and not hasattr(item, "__fspath__"):
        raise TypeError(f"a {what}, not {type(item).__name__}")
    return find(item)


def _find_route(route):
    """A route given to run: a Route as it is, else a route file (Route.read)."""
    return _given(route, Route, Route.read, "route is an hdfe.Route or a route file")


def _find_cycle(cycle):
    """A cycle given to run: a Cycle as it is, else as --cycle takes it (Cycle.find)."""
    return _given(cycle, Cycle, Cycle.find, "cycle is an hdfe.Cycle, a library cycle's name or a file")


def library_cycles():
    """The library's drive cycles as a DataFrame, one row each.

    Columns: ``name`` (what :meth:`Cycle.library` and ``run(..., cycles=[...])`` take, any
    case), ``title``, ``source``, and the cycle's own figures: ``points``, ``duration_s``,
    ``distance_km`` (trapezoid rule), ``mean_speed_km_per_h`` (of points 1..n) and
    ``max_speed_km_per_h``.
    """
    import pandas

    rows = []
    for name, title, source in _core.library_cycle_table():
        rows.append({"name": name, "title": title, "source": source, **Cycle.library(name).stats()})
    return pandas.DataFrame(rows)


#: The columns of a cycle file, which Cycle.from_frame takes.
_CYCLE_COLUMNS = ("time_s", "speed_km_per_h", "speed_mph", "speed_m_per_s", "grade_percent", "phase")


def _cycle_cells(name, column):
    """A frame's column as a cycle file's cells: numbers in their shortest exact form, text as
    it is (the reader refuses what is not a number)."""
    import numpy

    values = column.to_numpy()
    if values.dtype.kind in "iub":
        return [str(int(v)) for v in values.tolist()]
    if values.dtype.kind == "f":
        return [repr(float(v)) for v in values.tolist()]
    cells = []
    for value in values.tolist():
        if _is_missing(value):
            cells.append("")
        elif isinstance(value, str):
            if any(c in value for c in ",\r\n"):
                raise ValueError(f"the frame's {name} holds {value!r}: a cell cannot hold a comma or a line break")
            cells.append(value)
        elif isinstance(value, _numbers.Real):
            cells.append(repr(float(numpy.float64(value))))
        else:
            raise TypeError(f"the frame's {name} holds a {type(value).__name__}, not a number or text")
    return cells


def _known_frame(frame, what, known):
    """The frame (or what pandas makes one of) with its first known column taken out of the
    index when it is there, and its column names; ValueError names any column it does not
    know."""
    import pandas

    frame = frame if isinstance(frame, pandas.DataFrame) else pandas.DataFrame(frame)
    if known[0] not in frame.columns and frame.index.name == known[0]:
        frame = frame.reset_index()
    columns = [str(column) for column in frame.columns]
    unknown = [column for column in columns if column not in known]
    if unknown:
        raise ValueError(f"unknown {what} column(s) {', '.join(map(repr, unknown))}; a {what}'s columns are "
                         f"{', '.join(known)}")
    return frame, columns


def _cycle_from_frame(frame, name="frame"):
    """A cycle from a DataFrame with a cycle file's columns, read by the cycle-file reader.

    Columns: ``time_s`` (from 0, increasing; also taken from an index of that name), one of
    ``speed_km_per_h``, ``speed_mph`` or ``speed_m_per_s``, and optionally ``grade_percent``
    and ``phase``. Rows at whole seconds 0..n are used as they stand; other times are
    resampled linearly to whole seconds (``cycle.resampled`` says so), exactly as a cycle
    file's rows are.

    Raises:
        ValueError: an unknown or missing column, or values a cycle file may not hold; the
            message names the frame's row.
    """
    import tempfile

    frame, columns = _known_frame(frame, "cycle", _CYCLE_COLUMNS)
    if not isinstance(name, str) or not name:
        raise ValueError("a cycle needs a name")
    # time_s first: a row whose first cell began with '#' would read as a comment.
    order = sorted(range(len(columns)), key=lambda k: columns[k] != "time_s")
    cells = [_cycle_cells(columns[k], frame.iloc[:, k]) for k in order]
    if cells and any(cell.startswith("#") for cell in cells[0]):
        raise ValueError("Cycle.from_frame: a time_s cell starts with '#'")
    text = ",".join(columns[k] for k in order) + "\n" + "".join(",".join(row) + "\n" for row in zip(*cells))
    with tempfile.TemporaryDirectory(prefix="hdfe-cycle-") as folder:
        path = _os.path.join(folder, "frame.csv")
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)
        try:
            cycle = Cycle.read(path)
        except Error as error:
            message = str(error)
            message = message[len(path) + 2:] if message.startswith(path + ": ") else message.replace(path, "the frame")
            where = f"row {frame.index[error.line - 2]!r}" if 2 <= error.line < len(frame) + 2 else "the frame"
            raise ValueError(f"Cycle.from_frame: {where}: {message}") from None
    cycle.name = name
    cycle.source = "DataFrame"
    return cycle


def _cycle_to_frame(cycle):
    """The cycle as a DataFrame of a cycle file's columns: time_s (0..n), speed_km_per_h, and
    grade_percent and phase where the cycle has them. Cycle.from_frame takes it back."""
    import numpy
    import pandas

    data = {"time_s": numpy.arange(len(cycle), dtype="int64"), "speed_km_per_h": cycle.speed_km_per_h}
    if cycle.grade_percent is not None:
        data["grade_percent"] = cycle.grade_percent
    if cycle.phase is not None:
        data["phase"] = numpy.array(cycle.phase, dtype=object)
    return pandas.DataFrame(data)


Cycle.from_frame = staticmethod(_cycle_from_frame)
Cycle.to_frame = _cycle_to_frame

#: The columns of a route file, which Route.from_frame takes.
_ROUTE_COLUMNS = ("distance_m", "speed_km_per_h", "grade_percent", "elevation_m", "stop_s")


def _route_from_frame(frame, name="frame", elevation_window_m=0):
    """A route from a DataFrame with a route file's columns.

    Columns: ``distance_m`` (also taken from an index of that name), ``speed_km_per_h``, the
    road as ``grade_percent`` or ``elevation_m`` (neither: level), optionally ``stop_s``; the
    values are checked as a route file's are. A frame with both ``grade_percent`` and
    ``elevation_m``, as :meth:`Route.to_frame` gives it, is the route as it was held: its
    grades are driven and its elevations kept as they are (``elevation_window_m`` must then be
    0).

    Raises:
        ValueError: an unknown or missing column, a cell that is not a number (naming the
            frame's row), or values a route file may not hold.
    """
    import numpy

    frame, columns = _known_frame(frame, "route", _ROUTE_COLUMNS)
    repeated = sorted({column for column in columns if columns.count(column) > 1})
    if repeated:
        raise ValueError(f"route column(s) given twice: {', '.join(repeated)}")
    for needed in ("distance_m", "speed_km_per_h"):
        if needed not in columns:
            raise ValueError(f"Route.from_frame: no {needed} column")

    def numbers(column):
        values = frame.iloc[:, columns.index(column)]
        out = numpy.empty(len(values), dtype="float64")
        for k, value in enumerate(values.tolist()):
            try:
                if isinstance(value, bool) or _is_missing(value):
                    raise ValueError
                out[k] = float(value)
            except (TypeError, ValueError):
                raise ValueError(f"Route.from_frame: row {frame.index[k]!r}: {column} holds {value!r}, "
                                 "not a number") from None
        return out

    given = {column: numbers(column) for column in columns}
    if "grade_percent" in given and "elevation_m" in given:
        if elevation_window_m:
            raise ValueError("Route.from_frame: a frame of grades and elevations is taken as it is: "
                             "no elevation_window_m")
        route = _core._route_as_held(name, given["distance_m"], given["speed_km_per_h"], given["grade_percent"],
                                     given["elevation_m"], given.get("stop_s"))
    else:
        route = Route(name, given["distance_m"], given["speed_km_per_h"], given.get("grade_percent"),
                      given.get("elevation_m"), given.get("stop_s"), elevation_window_m)
    route.source = "DataFrame"
    return route


def _route_to_frame(route):
    """The route as a DataFrame: distance_m, speed_km_per_h, grade_percent, elevation_m, and
    stop_s where the route has stops. Route.from_frame takes it back as the same route."""
    import pandas

    data = {"distance_m": route.distance_m, "speed_km_per_h": route.speed_km_per_h,
            "grade_percent": route.grade_percent, "elevation_m": route.elevation_m}
    if route.stop_s is not None:
        data["stop_s"] = route.stop_s
    return pandas.DataFrame(data)


Route.from_frame = staticmethod(_route_from_frame)
Route.to_frame = _route_to_frame


def route_figure_table():
    """A route's own figures (:class:`RouteFigures`), in order: (name, unit, meaning)."""
    return list(_core.route_figure_table())


def route_kilometre_table():
    """The columns of ``RouteFigures.kilometres``, in order: (name, unit, meaning)."""
    return list(_core.route_kilometre_table())


def spec_values():
    """The spec values in spec-file order, as dicts.

    Keys: ``name`` (the Python attribute, e.g. ``"final_ratio"``), ``file_name`` (as spec
    files, manifests and ``--set`` write it, e.g. ``"FinalRatio"``), ``kind`` (``"text"``,
    ``"real"``, ``"integer"``, ``"switch"`` or ``"optional real"``: an engineering value, None
    for the category's own), ``unit``, the range a run accepts (``min``,
    ``above``: exclusive, ``max``; None where there is no bound) and ``meaning``.
    """
    return list(_core.spec_values())


def check(vehicle_or_spec):
    """What ``hdfe --check`` finds in a vehicle's input files, as data.

    Args:
        vehicle_or_spec: a spec file (str or path-like), or a :class:`Vehicle`, whose spec
            file (``vehicle.files[0]``) is checked as it is on disk: edits made in Python
            are not seen.

    Returns:
        A list of :class:`Finding` (file, line, severity, message) in the order ``--check``
        prints them; ``line`` is 0 where the finding is about a file as a whole, ``severity``
        ``"error"`` or ``"warning"``. An empty list: nothing found.
    """
    if isinstance(vehicle_or_spec, Vehicle):
        if not vehicle_or_spec.files:
            raise ValueError("check: the vehicle has no spec file to check")
        spec = vehicle_or_spec.files[0]["path"]
    else:
        spec = _os.fspath(vehicle_or_spec)
    return [Finding(*fields) for fields in _core.check_findings(spec)]


class Finding(_collections.namedtuple("Finding", "file line severity message")):
    """A finding of :func:`check`: ``file``, ``line`` (0: the whole file), ``severity``
    (``"error"`` or ``"warning"``) and ``message``."""

    __slots__ = ()


def report(vehicle_or_result, path, vehicle=None, cycles=None, routes=None):
    """Write the self-contained HTML report of a vehicle or of a run to ``path``.

    ``vehicle_or_result`` is a :class:`Vehicle` (run here with its traces, over ``cycles``
    or along ``routes`` when given, as :func:`run` takes them), a :class:`Result` of
    ``run(..., trace=True)`` over any cycles or routes, or the path of a spec file. A run of
    routes adds a section per route. Returns ``path``. Needs matplotlib; see
    ``hdfe.reporting`` for the parts.
    """
    from hdfe import reporting

    return reporting.report(vehicle_or_result, path, vehicle=vehicle, cycles=cycles, routes=routes)


def write_batch_report(summary, path, parameters=None, title=None):
    """Write the HTML report of a batch summary (a DataFrame or a summary CSV) to ``path``.

    It holds the sortable summary table, urban against highway economy, and for a sweep of
    one parameter the economies against that parameter (``parameters``: the override columns
    to consider, when the default guess does not fit). Returns ``path``.
    """
    from hdfe import reporting

    return reporting.write_batch_report(summary, path, parameters=parameters, title=title)


def override_names():
    """The spec values a batch row may replace (its manifest columns), in spec-file order."""
    return list(_core.override_names())


def summary_columns(override_columns=(), per_cycle=False):
    """The batch summary's column names, as ``hdfe --batch`` writes them.

    The wide layout (rows of the built-in cycles): ``id, spec, status, message, category``,
    the economies, speeds and fuel of the cycles, the cycle-following metrics of URBAN and
    HIGHWAY, ``warnings`` (the run's warnings joined by `` | ``), then the override columns
    given. ``per_cycle``: the layout of rows that run cycles of their own, a row per batch row
    and cycle or phase: ``id, spec, status, message, category, cycle, phase``, every figure,
    metric and energy term (``energy_<term>``), ``warnings``, then the override columns.
    """
    names = _core.cycle_summary_columns if per_cycle else _core.summary_columns
    return list(names(list(override_columns)))


#: The column tables of the two summary layouts: (name, unit, kind, meaning) of each column
#: before the overrides. Kinds: text, bool (the status), number, whole (pandas ``Int64``,
#: missing for a failed row) and, per cycle, switch (pandas ``boolean``).
_WIDE_TABLE = tuple(_core.summary_column_table())
_CYCLE_TABLE = tuple(_core.cycle_summary_column_table())


def _summary_table(names):
    """The column table of a summary with these column names: the per-cycle one when its fixed
    columns lead, else the wide one."""
    per_cycle = [name for name, *_ in _CYCLE_TABLE]
    return _CYCLE_TABLE if list(names)[: len(per_cycle)] == per_cycle else _WIDE_TABLE


def _summary_kinds(names):
    """Each column's kind (overrides: "override"), and the number of fixed columns."""
    table = _summary_table(names)
    kinds = [kind for _name, _unit, kind, _meaning in table]
    return kinds + ["override"] * (len(names) - len(kinds)), len(table)


def _is_missing(value):
    if value is None:
        return True
    try:
        import pandas

        return value is pandas.NA or value is pandas.NaT
    except ImportError:
        return False


def _cell_text(value):
    """A manifest cell as the text a CSV manifest would hold: empty for a missing value."""
    if _is_missing(value):
        return ""
    if isinstance(value, str):
        return value
    if isinstance(value, bool):
        return str(int(value))
    if isinstance(value, _numbers.Integral):
        return str(int(value))
    if isinstance(value, _numbers.Real):
        number = float(value)
        if _math.isnan(number):
            return ""
        if number.is_integer() and abs(number) < 1e15:
            return str(int(number))
        return repr(number)
    if isinstance(value, _os.PathLike):
        return _os.fspath(value)
    raise TypeError(f"a manifest cell must be text or a number, not {type(value).__name__}")


def _manifest_columns(columns):
    """The override columns of a manifest's columns; ValueError on an unknown or repeated one."""
    names = [str(column) for column in columns]
    if "spec" not in names and "vehicle" not in names:
        raise ValueError("the rows need a 'spec' column (or a 'vehicle' column of hdfe.Vehicle)")
    known = set(_core.override_names())
    overrides = [name for name in names if name not in ("id", "spec", "vehicle", "cycle", "route")]
    unknown = [name for name in overrides if name not in known]
    if unknown:
        import difflib

        hints = ""
        for name in unknown:
            close = [k for k in known if k.lower() == name.lower()] or difflib.get_close_matches(name, known, n=1)
            hints += f" ({name!r}: did you mean {close[0]}?)" if close else ""
        raise ValueError(
            f"unknown manifest column(s) {', '.join(map(repr, unknown))}{hints}; "
            f"the columns are id, spec (or vehicle), cycle, route and {', '.join(sorted(known))}"
        )
    repeated = sorted({name for name in names if names.count(name) > 1})
    if repeated:
        raise ValueError(f"manifest column(s) given twice: {', '.join(repeated)}")
    return overrides


def run_batch(rows, jobs=None, base=None, typed=True, cycles=None, route=None):
    """Run every row of a manifest; return the batch summary as a DataFrame.

    The rows run on the C++ worker threads with the GIL released, each distinct input file
    read once. The summary has the columns and values of ``hdfe --batch`` (see
    :func:`summary_columns`): one row per manifest row, in manifest order. A row that fails
    gets ``status == "error"`` and its ``message``, and missing figures; nothing is raised.

    Args:
        rows: a pandas DataFrame (or anything ``pandas.DataFrame`` takes) with the manifest's
            columns: ``spec`` (a spec file), optional ``id`` (default: the row number from
            1), and any of :func:`override_names`, whose non-empty cells replace the spec
            file's value. Cells are text as in a CSV manifest; numbers are written as their
            shortest text (whole numbers without a decimal point). Instead of ``spec``, a
            ``vehicle`` column may carry :class:`Vehicle` objects, so that rows run where
            the files are not (a ``spec`` column, if given too, only labels the rows).
        jobs: worker threads; None: one per core.
            A ``cycle`` column runs each row over its cell's cycle (a library cycle's name, or
            a cycle file taken from ``base``) instead of the built-in cycles.
        base: the folder relative ``spec`` and cycle file names are taken from; None: the
            working directory.
        typed: give override columns of numbers as numbers (below); False: as the texts run.
        cycles: cycles every row runs instead of the built-in ones (library names or cycle
            files, as ``hdfe --batch --cycle`` takes them); not with a ``cycle`` column.
        route: a route file (a CSV route file: a GPX track has no limits) every row drives instead
            of cycles, as ``hdfe --batch --route`` takes it; not with a ``cycle`` or ``route``
            column. A ``route`` column drives each row along its cell's route file (taken
            from ``base``); a row with both a cycle and a route fails.

    Returns:
        A DataFrame: text columns as str, figures as float64 (NaN for a failed row), whole
        numbers as ``Int64``. Rows that run cycles give the per-cycle layout (see
        :func:`summary_columns`): a row per batch row and cycle or phase, switches as
        ``boolean``. An override column of a real value is float64 (NaN where the
        cell was empty), of a whole-number value or a switch ``Int64``, when every cell of it
        reads as a number; otherwise, and for text values, it holds the texts run.

    Raises:
        ValueError: an unknown or repeated column, or neither ``spec`` nor ``vehicle``.
    """
    import pandas

    frame = rows if isinstance(rows, pandas.DataFrame) else pandas.DataFrame(rows)
    overrides = _manifest_columns(frame.columns)
    count = len(frame)
    vehicles = None
    if "vehicle" in frame.columns:
        vehicles = list(frame["vehicle"])
        for vehicle in vehicles:
            if not isinstance(vehicle, Vehicle):
                raise TypeError(f"the 'vehicle' column holds a {type(vehicle).__name__}, not an hdfe.Vehicle")
    if "spec" in frame.columns:
        specs = [_cell_text(spec) for spec in frame["spec"]]
    else:
        specs = [vehicle.files[0]["name"] if vehicle.files else "" for vehicle in vehicles]
    if "id" in frame.columns:
        ids = [_cell_text(row_id) for row_id in frame["id"]]
    else:
        ids = [str(k + 1) for k in range(count)]
    texts = [[_cell_text(cell) for cell in frame[name]] for name in overrides]
    folder = "" if base is None else _os.fspath(base)
    row_cycles = None
    if "cycle" in frame.columns:
        if cycles is not None:
            raise ValueError("run_batch: the rows have a 'cycle' column and cycles are given: give them one way")
        row_cycles = [[_row_cycle(text, folder)] if text else [] for text in map(_cell_text, frame["cycle"])]
    elif cycles is not None:
        row_cycles = [_cycle_names(cycles)] * count
    row_routes = _batch_routes(frame, folder, cycles, route)
    names, columns = _core.run_batch(ids, specs, folder, vehicles, overrides, texts, jobs or 0, row_cycles, row_routes)
    return _summary_frame(names, columns, typed=typed)


def _batch_routes(frame, folder, cycles, route):
    """The route file of each batch row ("" for none), or None when no row drives one: the
    ``route`` argument for every row, or the manifest's ``route`` column."""
    if route is not None:
        if "route" in frame.columns or "cycle" in frame.columns or cycles is not None:
            raise ValueError("run_batch: route drives every row along the route given, and the rows have a route "
                             "or cycle column or cycles are given: give the rows' runs one way")
        if not isinstance(route, (str, bytes)) and not hasattr(route, "__fspath__"):
            raise TypeError(f"run_batch takes a route file, not {type(route).__name__}; drive a Route object "
                            "with hdfe.run")
        return [_os.fsdecode(route)] * len(frame)
    if "route" not in frame.columns:
        return None
    if cycles is not None:
        raise ValueError("run_batch: the rows have a 'route' column and cycles are given: give them one way")
    return [_row_route(text, folder) for text in map(_cell_text, frame["route"])]


def _row_route(text, base):
    """A manifest's route cell as the row drives it: a file taken from ``base``; "" for none."""
    if not text or not base or _os.path.isabs(text):
        return text
    return _os.path.join(base, text)


def _cycle_names(cycles):
    """The cycles a batch's rows run, as --cycle takes them: library names or cycle files."""
    if isinstance(cycles, (str, bytes)) or hasattr(cycles, "__fspath__"):
        cycles = [cycles]
    names = []
    for cycle in cycles:
        if isinstance(cycle, Cycle):
            raise TypeError("run_batch takes cycles by name or file; run a Cycle object with hdfe.run")
        if not isinstance(cycle, (str, bytes)) and not hasattr(cycle, "__fspath__"):
            raise TypeError(f"a cycle is a library cycle's name or a file, not {type(cycle).__name__}")
        names.append(_os.fsdecode(cycle))
    if not names:
        raise ValueError("run_batch: cycles names no cycle (None runs the built-in ones)")
    return names


def _row_cycle(text, base):
    """A manifest's cycle cell as the row runs it: a library cycle by its name, else a file
    taken from ``base`` (as a manifest's spec file is)."""
    known = {name.lower() for name, _title, _source in _core.library_cycle_table()}
    if text.lower() in known or not base or _os.path.isabs(text):
        return text
    return _os.path.join(base, text)


def _override_kinds():
    return {value["file_name"]: value["kind"] for value in _core.spec_values()}


def _typed_override(kind, cells):
    """An override column's texts as numbers when the value is a number and every non-empty
    cell reads as one: float64 (NaN where empty) for a real value, Int64 (missing where
    empty) for a whole number or a switch. Otherwise, or for a text value, the texts."""
    import numpy
    import pandas

    if kind == "text":
        return list(cells)
    texts = [str(cell).strip() for cell in cells]
    try:
        if kind == "real":
            return numpy.array([float(t) if t else numpy.nan for t in texts], dtype="float64")
        whole = [int(t) if t else 0 for t in texts]
    except ValueError:
        return list(cells)
    return pandas.arrays.IntegerArray(numpy.array(whole, dtype="int64"),
                                      numpy.array([not t for t in texts], dtype=bool))


def _type_overrides(frame):
    """A summary whose override columns hold texts, with them typed (see run_batch)."""
    kinds = _override_kinds()
    fixed = _summary_kinds(frame.columns)[1]
    frame = frame.copy()
    for name in list(frame.columns)[fixed:]:
        cells = ["" if _is_missing(cell) else cell for cell in frame[name]]
        frame[name] = _typed_override(kinds.get(name, "text"), cells)
    return frame


def _summary_frame(names, columns, typed=True):
    import numpy
    import pandas

    overrides = _override_kinds() if typed else {}
    kinds, _fixed = _summary_kinds(names)
    data = {}
    failed = None
    for name, kind, values in zip(names, kinds, columns):
        if name == "status" and kind == "bool":
            failed = numpy.array([status != "ok" for status in values], dtype=bool)
        if kind == "whole":
            values = pandas.arrays.IntegerArray(numpy.asarray(values, dtype="int64"), failed.copy())
        elif kind == "switch":
            values = pandas.arrays.BooleanArray(numpy.asarray(values, dtype="int64") == 1, failed.copy())
        elif kind == "override" and typed:
            values = _typed_override(overrides.get(name, "text"), values)
        data[name] = values
    return pandas.DataFrame(data, columns=names)


def read_summary(path):
    """Read a batch summary CSV (from ``hdfe --batch``) into the DataFrame run_batch gives.

    Numbers are read back exactly: the summary writes them in their shortest round-trip form.
    Both layouts are read: the wide one and the per-cycle one of rows that run cycles.
    """
    import numpy
    import pandas

    text = pandas.read_csv(path, dtype=str, keep_default_na=False, encoding="utf-8")
    names = list(text.columns)
    kinds, _fixed = _summary_kinds(names)
    columns = []
    for name, kind in zip(names, kinds):
        cells = list(text[name])
        if kind in ("text", "bool", "override"):
            columns.append([_core.csv_cell_text(cell) for cell in cells])
        elif kind == "whole":
            columns.append([int(cell) if cell else -1 for cell in cells])
        elif kind == "switch":
            columns.append([{"true": 1, "false": 0}.get(cell, -1) for cell in cells])
        else:
            columns.append(numpy.array([float(cell) if cell else numpy.nan for cell in cells], dtype="float64"))
    return _summary_frame(names, columns)


def write_summary_csv(summary, path, chunk_rows=100_000):
    """Write a summary DataFrame (from run_batch or a sweep) as ``hdfe --batch`` writes it.

    The text is the batch core's own: the same bytes as ``hdfe --batch`` writes for the same
    rows, numbers of override columns written in their shortest form (``2.50`` in a manifest
    comes back as ``2.5``). ``path`` is a file name or ``"-"`` for standard output; the file
    is replaced whole, through the library's atomic writes (flushed to the disk, then renamed
    over the old one).

    Raises:
        Error: the file cannot be written (``kind == "cannot_write"``).
    """
    import numpy
    import sys

    names = list(summary.columns)
    kinds, fixed = _summary_kinds(names)
    per_cycle = _summary_table(names) is _CYCLE_TABLE
    overrides = names[fixed:]
    if names != summary_columns(overrides, per_cycle=per_cycle):
        raise ValueError("not a batch summary: its columns differ from summary_columns()")
    write = _core.cycle_summary_csv if per_cycle else _core.summary_csv

    def chunks():
        for start in range(0, max(len(summary), 1), chunk_rows):
            part = summary.iloc[start : start + chunk_rows]
            columns = []
            for name, kind in zip(names, kinds):
                column = part[name]
                if kind in ("text", "bool", "override"):
                    columns.append([_cell_text(cell) for cell in column])
                else:
                    columns.append(column.to_numpy(dtype="float64", na_value=numpy.nan))
            yield write(overrides, columns, start == 0)

    if path == "-":
        for text in chunks():
            sys.stdout.buffer.write(text)
        sys.stdout.buffer.flush()
        return
    with _core.AtomicFile(_os.fspath(path), "summary file") as out:
        for text in chunks():
            out.write(text)
        out.commit()


def _write_file(path, text, kind="output file"):
    """Replace the file at ``path`` whole with ``text`` (str, as UTF-8, or bytes), through the
    library's atomic writes: flushed to the disk beside its target, then renamed over it."""
    data = text.encode("utf-8") if isinstance(text, str) else bytes(text)
    with _core.AtomicFile(_os.fspath(path), kind) as out:
        out.write(data)
        out.commit()


def _check_output(path, inputs=(), kind="output file"):
    """Refuse, before any work, an output file that can never be replaced by a regular file (a
    folder, a FIFO, a device) or that is one of ``inputs``: compared as files (device and
    inode), so another spelling of the name or a symbolic link to an input is refused too.

    Raises:
        Error: ``kind == "cannot_write"``.
    """
    name = _os.fspath(path)
    _core.check_replaceable(name, kind)
    try:
        target = _os.stat(name)
    except (OSError, ValueError):
        return  # not there yet: it is no input
    for other in inputs:
        try:
            found = _os.stat(other)
        except (OSError, ValueError):
            continue
        if (found.st_dev, found.st_ino) == (target.st_dev, target.st_ino):
            raise Error(f"Cannot write {kind} [ {name} ]: it is an input file of the run", "cannot_write", name)
