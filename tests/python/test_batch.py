"""hdfe.run_batch against hdfe --batch, value for value, and its rows of loaded vehicles."""

import io
import subprocess

import numpy
import pandas
import pytest

from conftest import ROOT, TRACTOR

EXAMPLES = ROOT / "examples"

# The four examples with overrides, a row whose engine file is missing, a value that cannot
# be read, a missing spec file, and ids that need quoting or keep their zeros.
MANIFEST = """\
id,spec,FinalRatio,TireRadius,Kf1,CategoryCode,EngineFile
007,tractor_TT1_325kW_AMT12/spec.txt,2.8,,,,
"truck, heavier",truck_T8_175kW_MT6/spec.txt,,0.45,0.98,T9,
bus,bus_BR4_220kW_AT6/spec.txt,,,,,
light,lighttruck_T3_130kW_MT6/spec.txt,4.1,0.36,,,
no-engine,lighttruck_T3_130kW_MT6/spec.txt,,,,,missing.txt
bad-ratio,tractor_TT1_325kW_AMT12/spec.txt,2.7x,,,,
no-spec,nowhere/spec.txt,,,,,
"""


@pytest.fixture(scope="module")
def batch(binding, hdfe_binary, tmp_path_factory):
    """The manifest (spec names made absolute) run by hdfe --batch and by run_batch."""
    rows = pandas.read_csv(io.StringIO(MANIFEST), dtype=str, keep_default_na=False)
    rows["spec"] = [str(EXAMPLES / spec) for spec in rows["spec"]]
    folder = tmp_path_factory.mktemp("batch")
    rows.to_csv(folder / "manifest.csv", index=False)
    summary = folder / "cli.csv"
    cli = subprocess.run([hdfe_binary, "--batch", str(folder / "manifest.csv"), "--jobs", "2",
                          "--summary-csv", str(summary)], capture_output=True)
    assert cli.returncode == 1, cli.stderr  # some rows fail
    return rows, summary, binding.run_batch(rows, jobs=2)


def test_run_batch_equals_the_programs_summary(binding, batch):
    rows, summary, frame = batch
    pandas.testing.assert_frame_equal(frame, binding.read_summary(summary), check_exact=True)
    assert list(frame.columns) == binding.summary_columns(["FinalRatio", "TireRadius", "Kf1", "CategoryCode",
                                                           "EngineFile"])
    assert list(frame["status"]) == ["ok"] * 4 + ["error"] * 3
    assert list(frame["id"]) == list(rows["id"])
    assert frame.loc[4, "message"].startswith("Cannot open engine file")
    assert frame.loc[4:, "urban_km_per_l"].isna().all() and frame.loc[4:, "urban_seconds_below_target"].isna().all()

    written = summary.with_name("python.csv")
    binding.write_summary_csv(frame, written)
    assert written.read_bytes() == summary.read_bytes()


def test_each_row_equals_a_run_of_the_edited_vehicle(binding, batch):
    _, _, frame = batch
    tractor = binding.load_vehicle(TRACTOR)
    tractor.final_ratio = 2.8
    truck = binding.load_vehicle(EXAMPLES / "truck_T8_175kW_MT6/spec.txt")
    truck["TireRadius"], truck["Kf1"], truck["CategoryCode"] = 0.45, 0.98, "T9"
    for position, vehicle in ((0, tractor), (1, truck)):
        result = binding.run(vehicle)
        row = frame.loc[position]
        assert row["category"] == vehicle.category_code
        assert row["urban_km_per_l"] == result.urban.fuel_economy_km_per_l
        assert row["average_km_per_l"] == result.average_fuel_economy_km_per_l
        assert row["highway_fuel_l"] == result.highway.fuel_l
        assert row["urban_seconds_at_full_load"] == result.urban.metrics.seconds_at_full_load


def test_rows_may_carry_loaded_vehicles(binding, batch):
    rows, _, frame = batch
    vehicles = {spec: binding.load_vehicle(spec) for spec in rows["spec"][:5]}
    loaded = rows[:5].assign(vehicle=[vehicles[spec] for spec in rows["spec"][:5]], EngineFile="")
    got = binding.run_batch(loaded, jobs=2)
    expected = binding._type_overrides(frame[:4].assign(EngineFile=""))  # no "2.7x" among these rows
    pandas.testing.assert_frame_equal(got[:4], expected, check_exact=True)
    assert got.loc[4, "status"] == "ok"  # its engine came with the vehicle

    # A vehicle's files are read: naming another one cannot be honoured. Bad rows raise nothing.
    bad = binding.run_batch(pandas.concat([loaded[:1].assign(EngineFile="other.txt"),
                                           loaded[:1].assign(CategoryCode="ZZ9"),
                                           loaded[:1].assign(FinalRatio="2.7x")], ignore_index=True))
    assert list(bad["status"]) == ["error"] * 3
    assert "EngineFile" in bad.loc[0, "message"] and "2.7x" in bad.loc[2, "message"]


