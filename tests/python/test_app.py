"""The web app over HTTP (Flask's test client): the token and cross-site checks, the
workspace's limits, uploads, saving, runs and their downloads, sweeps."""

import json
import os
import re
import shutil
import subprocess
import sys
import time

import pytest

from conftest import ROOT

flask = pytest.importorskip("flask", reason="the app needs Debian's python3-flask (tools/deps.sh python)")

TRACTOR = "tractor_TT1_325kW_AMT12"
TOKEN = "test-token-0123456789"


@pytest.fixture
def workspace(tmp_path):
    folder = tmp_path / "ws"
    folder.mkdir()
    return folder


@pytest.fixture
def app(binding, workspace):
    from hdfe.app import create_app

    return create_app(workspace, token=TOKEN, examples=ROOT / "examples")


@pytest.fixture
def client(app):
    """A client that has opened the printed address: it holds the token's cookie."""
    client = app.test_client()
    assert client.get(f"/?token={TOKEN}").status_code == 303
    return client


def post(client, url, body=None, **kwargs):
    return client.post(url, json=body, headers={"X-HDFE-Token": TOKEN, **kwargs.pop("headers", {})}, **kwargs)


def open_example(client, name=TRACTOR):
    response = post(client, "/api/open-example", {"name": name})
    assert response.status_code == 200, response.data
    return response.json["spec"]


# ------------------------------------------------------------------ the token and other sites

def test_every_request_needs_the_token(app):
    anonymous = app.test_client()
    for url in ("/", "/vehicle?spec=x", "/api/check?spec=x", "/static/app.css", "/vendor/plotly.js",
                "/download/run/r1/json", "/compare"):
        assert anonymous.get(url).status_code == 403, url
    assert anonymous.get("/?token=wrong").status_code == 403
    assert anonymous.post("/api/run", json={}).status_code == 403
    # The header alone serves the page's scripts.
    assert anonymous.get("/", headers={"X-HDFE-Token": TOKEN}).status_code == 200


def test_the_token_becomes_a_strict_http_only_cookie(app):
    client = app.test_client()
    response = client.get(f"/compare?token={TOKEN}")
    assert response.status_code == 303 and response.headers["Location"] == "/compare"
    cookie = response.headers["Set-Cookie"]
    assert f"={TOKEN}" in cookie and "HttpOnly" in cookie and "SameSite=Strict" in cookie
    page = client.get("/compare")
    assert page.status_code == 200
    assert "no-referrer" not in page.headers["Referrer-Policy"] and page.headers["X-Frame-Options"] == "DENY"
    assert "script-src 'self'" in page.headers["Content-Security-Policy"]


def test_changes_need_the_token_in_the_request_and_the_same_origin(client):
    spec = open_example(client)
    body = {"spec": spec, "edits": {}}
    # The cookie alone (which a cross-site form would carry) does not do.
    assert client.post("/api/run", json=body).status_code == 403
    assert client.post("/api/open-example", data={"name": TRACTOR}).status_code == 403
    assert post(client, "/api/run", body, headers={"Origin": "http://evil.example"}).status_code == 403
    assert post(client, "/api/run", body, headers={"Origin": "null"}).status_code == 403
    assert post(client, "/api/run", body, headers={"Sec-Fetch-Site": "cross-site"}).status_code == 403
    assert post(client, "/api/run", body, headers={"Origin": "http://localhost"}).status_code == 200
    form = client.post("/api/open-example", data={"name": TRACTOR, "token": TOKEN},
                       headers={"Origin": "http://localhost", "Sec-Fetch-Site": "same-origin"})
    assert form.status_code == 303 and "/vehicle?spec=" in form.headers["Location"]


def test_another_host_name_is_refused(client):
    # A site whose name resolves to this machine reaches the app under its own name.
    token = {"X-HDFE-Token": TOKEN}
    assert client.get("/", headers={"Host": "evil.example", **token}).status_code == 403
    assert client.get("/", headers={"Host": "127.0.0.1:8000", **token}).status_code == 200


# ------------------------------------------------------------------ the workspace's limits

def test_names_out_of_the_workspace_are_refused(client, workspace, tmp_path):
    outside = tmp_path / "outside"
    shutil.copytree(ROOT / "examples" / TRACTOR, outside)
    (workspace / "link").symlink_to(outside)
    for spec in ("../outside/spec.txt", str(outside / "spec.txt"), "link/spec.txt", "a/../../outside/spec.txt",
                 "./spec.txt", "x\\..\\spec.txt"):
        assert client.get("/vehicle", query_string={"spec": spec}).status_code == 403, spec
        assert client.get("/api/check", query_string={"spec": spec}).status_code == 403, spec
        assert post(client, "/api/run", {"spec": spec}).status_code == 403, spec
    assert client.get("/vehicle", query_string={"spec": "missing/spec.txt"}).status_code == 404


