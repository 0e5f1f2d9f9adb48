// The app's plots, drawn with Plotly (served by the app itself): a vehicle's curves, map and
// gears; a run's speed trace, operating points, gear shares, fuel and energy audit, its route
// by distance; runs
// overlaid; a sweep's economies.
"use strict";

const plots = (() => {
  const CYCLE_COLOURS = {"URBAN": "#1f6fb4", "HIGHWAY": "#c9362b", "MID-TOWN": "#2a9d4b"};
  const PALETTE = ["#1f6fb4", "#c9362b", "#2a9d4b", "#8e44ad", "#e08a00", "#16a2b8", "#6d4c41", "#d81b60"];
  const CONFIG = {responsive: true, displaylogo: false, scrollZoom: false,
                  modeBarButtonsToRemove: ["toImage", "sendDataToCloud", "lasso2d", "select2d"]};
  const BASE = {margin: {l: 60, r: 20, t: 64, b: 45}, hovermode: "closest", dragmode: "zoom",
                font: {family: "system-ui, DejaVu Sans, sans-serif", size: 12},
                title: {x: 0.01, xanchor: "left", y: 0.98, yanchor: "top"},
                legend: {orientation: "h", x: 0, y: 1.0, xanchor: "left", yanchor: "bottom"},
                paper_bgcolor: "#fff", plot_bgcolor: "#fff"};

  function colour(name, k) { return CYCLE_COLOURS[name] || PALETTE[k % PALETTE.length]; }
  function layout(extra) {
    const out = Object.assign({}, BASE, extra);
    if (extra && extra.title) out.title = Object.assign({}, BASE.title, extra.title);
    if (extra && extra.legend) out.legend = Object.assign({}, BASE.legend, extra.legend);
    return out;
  }
  function draw(id, traces, extra) {
    const node = document.getElementById(id);
    if (!node || typeof Plotly === "undefined") return null;
    Plotly.react(node, traces, layout(extra), CONFIG);
    return node;
  }
  function clear(id) {
    const node = document.getElementById(id);
    if (node && typeof Plotly !== "undefined") Plotly.purge(node);
  }
  function note(id, text) {
    const node = document.getElementById(id);
    if (node) node.replaceChildren(hdfe.el("p", {class: "muted", text}));
  }

  // ------------------------------------------------------------- the vehicle

  function curves(id, data) {
    const c = data.curves;
    return draw(id, [
      {x: c.full_load.speed_rpm, y: c.full_load.torque_Nm, name: "Full load", mode: "lines+markers",
       marker: {size: 3}, line: {color: "#000"}},
      {x: c.motoring.speed_rpm, y: c.motoring.torque_Nm, name: "Motoring", mode: "lines+markers",
       marker: {size: 3}, line: {color: "#777", dash: "dashdot"}},
    ], {title: {text: "Full-load and motoring torque"}, xaxis: {title: "Engine speed (rpm)"},
        yaxis: {title: "Torque (N·m)"}});
  }

  // A colour scale that gives each band between two contour levels its own colour, green
  // (lowest consumption) to red, however unevenly the levels are spaced.
  const BANDS = ["#1a9850", "#66bd63", "#a6d96a", "#d9ef8b", "#fee08b", "#fdae61", "#f46d43", "#d73027", "#a50026"];
  function levelScale(levels) {
    const low = levels[0], span = levels[levels.length - 1] - levels[0] || 1;
    const scale = [];
    for (let k = 0; k + 1 < levels.length; k++) {
      const colour = BANDS[Math.round(k * (BANDS.length - 1) / Math.max(1, levels.length - 2))];
      scale.push([(levels[k] - low) / span, colour], [(levels[k + 1] - low) / span, colour]);
    }
    return scale;
  }

  // The map's specific consumption: a coloured field (``filled``) and its contour lines with
  // their labels, the map's points and the curves.
  function mapTraces(data, filled) {
    const traces = [];
    const sfc = data.sfc || {};
    if (sfc.sfc_g_per_kwh) {
      const levels = sfc.levels;
      if (filled) {
        traces.push({type: "heatmap", x: sfc.speed_rpm, y: sfc.torque_Nm, z: sfc.sfc_g_per_kwh, name: "g/kWh",
                     zmin: levels[0], zmax: levels[levels.length - 1], zauto: false, colorscale: levelScale(levels),
                     opacity: 0.5, colorbar: {title: {text: "g/kWh"}, len: 0.8, tickvals: levels},
                     hovertemplate: "%{x:.0f} rpm, %{y:.0f} N·m: %{z:.0f} g/kWh<extra></extra>"});
      }
      for (const line of sfc.lines) {
        traces.push({type: "scatter", mode: "lines", x: line.x, y: line.y, name: `${line.level} g/kWh`,
                     line: {color: "#40606e", width: 0.8}, hoverinfo: "skip", showlegend: false});
      }
      traces.push({type: "scatter", mode: "text", x: sfc.lines.map(l => l.label_x), y: sfc.lines.map(l => l.label_y),
                   text: sfc.lines.map(l => String(l.level)), textfont: {size: 10, color: "#2a4450"},
                   hoverinfo: "skip", showlegend: false, name: "levels"});
    }
    const m = data.curves.fuel_map;
    traces.push({type: "scatter", mode: "markers", x: m.speed_rpm, y: m.torque_Nm, name: "Map points",
                 marker: {size: 4, color: "#555", symbol: "circle-open"},
                 customdata: m.fuel_rate_l_per_h.map((f, k) => [f, m.sfc_g_per_kwh[k]]),
                 hovertemplate: "%{x:.0f} rpm, %{y:.0f} N·m<br>%{customdata[0]:.3f} l/h, %{customdata[1]:.0f} g/kWh<extra></extra>"});
    const c = data.curves;
    traces.push({type: "scatter", mode: "lines", x: c.full_load.speed_rpm, y: c.full_load.torque_Nm,
                 name: "Full load", line: {color: "#000", width: 2}});
    traces.push({type: "scatter", mode: "lines", x: c.motoring.speed_rpm, y: c.motoring.torque_Nm,
                 name: "Motoring", line: {color: "#666", dash: "dashdot"}});
    return traces;
  }

  // The torque range of the map plots: the motoring curve to the full-load curve, with room.
  function torqueRange(data) {
    const c = data.curves;
    const top = Math.max(...c.full_load.torque_Nm), bottom = Math.min(0, ...c.motoring.torque_Nm);
    return [bottom * 1.3 - 0.02 * top, top * 1.08];
  }

  function map(id, data) {
    const sfc = data.sfc || {};
    return draw(id, mapTraces(data, true), {
      title: {text: "Fuel map: specific consumption (g/kWh)" + (sfc.note ? ` – ${sfc.note}` : "")},
      xaxis: {title: "Engine speed (rpm)"}, yaxis: {title: "Engine torque (N·m)", range: torqueRange(data)}, height: 480});
  }

  function gears(id, data) {
    const g = data.gears || {};
    if (!g.gears) { note(id, g.note || "no gear plot"); return null; }
    const traces = g.gears.map((gear, k) => ({
      x: gear.speed_rpm, y: gear.road_km_per_h, mode: "lines", name: `${gear.gear}`,
      line: {color: PALETTE[k % PALETTE.length], width: 1.5},
      hovertemplate: `gear ${gear.gear} (ratio ${gear.ratio}): %{x:.0f} rpm, %{y:.1f} km/h<extra></extra>`}));
    const top = Math.max(...g.gears.map(gear => Math.max(...gear.road_km_per_h)));
    const marks = [["idle", g.idle_rpm], ["rated", g.rated_rpm], ["max", g.max_rpm]];
    const shapes = marks.map(([, rpm]) => ({type: "line", x0: rpm, x1: rpm, y0: 0, y1: top, line: {color: "#aaa", dash: "dot"}}));
    const annotations = marks.map(([label, rpm]) => ({x: rpm, y: top, text: label, showarrow: false, yshift: 8, font: {size: 10}}));
    return draw(id, traces, {title: {text: `Gears (final ratio ${g.final_ratio})`},
                             xaxis: {title: "Engine speed (rpm)"}, yaxis: {title: "Road speed (km/h)", rangemode: "tozero"},
                             shapes, annotations, legend: {title: {text: "gear"}, orientation: "v", x: 1.02, y: 1, yanchor: "top"}});
  }

  // ------------------------------------------------------------- a run

  function speed(id, trace, cycle) {
    const t = trace[cycle];
    if (!t) { clear(id); return null; }
    const missedSet = new Set(t.missed || []);
    const mx = [], my = [];
    t.second.forEach((s, k) => { if (missedSet.has(s)) { mx.push(s); my.push(t.speed_km_per_h[k]); } });
    return draw(id, [
      {x: t.second, y: t.target_speed_km_per_h, name: "Target", mode: "lines", line: {color: "#888", dash: "dash", width: 1}},
      {x: t.second, y: t.speed_km_per_h, name: "Achieved", mode: "lines", line: {color: colour(cycle, 0), width: 1.3}},
      {x: mx, y: my, name: `Missed (${mx.length} s)`, mode: "markers",
       marker: {symbol: "triangle-down", size: 8, color: "#e08a00"}},
      {x: t.second, y: t.gear, name: "Gear", mode: "lines", line: {shape: "hv", color: "#444", width: 1}, yaxis: "y2"},
    ], {title: {text: `Speed trace: ${cycle}`}, hovermode: "x unified", height: 460,
        xaxis: {title: "Time (s)", anchor: "y2"}, yaxis: {title: "Speed (km/h)", domain: [0.3, 1], rangemode: "tozero"},
        yaxis2: {title: "Gear", domain: [0, 0.22], rangemode: "tozero", dtick: 2}});
  }

  function operating(id, vehicleData, trace) {
    const points = Object.keys(trace).map((cycle, k) => {
      const t = trace[cycle];
      // The engine's own torque: the model's demand runs below the motoring curve when the
      // brakes help, which no operating point of the engine does.
      return {type: "scatter", mode: "markers", x: t.engine_speed_rpm, y: t.engine_own_torque_Nm,
              name: `${cycle} (${t.second.length} s)`, marker: {size: 4, opacity: 0.4, color: colour(cycle, k)},
              customdata: t.second, hovertemplate: `${cycle} s %{customdata}: %{x:.0f} rpm, %{y:.0f} N·m<extra></extra>`};
    });
    return draw(id, mapTraces(vehicleData, false).concat(points), {
      title: {text: "Engine operating points over the fuel map (contours in g/kWh)"}, height: 480,
      xaxis: {title: "Engine speed (rpm)"}, yaxis: {title: "Engine torque (N·m)", range: torqueRange(vehicleData)}});
  }

  function gearShare(id, trace) {
    const cycles = Object.keys(trace);
    let top = 0;
    cycles.forEach(c => { top = Math.max(top, ...trace[c].gear); });
    const gearsList = Array.from({length: top + 1}, (_, g) => g);
    const traces = cycles.map((cycle, k) => {
      const counts = new Array(top + 1).fill(0);
      trace[cycle].gear.forEach(g => { counts[g] += 1; });
      const n = trace[cycle].gear.length || 1;
      return {type: "bar", x: gearsList.map(g => (g === 0 ? "N" : String(g))), y: counts.map(c => 100 * c / n),
              name: cycle, marker: {color: colour(cycle, k)},
              hovertemplate: `${cycle} gear %{x}: %{y:.1f} %<extra></extra>`};
    });
    return draw(id, traces, {title: {text: "Time share per gear"}, barmode: "group",
                             xaxis: {title: "Gear (N = neutral)", type: "category"}, yaxis: {title: "Share of cycle time (%)"}});
  }

  function fuel(id, trace) {
    const traces = [];
    Object.keys(trace).forEach((cycle, k) => {
      const t = trace[cycle];
      traces.push({x: t.second, y: t.fuel_rate_l_per_h, name: `${cycle} rate`, mode: "lines",
                   line: {color: colour(cycle, k), width: 0.8}, opacity: 0.6});
      traces.push({x: t.second, y: t.cumulative_fuel_l, name: `${cycle} used`, mode: "lines", yaxis: "y2",
                   line: {color: colour(cycle, k), width: 2.2}});
    });
    return draw(id, traces, {title: {text: "Fuel rate and fuel used"}, hovermode: "x unified",
                             margin: {l: 60, r: 60, t: 64, b: 45},
                             xaxis: {title: "Time (s)"}, yaxis: {title: "Fuel rate (l/h)"},
                             yaxis2: {title: "Fuel used (l)", overlaying: "y", side: "right", rangemode: "tozero"}});
  }

  function energy(id, payload) {
    if (!payload.energy || payload.energy.length === 0) { clear(id); document.getElementById(id).hidden = true; return null; }
    document.getElementById(id).hidden = false;
    const terms = payload.energy.map(row => row.key.replace(/_kwh$/, "").replace(/_/g, " "));
    const traces = payload.cycle_names.map((cycle, k) => ({
      type: "bar", orientation: "h", y: terms, x: payload.energy.map(row => row.values[k]), name: cycle,
      customdata: payload.energy.map(row => row.label || ""),
      marker: {color: colour(cycle, k)}, hovertemplate: `${cycle} %{y}: %{x:.3f} kWh<br>%{customdata}<extra></extra>`}));
    return draw(id, traces, {title: {text: "Energy audit (kWh)"}, barmode: "group", height: 420,
                             margin: {l: 150, r: 20, t: 40, b: 45}, yaxis: {autorange: "reversed"},
                             xaxis: {title: "Energy (kWh)"}});
  }

  // A route by distance: its elevation, and beneath it on the same distance axis the speed
  // and the fuel (l/100 km) of each kilometre.
  function route(id, entry) {
    const node = document.getElementById(id);
    if (!entry) { clear(id); if (node) node.hidden = true; return null; }
    if (node) node.hidden = false;
    const km = entry.kilometres;
    const middle = km.start_km.map((start, k) => start + km.distance_km[k] / 2);
    const ends = km.start_km.map((start, k) => start + km.distance_km[k]);
    const per100 = km.fuel_l.map((fuel, k) => (km.distance_km[k] > 0 ? 100 * fuel / km.distance_km[k] : null));
    const heights = km.elevation_m.filter(h => h !== null);
    const low = heights.length ? Math.min(...heights) : 0;
    return draw(id, [
      {x: [0].concat(ends), y: [km.elevation_m[0]].concat(km.elevation_m), name: "Elevation", mode: "lines",
       fill: "tozeroy", line: {color: "#6d4c41", width: 1.5}, hovertemplate: "km %{x:.1f}: %{y:.0f} m<extra></extra>"},
      {x: middle, y: km.average_speed_km_per_h, name: "Speed per km", type: "bar", width: km.distance_km,
       marker: {color: "#1f6fb4", opacity: 0.5}, yaxis: "y2", hovertemplate: "km %{x:.1f}: %{y:.1f} km/h<extra></extra>"},
      {x: middle, y: per100, name: "Fuel per km", mode: "lines+markers", marker: {size: 4},
       line: {color: "#c9362b", width: 1.5}, yaxis: "y3", hovertemplate: "km %{x:.1f}: %{y:.1f} l/100 km<extra></extra>"},
    ], {title: {text: `Route ${entry.name}: elevation, speed and fuel by distance`}, height: 480, hovermode: "x",
        margin: {l: 60, r: 60, t: 64, b: 45},
        xaxis: {title: "Distance (km)", anchor: "y2", range: [0, ends.length ? ends[ends.length - 1] : 1]},
        yaxis: {title: "Elevation (m)", domain: [0.58, 1], range: [low, heights.length ? Math.max(...heights) + 1 : 1]},
        yaxis2: {title: "Speed (km/h)", domain: [0, 0.5], rangemode: "tozero"},
        yaxis3: {title: "Fuel (l/100 km)", overlaying: "y2", side: "right", rangemode: "tozero"}});
  }

  // ------------------------------------------------------------- runs overlaid

  function overlay(id, runs, cycle, column, title, ytitle) {
    const traces = runs.filter(run => run.trace && run.trace[cycle]).map((run, k) => ({
      x: run.trace[cycle].second, y: run.trace[cycle][column], mode: "lines", name: `${run.id}: ${run.label}`,
      line: {color: PALETTE[k % PALETTE.length], width: 1.2}}));
    if (column === "speed_km_per_h" && runs.length && runs[0].trace[cycle]) {
      traces.unshift({x: runs[0].trace[cycle].second, y: runs[0].trace[cycle].target_speed_km_per_h, mode: "lines",
                      name: "Target", line: {color: "#999", dash: "dash", width: 1}});
    }
    return draw(id, traces, {title: {text: `${title}: ${cycle}`}, hovermode: "x unified",
                             xaxis: {title: "Time (s)"}, yaxis: {title: ytitle}, height: 420});
  }

  return {curves, map, gears, speed, operating, gearShare, fuel, energy, route, overlay, clear, note, PALETTE, draw};
})();
