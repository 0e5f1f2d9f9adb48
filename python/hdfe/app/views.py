"""The app's pages, its JSON interface and its downloads."""

import io
import math
import os
import shutil
import subprocess
import tempfile

from flask import Blueprint, current_app, jsonify, redirect, render_template, request, send_file, url_for
from werkzeug.exceptions import HTTPException

import hdfe

from . import charts, checks, runs, vehicles
from .runs import RunTimeout, SweepsBusy
from .security import HEADER
from .vehicles import FormError
from .workspace import ROUTES_FOLDER, SPEC_NAME, WorkspaceError, check_new_name

blueprint = Blueprint("app", __name__, template_folder="templates", static_folder="static",
                      static_url_path="/static")

#: Debian's plotly.js (python3-plotly), and where other installations keep theirs.
PLOTLY_CANDIDATES = ("/usr/share/python3-plotly/plotly.min.js", "/usr/share/python3-plotly/plotly.js",
                     "/usr/share/javascript/plotly/plotly.min.js", "/usr/share/javascript/plotly/plotly.js")
#: The folder of the workspace whose CSV files are offered as cycles.
CYCLES_FOLDER = "cycles"
#: The route files a route upload takes (a GPX track needs a speed limit).
ROUTE_SUFFIXES = (".csv", ".gpx")
#: The largest file a vehicle, cycle or route upload takes [bytes].
MAX_FILE_BYTES = 8 * 1024 * 1024
#: Most points of a sweep's axis.
MAX_AXIS_POINTS = 1000


def _workspace():
    return current_app.config["HDFE_WORKSPACE"]


def _runs():
    return current_app.config["HDFE_RUNS"]


@blueprint.app_context_processor
def _page_context():
    return {"token": current_app.config["HDFE_TOKEN"], "version": hdfe.program_version}


def _wants_json():
    """Whether an error goes back as JSON (to the page's scripts) rather than as a page (to a
    form's submission or an address opened)."""
    return request.is_json or HEADER in request.headers


# ---------------------------------------------------------------------- errors

@blueprint.app_errorhandler(WorkspaceError)
def _workspace_error(error):
    return _error(str(error), error.status)


@blueprint.app_errorhandler(FormError)
def _form_error(error):
    return jsonify({"error": "some values cannot be taken", "errors": error.errors}), 400


@blueprint.app_errorhandler(hdfe.Error)
def _hdfe_error(error):
    body = {"error": str(error), "kind": getattr(error, "kind", ""), "file": getattr(error, "file", ""),
            "line": getattr(error, "line", 0)}
    return (jsonify(body), 422) if _wants_json() else _error(str(error), 422)


@blueprint.app_errorhandler(RunTimeout)
def _timeout(error):
    return _error(str(error), 504)


@blueprint.app_errorhandler(SweepsBusy)
def _busy(error):
    return _error(str(error), 429)


@blueprint.app_errorhandler(HTTPException)
def _http_error(error):
    return _error(error.description or error.name, error.code or 500)


def _error(message, status):
    if _wants_json():
        return jsonify({"error": message}), status
    return render_template("error.html", message=message, status=status), status


# ---------------------------------------------------------------------- vehicles

def _load(spec):
    """The spec file's path and its vehicle, loaded once its files are known to lie inside the
    workspace."""
    workspace = _workspace()
    path = workspace.spec(spec)
    workspace.check_vehicle_names(path)
    vehicle = hdfe.load_vehicle(path)
    for file in vehicle.files:
        if not workspace.contains(file["path"]):
            raise WorkspaceError(f"the vehicle reads {file['name']}, which is outside the workspace", 403)
    return path, vehicle


def _spec_arg(source):
    spec = source.get("spec") if source else None
    if not spec:
        raise WorkspaceError("no vehicle given (spec)")
    return spec


def _json_body():
    body = request.get_json(silent=True)
    if not isinstance(body, dict):
        raise WorkspaceError("the request's body must be a JSON object")
    return body


