"""Synthetic runs shaped like hdfe's output, for testing reports without the binding.

``synthetic_run()`` drives a 40 t tractor through a stop-and-go urban pattern
(1830 s) and a hilly 80 km/h highway (3120 s) with a simple road-load model, and
derives the result dict from its own trace, so that every figure agrees the
way a real run's do. ``sweep_summary()`` builds a batch summary of a sweep.
"""

import math
from types import SimpleNamespace

import numpy as np
import pandas as pd

NIDLE, NRATE, NEX = 600.0, 1736.0, 2096.0
RATIOS = [14.93, 11.64, 9.02, 7.04, 5.64, 4.4, 3.39, 2.65, 2.05, 1.6, 1.28, 1.0]
FINAL, RADIUS, MASS = 2.64, 0.4922, 27070.5
MU_AIR, MU_ROLL = 0.245369, 0.048804
FULL_N = [600, 984, 1080, 1368, 1560, 1752, 1944, 2136, 2200]
FULL_T = [1188, 2096, 2134, 2134, 1969, 1771, 1384, 652, 0]


def full_load_torque(n):
    return np.interp(n, FULL_N, FULL_T)


def _fuel_l_per_h(n, t):
    power_kw = 2 * math.pi * n / 60 * np.maximum(t, 0) / 1000
    friction_kg = 1.2 + 0.0025 * (n - NIDLE) + 2e-6 * (n - NIDLE) ** 2
    return (friction_kg + 0.188 * power_kw * (1 + 0.12 * ((n - 1250) / 700) ** 2)) / 0.835


def _curves():
    n = np.arange(600.0, 2201.0, 8.0)
    full = pd.DataFrame({"speed_rpm": n, "torque_Nm": full_load_torque(n)})
    motoring = pd.DataFrame({"speed_rpm": n, "torque_Nm": -138 - 0.0000465 * (n - 600) ** 2})
    rows = [(600.0, 0.0)]
    for speed in np.arange(600.0, 2201.0, 200.0):
        top = max(float(full_load_torque(speed)), 200.0) * 1.05
        rows += [(speed, t) for t in np.linspace(0, top, 10)]
    speed, torque = np.array(rows).T
    fuel_map = pd.DataFrame({"speed_rpm": speed, "torque_Nm": torque,
                             "fuel_rate_l_per_h": _fuel_l_per_h(speed, torque)})
    return full, motoring, fuel_map


def _urban_target(rng, seconds=1830):
    v = []
    while len(v) < seconds:
        top = rng.uniform(20, 60)
        v += [0.0] * int(rng.integers(8, 40))
        v += list(np.arange(0, top, rng.uniform(2.5, 4.0)))
        v += [top] * int(rng.integers(15, 90))
        v += list(np.arange(top, 0, -3.2))
    return np.array(v[:seconds - 3] + [0.0] * 3)


def _drive(cycle, target, gradient):
    speed = np.zeros_like(target)
    for i, v in enumerate(target):                # the engine limits the acceleration
        prev = speed[i - 1] if i else target[0]
        speed[i] = min(v, prev + 3.0) - max(0.0, gradient[i] - 2.5) * 1.4
    speed = np.maximum(speed, 0.0)
    accel = np.diff(speed, prepend=0.0) / 3.6
    v_ms = speed / 3.6
    force = MASS * accel + MU_ROLL * MASS + MU_AIR * speed ** 2 + MASS * 9.81 * gradient / 100
    ratio = np.array(RATIOS) * FINAL
    wheel_rpm = v_ms / RADIUS * 60 / (2 * math.pi)
    # The highest gear that keeps the engine above 1000 rpm; neutral when standing.
    gear = np.array([max([g + 1 for g in range(12) if w * ratio[g] >= 1000] or [1]) for w in wheel_rpm])
    gear[speed < 1.0] = 0
    total = ratio[np.maximum(gear, 1) - 1]
    n = np.where(gear > 0, np.maximum(wheel_rpm * total, NIDLE), NIDLE)
    demand = np.where(gear > 0, force * RADIUS / total / 0.95, 0.0)
    limit = full_load_torque(n)
    torque = np.clip(demand, -138 - 0.0000465 * (n - 600) ** 2, limit)
    fuel = np.where(torque < 0, 0.0, _fuel_l_per_h(n, torque))
    seconds = np.arange(1, len(target) + 1)
    trace = pd.DataFrame({
        "cycle": cycle, "second": seconds, "target_speed_km_per_h": target,
        "speed_km_per_h": speed, "gradient_percent": gradient,
        "distance_km": np.cumsum(speed) / 3600, "gear": gear, "engine_speed_rpm": n,
        "engine_torque_Nm": torque, "normalised_speed_percent": (n - NIDLE) / (NRATE - NIDLE) * 100,
        "normalised_torque_percent": torque / limit * 100, "fuel_rate_l_per_h": fuel,
        "cumulative_fuel_l": np.cumsum(fuel) / 3600})
    over = seconds[demand > limit * 1.001][:12]
    return trace, over


