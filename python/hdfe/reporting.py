"""Self-contained HTML reports of hdfe runs, with figures drawn by matplotlib.

A single-vehicle report holds the results of every cycle and phase run (every figure of the
library's figure table, the cycle-following metrics and the energy audit), the vehicle
summary and the figures: the speed trace, the engine's operating points over its fuel map,
the time share per gear, the fuel rate and cumulative fuel, the road's gradient and height
profile, and the energy audit; a run of routes adds each route's section: its elevation profile
over the distance with the speed, gear and fuel per kilometre under it, and what the road cost
in time. A batch report holds a sortable summary table, urban against
highway economy, the economies against a swept parameter, and a heat map when two are swept.

Every figure is inline SVG and every style is inline: the file opens in a browser without
fetching anything, and can be mailed or archived on its own.
"""

import datetime
import html
import io
import math
import os
import re

import numpy as np
import pandas as pd

from hdfe import _core

__all__ = [
    "DIESEL_DENSITY_KG_PER_L",
    "SHORTFALL_KM_PER_H",
    "FIGURE_TITLES",
    "FUEL_MEAN_SECONDS",
    "ENERGY_SOURCES",
    "speed_limits",
    "moving_mean",
    "specific_fuel_consumption",
    "height_profile",
    "write_report",
    "report",
    "read_summary",
    "sweep_parameter",
    "sweep_parameters",
    "write_batch_report",
]

#: Density used to turn the fuel map's litres into grams for specific consumption.
DIESEL_DENSITY_KG_PER_L = _core.diesel_density_kg_per_l

#: A second counts as missed when the achieved speed is this far below the target.
SHORTFALL_KM_PER_H = _core.shortfall_km_per_h

#: Titles of the figures of a single-vehicle report, in order. The road figure is left out
#: when no cycle run has a gradient.
FIGURE_TITLES = (
    "Speed trace: target and achieved speed, with the gear",
    "Engine operating points over the fuel map",
    "Time share per gear",
    "Fuel rate and cumulative fuel",
    "Road: gradient, height profile and speed",
    "Energy audit: where each cycle's energy came from and went",
)

#: Title of each route's figure in its section of a report of routes.
ROUTE_FIGURE_TITLE = "Route {name}: elevation, speed, gear and fuel along the distance"

#: The fuel-rate figure's moving mean spans this many seconds.
FUEL_MEAN_SECONDS = 30

#: The energy audit's sources; every other term is a sink (the residual balances the two).
ENERGY_SOURCES = ("engine_positive_kwh", "descending_kwh", "kinetic_released_kwh")

_CYCLE_COLOURS = {"URBAN": "#1f6fb4", "HIGHWAY": "#c9362b", "MID-TOWN": "#2a9d4b"}
# Other cycles take these in the order the run gives them.
_PALETTE = ("#1f6fb4", "#c9362b", "#2a9d4b", "#8e5bb5", "#d98b1e", "#2b9ca6", "#a0522d",
            "#c2569b", "#6b7f2a", "#4b5d8c")
_ECONOMY_COLOURS = {"urban": "#1f6fb4", "highway": "#c9362b", "average": "#333333",
                    "midtown": "#2a9d4b"}
_RC = {
    "svg.fonttype": "none",          # text stays text: searchable, selectable, small
    "svg.hashsalt": "hdfe",          # the same input gives the same file
    "font.family": "DejaVu Sans",    # bundled with matplotlib, so always found
    "font.size": 10,
    "axes.grid": True,
    "grid.color": "#dddddd",
    "grid.linewidth": 0.6,
    "axes.spines.top": False,
    "axes.spines.right": False,
    "legend.frameon": False,
}


# --------------------------------------------------------------------- numbers

def specific_fuel_consumption(speed_rpm, torque_Nm, fuel_rate_l_per_h,
                              density_kg_per_l=DIESEL_DENSITY_KG_PER_L):
    """Specific fuel consumption in g/kWh from engine speed, torque and fuel rate.

    ``fuel[l/h] * density[g/l] / (2π·n/60 · T / 1000)[kW]``; NaN where the
    torque or the speed is not positive (no brake power to divide by).
    Accepts scalars or arrays and returns a float array.
    """
    n = np.asarray(speed_rpm, dtype=float)
    t = np.asarray(torque_Nm, dtype=float)
    fuel = np.asarray(fuel_rate_l_per_h, dtype=float)
    power_kw = 2.0 * math.pi * n / 60.0 * t / 1000.0
    with np.errstate(divide="ignore", invalid="ignore"):
        sfc = fuel * density_kg_per_l * 1000.0 / power_kw
    return np.where((t > 0) & (n > 0), sfc, np.nan)


def height_profile(distance_km, gradient_percent):
    """Height in metres along the road, from cumulative distance and gradient.

    Each step rises by the gradient times the distance covered in that step,
    starting at 0 m at the first point.
    """
    d = np.asarray(distance_km, dtype=float) * 1000.0
    g = np.asarray(gradient_percent, dtype=float) / 100.0
    if len(d) == 0:
        return np.zeros(0)
    step = np.diff(d, prepend=d[0])
    return np.cumsum(g * step)


def speed_limits(*speeds):
    """The speed axis's limits for these series [km/h]: from 0 for a cycle that stops or
    crawls, else close around the speeds driven, so that a cruise at a steady 80 km/h is not
    drawn as a flat line at the top of a 0–80 axis. The axis spans at least 4 km/h."""
    values = np.concatenate([np.asarray(s, dtype=float).ravel() for s in speeds]) if speeds else np.zeros(0)
    values = values[np.isfinite(values)]
    if values.size == 0:
        return 0.0, 1.0
    low, high = float(values.min()), float(values.max())
    margin = max(0.08 * (high - low), 2.0)
    bottom = low - margin if low - margin > 0.25 * high else 0.0
    return bottom, high + margin


def moving_mean(values, seconds=FUEL_MEAN_SECONDS):
    """The centred moving mean over ``seconds`` points of a per-second series; near the ends,
    the mean of the points there are."""
    series = pd.Series(np.asarray(values, dtype=float))
    return series.rolling(int(seconds), center=True, min_periods=1).mean().to_numpy()


def _number(value, decimals):
    """Format a number for a table cell; a dash for missing values."""
    if value is None or isinstance(value, str):
        return "—" if value in (None, "") else html.escape(value)
    if isinstance(value, float) and not math.isfinite(value):
        return "—"
    if decimals == 0:
        return f"{int(round(value))}"
    return f"{value:.{decimals}f}"


def _esc(text):
    return html.escape(str(text), quote=True)


def _mpl_text(text):
    """Make a user string safe for matplotlib, which treats $…$ as mathematics."""
    return str(text).replace("$", r"\$")


def _seconds_as_ranges(seconds):
    """[3, 4, 5, 9] -> '3–5, 9'."""
    seconds = sorted(set(int(s) for s in seconds))
    parts, start = [], None
    for i, s in enumerate(seconds):
        if start is None:
            start = s
        if i + 1 == len(seconds) or seconds[i + 1] != s + 1:
            parts.append(str(start) if start == s else f"{start}–{s}")
            start = None
    return ", ".join(parts)


# --------------------------------------------------------------------- figures

def _matplotlib():
    try:
        import matplotlib
        from matplotlib.figure import Figure
    except ImportError as error:
        raise ImportError(
            f"the report draws its figures with matplotlib, which this Python cannot import ({error}): "
            "install Debian's python3-matplotlib (make python does) and use /usr/bin/python3") from error
    return matplotlib, Figure


def _svg(fig, prefix):
    """Render a figure to an SVG element whose ids cannot clash with other figures'."""
    buf = io.StringIO()
    fig.savefig(buf, format="svg", metadata={"Date": None})
    text = buf.getvalue()
    text = text[text.index("<svg"):]
    text = re.sub(r'\bid="([^"]+)"', rf'id="{prefix}-\1"', text)
    text = re.sub(r'href="#([^"]+)"', rf'href="#{prefix}-\1"', text)
    text = re.sub(r"url\(#([^)]+)\)", rf"url(#{prefix}-\1)", text)
    return text.replace("<svg ", '<svg role="img" ', 1)


def _cycles(trace):
    """The cycles in the trace, in the order they appear."""
    return list(dict.fromkeys(trace["cycle"].astype(str)))


def _colour(cycle, cycles):
    """The built-in cycles keep their colours; others take the palette's in run order."""
    if cycle in _CYCLE_COLOURS:
        return _CYCLE_COLOURS[cycle]
    return _PALETTE[cycles.index(cycle) % len(_PALETTE)] if cycle in cycles else "#555555"


def _legend_above(ax, ncol=3):
    """The axes' legend above its top right corner, off the data."""
    ax.legend(loc="lower right", bbox_to_anchor=(1.0, 1.0), ncol=ncol, fontsize=8, borderaxespad=0.2)


