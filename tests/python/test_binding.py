"""hdfe.load_vehicle and hdfe.run against the command line, pickling, and errors."""

import copy
import json
import math
import pickle
import shutil
import subprocess

import pandas
import pytest

from conftest import EXAMPLES, ROOT, TRACTOR


@pytest.fixture(params=EXAMPLES, ids=lambda spec: spec.parent.name)
def example(request, tmp_path, monkeypatch):
    """A copy of an example folder as the working directory (the program writes beside it)."""
    folder = tmp_path / request.param.parent.name
    shutil.copytree(request.param.parent, folder)
    monkeypatch.chdir(folder)
    return folder


def test_run_equals_the_programs_json_and_trace_csv(binding, hdfe_binary, example):
    cli = subprocess.run([hdfe_binary, "--json", "-", "--trace-csv", "trace.csv", "spec.txt", "result.txt"],
                         capture_output=True, check=True)
    vehicle = binding.load_vehicle("spec.txt")
    result = binding.run(vehicle, trace=True)

    document = json.loads(cli.stdout)
    assert result.to_dict() == document
    assert json.loads(result.to_json()) == document

    trace = pandas.read_csv("trace.csv", float_precision="round_trip", keep_default_na=False)
    pandas.testing.assert_frame_equal(result.trace, trace, check_exact=True)
    assert len(result.trace) == 4950

    # Figures as attributes, named as in the JSON.
    # Figures as attributes of the bound records, named as in the JSON.
    for cycle in document["cycles"]:
        figures = result.cycles[cycle["name"]]
        assert figures.to_dict() == cycle
        assert set(cycle) <= set(dir(figures))
    assert list(result.cycles) == ["URBAN", "HIGHWAY", "MID-TOWN"]
    assert (result.urban, result.highway, result.midtown) == tuple(result.cycles.values())
    assert result.average_fuel_economy_km_per_l == document["average_fuel_economy_km_per_l"]
    assert result.classification.engine.rated_speed_rpm == document["vehicle"]["Nrate"]
    assert [g.ratio for g in result.classification.transmission.gears] == [g["ratio"] for g in document["vehicle"]["gears"]]
    assert [f.sha256 for f in result.inputs] == [f["sha256"] for f in vehicle.files]
    assert [(f.cycle, f.second, f.kind) for f in result.findings] == [
        (f["cycle"], f["second"], f["kind"]) for f in document["run_checks"]]
    assert [w.message for w in result.warnings] == [w["message"] for w in document["warnings"]]
    assert binding.run(vehicle).trace is None


def test_vehicle_values_are_editable_and_plot_tables_are_copies(binding):
    vehicle = binding.load_vehicle(TRACTOR)
    assert (vehicle.category_code, vehicle.final_ratio, vehicle.traces) == ("TT1", 2.64, True)
    assert vehicle["FinalRatio"] == vehicle["final_ratio"] == 2.64
    base = binding.run(vehicle).urban.fuel_economy_km_per_l
    vehicle["FinalRatio"] = 3.1
    assert binding.run(vehicle).urban.fuel_economy_km_per_l != base
    vehicle.final_ratio = 2.64
    assert binding.run(vehicle).urban.fuel_economy_km_per_l == base
    # An edited value outside its usual range runs as given, with a warning at its spec line.
    vehicle.air_coefficient = -0.03
    warnings = [(w.kind, w.message) for w in binding.run(vehicle).warnings if w.kind == "input"]
    assert len(warnings) == 1 and ":10: AirCoefficient is -0.03" in warnings[0][1], warnings
    vehicle["AirCoefficient"] = 0.030172
    assert not [w for w in binding.run(vehicle).warnings if w.kind == "input"]
    with pytest.raises(TypeError):
        vehicle.stop_delay_s = 1.5  # a whole-number value takes whole numbers only
    with pytest.raises(TypeError):
        vehicle["final_ratio"] = "2.7"
    with pytest.raises(ValueError):
        vehicle.traces = 2
    with pytest.raises(KeyError):
        vehicle["FinalRation"]
    with pytest.deprecated_call():
        vehicle.FinalRatio = 2.7  # the spec file's names as attributes: still honoured
    assert vehicle.final_ratio == 2.7
    assert "FinalRatio" not in dir(vehicle) and "final_ratio" in dir(vehicle)
    for value in binding.spec_values():
        assert value["name"] in binding.Vehicle.__doc__ and value["meaning"] in binding.Vehicle.__doc__

    assert list(vehicle.full_load.columns) == ["speed_rpm", "torque_Nm"]
    assert list(vehicle.fuel_map.columns) == ["speed_rpm", "torque_Nm", "fuel_rate_l_per_h"]
    assert vehicle.full_load["speed_rpm"].is_monotonic_increasing
    frame = vehicle.full_load
    frame.loc[0, "torque_Nm"] = 0.0
    assert vehicle.full_load.loc[0, "torque_Nm"] != 0.0


