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
    for cycle in document["cycles"]:
        figures = result.cycles[cycle["name"]]
        for name, value in cycle.items():
            if name != "metrics":
                assert getattr(figures, name) == value
        assert figures.metrics.to_dict() == cycle["metrics"]
    assert list(result.cycles) == ["URBAN", "HIGHWAY", "MID-TOWN"]
    assert (result.urban, result.highway, result.midtown) == tuple(result.cycles.values())
    assert result.average_fuel_economy_km_per_l == document["average_fuel_economy_km_per_l"]
    assert result.vehicle.Nrate == document["vehicle"]["Nrate"]
    assert [f.sha256 for f in result.inputs] == [f["sha256"] for f in vehicle.files]
    assert binding.run(vehicle).trace is None


def test_vehicle_values_are_editable_and_plot_tables_are_copies(binding):
    vehicle = binding.load_vehicle(TRACTOR)
    assert (vehicle.CategoryCode, vehicle.FinalRatio, vehicle.TraceFlag) == ("TT1", 2.64, 1)
    base = binding.run(vehicle).urban.fuel_economy_km_per_l
    vehicle.FinalRatio = 3.1
    assert binding.run(vehicle).urban.fuel_economy_km_per_l != base
    vehicle.FinalRatio = 2.64
    assert binding.run(vehicle).urban.fuel_economy_km_per_l == base
    with pytest.raises(TypeError):
        vehicle.TraceFlag = 1.5  # a whole-number value takes whole numbers only

    assert list(vehicle.full_load.columns) == ["speed_rpm", "torque_Nm"]
    assert list(vehicle.fuel_map.columns) == ["speed_rpm", "torque_Nm", "fuel_rate_l_per_h"]
    assert vehicle.full_load["speed_rpm"].is_monotonic_increasing
    frame = vehicle.full_load
    frame.loc[0, "torque_Nm"] = 0.0
    assert vehicle.full_load.loc[0, "torque_Nm"] != 0.0


def test_vehicle_and_result_survive_pickle(binding):
    vehicle = binding.load_vehicle(TRACTOR)
    vehicle.FinalRatio = 2.9
    vehicle.VehicleName = "tractor \udc8e\udc80"  # bytes that are not UTF-8, as a Shift_JIS name has
    vehicle.engine.Nidle = 610.0
    vehicle.transmission.MainRatios = [r * 1.01 for r in vehicle.transmission.MainRatios]

    restored = pickle.loads(pickle.dumps(vehicle))
    assert pickle.dumps(restored) == pickle.dumps(vehicle)
    assert (restored.FinalRatio, restored.VehicleName, restored.engine.Nidle) == (2.9, vehicle.VehicleName, 610.0)
    assert restored.transmission.MainRatios == vehicle.transmission.MainRatios
    pandas.testing.assert_frame_equal(restored.fuel_map, vehicle.fuel_map)
    assert restored.files == vehicle.files

    result = binding.run(vehicle, trace=True)
    again = pickle.loads(pickle.dumps(result))
    assert binding.run(restored, trace=True).to_dict() == result.to_dict() == again.to_dict()
    pandas.testing.assert_frame_equal(again.trace, result.trace, check_exact=True)

    edited = copy.deepcopy(vehicle)
    edited.Kf1 = 0.5
    assert vehicle.Kf1 == 1.0


def test_errors_carry_kind_and_file(binding, tmp_path):
    with pytest.raises(binding.Error) as missing:
        binding.load_vehicle(tmp_path / "absent.txt")
    assert missing.value.kind == "missing_file"
    assert missing.value.file == str(tmp_path / "absent.txt")
    assert str(missing.value) == "Cannot open spec-file : " + str(tmp_path / "absent.txt")
    restored = pickle.loads(pickle.dumps(missing.value))
    assert (type(restored), restored.kind, restored.file, str(restored)) == (
        binding.Error, "missing_file", missing.value.file, str(missing.value))

    folder = tmp_path / "tractor"
    shutil.copytree(TRACTOR.parent, folder)
    (folder / "fullload.txt").unlink()
    with pytest.raises(binding.Error) as curve:
        binding.load_vehicle(folder / "spec.txt")
    assert curve.value.kind == "missing_file" and curve.value.file.endswith("fullload.txt")

    vehicle = binding.load_vehicle(TRACTOR)
    vehicle.CategoryCode = "ZZ9"
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


def test_relative_names_come_from_base(binding, tmp_path):
    shutil.copy(TRACTOR, tmp_path / "spec.txt")  # its engine and curves stay in the example folder
    with pytest.raises(binding.Error):
        binding.load_vehicle(tmp_path / "spec.txt")
    moved = binding.load_vehicle(tmp_path / "spec.txt", base=TRACTOR.parent)
    assert [f["path"] for f in moved.files][1:] == [f["path"] for f in binding.load_vehicle(TRACTOR).files][1:]