def _figure_speed(Figure, trace):
    cycles = _cycles(trace)
    ratios = []
    for _ in cycles:
        ratios += [3, 1]
    fig = Figure(figsize=(10, 3.4 * max(len(cycles), 1)), layout="constrained")
    if not cycles:
        fig.text(0.5, 0.5, "No trace", ha="center")
        return fig
    axes = fig.subplots(2 * len(cycles), 1, gridspec_kw={"height_ratios": ratios}, squeeze=False)
    for i, cycle in enumerate(cycles):
        rows = trace[trace["cycle"] == cycle]
        t = rows["second"].to_numpy()
        target = rows["target_speed_km_per_h"].to_numpy(dtype=float)
        speed = rows["speed_km_per_h"].to_numpy(dtype=float)
        missed = speed < target - SHORTFALL_KM_PER_H
        ax, gax = axes[2 * i, 0], axes[2 * i + 1, 0]
        gax.sharex(ax)
        ax.plot(t, target, color="#888888", lw=1.0, ls="--", label="Target speed")
        ax.plot(t, speed, color=_colour(cycle, cycles), lw=0.9, label="Achieved speed")
        ax.plot(t[missed], speed[missed], "v", color="#e08a00", ms=3.5, ls="none",
                label=f"More than {SHORTFALL_KM_PER_H:g} km/h below target "
                      f"({int(missed.sum())} s)")
        ax.set_title(_mpl_text(cycle), loc="left", fontsize=10, fontweight="bold")
        ax.set_ylabel("Speed (km/h)")
        ax.set_ylim(*speed_limits(target, speed))
        _legend_above(ax)
        ax.tick_params(labelbottom=False)
        gear = rows["gear"].to_numpy()
        gax.step(t, gear, where="post", color="#444444", lw=0.8)
        gax.set_ylabel("Gear")
        top = int(max(gear.max(initial=0), 1))
        gax.set_ylim(-0.5, top + 0.5)
        gax.set_yticks(sorted(set([0, top] + list(range(0, top + 1, max(1, math.ceil(top / 3)))))))
        gax.set_xlabel("Time (s)")
        gax.set_xlim(t.min(initial=0), t.max(initial=1))
    return fig


def _sfc_grid(full_load, fuel_map):
    """Specific consumption on a regular speed × torque grid under the full-load curve."""
    from matplotlib.tri import LinearTriInterpolator, Triangulation
    points = (fuel_map.groupby(["speed_rpm", "torque_Nm"], as_index=False)
              ["fuel_rate_l_per_h"].mean())
    triangulation = Triangulation(points["speed_rpm"].to_numpy(float),
                                  points["torque_Nm"].to_numpy(float))
    interpolate = LinearTriInterpolator(triangulation, points["fuel_rate_l_per_h"].to_numpy(float))
    n = np.linspace(points["speed_rpm"].min(), points["speed_rpm"].max(), 160)
    t_top = max(points["torque_Nm"].max(), full_load["torque_Nm"].max())
    t = np.linspace(t_top / 120.0, t_top, 120)
    nn, tt = np.meshgrid(n, t)
    fuel = np.ma.filled(interpolate(nn, tt), np.nan)
    sfc = specific_fuel_consumption(nn, tt, fuel)
    limit = np.interp(nn, full_load["speed_rpm"].to_numpy(float),
                      full_load["torque_Nm"].to_numpy(float), left=np.nan, right=np.nan)
    sfc[~(tt <= limit * 1.001)] = np.nan
    return nn, tt, sfc


#: Contours are drawn up to this multiple of the map's best specific consumption: towards no
#: load it grows without bound, and the lines above would crowd along the zero-torque axis.
SFC_CONTOUR_SPAN = 1.6


def _sfc_levels(sfc):
    finite = sfc[np.isfinite(sfc)]
    if finite.size == 0:
        return None
    low = math.floor(finite.min() / 5.0) * 5.0
    steps = [0, 3, 6, 10, 15, 20, 30, 40, 60, 80, 100, 150, 200, 300]
    top = min(finite.max(), low * SFC_CONTOUR_SPAN)
    levels = [low + s for s in steps if low + s <= top + 1e-9]
    return levels if len(levels) >= 2 else None


def _own_torque(trace, motoring):
    """The engine's own torque of each second: the trace's column, or else the torque
    demand held at the motoring curve (below it the brakes take the rest)."""
    if "engine_own_torque_Nm" in trace:
        return trace["engine_own_torque_Nm"].to_numpy(float)
    floor = np.interp(trace["engine_speed_rpm"].to_numpy(float), motoring["speed_rpm"].to_numpy(float),
                      motoring["torque_Nm"].to_numpy(float))
    return np.maximum(trace["engine_torque_Nm"].to_numpy(float), floor)


def _figure_operating_points(Figure, trace, full_load, motoring, fuel_map):
    fig = Figure(figsize=(10, 6.6), layout="constrained")
    ax = fig.subplots()
    note = None
    try:
        nn, tt, sfc = _sfc_grid(full_load, fuel_map)
        levels = _sfc_levels(sfc)
    except (ValueError, RuntimeError, KeyError) as error:  # too few or collinear map points
        levels, note = None, f"no consumption contours: {error}"
    if levels:
        shown = np.where(sfc <= levels[-1], sfc, np.nan)
        filled = ax.contourf(nn, tt, shown, levels=levels, cmap="RdYlGn_r", alpha=0.3)
        lines = ax.contour(nn, tt, shown, levels=levels, colors="#40606e", linewidths=0.5)
        # Every other line labelled, clear of the others: one label per line is enough.
        ax.clabel(lines, lines.levels[::2], fmt="%.0f", fontsize=7, inline_spacing=2)
        bar = fig.colorbar(filled, ax=ax, pad=0.01)
        bar.set_label("Specific fuel consumption (g/kWh), diesel at "
                      f"{DIESEL_DENSITY_KG_PER_L:g} kg/l")
    ax.plot(fuel_map["speed_rpm"], fuel_map["torque_Nm"], ".", color="#999999", ms=2.5,
            alpha=0.6, label="Fuel-map points")
    ax.plot(full_load["speed_rpm"], full_load["torque_Nm"], color="black", lw=1.6,
            label="Full-load torque")
    ax.plot(motoring["speed_rpm"], motoring["torque_Nm"], color="#666666", lw=1.2, ls="-.",
            label="Motoring torque")
    cycles = _cycles(trace)
    own = _own_torque(trace, motoring)
    running = trace["engine_speed_rpm"].to_numpy(float) > 0  # not stopped by idle stop
    for cycle in cycles:
        chosen = (trace["cycle"] == cycle).to_numpy() & running
        # Seconds at the same point (idling, steady cruising) draw one dot.
        points = np.unique(np.round(np.column_stack([trace["engine_speed_rpm"].to_numpy(float)[chosen],
                                                     own[chosen]]), 0), axis=0)
        ax.scatter(points[:, 0], points[:, 1], s=5, alpha=0.35,
                   linewidths=0, color=_colour(cycle, cycles),
                   label=f"{_mpl_text(cycle)} ({int(chosen.sum())} s running)")
    ax.axhline(0, color="#aaaaaa", lw=0.6)
    # The map's range: the motoring curve below, the full-load curve and map above.
    bottom = min(float(motoring["torque_Nm"].min()), float(fuel_map["torque_Nm"].min()), 0.0)
    top = max(float(full_load["torque_Nm"].max()), float(fuel_map["torque_Nm"].max()))
    ax.set_ylim(bottom - 0.06 * (top - bottom), top + 0.06 * (top - bottom))
    speeds = np.concatenate([full_load["speed_rpm"].to_numpy(float), fuel_map["speed_rpm"].to_numpy(float)])
    ax.set_xlim(speeds.min() - 0.03 * np.ptp(speeds), speeds.max() + 0.03 * np.ptp(speeds))
    ax.set_xlabel("Engine speed (rpm)")
    ax.set_ylabel("Engine torque (N·m)")
    ax.legend(loc="upper center", bbox_to_anchor=(0.5, -0.1), ncol=min(len(cycles) + 3, 5), fontsize=8,
              markerscale=2)
    if note:
        ax.text(0.01, 0.01, note, transform=ax.transAxes, fontsize=8, color="#a00000")
    return fig


def _figure_gear_share(Figure, trace):
    fig = Figure(figsize=(10, 3.8), layout="constrained")
    ax = fig.subplots()
    cycles = _cycles(trace)
    top = int(trace["gear"].max()) if len(trace) else 0
    gears = np.arange(0, top + 1)
    width = 0.8 / max(len(cycles), 1)
    for i, cycle in enumerate(cycles):
        gear = trace.loc[trace["cycle"] == cycle, "gear"].astype(int)
        share = gear.value_counts(normalize=True).reindex(gears, fill_value=0.0) * 100.0
        ax.bar(gears + (i - (len(cycles) - 1) / 2) * width, share.to_numpy(), width=width,
               color=_colour(cycle, cycles), label=_mpl_text(cycle))
    ax.set_xticks(gears, ["N"] + [str(g) for g in gears[1:]])
    ax.set_xlabel("Gear (N = neutral)")
    ax.set_ylabel("Share of cycle time (%)")
    ax.grid(axis="x", visible=False)
    ax.legend(loc="upper left", ncol=max(1, math.ceil(len(cycles) / 6)), fontsize=8)
    return fig


