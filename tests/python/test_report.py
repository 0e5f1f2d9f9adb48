"""HTML reports: figures, tables and behaviour in a real (headless) browser."""

import copy
import importlib
import io
import time
from types import SimpleNamespace

import numpy as np
import pytest
from PIL import Image

import hdfe
from conftest import ROOT, TRACTOR
from hdfe.__main__ import main
from report_data import sweep_summary

reports = importlib.import_module("hdfe.reporting")
HOSTILE = "<script>alert(1)</script> & $x$"


def field_value(result, field):
    """The dict's value behind a cell's data-field, e.g. 'URBAN.metrics.seconds_at_full_load'."""
    head, *rest = field.split(".")
    if head == "average_fuel_economy_km_per_l":
        return result[head]
    if head == "vehicle":
        return result["vehicle"][rest[0]]
    cycle = next(c for c in result["cycles"] if c["name"] == head)
    return cycle["metrics"][rest[1]] if rest[0] == "metrics" else cycle[rest[0]]


def assert_shows(text, value):
    """The cell shows the value, rounded to the digits it prints."""
    if isinstance(value, str):
        assert text == value
    elif value is None:
        assert text == "—"
    else:
        decimals = len(text.split(".")[1]) if "." in text else 0
        assert abs(float(text) - value) <= 0.5 * 10 ** -decimals + 1e-9, (text, value)


def assert_page_sound(browser, path):
    """Loads alone, logs no error, has unique ids, and its full screenshot is not blank."""
    url = browser.open(path)
    assert browser.requested_urls() == [url]
    assert browser.console_errors() == []
    assert browser.evaluate("(() => { const ids = [...document.querySelectorAll('[id]')]"
                            ".map(e => e.id); return ids.length === new Set(ids).size; })()")
    png = Image.open(io.BytesIO(browser.screenshot())).convert("RGB")
    assert png.height > 2000
    assert len(png.getcolors(1 << 24)) > 50  # text, lines and fills, not one flat colour


def test_units_of_specific_consumption_and_height():
    # 1000 rpm and 1000 N·m are 104.72 kW; 25 l/h of diesel is 20.8 kg/h.
    sfc = reports.specific_fuel_consumption([1000, 1000, 1000], [1000, 0, -100], [25, 3, 0])
    assert sfc[0] == pytest.approx(25 * 832 / 104.7198, rel=1e-5)
    assert np.isnan(sfc[1:]).all()
    # 1 km at 2 % up then 0.5 km at 4 % down: +20 m, then back to 0 m.
    height = reports.height_profile([0, 0.5, 1.0, 1.25, 1.5], [2, 2, 2, -4, -4])
    assert height == pytest.approx([0, 10, 20, 10, 0])


def test_vehicle_report_in_browser(run_data, browser, tmp_path):
    result = copy.deepcopy(run_data.result)
    result["vehicle"]["name"] = HOSTILE
    path = tmp_path / "report.html"
    # CPU time, not wall time: the build is single-threaded, and a busy machine
    # stretches the wall clock without making the work any larger.
    start = time.process_time()
    reports.write_report(result, run_data.trace, run_data.full_load, run_data.motoring,
                         run_data.fuel_map, path)
    assert time.process_time() - start < 3.0
    assert_page_sound(browser, path)

    captions = browser.evaluate("[...document.querySelectorAll('figcaption')].map(c => c.textContent)")
    assert captions == [f"Figure {i}. {t}" for i, t in enumerate(reports.FIGURE_TITLES, 1)]
    svg_text = browser.evaluate("[...document.querySelectorAll('figure svg text')]"
                                ".map(t => t.textContent).join('|')")
    for text in reports.FIGURE_TITLES + ("Speed (km/h)", "Time (s)", "Gear", "Engine speed (rpm)",
                                         "Engine torque (N·m)", "(g/kWh)", "Fuel rate (l/h)",
                                         "Cumulative fuel (l)", "Share of cycle time (%)",
                                         "Height (m)", "Gradient (%)", "Distance (km)"):
        assert text in svg_text

    cells = dict(browser.evaluate("[...document.querySelectorAll('[data-field]')]"
                                  ".map(e => [e.dataset.field, e.textContent])"))
    for field, text in cells.items():
        assert_shows(text, field_value(result, field))
    wanted = {"average_fuel_economy_km_per_l", "vehicle.category", "vehicle.Wtest"}
    for cycle in result["cycles"]:
        name = cycle["name"]
        wanted |= {f"{name}.{k}" for k in ("fuel_economy_km_per_l", "average_speed_km_per_h",
                                          "fuel_l", "fuel_economy_before_transient_km_per_l")}
        wanted |= {f"{name}.metrics.{k}" for k in cycle["metrics"]}
    assert wanted <= cells.keys()

    counts = dict(browser.evaluate("[...document.querySelectorAll('[data-check]')]"
                                   ".map(e => [e.dataset.check, Number(e.textContent)])"))
    expected = {}
    for check in result["run_checks"]:
        key = f"{check['cycle']}.{check['kind']}"
        expected[key] = expected.get(key, 0) + 1
    assert counts == expected

    # The vehicle's name is shown as text, never run as markup.
    assert browser.evaluate("document.scripts.length") == 0
    assert HOSTILE in browser.evaluate("document.querySelector('h1').textContent")