def _files_of(path, vehicle):
    workspace = _workspace()
    out = []
    for file in vehicle.files:
        out.append({"role": file["role"], "name": file["name"], "path": workspace.relative(file["path"]),
                    "basename": os.path.basename(file["path"])})
    return out


def vehicle_data(spec):
    """Everything the vehicle page shows before a run."""
    path, vehicle = _load(spec)
    workspace = _workspace()
    return {
        "spec": workspace.relative(path),
        "name": vehicle.vehicle_name,
        "form": vehicles.form_values(vehicle),
        "files": _files_of(path, vehicle),
        "curves": charts.curves(vehicle),
        "sfc": charts.sfc_grid(vehicle),
        "gears": charts.gears(vehicle),
    }


def _page_settings():
    """What every vehicle page needs besides the vehicle: the value table and the cycles."""
    return {
        "table": vehicles.spec_values(),
        "engine_fields": [{"field": f, "label": label, "unit": unit, "meaning": meaning}
                          for f, label, unit, meaning in vehicles.ENGINE_FIELDS],
        "transmission_fields": [{"field": f, "label": label, "meaning": meaning}
                                for f, label, meaning in vehicles.TRANSMISSION_FIELDS],
        "transmission_types": list(vehicles.TRANSMISSION_TYPES),
        "engineering": runs.engineering_runs(),
        "library_cycles": runs.library_cycles(),
        "cycle_files": _cycle_files(),
        "routes": runs.engineering_runs() and hasattr(hdfe, "Route"),
        "example_routes": _workspace().example_routes(),
        "route_files": _route_files(),
        "overrides": _sweepable(),
        "token_header": HEADER,
    }


def _workspace_files(folder_name, suffixes):
    """The files of a workspace folder with those suffixes (no links), as workspace names."""
    workspace = _workspace()
    try:
        folder = workspace.path(folder_name)
    except WorkspaceError:
        return []
    if not os.path.isdir(folder):
        return []
    return sorted(f"{folder_name}/{entry.name}" for entry in os.scandir(folder)
                  if entry.is_file(follow_symlinks=False) and entry.name.lower().endswith(suffixes))


def _cycle_files():
    return _workspace_files(CYCLES_FOLDER, ".csv")


def _route_files():
    return _workspace_files(ROUTES_FOLDER, ROUTE_SUFFIXES)


def _sweepable():
    """The values a sweep may vary: the batch core's overrides that are numbers."""
    kinds = {info["file_name"]: info for info in vehicles.spec_values()}
    names = set(hdfe.override_names())
    return [{"name": name, "kind": kinds[name]["kind"], "unit": kinds[name]["unit"],
             "meaning": kinds[name]["meaning"]}
            for name in kinds if name in names and kinds[name]["kind"] in ("real", "integer", "optional real")]


def _presets():
    """Form values given in the address (``set=Name=value``, repeated): a sweep's variant."""
    out = {}
    for item in request.args.getlist("set"):
        name, _, value = item.partition("=")
        out[name] = value
    return out


@blueprint.get("/")
def home():
    workspace = _workspace()
    found = []
    for spec in workspace.vehicles():
        found.append({"spec": spec, "folder": os.path.dirname(spec) or "."})
    return render_template("home.html", workspace=workspace.root, vehicles=found, examples=workspace.examples(),
                           cycle_files=_cycle_files(), engineering=runs.engineering_runs(),
                           pinned=len(_runs().pinned_records()))


@blueprint.get("/vehicle")
def vehicle_page():
    spec = _spec_arg(request.args)
    data, problem = None, None
    try:
        data = vehicle_data(spec)
    except hdfe.Error as error:
        problem = {"error": str(error), "file": getattr(error, "file", ""), "line": getattr(error, "line", 0)}
    path = _workspace().spec(spec)
    page = {"spec": _workspace().relative(path), "vehicle": data, "problem": problem, "presets": _presets(),
            **_page_settings()}
    return render_template("vehicle.html", page=page, name=(data or {}).get("name", spec), spec=page["spec"],
                           pinned=len(_runs().pinned_records()))