def _figure_fuel(Figure, trace):
    cycles = _cycles(trace)
    fig = Figure(figsize=(10, 2.9 * max(len(cycles), 1)), layout="constrained")
    axes = fig.subplots(max(len(cycles), 1), 1, squeeze=False)
    for i, cycle in enumerate(cycles):
        rows = trace[trace["cycle"] == cycle]
        ax = axes[i, 0]
        colour = _colour(cycle, cycles)
        rate = rows["fuel_rate_l_per_h"].to_numpy(float)
        ax.plot(rows["second"], rate, color=colour, lw=0.5, alpha=0.35, label="Fuel rate")
        ax.plot(rows["second"], moving_mean(rate), color=colour, lw=1.6,
                label=f"Fuel rate, {FUEL_MEAN_SECONDS}-s moving mean")
        ax.set_ylabel("Fuel rate (l/h)")
        ax.set_title(_mpl_text(cycle), loc="left", fontsize=10, fontweight="bold")
        ax.set_xlabel("Time (s)")
        twin = ax.twinx()
        twin.plot(rows["second"], rows["cumulative_fuel_l"], color="black", lw=1.4,
                  label="Cumulative fuel")
        twin.set_ylabel("Cumulative fuel (l)")
        twin.grid(False)
        twin.spines["right"].set_visible(True)
        twin.set_ylim(bottom=0)
        ax.set_ylim(bottom=0)
        handles = ax.get_legend_handles_labels()
        other = twin.get_legend_handles_labels()
        ax.legend(handles[0] + other[0], handles[1] + other[1], loc="lower right", bbox_to_anchor=(1.0, 1.0),
                  ncol=3, fontsize=8, borderaxespad=0.2)
    return fig


def _graded_cycles(trace):
    """The cycles of the trace whose road is not level, in order."""
    return [c for c in _cycles(trace)
            if (trace.loc[trace["cycle"] == c, "gradient_percent"].to_numpy(float) != 0).any()]


def _figure_road(Figure, trace):
    cycles = _cycles(trace)
    graded = _graded_cycles(trace)
    fig = Figure(figsize=(10, 6.0 * max(len(graded), 1)), layout="constrained")
    if not graded:
        fig.text(0.5, 0.5, "Every cycle run is level.", ha="center")
        return fig
    axes = fig.subplots(3 * len(graded), 1, gridspec_kw={"height_ratios": [2, 1.3, 2] * len(graded)},
                        squeeze=False)[:, 0]
    for i, cycle in enumerate(graded):
        rows = trace[trace["cycle"] == cycle]
        height_ax, grade_ax, speed_ax = axes[3 * i: 3 * i + 3]
        grade_ax.sharex(height_ax)
        speed_ax.sharex(height_ax)
        distance = rows["distance_km"].to_numpy(float)
        gradient = rows["gradient_percent"].to_numpy(float)
        height = height_profile(distance, gradient)
        height_ax.fill_between(distance, height, height.min(initial=0), color="#c8b89a", alpha=0.6)
        height_ax.plot(distance, height, color="#6b5a3a", lw=1.0)
        height_ax.set_ylabel("Height (m)")
        height_ax.set_title(_mpl_text(cycle), loc="left", fontsize=10, fontweight="bold")
        grade_ax.step(distance, gradient, where="post", color="#6b5a3a", lw=0.9)
        grade_ax.axhline(0, color="#999999", lw=0.6)
        grade_ax.set_ylabel("Gradient (%)")
        target = rows["target_speed_km_per_h"].to_numpy(float)
        speed = rows["speed_km_per_h"].to_numpy(float)
        speed_ax.plot(distance, target, color="#888888", ls="--", lw=1.0, label="Target speed")
        speed_ax.plot(distance, speed, color=_colour(cycle, cycles), lw=1.0, label="Achieved speed")
        speed_ax.set_ylim(*speed_limits(target, speed))
        speed_ax.set_ylabel("Speed (km/h)")
        speed_ax.set_xlabel("Distance (km)")
        speed_ax.legend(loc="lower right", fontsize=8)
        for ax in (height_ax, grade_ax):
            ax.tick_params(labelbottom=False)
    return fig


def _route_start_elevation(kilometres):
    """The route's elevation at its start [m], from its first kilometre: the elevation at its end
    less its mean grade over its distance."""
    km = kilometres
    if not km.get("elevation_m"):
        return 0.0
    return km["elevation_m"][0] - km["grade_percent"][0] / 100.0 * km["distance_km"][0] * 1000.0


def _figure_route(Figure, route, rows):
    """One route along its distance: the elevation, under it the target and achieved speed, the
    gear, and the fuel of each kilometre [l/100 km]."""
    km = route.get("kilometres", {})
    fig = Figure(figsize=(10, 8.0), layout="constrained")
    elevation_ax, speed_ax, gear_ax, fuel_ax = fig.subplots(
        4, 1, sharex=True, gridspec_kw={"height_ratios": [2, 2, 1, 1.4]})
    distance = rows["distance_km"].to_numpy(float)
    height = height_profile(distance, rows["gradient_percent"].to_numpy(float)) + _route_start_elevation(km)
    base = min(list(height) + list(km.get("elevation_m") or []) or [0.0])
    elevation_ax.fill_between(distance, height, base, color="#c8b89a", alpha=0.6)
    elevation_ax.plot(distance, height, color="#6b5a3a", lw=1.0, label="Elevation driven")
    ends = np.asarray(km.get("start_km", []), float) + np.asarray(km.get("distance_km", []), float)
    elevation_ax.plot(ends, km.get("elevation_m", []), "o", color="#6b5a3a", ms=2.5, label="At each kilometre's end")
    elevation_ax.set_ylabel("Elevation (m)")
    elevation_ax.set_title(_mpl_text(route.get("name", "")), loc="left", fontsize=10, fontweight="bold")
    _legend_above(elevation_ax, ncol=2)
    target = rows["target_speed_km_per_h"].to_numpy(float)
    speed = rows["speed_km_per_h"].to_numpy(float)
    speed_ax.plot(distance, target, color="#888888", ls="--", lw=1.0, label="Target speed")
    speed_ax.plot(distance, speed, color="#1f6fb4", lw=1.0, label="Achieved speed")
    speed_ax.set_ylim(*speed_limits(target, speed))
    speed_ax.set_ylabel("Speed (km/h)")
    speed_ax.legend(loc="lower right", fontsize=8)
    gear = rows["gear"].to_numpy()
    gear_ax.step(distance, gear, where="post", color="#444444", lw=0.8)
    gear_ax.set_ylim(-0.5, int(max(gear.max(initial=0), 1)) + 0.5)
    gear_ax.set_ylabel("Gear")
    starts = np.asarray(km.get("start_km", []), float)
    widths = np.asarray(km.get("distance_km", []), float)
    with np.errstate(divide="ignore", invalid="ignore"):
        per_100 = np.where(widths > 0, np.asarray(km.get("fuel_l", []), float) / widths * 100.0, np.nan)
    fuel_ax.bar(starts, per_100, width=widths, align="edge", color="#d98b1e", edgecolor="#ffffff", lw=0.5)
    fuel_ax.set_ylabel("Fuel (l/100 km)")
    fuel_ax.set_xlabel("Distance (km)")
    for ax in (elevation_ax, speed_ax, gear_ax):
        ax.tick_params(labelbottom=False)
    if len(distance):
        fuel_ax.set_xlim(0.0, max(float(distance.max()), float(ends.max(initial=0.0))))
    return fig


def _route_table_html(routes):
    """The routes' own figures, a column per route."""
    rows = _rows_of(_core.route_figure_table(), {})
    return _table_html("route-table", routes, rows, lambda r, key: r.get(key),
                       lambda r, key: f"routes.{r.get('name')}.{key}")


def _routes_html(Figure, routes, trace, first_number):
    """The section of a run of routes: their figures as a table, then a figure per route."""
    if not routes:
        return ""
    figures = []
    for k, route in enumerate(routes):
        rows = trace[trace["cycle"] == route.get("name")]
        title = ROUTE_FIGURE_TITLE.format(name=route.get("name", ""))
        figures.append(_figure_html(first_number + k, title, _svg(_figure_route(Figure, route, rows), f"r{k + 1}"),
                                    "Top: the road's elevation along the distance driven. Under it, on the same "
                                    "distance: the driver's target and the speed achieved, the gear (0 = neutral), "
                                    "and the fuel of each kilometre of the route per 100 km."))
    return (f"<section id=\"routes\"><h2>Routes</h2><p class=\"meta\">What the road cost: the time driven "
            "against the time with every target met at once, the time lost and of it on climbs, and the time "
            f"standing at stops. Each route's other figures are its column under Results.</p>"
            f"{_route_table_html(routes)}{''.join(figures)}</section>")


def _energy_terms():
    return [(name, meaning) for name, _unit, meaning in _core.energy_audit_table()]


def _energy_bars(cycles):
    """Per whole cycle (not its phases): its name and, per 100 km driven, the sources' and the
    sinks' terms as (term, kWh) lists. A negative residual (the sinks beyond the sources)
    stands on the sources' side, so that both bars are as tall."""
    bars = []
    for cycle in cycles:
        distance = cycle.get("distance_km") or 0.0
        energy = cycle.get("energy") or {}
        if cycle.get("phase") or distance <= 0 or not energy:
            continue
        sources, sinks = [], []
        for name, _meaning in _energy_terms():
            value = float(energy.get(name, 0.0)) * 100.0 / distance
            if name == "residual_kwh":
                (sinks if value >= 0 else sources).append((name, abs(value)))
            else:
                (sources if name in ENERGY_SOURCES else sinks).append((name, value))
        bars.append((cycle.get("name", ""), sources, sinks))
    return bars


def _term_label(name):
    return name.removesuffix("_kwh").replace("_", " ").capitalize()