def test_a_vehicle_naming_files_outside_is_not_opened(client, workspace, tmp_path):
    secret = tmp_path / "secret"
    secret.mkdir()
    (secret / "engine.txt").write_text("TOPSECRET-LINE   fuel-map file\n")
    shutil.copytree(ROOT / "examples" / TRACTOR, workspace / "v")
    spec = workspace / "v" / "spec.txt"
    lines = spec.read_text().splitlines(keepends=True)
    # Quoted, as a name holding a slash must be (unquoted, the slash ends it); after a blank line,
    # which moves the values read to later lines; a quote left open, which may run on.
    for engine in ('"../../secret/engine.txt"', f'"{secret}/engine.txt"', f"'{secret}/engine.txt'",
                   '\n"../../secret/engine.txt"', '"../../secret/\nengine.txt"'):
        lines[2] = f"{engine}   EngineFile\n"
        spec.write_text("".join(lines))
        for response in (client.get("/vehicle?spec=v/spec.txt"), client.get("/api/check?spec=v/spec.txt"),
                         post(client, "/api/run", {"spec": "v/spec.txt"})):
            assert response.status_code == 403, engine
            assert b"TOPSECRET" not in response.data
    # A map named outside by an engine file inside.
    lines[2] = "engine.txt   EngineFile\n"
    spec.write_text("".join(lines))
    engine = workspace / "v" / "engine.txt"
    engine.write_text(engine.read_text().replace("fuelmap.txt", '"../../secret/engine.txt"', 1))
    assert client.get("/api/check?spec=v/spec.txt").status_code == 403


def test_the_vehicle_list_and_examples(client, workspace):
    spec = open_example(client)
    assert spec == f"examples/{TRACTOR}/spec.txt"
    (workspace / "examples" / TRACTOR / "spec.txt").write_text("edited\n")
    assert open_example(client) == spec  # opened again: the workspace's copy stays as edited
    assert (workspace / "examples" / TRACTOR / "spec.txt").read_text() == "edited\n"
    assert post(client, "/api/open-example", {"name": "../" + TRACTOR}).status_code == 404
    page = client.get("/").data.decode()
    assert spec in page and "bus_BR4_220kW_AT6" in page


# ------------------------------------------------------------------ uploads

def upload(client, folder, files, spec=b"spec"):
    data = {"token": TOKEN, "folder": folder, "spec": (_io(spec), "anything.txt"),
            "files": [(_io(content), name) for name, content in files]}
    return client.post("/api/upload", data=data, content_type="multipart/form-data")


def _io(content):
    import io
    return io.BytesIO(content)


def example_files(name=TRACTOR):
    folder = ROOT / "examples" / name
    return [(f.name, f.read_bytes()) for f in sorted(folder.glob("*.txt")) if f.name != "spec.txt"], \
        (folder / "spec.txt").read_bytes()


def test_a_vehicle_uploaded_opens(client, workspace):
    files, spec = example_files()
    response = upload(client, "my_truck", files, spec)
    assert response.status_code == 303 and "my_truck%2Fspec.txt" in response.headers["Location"]
    assert (workspace / "my_truck" / "spec.txt").read_bytes() == spec
    assert client.get("/vehicle?spec=my_truck/spec.txt").status_code == 200
    assert upload(client, "my_truck", files, spec).status_code == 409  # the folder exists


@pytest.mark.parametrize("folder, name", [
    ("../evil", "engine.txt"), ("/tmp/evil", "engine.txt"), ("ok", "../engine.txt"), ("ok", ".bashrc"),
    ("ok", "sub/engine.txt"), (".hidden", "engine.txt"), ("ok", "spec.txt"), ("", "engine.txt"),
])
def test_bad_uploads_are_refused(client, workspace, tmp_path, folder, name):
    response = upload(client, folder, [(name, b"x")])
    assert response.status_code in (400, 403, 409)
    assert sorted(p.name for p in workspace.iterdir()) == []
    assert not (tmp_path / "evil").exists()


def test_uploads_are_size_limited(app, client, workspace):
    from hdfe.app import MAX_REQUEST_BYTES

    response = upload(client, "big", [("map.txt", b"0" * (MAX_REQUEST_BYTES + 1))])
    assert response.status_code == 413
    assert not (workspace / "big").exists()


def test_replacing_a_file_of_a_vehicle(client, workspace, tmp_path):
    spec = open_example(client)
    fuel_map = workspace / "examples" / TRACTOR / "fuelmap.txt"
    data = {"token": TOKEN, "spec": spec, "role": "fuel_map", "file": (_io(b"new map"), "whatever.txt")}
    response = client.post("/api/vehicle/file", data=data, content_type="multipart/form-data")
    assert response.status_code == 303
    assert fuel_map.read_bytes() == b"new map"
    # Through a link, a file outside would be replaced: refused.
    outside = tmp_path / "victim.txt"
    outside.write_text("keep")
    fuel_map.unlink()
    fuel_map.symlink_to(outside)
    data = {"token": TOKEN, "spec": spec, "name": "fuelmap.txt", "file": (_io(b"x"), "fuelmap.txt")}
    assert client.post("/api/vehicle/file", data=data, content_type="multipart/form-data").status_code == 403
    assert outside.read_text() == "keep"


# ------------------------------------------------------------------ pages

