"""hdfe: heavy-duty vehicle fuel economy from Python.

Load a vehicle, edit its values, run it over the drive cycles and read every figure::

    import hdfe
    vehicle = hdfe.load_vehicle("examples/tractor_TT1_325kW_AMT12/spec.txt")
    vehicle.FinalRatio = 2.8
    result = hdfe.run(vehicle, trace=True)
    result.urban.fuel_economy_km_per_l      # or result.cycles["URBAN"]....
    result.average_fuel_economy_km_per_l
    result.trace                            # per-second DataFrame

Many rows at once, on every core (``run_batch``) or on a Dask cluster (``hdfe.dask.sweep``),
take a manifest DataFrame: a ``spec`` column plus a column per spec value to override.
"""

import copy as _copy
import json as _json
import math as _math
import numbers as _numbers
import os as _os

from hdfe import _core

__all__ = [
    "Error",
    "EngineInput",
    "Figures",
    "Result",
    "TransmissionInput",
    "Vehicle",
    "cycle_tables_version",
    "load_vehicle",
    "override_names",
    "program_version",
    "read_summary",
    "report",
    "run",
    "run_batch",
    "summary_columns",
    "write_batch_report",
    "write_summary_csv",
]

Error = _core.Error
Vehicle = _core.Vehicle
EngineInput = _core.EngineInput
TransmissionInput = _core.TransmissionInput

#: The program version, as the results file and the JSON give it.
program_version = _core.program_version
#: The version of the built-in drive-cycle tables.
cycle_tables_version = _core.cycle_tables_version

#: The JSON attribute names of the three cycles on a Result.
_CYCLE_ATTRIBUTES = {"urban": "URBAN", "highway": "HIGHWAY", "midtown": "MID-TOWN"}


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


def run(vehicle, trace=False):
    """Run a vehicle over the drive cycles; return its :class:`Result`.

    The simulation runs with the GIL released, so threads may run vehicles in parallel.

    Args:
        vehicle: a :class:`Vehicle`, e.g. from :func:`load_vehicle`.
        trace: keep the per-second traces (``Result.trace``).

    Raises:
        Error: the vehicle cannot be run (e.g. ``kind == "vehicle_check"``).
    """
    return Result(_core.run(vehicle, bool(trace)), vehicle)


class Figures:
    """A read-only record of a run's JSON: its keys are attributes.

    ``figures.fuel_economy_km_per_l`` is ``figures["fuel_economy_km_per_l"]``; nested
    objects are Figures too, and ``to_dict()`` gives a plain copy.
    """

    __slots__ = ("_data",)

    def __init__(self, data):
        object.__setattr__(self, "_data", data)

    def __getattr__(self, name):
        try:
            return _wrap(self._data[name])
        except KeyError:
            raise AttributeError(name) from None

    def __setattr__(self, name, value):
        raise AttributeError("hdfe result figures are read-only")

    def __getitem__(self, name):
        return _wrap(self._data[name])

    def __contains__(self, name):
        return name in self._data

    def __iter__(self):
        return iter(self._data)

    def __dir__(self):
        return list(self._data)

    def __eq__(self, other):
        return isinstance(other, Figures) and self._data == other._data

    __hash__ = None

    def keys(self):
        """The field names, in the JSON's order."""
        return self._data.keys()

    def to_dict(self):
        """A plain (deep) copy as dicts and lists."""
        return _copy.deepcopy(self._data)

    def __repr__(self):
        return f"Figures({self._data!r})"


def _wrap(value):
    if isinstance(value, dict):
        return Figures(value)
    if isinstance(value, list):
        return [_wrap(item) for item in value]
    return value