def test_vehicle_and_result_survive_pickle(binding):
    vehicle = binding.load_vehicle(TRACTOR)
    vehicle.final_ratio = 2.9
    vehicle.vehicle_name = "tractor \udc8e\udc80"  # bytes that are not UTF-8, as a Shift_JIS name has
    vehicle.engine.idle_speed_rpm = 610.0
    vehicle.transmission.main_ratios = [r * 1.01 for r in vehicle.transmission.main_ratios]
    vehicle.full_load = vehicle.full_load.assign(torque_Nm=lambda f: f["torque_Nm"] * 1.02)
    result = binding.run(vehicle, trace=True)

    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        restored = pickle.loads(pickle.dumps(vehicle, protocol))
        assert pickle.dumps(restored, protocol) == pickle.dumps(vehicle, protocol)
        assert (restored.final_ratio, restored.vehicle_name, restored.engine.idle_speed_rpm) == (
            2.9, vehicle.vehicle_name, 610.0)
        assert restored.transmission.main_ratios == vehicle.transmission.main_ratios
        pandas.testing.assert_frame_equal(restored.full_load, vehicle.full_load)
        pandas.testing.assert_frame_equal(restored.fuel_map, vehicle.fuel_map)
        assert restored.files == vehicle.files

        again = pickle.loads(pickle.dumps(result, protocol))
        assert again.to_dict() == result.to_dict() and again.urban == result.urban
        assert again.classification == result.classification
        pandas.testing.assert_frame_equal(again.trace, result.trace, check_exact=True)
    assert binding.run(restored, trace=True).to_dict() == result.to_dict()

    edited = copy.deepcopy(vehicle)
    edited.kf1 = 0.5
    assert vehicle.kf1 == 1.0


def test_a_pickled_state_is_validated_on_restore(binding):
    from hdfe import _restore

    vehicle = binding.load_vehicle(TRACTOR)
    restore, (name, state) = vehicle.__reduce__()
    assert restore is _restore.restore and name == "Vehicle"
    restore(name, state)
    broken = [dict(state, version=1), {k: v for k, v in state.items() if k != "files"},
              dict(state, values={**state["values"], "final_ratio": "2.6"}),
              dict(state, values={k: v for k, v in state["values"].items() if k != "kf2"}),
              dict(state, full_load={"speed_rpm": [600.0, 500.0], "torque_Nm": [1.0, 2.0]}),
              dict(state, engine={"idle_speed_rpm": 600.0}), "not a state",
              dict(state, engine=binding.EngineInput.__new__(binding.EngineInput))]
    for bad in broken:
        with pytest.raises(ValueError):
            restore(name, bad)
    with pytest.raises(ValueError):
        restore("os.system", state)
    result_restore, (result_name, result_state) = binding.run(vehicle).__reduce__()
    with pytest.raises(ValueError):
        result_restore(result_name, dict(result_state, trace=(["URBAN"], [3], ["second"], [[1.0]])))
    with pytest.raises(ValueError):
        result_restore(result_name, dict(result_state, cycles=[binding.CycleFigures.__new__(binding.CycleFigures)]))


def test_curves_and_map_take_validated_tables(binding):
    vehicle = binding.load_vehicle(TRACTOR)
    curve = vehicle.full_load
    motoring = vehicle.motoring
    vehicle.motoring = {"speed_rpm": motoring["speed_rpm"].to_numpy(), "torque_Nm": 1.05 * motoring["torque_Nm"]}
    assert (vehicle.motoring["torque_Nm"] == 1.05 * motoring["torque_Nm"]).all()
    fuel_map = vehicle.fuel_map
    vehicle.fuel_map = fuel_map.assign(fuel_rate_l_per_h=fuel_map["fuel_rate_l_per_h"] * 1.1)
    base = binding.load_vehicle(TRACTOR)
    assert binding.run(vehicle).urban.fuel_l > binding.run(base).urban.fuel_l

    nan = float("nan")
    for bad in ({"speed_rpm": [600.0, 1200.0], "torque_Nm": [100.0]},          # lengths differ
                {"speed_rpm": [600.0, nan], "torque_Nm": [100.0, 200.0]},      # not finite
                {"speed_rpm": [1200.0, 600.0], "torque_Nm": [100.0, 200.0]},   # not sorted
                {"speed_rpm": [600.0, 600.0], "torque_Nm": [100.0, 200.0]},    # speed repeated
                {"speed_rpm": [600.0], "torque_Nm": [100.0]},                  # one point
                {"speed_rpm": [600.0, 900.0], "torque": [100.0, 200.0]},       # a wrong column
                {"speed_rpm": ["a", "b"], "torque_Nm": [100.0, 200.0]}):
        with pytest.raises(ValueError):
            vehicle.full_load = bad
    with pytest.raises(ValueError):
        vehicle.fuel_map = fuel_map.iloc[::-1]
    with pytest.raises(ValueError):
        vehicle.transmission.main_ratios = [3.0, float("inf")]
    with pytest.raises(ValueError):
        vehicle.transmission.type = "cvt"
    pandas.testing.assert_frame_equal(vehicle.full_load, curve)  # refused tables leave it as it was