def test_the_vehicle_page_shows_every_value_escaped(client, workspace):
    spec = open_example(client)
    path = workspace / spec
    path.write_text(path.read_text().replace('"VECTO generic Class5 tractor 325kW 12.7l AMT12"',
                                             '"<script>alert(1)</script>&x"'))
    page = client.get("/vehicle", query_string={"spec": spec}).data.decode()
    assert "<script>alert(1)" not in page
    assert "&lt;script&gt;alert(1)&lt;/script&gt;&amp;x" in page
    import hdfe
    for info in hdfe.spec_values():
        assert f'name="values.{info["file_name"]}"' in page
        assert info["meaning"].replace("'", "&#39;") in page
    data = json.loads(page.split('<script type="application/json" id="page-data">')[1].split("</script>")[0])
    assert data["vehicle"]["form"]["values"]["FinalRatio"] == "2.64"
    assert data["vehicle"]["sfc"]["lines"] and data["vehicle"]["gears"]["gears"]


def test_findings_are_placed_beside_their_value_or_file(client, workspace):
    spec = open_example(client, "truck_T8_175kW_MT6")
    folder = workspace / os.path.dirname(spec)
    lines = (folder / "fuelmap.txt").read_text().splitlines()
    rates = [" ".join(line.split()[:2] + [str(float(line.split()[2]) * 835)]) for line in lines[2:]]
    (folder / "fuelmap.txt").write_text("\n".join(lines[:2] + rates) + "\n")
    findings = client.get("/api/check", query_string={"spec": spec}).json["findings"]
    assert [f["field"] for f in findings] == ["file.fuel_map"]
    assert "g/h" in findings[0]["message"] and findings[0]["severity"] == "warning"
    spec_lines = (folder / "spec.txt").read_text().splitlines(keepends=True)
    spec_lines[4] = "abc   FinalRatio\n"
    (folder / "spec.txt").write_text("".join(spec_lines))
    findings = client.get("/api/check", query_string={"spec": spec}).json["findings"]
    assert "values.FinalRatio" in [f["field"] for f in findings]
    # The page of a vehicle that cannot be loaded says why and offers the uploads.
    page = client.get("/vehicle", query_string={"spec": spec})
    assert page.status_code == 200 and b"cannot be loaded" in page.data


# ------------------------------------------------------------------ saving

def test_saving_rewrites_only_the_values_changed(client, workspace, binding):
    spec = open_example(client)
    path = workspace / spec
    before = path.read_text()
    edits = {"values": {"FinalRatio": "2.8", "VehicleName": 'My "tractor", 2', "TestMass": "30000"},
             "engine": {"idle_speed_rpm": "620"}, "transmission": {"main_ratios": "15 12 9 7 5.6 4.4 3.4 2.6 2 1.6 1.3 1"}}
    response = post(client, "/api/save", {"spec": spec, "edits": edits})
    assert response.status_code == 200, response.data
    saved = response.json
    assert {c["field"] for c in saved["changes"]} >= {"FinalRatio", "VehicleName", "engine.idle_speed_rpm",
                                                     "transmission.main_ratios"}
    assert {f["role"] for f in saved["files"]} == {"spec", "engine", "transmission"}
    after = path.read_text()
    changed = [(a, b) for a, b in zip(before.splitlines(), after.splitlines()) if a != b]
    assert changed == [('"VECTO generic Class5 tractor 325kW 12.7l AMT12"   VehicleName',
                        '"My ""tractor"", 2"   VehicleName'), ("2.64   FinalRatio", "2.8   FinalRatio")]
    assert "-2.64   FinalRatio" in saved["files"][0]["diff"] and "+2.8   FinalRatio" in saved["files"][0]["diff"]
    vehicle = binding.load_vehicle(path)
    assert (vehicle.vehicle_name, vehicle.final_ratio, vehicle.engine.idle_speed_rpm) == ('My "tractor", 2', 2.8, 620)
    assert vehicle.transmission.main_ratios[0] == 15 and vehicle.test_mass_kg is None  # engineering: not saved
    assert "main ratio 12" in (path.parent / "transmission.txt").read_text()
    assert not [p for p in path.parent.iterdir() if p.name.startswith(".")]  # no temporary left


@pytest.mark.parametrize("name", ["plain", "two words", "a,b", "a/b", "it's", 'say "hi"', "tab\there", "ünï"])
def test_saved_names_read_back_as_written_keeping_the_files_layout(client, workspace, binding, name):
    spec = open_example(client)
    path = workspace / spec
    # Windows line ends and a note after a value stay as they were.
    text = path.read_text().replace("\n", "\r\n").replace("TT1   CategoryCode", "TT1   CategoryCode, the tractor")
    path.write_bytes(text.encode())
    response = post(client, "/api/save", {"spec": spec, "edits": {"values": {"VehicleName": name, "Kf2": "0.97"}}})
    assert response.status_code == 200, response.data
    vehicle = binding.load_vehicle(path)
    assert (vehicle.vehicle_name, vehicle.kf2) == (name, 0.97)
    after = path.read_bytes().decode()
    assert after.count("\r\n") == text.count("\r\n") and "TT1   CategoryCode, the tractor\r\n" in after
    assert after.splitlines()[16] == "0.97   Kf2"