def _figure_energy(Figure, cycles):
    bars = _energy_bars(cycles)
    fig = Figure(figsize=(10, 4.8), layout="constrained")
    ax = fig.subplots()
    if not any(value for _name, sources, sinks in bars for _term, value in sources + sinks):
        ax.set_axis_off()
        ax.text(0.5, 0.5, "The run gives no energy audit (every term is 0).", ha="center", va="center")
        return fig
    names = [name for name, _sources, _sinks in bars]
    colours = dict(zip([name for name, _meaning in _energy_terms()],
                       ["#c9362b", "#7f7f7f", "#a0522d", "#2b9ca6", "#6b7f2a", "#8e5bb5", "#c2569b",
                        "#d98b1e", "#1f6fb4", "#333333", "#dddddd"]))
    labelled = set()
    for i, (_name, sources, sinks) in enumerate(bars):
        for offset, terms in ((-0.2, sources), (0.2, sinks)):
            bottom = 0.0
            for term, value in terms:
                label = None if term in labelled else _term_label(term)
                labelled.add(term)
                ax.bar(i + offset, value, bottom=bottom, width=0.36, color=colours.get(term, "#999999"),
                       edgecolor="white", linewidth=0.4, label=label)
                bottom += value
    ax.set_xticks(range(len(names)), [_mpl_text(n) for n in names], rotation=20 if len(names) > 4 else 0,
                  ha="right" if len(names) > 4 else "center")
    ax.set_ylabel("Energy per 100 km (kWh)")
    ax.grid(axis="x", visible=False)
    ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=8,
              title="Left bar: sources\nright bar: sinks", title_fontsize=8)
    return fig


# ------------------------------------------------------------------ HTML parts

_STYLE = """
body{font-family:"DejaVu Sans","Liberation Sans",Arial,sans-serif;color:#222;background:#fff;
margin:0 auto;max-width:1100px;padding:16px 24px;line-height:1.35}
h1{font-size:1.5em;margin:0.2em 0}h2{border-bottom:2px solid #1f6fb4;padding-bottom:2px;
margin-top:1.6em}h3{margin:1.1em 0 0.4em}
table{border-collapse:collapse;margin:0.3em 0 0.8em;font-size:0.92em}
th,td{border:1px solid #ccc;padding:3px 8px;text-align:left;vertical-align:top}
td.n{text-align:right;font-variant-numeric:tabular-nums}
th{background:#eef3f8}th.sub{padding-left:24px;font-weight:normal}tr:nth-child(even) td{background:#fafafa}
.meta{color:#555;font-size:0.9em}.cards{display:flex;flex-wrap:wrap;gap:12px;margin:0.6em 0}
.card{border:1px solid #ccd;border-radius:6px;padding:8px 14px;min-width:150px}
.card .label{font-size:0.85em;color:#555}.card .value{font-size:1.6em;font-weight:bold}
.ok{color:#186a2e}.bad{color:#a00000}tr.error td{background:#fde8e8}
figure{margin:1.2em 0;border-top:1px solid #ddd;padding-top:0.5em}
figcaption{font-weight:bold;margin-bottom:0.3em}figure svg{max-width:100%;height:auto;display:block}
th.sort{cursor:pointer;white-space:nowrap}th.sort[aria-sort=ascending]::after{content:" ▲"}
th.sort[aria-sort=descending]::after{content:" ▼"}.scroll{overflow-x:auto}
.columns{display:flex;flex-wrap:wrap;gap:0 28px;align-items:flex-start}
#summary-table td{white-space:nowrap}
"""


def _page(title, body, script=""):
    script_tag = f"<script>{script}</script>" if script else ""
    return ("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
            "<link rel=\"icon\" href=\"data:,\">"
            f"<title>{_esc(title)}</title><style>{_STYLE}</style></head>\n"
            f"<body>\n{body}\n{script_tag}</body></html>\n")


def _cell(value, decimals, field=None):
    attr = f' data-field="{_esc(field)}"' if field else ""
    return f"<td class=\"n\"{attr}>{_number(value, decimals)}</td>"


def _figure_html(number, title, svg, caption=""):
    extra = f"<p class=\"meta\">{caption}</p>" if caption else ""
    return (f"<figure id=\"figure-{number}\"><figcaption>Figure {number}. {_esc(title)}"
            f"</figcaption>{svg}{extra}</figure>")


# Labels and decimals of the figures, metrics and energy terms the tables list; a value the
# tables gain later is shown under its meaning.
_FIGURE_LABELS = {
    "fuel_economy_km_per_l": ("Fuel economy", 4),
    "fuel_economy_before_transient_km_per_l": ("  before the transient correction", 4),
    "fuel_economy_after_transient_km_per_l": ("  after the transient correction", 4),
    "fuel_economy_after_kf_km_per_l": ("  after the Kf factor", 4),
    "transient_correction": ("Transient correction applied", None),
    "kf": ("Kf factor", 6),
    "average_speed_km_per_h": ("Average speed", 1),
    "distance_km": ("Distance driven", 3),
    "target_distance_km": ("Target distance", 3),
    "fuel_l": ("Fuel used", 3),
    "first_second": ("First second", 0),
    "seconds": ("Seconds", 0),
    "converter_factor": ("Torque-converter factor", 4),
    "fuel_consumption_l_per_100km": ("Fuel consumption", 3),
    "co2_g_per_km": ("CO2", 1),
    "co2_g_per_t_km": ("CO2 per tonne of payload", 2),
    "payload_kg": ("Payload", 0),
}
_METRIC_LABELS = {
    "seconds_below_target": ("Seconds more than 2 km/h below the target", 0),
    "largest_shortfall_km_per_h": ("Largest shortfall below the target", 2),
    "largest_shortfall_second": ("  at second", 0),
    "distance_percent_of_target": ("Distance driven against the target", 2),
    "seconds_at_full_load": ("Seconds at full load", 0),
}
_UNIT_DECIMALS = {"km/l": 4, "km/h": 1, "km": 3, "l": 3, "s": 0, "kg": 0, "kWh": 3, "%": 2}

_CHECK_KINDS = {
    "over_speed": "Achieved speed above the target",
    "over_torque": "Torque demand above the full-load curve",
}

#: The built-in cycles of the standard run, in its order.
STANDARD_CYCLES = ("URBAN", "HIGHWAY", "MID-TOWN")


def _indent(label):
    return ' class="sub"' if label.startswith(" ") else ""


def _rows_of(table, labels):
    """(key, label, unit, decimals, meaning) of each entry of a library table, in its order."""
    rows = []
    for name, unit, meaning, *_ in table:
        label, decimals = labels.get(name, (meaning[:1].upper() + meaning[1:], _UNIT_DECIMALS.get(unit, 4)))
        rows.append((name, label, unit, decimals, meaning))
    return rows


def _shown(value, decimals):
    if isinstance(value, bool):
        return "yes" if value else "no"
    return _number(value, decimals)


def _table_html(table_id, cycles, rows, value_of, field_of):
    """A table of one column per cycle and one row per (key, label, unit, decimals, meaning)."""
    head = "".join(f"<th>{_esc(c.get('name'))}</th>" for c in cycles)
    body = []
    for key, label, unit, decimals, meaning in rows:
        cells = "".join(f"<td class=\"n\" data-field=\"{_esc(field_of(c, key))}\">"
                        f"{_shown(value_of(c, key), decimals)}</td>" for c in cycles)
        body.append(f"<tr><th{_indent(label)} title=\"{_esc(meaning)}\">{_esc(label.strip())}</th>"
                    f"<td>{_esc(unit)}</td>{cells}</tr>")
    return (f"<div class=\"scroll\"><table id=\"{table_id}\"><thead><tr><th>Quantity</th><th>Unit</th>"
            f"{head}</tr></thead><tbody>{''.join(body)}</tbody></table></div>")


def _is_standard(result):
    names = tuple(c.get("name") for c in result.get("cycles", []))
    return names == STANDARD_CYCLES and (result.get("average_fuel_economy_km_per_l") or 0) > 0


def _cards_html(result):
    cycles = result.get("cycles", [])
    by_name = {c.get("name"): c for c in cycles}
    if _is_standard(result):
        shown = (("URBAN", "URBAN"), ("HIGHWAY", "HIGHWAY"), ("AVERAGE", None), ("MID-TOWN", "MID-TOWN"))
    else:
        shown = [(c.get("name"), c.get("name")) for c in cycles if not c.get("phase")]
    cards = []
    for label, cycle in shown:
        if cycle is None:
            value, field = result.get("average_fuel_economy_km_per_l"), "average_fuel_economy_km_per_l"
            per_100 = ""
        else:
            figures = by_name.get(cycle, {})
            value, field = figures.get("fuel_economy_km_per_l"), f"{cycle}.fuel_economy_km_per_l"
            litres = figures.get("fuel_consumption_l_per_100km")
            per_100 = f"<div class=\"label\">{_number(litres, 2)} l/100 km</div>" if litres else ""
        cards.append(f"<div class=\"card\"><div class=\"label\">{_esc(label)}</div><div class=\"value\">"
                     f"<span data-field=\"{_esc(field)}\">{_number(value, 4)}</span> km/l</div>{per_100}</div>")
    return f"<div class=\"cards\">{''.join(cards)}</div>"


def _engineering_html(values):
    if not values:
        return ""
    units = {v["file_name"]: v["unit"] for v in _core.spec_values()}
    items = "; ".join(f"{_esc(name)} = {_esc(f'{value:g}')}{' ' + _esc(units.get(name, '')) if units.get(name) else ''}"
                      for name, value in values.items())
    return (f"<p id=\"engineering\" class=\"meta\">Engineering values: {items}. The figures are this "
            "vehicle's own, not the standard vehicle's of its category.</p>")


