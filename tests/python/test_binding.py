"""hdfe.load_vehicle and hdfe.run against the command line, pickling, and errors."""

import copy
import json
import pickle
import shutil
import subprocess

import pandas
import pytest

from conftest import EXAMPLES, TRACTOR


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
              binding.Cycle("c", [0.0, 5.0, 0.0])]
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