def test_saving_another_number_of_ratios_rewrites_the_transmission(client, workspace, binding):
    spec = open_example(client, "bus_BR4_220kW_AT6")
    edits = {"transmission": {"main_ratios": "3.5 2 1.4 1", "type": "manual"}}
    assert post(client, "/api/save", {"spec": spec, "edits": edits}).status_code == 200
    transmission = binding.load_vehicle(workspace / spec).transmission
    assert (transmission.main_ratios, transmission.type) == ([3.5, 2, 1.4, 1], "manual")


def test_bad_values_are_named_and_nothing_is_written(client, workspace):
    spec = open_example(client)
    files = {p.name: p.read_bytes() for p in (workspace / spec).parent.iterdir()}
    edits = {"values": {"FinalRatio": "-1", "IdleStopOn": "1.5", "CdA": "nan", "Nope": "1"},
             "engine": {"rated_speed_rpm": "x"}, "transmission": {"main_ratios": "", "type": "cvt"}}
    for url in ("/api/save", "/api/run"):
        response = post(client, url, {"spec": spec, "edits": edits})
        assert response.status_code == 400
        assert set(response.json["errors"]) == {"FinalRatio", "IdleStopOn", "CdA", "Nope", "engine.rated_speed_rpm",
                                                "transmission.main_ratios", "transmission.type"}
    assert {p.name: p.read_bytes() for p in (workspace / spec).parent.iterdir()} == files
    # A new file name is read once saved: a run refuses it instead of running the old files.
    response = post(client, "/api/run", {"spec": spec, "edits": {"values": {"EngineFile": "other.txt"}}})
    assert response.status_code == 400 and "EngineFile" in response.json["errors"]
    response = post(client, "/api/save", {"spec": spec, "edits": {"values": {"EngineFile": "../../../x.txt"}}})
    assert response.status_code == 400 and (workspace / spec).read_bytes() == files["spec.txt"]
    # A name inside that cannot be read: the files saved are put back as they were.
    response = post(client, "/api/save", {"spec": spec, "edits": {"values": {"EngineFile": "none.txt",
                                                                            "FinalRatio": "3"}}})
    assert response.status_code == 422 and "none.txt" in response.json["error"]
    assert (workspace / spec).read_bytes() == files["spec.txt"]


# ------------------------------------------------------------------ runs and downloads

def test_a_run_gives_the_figures_of_the_edited_vehicle(client, workspace, binding):
    spec = open_example(client)
    response = post(client, "/api/run", {"spec": spec, "edits": {"values": {"FinalRatio": "2.8", "CdA": "5.5"}}})
    assert response.status_code == 200
    payload = response.json
    vehicle = binding.load_vehicle(workspace / spec)
    vehicle.final_ratio, vehicle.cda_m2 = 2.8, 5.5
    expected = binding.run(vehicle)
    assert payload["figures"][0]["values"] == [c.fuel_economy_km_per_l for c in expected.cycles.values()]
    assert payload["average_km_per_l"] == expected.average_fuel_economy_km_per_l
    assert payload["edits"] == [{"field": "FinalRatio", "old": "2.64", "new": "2.8"},
                                {"field": "CdA", "old": "", "new": "5.5"}]
    trace = payload["trace"]["HIGHWAY"]
    assert len(trace["second"]) == 3120 and len(trace["missed"]) == expected.highway.metrics.seconds_below_target
    assert client.get(f"/api/runs/{payload['id']}").json["figures"] == payload["figures"]
    assert (workspace / spec).read_text().count("2.64   FinalRatio") == 1  # a run saves nothing


#: A cycle file with two phases, uploaded into the workspace.
PHASED_CYCLE = "time_s,speed_km_per_h,phase\n" + "".join(
    f"{t},{min(t * 3, 60) if t < 40 else max(0, 60 - (t - 40) * 4)},{'out' if t < 30 else 'back'}\n" for t in range(56))


def upload_cycle(client, name, content):
    data = {"file": (_io(content.encode() if isinstance(content, str) else content), name)}
    return client.post("/api/cycles/upload", data=data, content_type="multipart/form-data",
                       headers={"X-HDFE-Token": TOKEN})