@blueprint.get("/api/vehicle")
def vehicle_json():
    return jsonify(vehicle_data(_spec_arg(request.args)))


@blueprint.get("/api/check")
def check_json():
    spec = _spec_arg(request.args)
    workspace = _workspace()
    path = workspace.spec(spec)
    workspace.check_vehicle_names(path)
    try:
        vehicle = _load(spec)[1]
    except hdfe.Error:
        vehicle = None
    return jsonify({"findings": checks.place(checks.findings(path), path, vehicle)})


@blueprint.post("/api/open-example")
def open_example():
    name = (request.get_json(silent=True) or request.form).get("name", "")
    spec = _workspace().open_example(name)
    if request.is_json:
        return jsonify({"spec": spec})
    return redirect(url_for("app.vehicle_page", spec=spec), code=303)


def _upload_bytes(storage):
    data = storage.read(MAX_FILE_BYTES + 1)
    if len(data) > MAX_FILE_BYTES:
        raise WorkspaceError(f"{storage.filename} is larger than {MAX_FILE_BYTES // (1024 * 1024)} MiB", 413)
    return data


@blueprint.post("/api/upload")
def upload_vehicle():
    """A new vehicle folder from uploaded files: the spec file (saved as spec.txt) and the
    files it names."""
    workspace = _workspace()
    folder_name = request.form.get("folder", "").strip()
    spec_file = request.files.get("spec")
    if spec_file is None or not spec_file.filename:
        raise WorkspaceError("give the spec file")
    others = [f for f in request.files.getlist("files") if f.filename]
    names = [check_new_name(f.filename, "file name") for f in others]
    if len(set(names)) != len(names) or SPEC_NAME in names:
        raise WorkspaceError("two files of the same name (or a second spec.txt)")
    contents = [(SPEC_NAME, _upload_bytes(spec_file))] + [(n, _upload_bytes(f)) for n, f in zip(names, others)]
    folder = workspace.new_folder(folder_name)
    for name, data in contents:
        vehicles.write_atomic(workspace.file_in(folder, name), data)
    spec = workspace.relative(os.path.join(folder, SPEC_NAME))
    if request.headers.get(HEADER):
        return jsonify({"spec": spec})
    return redirect(url_for("app.vehicle_page", spec=spec), code=303)


@blueprint.post("/api/vehicle/file")
def replace_file():
    """One file of a vehicle replaced by an upload: the file of ``role`` (spec, engine,
    transmission, full_load, motoring, fuel_map), or ``name`` in the spec file's folder."""
    workspace = _workspace()
    spec = _spec_arg(request.form)
    path = workspace.spec(spec)
    upload = request.files.get("file")
    if upload is None or not upload.filename:
        raise WorkspaceError("give the file")
    role, name = request.form.get("role", ""), request.form.get("name", "")
    target = None
    if role:
        try:
            _path, vehicle = _load(spec)
            target = next((f["path"] for f in vehicle.files if f["role"] == role), None)
        except hdfe.Error:
            target = None
        if target is None and not name:
            raise WorkspaceError(f"the vehicle has no {role} file it can read: give the file's name", 404)
    if target is None:
        target = workspace.file_in(os.path.dirname(path), check_new_name(name, "file name"))
    if not workspace.contains(target) or os.path.islink(target):
        raise WorkspaceError("that file is not replaced", 403)
    vehicles.write_atomic(target, _upload_bytes(upload))
    if request.headers.get(HEADER):
        return jsonify({"spec": spec, "file": workspace.relative(target)})
    return redirect(url_for("app.vehicle_page", spec=spec) + "#files", code=303)