def test_batch_report_of_a_sweep_in_browser(browser, tmp_path, capsys):
    summary = sweep_summary(200)
    csv, path = tmp_path / "summary.csv", tmp_path / "fleet.html"
    summary.to_csv(csv, index=False)
    assert main(["report", "--batch", str(csv), "-o", str(path)]) == 0
    assert_page_sound(browser, path)

    captions = browser.evaluate("[...document.querySelectorAll('figcaption')].map(c => c.textContent)")
    assert captions == ["Figure 1. Urban against highway fuel economy",
                        "Figure 2. Fuel economy against FinalRatio"]
    table = browser.evaluate("[...document.querySelectorAll('#summary-table tbody tr')]"
                             ".map(r => [...r.cells].map(c => c.textContent))")
    heads = list(summary.columns)
    assert len(table) == 200 and [r[0] for r in table] == list(summary["id"])
    for row, (_, expected) in zip(table, summary.iterrows()):
        if expected["status"] == "ok":
            for column in ("average_km_per_l", "highway_speed_km_per_h", "FinalRatio"):
                assert_shows(row[heads.index(column)], expected[column])
        else:
            assert row[heads.index("message")] == expected["message"]  # '<missing>' kept as text
            assert row[heads.index("average_km_per_l")] == ""

    # Sorting is numeric (120 after 13), and the failed rows stay last in both directions.
    column = heads.index("highway_seconds_below_target")
    for descending in (False, True):
        browser.evaluate(f"document.querySelectorAll('#summary-table th')[{column}].click()")
        shown = browser.evaluate(f"[...document.querySelectorAll('#summary-table tbody tr')]"
                                 f".map(r => r.cells[{column}].dataset.sort)")
        values = [float(v) for v in shown if v]
        assert values == sorted(values, reverse=descending)
        assert shown[-2:] == ["", ""]


def test_sweep_parameter_is_the_one_varying_override():
    frame = sweep_summary(10, failed=())
    assert reports.sweep_parameter(frame) == "FinalRatio"          # metrics are not parameters
    assert reports.sweep_parameter(frame.assign(TireRadius=0.49)) == "FinalRatio"
    two = frame.assign(TireRadius=np.linspace(0.47, 0.51, 10))
    assert reports.sweep_parameter(two) is None
    assert reports.sweep_parameter(two, parameters=["TireRadius"]) == "TireRadius"


