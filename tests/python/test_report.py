"""HTML reports: figures, tables and behaviour in a real (headless) browser."""

import copy
import datetime
import importlib
import io
import os
import re
import time
from types import SimpleNamespace

import numpy as np
import pandas
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
    return cycle[rest[0]][rest[1]] if rest[0] in ("metrics", "energy") else cycle.get(rest[0])


def assert_shows(text, value):
    """The cell shows the value, rounded to the digits it prints."""
    if isinstance(value, bool):
        assert text == ("yes" if value else "no")
    elif isinstance(value, str):
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
    assert time.process_time() - start < 3.5
    assert_page_sound(browser, path)

    # Every figure once, its title in its caption only (not again inside its drawing).
    captions = browser.evaluate("[...document.querySelectorAll('figcaption')].map(c => c.textContent)")
    assert captions == [f"Figure {i}. {t}" for i, t in enumerate(reports.FIGURE_TITLES, 1)]
    svg_text = browser.evaluate("[...document.querySelectorAll('figure svg text')]"
                                ".map(t => t.textContent).join('|')")
    for title in reports.FIGURE_TITLES:
        assert title not in svg_text
    for text in ("Speed (km/h)", "Time (s)", "Gear", "Engine speed (rpm)", "Engine torque (N·m)", "(g/kWh)",
                 "Fuel rate (l/h)", f"{reports.FUEL_MEAN_SECONDS}-s moving mean", "Cumulative fuel (l)",
                 "Share of cycle time (%)", "Height (m)", "Gradient (%)", "Distance (km)"):
        assert text in svg_text

    cells = dict(browser.evaluate("[...document.querySelectorAll('[data-field]')]"
                                  ".map(e => [e.dataset.field, e.textContent])"))
    for field, text in cells.items():
        assert_shows(text, field_value(result, field))
    # Every figure, metric and energy term the library's tables list, for every cycle.
    wanted = {"average_fuel_economy_km_per_l", "vehicle.category", "vehicle.Wtest"}
    for cycle in result["cycles"]:
        name = cycle["name"]
        wanted |= {f"{name}.{k}" for k, *_ in hdfe._core.cycle_figure_table()}
        wanted |= {f"{name}.metrics.{k}" for k, *_ in hdfe._core.cycle_metric_table()}
        if "energy" in cycle:
            wanted |= {f"{name}.energy.{k}" for k, *_ in hdfe._core.energy_audit_table()}
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
    # The date it was made, and the input files named from the spec's folder: no local paths.
    made = browser.evaluate("document.querySelector('#made time').getAttribute('datetime')")
    assert abs(datetime.datetime.fromisoformat(made) - datetime.datetime.now().astimezone()).total_seconds() < 120
    page = browser.evaluate("document.body.textContent")
    spec_path = next(i["path"] for i in result["inputs"] if i["role"] == "spec")
    assert os.path.dirname(spec_path) not in page
    files = browser.evaluate("[...document.querySelectorAll('#inputs tbody tr')].map(r => r.cells[1].textContent)")
    assert files[0] == os.path.basename(spec_path) and not any(f.startswith("/") for f in files)


