// The sweep page: one or two values over their ranges, run by the batch core with live
// progress; the economies as a line or a heat map; a click opens that variant.
"use strict";

(() => {
  const {api, el, fmt, pageData, link} = hdfe;
  const page = pageData();
  const presets = page.presets || {};
  let sweepId = null;
  let timer = null;

  // The form's edits a sweep starts from: the variant given in the address.
  function edits() {
    const out = {values: {}, engine: {}, transmission: {}};
    for (const [name, value] of Object.entries(presets)) {
      if (name.includes(".")) {
        const [group, field] = name.split(".");
        if (out[group]) out[group][field] = value;
      } else {
        out.values[name] = value;
      }
    }
    return out;
  }

  function currentValue(name) {
    if (name in presets) return presets[name];
    return (page.form.values || {})[name] || "";
  }

  function prefill(axis) {
    const name = document.getElementById(`axis${axis}-name`).value;
    const start = document.getElementById(`axis${axis}-start`);
    const stop = document.getElementById(`axis${axis}-stop`);
    const value = parseFloat(currentValue(name));
    if (!name || !Number.isFinite(value) || value === 0) { start.value = ""; stop.value = ""; return; }
    const round = v => String(Number(v.toPrecision(4)));
    start.value = round(value * 0.8);
    stop.value = round(value * 1.2);
    rowsText();
  }

  function axes() {
    const out = [];
    for (const axis of [1, 2]) {
      const name = document.getElementById(`axis${axis}-name`).value;
      if (!name) continue;
      out.push({name, start: document.getElementById(`axis${axis}-start`).value,
                stop: document.getElementById(`axis${axis}-stop`).value,
                steps: document.getElementById(`axis${axis}-steps`).value});
    }
    return out;
  }

  function rowsText() {
    const count = axes().reduce((n, a) => n * (parseInt(a.steps, 10) || 0), 1);
    document.getElementById("sweep-rows").textContent = `${count} row(s)`;
  }

  function showError(error) {
    const node = document.getElementById("sweep-error");
    const errors = error.body && error.body.errors ? Object.entries(error.body.errors).map(([k, v]) => `${k}: ${v}`) : [];
    node.textContent = errors.length ? errors.join("; ") : error.message;
    node.hidden = false;
  }

  async function start(event) {
    event.preventDefault();
    document.getElementById("sweep-error").hidden = true;
    try {
      const state = await api("POST", "/api/sweep", {spec: page.spec, edits: edits(), axes: axes()});
      sweepId = state.id;
      document.getElementById("sweep-start").disabled = true;
      document.getElementById("sweep-cancel").hidden = false;
      document.getElementById("sweep-progress").hidden = false;
      progress(state);
      poll();
    } catch (error) {
      showError(error);
    }
  }

  async function poll() {
    try {
      const state = await api("GET", `/api/sweep/${encodeURIComponent(sweepId)}`);
      progress(state);
      if (state.status === "running") { timer = setTimeout(poll, 150); return; }
      finished(state);
    } catch (error) {
      showError(error);
      document.getElementById("sweep-start").disabled = false;
    }
  }

  function progress(state) {
    const share = state.total ? state.done / state.total : 0;
    document.getElementById("sweep-bar").style.width = `${(100 * share).toFixed(1)}%`;
    document.getElementById("sweep-progress-text").textContent =
      `${state.done} of ${state.total} rows, ${state.seconds.toFixed(1)} s${state.status !== "running" ? ` – ${state.status}` : ""}`;
    document.getElementById("sweep-progress").dataset.status = state.status;
  }

  function variantLink(row, state) {
    const params = [["spec", page.spec]];
    for (const [name, value] of Object.entries(presets)) params.push(["set", `${name}=${value}`]);
    for (const axis of state.axes) params.push(["set", `${axis.name}=${row.values[axis.name]}`]);
    return link("/vehicle", params);
  }

  function finished(state) {
    document.getElementById("sweep-start").disabled = false;
    document.getElementById("sweep-cancel").hidden = true;
    if (state.message) {
      const node = document.getElementById("sweep-error");
      node.textContent = `${state.status}: ${state.message}`;
      node.hidden = false;
    }
    const rows = (state.rows || []);
    const ok = rows.filter(row => row.status === "ok" && row.average_km_per_l !== null);
    document.getElementById("sweep-result").hidden = false;
    document.getElementById("sweep-download").href = `/download/sweep/${encodeURIComponent(state.id)}/summary.csv`;
    const failed = rows.length - ok.length;
    document.getElementById("sweep-summary").textContent =
      `${rows.length} rows in ${state.seconds.toFixed(2)} s${failed ? `, ${failed} failed` : ""}`;
    if (!ok.length) { plots.clear("plot-sweep"); return; }
    const best = ok.reduce((a, b) => (b.average_km_per_l > a.average_km_per_l ? b : a));
    const [first, second] = state.axes;
    let node;
    if (!second) {
      const x = ok.map(row => Number(row.values[first.name]));
      const traces = [["average_km_per_l", "AVERAGE", "#333"], ["urban_km_per_l", "URBAN", "#1f6fb4"],
                      ["highway_km_per_l", "HIGHWAY", "#c9362b"], ["midtown_km_per_l", "MID-TOWN", "#2a9d4b"]]
        .map(([key, name, color]) => ({x, y: ok.map(row => row[key]), name, mode: "lines+markers",
                                       marker: {size: 5}, line: {color}, customdata: ok.map(row => row.id),
                                       hovertemplate: `${first.name} %{x}: %{y:.4f} km/l<extra>${name}</extra>`}));
      traces.push({x: [Number(best.values[first.name])], y: [best.average_km_per_l], name: "Best AVERAGE", mode: "markers",
                   marker: {symbol: "star", size: 16, color: "#e08a00", line: {color: "#000", width: 1}},
                   customdata: [best.id], hovertemplate: `best: ${first.name} %{x}: %{y:.4f} km/l<extra></extra>`});
      node = plots.draw("plot-sweep", traces, {title: {text: `Fuel economy against ${first.name}`}, height: 460,
                                               xaxis: {title: first.name}, yaxis: {title: "Fuel economy (km/l)"}});
    } else {
      const xs = first.values.map(Number), ys = second.values.map(Number);
      const z = ys.map(() => xs.map(() => null));
      const ids = ys.map(() => xs.map(() => null));
      for (const row of ok) {
        const i = ys.indexOf(Number(row.values[second.name])), j = xs.indexOf(Number(row.values[first.name]));
        if (i >= 0 && j >= 0) { z[i][j] = row.average_km_per_l; ids[i][j] = row.id; }
      }
      node = plots.draw("plot-sweep", [
        {type: "heatmap", x: xs, y: ys, z, customdata: ids, colorscale: "Viridis", colorbar: {title: {text: "km/l"}},
         hovertemplate: `${first.name} %{x}, ${second.name} %{y}: %{z:.4f} km/l<extra>AVERAGE</extra>`},
        {type: "scatter", mode: "markers", x: [Number(best.values[first.name])], y: [Number(best.values[second.name])],
         name: "Best AVERAGE", customdata: [best.id], marker: {symbol: "star", size: 16, color: "#e08a00", line: {color: "#000", width: 1}},
         hovertemplate: "best: %{x}, %{y}<extra></extra>"},
      ], {title: {text: `AVERAGE fuel economy over ${first.name} and ${second.name}`}, height: 520,
          xaxis: {title: first.name}, yaxis: {title: second.name}});
    }
    const byId = new Map(rows.map(row => [row.id, row]));
    if (node && !node.dataset.clickBound) {
      node.dataset.clickBound = "1";
      node.on("plotly_click", event => {
        const point = event.points && event.points[0];
        if (!point || point.customdata === null || point.customdata === undefined) return;
        let row = latestRows.get(String(point.customdata));
        // Plotly hands a click to the smallest marker near it: a click on the star opens the best.
        if (event.event && latestBest && nearStar(node, event.event)) row = latestBest;
        if (row) window.location.href = variantLink(row, latestState);
      });
    }
    latestRows = byId;
    latestState = state;
    latestBest = best;
    const top = ok.slice().sort((a, b) => b.average_km_per_l - a.average_km_per_l).slice(0, 10);
    document.getElementById("sweep-best").replaceChildren(
      el("thead", {}, el("tr", {}, state.axes.map(a => el("th", {text: a.name})),
                         ["AVERAGE", "URBAN", "HIGHWAY", "MID-TOWN"].map(n => el("th", {text: `${n} (km/l)`})), el("th", {}))),
      el("tbody", {}, top.map((row, k) => el("tr", {class: k === 0 ? "headline" : null},
        state.axes.map(a => el("td", {text: String(row.values[a.name])})),
        ["average_km_per_l", "urban_km_per_l", "highway_km_per_l", "midtown_km_per_l"].map(key => el("td", {text: fmt(row[key], 4)})),
        el("td", {}, el("a", {href: variantLink(row, state), text: "open"}))))));
  }
  let latestRows = new Map();
  let latestState = null;
  let latestBest = null;

  // Whether a mouse event falls on the star of the best row (the plot's last trace).
  function nearStar(node, mouse) {
    const layout = node._fullLayout, star = node.data[node.data.length - 1];
    if (!layout || !star) return false;
    const box = node.getBoundingClientRect();
    const x = layout.xaxis._offset + layout.xaxis.l2p(star.x[0]);
    const y = layout.yaxis._offset + layout.yaxis.l2p(star.y[0]);
    return Math.hypot(mouse.clientX - box.left - x, mouse.clientY - box.top - y) <= 10;
  }

  async function cancel() {
    if (!sweepId) return;
    try { await api("POST", `/api/sweep/${encodeURIComponent(sweepId)}/cancel`); } catch (error) { showError(error); }
  }

  const base = Object.entries(presets).map(([n, v]) => `${n} = ${v}`);
  document.getElementById("sweep-base").textContent = base.length ? `From the vehicle with: ${base.join(", ")}` : "From the vehicle as saved.";
  document.getElementById("back-link").href = link("/vehicle", [["spec", page.spec], ...Object.entries(presets).map(([n, v]) => ["set", `${n}=${v}`])]);
  for (const axis of [1, 2]) {
    document.getElementById(`axis${axis}-name`).addEventListener("change", () => { prefill(axis); rowsText(); });
    document.getElementById(`axis${axis}-steps`).addEventListener("input", rowsText);
  }
  document.getElementById("sweep-form").addEventListener("submit", start);
  document.getElementById("sweep-cancel").addEventListener("click", cancel);
  prefill(1);
  rowsText();
  window.addEventListener("beforeunload", () => { if (timer) clearTimeout(timer); });
})();