class Result:
    """The figures of a run, named as in the command line's JSON (``hdfe --json``).

    Attributes:
        cycles: ``{"URBAN": Figures, "HIGHWAY": Figures, "MID-TOWN": Figures}``; each has
            ``fuel_economy_km_per_l`` (the final figure), ``fuel_economy_before_transient_km_per_l``,
            ``fuel_economy_after_transient_km_per_l``, ``fuel_economy_after_kf_km_per_l``,
            ``transient_correction``, ``kf``, ``average_speed_km_per_h``, ``distance_km``,
            ``target_distance_km``, ``fuel_l``, ``first_second``, ``seconds`` and ``metrics``
            (``seconds_below_target``, ``largest_shortfall_km_per_h``,
            ``largest_shortfall_second``, ``distance_percent_of_target``,
            ``seconds_at_full_load``).
        urban, highway, midtown: the same cycles' Figures.
        average_fuel_economy_km_per_l: the distance-weighted average [km/l].
        vehicle: the classification and standard-vehicle values (Figures).
        inputs: the input files with their paths and SHA-256 (list of Figures).
        run_checks: seconds the vehicle could not follow (list of Figures).
        warnings: what the run did that the figures do not show (list of Figures).
        program: program name and versions (Figures).
        trace: the per-second traces as a DataFrame, or None (see ``trace``).

    A Result pickles; it is immutable.
    """

    __slots__ = ("_output", "_document", "_source")

    def __init__(self, output, source=None):
        self._output = output
        self._document = _json.loads(output.json)
        self._source = source

    def __reduce__(self):
        return (Result, (self._output, self._source))

    @property
    def source_vehicle(self):
        """The :class:`Vehicle` object given to :func:`run` (for its curves and map), or None."""
        return self._source

    def __getattr__(self, name):
        if name in _CYCLE_ATTRIBUTES:
            return self.cycles[_CYCLE_ATTRIBUTES[name]]
        if name in ("vehicle", "inputs", "run_checks", "warnings", "program", "average_fuel_economy_km_per_l"):
            return _wrap(self._document[name])
        raise AttributeError(name)

    def __dir__(self):
        return sorted(set(object.__dir__(self)) | set(_CYCLE_ATTRIBUTES) | set(self._document))

    @property
    def cycles(self):
        """The cycles' Figures by name, in the order URBAN, HIGHWAY, MID-TOWN."""
        return {cycle["name"]: Figures(cycle) for cycle in self._document["cycles"]}

    def to_dict(self):
        """The whole result as the command line's JSON document, parsed (a fresh copy)."""
        return _json.loads(self._output.json)

    def to_json(self):
        """The command line's JSON document, as text."""
        return self._output.json

    @property
    def trace(self):
        """The per-second traces: a DataFrame with the trace CSV's columns, or None.

        Columns: cycle, second, target_speed_km_per_h, speed_km_per_h, gradient_percent,
        distance_km, gear, engine_speed_rpm, engine_torque_Nm, normalised_speed_percent,
        normalised_torque_percent, fuel_rate_l_per_h, cumulative_fuel_l. Distance and fuel
        accumulate from each cycle's start. None unless the run was asked for traces.
        """
        columns = self._output.trace_columns()
        if columns is None:
            return None
        import numpy
        import pandas

        names, rows, numbers = columns
        data = {"cycle": numpy.repeat(numpy.array(names, dtype=object), rows)}
        for name, values in numbers.items():
            data[name] = values.astype("int64") if name in ("second", "gear") else values
        return pandas.DataFrame(data)

    def __repr__(self):
        economies = ", ".join(
            f"{name} {cycle['fuel_economy_km_per_l']:.4f}" for name, cycle in self.cycles.items()
        )
        return f"<hdfe.Result {self._document['vehicle']['name']!r}: {economies} km/l>"


def report(vehicle_or_result, path, vehicle=None):
    """Write the self-contained HTML report of a vehicle or of a run to ``path``.

    ``vehicle_or_result`` is a :class:`Vehicle` (run here with its traces), a
    :class:`Result` of ``run(..., trace=True)``, or the path of a spec file. Returns ``path``.
    Needs matplotlib; see ``hdfe.reporting`` for the parts.
    """
    from hdfe import reporting

    return reporting.report(vehicle_or_result, path, vehicle=vehicle)


def write_batch_report(summary, path, title=None):
    """Write the HTML report of a batch summary (a DataFrame or a summary CSV) to ``path``.

    It holds the sortable summary table, urban against highway economy, and for a sweep of
    one parameter the economies against that parameter. Returns ``path``.
    """
    from hdfe import reporting

    return reporting.write_batch_report(summary, path, title=title)


def override_names():
    """The spec values a batch row may replace (its manifest columns), in spec-file order."""
    return list(_core.override_names())


def summary_columns(override_columns=()):
    """The batch summary's column names, as ``hdfe --batch`` writes them.

    ``id, spec, status, message, category``, the economies, speeds and fuel of the cycles,
    the cycle-following metrics of URBAN and HIGHWAY, then the override columns given.
    """
    return list(_core.summary_columns(list(override_columns)))