def test_figures_keep_to_the_data(run_data):
    from matplotlib.figure import Figure

    # The engine's own torque lies on or above the motoring curve; the axis keeps to the map's
    # range, whatever torque the brakes took.
    floor = np.interp(run_data.trace["engine_speed_rpm"], run_data.motoring["speed_rpm"],
                      run_data.motoring["torque_Nm"])
    if "engine_own_torque_Nm" in run_data.trace:  # the run's own split of the torque
        running = run_data.trace["engine_speed_rpm"] > 0
        assert (run_data.trace["engine_own_torque_Nm"] - floor)[running].min() > -1e-9
        assert (reports._own_torque(run_data.trace, run_data.motoring) == run_data.trace["engine_own_torque_Nm"]).all()
    braking = run_data.trace.drop(columns=["engine_own_torque_Nm", "braking_torque_Nm"], errors="ignore") \
        .assign(engine_torque_Nm=-4000.0)
    assert (reports._own_torque(braking, run_data.motoring) == floor).all()  # without it: held at the curve
    fig = reports._figure_operating_points(Figure, braking, run_data.full_load, run_data.motoring, run_data.fuel_map)
    low, high = fig.axes[0].get_ylim()
    span = run_data.full_load["torque_Nm"].max() - min(run_data.motoring["torque_Nm"].min(), 0)
    assert run_data.motoring["torque_Nm"].min() - 0.1 * span < low < run_data.motoring["torque_Nm"].min()
    assert high < 1.1 * max(run_data.full_load["torque_Nm"].max(), run_data.fuel_map["torque_Nm"].max())
    # Contour labels on every other level only, none below the map's no-load crowd.
    levels = reports._sfc_levels(reports._sfc_grid(run_data.full_load, run_data.fuel_map)[2])
    assert levels[-1] <= levels[0] * reports.SFC_CONTOUR_SPAN + 1e-9

    # A steady cruise is drawn around its speed, a cycle that stops from 0.
    assert reports.speed_limits(np.full(100, 80.0)) == (78.0, 82.0)
    low, high = reports.speed_limits([80.0, 80.0, 77.5], [80.0, 80.0, 80.0])
    assert 70 < low < 77.5 and 80 < high < 83
    assert reports.speed_limits([0.0, 30.0, 60.0])[0] == 0.0
    assert reports.speed_limits([5.0, 80.0])[0] == 0.0
    # The moving mean smooths a rate that flips each second and keeps a steady one.
    flips = np.tile([0.0, 50.0], 200)
    mean = reports.moving_mean(flips, 30)
    assert np.abs(mean[20:-20] - 25.0).max() < 1.0 and reports.moving_mean(np.full(10, 7.0), 30).tolist() == [7.0] * 10


def test_energy_bars_balance_sources_and_sinks():
    terms = [name for name, *_ in hdfe._core.energy_audit_table()]
    energy = dict.fromkeys(terms, 0.0)
    energy.update(engine_positive_kwh=20.0, descending_kwh=2.0, kinetic_released_kwh=8.0, engine_motoring_kwh=2.0,
                  air_drag_kwh=6.0, rolling_resistance_kwh=9.0, climbing_kwh=2.0, kinetic_given_kwh=8.0,
                  driveline_loss_kwh=1.0, braking_kwh=2.5)
    cycles = []
    for residual in (0.5, -1.5):
        balanced = dict(energy, residual_kwh=residual, braking_kwh=2.0 - residual)
        cycles.append({"name": f"r{residual}", "phase": "", "distance_km": 4.0, "energy": balanced})
    cycles.append({"name": "c/p", "phase": "p", "distance_km": 2.0, "energy": energy})  # phases: not drawn
    bars = reports._energy_bars(cycles)
    assert [name for name, *_ in bars] == ["r0.5", "r-1.5"]
    for (name, sources, sinks), residual in zip(bars, (0.5, -1.5)):
        assert sum(v for _, v in sources) == pytest.approx(sum(v for _, v in sinks)) == pytest.approx((30.0 + max(-residual, 0.0)) * 25)
        side = sinks if residual >= 0 else sources
        assert ("residual_kwh", abs(residual) * 25) in side
        assert {t for t, _ in sources} - {"residual_kwh"} == set(reports.ENERGY_SOURCES)


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
    # The swept column first after the id; the others in the summary's order.
    heads = browser.evaluate("[...document.querySelectorAll('#summary-table th')].map(c => c.textContent)")
    assert heads == ["id", "FinalRatio"] + [c for c in summary.columns if c not in ("id", "FinalRatio")]
    assert len(table) == 200 and [r[0] for r in table] == list(summary["id"])
    # The best row by its id, spec and swept value.
    best = summary.loc[summary["average_km_per_l"].idxmax()]
    assert browser.evaluate("document.querySelector('#best').textContent") == (
        f"Best AVERAGE economy: {best['average_km_per_l']:.4f} km/l, row {best['id']} "
        f"({best['spec']}, FinalRatio = {best['FinalRatio']:.10g}).")
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
    assert reports.sweep_parameters(two) == ["FinalRatio", "TireRadius"]
    assert reports.sweep_parameter(two, parameters=["TireRadius"]) == "TireRadius"
    # A fleet of categories is no sweep of their names.
    fleet = frame.assign(CategoryCode=["TT1", "T8"] * 5, VehicleName=[f"v{k}" for k in range(10)])
    assert reports.sweep_parameters(fleet) == ["FinalRatio"]
    assert reports.sweep_parameter(fleet, parameters=["CategoryCode"]) == "CategoryCode"