def test_errors_carry_kind_file_and_line(binding, tmp_path):
    from hdfe import _errors

    assert binding.Error is _errors.Error and issubclass(binding.Error, Exception)
    with pytest.raises(binding.Error) as missing:
        binding.load_vehicle(tmp_path / "absent.txt")
    assert missing.value.kind == "missing_file"
    assert missing.value.file == str(tmp_path / "absent.txt")
    assert str(missing.value) == "Cannot open spec-file : " + str(tmp_path / "absent.txt")
    restored = pickle.loads(pickle.dumps(missing.value))
    assert (type(restored), restored.kind, restored.file, restored.line, str(restored)) == (
        binding.Error, "missing_file", missing.value.file, missing.value.line, str(missing.value))

    spec = tmp_path / "spec.txt"
    spec.write_text(TRACTOR.read_text().replace("2.64", "2.6x", 1))
    with pytest.raises(binding.Error) as bad:
        binding.load_vehicle(spec, base=TRACTOR.parent)
    assert (bad.value.kind, bad.value.file) == ("bad_value", str(spec)) and bad.value.line > 0

    folder = tmp_path / "tractor"
    shutil.copytree(TRACTOR.parent, folder)
    (folder / "fullload.txt").unlink()
    with pytest.raises(binding.Error) as curve:
        binding.load_vehicle(folder / "spec.txt")
    assert curve.value.kind == "missing_file" and curve.value.file.endswith("fullload.txt")

    vehicle = binding.load_vehicle(TRACTOR)
    vehicle.category_code = "ZZ9"
    with pytest.raises(binding.Error) as category:
        binding.run(vehicle)
    assert category.value.kind == "unknown_category"


def test_threads_run_vehicles_at_once_with_the_same_figures(binding):
    from concurrent.futures import ThreadPoolExecutor

    vehicles = [binding.load_vehicle(spec) for spec in EXAMPLES]
    alone = [binding.run(vehicle).to_dict() for vehicle in vehicles]
    with ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda v: binding.run(v).to_dict(), vehicles * 3))
    assert together == alone * 3


def test_check_gives_the_programs_findings_as_data(binding, hdfe_binary, tmp_path, monkeypatch):
    folder = tmp_path / "tractor"
    shutil.copytree(TRACTOR.parent, folder)
    (folder / "motoring.txt").unlink()
    monkeypatch.chdir(folder)
    cli = subprocess.run([hdfe_binary, "--check", "spec.txt"], capture_output=True, text=True)
    findings = binding.check("spec.txt")
    assert [f"{f.file}{f':{f.line}' if f.line else ''}: {f.severity}: {f.message}" for f in findings] == \
        cli.stdout.splitlines()[:-1]
    assert any(f.severity == "error" and f.file.endswith("motoring.txt") for f in findings)
    assert binding.check(binding.load_vehicle(TRACTOR)) == binding.check(TRACTOR)


def test_relative_names_come_from_base(binding, tmp_path):
    shutil.copy(TRACTOR, tmp_path / "spec.txt")  # its engine and curves stay in the example folder
    with pytest.raises(binding.Error):
        binding.load_vehicle(tmp_path / "spec.txt")
    moved = binding.load_vehicle(tmp_path / "spec.txt", base=TRACTOR.parent)
    assert [f["path"] for f in moved.files][1:] == [f["path"] for f in binding.load_vehicle(TRACTOR).files][1:]