def _results_html(result, engineering=None):
    cycles = result.get("cycles", [])
    ratio = result.get("vehicle", {}).get("highway_ratio")
    share = "" if ratio is None or not _is_standard(result) else (
        f"<p class=\"meta\">AVERAGE weighs URBAN and HIGHWAY by distance, with a highway "
        f"share of {_number(ratio * 100 if ratio <= 1 else ratio, 0)} %.</p>")
    figures = _table_html("results-table", cycles, _rows_of(_core.cycle_figure_table(), _FIGURE_LABELS),
                          lambda c, key: c.get(key), lambda c, key: f"{c.get('name')}.{key}")
    metrics = [c for c in cycles if c.get("metrics")]
    following = _table_html("following-table", metrics, _rows_of(_core.cycle_metric_table(), _METRIC_LABELS),
                            lambda c, key: c["metrics"].get(key), lambda c, key: f"{c.get('name')}.metrics.{key}")
    audited = [c for c in cycles if c.get("energy")]
    terms = [(name, _term_label(name), unit, 3, meaning) for name, unit, meaning in _core.energy_audit_table()]
    energy = _table_html("energy-table", audited, terms, lambda c, key: c["energy"].get(key),
                         lambda c, key: f"{c.get('name')}.energy.{key}")

    checks = result.get("run_checks", [])
    if checks:
        groups = {}
        for c in checks:
            groups.setdefault((c.get("cycle"), c.get("kind")), []).append(c.get("second"))
        crows = "".join(
            f"<tr><td>{_esc(cycle)}</td><td>{_esc(_CHECK_KINDS.get(kind, kind))}</td>"
            f"<td class=\"n\" data-check=\"{_esc(cycle)}.{_esc(kind)}\">{len(secs)}</td>"
            f"<td>{_esc(_seconds_as_ranges(secs))}</td></tr>"
            for (cycle, kind), secs in groups.items())
        check_html = (f"<table id=\"checks-table\"><thead><tr><th>Cycle</th><th>Finding</th>"
                      f"<th>Seconds</th><th>Which seconds</th></tr></thead><tbody>{crows}"
                      "</tbody></table>")
    else:
        check_html = ("<p id=\"checks-table\" class=\"ok\">No findings: the vehicle never went "
                      "above the target speed nor asked for more than full-load torque.</p>")
    warnings = result.get("warnings", [])
    if warnings:
        def where(w):
            cycle, second = w.get("cycle") or "", w.get("second") or 0
            return (f"{cycle} second {second}: " if second else f"{cycle}: ") if cycle else ""
        items = "".join(f"<li>{_esc(where(w))}{_esc(w.get('message', w.get('kind', '')))}</li>" for w in warnings)
        warn_html = f"<ul id=\"warnings\" class=\"bad\">{items}</ul>"
    else:
        warn_html = "<p id=\"warnings\" class=\"ok\">No warnings.</p>"
    return (f"<section id=\"results\"><h2>Results</h2>{_cards_html(result)}{share}"
            f"{_engineering_html(engineering)}{figures}<h3>Cycle following</h3>{following}"
            f"<h3>Energy audit</h3><p class=\"meta\">Where each cycle's energy came from (engine work, "
            f"falling road, slowing down) and went (kWh); figure {{energy_figure}} draws it per 100 km.</p>{energy}"
            f"<h3>Run checks</h3>{check_html}<h3>Warnings</h3>{warn_html}</section>")


def _engine_peaks(full_load):
    if full_load is None or len(full_load) == 0:
        return {}
    n = full_load["speed_rpm"].to_numpy(float)
    t = full_load["torque_Nm"].to_numpy(float)
    power = 2 * math.pi * n / 60 * t / 1000
    i, j = int(np.argmax(t)), int(np.argmax(power))
    return {"torque": (t[i], n[i]), "power": (power[j], n[j])}


def _vehicle_html(result, full_load, engineering=None):
    v = result.get("vehicle", {})
    heading = "The vehicle as run, with its engineering values" if engineering else \
        "Standard vehicle of the category"

    def rows(items):
        out = []
        for label, unit, key, decimals in items:
            out.append(f"<tr><th>{_esc(label)}</th>"
                       f"{_cell(v.get(key), decimals, 'vehicle.' + key)}<td>{unit}</td></tr>")
        return "".join(out)

    ident = (f"<tr><th>Name</th><td colspan=\"2\">{_esc(v.get('name', ''))}</td></tr>"
             f"<tr><th>Category</th><td colspan=\"2\" data-field=\"vehicle.category\">"
             f"{_esc(v.get('category', ''))}</td></tr>"
             f"<tr><th>Vehicle type</th><td colspan=\"2\">{_esc(v.get('vehicle_type', ''))}</td></tr>"
             f"<tr><th>Transmission</th><td colspan=\"2\">{_esc(v.get('transmission', ''))}</td></tr>")
    standard = rows((("Gross vehicle weight", "kg", "GVW", 2), ("Curb weight", "kg", "Wcurb", 2),
                     ("Test weight", "kg", "Wtest", 2),
                     ("Highway share", "", "highway_ratio", 2),
                     ("Air resistance coefficient", "N/(km/h)²", "MuAir", 6),
                     ("Rolling resistance coefficient", "N/kg", "MuRoll", 6)))
    engine = rows((("Idle speed", "rpm", "Nidle", 2), ("Rated speed", "rpm", "Nrate", 2),
                   ("Highest speed (Nex)", "rpm", "Nex", 2),
                   ("Clutch-engagement speed (Nes)", "rpm", "Nes", 2),
                   ("Clutch-release speed (Nec)", "rpm", "Nec", 2)))
    peaks = _engine_peaks(full_load)
    if peaks:
        engine += (f"<tr><th>Peak torque</th><td class=\"n\">{peaks['torque'][0]:.0f}</td>"
                   f"<td>N·m at {peaks['torque'][1]:.0f} rpm</td></tr>"
                   f"<tr><th>Peak power</th><td class=\"n\">{peaks['power'][0]:.1f}</td>"
                   f"<td>kW at {peaks['power'][1]:.0f} rpm</td></tr>")
    gear_rows = "".join(
        f"<tr>{_cell(g.get('gear'), 0)}{_cell(g.get('ratio'), 3)}"
        f"{_cell(g.get('efficiency'), 3)}{_cell(g.get('torque_margin'), 3)}{_cell(g.get('DW'), 2)}</tr>"
        for g in v.get("gears", []))
    gears = ("<table id=\"gears-table\"><thead><tr><th>Gear</th><th>Ratio</th><th>Efficiency</th>"
             "<th>Torque margin</th><th>Rotating mass DW (kg)</th></tr></thead>"
             f"<tbody>{gear_rows}</tbody></table>")
    return (f"<section id=\"vehicle\"><h2>Vehicle</h2><div class=\"columns\">"
            f"<div><h3>Vehicle</h3><table>{ident}</table>"
            f"<h3>{heading}</h3><table>{standard}</table></div>"
            f"<div><h3>Engine</h3><table>{engine}</table></div>"
            f"<div><h3>Gears</h3>{gears}</div></div></section>")


def _spec_folder(result):
    """The folder of the run's spec file (its input of role spec), or None."""
    for i in result.get("inputs", []):
        if i.get("role") == "spec" and i.get("path"):
            return os.path.dirname(i["path"])
    return None


def _relative(path, folder):
    """A path as seen from the spec's folder: local folders are not the reader's business."""
    if not path or folder is None:
        return path or ""
    try:
        return os.path.relpath(path, folder)
    except ValueError:  # another drive
        return os.path.basename(path)


def _inputs_html(result):
    program = result.get("program", {})
    folder = _spec_folder(result)
    rows = "".join(
        f"<tr><td>{_esc(i.get('role', ''))}</td><td>{_esc(_relative(i.get('path', ''), folder))}</td>"
        f"<td><code>{_esc(i.get('sha256', ''))}</code></td></tr>"
        for i in result.get("inputs", []))
    return (f"<section id=\"inputs\"><h2>Inputs</h2><p class=\"meta\">"
            f"{_esc(program.get('name', 'hdfe'))} {_esc(program.get('version', ''))}, cycle tables "
            f"{_esc(program.get('cycle_tables_version', ''))}. Files are named from the spec file's "
            "folder.</p>"
            "<table><thead><tr><th>Role</th><th>File</th><th>SHA-256</th></tr></thead>"
            f"<tbody>{rows}</tbody></table></section>")


def _header_html(result, made):
    name = result.get("vehicle", {}).get("name", "")
    folder = _spec_folder(result)
    spec = next((i for i in result.get("inputs", []) if i.get("role") == "spec"), None)
    shown = os.path.join(os.path.basename(folder), os.path.basename(spec["path"])) if spec and folder else ""
    program = result.get("program", {})
    where = f" Spec file <code>{_esc(shown)}</code>." if shown else ""
    return (f"<header><h1>Fuel economy report: {_esc(name)}</h1><p class=\"meta\" id=\"made\">"
            f"Made <time datetime=\"{_esc(made.isoformat(timespec='seconds'))}\">"
            f"{_esc(made.strftime('%Y-%m-%d %H:%M %Z').strip())}</time> by "
            f"{_esc(program.get('name', 'hdfe'))} {_esc(program.get('version', ''))}.{where}</p></header>")


# ------------------------------------------------------------ single vehicle

def _write_page(path, text):
    """Replace the page at ``path`` whole, through the library's atomic writes: a failure
    leaves the old page as it was and no part of the new one."""
    from hdfe import _write_file

    _write_file(path, text, "report")