def test_report_command_and_entry_points(run_data, tmp_path, monkeypatch, capsys):
    vehicle = SimpleNamespace(full_load=run_data.full_load, motoring=run_data.motoring,
                              fuel_map=run_data.fuel_map)
    result = SimpleNamespace(to_dict=lambda: run_data.result, trace=run_data.trace)
    runs = []
    monkeypatch.setattr(hdfe, "load_vehicle", lambda path: vehicle, raising=False)
    monkeypatch.setattr(hdfe, "run", lambda v, trace: runs.append(trace) or result, raising=False)
    out = tmp_path / "r.html"
    assert main(["report", "spec.txt", "-o", str(out)]) == 0
    assert runs == [True] and "Figure 5." in out.read_text(encoding="utf-8")

    with pytest.raises(TypeError):
        reports.report(result, out)                         # no vehicle to draw curves from
    with pytest.raises(ValueError):
        reports.report(SimpleNamespace(to_dict=dict, trace=None), out, vehicle=vehicle)
    for argv in (["report"], ["report", "spec.txt", "--batch", "s.csv"], ["frobnicate"]):
        with pytest.raises(SystemExit) as stop:
            main(argv)
        assert stop.value.code == 2
    assert main(["report", "--batch", str(tmp_path / "missing.csv")]) == 1
    assert "missing.csv" in capsys.readouterr().err


def test_package_report_from_a_vehicle_or_its_result(tmp_path):
    if not hasattr(hdfe, "run"):
        pytest.fail("the simulation core is not built: run make python and put build/python on PYTHONPATH")
    vehicle = hdfe.load_vehicle(str(ROOT / "examples/truck_T8_175kW_MT6/spec.txt"))
    by_vehicle = hdfe.report(vehicle, tmp_path / "v.html")
    by_result = hdfe.report(hdfe.run(vehicle, trace=True), tmp_path / "r.html")
    page = (tmp_path / "r.html").read_text(encoding="utf-8")
    assert "Figure 5." in page and (tmp_path / "v.html").stat().st_size > 100_000
    assert by_vehicle == tmp_path / "v.html" and by_result == tmp_path / "r.html"
    with pytest.raises(ValueError):
        hdfe.report(hdfe.run(vehicle), tmp_path / "x.html")  # no trace kept


def test_report_outputs_that_are_inputs_or_no_files_are_refused(binding, tmp_path, monkeypatch, capsys):
    import os
    import shutil
    import sys

    shutil.copytree(TRACTOR.parent, tmp_path / "t")
    spec, engine = tmp_path / "t" / "spec.txt", tmp_path / "t" / "engine.txt"
    inputs = {p: p.read_bytes() for p in (spec, engine)}
    os.symlink(engine, tmp_path / "engine-link.html")
    os.mkfifo(tmp_path / "pipe.html")
    for output in (spec, tmp_path / "t" / ".." / "t" / "spec.txt", tmp_path / "engine-link.html", tmp_path / "pipe.html"):
        assert main(["report", str(spec), "-o", str(output)]) == 1
        assert "Cannot write report" in capsys.readouterr().err
    csv = tmp_path / "summary.csv"
    sweep_summary(20).to_csv(csv, index=False)
    inputs[csv] = csv.read_bytes()
    assert main(["report", "--batch", str(csv), "-o", str(csv)]) == 1
    assert all(p.read_bytes() == text for p, text in inputs.items())

    # A link to a file that is no input is replaced by the page, atomically: the file it
    # pointed at is left as it was. The parameters name the sweep's column.
    (tmp_path / "old.html").write_text("old")
    os.symlink(tmp_path / "old.html", tmp_path / "fleet.html")
    hdfe.write_batch_report(csv, tmp_path / "fleet.html", parameters=["FinalRatio"])
    assert (tmp_path / "old.html").read_text() == "old" and not (tmp_path / "fleet.html").is_symlink()
    assert "Fuel economy against FinalRatio" in (tmp_path / "fleet.html").read_text(encoding="utf-8")

    monkeypatch.setitem(sys.modules, "matplotlib", None)
    assert main(["report", "--batch", str(csv), "-o", str(tmp_path / "no-plots.html")]) == 1
    err = capsys.readouterr().err
    monkeypatch.setitem(sys.modules, "numpy", None)  # as under an interpreter without Debian's packages
    monkeypatch.delitem(sys.modules, "hdfe.reporting")
    assert main(["report", "--batch", str(csv), "-o", str(tmp_path / "no-plots.html")]) == 1
    for missing, message in zip(("matplotlib", "numpy"), (err, capsys.readouterr().err)):
        assert missing in message and "/usr/bin/python3" in message
    assert not (tmp_path / "no-plots.html").exists()