@blueprint.post("/api/cycles/upload")
def upload_cycle():
    """A cycle file uploaded into the workspace's cycles folder, once it reads as a cycle (a
    file that does not is refused with its line, and nothing is written)."""
    workspace = _workspace()
    upload = request.files.get("file")
    if upload is None or not upload.filename:
        raise WorkspaceError("give the cycle file")
    name = check_new_name(upload.filename, "file name")
    if not name.lower().endswith(".csv"):
        raise WorkspaceError("a cycle file is a .csv file")
    data = _upload_bytes(upload)
    cycle = _read_cycle_upload(name, data) if runs.engineering_runs() else None
    if not os.path.lexists(os.path.join(workspace.root, CYCLES_FOLDER)):
        workspace.new_folder(CYCLES_FOLDER)
    folder = workspace.path(CYCLES_FOLDER)
    vehicles.write_atomic(workspace.file_in(folder, name), data)
    if request.headers.get(HEADER):
        out = {"cycle": f"{CYCLES_FOLDER}/{name}"}
        if cycle is not None:
            stats = cycle.stats()
            out.update(name=cycle.name, duration_s=stats["duration_s"], distance_km=stats["distance_km"],
                       resampled=cycle.resampled)
        return jsonify(out)
    return redirect(url_for("app.home"), code=303)


def _read_cycle_upload(name, data):
    """The uploaded bytes read as a cycle file of that name (outside the workspace, in a
    private temporary folder); hdfe.Error naming the upload and its line when they are not."""
    with tempfile.TemporaryDirectory(prefix="hdfe-app-") as folder:
        path = os.path.join(folder, name)
        with open(path, "wb") as file:
            file.write(data)
        try:
            return hdfe.Cycle.read(path)
        except hdfe.Error as error:
            message = str(error).replace(path, name).replace(folder + os.sep, "")
            raise WorkspaceError(f"not a cycle file: {message}", 422) from None


def _route_speed(value):
    """The speed limit a GPX track is driven at [km/h] (None: not given)."""
    if value is None or (isinstance(value, str) and not value.strip()):
        return None
    try:
        speed = float(value)
    except (TypeError, ValueError):
        speed = math.nan
    if not math.isfinite(speed) or speed <= 0:
        raise FormError({"route_speed_km_per_h": f"{value!r}: give a speed limit above 0 km/h"})
    return speed


@blueprint.post("/api/routes/upload")
def upload_route():
    """A route file (CSV, or a GPX track read at the speed limit given) uploaded into the
    workspace's routes folder, once it reads as a route (a file that does not is refused with
    its line, and nothing is written)."""
    workspace = _workspace()
    upload = request.files.get("file")
    if upload is None or not upload.filename:
        raise WorkspaceError("give the route file")
    name = check_new_name(upload.filename, "file name")
    if not name.lower().endswith(ROUTE_SUFFIXES):
        raise WorkspaceError("a route file is a .csv or .gpx file")
    if not (runs.engineering_runs() and hasattr(hdfe, "Route")):
        raise WorkspaceError("this build of hdfe runs no routes", 501)
    speed = _route_speed(request.form.get("speed_km_per_h"))
    data = _upload_bytes(upload)
    route = _read_route_upload(name, data, speed)
    if not os.path.lexists(os.path.join(workspace.root, ROUTES_FOLDER)):
        workspace.new_folder(ROUTES_FOLDER)
    folder = workspace.path(ROUTES_FOLDER)
    vehicles.write_atomic(workspace.file_in(folder, name), data)
    if request.headers.get(HEADER):
        return jsonify({"route": f"{ROUTES_FOLDER}/{name}", "name": route.name,
                        "length_km": _route_length_km(route)})
    return redirect(url_for("app.home"), code=303)


def _route_length_km(route):
    distance = list(route.distance_m)
    return round(float(distance[-1]) / 1000.0, 3) if distance else 0.0


def _read_route_upload(name, data, speed):
    """The uploaded bytes read as a route file of that name (outside the workspace, in a
    private temporary folder); WorkspaceError naming the upload and its line when they are not."""
    with tempfile.TemporaryDirectory(prefix="hdfe-app-") as folder:
        path = os.path.join(folder, name)
        with open(path, "wb") as file:
            file.write(data)
        try:
            return hdfe.Route.read(path, speed_km_per_h=speed)
        except (hdfe.Error, ValueError) as error:
            message = str(error).replace(path, name).replace(folder + os.sep, "")
            raise WorkspaceError(f"not a route file: {message}", 422) from None