def _check_page(path, inputs=()):
    """Refuse, before the work, a page that would replace one of ``inputs`` or that can never
    be a regular file (see hdfe._check_output)."""
    from hdfe import _check_output

    _check_output(path, inputs, "report")


def write_report(result_dict, trace_df, full_load_df, motoring_df, fuel_map_df, path, made=None,
                 engineering=None):
    """Write the HTML report of one vehicle's run to ``path``.

    ``result_dict`` is the run's ``to_dict()`` (the CLI's JSON), of the built-in cycles or of
    any others; ``trace_df`` the per-second trace of its cycles; ``full_load_df`` and
    ``motoring_df`` the torque curves (``speed_rpm``, ``torque_Nm``); ``fuel_map_df`` the map
    points (``speed_rpm``, ``torque_Nm``, ``fuel_rate_l_per_h``). ``made`` is the time the
    report gives as its own (default: now); ``engineering`` the engineering values set, by
    their file names (default: those the document's vehicle lists). Returns ``path``.
    """
    matplotlib, Figure = _matplotlib()
    # Keep the cycles in the order the run wrote them.
    order = {c: i for i, c in enumerate(_cycles(trace_df))}
    trace = trace_df.assign(_o=trace_df["cycle"].map(order)) \
        .sort_values(["_o", "second"], kind="stable").drop(columns="_o")
    cycles = result_dict.get("cycles", [])
    parts = [
        (FIGURE_TITLES[0], lambda: _figure_speed(Figure, trace),
         "Dashed: the cycle's target; solid: the speed achieved. Triangles mark the seconds "
         f"more than {SHORTFALL_KM_PER_H:g} km/h below the target. The strip below each cycle "
         "shows the gear (0 = neutral)."),
        (FIGURE_TITLES[1], lambda: _figure_operating_points(Figure, trace, full_load_df, motoring_df, fuel_map_df),
         "Dots: the engine speed and the engine's own torque of each second of each cycle (while "
         "braking, the brakes take what lies below the motoring curve). Contours: specific fuel "
         "consumption interpolated from the fuel map's points (grey), under the full-load curve."),
        (FIGURE_TITLES[2], lambda: _figure_gear_share(Figure, trace),
         "Share of each cycle's seconds spent in each gear; the bars of one cycle add up to 100 %."),
        (FIGURE_TITLES[3], lambda: _figure_fuel(Figure, trace),
         f"Faint line: fuel rate per second; coloured line: its {FUEL_MEAN_SECONDS}-second moving mean "
         "(left axis); black line: fuel used so far (right axis)."),
    ]
    if _graded_cycles(trace):
        parts.append((FIGURE_TITLES[4], lambda: _figure_road(Figure, trace),
                      "For each cycle that is not level: the height integrated from the gradient over "
                      "the distance driven, the gradient, and the speed."))
    parts.append((FIGURE_TITLES[5], lambda: _figure_energy(Figure, cycles),
                  "Per 100 km driven, for each cycle: the left bar stacks the energy's sources, the right "
                  "bar where it went; both are as tall. The residual is what the one-second steps leave "
                  "outside the other terms."))
    figures = []
    with matplotlib.rc_context(_RC):
        for number, (title, build, caption) in enumerate(parts, start=1):
            figures.append(_figure_html(number, title, _svg(build(), f"f{number}"), caption))
        routes = _routes_html(Figure, result_dict.get("routes", []), trace, len(parts) + 1)
    if engineering is None:
        vehicle = result_dict.get("vehicle", {})
        engineering = {v["file_name"]: vehicle[v["file_name"]] for v in _core.spec_values()
                       if v["kind"] == "optional real" and vehicle.get(v["file_name"]) is not None}
    made = made or datetime.datetime.now().astimezone()
    name = result_dict.get("vehicle", {}).get("name", "")
    results = _results_html(result_dict, engineering).replace("{energy_figure}", str(len(parts)))
    body = (f"{_header_html(result_dict, made)}{results}{routes}"
            f"{_vehicle_html(result_dict, full_load_df, engineering)}"
            f"<section id=\"figures\"><h2>Figures</h2>{''.join(figures)}</section>"
            f"{_inputs_html(result_dict)}")
    text = _page(f"hdfe report: {name}", body)
    _write_page(path, text)
    return path


def _package():
    import importlib
    package = importlib.import_module(__package__ or "hdfe")
    if not (hasattr(package, "load_vehicle") and hasattr(package, "run")):
        raise ImportError("the hdfe package is not built with its simulation core (make python)")
    return package


def _input_paths(vehicle, cycles=None, routes=None):
    """The files a vehicle was read from (none for one built in memory), and the cycle and route
    files given (a cycle's or route's source where it names a file)."""
    paths = [f["path"] for f in getattr(vehicle, "files", None) or ()]
    given = []
    for runs in (cycles, routes):
        if runs is None:
            continue
        if isinstance(runs, (str, bytes)) or hasattr(runs, "__fspath__") or not hasattr(runs, "__iter__"):
            runs = [runs]
        given += list(runs)
    for cycle in given:
        name = getattr(cycle, "source", cycle)
        if isinstance(name, (str, bytes)) or hasattr(name, "__fspath__"):
            name = os.fsdecode(name)
            if os.path.isfile(name):
                paths.append(name)
    return paths


def _engineering_of(result):
    """The engineering values a bound Result ran with, by file name; None for another object."""
    values = getattr(getattr(result, "classification", None), "values", None)
    if values is None:
        return None
    return {v["file_name"]: getattr(values, v["name"]) for v in _core.spec_values()
            if v["kind"] == "optional real" and getattr(values, v["name"], None) is not None}


def report(vehicle_or_result, path, vehicle=None, cycles=None, routes=None):
    """Write the HTML report of a vehicle, or of a finished run, to ``path``.

    ``vehicle_or_result`` may be:

    * a vehicle (it has ``full_load``, ``motoring`` and ``fuel_map``), which is
      run here with the trace, over ``cycles`` or along ``routes`` when given (as ``hdfe.run``
      takes them);
    * a result of a run made with ``trace=True`` (it has ``to_dict()`` and
      ``trace``), over any cycles; its vehicle is ``vehicle`` or the result's
      ``source_vehicle``;
    * the path of a spec file, which is loaded and run.

    Returns ``path``.
    """
    obj = vehicle_or_result
    _check_page(path)
    if isinstance(obj, (str, bytes)) or hasattr(obj, "__fspath__"):
        obj = _package().load_vehicle(obj)
    if hasattr(obj, "to_dict") and hasattr(obj, "trace"):
        result = obj
        if cycles is not None or routes is not None:
            raise TypeError("report: cycles and routes go with a vehicle; a result was run over its own")
        if vehicle is None:
            vehicle = getattr(result, "source_vehicle", None)
        if vehicle is None or not hasattr(vehicle, "full_load"):
            raise TypeError("report: pass the vehicle too, report(result, path, vehicle=...)")
        _check_page(path, _input_paths(vehicle))
    elif all(hasattr(obj, a) for a in ("full_load", "motoring", "fuel_map")):
        vehicle = obj
        _check_page(path, _input_paths(vehicle, cycles, routes))
        package = _package()
        if cycles is None and routes is None:
            result = package.run(obj, trace=True)
        elif routes is None:
            result = package.run(obj, trace=True, cycles=cycles)
        else:
            result = package.run(obj, trace=True, routes=routes)
    else:
        raise TypeError(f"report: expected a vehicle, a result or a spec path, "
                        f"not {type(obj).__name__}")
    trace = result.trace
    if trace is None or len(trace) == 0:
        raise ValueError("report: the result holds no trace; run with trace=True")
    return write_report(result.to_dict(), trace, vehicle.full_load, vehicle.motoring,
                        vehicle.fuel_map, path, engineering=_engineering_of(result))


# --------------------------------------------------------------------- batch

_BASE_COLUMNS = ("id", "spec", "status", "message", "category", "urban_km_per_l",
                 "highway_km_per_l", "average_km_per_l", "midtown_km_per_l",
                 "urban_speed_km_per_h", "highway_speed_km_per_h", "midtown_speed_km_per_h",
                 "urban_fuel_l", "highway_fuel_l")
_TEXT_COLUMNS = ("id", "spec", "status", "message", "category", "warnings", "cycle", "phase")
_ECONOMY_COLUMNS = (("urban_km_per_l", "URBAN"), ("highway_km_per_l", "HIGHWAY"),
                    ("average_km_per_l", "AVERAGE"), ("midtown_km_per_l", "MID-TOWN"))
_DECIMALS = {"km_per_l": 4, "km_per_h": 1, "_fuel_l": 3}

#: Above this many rows the batch table shows the first rows only.
MAX_TABLE_ROWS = 5000
#: Above this many rows the batch figures plot an even sample of the rows.
MAX_PLOT_POINTS = 5000


def read_summary(path):
    """Read a batch summary CSV into a DataFrame.

    Text columns stay text (an id ``007`` stays ``007``; an empty message is an
    empty string); every other column is numeric where all its cells are.
    """
    frame = pd.read_csv(path, dtype=str, keep_default_na=False, encoding="utf-8")
    return _normalise_summary(frame)


def _normalise_summary(frame):
    frame = frame.copy()
    for column in frame.columns:
        if column in _TEXT_COLUMNS:
            frame[column] = frame[column].fillna("").astype(str)
        elif frame[column].dtype == object:
            values = frame[column].replace("", np.nan)
            numeric = pd.to_numeric(values, errors="coerce")
            if numeric.notna().sum() == values.notna().sum():
                frame[column] = numeric
    return frame


