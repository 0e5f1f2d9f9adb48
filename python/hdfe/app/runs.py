"""Runs and sweeps of the app: kept in memory, run on worker threads with a deadline.

A run is kept with the vehicle it ran (a copy), the edits made in the form and its result,
so that its figures, plots and downloads can be given again; pinned runs are compared. A
sweep runs its rows in chunks through the batch core, reporting its progress after each.
"""

import collections
import concurrent.futures
import functools
import itertools
import math
import threading
import time

import numpy as np

import hdfe
from hdfe import reporting

#: Runs kept (pinned runs are kept besides).
KEPT_RUNS = 40
#: Most rows of a sweep, and the chunk a progress report follows.
MAX_SWEEP_ROWS = 20_000
SWEEP_CHUNK_ROWS = 50
#: Sweeps running at once (each keeps every core busy).
MAX_RUNNING_SWEEPS = 2
#: Trace columns sent to the page, as the trace table names them. The operating points are
#: the engine's own torque: the model's demand goes below the motoring curve when braking.
TRACE_COLUMNS = ("second", "target_speed_km_per_h", "speed_km_per_h", "gear", "engine_speed_rpm",
                 "engine_own_torque_Nm", "braking_torque_Nm", "fuel_rate_l_per_h", "cumulative_fuel_l",
                 "distance_km", "gradient_percent")
#: Short labels of the figure table's figures in the results table (else its meaning).
FIGURE_LABELS = {
    "fuel_economy_km_per_l": "Fuel economy",
    "fuel_economy_before_transient_km_per_l": "Before the transient correction",
    "fuel_economy_after_transient_km_per_l": "After the transient correction",
    "fuel_economy_after_kf_km_per_l": "After Kf",
    "kf": "Kf",
    "average_speed_km_per_h": "Average speed",
    "distance_km": "Distance",
    "target_distance_km": "Target distance",
    "fuel_l": "Fuel",
    "converter_factor": "Torque-converter factor",
    "fuel_consumption_l_per_100km": "Fuel consumption",
    "co2_g_per_km": "CO2",
    "co2_g_per_t_km": "CO2 per tonne of payload",
    "payload_kg": "Payload",
}
#: Figures an engineering run shows first, in this order; the rest follow in the table's order.
HEADLINE_FIGURES = ("fuel_economy_km_per_l", "fuel_consumption_l_per_100km", "co2_g_per_km", "co2_g_per_t_km")
#: Figures that say nothing of a run over chosen cycles (no transient correction, Kf 1), and
#: the step counters no run's table shows.
STANDARD_ONLY_FIGURES = ("fuel_economy_after_transient_km_per_l", "fuel_economy_after_kf_km_per_l", "kf")
HIDDEN_FIGURES = ("first_second", "seconds")
#: Decimals shown per unit (a figure without unit: 6).
UNIT_DECIMALS = {"km/l": 4, "l/100 km": 3, "g/km": 1, "g/(t·km)": 2, "km/h": 1, "km": 3, "l": 3, "kg": 0}
#: Sweep figures plotted, from the batch summary: (column, label).
SWEEP_FIGURES = (("average_km_per_l", "AVERAGE"), ("urban_km_per_l", "URBAN"),
                 ("highway_km_per_l", "HIGHWAY"), ("midtown_km_per_l", "MID-TOWN"))


class RunTimeout(RuntimeError):
    """A run or sweep past its deadline."""


class SweepsBusy(RuntimeError):
    """As many sweeps running as the app runs at once."""


def engineering_runs():
    """Whether the package runs vehicles over cycles of the user's choice."""
    return hasattr(hdfe, "Cycle") and hasattr(hdfe, "library_cycles")


def library_cycles():
    """The library's cycles as ``[{name, title, duration_s, distance_km}]``; empty where the
    package has none."""
    if not engineering_runs():
        return []
    return [dict(row) for row in _library_cycles()]


@functools.lru_cache(maxsize=1)
def _library_cycles():
    """The library's cycles, read once: they are built into the program."""
    table = hdfe.library_cycles()
    rows = table.to_dict("records") if hasattr(table, "to_dict") else [
        row if isinstance(row, dict) else {"name": str(row)} for row in table]
    return [{"name": str(row.get("name", "")), "title": str(row.get("title", "")),
             "duration_s": _number(row.get("duration_s")), "distance_km": _number(row.get("distance_km"))}
            for row in rows]