@blueprint.post("/api/save")
def save():
    """Writes the form's values into the vehicle's files (each replaced atomically) and gives
    what changed, as a diff per file."""
    body = _json_body()
    spec = _spec_arg(body)
    path, vehicle = _load(spec)
    parsed = vehicles.parse_edits(body.get("edits"))
    changed = vehicles.changes(vehicle, parsed)
    workspace = _workspace()
    folder = os.path.dirname(path)
    for name, _old, new in changed:
        if name in vehicles.FILE_VALUES or name.removeprefix("engine.") in vehicles.ENGINE_FILE_FIELDS:
            real = os.path.realpath(os.path.join(folder, new))
            if not workspace.contains(real):
                raise FormError({name: "names a file outside the workspace"})
    texts = vehicles.file_texts(vehicle, parsed)
    written = []
    try:
        for role, file_path, old, new in texts:
            vehicles.write_atomic(file_path, new)
            written.append((file_path, old))
        _verify_saved(path, parsed)
    except Exception:
        for file_path, old in reversed(written):
            vehicles.write_atomic(file_path, old)
        raise
    return jsonify({
        "spec": workspace.relative(path),
        "changes": [{"field": f, "old": o, "new": n} for f, o, n in changed],
        "files": [{"role": role, "name": workspace.relative(file_path),
                   "diff": vehicles.diff(workspace.relative(file_path), old, new)}
                  for role, file_path, old, new in texts],
    })


def _verify_saved(path, parsed):
    """The files as saved read back to the values given (else hdfe.Error or FormError)."""
    vehicle = hdfe.load_vehicle(path)
    left = vehicles.changes(vehicle, {"values": {k: v for k, v in parsed["values"].items()
                                                 if not _engineering(k)},
                                      "engine": parsed["engine"], "transmission": parsed["transmission"]})
    if left:
        raise FormError({field: f"saved, but read back as {old!r}" for field, old, _new in left})


def _engineering(name):
    return any(info["file_name"] == name and info["engineering"] for info in vehicles.spec_values())


# ---------------------------------------------------------------------- runs

def _cycles_of(names):
    """The cycles a run asks for: ``lib:NAME`` (the library's) or ``file:NAME`` (a CSV file of
    the workspace), as ``[(label, cycle)]``."""
    if not names:
        return []
    if not runs.engineering_runs():
        raise WorkspaceError("this build of hdfe runs the standard cycles only")
    out = []
    library = {cycle["name"].lower() for cycle in runs.library_cycles()}
    for name in names:
        kind, _, value = str(name).partition(":")
        if kind == "lib" and value.lower() in library:
            out.append((value, value))
        elif kind == "file":
            path = _workspace().path(value)
            out.append((value, hdfe.Cycle.read(path)))
        else:
            raise WorkspaceError(f"no cycle {name!r}")
    return out


def _routes_of(names, speed):
    """The routes a run drives: ``example:NAME`` (an example route, copied into the workspace
    the first time) or ``file:NAME`` (a route file of the workspace, a GPX track read at
    ``speed`` km/h), as ``[(label, hdfe.Route)]``."""
    if not names:
        return []
    if not (runs.engineering_runs() and hasattr(hdfe, "Route")):
        raise WorkspaceError("this build of hdfe runs no routes")
    workspace = _workspace()
    out = []
    for name in names:
        kind, _, value = str(name).partition(":")
        if kind == "example":
            value = workspace.open_example_route(value)
        elif kind != "file" or not value.lower().endswith(ROUTE_SUFFIXES):
            raise WorkspaceError(f"no route {name!r}")
        path = workspace.path(value)
        try:
            route = hdfe.Route.read(path, speed_km_per_h=speed)
        except ValueError as error:
            raise WorkspaceError(f"{value}: {error}", 422) from None
        out.append((value, route))
    return out


def _label(vehicle, changed, cycles):
    label = vehicle.vehicle_name or "vehicle"
    if changed:
        label += ": " + ", ".join(f"{f} {n}" for f, _o, n in changed[:3]) + (" …" if len(changed) > 3 else "")
    if cycles:
        label += " on " + ", ".join(name for name, _c in cycles)
    return label


