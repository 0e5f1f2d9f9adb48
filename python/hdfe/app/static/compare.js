// The compare page: pinned runs side by side, differences against the first in %, and their
// traces overlaid.
"use strict";

(() => {
  const {api, el, fmt, pageData, setPinned} = hdfe;
  let runs = pageData().runs || [];

  function percent(value, base) {
    if (value === null || base === null || value === undefined || base === undefined || base === 0) return null;
    return 100 * (value - base) / Math.abs(base);
  }

  // The rows compared: the average, then each cycle's figures and metrics, by name.
  function rows() {
    const out = [];
    if (runs.some(run => run.average_km_per_l)) {
      out.push({label: "AVERAGE fuel economy (km/l)", decimals: 4, values: runs.map(run => run.average_km_per_l), key: "average"});
    }
    const cycles = [];
    runs.forEach(run => run.cycle_names.forEach(name => { if (!cycles.includes(name)) cycles.push(name); }));
    for (const cycle of cycles) {
      const figures = [];
      runs.forEach(run => run.figures.concat(run.metrics).forEach(row => {
        if (!figures.some(f => f.key === row.key)) figures.push(row);
      }));
      for (const figure of figures) {
        const values = runs.map(run => {
          const k = run.cycle_names.indexOf(cycle);
          const row = run.figures.concat(run.metrics).find(r => r.key === figure.key);
          return k < 0 || !row ? null : row.values[k];
        });
        if (values.every(v => v === null)) continue;
        out.push({label: `${cycle} ${figure.label}${figure.unit ? ` (${figure.unit})` : ""}`, decimals: figure.decimals,
                  values, key: `${cycle}.${figure.key}`});
      }
    }
    return out;
  }

  async function unpin(id) {
    const data = await api("POST", "/api/pin", {id, pinned: false});
    setPinned(data.pinned.length);
    runs = (await api("GET", "/api/compare")).runs;
    render();
  }

  function render() {
    document.getElementById("compare-empty").hidden = runs.length >= 2;
    document.getElementById("compare-card").hidden = runs.length === 0;
    document.getElementById("compare-plots").hidden = runs.length === 0;
    const head = el("tr", {}, el("th", {text: "Figure"}), runs.map((run, k) => el("th", {dataset: {run: run.id}},
      el("div", {text: `${run.id}${k === 0 ? " (baseline)" : ""}`}),
      el("div", {class: "muted", text: run.label}),
      el("button", {type: "button", class: "unpin", onclick: () => unpin(run.id)}, "unpin"))));
    const body = rows().map(row => el("tr", {dataset: {row: row.key}}, el("td", {text: row.label}),
      row.values.map((value, k) => {
        const diff = k === 0 ? null : percent(value, row.values[0]);
        const cell = el("td", {class: diff === null || Math.abs(diff) < 1e-9 ? null : diff > 0 ? "up" : "down",
                               dataset: {run: runs[k].id}}, el("span", {class: "value", text: fmt(value, row.decimals)}));
        if (k > 0) cell.append(el("span", {class: "diff", dataset: {diff: diff === null ? "" : diff.toFixed(2)},
                                           text: diff === null ? "" : `(${diff >= 0 ? "+" : ""}${diff.toFixed(2)} %)`}));
        return cell;
      })));
    document.getElementById("compare-table").replaceChildren(el("thead", {}, head), el("tbody", {}, body));
    const select = document.getElementById("compare-cycle");
    const cycles = [];
    runs.forEach(run => Object.keys(run.trace || {}).forEach(c => { if (!cycles.includes(c)) cycles.push(c); }));
    const chosen = cycles.includes(select.value) ? select.value : cycles[0];
    select.replaceChildren(...cycles.map(c => el("option", {value: c, selected: c === chosen}, c)));
    drawTraces();
  }

  function drawTraces() {
    const cycle = document.getElementById("compare-cycle").value;
    if (!cycle) return;
    plots.overlay("plot-compare-speed", runs, cycle, "speed_km_per_h", "Speed", "Speed (km/h)");
    plots.overlay("plot-compare-fuel", runs, cycle, "cumulative_fuel_l", "Fuel used", "Fuel (l)");
  }

  document.getElementById("compare-cycle").addEventListener("change", drawTraces);
  render();
})();
