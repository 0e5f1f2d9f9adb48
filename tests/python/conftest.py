"""Fixtures for the Python tests: the package on the path, runs to report on, a browser."""

import pathlib
import sys
from types import SimpleNamespace

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
try:
    import hdfe  # the built package, when PYTHONPATH names it
    FOUND = getattr(hdfe, "__file__", None) is not None  # not the C++ headers' folder
except ImportError:
    FOUND = False
if not FOUND:
    sys.modules.pop("hdfe", None)
    sys.path.insert(0, str(ROOT / "python"))

import headless  # noqa: E402
import report_data  # noqa: E402


def _binding():
    import hdfe
    return hdfe if hasattr(hdfe, "run") and hasattr(hdfe, "load_vehicle") else None


def vehicle_run(source):
    """The run a report test draws: the synthetic tractor, or an example's spec file.

    Returns SimpleNamespace(result, trace, full_load, motoring, fuel_map). Once the
    binding is built, every example is run for real; until then the synthetic run
    stands in for them.
    """
    if source == "synthetic":
        return report_data.synthetic_run()
    hdfe = _binding()
    vehicle = hdfe.load_vehicle(str(source))
    result = hdfe.run(vehicle, trace=True)
    return SimpleNamespace(result=result.to_dict(), trace=result.trace,
                           full_load=vehicle.full_load, motoring=vehicle.motoring,
                           fuel_map=vehicle.fuel_map)


SOURCES = sorted(ROOT.glob("examples/*/spec.txt")) if _binding() else ["synthetic"]


@pytest.fixture(scope="module", params=SOURCES,
                ids=lambda s: s if isinstance(s, str) else s.parent.name)
def run_data(request):
    """One run per example (or the synthetic one), shared by a module's tests."""
    return vehicle_run(request.param)


@pytest.fixture(scope="session")
def browser():
    """A headless Chromium started for the session, reached over a pipe only."""
    if headless.chromium_path() is None:
        pytest.fail("chromium is not installed: tools/deps.sh test installs it")
    instance = headless.Browser()
    yield instance
    instance.close()


# ------------------------------------------------------------- the binding's tests

EXAMPLES = sorted(ROOT.glob("examples/*/spec.txt"))
TRACTOR = ROOT / "examples" / "tractor_TT1_325kW_AMT12" / "spec.txt"


@pytest.fixture(scope="session")
def hdfe_binary():
    """The hdfe program: $HDFE_BINARY (make test-python sets it), else one built in build/."""
    import os
    candidates = [os.environ.get("HDFE_BINARY"), ROOT / "build/pymod/hdfe", ROOT / "build/test/hdfe"]
    for candidate in candidates:
        if candidate and pathlib.Path(candidate).is_file():
            return str(candidate)
    pytest.fail("no hdfe program: run make python (or set HDFE_BINARY)")


@pytest.fixture(scope="session")
def binding():
    """The built package; a test of the binding fails (not skips) without it."""
    hdfe = _binding()
    if hdfe is None:
        pytest.fail("the hdfe package is not built: run make python and put build/python on PYTHONPATH")
    return hdfe
