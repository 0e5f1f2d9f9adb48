"""hdfe.dask.sweep on a local cluster of two worker processes (loopback only)."""

import shutil
import subprocess
import sys

import pandas
import pytest

from conftest import ROOT, TRACTOR


@pytest.fixture(scope="module")
def client(binding):
    import distributed

    import hdfe.dask

    cluster = hdfe.dask.local_cluster(n_workers=2)  # worker processes on 127.0.0.1
    assert isinstance(cluster, distributed.LocalCluster)
    client = distributed.Client(cluster)
    yield client
    client.close()
    cluster.close()


def test_sweep_of_4000_rows_in_chunks_equals_run_batch(binding, client):
    import hdfe.dask

    ratios = [f"{2.2 + k * 0.0003:.4f}" for k in range(4_000)]
    rows = pandas.DataFrame({"spec": str(TRACTOR), "FinalRatio": ratios})
    swept = hdfe.dask.sweep(rows, client=client, chunk_rows=1_000)
    pandas.testing.assert_frame_equal(swept, binding.run_batch(rows), check_exact=True)
    assert (swept["status"] == "ok").all()


def test_sweep_sends_vehicles_once_and_keeps_order(binding, client):
    import hdfe.dask

    tractor = binding.load_vehicle(TRACTOR)
    bus = binding.load_vehicle(ROOT / "examples/bus_BR4_220kW_AT6/spec.txt")
    rows = pandas.DataFrame({"id": [f"r{k}" for k in range(23)],
                             "vehicle": [tractor if k % 3 else bus for k in range(23)],
                             "Kf1": [f"{0.9 + k / 100:.2f}" for k in range(23)]},
                            index=range(100, 123))
    progress = []
    swept = hdfe.dask.sweep(rows, client=client, chunk_rows=4, progress=lambda *done: progress.append(done))
    pandas.testing.assert_frame_equal(swept, binding.run_batch(rows), check_exact=True)
    assert len(progress) == 6 and progress[-1] == (23, 23) and sorted(progress) == progress


def test_sweep_command_writes_the_programs_summary(binding, hdfe_binary, client, tmp_path):
    shutil.copytree(TRACTOR.parent, tmp_path / "tractor")
    manifest = tmp_path / "sweep.csv"
    manifest.write_text("spec,FinalRatio,Kf2\n" + "".join(
        f"tractor/spec.txt,{2.4 + k / 10:.1f},{'x' if k == 3 else ''}\n" for k in range(6)))
    expected = tmp_path / "cli.csv"
    subprocess.run([hdfe_binary, "--batch", str(manifest), "--summary-csv", str(expected)], capture_output=True)

    out = tmp_path / "swept.csv"
    command = [sys.executable, "-m", "hdfe", "sweep", str(manifest), "--scheduler", client.scheduler.address,
               "--out", str(out), "--chunk-rows", "2"]
    swept = subprocess.run(command, capture_output=True, cwd="/", text=True)
    assert swept.returncode == 1, swept.stderr  # one row fails, as with hdfe --batch
    assert out.read_bytes() == expected.read_bytes()

    unknown = subprocess.run(command[:4] + [str(tmp_path / "absent.csv")], capture_output=True, text=True)
    assert unknown.returncode == 1 and "absent.csv" in unknown.stderr

    # Rows over cycles: every row over --cycle, or each over its manifest's cycle cell (a file
    # from the manifest's folder): the per-cycle summary, as hdfe --batch writes it.
    (tmp_path / "climb.csv").write_text("time_s,speed_km_per_h,grade_percent\n"
                                        + "".join(f"{k},{min(k, 45)},2\n" for k in range(200)))
    by_row = tmp_path / "cycles.csv"
    by_row.write_text("spec,cycle,FinalRatio\n" + "".join(
        f"tractor/spec.txt,{'climb.csv' if k % 2 else 'HD-UDDS'},{2.4 + k / 10:.1f}\n" for k in range(5)))
    for manifest, cycles in ((manifest, ["--cycle", "hd-udds", "--cycle", str(tmp_path / "climb.csv")]), (by_row, [])):
        subprocess.run([hdfe_binary, "--batch", str(manifest), *cycles, "--summary-csv", str(expected)],
                       capture_output=True)
        swept = subprocess.run([*command[:4], str(manifest), *command[5:], *cycles], capture_output=True, cwd="/",
                               text=True)
        assert out.read_bytes() == expected.read_bytes(), swept.stderr
        assert b"climb" in out.read_bytes()

    # Rows along a route: every row along --route, or each along its manifest's route cell.
    route = ROOT / "examples" / "routes" / "depot-run.csv"
    shutil.copy(route, tmp_path / "depot-run.csv")
    along = tmp_path / "routes.csv"
    along.write_text("spec,route,FinalRatio\n" + "".join(
        f"tractor/spec.txt,{'depot-run.csv' if k % 2 else ''},{2.4 + k / 10:.1f}\n" for k in range(4)))
    for manifest, routes in ((tmp_path / "sweep.csv", ["--route", str(route)]), (along, [])):
        expected.unlink()
        subprocess.run([hdfe_binary, "--batch", str(manifest), *routes, "--summary-csv", str(expected)],
                       capture_output=True)
        swept = subprocess.run([*command[:4], str(manifest), *command[5:], *routes], capture_output=True, cwd="/",
                               text=True)
        assert out.read_bytes() == expected.read_bytes(), swept.stderr
        assert b"depot-run" in out.read_bytes()
    refused = subprocess.run([*command[:4], str(along), *command[5:], "--route", str(route)], capture_output=True,
                             text=True)
    assert refused.returncode == 2 and "one way" in refused.stderr