def test_an_object_made_by_new_alone_refuses_every_use(binding, tmp_path):
    import inspect
    import warnings

    from hdfe import _core

    vehicle = binding.load_vehicle(TRACTOR)
    result = binding.run(vehicle)
    c = result.classification
    warning = _core._restore_RunWarning({"version": 1, "kind": "input", "cycle": "", "second": 0, "message": "m"})
    finding = _core._restore_RunFinding({"version": 1, "cycle": "URBAN", "second": 3, "kind": "over_speed"})
    normal = [vehicle, vehicle.engine, vehicle.transmission, result, result.urban, result.urban.metrics,
              result.urban.energy, c, c.values, c.spec, c.engine, c.transmission, c.transmission.gears[0],
              result.inputs[0], warning, finding, _core.AtomicFile(str(tmp_path / "out.txt")),
              binding.Cycle("c", [0.0, 5.0, 0.0]), binding.Route("r", [0.0, 100.0], [50.0, 50.0]),
              binding.run(vehicle, routes=[binding.Route("r", [0.0, 100.0], [50.0, 50.0])]).routes[0]]
    # Every class of the module, so that a class bound later is covered too.
    assert {type(o) for o in normal} == {cls for _, cls in inspect.getmembers(_core, inspect.isclass)}
    for good in normal:
        cls = type(good)
        blank = cls.__new__(cls)
        uses = [repr, copy.copy, copy.deepcopy] + [lambda o, p=p: pickle.dumps(o, p) for p in range(pickle.HIGHEST_PROTOCOL + 1)]
        for name, attr in inspect.getmembers(cls):
            if isinstance(attr, property):
                uses.append(lambda o, name=name: getattr(o, name))
                if attr.fset is not None:
                    uses.append(lambda o, name=name: setattr(o, name, getattr(good, name)))
        if cls is binding.Vehicle:
            uses += [lambda o: o["FinalRatio"], lambda o: o.__setitem__("final_ratio", vehicle.final_ratio), cls, binding.run,
                     binding.check, lambda o: binding.run_batch({"spec": ["a"], "vehicle": [o]})]
        elif cls is binding.Result:
            uses += [lambda o: o.to_dict(), lambda o: o.to_json(), lambda o: o.to_frame()]
        elif cls is binding.Cycle:
            uses += [len, lambda o: o.to_frame(), lambda o: o == good, lambda o: binding.run(vehicle, cycles=[o])]
        elif cls is binding.Route:
            uses += [len, lambda o: o.to_frame(), lambda o: o == good, lambda o: binding.run(vehicle, routes=[o])]
        elif cls is _core.AtomicFile:
            uses = [lambda o: o.write(b"x"), lambda o: o.commit(), lambda o: o.__exit__(ValueError, None, None)]
        else:
            uses += [lambda o: o.to_dict(), lambda o: o == good, lambda o: good == o]
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            for use in uses:
                with pytest.raises(TypeError, match="never initialised"):
                    use(blank)
                use(good)
    late = binding.Vehicle.__new__(binding.Vehicle)
    late.__init__(vehicle)
    assert binding.run(late).to_dict() == result.to_dict()


# ------------------------------------------------------------------ cycles of one's own

CYCLES = ROOT / "data" / "cycles"