def _edited_vehicle(body):
    """The spec file a request names, the vehicle with the request's form edits applied, and
    what they changed."""
    path, vehicle = _load(_spec_arg(body))
    parsed = vehicles.parse_edits(body.get("edits"))
    changed = vehicles.changes(vehicle, parsed)
    return path, vehicles.edited(vehicle, parsed), changed


@blueprint.post("/api/run")
def run():
    body = _json_body()
    path, edited, changed = _edited_vehicle(body)
    cycles = _cycles_of(body.get("cycles") or [])
    routes = _routes_of(body.get("routes") or [], _route_speed(body.get("route_speed_km_per_h")))
    if cycles and routes:
        raise WorkspaceError("choose cycles or routes, not both")
    record = _runs().run(_workspace().relative(path), edited, changed, _label(edited, changed, cycles + routes),
                         cycles, routes)
    return jsonify(record.payload())


@blueprint.get("/api/runs/<run_id>")
def run_json(run_id):
    return jsonify(_record(run_id).payload())


def _record(run_id):
    record = _runs().get(run_id)
    if record is None:
        raise WorkspaceError("no such run: the app keeps the latest runs and the pinned ones", 404)
    return record


@blueprint.post("/api/pin")
def pin():
    body = _json_body()
    if not _runs().pin(str(body.get("id", "")), bool(body.get("pinned", True))):
        raise WorkspaceError("no such run", 404)
    return jsonify({"pinned": [record.id for record in _runs().pinned_records()]})


@blueprint.get("/compare")
def compare_page():
    records = _runs().pinned_records()
    data = {"runs": [_compare_entry(record) for record in records]}
    return render_template("compare.html", page=data, pinned=len(records))


@blueprint.get("/api/compare")
def compare_json():
    return jsonify({"runs": [_compare_entry(record) for record in _runs().pinned_records()]})


def _compare_entry(record):
    payload = record.payload()
    return {key: payload[key] for key in ("id", "label", "spec", "edits", "average_km_per_l", "figures", "metrics",
                                          "energy", "cycle_names", "standard", "trace")}


# ---------------------------------------------------------------------- sweeps

def _axis(item, table):
    name = str(item.get("name", ""))
    info = table.get(name)
    if info is None:
        raise FormError({"sweep": f"{name!r} cannot be swept: choose one of {', '.join(sorted(table))}"})
    try:
        start, stop, steps = float(item["start"]), float(item["stop"]), int(item["steps"])
    except (KeyError, TypeError, ValueError):
        raise FormError({f"sweep.{name}": "give a start, a stop and a number of steps"}) from None
    if not (math.isfinite(start) and math.isfinite(stop)) or not 1 <= steps <= MAX_AXIS_POINTS:
        raise FormError({f"sweep.{name}": f"finite bounds and 1 to {MAX_AXIS_POINTS} steps"})
    values = []
    step = abs(stop - start) / (steps - 1) if steps > 1 else 0.0
    # Enough decimals to tell the points apart, and no more (2.0015 rather than 2.001501501502).
    decimals = min(12, max(0, math.ceil(-math.log10(step)) + 2)) if step > 0 else 12
    for k in range(steps):
        value = start if steps == 1 else start + (stop - start) * k / (steps - 1)
        text = str(int(round(value))) if info["kind"] == "integer" else vehicles.number_text(round(value, decimals))
        if text not in values:
            values.append(text)
    for text in values:
        try:
            vehicles.parse_value(info, text)
        except ValueError as error:
            raise FormError({f"sweep.{name}": f"{text}: {error}"}) from None
    return name, values


@blueprint.get("/sweep")
def sweep_page():
    spec = _spec_arg(request.args)
    path, vehicle = _load(spec)
    page = {"spec": _workspace().relative(path), "name": vehicle.vehicle_name, "presets": _presets(),
            "form": vehicles.form_values(vehicle), **_page_settings()}
    return render_template("sweep.html", page=page, name=vehicle.vehicle_name, spec=page["spec"],
                           pinned=len(_runs().pinned_records()))