def test_vehicle_rows_on_many_threads_equal_one_thread(binding):
    vehicles = [binding.load_vehicle(TRACTOR), binding.load_vehicle(EXAMPLES / "bus_BR4_220kW_AT6/spec.txt")]
    rows = pandas.DataFrame({"vehicle": [vehicles[k % 2] for k in range(12)],
                             "FinalRatio": [f"{2.5 + k / 20:.2f}" for k in range(12)]})
    pandas.testing.assert_frame_equal(binding.run_batch(rows, jobs=4), binding.run_batch(rows, jobs=1),
                                      check_exact=True)


def test_cells_may_be_numbers_and_ids_default_to_row_numbers(binding):
    numbers = binding.run_batch(pandas.DataFrame({"spec": str(TRACTOR), "FinalRatio": [2.5, 3.0, numpy.nan],
                                                  "TraceFlag": [0, 1, 0]}))
    texts = binding.run_batch(pandas.DataFrame({"spec": str(TRACTOR), "FinalRatio": ["2.5", "3", ""],
                                                "TraceFlag": ["0", "1", "0"]}))
    pandas.testing.assert_frame_equal(numbers, texts, check_exact=True)
    assert list(numbers["id"]) == ["1", "2", "3"]
    # Override columns come back typed by the value's kind: numbers as numbers.
    assert numbers["FinalRatio"].dtype == "float64" and numbers["TraceFlag"].dtype == "Int64"
    assert numbers["FinalRatio"].tolist()[:2] == [2.5, 3.0] and numpy.isnan(numbers.loc[2, "FinalRatio"])
    assert numbers["TraceFlag"].tolist() == [0, 1, 0]
    untyped = binding.run_batch(pandas.DataFrame({"spec": str(TRACTOR), "FinalRatio": ["2.5", "2.5x"]}))
    assert untyped["FinalRatio"].tolist() == ["2.5", "2.5x"]  # a cell that is no number keeps the texts
    relative = binding.run_batch(pandas.DataFrame({"spec": ["tractor_TT1_325kW_AMT12/spec.txt"],
                                                   "FinalRatio": ["2.5"]}), base=EXAMPLES)
    assert relative.loc[0, "urban_km_per_l"] == numbers.loc[0, "urban_km_per_l"]


def test_manifest_mistakes_are_refused_before_running(binding):
    with pytest.raises(ValueError, match=r"'FinalRation': did you mean FinalRatio\?"):
        binding.run_batch(pandas.DataFrame({"spec": [str(TRACTOR)], "FinalRation": ["2.5"]}))
    with pytest.raises(ValueError, match="spec"):
        binding.run_batch(pandas.DataFrame({"FinalRatio": ["2.5"]}))
    with pytest.raises(TypeError, match="Vehicle"):
        binding.run_batch(pandas.DataFrame({"vehicle": [str(TRACTOR)]}))


def test_an_empty_manifest_gives_the_programs_header(binding, hdfe_binary, tmp_path):
    (tmp_path / "empty.csv").write_text("spec,FinalRatio\n")
    subprocess.run([hdfe_binary, "--batch", str(tmp_path / "empty.csv"), "--summary-csv", str(tmp_path / "cli.csv")],
                   check=True)
    summary = binding.run_batch(pandas.DataFrame({"spec": [], "FinalRatio": []}))
    binding.write_summary_csv(summary, tmp_path / "python.csv")
    assert (tmp_path / "python.csv").read_bytes() == (tmp_path / "cli.csv").read_bytes()
    with pytest.raises(ValueError):
        binding.write_summary_csv(summary.drop(columns=["message"]), tmp_path / "bad.csv")
    assert not (tmp_path / "bad.csv").exists()
    (tmp_path / "folder.csv").mkdir()
    with pytest.raises(binding.Error) as folder:
        binding.write_summary_csv(summary, tmp_path / "folder.csv")
    assert folder.value.kind == "cannot_write"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["cli.csv", "empty.csv", "folder.csv", "python.csv"]


def test_summary_goes_to_standard_output(binding, batch, capfdbinary):
    _, summary, frame = batch
    binding.write_summary_csv(frame, "-", chunk_rows=3)  # several chunks, one header
    assert capfdbinary.readouterr().out == summary.read_bytes()