def test_cycle_from_arrays_a_file_or_a_frame_is_the_same_cycle(binding, tmp_path):
    speed = [0.0, 0.0, 12.5, 30.0, 30.0, 8.25, 0.0]
    grade = [0.0, 0.0, 1.5, 2.0, -1.0, -1.0, 0.0]
    phase = ["town", "town", "town", "hill", "hill", "town", "town"]
    made = binding.Cycle("route", speed, grade_percent=grade, phase=phase)
    (tmp_path / "route.csv").write_text(
        "# a comment\ntime_s,speed_m_per_s,grade_percent,phase\n"
        + "".join(f"{k},{v / 3.6!r},{g},{p}\n" for k, (v, g, p) in enumerate(zip(speed, grade, phase))))
    read = binding.Cycle.read(tmp_path / "route.csv")
    frame = made.to_frame()
    assert list(frame.columns) == ["time_s", "speed_km_per_h", "grade_percent", "phase"]
    assert list(frame["time_s"]) == list(range(7)) and list(frame["phase"]) == phase
    from_frame = binding.Cycle.from_frame(frame, "route")
    for cycle in (read, from_frame):
        assert cycle.name == "route" and len(cycle) == 7 and cycle.duration_s == 6
        assert list(cycle.speed_km_per_h) == pytest.approx(speed, abs=1e-12)
        assert list(cycle.grade_percent) == grade and cycle.phase == phase
    assert (from_frame.source, from_frame.resampled) == ("DataFrame", "")
    assert list(from_frame.speed_km_per_h) == speed  # exact: the frame's numbers travel whole
    level = binding.Cycle("flat", [0, 10, 0])
    assert (level.grade_percent, level.phase, list(level.to_frame().columns)) == (None, None, ["time_s", "speed_km_per_h"])

    # Other steps and units are read as a cycle file's: mph, resampled from half seconds, the
    # time taken from the index too.
    half = pandas.DataFrame({"time_s": [0.0, 0.5, 1.0, 1.5, 2.0], "speed_mph": [0.0, 5.0, 10.0, 10.0, 0.0]})
    resampled = binding.Cycle.from_frame(half.set_index("time_s"), "half")
    assert list(resampled.speed_km_per_h) == [0.0, 10.0 * 1.609344, 0.0]
    half.to_csv(tmp_path / "half.csv", index=False)
    assert list(binding.Cycle.read(tmp_path / "half.csv").speed_km_per_h) == list(resampled.speed_km_per_h)

    for bad, message in ((frame.assign(speed_km_per_h=frame["speed_km_per_h"] - 10), "row 0: .*negative speed"),
                         (frame.rename(columns={"grade_percent": "slope"}), "unknown cycle column.*'slope'"),
                         (frame.assign(phase=["a,b"] * 7), "comma"),
                         (frame.assign(time_s=[0, 1, 2, 2, 4, 5, 6]).set_axis(list("abcdefg")), "row 'd': .*increase"),
                         (frame[["time_s", "grade_percent"]], "no speed column")):
        with pytest.raises(ValueError, match=message):
            binding.Cycle.from_frame(bad, "route")
    for bad in (dict(speed_km_per_h=[0.0, -1.0]), dict(speed_km_per_h=[0.0]), dict(speed_km_per_h=[0, float("nan")]),
                dict(speed_km_per_h=[0, 5], grade_percent=[0.0]), dict(speed_km_per_h=[0, 5], grade_percent=[0, 31]),
                dict(speed_km_per_h=[[0, 5]]), dict(speed_km_per_h=[0, 5], phase=["a"])):
        with pytest.raises(ValueError):
            binding.Cycle("bad", **bad)
    with pytest.raises(ValueError):
        binding.Cycle("", [0, 5])
    with pytest.raises(binding.Error) as missing:
        binding.Cycle.read(tmp_path / "absent.csv")
    assert missing.value.kind == "missing_file"

    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        again = pickle.loads(pickle.dumps(read, protocol))
        assert again == read and again is not read and again != made
    restore, (name, state) = read.__reduce__()
    for broken in (dict(state, version=2), dict(state, speed_km_per_h=[0.0, -3.0]), dict(state, phase=[1, 2]),
                   {k: v for k, v in state.items() if k != "resampled"}):
        with pytest.raises(ValueError):
            restore(name, broken)


def test_run_over_given_cycles(binding, tmp_path):
    vehicle = binding.load_vehicle(TRACTOR)
    udds = binding.Cycle.read(CYCLES / "hd-udds.csv")
    climb = binding.Cycle("climb", [0.0] + [40.0] * 299 + [0.0], grade_percent=[3.0] * 301)
    result = binding.run(vehicle, cycles=[udds, str(CYCLES / "cbd-bus.csv"), climb], trace=True)
    document = result.to_dict()
    assert [c["name"] for c in document["cycles"]] == list(result.cycles) == ["hd-udds", "cbd-bus", "climb"]
    assert result.average_fuel_economy_km_per_l == 0.0
    assert list(result.trace.groupby("cycle", sort=False).size().items()) == [
        ("hd-udds", 1060), ("cbd-bus", 574), ("climb", 300)]
    assert (result.trace.loc[result.trace["cycle"] == "climb", "gradient_percent"] == 3.0).all()
    # The one cycle alone gives the same figures: cycles do not affect each other.
    assert binding.run(vehicle, cycles=udds).cycles["hd-udds"] == result.cycles["hd-udds"]

    # The frame holds every figure of the tables, as the JSON gives them.
    from hdfe import _core
    frame = result.to_frame()
    figures = [name for name, *_ in _core.cycle_figure_table()]
    metrics = [name for name, *_ in _core.cycle_metric_table()]
    terms = [name for name, *_ in _core.energy_audit_table()]
    assert list(frame.columns) == ["name", "cycle", "phase"] + figures + metrics + [f"energy_{t}" for t in terms]
    for row, cycle in zip(frame.to_dict("records"), copy.deepcopy(document["cycles"])):
        metrics, energy = cycle.pop("metrics"), cycle.pop("energy")
        flat = {**cycle, **metrics, **{f"energy_{k}": v for k, v in energy.items()}}
        if flat["co2_g_per_t_km"] is None:
            assert math.isnan(row.pop("co2_g_per_t_km"))
            flat.pop("co2_g_per_t_km")
        assert row == flat
    assert frame["seconds"].dtype == "int64" and frame["transient_correction"].dtype == bool
    assert list(binding.run(vehicle).to_frame()["name"]) == ["URBAN", "HIGHWAY", "MID-TOWN"]

    again = pickle.loads(pickle.dumps(result))
    assert again.to_dict() == document and again.engineering == result.engineering
    pandas.testing.assert_frame_equal(again.to_frame(), frame)

    with pytest.raises(ValueError, match="two cycles are named 'hd-udds'"):
        binding.run(vehicle, cycles=[udds, CYCLES / "hd-udds.csv"])
    with pytest.raises(ValueError):
        binding.run(vehicle, cycles=[])
    with pytest.raises(TypeError):
        binding.run(vehicle, cycles=[3])
    with pytest.raises(binding.Error):
        binding.run(vehicle, cycles=[tmp_path / "absent.csv"])