class Record:
    """One run: its number, label, the vehicle run and its result."""

    def __init__(self, number, label, spec, vehicle, result, edits, cycles, seconds, routes=()):
        self.id = f"r{number}"
        self.label = label
        self.spec = spec            # workspace-relative spec file
        self.vehicle = vehicle      # the vehicle run (a copy)
        self.result = result
        self.edits = edits          # [(field, old, new)] unsaved in the files when run
        self.cycles = cycles        # cycle names of an engineering run; empty: the standard run
        self.sources = []           # the cycles as run: library names and hdfe.Cycle objects
        self.routes = list(routes)  # route files of a run along routes (workspace-relative)
        self.route_sources = []     # the routes as run: hdfe.Route objects
        self.seconds = seconds
        self.created = time.time()
        self._payload = None

    @property
    def standard(self):
        return not self.cycles and not self.routes

    def payload(self):
        if self._payload is None:
            self._payload = run_payload(self)
        return self._payload


class Runs:
    """The runs of the app: a worker pool, the kept runs, the pinned ones and the sweeps."""

    def __init__(self, workers=2, run_seconds=20.0, sweep_seconds=120.0):
        self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=workers, thread_name_prefix="hdfe-run")
        self.run_seconds = run_seconds
        self.sweep_seconds = sweep_seconds
        self._lock = threading.Lock()
        self._numbers = itertools.count(1)
        self._runs = collections.OrderedDict()
        self.pinned = []
        self._sweeps = {}
        self._sweep_numbers = itertools.count(1)

    # ------------------------------------------------------------------ runs

    def run(self, spec, vehicle, edits, label, cycles=(), routes=()):
        """Runs the vehicle on a worker thread and keeps the run; RunTimeout past the deadline
        (the run goes on, its result dropped), hdfe.Error when it cannot run. ``cycles``:
        ``[(label, cycle)]`` for a run over those cycles (see _run), ``routes``: ``[(label,
        hdfe.Route)]`` for a run along those routes; both empty for the standard run."""
        started = time.perf_counter()
        future = self.pool.submit(_run, vehicle, [cycle for _label, cycle in cycles],
                                  [route for _label, route in routes])
        try:
            result = future.result(timeout=self.run_seconds)
        except concurrent.futures.TimeoutError:
            raise RunTimeout(f"the run took longer than {self.run_seconds:g} s and was abandoned") from None
        record = Record(next(self._numbers), label, spec, vehicle, result, edits, [name for name, _c in cycles],
                        time.perf_counter() - started, [name for name, _r in routes])
        record.sources = [cycle for _name, cycle in cycles]
        record.route_sources = [route for _name, route in routes]
        with self._lock:
            self._runs[record.id] = record
            while len(self._runs) > KEPT_RUNS + len(self.pinned):
                oldest = next((key for key in self._runs if key not in self.pinned), None)
                if oldest is None:
                    break
                del self._runs[oldest]
        return record

    def get(self, run_id):
        with self._lock:
            return self._runs.get(run_id)

    def pin(self, run_id, pinned=True):
        with self._lock:
            if run_id not in self._runs:
                return False
            if pinned and run_id not in self.pinned:
                self.pinned.append(run_id)
            if not pinned and run_id in self.pinned:
                self.pinned.remove(run_id)
            return True

    def pinned_records(self):
        with self._lock:
            return [self._runs[key] for key in self.pinned if key in self._runs]

    # ------------------------------------------------------------------ sweeps

    def start_sweep(self, spec, vehicle, edits, axes):
        """Starts a sweep of the vehicle over ``axes`` (``[(name, [texts])]``, one or two)
        on a thread of its own; returns the Sweep."""
        rows = 1
        for _name, values in axes:
            rows *= len(values)
        if rows > MAX_SWEEP_ROWS:
            raise ValueError(f"{rows} rows: a sweep runs at most {MAX_SWEEP_ROWS}")
        sweep = Sweep(f"s{next(self._sweep_numbers)}", spec, vehicle, edits, axes, self.sweep_seconds)
        with self._lock:
            running = sum(1 for other in self._sweeps.values() if not other.done)
            if running >= MAX_RUNNING_SWEEPS:
                raise SweepsBusy(f"{running} sweeps are running: wait for one to finish, or stop it")
            self._sweeps[sweep.id] = sweep
            for old in list(self._sweeps)[:-8]:
                if self._sweeps[old].done:
                    del self._sweeps[old]
        threading.Thread(target=sweep.run, name=f"hdfe-{sweep.id}", daemon=True).start()
        return sweep

    def sweep(self, sweep_id):
        with self._lock:
            return self._sweeps.get(sweep_id)