def test_ctrl_c_stops_a_long_batch_within_a_second(binding):
    import signal
    import sys
    import time

    script = (f"import pandas, hdfe\nrows = pandas.DataFrame({{'spec': [{str(TRACTOR)!r}] * 6000}})\n"
              "print('running', flush=True)\nhdfe.run_batch(rows, jobs=2)\nprint('finished', flush=True)\n")
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    assert child.stdout.readline() == "running\n"
    time.sleep(0.5)
    child.send_signal(signal.SIGINT)
    sent = time.monotonic()
    out, err = child.communicate(timeout=60)
    assert time.monotonic() - sent < 1.5
    assert child.returncode == -signal.SIGINT and "KeyboardInterrupt" in err and "finished" not in out


def test_summary_text_is_utf8_safe_in_spreadsheets_and_read_back_whole(binding, hdfe_binary, tmp_path):
    """Ids that are not UTF-8, hold a NUL or look like formulas: the summary is valid UTF-8 that
    pandas and csv read, no text cell starts a formula, and read_summary gives run_batch's ids."""
    spec = str(EXAMPLES / "truck_T8_175kW_MT6" / "spec.txt").encode()
    ids = [b"caf\xe9", b"a\x00b", b"=1+2", b"-x", b"'@y", b"C:\\x41", "日本".encode()]
    manifest = tmp_path / "m.csv"
    manifest.write_bytes(b"id,spec,Kf1\n" + b"".join(i + b"," + spec + b",-0.01\n" for i in ids))
    summary = tmp_path / "s.csv"
    cli = subprocess.run([hdfe_binary, "--batch", str(manifest), "--summary-csv", str(summary)], capture_output=True)
    assert cli.returncode in (0, 1), cli.stderr
    import csv
    with open(summary, encoding="utf-8", newline="") as text:
        cells = list(csv.reader(text))
    assert [row[0] for row in cells[1:]] == ["caf\\xE9", "a\\x00b", "'=1+2", "'-x", "''@y", "C:\\\\x41", "日本"]
    assert {row[-1] for row in cells[1:]} == {"-0.01"}
    read = binding.read_summary(summary)
    assert list(read["id"]) == [i.decode("utf-8", "surrogateescape") for i in ids]
    rows = pandas.DataFrame({"id": list(read["id"]), "spec": [spec.decode()] * len(ids), "Kf1": ["-0.01"] * len(ids)})
    pandas.testing.assert_frame_equal(binding.run_batch(rows), read, check_exact=True)


def test_per_cycle_summary_filters_and_pivots_in_pandas(hdfe_binary, tmp_path):
    """A sweep over chosen cycles gives a row per batch row and cycle: pandas reads the table
    as it is, filters it by cycle and pivots a figure against the swept value and the cycle."""
    summary = tmp_path / "cycles.csv"
    cli = subprocess.run([hdfe_binary, "--batch", "--sweep", str(EXAMPLES / "truck_T8_175kW_MT6" / "spec.txt"),
                          "TestMass=9000:13000:2000", "--cycle", "hd-udds", "--cycle", "cbd-bus",
                          "--summary-csv", str(summary)], capture_output=True)
    assert cli.returncode == 0, cli.stderr
    frame = pandas.read_csv(summary)
    assert len(frame) == 6
    assert list(frame.columns[:7]) == ["id", "spec", "status", "message", "category", "cycle", "phase"]
    assert frame["status"].eq("ok").all()
    assert frame["transient_correction"].dtype == bool
    assert numpy.issubdtype(frame["energy_braking_kwh"].dtype, numpy.number)
    assert (frame.loc[frame["cycle"] == "hd-udds", "seconds"] == 1060).all()
    whole = frame[frame["phase"].isna()]
    table = whole.pivot(index="TestMass", columns="cycle", values="fuel_economy_km_per_l")
    assert list(table.columns) == ["cbd-bus", "hd-udds"]
    assert list(table.index) == [9000, 11000, 13000]
    assert table.notna().all().all()