#: Summary columns holding whole numbers (pandas ``Int64``; missing for a failed row).
_WHOLE_COLUMNS = frozenset(
    f"{cycle}_{name}"
    for cycle in ("urban", "highway")
    for name in ("seconds_below_target", "largest_shortfall_second", "seconds_at_full_load")
)
#: Summary columns holding text; every other column up to the overrides is a float.
_TEXT_COLUMNS = ("id", "spec", "status", "message", "category")


def _cell_text(value):
    """A manifest cell as the text a CSV manifest would hold: empty for a missing value."""
    if value is None:
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
    overrides = [name for name in names if name not in ("id", "spec", "vehicle")]
    unknown = [name for name in overrides if name not in known]
    if unknown:
        raise ValueError(
            f"unknown manifest column(s) {', '.join(map(repr, unknown))}; "
            f"the columns are id, spec (or vehicle) and {', '.join(sorted(known))}"
        )
    repeated = sorted({name for name in names if names.count(name) > 1})
    if repeated:
        raise ValueError(f"manifest column(s) given twice: {', '.join(repeated)}")
    return overrides


def run_batch(rows, jobs=None, base=None):
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
        base: the folder relative ``spec`` names are taken from; None: the working directory.

    Returns:
        A DataFrame: text columns as str, figures as float64 (NaN for a failed row), whole
        numbers as ``Int64``, override columns as the texts run.

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
    names, columns = _core.run_batch(
        ids, specs, "" if base is None else _os.fspath(base), vehicles, overrides, texts, jobs or 0
    )
    return _summary_frame(names, columns)


def _summary_frame(names, columns):
    import numpy
    import pandas

    data = {}
    failed = None
    for name, values in zip(names, columns):
        if name == "status":
            failed = numpy.array([status != "ok" for status in values], dtype=bool)
        if name in _WHOLE_COLUMNS:
            values = pandas.arrays.IntegerArray(numpy.asarray(values, dtype="int64"), failed.copy())
        data[name] = values
    return pandas.DataFrame(data, columns=names)


def read_summary(path):
    """Read a batch summary CSV (from ``hdfe --batch``) into the DataFrame run_batch gives.

    Numbers are read back exactly: the summary writes them in their shortest round-trip form.
    """
    import numpy
    import pandas

    text = pandas.read_csv(path, dtype=str, keep_default_na=False, encoding="utf-8")
    names = list(text.columns)
    fixed = len(summary_columns())
    columns = []
    for position, name in enumerate(names):
        cells = list(text[name])
        if position < len(_TEXT_COLUMNS) or position >= fixed:
            columns.append(cells)
        elif name in _WHOLE_COLUMNS:
            columns.append([int(cell) if cell else -1 for cell in cells])
        else:
            columns.append(numpy.array([float(cell) if cell else numpy.nan for cell in cells], dtype="float64"))
    return _summary_frame(names, columns)


def write_summary_csv(summary, path, chunk_rows=100_000):
    """Write a summary DataFrame (from run_batch or a sweep) as ``hdfe --batch`` writes it.

    The text is the batch core's own, byte for byte. ``path`` is a file name or ``"-"`` for
    standard output; the file is written whole to a temporary name, then renamed.
    """
    import numpy
    import sys

    names = list(summary.columns)
    fixed = len(summary_columns())
    overrides = names[fixed:]
    if names != summary_columns(overrides):
        raise ValueError("not a batch summary: its columns differ from summary_columns()")

    def chunks():
        for start in range(0, max(len(summary), 1), chunk_rows):
            part = summary.iloc[start : start + chunk_rows]
            columns = []
            for position, name in enumerate(names):
                column = part[name]
                if position < len(_TEXT_COLUMNS) or position >= fixed:
                    columns.append([_cell_text(cell) for cell in column])
                else:
                    columns.append(column.to_numpy(dtype="float64", na_value=numpy.nan))
            yield _core.summary_csv(overrides, columns, start == 0)

    if path == "-":
        for text in chunks():
            sys.stdout.buffer.write(text)
        sys.stdout.buffer.flush()
        return
    temporary = f"{_os.fspath(path)}.tmp{_os.getpid()}"
    try:
        with open(temporary, "wb") as out:
            for text in chunks():
                out.write(text)
        _os.replace(temporary, path)
    except BaseException:
        if _os.path.exists(temporary):
            _os.remove(temporary)
        raise