def test_an_engineering_run_over_library_and_uploaded_cycles(client, workspace, binding, hdfe_binary):
    """The cycles chosen and the engineering values reach hdfe.run: the library's cycles by
    name, an uploaded file as read when it was run; every figure, metric and energy term of
    each cycle and phase is shown, and the operating points are the engine's own torque."""
    spec = open_example(client)
    assert b'value="lib:hd-udds"' in client.get("/vehicle", query_string={"spec": spec}).data
    uploaded = upload_cycle(client, "phased.csv", PHASED_CYCLE)
    assert uploaded.status_code == 200 and uploaded.json["cycle"] == "cycles/phased.csv"
    assert uploaded.json["duration_s"] == 55 and uploaded.json["name"] == "phased"
    edits = {"values": {"CdA": "4.5", "Payload": "12000", "CO2PerLitre": ""}}
    response = post(client, "/api/run", {"spec": spec, "edits": edits, "cycles": ["lib:hd-udds", "file:cycles/phased.csv"]})
    assert response.status_code == 200, response.data
    payload = response.json
    assert payload["cycles_run"] == ["hd-udds", "cycles/phased.csv"] and not payload["standard"]
    assert payload["edits"] == [{"field": "CdA", "old": "", "new": "4.5"}, {"field": "Payload", "old": "", "new": "12000"}]

    vehicle = binding.load_vehicle(workspace / spec)
    vehicle.cda_m2, vehicle.payload_kg = 4.5, 12000.0
    expected = binding.run(vehicle, cycles=["hd-udds", binding.Cycle.read(workspace / "cycles" / "phased.csv")])
    figures = list(expected.cycles.values())
    assert payload["cycle_names"] == ["hd-udds", "phased", "phased/out", "phased/back"] == list(expected.cycles)
    rows = {row["key"]: row for row in payload["figures"]}
    assert [row["key"] for row in payload["figures"][:4]] == ["fuel_economy_km_per_l", "fuel_consumption_l_per_100km",
                                                             "co2_g_per_km", "co2_g_per_t_km"]
    assert rows["fuel_consumption_l_per_100km"]["unit"] == "l/100 km" and rows["co2_g_per_t_km"]["unit"] == "g/(t·km)"
    for key in ("fuel_economy_km_per_l", "fuel_consumption_l_per_100km", "co2_g_per_km", "co2_g_per_t_km",
                "payload_kg", "distance_km"):
        assert rows[key]["values"] == [getattr(cycle, key) for cycle in figures], key
    assert rows["payload_kg"]["values"][0] == 12000
    assert not {"kf", "fuel_economy_after_kf_km_per_l", "seconds", "transient_correction"} & set(rows)
    metrics = {row["key"]: row["values"] for row in payload["metrics"]}
    assert metrics["seconds_below_target"] == [cycle.metrics.seconds_below_target for cycle in figures]
    terms = [name for name, _unit, _meaning in binding._core.energy_audit_table()]
    assert [row["key"] for row in payload["energy"]] == terms
    assert payload["energy"][terms.index("air_drag_kwh")]["values"] == [c.energy.air_drag_kwh for c in figures]

    trace = payload["trace"]["hd-udds"]
    assert list(payload["trace"]) == ["hd-udds", "phased"] and len(trace["second"]) == 1060
    motoring_floor = min(vehicle.motoring["torque_Nm"])
    assert min(trace["engine_own_torque_Nm"]) >= motoring_floor - 1e-9 and min(trace["braking_torque_Nm"]) < 0
    assert "engine_torque_Nm" not in trace

    # The program gives the same figures for the same values.
    program = subprocess.run([hdfe_binary, "spec.txt", "--cycle", "hd-udds", "--set", "CdA=4.5", "--set", "Payload=12000",
                              "--json", "-"], cwd=workspace / os.path.dirname(spec), check=True, capture_output=True)
    assert json.loads(program.stdout)["cycles"][0]["fuel_consumption_l_per_100km"] == rows[
        "fuel_consumption_l_per_100km"]["values"][0]

    # The summary has a row per cycle and phase, from the cycles as run (not the file as it is now).
    (workspace / "cycles" / "phased.csv").write_text("time_s,speed_km_per_h\n0,0\n1,1\n")
    summary = client.get(f"/download/run/{payload['id']}/summary.csv")
    assert summary.status_code == 200
    lines = summary.data.decode().splitlines()
    header = lines[0].split(",")
    assert [line.split(",")[header.index("cycle")] for line in lines[1:]] == payload["cycle_names"]
    column = header.index("fuel_consumption_l_per_100km")
    assert [float(line.split(",")[column]) for line in lines[1:]] == rows["fuel_consumption_l_per_100km"]["values"]
    assert client.get(f"/download/run/{payload['id']}/results.txt").status_code == 404

    for cycles, status in ((["file:../route.csv"], 403), (["file:/etc/passwd"], 403), (["lib:nope"], 400),
                           (["route.csv"], 400), (["file:cycles/missing.csv"], 404)):
        assert post(client, "/api/run", {"spec": spec, "cycles": cycles}).status_code == status, cycles
    bad_value = post(client, "/api/run", {"spec": spec, "cycles": ["lib:hd-udds"], "edits": {"values": {"CdA": "-1"}}})
    assert bad_value.status_code == 400 and "CdA" in bad_value.json["errors"]


def test_downloads_match_the_program(client, workspace, hdfe_binary, tmp_path):
    spec = open_example(client)
    folder = workspace / os.path.dirname(spec)
    run_id = post(client, "/api/run", {"spec": spec}).json["id"]
    json_out, trace_out, results_out = tmp_path / "run.json", tmp_path / "trace.csv", tmp_path / "results.txt"
    subprocess.run([hdfe_binary, "spec.txt", str(results_out), "--json", str(json_out), "--trace-csv", str(trace_out)],
                   cwd=folder, check=True, capture_output=True)
    app_json = json.loads(client.get(f"/download/run/{run_id}/json").data)
    program_json = json.loads(json_out.read_bytes())
    assert app_json["cycles"] == program_json["cycles"]
    assert client.get(f"/download/run/{run_id}/trace.csv").data == trace_out.read_bytes()
    results = client.get(f"/download/run/{run_id}/results.txt")
    assert results.status_code == 200 and results.data == results_out.read_bytes()
    summary = client.get(f"/download/run/{run_id}/summary.csv").data.decode()
    assert summary.splitlines()[0].startswith("id,spec,status") and ",ok," in summary.splitlines()[1]
    # An edited run is no run of the files: its results file would not be the program's.
    edited = post(client, "/api/run", {"spec": spec, "edits": {"values": {"FinalRatio": "2.7"}}}).json["id"]
    assert client.get(f"/download/run/{edited}/results.txt").status_code == 409
    assert client.get("/download/run/r999/json").status_code == 404