def _run(vehicle, cycles, routes=()):
    """The standard run, the run over ``cycles`` (library cycles' names and hdfe.Cycle objects
    read from the workspace's files) or the run along ``routes`` (hdfe.Route objects)."""
    if routes:
        return hdfe.run(vehicle, trace=True, routes=routes)
    if cycles:
        return hdfe.run(vehicle, trace=True, cycles=cycles)
    return hdfe.run(vehicle, trace=True)


class Sweep:
    """A sweep: its rows, progress and summary; ``run`` runs it in chunks."""

    def __init__(self, sweep_id, spec, vehicle, edits, axes, seconds):
        self.id = sweep_id
        self.spec = spec
        self.vehicle = vehicle
        self.edits = edits
        self.axes = axes
        self.deadline_seconds = seconds
        grid = list(itertools.product(*(values for _name, values in axes)))
        self.rows = grid
        self.total = len(grid)
        self.done_rows = 0
        self.status = "running"   # running, done, failed, cancelled, timeout
        self.message = ""
        self.summary = None
        self.started = time.perf_counter()
        self.seconds = 0.0
        self.cancelled = threading.Event()
        self._lock = threading.Lock()

    @property
    def done(self):
        return self.status != "running"

    def run(self):
        import pandas

        parts = []
        names = [name for name, _values in self.axes]
        deadline = self.started + self.deadline_seconds
        try:
            for start in range(0, self.total, SWEEP_CHUNK_ROWS):
                if self.cancelled.is_set():
                    self._finish("cancelled", "stopped on request", parts)
                    return
                if time.perf_counter() > deadline:
                    self._finish("timeout", f"stopped after {self.deadline_seconds:g} s", parts)
                    return
                chunk = self.rows[start:start + SWEEP_CHUNK_ROWS]
                frame = pandas.DataFrame({"id": [str(start + k + 1) for k in range(len(chunk))],
                                          "vehicle": [self.vehicle] * len(chunk)})
                for position, name in enumerate(names):
                    frame[name] = [row[position] for row in chunk]
                parts.append(hdfe.run_batch(frame, jobs=None, typed=True))
                with self._lock:
                    self.done_rows = start + len(chunk)
            self._finish("done", "", parts)
        except Exception as error:  # noqa: BLE001 - a sweep reports what stopped it
            self._finish("failed", str(error), parts)

    def _finish(self, status, message, parts):
        import pandas

        with self._lock:
            self.summary = pandas.concat(parts, ignore_index=True) if parts else None
            self.seconds = time.perf_counter() - self.started
            self.message = message
            self.status = status

    def state(self, with_rows=False):
        """Progress, and with ``with_rows`` the summary's rows for the plot."""
        with self._lock:
            out = {"id": self.id, "status": self.status, "message": self.message, "done": self.done_rows,
                   "total": self.total, "seconds": round(self.seconds or time.perf_counter() - self.started, 3),
                   "axes": [{"name": name, "values": values} for name, values in self.axes],
                   "spec": self.spec}
            if with_rows and self.summary is not None:
                out["rows"] = sweep_rows(self.summary, [name for name, _values in self.axes])
        return out


def sweep_rows(summary, names):
    """The summary's rows as the page plots them: the parameters' texts, the status, the
    message and the economies (None where a row failed)."""
    out = []
    for _index, row in summary.iterrows():
        item = {"id": str(row["id"]), "status": row["status"], "message": row["message"],
                "values": {name: _cell(row[name]) for name in names}}
        for column, _label in SWEEP_FIGURES:
            item[column] = _number(row[column]) if column in summary.columns else None
        out.append(item)
    return out


def _cell(value):
    if isinstance(value, (float, np.floating)):
        return float(value)
    if isinstance(value, (int, np.integer)):
        return int(value)
    return None if value is None else str(value)


def _number(value):
    try:
        number = float(value)
    except (TypeError, ValueError):
        return None
    return number if math.isfinite(number) else None


# ---------------------------------------------------------------------- a run's page data