def test_rows_over_cycles_give_the_programs_per_cycle_summary(binding, hdfe_binary, batch, tmp_path):
    rows, _, _ = batch
    climb = tmp_path / "climb.csv"
    climb.write_text("time_s,speed_km_per_h,grade_percent\n" + "".join(f"{k},{min(k, 45)},2\n" for k in range(300)))
    rows.to_csv(tmp_path / "manifest.csv", index=False)
    summary = tmp_path / "cli.csv"
    cli = subprocess.run([hdfe_binary, "--batch", str(tmp_path / "manifest.csv"), "--cycle", "hd-udds", "--cycle",
                          str(climb), "--summary-csv", str(summary)], capture_output=True)
    assert cli.returncode == 1, cli.stderr  # some rows fail
    frame = binding.run_batch(rows, jobs=2, cycles=["hd-udds", climb])
    pandas.testing.assert_frame_equal(frame, binding.read_summary(summary), check_exact=True)
    overrides = ["FinalRatio", "TireRadius", "Kf1", "CategoryCode", "EngineFile"]
    assert list(frame.columns) == binding.summary_columns(overrides, per_cycle=True)
    assert list(frame["cycle"]) == ["hd-udds", "climb"] * 4 + [""] * 3  # a row per cycle; one per failed row
    assert frame["transient_correction"].dtype == "boolean" and frame["seconds"].dtype == "Int64"
    assert frame.loc[8:, "fuel_l"].isna().all() and frame.loc[8:, "seconds"].isna().all()
    written = tmp_path / "python.csv"
    binding.write_summary_csv(frame, written)
    assert written.read_bytes() == summary.read_bytes()

    # A cycle column runs each row over its own; a cycle file is taken from base.
    by_row = binding.run_batch(rows.iloc[:2].assign(cycle=["hd-udds", "climb.csv"]), base=tmp_path)
    assert list(by_row["cycle"]) == ["hd-udds", "climb"]
    assert list(by_row["fuel_l"]) == [frame.loc[0, "fuel_l"], frame.loc[3, "fuel_l"]]
    with pytest.raises(ValueError, match="one way"):
        binding.run_batch(rows.assign(cycle="hd-udds"), cycles=["hd-udds"])
    with pytest.raises(TypeError):
        binding.run_batch(rows, cycles=[binding.Cycle("c", [0, 5, 0])])


def test_rows_along_a_route_give_the_programs_per_cycle_summary(binding, hdfe_binary, batch, tmp_path):
    rows, _, _ = batch
    route = ROOT / "examples" / "routes" / "depot-run.csv"
    (tmp_path / "hill.csv").write_text("distance_m,speed_km_per_h,grade_percent,stop_s\n0,60,3,5\n1500,40,-2,0\n"
                                       "3000,40,0,10\n")
    # A route column: each row its own route file, taken from the manifest's folder.
    by_row = rows.assign(route=[str(route), "hill.csv", "", str(route), "hill.csv", "hill.csv", "hill.csv"])
    by_row.to_csv(tmp_path / "manifest.csv", index=False)
    summary = tmp_path / "cli.csv"
    cli = subprocess.run([hdfe_binary, "--batch", str(tmp_path / "manifest.csv"), "--summary-csv", str(summary)],
                         capture_output=True)
    assert cli.returncode == 1, cli.stderr  # some rows fail
    frame = binding.run_batch(by_row, jobs=2, base=tmp_path)
    pandas.testing.assert_frame_equal(frame, binding.read_summary(summary), check_exact=True)
    assert list(frame["cycle"])[:3] == ["depot-run", "hill", "URBAN"]  # a row without one: the built-in cycles
    assert list(frame.loc[frame["id"] == "light", "cycle"]) == ["depot-run"]
    written = tmp_path / "python.csv"
    binding.write_summary_csv(frame, written)
    assert written.read_bytes() == summary.read_bytes()

    # route= drives every row along one route, as --route does.
    rows.to_csv(tmp_path / "plain.csv", index=False)
    cli = subprocess.run([hdfe_binary, "--batch", str(tmp_path / "plain.csv"), "--route", str(route),
                          "--summary-csv", str(summary)], capture_output=True)
    every = binding.run_batch(rows, jobs=2, route=route)
    pandas.testing.assert_frame_equal(every, binding.read_summary(summary), check_exact=True)
    assert list(every["cycle"]) == ["depot-run"] * 4 + [""] * 3
    vehicle = binding.load_vehicle(rows.loc[2, "spec"])
    assert every.loc[2, "fuel_l"] == binding.run(vehicle, routes=[route]).cycles["depot-run"].fuel_l

    with pytest.raises(ValueError, match="one way"):
        binding.run_batch(by_row, route=route)
    with pytest.raises(ValueError, match="one way"):
        binding.run_batch(rows, route=route, cycles=["hd-udds"])
    with pytest.raises(TypeError):
        binding.run_batch(rows, route=binding.Route.read(route))
    both = binding.run_batch(rows.iloc[:1].assign(route=[str(route)], cycle=["hd-udds"]))
    assert both.loc[0, "status"] == "error" and "not both" in both.loc[0, "message"]