def test_manifest_mistakes_stop_a_sweep_before_any_cluster(binding, tmp_path, monkeypatch):
    import hdfe.dask

    monkeypatch.setattr(hdfe.dask, "default_client", lambda: pytest.fail("a cluster was started"))
    with pytest.raises(TypeError, match="bytes"):
        hdfe.dask.sweep(pandas.DataFrame({"spec": [str(TRACTOR)] * 3, "FinalRatio": ["2.5", "2.6", b"2.7"]}))
    with pytest.raises(ValueError, match="Ratio"):
        hdfe.dask.sweep(pandas.DataFrame({"spec": [str(TRACTOR)], "Ratio": ["2"]}))  # no LocalCluster started
    with pytest.raises(ValueError):
        hdfe.dask.sweep(pandas.DataFrame({"spec": [str(TRACTOR)]}), chunk_rows=0)
    manifest = tmp_path / "m.csv"
    manifest.write_text(f"spec,Ratio\n{TRACTOR},2\n")
    usage = subprocess.run([sys.executable, "-m", "hdfe", "sweep", str(manifest)], capture_output=True, text=True)
    assert usage.returncode == 2 and "Ratio" in usage.stderr

    # A summary that would replace the manifest, a spec file or a file a spec names, under
    # any name, is refused before anything runs.
    shutil.copytree(TRACTOR.parent, tmp_path / "t")
    manifest.write_text("spec,FinalRatio\nt/spec.txt,2.5\n")
    inputs = {p: p.read_bytes() for p in (manifest, tmp_path / "t" / "spec.txt", tmp_path / "t" / "fullload.txt")}
    for out in ("m.csv", "./t/../m.csv", "t/spec.txt", "t/fullload.txt"):
        refused = subprocess.run([sys.executable, "-m", "hdfe", "sweep", "m.csv", "--out", out],
                                 capture_output=True, text=True, cwd=tmp_path)
        assert refused.returncode == 1 and "it is an input file" in refused.stderr, refused.stderr
    assert all(p.read_bytes() == text for p, text in inputs.items())


def test_sweep_without_a_client_starts_and_closes_its_own_cluster(binding):
    import hdfe.dask

    rows = pandas.DataFrame({"spec": str(TRACTOR), "FinalRatio": ["2.5", "2.6", "2.7"]})
    pandas.testing.assert_frame_equal(hdfe.dask.sweep(rows, chunk_rows=2), binding.run_batch(rows),
                                      check_exact=True)