@blueprint.post("/api/sweep")
def sweep_start():
    body = _json_body()
    path, edited, changed = _edited_vehicle(body)
    sweepable = {item["name"] for item in _sweepable()}
    table = {info["file_name"]: info for info in vehicles.spec_values() if info["file_name"] in sweepable}
    axes = [_axis(item, table) for item in (body.get("axes") or []) if isinstance(item, dict)]
    if not 1 <= len(axes) <= 2 or len({name for name, _v in axes}) != len(axes):
        raise FormError({"sweep": "choose one or two different values"})
    try:
        sweep = _runs().start_sweep(_workspace().relative(path), edited, changed, axes)
    except ValueError as error:
        raise FormError({"sweep": str(error)}) from None
    return jsonify(sweep.state())


@blueprint.get("/api/sweep/<sweep_id>")
def sweep_state(sweep_id):
    return jsonify(_sweep(sweep_id).state(with_rows=True))


@blueprint.post("/api/sweep/<sweep_id>/cancel")
def sweep_cancel(sweep_id):
    sweep = _sweep(sweep_id)
    sweep.cancelled.set()
    return jsonify(sweep.state())


def _sweep(sweep_id):
    sweep = _runs().sweep(sweep_id)
    if sweep is None:
        raise WorkspaceError("no such sweep", 404)
    return sweep


# ---------------------------------------------------------------------- downloads

def _download(data, name, mimetype):
    return send_file(io.BytesIO(data), mimetype=mimetype, as_attachment=True, download_name=name)


def _stem(record):
    folder = os.path.basename(os.path.dirname(record.spec)) or "vehicle"
    return f"{folder}-{record.id}"


@blueprint.get("/download/run/<run_id>/<kind>")
def download_run(run_id, kind):
    record = _record(run_id)
    stem = _stem(record)
    if kind == "json":
        return _download(record.result.to_json().encode("utf-8", "surrogateescape"), f"{stem}.json",
                         "application/json")
    if kind == "trace.csv":
        return _download(trace_csv(record.result.trace).encode("utf-8", "surrogateescape"), f"{stem}-trace.csv",
                         "text/csv")
    if kind == "summary.csv":
        return _download(_summary_bytes(_run_summary(record)), f"{stem}-summary.csv", "text/csv")
    if kind == "report.html":
        return _download(_report_bytes(record), f"{stem}-report.html", "text/html")
    if kind == "results.txt":
        return _download(_results_file(record), f"{stem}-results.txt", "text/plain")
    raise WorkspaceError(f"no download {kind!r}", 404)


def trace_csv(trace):
    """The trace as the program's ``--trace-csv`` writes it: the trace table's columns, numbers
    in their shortest round-trip text, whole ones without a decimal point."""
    if trace is None:
        raise WorkspaceError("the run holds no trace", 404)
    columns = list(trace.columns)
    lines = [",".join(columns)]
    arrays = [trace[column].to_numpy() for column in columns]
    for row in zip(*arrays):
        lines.append(",".join(value if isinstance(value, str) else vehicles.number_text(value) for value in row))
    return "\n".join(lines) + "\n"


def _run_summary(record):
    """The batch summary of a run: its row of the standard run, or its rows per cycle and phase
    of a run over chosen cycles. A cycle read from a file goes to the batch core as the app
    read it (written out anew), not as the file may hold it now."""
    rows = {"spec": [record.spec], "vehicle": [record.vehicle]}
    if record.standard:
        return hdfe.run_batch(rows)
    if record.routes:
        return _route_summary(record, rows)
    with tempfile.TemporaryDirectory(prefix="hdfe-app-") as folder:
        named = []
        for position, cycle in enumerate(record.sources):
            if isinstance(cycle, str):
                named.append(cycle)
                continue
            path = os.path.join(folder, str(position), f"{cycle.name}.csv")
            os.makedirs(os.path.dirname(path))
            cycle.to_frame().to_csv(path, index=False)
            named.append(path)
        return hdfe.run_batch(rows, cycles=named)