def _cycle_dict(name, trace, transient):
    short = trace["target_speed_km_per_h"] - trace["speed_km_per_h"]
    distance, fuel = trace["distance_km"].iloc[-1], trace["cumulative_fuel_l"].iloc[-1]
    target = trace["target_speed_km_per_h"].sum() / 3600
    before = distance / fuel
    after = before / transient
    return {"name": name, "fuel_economy_km_per_l": after,
            "fuel_economy_before_transient_km_per_l": before,
            "fuel_economy_after_transient_km_per_l": after,
            "fuel_economy_after_kf_km_per_l": after, "kf": 1.0,
            "average_speed_km_per_h": distance / (len(trace) / 3600), "distance_km": distance,
            "target_distance_km": target, "fuel_l": fuel,
            "metrics": {"seconds_below_target": int((short > 2).sum()),
                        "largest_shortfall_km_per_h": float(short.max()),
                        "largest_shortfall_second": int(trace["second"].iloc[int(short.argmax())]),
                        "distance_percent_of_target": distance / target * 100,
                        "seconds_at_full_load": int((trace["normalised_torque_percent"] >= 99.9).sum())}}


def synthetic_run(seed=18, name="Synthetic tractor 325 kW AMT12"):
    """A run of a synthetic tractor: SimpleNamespace(result, trace, full_load, motoring, fuel_map)."""
    rng = np.random.default_rng(seed)
    full, motoring, fuel_map = _curves()
    urban, urban_over = _drive("URBAN", _urban_target(rng), np.zeros(1830))
    km = np.arange(3120) * 80 / 3600
    hills = 3.2 * np.sin(km / 34.7 * 2 * math.pi) * (np.sin(km * 0.9) > 0.2)
    highway, highway_over = _drive("HIGHWAY", np.full(3120, 80.0), np.round(hills, 1))
    cycles = [_cycle_dict("URBAN", urban, 1.03), _cycle_dict("HIGHWAY", highway, 1.0),
              _cycle_dict("MID-TOWN", urban.iloc[:900], 1.03)]
    u, h, share = cycles[0]["fuel_economy_km_per_l"], cycles[1]["fuel_economy_km_per_l"], 0.45
    gears = [{"gear": g + 1, "ratio": r, "efficiency": 0.95, "torque_margin": 2.0,
              "DW": 0.04 * MASS + 0.0035 * MASS * (r * FINAL) ** 2 / 10} for g, r in enumerate(RATIOS)]
    checks = [{"cycle": c, "second": int(s), "kind": "over_torque"}
              for c, over in (("URBAN", urban_over), ("HIGHWAY", highway_over)) for s in over]
    result = {
        "program": {"name": "hdfe", "version": "0.0.0-test", "cycle_tables_version": "test"},
        "inputs": [{"role": r, "path": f"/data/tractor/{r}.txt", "sha256": "0" * 64}
                   for r in ("spec", "engine", "transmission", "full_load", "motoring", "fuel_map")],
        "vehicle": {"name": name, "category": "TT1", "vehicle_type": "TRUCK",
                    "transmission": "MT, AMT", "highway_ratio": share, "GVW": 41841.0,
                    "Wcurb": 12300.0, "Wtest": MASS, "Nidle": NIDLE, "Nrate": NRATE, "Nex": NEX,
                    "Nes": 656.8, "Nec": 645.44, "MuAir": MU_AIR, "MuRoll": MU_ROLL, "gears": gears},
        "cycles": cycles,
        "average_fuel_economy_km_per_l": 1 / ((1 - share) / u + share / h),
        "run_checks": checks,
        "warnings": [{"cycle": c["name"], "second": c["metrics"]["largest_shortfall_second"],
                      "kind": "missed_cycle", "message": "fell more than 2 km/h below the target"}
                     for c in cycles[:2] if c["metrics"]["seconds_below_target"]],
    }
    return SimpleNamespace(result=result, trace=pd.concat([urban, highway], ignore_index=True),
                           full_load=full, motoring=motoring, fuel_map=fuel_map)


def sweep_summary(rows=200, failed=(17, 120)):
    """A batch summary of a FinalRatio sweep; the rows numbered in ``failed`` are errors."""
    ratio = np.round(np.linspace(2.2, 3.4, rows), 4)
    urban = 2.45 + 0.5 * (ratio - 2.2) - 0.2 * (ratio - 2.2) ** 2
    highway = 4.05 - 0.45 * (ratio - 2.64) ** 2 - 0.1 * (ratio - 2.2)
    frame = pd.DataFrame({
        "id": [f"{i + 1:03d}" for i in range(rows)], "spec": "examples/tractor/spec.txt",
        "status": "ok", "message": "", "category": "TT1", "urban_km_per_l": urban,
        "highway_km_per_l": highway, "average_km_per_l": 1 / (0.55 / urban + 0.45 / highway),
        "midtown_km_per_l": urban * 0.83, "urban_speed_km_per_h": 27.3 - 0.0 * ratio,
        "highway_speed_km_per_h": 80.0 - (3.4 - ratio), "midtown_speed_km_per_h": 13.5 + 0 * ratio,
        "urban_fuel_l": 13.9 / urban, "highway_fuel_l": 69.3 / highway,
        "urban_seconds_below_target": (ratio < 2.4).astype(int) * 12,
        "highway_seconds_below_target": np.round((3.4 - ratio) * 100).astype(int),
        "FinalRatio": ratio})
    for i in failed:
        frame.loc[i, ["status", "message"]] = ["error", "engine.txt: cannot open <missing> & co"]
        frame.loc[i, frame.columns[5:-1]] = np.nan
    return frame