def _override_columns(frame):
    """Columns after the fixed ones that are not metrics: the spec values overridden.

    Metric columns are lower-case snake_case names; spec-file value names are not.
    """
    return [c for c in frame.columns
            if c not in _BASE_COLUMNS and not re.fullmatch(r"[a-z0-9_]+", str(c))]


#: Override columns that name a vehicle rather than measure it: a fleet whose rows differ in
#: them is not a sweep of them.
NAME_COLUMNS = ("CategoryCode", "VehicleName")


def sweep_parameters(summary, parameters=None):
    """The override columns whose value varies across rows, in the summary's order.

    ``parameters`` lists the override columns; by default they are the columns that are
    neither fixed summary columns nor snake_case metric columns, less the names of
    NAME_COLUMNS (a fleet of several categories is no sweep of CategoryCode).
    """
    if parameters is None:
        columns = [c for c in _override_columns(summary) if c not in NAME_COLUMNS]
    else:
        columns = [c for c in parameters if c in summary.columns]
    return [c for c in columns if summary[c].nunique(dropna=True) > 1]


def sweep_parameter(summary, parameters=None):
    """The one override column whose value varies across rows (see sweep_parameters), or
    None when none or several do."""
    varying = sweep_parameters(summary, parameters)
    return varying[0] if len(varying) == 1 else None


def _is_numeric(series):
    return pd.api.types.is_numeric_dtype(series) and not pd.api.types.is_bool_dtype(series)


def _column_decimals(column):
    for suffix, decimals in _DECIMALS.items():
        if str(column).endswith(suffix):
            return decimals
    return None


def _format_cell(value, decimals):
    if value is None or (isinstance(value, float) and not math.isfinite(value)):
        return "", ""
    if isinstance(value, (int, np.integer)):
        return str(value), str(value)
    if isinstance(value, (float, np.floating)):
        shown = f"{value:.{decimals}f}" if decimals is not None else f"{value:.10g}"
        return shown, repr(float(value))
    return str(value), str(value)


def _plot_sample(frame):
    if len(frame) <= MAX_PLOT_POINTS:
        return frame, ""
    step = math.ceil(len(frame) / MAX_PLOT_POINTS)
    return frame.iloc[::step], f" Every {step}th row is plotted ({len(frame) // step} rows)."


def _economy(frame):
    """The column the rows are ranked and drawn by, and its label: the AVERAGE economy of runs
    of the built-in cycles, else the economy of each row's cycle."""
    for column, label in (("average_km_per_l", "AVERAGE economy"), ("fuel_economy_km_per_l", "fuel economy"),
                          ("km_per_l", "fuel economy")):
        if column in frame and _is_numeric(frame[column]) and (frame[column] > 0).any():
            return column, label
    return None, None


def _varies(frame, column):
    return column in frame and frame[column].nunique(dropna=True) > 1


def _groups(ok):
    """The rows that may be ranked together: of one category (figures of different categories'
    standard vehicles are not comparable) and one cycle. [(label, rows)], in row order."""
    keys = [c for c in ("category", "cycle", "phase") if _varies(ok, c)]
    if not keys:
        return [("", ok)]
    return [(" · ".join(str(v) for v in (key if isinstance(key, tuple) else (key,))), rows)
            for key, rows in ok.groupby(keys if len(keys) > 1 else keys[0], sort=False)]


def _row_name(row, parameters):
    """A row as a reader finds it: its id, spec and the values swept."""
    parts = [_esc(row.get("spec", ""))] if row.get("spec", "") else []
    parts += [f"{_esc(p)} = {_esc(_format_cell(row[p], None)[0])}" for p in parameters]
    return f"row <b>{_esc(row.get('id', ''))}</b>" + (f" ({', '.join(parts)})" if parts else "")


#: The best rows are named for at most this many groups.
MAX_RANKED_GROUPS = 20


def _best_html(ok, parameters):
    column, label = _economy(ok)
    if column is None:
        return ""
    groups = [(name, rows) for name, rows in _groups(ok) if rows[column].notna().any()]
    if not groups:
        return ""
    if len(groups) > 1 and all(rows[column].notna().sum() < 2 for _name, rows in groups):
        return ("<p id=\"best\">No ranking: rows of different categories or cycles are not ranked together, "
                "and each here has one row.</p>")
    if len(groups) == 1:
        best = groups[0][1].loc[groups[0][1][column].idxmax()]
        return f"<p id=\"best\">Best {label}: <b>{best[column]:.4f} km/l</b>, {_row_name(best, parameters)}.</p>"
    items = []
    for name, rows in groups[:MAX_RANKED_GROUPS]:
        best = rows.loc[rows[column].idxmax()]
        items.append(f"<li>{_esc(name)}: <b>{best[column]:.4f} km/l</b>, {_row_name(best, parameters)}</li>")
    more = f"<li>and {len(groups) - MAX_RANKED_GROUPS} more</li>" if len(groups) > MAX_RANKED_GROUPS else ""
    kinds = " and ".join(k for k in ("category", "cycle", "phase") if _varies(ok, k))
    return (f"<p id=\"best\">Best {label} of each {kinds} (rows of different ones are not ranked "
            f"together):</p><ul>{''.join(items)}{more}</ul>")


def _figure_scatter(Figure, ok, parameter):
    fig = Figure(figsize=(8, 6), layout="constrained")
    ax = fig.subplots()
    if parameter is not None and _is_numeric(ok[parameter]):
        points = ax.scatter(ok["urban_km_per_l"], ok["highway_km_per_l"], c=ok[parameter], s=14,
                            cmap="viridis")
        bar = fig.colorbar(points, ax=ax, pad=0.01)
        bar.set_label(_mpl_text(parameter))
        bar.solids.set_rasterized(False)  # no embedded bitmap: the page stays pure SVG
    else:
        groups = ok.groupby(ok["category"] if "category" in ok else pd.Series("", ok.index),
                            sort=True)
        for name, rows in groups:
            ax.scatter(rows["urban_km_per_l"], rows["highway_km_per_l"], s=14,
                       label=_mpl_text(name) or "rows")
        if groups.ngroups <= 30:
            ax.legend(title="Category", fontsize=8, loc="best")
    ax.set_xlabel("Urban fuel economy (km/l)")
    ax.set_ylabel("Highway fuel economy (km/l)")
    return fig


#: At most this many lines (or heat maps) of groups of rows are drawn.
MAX_GROUP_PLOTS = 10


def _sweep_series(rows):
    """The lines of a sweep figure: (label, rows, column, colour). One run of the built-in
    cycles per vehicle: its four economies; else one line per vehicle and cycle."""
    column, _label = _economy(rows)
    several = [c for c in ("spec", "category", "cycle", "phase") if _varies(rows, c)]
    if not several and column == "average_km_per_l":
        return [(label, rows, c, _ECONOMY_COLOURS[c.split("_")[0]])
                for c, label in _ECONOMY_COLUMNS if c in rows and rows[c].notna().any()]
    if column is None:
        return []
    if not several:
        return [(column, rows, column, _PALETTE[0])]
    groups = rows.groupby(several if len(several) > 1 else several[0], sort=False)
    return [(" · ".join(str(v) for v in (key if isinstance(key, tuple) else (key,))), part, column,
             _PALETTE[k % len(_PALETTE)]) for k, (key, part) in enumerate(groups) if k < MAX_GROUP_PLOTS]


def _figure_sweep(Figure, ok, parameter):
    fig = Figure(figsize=(10, 5.2), layout="constrained")
    ax = fig.subplots()
    numeric = _is_numeric(ok[parameter])
    labels = list(dict.fromkeys(ok[parameter].astype(str)))
    series = _sweep_series(ok)
    for label, rows, column, colour in series:
        if numeric:
            rows = rows.sort_values(parameter, kind="stable")
            x = rows[parameter].to_numpy(float)
        else:
            x = rows[parameter].astype(str).map({v: i for i, v in enumerate(labels)}).to_numpy()
        ax.plot(x, rows[column], marker="o" if len(rows) <= 300 or not numeric else None,
                ms=3, lw=1.2 if numeric else 0, color=colour, label=_mpl_text(label))
    column, label = _economy(ok)
    if column is not None and len(_groups(ok)) == 1 and ok[column].notna().any():
        best = ok.loc[ok[column].idxmax()]
        x = float(best[parameter]) if numeric else labels.index(str(best[parameter]))
        ax.annotate(f"best {label} {best[column]:.4f} km/l", (x, best[column]), xytext=(0, 14),
                    textcoords="offset points", ha="center", fontsize=8,
                    arrowprops={"arrowstyle": "-", "color": "#333333"})
    if not numeric:
        ax.set_xticks(range(len(labels)), [_mpl_text(v) for v in labels], rotation=30,
                      ha="right", fontsize=8)
    ax.set_xlabel(_mpl_text(parameter))
    standard = {c for _label, _rows, c, _colour in series} != {column}
    ax.set_ylabel("Fuel economy (km/l)" if standard or label is None else f"{label[:1].upper() + label[1:]} (km/l)")
    ax.legend(loc="lower right", bbox_to_anchor=(1.0, 1.0), ncol=min(max(len(series), 1), 4), fontsize=8,
              borderaxespad=0.2)
    return fig