def _route_summary(record, rows):
    """The batch summary of a run along routes, from the routes as the app read them (written
    out anew as route CSV files), one batch row per route."""
    import pandas

    with tempfile.TemporaryDirectory(prefix="hdfe-app-") as folder:
        parts = []
        for position, route in enumerate(record.route_sources):
            path = os.path.join(folder, str(position), f"{route.name}.csv")
            os.makedirs(os.path.dirname(path))
            route.to_frame().to_csv(path, index=False)
            parts.append(hdfe.run_batch(rows, route=path))
        return pandas.concat(parts, ignore_index=True)


def _summary_bytes(summary):
    with tempfile.TemporaryDirectory(prefix="hdfe-app-") as folder:
        target = os.path.join(folder, "summary.csv")
        hdfe.write_summary_csv(summary, target)
        with open(target, "rb") as file:
            return file.read()


def _report_bytes(record):
    def write():
        with tempfile.TemporaryDirectory(prefix="hdfe-app-") as folder:
            target = os.path.join(folder, "report.html")
            hdfe.report(record.result, target, vehicle=record.vehicle)
            with open(target, "rb") as file:
                return file.read()

    future = _runs().pool.submit(write)
    try:
        return future.result(timeout=_runs().run_seconds * 3)
    except TimeoutError:
        raise RunTimeout("the report took too long and was abandoned") from None


def _program():
    configured = current_app.config.get("HDFE_PROGRAM") or os.environ.get("HDFE_BINARY")
    return configured if configured and os.access(configured, os.X_OK) else shutil.which("hdfe")


def _results_file(record):
    """The results file of a standard run, as ``hdfe SPEC OUTPUT`` writes it from the spec
    file's folder: through the package where it writes results files, else through the
    program, for a vehicle run as its files hold it."""
    writer = getattr(record.result, "results_file", None)
    if callable(writer):
        text = writer()
        return text if isinstance(text, bytes) else text.encode("utf-8", "surrogateescape")
    if not record.standard:
        raise WorkspaceError("a run over chosen cycles has no results file", 404)
    if record.edits:
        raise WorkspaceError("the results file is written for the vehicle as saved: save the edits, run, then "
                             "download", 409)
    program = _program()
    if program is None:
        raise WorkspaceError("the results file is written by the hdfe program, which is not found "
                             "(put it on the PATH or set HDFE_BINARY)", 501)
    spec = _workspace().path(record.spec)
    with tempfile.TemporaryDirectory(prefix="hdfe-app-") as folder:
        target = os.path.join(folder, "results.txt")
        done = subprocess.run([program, os.path.basename(spec), target], cwd=os.path.dirname(spec),
                              capture_output=True, timeout=_runs().run_seconds, check=False)
        if done.returncode != 0 or not os.path.isfile(target):
            raise WorkspaceError("the hdfe program could not write the results file: "
                                 + done.stderr.decode("utf-8", "replace").strip()[-500:], 500)
        with open(target, "rb") as file:
            return file.read()


@blueprint.get("/download/sweep/<sweep_id>/summary.csv")
def download_sweep(sweep_id):
    sweep = _sweep(sweep_id)
    if sweep.summary is None:
        raise WorkspaceError("the sweep has no rows yet", 404)
    folder = os.path.basename(os.path.dirname(sweep.spec)) or "vehicle"
    return _download(_summary_bytes(sweep.summary), f"{folder}-sweep-{sweep.id}.csv", "text/csv")


# ---------------------------------------------------------------------- plotly

@blueprint.get("/vendor/plotly.js")
def plotly_js():
    for candidate in PLOTLY_CANDIDATES:
        if os.path.isfile(candidate):
            response = send_file(candidate, mimetype="text/javascript", max_age=86400)
            response.headers["Cache-Control"] = "private, max-age=86400"
            return response
    raise WorkspaceError("plotly.js is not installed: install Debian's python3-plotly", 404)