def run_payload(record):
    """What the page shows of a run: the figures table, the warnings and findings, and the
    series of the plots."""
    result = record.result
    document = result.to_dict()
    cycles = document.get("cycles", [])
    payload = {
        "id": record.id,
        "label": record.label,
        "spec": record.spec,
        "edits": [{"field": f, "old": o, "new": n} for f, o, n in record.edits],
        "standard": record.standard,
        "cycles_run": record.cycles,
        "routes_run": record.routes,
        "seconds": round(record.seconds, 4),
        "average_km_per_l": document.get("average_fuel_economy_km_per_l"),
        "figures": figure_rows(cycles, record.standard),
        "cycle_names": [cycle.get("name", "") for cycle in cycles],
        "metrics": metric_rows(cycles),
        "energy": energy_rows(cycles),
        "findings": [finding.to_dict() for finding in result.findings],
        "warnings": [warning.to_dict() for warning in result.warnings],
        "trace": trace_series(result.trace),
        "routes": route_entries(getattr(result, "routes", None) or []),
    }
    return payload


def route_entries(routes):
    """What the page shows of each route driven: ``{name, figures: [{key, label, unit,
    value}], kilometres: {column: [values]}}``, in the route figure table's order."""
    table = hdfe._core.route_figure_table()
    out = []
    for route in routes:
        kilometres = route.kilometres
        out.append({
            "name": route.name,
            "figures": [{"key": name, "label": meaning[:1].upper() + meaning[1:], "unit": unit,
                         "decimals": UNIT_DECIMALS.get(unit, 0), "value": _number(getattr(route, name))}
                        for name, unit, meaning in table],
            "kilometres": {column: [_number(value) for value in kilometres[column]] for column in kilometres.columns},
        })
    return out


def figure_rows(cycles, standard=True):
    """Rows of the results table: ``{key, label, unit, meaning, decimals, values: [per cycle]}``,
    the figure table's figures any cycle has. A run over chosen cycles shows its consumption
    and CO2 first and leaves out the corrections it does not apply."""
    table = [(name, unit, meaning) for name, unit, meaning, kind in hdfe._core.cycle_figure_table()
             if kind != "bool" and name not in HIDDEN_FIGURES and (standard or name not in STANDARD_ONLY_FIGURES)]
    if not standard:
        first = [entry for name in HEADLINE_FIGURES for entry in table if entry[0] == name]
        table = first + [entry for entry in table if entry not in first]
    rows = []
    for key, unit, meaning in table:
        values = [_number(cycle.get(key)) for cycle in cycles]
        if all(value is None for value in values):
            continue
        rows.append({"key": key, "label": FIGURE_LABELS.get(key, meaning), "unit": unit, "meaning": meaning,
                     "decimals": UNIT_DECIMALS.get(unit, 6), "values": values})
    return rows


def metric_rows(cycles):
    units = {name: (unit, whole) for name, unit, _meaning, whole in hdfe._core.cycle_metric_table()}
    meanings = {name: meaning for name, _unit, meaning, _whole in hdfe._core.cycle_metric_table()}
    rows = []
    for name, (unit, whole) in units.items():
        values = [(cycle.get("metrics") or {}).get(name) for cycle in cycles]
        if any(value is not None for value in values):
            rows.append({"key": name, "label": meanings[name], "unit": unit, "decimals": 0 if whole else 2,
                         "values": [_number(value) for value in values]})
    return rows


def energy_rows(cycles):
    """The energy audit's terms per cycle in the audit table's order, where the result holds
    it: ``{key, label, unit, values}``."""
    rows = []
    for name, unit, meaning in hdfe._core.energy_audit_table():
        values = [_number((cycle.get("energy") or {}).get(name)) for cycle in cycles]
        if any(value is not None for value in values):
            rows.append({"key": name, "label": meaning, "unit": unit, "values": values})
    return rows


def trace_series(trace):
    """The trace as ``{cycle: {column: [values]}}``, with ``missed``: the seconds more than
    the shortfall below the target."""
    if trace is None or len(trace) == 0:
        return {}
    out = {}
    for cycle in dict.fromkeys(trace["cycle"].astype(str)):
        rows = trace[trace["cycle"] == cycle]
        series = {}
        for column in TRACE_COLUMNS:
            if column in rows.columns:
                values = rows[column].to_numpy()
                series[column] = [int(v) for v in values] if values.dtype.kind in "iu" else \
                    [round(float(v), 6) for v in values]
        if "speed_km_per_h" in rows.columns and "target_speed_km_per_h" in rows.columns:
            missed = rows["speed_km_per_h"].to_numpy(float) < \
                rows["target_speed_km_per_h"].to_numpy(float) - reporting.SHORTFALL_KM_PER_H
            series["missed"] = [int(s) for s in rows["second"].to_numpy()[missed]]
        out[cycle] = series
    return out