def test_pinned_runs_are_compared(client):
    spec = open_example(client)
    first = post(client, "/api/run", {"spec": spec}).json
    second = post(client, "/api/run", {"spec": spec, "edits": {"values": {"FinalRatio": "3"}}}).json
    for run in (first, second):
        assert post(client, "/api/pin", {"id": run["id"]}).json["pinned"][-1] == run["id"]
    runs = client.get("/api/compare").json["runs"]
    assert [r["id"] for r in runs] == [first["id"], second["id"]]
    assert runs[1]["figures"][0]["values"] != runs[0]["figures"][0]["values"]
    assert post(client, "/api/pin", {"id": first["id"], "pinned": False}).json["pinned"] == [second["id"]]
    assert post(client, "/api/pin", {"id": "nope"}).status_code == 404


def test_a_slow_run_is_abandoned_at_its_deadline(client, app, monkeypatch):
    from hdfe.app import runs

    spec = open_example(client)
    app.config["HDFE_RUNS"].run_seconds = 0.2
    monkeypatch.setattr(runs, "_run", lambda vehicle, cycles, routes=(): time.sleep(1.0))
    started = time.perf_counter()
    response = post(client, "/api/run", {"spec": spec})
    assert response.status_code == 504 and time.perf_counter() - started < 0.9


# ------------------------------------------------------------------ routes

def upload_route(client, name, content, speed=None):
    data = {"file": (_io(content.encode() if isinstance(content, str) else content), name)}
    if speed is not None:
        data["speed_km_per_h"] = speed
    return client.post("/api/routes/upload", data=data, content_type="multipart/form-data",
                       headers={"X-HDFE-Token": TOKEN})


#: A GPX track of three points along a meridian (about 2.2 km), climbing 40 m.
GPX_TRACK = """<?xml version="1.0"?><gpx version="1.1" creator="test"><trk><name>hill</name><trkseg>
<trkpt lat="48.000" lon="11.0"><ele>500</ele></trkpt><trkpt lat="48.010" lon="11.0"><ele>520</ele></trkpt>
<trkpt lat="48.020" lon="11.0"><ele>540</ele></trkpt></trkseg></trk></gpx>
"""


def test_the_example_route_runs_with_the_engineering_values(client, workspace, binding):
    """The example route is copied into the workspace and driven with the edits made; its own
    figures and kilometres are those hdfe.run gives, and its cycle entry is in the figure table."""
    spec = open_example(client)
    page = client.get("/vehicle", query_string={"spec": spec}).data
    assert b'value="example:depot-run.csv"' in page and b'id="route-upload"' in page
    edits = {"values": {"Payload": "12000"}}
    response = post(client, "/api/run", {"spec": spec, "edits": edits, "routes": ["example:depot-run.csv"]})
    assert response.status_code == 200, response.data
    payload = response.json
    copied = workspace / "examples" / "routes" / "depot-run.csv"
    assert copied.read_bytes() == (ROOT / "examples" / "routes" / "depot-run.csv").read_bytes()
    assert payload["routes_run"] == ["examples/routes/depot-run.csv"] and not payload["standard"]

    vehicle = binding.load_vehicle(workspace / spec)
    vehicle.payload_kg = 12000.0
    expected = binding.run(vehicle, routes=[binding.Route.read(copied)])
    route = expected.routes[0]
    assert payload["cycle_names"] == ["depot-run"] == list(expected.cycles)
    [shown] = payload["routes"]
    assert shown["name"] == "depot-run"
    figures = {row["key"]: row["value"] for row in shown["figures"]}
    assert list(figures) == [name for name, _unit, _meaning in binding._core.route_figure_table()]
    for key in figures:
        assert figures[key] == getattr(route, key), key
    kilometres = route.kilometres
    for column in ("start_km", "distance_km", "fuel_l", "average_speed_km_per_h", "elevation_m"):
        assert shown["kilometres"][column] == kilometres[column].tolist(), column
    economy = next(row for row in payload["figures"] if row["key"] == "fuel_economy_km_per_l")
    assert economy["values"] == [expected.cycles["depot-run"].fuel_economy_km_per_l]
    assert list(payload["trace"]) == ["depot-run"]
    # Its summary holds the route's row; a route next to cycles, or an unknown one, is refused.
    summary = client.get(f"/download/run/{payload['id']}/summary.csv")
    assert summary.status_code == 200 and b"depot-run" in summary.data
    for routes, status in ((["example:nope.csv"], 404), (["file:../x.csv"], 403), (["depot-run.csv"], 400),
                           (["file:examples/tractor_TT1_325kW_AMT12/spec.txt"], 400)):
        assert post(client, "/api/run", {"spec": spec, "routes": routes}).status_code == status, routes
    both = post(client, "/api/run", {"spec": spec, "routes": ["example:depot-run.csv"], "cycles": ["lib:hd-udds"]})
    assert both.status_code == 400