def test_library_cycles_by_name(binding):
    table = binding.library_cycles()
    checks = pandas.read_csv(CYCLES / "CHECKS.tsv", sep="\t")
    assert set(checks["file"]) | {"URBAN", "HIGHWAY"} <= set(table["name"])
    for _, row in checks.iterrows():
        listed = table.set_index("name").loc[row["file"]]
        assert (listed["points"], listed["distance_km"]) == (row["points"], pytest.approx(row["distance_km_trapezoid"], abs=5e-4))
    udds = binding.Cycle.library("HD-UDDS")
    assert list(udds.speed_km_per_h) == list(binding.Cycle.read(CYCLES / "hd-udds.csv").speed_km_per_h)
    vehicle = binding.load_vehicle(TRACTOR)
    named = binding.run(vehicle, cycles=["hd-udds", "URBAN"])
    assert named.cycles["hd-udds"].fuel_l == binding.run(vehicle, cycles=[udds]).cycles["hd-udds"].fuel_l
    assert named.cycles["URBAN"].fuel_l == binding.run(vehicle).urban.fuel_l
    with pytest.raises(binding.Error):
        binding.Cycle.library("no-such-cycle")
    assert binding.Cycle.find("urban").name == "URBAN"
    assert binding.Cycle.find(CYCLES / "hd-udds.csv").source == str(CYCLES / "hd-udds.csv")
    with pytest.raises(binding.Error, match="hd-udds"):  # names the library's cycles
        binding.Cycle.find("no-such-cycle")


def test_engineering_values_through_python_equal_the_programs_set(binding, hdfe_binary, tmp_path):
    (tmp_path / "climb.csv").write_text("time_s,speed_km_per_h,grade_percent\n"
                                        + "".join(f"{k},{min(k, 50)},{2.5 if k > 60 else 0}\n" for k in range(400)))
    values = {"TestMass": 31500.0, "CdA": 5.2, "RollingResistance": 0.0055, "CO2PerLitre": 2.7}
    vehicle = binding.load_vehicle(TRACTOR)
    for name, value in values.items():
        vehicle[name] = value
    settings = [arg for name, value in values.items() for arg in ("--set", f"{name}={value!r}")]
    for cycles in ([], [tmp_path / "climb.csv"]):
        cli = subprocess.run([hdfe_binary, str(TRACTOR), *settings, *[a for c in cycles for a in ("--cycle", str(c))],
                              "--json", "-"], capture_output=True, check=True, cwd=TRACTOR.parent)
        ours = binding.run(vehicle, cycles=cycles or None)
        assert ours.to_dict()["cycles"] == json.loads(cli.stdout)["cycles"]
        standard = binding.run(binding.load_vehicle(TRACTOR), cycles=cycles or None)
        assert ours.to_dict()["cycles"] != standard.to_dict()["cycles"] and ours.engineering


# ------------------------------------------------------------------ routes

DEPOT_RUN = ROOT / "examples" / "routes" / "depot-run.csv"
# A short route: a stop at the start, a climb, a 30 km/h stretch, a stop on the way, the end.
SHORT_ROUTE = {"distance_m": [0.0, 400.0, 900.0, 1300.0, 2000.0],
               "speed_km_per_h": [50.0, 60.0, 30.0, 60.0, 60.0],
               "elevation_m": [100.0, 100.0, 120.0, 120.0, 110.0],
               "stop_s": [10.0, 0.0, 0.0, 20.0, 0.0]}
