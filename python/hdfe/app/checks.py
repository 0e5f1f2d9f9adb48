"""``--check``'s findings of a vehicle, placed beside the form field or the file they concern.

``hdfe.check`` takes the names inside the files from the working directory, as the program
does; the app's server shares one working directory among its threads, so the check runs in a
child process started in the spec file's folder, with a time limit.
"""

import json
import os
import subprocess
import sys
import threading

from . import vehicles

#: Longest a check may take.
CHECK_SECONDS = 20.0
#: Checks running at once; more wait their turn (each is a process of its own).
_RUNNING = threading.BoundedSemaphore(2)

_CHILD = """
import json, sys
import hdfe
print(json.dumps([list(f) for f in hdfe.check(sys.argv[1])]))
"""


def findings(spec_path, timeout=CHECK_SECONDS):
    """What ``hdfe --check`` finds in the spec file, run from its folder: a list of dicts
    (file, line, severity, message)."""
    import hdfe

    package_parent = os.path.dirname(os.path.dirname(os.path.abspath(hdfe.__file__)))
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in (package_parent, env.get("PYTHONPATH")) if p)
    try:
        with _RUNNING:
            done = subprocess.run([sys.executable, "-c", _CHILD, os.path.basename(spec_path)],
                                  cwd=os.path.dirname(spec_path), env=env, capture_output=True,
                                  timeout=timeout, check=False)
    except subprocess.TimeoutExpired:
        return [{"file": os.path.basename(spec_path), "line": 0, "severity": "error",
                 "message": f"the check took longer than {timeout:g} s and was stopped"}]
    if done.returncode != 0:
        reason = done.stderr.decode("utf-8", "replace").strip().splitlines()[-1:] or ["no reason given"]
        return [{"file": os.path.basename(spec_path), "line": 0, "severity": "error",
                 "message": f"the check failed: {reason[0]}"}]
    return [{"file": f, "line": line, "severity": severity, "message": message}
            for f, line, severity, message in json.loads(done.stdout)]


def place(found, spec_path, vehicle):
    """Each finding with ``field``: the form field it concerns (``values.FinalRatio``,
    ``engine.idle_speed_rpm``, ``transmission.main_ratios``), the file (``file.fuel_map``), or
    ``general``."""
    folder = os.path.dirname(spec_path)
    roles = {}
    if vehicle is not None:
        for file in vehicle.files:
            roles[os.path.realpath(os.path.join(folder, file["path"]))] = file["role"]
    else:
        roles[os.path.realpath(spec_path)] = "spec"
    table = [info for info in vehicles.spec_values() if not info["engineering"]]
    out = []
    for finding in found:
        role = roles.get(os.path.realpath(os.path.join(folder, finding["file"])))
        line = finding["line"]
        field = "general"
        if role == "spec":
            field = f"values.{table[line - 1]['file_name']}" if 1 <= line <= len(table) else "file.spec"
        elif role == "engine":
            fields = vehicles.ENGINE_FIELDS
            field = f"engine.{fields[line - 1][0]}" if 1 <= line <= len(fields) else "file.engine"
        elif role == "transmission":
            field = _transmission_field(vehicle, line)
        elif role is not None:
            field = f"file.{role}"
        out.append(dict(finding, field=field, role=role))
    return out


def _transmission_field(vehicle, line):
    if vehicle is None or line < 1:
        return "file.transmission"
    mains = len(vehicle.transmission.main_ratios)
    auxes = len(vehicle.transmission.aux_ratios)
    if line == 1:
        return "transmission.start_gears"
    if line <= 2 + mains:
        return "transmission.main_ratios"
    if line <= 3 + mains + auxes:
        return "transmission.aux_ratios"
    if line == 4 + mains + auxes:
        return "transmission.type"
    return "file.transmission"