def test_route_files_are_uploaded_into_the_routes_folder(client, workspace, binding):
    """A route upload is read as a route before it is kept (a bad one is refused with its line
    and nothing is written); a GPX track needs its speed limit, at the upload and the run."""
    spec = open_example(client)
    good = "distance_m,speed_km_per_h,elevation_m\n0,50,100\n1500,70,110\n3000,70,100\n"
    uploaded = upload_route(client, "town.csv", good)
    assert uploaded.status_code == 200 and uploaded.json["route"] == "routes/town.csv"
    assert uploaded.json["length_km"] == 3.0
    assert b'value="file:routes/town.csv"' in client.get("/vehicle", query_string={"spec": spec}).data

    refused = upload_route(client, "town.csv", "distance_m,speed_km_per_h,elevation_m\n0,50,100\n1500,-70,110\n")
    assert refused.status_code == 422 and "town.csv:3" in refused.json["error"]
    assert "hdfe-app-" not in refused.json["error"]
    assert (workspace / "routes" / "town.csv").read_text() == good
    from hdfe.app import views
    assert upload_route(client, "big.csv", b"0" * (views.MAX_FILE_BYTES + 1)).status_code == 413
    for name in ("../town.csv", "town.txt", ".town.csv"):
        assert upload_route(client, name, good).status_code in (400, 403), name
    assert upload_route(client, "hill.gpx", GPX_TRACK).status_code == 422       # no speed limit
    assert upload_route(client, "hill.gpx", GPX_TRACK, speed="-5").status_code == 400
    assert upload_route(client, "hill.gpx", GPX_TRACK, speed="60").status_code == 200
    assert sorted(p.name for p in (workspace / "routes").iterdir()) == ["hill.gpx", "town.csv"]

    run = post(client, "/api/run", {"spec": spec, "routes": ["file:routes/hill.gpx"], "route_speed_km_per_h": "60"})
    assert run.status_code == 200, run.data
    expected = binding.run(binding.load_vehicle(workspace / spec),
                           routes=[binding.Route.read(workspace / "routes" / "hill.gpx", speed_km_per_h=60)])
    assert run.json["routes"][0]["figures"][1]["value"] == expected.routes[0].time_s
    assert post(client, "/api/run", {"spec": spec, "routes": ["file:routes/hill.gpx"]}).status_code == 422
    # A routes folder that is a link out of the workspace takes nothing.
    shutil.rmtree(workspace / "routes")
    (workspace / "routes").symlink_to(workspace.parent)
    assert upload_route(client, "other.csv", good).status_code == 403 and not (workspace.parent / "other.csv").exists()


# ------------------------------------------------------------------ sweeps

def wait(client, sweep_id):
    for _ in range(600):
        state = client.get(f"/api/sweep/{sweep_id}").json
        if state["status"] != "running":
            return state
        time.sleep(0.05)
    raise AssertionError("the sweep did not finish")


def test_a_sweep_of_two_values(client, binding, workspace):
    spec = open_example(client)
    axes = [{"name": "FinalRatio", "start": "2.4", "stop": "3.0", "steps": 4},
            {"name": "TestMass", "start": 20000, "stop": 30000, "steps": 3}]
    response = post(client, "/api/sweep", {"spec": spec, "edits": {"values": {"Kf1": "0.9"}}, "axes": axes})
    assert response.status_code == 200
    state = wait(client, response.json["id"])
    assert state["status"] == "done" and state["done"] == state["total"] == 12
    assert [a["values"] for a in state["axes"]] == [["2.4", "2.6", "2.8", "3"], ["20000", "25000", "30000"]]
    row = next(r for r in state["rows"] if r["values"] == {"FinalRatio": 2.8, "TestMass": 25000.0})
    vehicle = binding.load_vehicle(workspace / spec)
    vehicle.final_ratio, vehicle.test_mass_kg, vehicle.kf1 = 2.8, 25000.0, 0.9
    assert row["average_km_per_l"] == binding.run(vehicle).average_fuel_economy_km_per_l
    summary = client.get(f"/download/sweep/{state['id']}/summary.csv").data.decode().splitlines()
    assert len(summary) == 13 and summary[0].endswith("FinalRatio,TestMass")


@pytest.mark.parametrize("axes", [
    [], [{"name": "VehicleName", "start": 1, "stop": 2, "steps": 2}],
    [{"name": "FinalRatio", "start": 1, "stop": 2, "steps": 0}],
    [{"name": "FinalRatio", "start": -1, "stop": 2, "steps": 3}],
    [{"name": "FinalRatio", "start": 1, "stop": 2, "steps": 2}] * 2,
    [{"name": "FinalRatio", "start": 1, "stop": 2, "steps": 1000}, {"name": "Kf1", "start": 1, "stop": 2, "steps": 1000}],
])
def test_bad_sweeps_are_refused(client, axes):
    spec = open_example(client)
    assert post(client, "/api/sweep", {"spec": spec, "axes": axes}).status_code == 400