def test_batch_reports_of_two_parameters_and_of_a_fleet(tmp_path):
    frame = sweep_summary(12, failed=(5,)).assign(TireRadius=[0.47, 0.49, 0.51] * 4)
    path = reports.write_batch_report(frame, tmp_path / "two.html")
    page = path.read_text(encoding="utf-8")
    assert "Figure 2. AVERAGE economy over FinalRatio and TireRadius" in page
    assert page.index("<th class=\"sort swept\" data-type=\"number\">FinalRatio") < page.index(">TireRadius</th>") \
        < page.index(">spec</th>")

    # Categories are ranked apart; a vehicle alone in its category is not ranked at all.
    fleet = frame.assign(category=["TT1", "T8", "T8"] * 4, TireRadius=0.49)
    page = reports.write_batch_report(fleet, tmp_path / "fleet.html").read_text(encoding="utf-8")
    for category in ("TT1", "T8"):
        rows = fleet[(fleet["category"] == category) & (fleet["status"] == "ok")]
        best = rows.loc[rows["average_km_per_l"].idxmax()]
        assert f"<li>{category}: <b>{best['average_km_per_l']:.4f} km/l</b>, row <b>{best['id']}</b>" in page
    assert "Best AVERAGE economy of each category" in page
    alone = fleet.iloc[:2].assign(category=["TT1", "T8"])
    assert "No ranking" in reports.write_batch_report(alone, tmp_path / "alone.html").read_text(encoding="utf-8")

    # A per-cycle summary: the economy of each cycle against the swept value, ranked per cycle.
    rows = pandas.DataFrame({"spec": str(TRACTOR), "FinalRatio": [2.4, 2.6, 2.8]})
    summary = hdfe.run_batch(rows, cycles=["hd-udds", "cbd-bus"])
    page = reports.write_batch_report(summary, tmp_path / "cycles.html").read_text(encoding="utf-8")
    assert "Figure 1. Fuel economy against FinalRatio" in page and "Urban against highway" not in page
    assert "Best fuel economy of each cycle" in page and "<li>cbd-bus: <b>" in page
    heads = re.findall(r'<th class="sort[^"]*" data-type="\w+">([^<]+)</th>', page)
    assert heads[:4] == ["id", "FinalRatio", "cycle", "phase"]


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

    # Any cycles: a card and a column each, the road figure for those not level.
    climb = hdfe.Cycle("climb", [0.0] + [40.0] * 299 + [0.0], grade_percent=[3.0] * 301)
    udds = ROOT / "data" / "cycles" / "hd-udds.csv"
    page = hdfe.report(vehicle, tmp_path / "c.html", cycles=[climb, udds]).read_text(encoding="utf-8")
    for field in ("climb.fuel_economy_km_per_l", "hd-udds.co2_g_per_km", "hd-udds.metrics.seconds_at_full_load",
                  "climb.energy.climbing_kwh"):
        assert f'data-field="{field}"' in page
    assert "Figure 5. Road: gradient, height profile and speed" in page and "Figure 6. Energy audit" in page
    assert "AVERAGE" not in page
    page = hdfe.report(hdfe.run(vehicle, trace=True, cycles=[udds]), tmp_path / "l.html").read_text(encoding="utf-8")
    assert "Figure 5. Energy audit" in page and "Road:" not in page
    with pytest.raises(TypeError):
        hdfe.report(hdfe.run(vehicle, trace=True), tmp_path / "x.html", cycles=[udds])
    # A cycle file run is an input: the page may not replace it.
    route = tmp_path / "route.csv"
    route.write_bytes(udds.read_bytes())
    for cycles in ([route], str(route), [hdfe.Cycle("r", [0, 5, 0]), str(route)]):
        with pytest.raises(hdfe.Error, match="input file"):
            hdfe.report(vehicle, route, cycles=cycles)
    assert route.read_bytes() == udds.read_bytes()


