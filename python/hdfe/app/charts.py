"""The series of a vehicle's plots: its curves, its map as specific consumption, its gears."""

import math

import numpy as np

import hdfe
from hdfe import reporting

#: Engine speeds of a gear's line in the gear plot.
GEAR_LINE_POINTS = 2


def _list(values, decimals=6):
    return [None if not math.isfinite(v) else round(float(v), decimals) for v in np.asarray(values, dtype=float)]


def curves(vehicle):
    """The full-load and motoring curves and the map's points as columns."""
    full_load, motoring, fuel_map = vehicle.full_load, vehicle.motoring, vehicle.fuel_map
    return {
        "full_load": {"speed_rpm": _list(full_load["speed_rpm"]), "torque_Nm": _list(full_load["torque_Nm"])},
        "motoring": {"speed_rpm": _list(motoring["speed_rpm"]), "torque_Nm": _list(motoring["torque_Nm"])},
        "fuel_map": {"speed_rpm": _list(fuel_map["speed_rpm"]), "torque_Nm": _list(fuel_map["torque_Nm"]),
                     "fuel_rate_l_per_h": _list(fuel_map["fuel_rate_l_per_h"]),
                     "sfc_g_per_kwh": _list(reporting.specific_fuel_consumption(
                         fuel_map["speed_rpm"], fuel_map["torque_Nm"], fuel_map["fuel_rate_l_per_h"]), 1)},
        "idle_fuel_rate_l_per_h": vehicle.idle_fuel_rate_l_per_h,
    }


def sfc_grid(vehicle):
    """Specific consumption (g/kWh) under the full-load curve, as the report draws it: on a
    speed × torque grid (``speed_rpm``, ``torque_Nm``, ``sfc_g_per_kwh`` rows by torque), and
    its contour lines at the report's ``levels`` (``lines``: per level, x and y with None
    between pieces, and where to put its label). ``{"note": why}`` where the map gives none.

    The lines are traced here, once per vehicle, so that the page draws them as plain lines
    (tracing them in the browser takes it about a second)."""
    try:
        nn, tt, sfc = reporting._sfc_grid(vehicle.full_load, vehicle.fuel_map)
        levels = reporting._sfc_levels(sfc)
    except (ValueError, RuntimeError, KeyError) as error:
        return {"note": f"no consumption contours: {error}"}
    if not levels:
        return {"note": "no consumption contours: the map gives no positive brake power"}
    import contourpy

    generator = contourpy.contour_generator(nn[0], tt[:, 0], np.ma.masked_invalid(sfc))
    lines = []
    for level in levels:
        xs, ys, longest = [], [], None
        for piece in generator.lines(level):
            if len(piece) < 2:
                continue
            xs += _list(piece[:, 0], 1) + [None]
            ys += _list(piece[:, 1], 1) + [None]
            if longest is None or len(piece) > len(longest):
                longest = piece
        if longest is not None:
            middle = longest[len(longest) // 2]
            lines.append({"level": float(level), "x": xs, "y": ys,
                          "label_x": round(float(middle[0]), 1), "label_y": round(float(middle[1]), 1)})
    return {"speed_rpm": _list(nn[0], 2), "torque_Nm": _list(tt[:, 0], 2),
            "sfc_g_per_kwh": [_list(row, 1) for row in sfc], "levels": [float(level) for level in levels],
            "lines": lines, "density_kg_per_l": reporting.DIESEL_DENSITY_KG_PER_L}


def gears(vehicle):
    """Road speed against engine speed per gear, from the run's gear table, between idle and
    the highest speed: ``{gears: [{gear, ratio, speed_rpm, road_km_per_h}], idle, rated, max}``;
    ``{"note": why}`` where the vehicle cannot be classified."""
    try:
        classification = hdfe.run(vehicle).classification
    except (hdfe.Error, ValueError, TypeError) as error:
        return {"note": f"no gear plot: {error}"}
    transmission = classification.transmission
    radius = classification.spec.tire_radius_m
    engine = classification.engine
    speeds = [engine.idle_speed_rpm, engine.max_speed_rpm]
    out = []
    for number, row in enumerate(transmission.gears, start=1):
        total = row.ratio * transmission.final_ratio
        road = [n / 60.0 * 2.0 * math.pi * radius / total * 3.6 for n in speeds]
        out.append({"gear": number, "ratio": row.ratio, "speed_rpm": speeds, "road_km_per_h": road})
    return {"gears": out, "idle_rpm": engine.idle_speed_rpm, "rated_rpm": engine.rated_speed_rpm,
            "max_rpm": engine.max_speed_rpm, "final_ratio": transmission.final_ratio, "tire_radius_m": radius}