def test_a_sweep_of_1000_rows_reports_its_progress(client):
    spec = open_example(client)
    axes = [{"name": "FinalRatio", "start": "2.2", "stop": "3.4", "steps": 1000}]
    started = time.perf_counter()
    sweep_id = post(client, "/api/sweep", {"spec": spec, "axes": axes}).json["id"]
    seen = []
    while True:
        state = client.get(f"/api/sweep/{sweep_id}").json
        seen.append(state["done"])
        if state["status"] != "running":
            break
        time.sleep(0.02)
    assert state["status"] == "done" and len(state["rows"]) == 1000
    assert any(0 < done < 1000 for done in seen) and seen == sorted(seen)
    assert time.perf_counter() - started < 10
    # Stopped on request: the rows run so far are kept.
    sweep_id = post(client, "/api/sweep", {"spec": spec, "axes": axes}).json["id"]
    post(client, f"/api/sweep/{sweep_id}/cancel")
    state = wait(client, sweep_id)
    assert state["status"] == "cancelled" and len(state.get("rows", [])) == state["done"] < 1000


# ------------------------------------------------------------------ starting the app

def test_the_command_starts_the_app_on_loopback_with_a_token(binding, workspace):
    import urllib.error
    import urllib.request

    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(binding.__file__)))
    process = subprocess.Popen([sys.executable, "-m", "hdfe", "app", str(workspace), "--port", "0"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env)
    try:
        assert process.stdout.readline().startswith("hdfe app: workspace ")
        url = process.stdout.readline().strip()
        match = re.fullmatch(r"http://127\.0\.0\.1:(\d+)/\?token=([A-Za-z0-9_-]{32})", url)
        assert match, url
        with pytest.raises(urllib.error.HTTPError) as refused:
            urllib.request.urlopen(f"http://127.0.0.1:{match[1]}/", timeout=5)
        assert refused.value.code == 403
        request = urllib.request.Request(f"http://127.0.0.1:{match[1]}/", headers={"X-HDFE-Token": match[2]})
        assert urllib.request.urlopen(request, timeout=5).status == 200
    finally:
        process.terminate()
        process.wait(timeout=10)


def test_sweeps_are_bounded_in_number_and_time(client, app):
    spec = open_example(client)
    axes = [{"name": "FinalRatio", "start": "2.2", "stop": "3.4", "steps": 1000}]
    running = [post(client, "/api/sweep", {"spec": spec, "axes": axes}).json["id"] for _ in range(2)]
    assert post(client, "/api/sweep", {"spec": spec, "axes": axes}).status_code == 429
    for sweep_id in running:
        post(client, f"/api/sweep/{sweep_id}/cancel")
        wait(client, sweep_id)
    app.config["HDFE_RUNS"].sweep_seconds = 0.0
    state = wait(client, post(client, "/api/sweep", {"spec": spec, "axes": axes}).json["id"])
    assert state["status"] == "timeout" and state["done"] < 1000


def test_another_address_is_served_with_the_token(binding, workspace):
    from hdfe.app import create_app

    token = {"X-HDFE-Token": TOKEN}
    named = create_app(workspace, token=TOKEN, hosts=["127.0.0.1", "192.0.2.7"]).test_client()
    assert named.get("/", headers={"Host": "192.0.2.7:8000", **token}).status_code == 200
    assert named.get("/", headers={"Host": "192.0.2.8:8000", **token}).status_code == 403
    anywhere = create_app(workspace, token=TOKEN, hosts=["0.0.0.0"]).test_client()
    assert anywhere.get("/", headers={"Host": "192.0.2.8:8000", **token}).status_code == 200
    assert anywhere.get("/", headers={"Host": "192.0.2.8:8000"}).status_code == 403


def test_cycle_files_are_uploaded_into_the_cycles_folder(client, workspace):
    def send(name, content=b"time_s,speed_km_per_h\n0,0\n1,5\n"):
        data = {"token": TOKEN, "file": (_io(content), name)}
        return client.post("/api/cycles/upload", data=data, content_type="multipart/form-data")

    assert send("route.csv").status_code == 303
    assert (workspace / "cycles" / "route.csv").read_bytes().startswith(b"time_s")
    for name in ("../route.csv", "route.txt", ".route.csv"):
        assert send(name).status_code in (400, 403)
    # A file that is no cycle is refused with its line, and one of the same name stays as it was.
    refused = upload_cycle(client, "route.csv", "time_s,speed_km_per_h\n0,0\n1,-5\n")
    assert refused.status_code == 422 and "route.csv:3" in refused.json["error"]
    assert "hdfe-app-" not in refused.json["error"]
    from hdfe.app import views
    assert upload_cycle(client, "big.csv", b"0" * (views.MAX_FILE_BYTES + 1)).status_code == 413
    assert sorted(p.name for p in (workspace / "cycles").iterdir()) == ["route.csv"]
    assert (workspace / "cycles" / "route.csv").read_bytes().endswith(b"1,5\n")
    # A cycles folder that is a link out of the workspace takes nothing.
    shutil.rmtree(workspace / "cycles")
    (workspace / "cycles").symlink_to(workspace.parent)
    assert send("other.csv").status_code == 403 and not (workspace.parent / "other.csv").exists()