GPX = """<?xml version="1.0"?>
<gpx version="1.1" creator="test"><trk><trkseg>
<trkpt lat="48.0000" lon="11.0000"><ele>500</ele></trkpt>
<trkpt lat="48.0004" lon="11.0000"><ele>505</ele></trkpt>
<trkpt lat="48.0008" lon="11.0000"><ele>512</ele></trkpt>
<trkpt lat="48.0012" lon="11.0000"><ele>508</ele></trkpt>
</trkseg></trk></gpx>
"""


def _route_file(tmp_path, columns, name="short.csv"):
    path = tmp_path / name
    pandas.DataFrame(columns).to_csv(path, index=False)
    return path


def test_route_from_a_file_arrays_or_a_frame_is_the_same_route(binding, tmp_path):
    vehicle = binding.load_vehicle(TRACTOR)
    read = binding.Route.read(_route_file(tmp_path, SHORT_ROUTE))
    built = binding.Route("short", **SHORT_ROUTE)
    framed = binding.Route.from_frame(pandas.DataFrame(SHORT_ROUTE), "short")
    assert (read.name, len(read), read.length_km, read.source) == ("short", 5, 2.0, str(tmp_path / "short.csv"))
    assert list(read.grade_percent) == [0.0, 4.0, 0.0, -10 / 7, -10 / 7]
    built.source = framed.source = read.source
    assert read == built == framed
    back = binding.Route.from_frame(read.to_frame(), "short")  # grades and elevations both: as held
    back.source = read.source
    assert back == read
    graded = binding.Route("g", [0, 1000, 2000], [80, 80, 80], grade_percent=[2.0, -1.0, -1.0])
    assert list(graded.elevation_m) == [0.0, 20.0, 10.0] and graded.stop_s is None
    level = binding.Route("level", [0, 500], [40, 40])
    assert list(level.grade_percent) == [0.0, 0.0]
    smoothed = binding.Route("s", [0, 50, 100, 150], [50] * 4, elevation_m=[0, 4, 0, 4], elevation_window_m=100)
    assert max(abs(g) for g in smoothed.grade_percent) < 8.0  # the window takes out the zigzag
    figures = [binding.run(vehicle, routes=[r]).routes[0] for r in (read, built, framed)]
    assert figures[0] == figures[1] == figures[2]
    assert binding.run(vehicle, routes=_route_file(tmp_path, SHORT_ROUTE)).to_dict()["routes"][0] == \
        figures[0].to_dict()

    gpx = tmp_path / "hill.gpx"
    gpx.write_text(GPX)
    track = binding.Route.read(gpx, speed_km_per_h=70)
    assert track.name == "hill" and len(track) == 4 and set(track.speed_km_per_h) == {70.0}
    assert 0.13 < track.length_km < 0.134  # 0.0004° of latitude is 44.5 m
    raw = binding.Route.read(gpx, speed_km_per_h=70, elevation_window_m=0)
    assert list(raw.elevation_m) == [500.0, 505.0, 512.0, 508.0] and list(track.elevation_m) != list(raw.elevation_m)
    with pytest.raises(binding.Error, match="route-speed"):
        binding.Route.read(gpx)


def test_bad_routes_are_refused_with_their_line_or_row(binding, tmp_path):
    bad = tmp_path / "bad.csv"
    bad.write_text("distance_m,speed_km_per_h,grade_percent\n0,50,0\n100,50,1\n100,50,0\n")
    with pytest.raises(binding.Error, match="does not increase") as error:
        binding.Route.read(bad)
    assert (error.value.file, error.value.line, error.value.kind) == (str(bad), 4, "bad_value")
    bad.write_text("distance_m,speed_km_per_h,grade_percent\n0,50,0\n100,fast,1\n")
    with pytest.raises(binding.Error) as error:
        binding.Route.read(bad)
    assert error.value.line == 3
    with pytest.raises(binding.Error, match="cannot open") as error:
        binding.Route.read(tmp_path / "absent.csv")
    assert error.value.kind == "missing_file"
    (tmp_path / "broken.gpx").write_text(GPX.replace("</trkseg>", ""))
    with pytest.raises(binding.Error, match="not a GPX file") as error:
        binding.Route.read(tmp_path / "broken.gpx", speed_km_per_h=50)
    assert error.value.line > 1

    for args, kwargs, message in [
            (([0, 100], [50, 50]), {"grade_percent": [0, 0], "elevation_m": [0, 0]}, "not both"),
            (([0, 100, 90], [50] * 3), {}, "does not increase at row 3"),
            (([0, 100], [50, 0]), {}, "speed at row 2"),
            (([0, 100], [50, 50]), {"grade_percent": [31, 0]}, "grade at row 1"),
            (([0, 100], [50, 50]), {"stop_s": [1.5, 0]}, "stop at row 1"),
            (([0, 100], [50, 50, 50]), {}, "speed column has 3 rows"),
            (([0],), {"speed_km_per_h": [50]}, "at least two rows"),
            (([0, 10], [50, 50]), {"elevation_m": [0, 5]}, "beyond ±30 %"),
            (([0, 10], [50, 50]), {"elevation_window_m": -1}, "elevation_window_m"),
            (([[0, 10]], [50, 50]), {}, "1-D")]:
        with pytest.raises(ValueError, match=message):
            binding.Route("r", *args, **kwargs)
    with pytest.raises(ValueError, match="a route needs a name"):
        binding.Route("", [0, 100], [50, 50])
    with pytest.raises(ValueError, match=r"row 'b': speed_km_per_h holds 'fast'"):
        binding.Route.from_frame(pandas.DataFrame({"distance_m": [0, 9], "speed_km_per_h": [5, "fast"]},
                                                  index=["a", "b"]), "r")
    with pytest.raises(ValueError, match="unknown route column"):
        binding.Route.from_frame(pandas.DataFrame({"distance_m": [0, 9], "speed": [5, 5]}), "r")
    with pytest.raises(ValueError, match="speed_km_per_h"):
        binding.Route.read(DEPOT_RUN, speed_km_per_h=0)