#: A heat map writes its cells' values when it has at most this many rows and columns.
MAX_ANNOTATED_CELLS = 12


def _figure_heat_map(Figure, ok, parameters):
    """The economy over the grid of two swept parameters, one map per category and cycle."""
    from matplotlib.patches import Rectangle

    first, second = parameters
    column, label = _economy(ok)
    groups = [(name, rows) for name, rows in _groups(ok) if rows[column].notna().any()][:6]
    fig = Figure(figsize=(10, 4.6 * len(groups)), layout="constrained")
    axes = fig.subplots(len(groups), 1, squeeze=False)[:, 0]
    for ax, (name, rows) in zip(axes, groups):
        grid = rows.pivot_table(index=second, columns=first, values=column, aggfunc="mean")
        values = np.ma.masked_invalid(grid.to_numpy(float))
        ax.grid(False)
        mesh = ax.pcolormesh(np.arange(grid.shape[1] + 1), np.arange(grid.shape[0] + 1), values,
                             cmap="viridis", shading="flat")
        step_x = max(1, math.ceil(grid.shape[1] / 16))
        step_y = max(1, math.ceil(grid.shape[0] / 16))
        ax.set_xticks(np.arange(grid.shape[1])[::step_x] + 0.5,
                      [_mpl_text(_format_cell(v, None)[0]) for v in grid.columns[::step_x]], fontsize=8)
        ax.set_yticks(np.arange(grid.shape[0])[::step_y] + 0.5,
                      [_mpl_text(_format_cell(v, None)[0]) for v in grid.index[::step_y]], fontsize=8)
        ax.set_xlabel(_mpl_text(first))
        ax.set_ylabel(_mpl_text(second))
        if name:
            ax.set_title(_mpl_text(name), loc="left", fontsize=10, fontweight="bold")
        if max(grid.shape) <= MAX_ANNOTATED_CELLS:
            middle = np.nanmean(values.filled(np.nan)) if values.count() else 0.0
            for (i, j), value in np.ndenumerate(values.filled(np.nan)):
                if math.isfinite(value):
                    ax.text(j + 0.5, i + 0.5, f"{value:.3f}", ha="center", va="center", fontsize=7,
                            color="black" if value >= middle else "white")
        best = np.unravel_index(np.nanargmax(values.filled(np.nan)), values.shape)
        ax.add_patch(Rectangle((best[1], best[0]), 1, 1, fill=False, edgecolor="#e0007a", linewidth=2))
        bar = fig.colorbar(mesh, ax=ax, pad=0.01)
        bar.set_label(f"{label[:1].upper() + label[1:]} (km/l)")
        bar.solids.set_rasterized(False)
    return fig


_SORT_SCRIPT = """
document.querySelectorAll("table.sortable").forEach(function (table) {
  var heads = table.tHead.rows[0].cells, body = table.tBodies[0];
  Array.prototype.forEach.call(heads, function (th, col) {
    th.addEventListener("click", function () {
      var up = th.getAttribute("aria-sort") !== "ascending";
      Array.prototype.forEach.call(heads, function (h) { h.removeAttribute("aria-sort"); });
      th.setAttribute("aria-sort", up ? "ascending" : "descending");
      var numeric = th.getAttribute("data-type") === "number";
      var rows = Array.prototype.slice.call(body.rows);
      rows.sort(function (a, b) {
        var x = a.cells[col].getAttribute("data-sort"), y = b.cells[col].getAttribute("data-sort");
        if (x === "" || y === "") { return (x === "") - (y === ""); }
        var d = numeric ? parseFloat(x) - parseFloat(y) : x.localeCompare(y);
        return up ? d : -d;
      });
      rows.forEach(function (r) { body.appendChild(r); });
    });
  });
});
"""


def _column_order(frame, swept):
    """The table's columns: id, the swept parameters (the reader's first question), the cycle
    and phase of a per-cycle summary, then the rest in the summary's order."""
    first = [c for c in ("id",) if c in frame.columns] + [c for c in swept if c != "id"]
    first += [c for c in ("cycle", "phase") if c in frame.columns and c not in first]
    return first + [c for c in frame.columns if c not in first]


def write_batch_report(summary, path, parameters=None, title=None):
    """Write the HTML report of a batch summary to ``path``.

    ``summary`` is the DataFrame of ``hdfe.run_batch`` or the path of a summary
    CSV from ``hdfe --batch``. The report holds a sortable table of every row (the swept
    columns first after the id), urban against highway economy, and for a sweep the
    economies against the one parameter varied, or a heat map of the economy over the two
    varied (``parameters`` names the override columns when the default guess does not fit).
    The best row is named by its id, spec and swept values, within each category and cycle:
    a fleet's categories are not ranked together. Rows with ``status`` other than ``ok`` are
    listed but not plotted. Returns ``path``.
    """
    _check_page(path, [] if isinstance(summary, pd.DataFrame) else [summary])
    frame = read_summary(summary) if not isinstance(summary, pd.DataFrame) \
        else _normalise_summary(summary)
    status = frame["status"] if "status" in frame else pd.Series("ok", index=frame.index)
    ok = frame[status == "ok"]
    swept = sweep_parameters(frame, parameters)
    parameter = swept[0] if len(swept) == 1 else None
    matplotlib, Figure = _matplotlib()
    sample, sample_note = _plot_sample(ok)
    economy, economy_label = _economy(ok)
    parts = []
    if {"urban_km_per_l", "highway_km_per_l"} <= set(ok.columns) and len(ok) \
            and ok[["urban_km_per_l", "highway_km_per_l"]].gt(0).any().all():
        parts.append(("Urban against highway fuel economy", lambda: _figure_scatter(Figure, sample, parameter),
                      "One point per successful row." + sample_note))
    if parameter is not None and len(ok) and economy is not None:
        parts.append((f"Fuel economy against {parameter}", lambda: _figure_sweep(Figure, sample, parameter),
                      f"The sweep varies {_esc(parameter)} alone." + sample_note))
    two = len(swept) == 2 and all(_is_numeric(ok[c]) for c in swept)
    if two and len(ok) and economy is not None:
        parts.append((f"{economy_label[:1].upper() + economy_label[1:]} over {swept[0]} and {swept[1]}",
                      lambda: _figure_heat_map(Figure, ok, swept),
                      f"Each cell: the mean {_esc(economy_label)} of the rows with those two values; the best "
                      "cell is framed. Empty cells: no successful row."))
    figures = []
    with matplotlib.rc_context(_RC):
        for number, (caption_title, build, caption) in enumerate(parts, start=1):
            figures.append(_figure_html(number, caption_title, _svg(build(), f"b{number}"), caption))
    if not figures:
        figures.append("<p class=\"meta\">No successful rows to plot.</p>")
    if len(swept) > 2 or (len(swept) == 2 and not two):
        figures.append(f"<p class=\"meta\">{len(swept)} parameters vary "
                       f"({_esc(', '.join(map(str, swept)))}): no sweep figure, which "
                       "needs one parameter, or two numeric ones for a heat map.</p>")
    failed = len(frame) - len(ok)
    headline = (f"<p>{len(frame)} rows: <span class=\"ok\">{len(ok)} ok</span>, "
                f"<span class=\"{'bad' if failed else 'ok'}\">{failed} failed</span>.</p>"
                f"{_best_html(ok, swept)}")

    columns = _column_order(frame, swept)
    shown = frame.iloc[:MAX_TABLE_ROWS][columns]
    heads = "".join(
        f"<th class=\"sort{' swept' if c in swept else ''}\" data-type=\"{'number' if _is_numeric(frame[c]) else 'text'}\">"
        f"{_esc(c)}</th>" for c in columns)
    decimals = [_column_decimals(c) for c in columns]
    status_at = columns.index("status") if "status" in columns else None
    body_rows = []
    for values in shown.itertuples(index=False, name=None):
        cells = []
        for value, d in zip(values, decimals):
            text, key = _format_cell(value, d)
            cls = " class=\"n\"" if isinstance(value, (int, float, np.number)) else ""
            cells.append(f"<td{cls} data-sort=\"{_esc(key)}\">{_esc(text)}</td>")
        row_status = values[status_at] if status_at is not None else "ok"
        cls = "" if row_status == "ok" else " class=\"error\""
        body_rows.append(f"<tr{cls}>{''.join(cells)}</tr>")
    cut = (f"<p class=\"meta\">The table shows the first {MAX_TABLE_ROWS} of {len(frame)} rows; "
           "the summary file holds them all.</p>") if len(frame) > MAX_TABLE_ROWS else ""
    table = (f"<section id=\"summary\"><h2>Summary</h2><p class=\"meta\">Click a column's heading "
             f"to sort by it.</p>{cut}<div class=\"scroll\"><table id=\"summary-table\" "
             f"class=\"sortable\"><thead><tr>{heads}</tr></thead><tbody>{''.join(body_rows)}"
             f"</tbody></table></div></section>")
    title = title or "Batch report"
    made = datetime.datetime.now().astimezone()
    body = (f"<header><h1>{_esc(title)}</h1><p class=\"meta\" id=\"made\">Made "
            f"<time datetime=\"{_esc(made.isoformat(timespec='seconds'))}\">"
            f"{_esc(made.strftime('%Y-%m-%d %H:%M %Z').strip())}</time>.</p>{headline}</header>"
            f"<section id=\"figures\"><h2>Figures</h2>{''.join(figures)}</section>{table}")
    _write_page(path, _page(f"hdfe: {title}", body, _SORT_SCRIPT))
    return path