def test_report_command_runs_given_cycles_and_values(binding, tmp_path, capsys):
    udds = ROOT / "data" / "cycles" / "hd-udds.csv"
    out = tmp_path / "r.html"
    assert main(["report", str(TRACTOR), "--cycle", str(udds), "--set", "TestMass=31500", "--set", "CdA=5.5",
                 "-o", str(out)]) == 0
    page = out.read_text(encoding="utf-8")
    assert 'data-field="hd-udds.fuel_economy_km_per_l"' in page
    assert "Engineering values: TestMass = 31500 kg; CdA = 5.5 m^2." in page
    for argv in (["report", str(TRACTOR), "--set", "TestMass"], ["report", str(TRACTOR), "--set", "Mass=3"],
                 ["report", str(TRACTOR), "--set", "StopDelay=1.5"], ["report", "--batch", "s.csv", "--cycle", "x"]):
        with pytest.raises(SystemExit) as stop:
            main(argv)
        assert stop.value.code == 2


def test_report_of_a_route_run_has_the_route_section(binding, tmp_path, capsys):
    route = ROOT / "examples" / "routes" / "depot-run.csv"
    out = tmp_path / "route.html"
    assert main(["report", str(TRACTOR), "--route", str(route), "-o", str(out)]) == 0
    page = out.read_text(encoding="utf-8")
    result = binding.run(binding.load_vehicle(TRACTOR), routes=[route], trace=True)
    figures = result.routes[0]
    section = page[page.index('<section id="routes">'):]
    section = section[:section.index("</section>")]
    assert section.count("<svg") == 1 and "Route depot-run: elevation, speed, gear and fuel" in section
    for name, *_ in binding.route_figure_table():
        cell = re.search(rf'data-field="routes.depot-run.{name}">([^<]*)<', section)
        assert cell and float(cell.group(1).replace(",", "")) == pytest.approx(getattr(figures, name), abs=0.0051)
    # The route's cycle entry has the figures and the energy audit of any cycle.
    assert 'data-field="depot-run.fuel_economy_km_per_l"' in page and 'data-field="depot-run.energy.braking_kwh"' in page
    # A GPX track with its limit; --route-speed without a route, or with cycles, is a usage error.
    gpx = tmp_path / "hill.gpx"
    gpx.write_text('<gpx><trk><trkseg>' + "".join(
        f'<trkpt lat="{48 + k * 0.0009:.4f}" lon="11"><ele>{500 + 4 * k}</ele></trkpt>' for k in range(30))
        + "</trkseg></trk></gpx>")
    assert main(["report", str(TRACTOR), "--route", str(gpx), "--route-speed", "60", "-o", str(out)]) == 0
    assert 'data-field="routes.hill.time_s"' in out.read_text(encoding="utf-8")
    for argv in (["report", str(TRACTOR), "--route-speed", "60"], ["report", str(TRACTOR), "--route", str(gpx),
                 "--cycle", "hd-udds"], ["report", str(TRACTOR), "--route", str(gpx), "--route-speed", "-5"]):
        with pytest.raises(SystemExit) as stop:
            main(argv)
        assert stop.value.code == 2


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