def test_route_figures_equal_the_programs_json_and_pickle(binding, hdfe_binary, tmp_path):
    vehicle = binding.load_vehicle(TRACTOR)
    short = _route_file(tmp_path, SHORT_ROUTE)
    cli = subprocess.run([hdfe_binary, str(TRACTOR), "--route", str(DEPOT_RUN), "--route", str(short), "--json", "-"],
                         capture_output=True, text=True, check=True, cwd=TRACTOR.parent)
    result = binding.run(vehicle, routes=[binding.Route.read(DEPOT_RUN), short], trace=True)
    document = json.loads(cli.stdout)
    # The figures byte for byte: the JSON writes each number in its shortest exact form.
    assert json.dumps(result.to_dict()["routes"]) == json.dumps(document["routes"])
    assert json.dumps(result.to_dict()["cycles"]) == json.dumps(document["cycles"])
    depot = result.routes[0]
    assert depot.name == "depot-run" and depot.to_dict() == document["routes"][0]
    assert depot.time_lost_s == depot.time_s - depot.time_at_targets_s
    assert [getattr(depot, name) for name, *_ in binding.route_figure_table()] == \
        [document["routes"][0][name] for name, *_ in binding.route_figure_table()]
    km = depot.kilometres
    assert list(km.columns) == [name for name, *_ in binding.route_kilometre_table()] and len(km) == 26
    assert km["fuel_l"].sum() == pytest.approx(result.cycles["depot-run"].fuel_l, rel=1e-9)
    frame = result.to_frame()
    assert list(frame["name"]) == ["depot-run", "short"]  # a route is a cycle entry named after it
    assert list(result.trace.groupby("cycle", sort=False).size().index) == ["depot-run", "short"]

    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        again = pickle.loads(pickle.dumps(result, protocol))
        assert again.routes == result.routes and again.to_dict() == result.to_dict()
        pandas.testing.assert_frame_equal(again.routes[0].kilometres, km, check_exact=True)
        route = binding.Route.read(short)
        assert pickle.loads(pickle.dumps(route, protocol)) == route == copy.deepcopy(route)
    restore, (name, state) = result.__reduce__()
    for bad in (dict(state, version=2), {k: v for k, v in state.items() if k != "routes"},
                dict(state, routes=["depot-run"])):
        with pytest.raises(ValueError):
            restore(name, bad)
    restore, (name, state) = binding.Route.read(short).__reduce__()
    for bad in (dict(state, distance_m=[0.0, 5.0, 4.0, 6.0, 7.0]), dict(state, version=0),
                dict(state, elevation_m=None), dict(state, stop_s=[0.5] * 5)):
        with pytest.raises(ValueError):
            restore(name, bad)
    restore, (name, state) = depot.__reduce__()
    with pytest.raises(ValueError, match="differ in length"):
        restore(name, dict(state, kilometres={**state["kilometres"], "fuel_l": [1.0]}))

    with pytest.raises(ValueError, match="cycles or routes, not both"):
        binding.run(vehicle, cycles=["hd-udds"], routes=[short])
    with pytest.raises(ValueError, match="two routes are named 'short'"):
        binding.run(vehicle, routes=[short, short])
    with pytest.raises(TypeError):
        binding.run(vehicle, routes=[3])
