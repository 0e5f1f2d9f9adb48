// The vehicle page: the form and its edits, the check's findings beside the fields, runs and
// their results and plots, saving, pinning and downloads.
"use strict";

(() => {
  const {api, el, fmt, pageData, setPinned, link} = hdfe;
  const page = pageData();
  let vehicle = page.vehicle;
  let current = null;         // the payload of the run shown
  let shownCycle = null;      // the cycle of the speed trace

  const fields = () => Array.from(document.querySelectorAll("#vehicle-form [name]"));

  // ------------------------------------------------------------- the form

  function markChanged() {
    let count = 0;
    for (const input of fields()) {
      const changed = input.value !== input.dataset.saved;
      input.classList.toggle("changed", changed);
      if (changed) count += 1;
    }
    const counter = document.getElementById("edit-count");
    if (counter) counter.textContent = count ? `${count} unsaved edit${count > 1 ? "s" : ""}` : "";
    const sweep = document.getElementById("sweep-link");
    if (sweep) sweep.href = link("/sweep", [["spec", page.spec], ...editList().map(([n, v]) => ["set", `${n}=${v}`])]);
  }

  // The edited fields as [name, value], spec values by their file name.
  function editList() {
    return fields().filter(input => input.value !== input.dataset.saved)
      .map(input => [input.name.startsWith("values.") ? input.name.slice(7) : input.name, input.value]);
  }

  function edits() {
    const out = {values: {}, engine: {}, transmission: {}};
    for (const input of fields()) {
      const [group, name] = input.name.split(".");
      out[group][name] = input.value;
    }
    return out;
  }

  function applyPresets() {
    for (const [name, value] of Object.entries(page.presets || {})) {
      const input = document.querySelector(`#vehicle-form [name="${CSS.escape(name.includes(".") ? name : "values." + name)}"]`);
      if (input) input.value = value;
    }
  }

  function showFieldErrors(errors) {
    document.querySelectorAll(".field-error").forEach(node => { node.textContent = ""; });
    document.querySelectorAll("input.invalid").forEach(node => node.classList.remove("invalid"));
    const rest = [];
    for (const [field, message] of Object.entries(errors || {})) {
      const key = field.includes(".") ? field : `values.${field}`;
      const row = document.querySelector(`tr[data-field="${CSS.escape(key)}"]`);
      if (row) {
        row.querySelector(".field-error").textContent = message;
        const input = row.querySelector("[name]");
        if (input) input.classList.add("invalid");
      } else {
        rest.push(`${field}: ${message}`);
      }
    }
    return rest;
  }

  function status(text, bad) {
    const node = document.getElementById("run-status");
    node.textContent = text;
    node.classList.toggle("bad", Boolean(bad));
  }

  function failure(error) {
    const rest = showFieldErrors(error.body && error.body.errors);
    status(rest.length ? `${error.message}: ${rest.join("; ")}` : error.message, true);
  }

  // ------------------------------------------------------------- check findings

  async function check() {
    const state = document.getElementById("check-status");
    try {
      const data = await api("GET", link("/api/check", [["spec", page.spec]]));
      document.querySelectorAll("ul.findings").forEach(list => list.replaceChildren());
      let errors = 0, warnings = 0;
      for (const finding of data.findings) {
        if (finding.severity === "error") errors += 1; else warnings += 1;
        let list = document.querySelector(`ul.findings[data-field="${CSS.escape(finding.field)}"]`);
        if (!list) list = document.querySelector('ul.findings[data-field="general"]');
        if (!list) continue;
        const where = finding.line ? `${finding.file}:${finding.line}` : finding.file;
        list.append(el("li", {class: finding.severity, dataset: {severity: finding.severity}},
                       `${finding.severity}: ${finding.message} `, el("span", {class: "muted", text: `(${where})`})));
      }
      if (state) state.textContent = errors + warnings ? `Check: ${errors} error(s), ${warnings} warning(s), shown beside the values and files they concern.`
                                                       : "Check: nothing found.";
    } catch (error) {
      if (state) state.textContent = `Check failed: ${error.message}`;
    }
  }

  // ------------------------------------------------------------- runs

  function selectedCycles() {
    const select = document.getElementById("cycle-select");
    return select ? Array.from(select.selectedOptions).map(option => option.value) : [];
  }

  // A cycle file uploaded into the workspace's cycles folder, then chosen for the next run.
  async function uploadCycle(event) {
    const input = event.target;
    const file = input.files[0];
    if (!file) return;
    const body = new FormData();
    body.append("file", file, file.name);
    status(`Uploading ${file.name}…`);
    try {
      const response = await fetch("/api/cycles/upload", {method: "POST", body, credentials: "same-origin",
                                                           headers: {"X-HDFE-Token": hdfe.token}});
      const data = await response.json().catch(() => ({error: response.statusText}));
      if (!response.ok) throw new Error(data.error || `upload failed (${response.status})`);
      const select = document.getElementById("cycle-select");
      const value = `file:${data.cycle}`;
      let option = Array.from(select.options).find(o => o.value === value);
      if (!option) { option = el("option", {value}, data.cycle); select.append(option); }
      option.selected = true;
      status(`${data.cycle}: ${data.duration_s} s, ${fmt(data.distance_km, 3)} km` +
             (data.resampled ? ` (${data.resampled})` : "") + "; chosen for the next run.");
    } catch (error) {
      status(error.message, true);
    } finally {
      input.value = "";
    }
  }

  function selectedRoutes() {
    const select = document.getElementById("route-select");
    return select && select.value ? [select.value] : [];
  }

  function routeSpeed() {
    const input = document.getElementById("route-speed");
    return input && input.value.trim() ? input.value.trim() : null;
  }

  // A route file uploaded into the workspace's routes folder, then chosen for the next run.
  async function uploadRoute(event) {
    const input = event.target;
    const file = input.files[0];
    if (!file) return;
    const body = new FormData();
    body.append("file", file, file.name);
    if (routeSpeed() !== null) body.append("speed_km_per_h", routeSpeed());
    status(`Uploading ${file.name}…`);
    try {
      const response = await fetch("/api/routes/upload", {method: "POST", body, credentials: "same-origin",
                                                           headers: {"X-HDFE-Token": hdfe.token}});
      const data = await response.json().catch(() => ({error: response.statusText}));
      if (!response.ok) {
        const detail = data.errors ? Object.values(data.errors).join("; ") : "";
        throw new Error(detail || data.error || `upload failed (${response.status})`);
      }
      const select = document.getElementById("route-select");
      const value = `file:${data.route}`;
      let option = Array.from(select.options).find(o => o.value === value);
      if (!option) { option = el("option", {value}, data.route); select.append(option); }
      select.value = value;
      status(`${data.route}: ${fmt(data.length_km, 3)} km; chosen for the next run.`);
    } catch (error) {
      status(error.message, true);
    } finally {
      input.value = "";
    }
  }

  async function run() {
    const button = document.getElementById("run-button");
    button.disabled = true;
    status("Running…");
    const started = performance.now();
    try {
      const payload = await api("POST", "/api/run", {spec: page.spec, edits: edits(), cycles: selectedCycles(),
                                                  routes: selectedRoutes(), route_speed_km_per_h: routeSpeed()});
      showFieldErrors({});
      showRun(payload);
      const shown = Math.round(performance.now() - started);
      status(`Figures in ${shown} ms (simulation ${Math.round(payload.seconds * 1000)} ms); drawing the plots…`);
      // The plots follow once the figures are on the screen.
      await new Promise(resolve => requestAnimationFrame(() => setTimeout(resolve, 0)));
      drawRun();
      status(`Figures in ${shown} ms (simulation ${Math.round(payload.seconds * 1000)} ms), plots in ` +
             `${Math.round(performance.now() - started)} ms.`);
      document.getElementById("results").dataset.run = payload.id;
    } catch (error) {
      failure(error);
    } finally {
      button.disabled = false;
    }
  }

  function figureTable(payload) {
    const table = document.getElementById("results-table");
    const head = el("tr", {}, el("th", {text: "Figure"}), payload.cycle_names.map(name => el("th", {text: name})),
                    payload.average_km_per_l ? el("th", {text: "AVERAGE"}) : null);
    const body = payload.figures.map((row, k) => el("tr", {class: k === 0 ? "headline" : null, dataset: {figure: row.key}},
      el("td", {text: row.unit ? `${row.label} (${row.unit})` : row.label}),
      row.values.map((value, c) => el("td", {dataset: {cycle: payload.cycle_names[c]}, text: fmt(value, row.decimals)})),
      payload.average_km_per_l ? el("td", {dataset: {cycle: "AVERAGE"}, text: k === 0 ? fmt(payload.average_km_per_l, 4) : ""}) : null));
    table.replaceChildren(el("thead", {}, head), el("tbody", {}, body));
    const metrics = document.getElementById("metrics-table");
    metrics.replaceChildren(el("thead", {}, el("tr", {}, el("th", {text: "Cycle following"}),
                                                payload.cycle_names.map(name => el("th", {text: name})))),
      el("tbody", {}, payload.metrics.map(row => el("tr", {},
        el("td", {text: row.unit ? `${row.label} (${row.unit})` : row.label}),
        row.values.map(value => el("td", {text: fmt(value, row.decimals)}))))));
  }

  // Each route's own figures: a column per route.
  function routeTable(payload) {
    const table = document.getElementById("route-table");
    const routes = payload.routes || [];
    table.hidden = routes.length === 0;
    if (!routes.length) { table.replaceChildren(); return; }
    table.replaceChildren(
      el("thead", {}, el("tr", {}, el("th", {text: "Route"}), routes.map(r => el("th", {text: r.name})))),
      el("tbody", {}, routes[0].figures.map((figure, k) => el("tr", {dataset: {figure: figure.key}},
        el("td", {text: figure.unit ? `${figure.label} (${figure.unit})` : figure.label}),
        routes.map(r => el("td", {dataset: {route: r.name}, text: fmt(r.figures[k].value, r.figures[k].decimals)}))))));
  }

  function showRun(payload) {
    current = payload;
    document.getElementById("results-empty").hidden = true;
    document.getElementById("results-body").hidden = false;
    document.getElementById("run-plots").hidden = false;
    document.getElementById("run-label").textContent = `${payload.id}: ${payload.label}`;
    figureTable(payload);
    routeTable(payload);
    const warnings = document.getElementById("run-warnings");
    warnings.replaceChildren(
      ...payload.warnings.map(w => el("li", {text: `${w.kind}${w.cycle ? " " + w.cycle : ""}${w.second ? " s " + w.second : ""}: ${w.message}`})),
      ...(payload.findings.length ? [el("li", {text: `${payload.findings.length} second(s) the vehicle could not follow: ` +
        payload.findings.slice(0, 20).map(f => `${f.cycle} s ${f.second} (${f.kind})`).join(", ") +
        (payload.findings.length > 20 ? " …" : "")})] : []));
    for (const a of document.querySelectorAll(".downloads a")) {
      a.href = `/download/run/${encodeURIComponent(payload.id)}/${a.dataset.kind}`;
    }
    const pin = document.getElementById("pin-button");
    pin.disabled = false;
    pin.textContent = "Pin for comparing";
  }

  function drawRun() {
    if (!current) return;
    const cycles = Object.keys(current.trace);
    if (!cycles.includes(shownCycle)) shownCycle = cycles[0];
    let select = document.getElementById("speed-cycle");
    if (!select) {
      select = el("select", {id: "speed-cycle", "aria-label": "cycle of the speed trace",
                             onchange: () => { shownCycle = select.value; plots.speed("plot-speed", current.trace, shownCycle); }});
      document.getElementById("plot-speed").before(el("label", {}, "Speed trace of ", select));
    }
    select.replaceChildren(...cycles.map(c => el("option", {value: c, selected: c === shownCycle}, c)));
    plots.speed("plot-speed", current.trace, shownCycle);
    plots.operating("plot-operating", vehicle, current.trace);
    plots.gearShare("plot-gear-share", current.trace);
    plots.fuel("plot-fuel", current.trace);
    plots.energy("plot-energy", current);
    plots.route("plot-route", (current.routes || [])[0]);
  }

  async function pin() {
    if (!current) return;
    try {
      const data = await api("POST", "/api/pin", {id: current.id, pinned: true});
      setPinned(data.pinned.length);
      const button = document.getElementById("pin-button");
      button.textContent = `Pinned (${data.pinned.length})`;
      button.disabled = true;
    } catch (error) {
      failure(error);
    }
  }

  // ------------------------------------------------------------- saving

  async function save() {
    status("Saving…");
    try {
      const data = await api("POST", "/api/save", {spec: page.spec, edits: edits()});
      showFieldErrors({});
      const box = document.getElementById("save-result");
      const diff = document.getElementById("save-diff");
      box.hidden = false;
      if (data.files.length === 0) {
        diff.replaceChildren(el("p", {class: "muted", text: "Nothing to save: the files hold these values."}));
      } else {
        diff.replaceChildren(
          el("ul", {}, data.changes.map(c => el("li", {}, el("strong", {text: c.field}), `: ${c.old} → ${c.new}`))),
          ...data.files.map(f => el("pre", {dataset: {file: f.name}, text: f.diff})));
      }
      vehicle = await api("GET", link("/api/vehicle", [["spec", page.spec]]));
      for (const input of fields()) {
        const [group, name] = input.name.split(".");
        input.value = vehicle.form[group][name];
        input.dataset.saved = input.value;
      }
      markChanged();
      drawVehicle();
      status(`Saved ${data.files.length} file(s).`);
      check();
    } catch (error) {
      failure(error);
    }
  }

  function reset() {
    for (const input of fields()) input.value = input.dataset.saved;
    showFieldErrors({});
    markChanged();
  }

  // ------------------------------------------------------------- the vehicle's plots and tables

  function dataTable(id, caption, columns, names) {
    const table = document.getElementById(id);
    if (!table) return;
    const rows = columns[names[0][0]].map((_, k) => el("tr", {}, names.map(([key]) => el("td", {text: columns[key][k]}))));
    table.replaceChildren(el("caption", {text: caption}),
                          el("thead", {}, el("tr", {}, names.map(([, label]) => el("th", {text: label})))),
                          el("tbody", {}, rows));
  }

  function drawVehicle() {
    plots.curves("plot-curves", vehicle);
    plots.gears("plot-gears", vehicle);
    plots.map("plot-map", vehicle);
    const c = vehicle.curves;
    dataTable("table-full-load", "Full-load curve", c.full_load, [["speed_rpm", "rpm"], ["torque_Nm", "N·m"]]);
    dataTable("table-motoring", "Motoring curve", c.motoring, [["speed_rpm", "rpm"], ["torque_Nm", "N·m"]]);
    dataTable("table-fuel-map", `Fuel map (idle ${c.idle_fuel_rate_l_per_h} l/h)`, c.fuel_map,
              [["speed_rpm", "rpm"], ["torque_Nm", "N·m"], ["fuel_rate_l_per_h", "l/h"], ["sfc_g_per_kwh", "g/kWh"]]);
  }

  // ------------------------------------------------------------- start

  if (vehicle) {
    applyPresets();
    markChanged();
    for (const input of fields()) input.addEventListener("input", markChanged);
    for (const input of fields()) input.addEventListener("change", markChanged);
    // Values the browser puts back on returning to the page count as edits too.
    window.addEventListener("pageshow", markChanged);
    document.getElementById("run-button").addEventListener("click", run);
    document.getElementById("save-button").addEventListener("click", save);
    document.getElementById("reset-button").addEventListener("click", reset);
    document.getElementById("pin-button").addEventListener("click", pin);
    const cycleUpload = document.getElementById("cycle-upload");
    if (cycleUpload) cycleUpload.addEventListener("change", uploadCycle);
    const routeUpload = document.getElementById("route-upload");
    if (routeUpload) routeUpload.addEventListener("change", uploadRoute);
    document.getElementById("vehicle-form").addEventListener("keydown", event => {
      if (event.key === "Enter" && event.target.tagName === "INPUT") { event.preventDefault(); run(); }
    });
    drawVehicle();
  }
  check();
})();
