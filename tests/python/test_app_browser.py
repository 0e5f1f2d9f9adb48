"""The web app in a real headless Chromium (Selenium with Debian's chromium-driver): one
browser session walks through opening an example, editing, running, saving, zooming, pinning
and comparing, sweeping and uploading a fuel map, as a user would."""

import json
import logging
import re
import subprocess
import threading
import time

import pytest

from conftest import ROOT

pytest.importorskip("flask", reason="the app needs Debian's python3-flask (tools/deps.sh python)")

TRACTOR = "tractor_TT1_325kW_AMT12"
CHROMEDRIVER = "/usr/bin/chromedriver"


@pytest.fixture(scope="module")
def served(binding, tmp_path_factory):
    """The app on a free loopback port, in threads of this process."""
    from werkzeug.serving import make_server

    from hdfe.app import create_app

    logging.getLogger("werkzeug").setLevel(logging.ERROR)
    workspace = tmp_path_factory.mktemp("ws")
    app = create_app(workspace, examples=ROOT / "examples")
    server = make_server("127.0.0.1", 0, app, threaded=True)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield f"http://127.0.0.1:{server.server_port}", app.config["HDFE_TOKEN"], workspace
    server.shutdown()


@pytest.fixture(scope="module")
def driver():
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        pytest.fail("selenium is not installed: tools/deps.sh test installs python3-selenium")
    import headless

    if headless.chromium_path() is None or not __import__("os").access(CHROMEDRIVER, __import__("os").X_OK):
        pytest.fail("chromium or chromium-driver is not installed: tools/deps.sh test installs them")
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1400,1000", "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"):
        options.add_argument(argument)
    options.binary_location = headless.chromium_path()
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    browser = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    browser.set_script_timeout(10)
    yield browser
    browser.quit()


def wait(driver, condition, timeout=10.0, what="the page"):
    from selenium.webdriver.support.ui import WebDriverWait

    return WebDriverWait(driver, timeout, poll_frequency=0.02).until(lambda d: condition(d), f"waiting for {what}")


def by_css(driver, selector):
    from selenium.webdriver.common.by import By

    return driver.find_element(By.CSS_SELECTOR, selector)


def set_field(driver, name, value):
    field = by_css(driver, f'[name="values.{name}"]')
    field.clear()
    field.send_keys(value)


def run_and_read(driver):
    """Presses Run; returns the figures shown (URBAN and AVERAGE, as the page writes them) and
    the time the page took to show them [ms]."""
    before = by_css(driver, "#results").get_attribute("data-run")
    by_css(driver, "#run-button").click()
    wait(driver, lambda d: by_css(d, "#results").get_attribute("data-run") not in (None, before), what="the run")
    status = by_css(driver, "#run-status").text
    shown = int(re.search(r"Figures in (\d+) ms", status).group(1))
    row = 'tr[data-figure="fuel_economy_km_per_l"]'
    return (by_css(driver, f'{row} td[data-cycle="URBAN"]').text,
            by_css(driver, f'{row} td[data-cycle="AVERAGE"]').text, shown)


def binding_motoring(folder):
    import hdfe
    return hdfe.load_vehicle(folder / "spec.txt").motoring["torque_Nm"]


def plot_range(driver, plot, axis="xaxis"):
    return driver.execute_script(f"return document.getElementById('{plot}')._fullLayout.{axis}.range.slice();")


def test_the_app_in_a_browser(served, driver, hdfe_binary, tmp_path):
    from selenium.webdriver.common.action_chains import ActionChains

    base, token, workspace = served
    started = time.perf_counter()

    # Open the printed address, then an example.
    driver.get(f"{base}/?token={token}")
    assert driver.current_url == f"{base}/"  # the token went into a cookie
    by_css(driver, f'button[data-example="{TRACTOR}"]').click()
    wait(driver, lambda d: "/vehicle?" in d.current_url, what="the vehicle page")
    wait(driver, lambda d: by_css(d, "#check-status").text.startswith("Check:"), what="the check")
    assert by_css(driver, "#check-status").text == "Check: nothing found."
    assert by_css(driver, '[name="values.FinalRatio"]').get_attribute("value") == "2.64"

    # Change FinalRatio, run, save; the figures are the program's for the saved files.
    set_field(driver, "FinalRatio", "2.8")
    urban, average, shown_ms = run_and_read(driver)
    assert shown_ms < 500, f"the figures took {shown_ms} ms to show"
    by_css(driver, "#save-button").click()
    wait(driver, lambda d: "+2.8   FinalRatio" in by_css(d, "#save-diff").text, what="the saved diff")
    folder = workspace / "examples" / TRACTOR
    subprocess.run([hdfe_binary, "spec.txt", str(tmp_path / "results.txt"), "--json", str(tmp_path / "run.json")],
                   cwd=folder, check=True, capture_output=True)
    program = json.loads((tmp_path / "run.json").read_text())
    assert urban == f"{program['cycles'][0]['fuel_economy_km_per_l']:.4f}"
    assert average == f"{program['average_fuel_economy_km_per_l']:.4f}"
    by_css(driver, "#pin-button").click()
    wait(driver, lambda d: by_css(d, "#pinned-count").text == "1", what="the pin")

    # Zoom the speed trace: drag across its plot area.
    full = plot_range(driver, "plot-speed")
    area = by_css(driver, "#plot-speed .nsewdrag")
    ActionChains(driver).move_to_element_with_offset(area, -150, 0).click_and_hold() \
        .move_by_offset(120, 0).release().perform()
    wait(driver, lambda d: plot_range(d, "plot-speed") != full, what="the zoom")
    zoomed = plot_range(driver, "plot-speed")
    assert full[0] <= zoomed[0] < zoomed[1] <= full[1] and zoomed[1] - zoomed[0] < 0.3 * (full[1] - full[0])

    # A second run, pinned; the compare page shows both and the difference.
    set_field(driver, "FinalRatio", "3")
    urban3, average3, _ = run_and_read(driver)
    by_css(driver, "#pin-button").click()
    wait(driver, lambda d: by_css(d, "#pinned-count").text == "2", what="the second pin")
    by_css(driver, "#nav-compare").click()
    wait(driver, lambda d: d.find_elements("css selector", '#compare-table tr[data-row="average"]'), what="compare")
    cells = driver.find_elements("css selector", '#compare-table tr[data-row="average"] td[data-run]')
    assert [cell.find_element("css selector", ".value").text for cell in cells] == [average, average3]
    expected = 100 * (float(average3) - float(average)) / float(average)
    diff = float(cells[1].find_element("css selector", ".diff").get_attribute("data-diff"))
    assert abs(diff - expected) < 0.01 and f"({diff:+.2f} %)" in cells[1].text  # shown rounded: 4 decimals
    assert len(driver.execute_script("return document.getElementById('plot-compare-speed').data")) == 3

    # A sweep from the vehicle as edited; a click on the best point opens that variant.
    driver.back()
    wait(driver, lambda d: "/vehicle?" in d.current_url, what="the vehicle page again")
    set_field(driver, "FinalRatio", "3")
    by_css(driver, "#sweep-link").click()
    wait(driver, lambda d: "/sweep?" in d.current_url, what="the sweep page")
    assert by_css(driver, "#axis1-start").get_attribute("value") == "2.4"
    steps = by_css(driver, "#axis1-steps")
    steps.clear()
    steps.send_keys("1000")
    by_css(driver, "#sweep-start").click()
    wait(driver, lambda d: by_css(d, "#sweep-progress").get_attribute("data-status") == "done", 20, "the sweep")
    assert by_css(driver, "#sweep-progress-text").text.startswith("1000 of 1000 rows")
    best = by_css(driver, "#sweep-best tbody tr").find_elements("css selector", "td")
    best_ratio, best_average = best[0].text, best[1].text
    star = driver.find_elements("css selector", "#plot-sweep .scatterlayer .trace")[-1] \
        .find_element("css selector", ".points path")
    ActionChains(driver).move_to_element(star).click().perform()
    wait(driver, lambda d: "/vehicle?" in d.current_url, what="the variant")
    assert by_css(driver, '[name="values.FinalRatio"]').get_attribute("value") == best_ratio
    assert "changed" in by_css(driver, '[name="values.FinalRatio"]').get_attribute("class")
    assert run_and_read(driver)[1] == best_average

    # An engineering run: the tractor as saved over the HD-UDDS with CdA 4.5 gives the program's l/100 km.
    by_css(driver, "#reset-button").click()
    set_field(driver, "CdA", "4.5")
    from selenium.webdriver.support.ui import Select
    Select(by_css(driver, "#cycle-select")).select_by_value("lib:hd-udds")
    before = by_css(driver, "#results").get_attribute("data-run")
    by_css(driver, "#run-button").click()
    wait(driver, lambda d: by_css(d, "#results").get_attribute("data-run") not in (None, before), what="the cycle run")
    shown = by_css(driver, 'tr[data-figure="fuel_consumption_l_per_100km"] td[data-cycle="hd-udds"]').text
    program = subprocess.run([hdfe_binary, "spec.txt", "--cycle", "hd-udds", "--set", "CdA=4.5", "--json", "-"],
                             cwd=folder, check=True, capture_output=True)
    assert shown == f"{json.loads(program.stdout)['cycles'][0]['fuel_consumption_l_per_100km']:.3f}"
    assert driver.execute_script("return document.getElementById('plot-energy').data.length") == 1
    operating = driver.execute_script("return document.getElementById('plot-operating').data.slice(-1)[0].y")
    assert min(operating) >= min(binding_motoring(folder)) - 1e-9

    # The example route with the same edits: its own figures and its plot by distance.
    Select(by_css(driver, "#cycle-select")).deselect_all()
    Select(by_css(driver, "#route-select")).select_by_value("example:depot-run.csv")
    before = by_css(driver, "#results").get_attribute("data-run")
    by_css(driver, "#run-button").click()
    wait(driver, lambda d: by_css(d, "#results").get_attribute("data-run") not in (None, before), what="the route run")
    program = subprocess.run([hdfe_binary, "spec.txt", "--route", "../routes/depot-run.csv", "--set", "CdA=4.5",
                              "--json", "-"], cwd=folder, check=True, capture_output=True)
    route = json.loads(program.stdout)["routes"][0]
    assert by_css(driver, '#route-table tr[data-figure="time_lost_s"] td[data-route="depot-run"]').text == \
        f"{route['time_lost_s']:.0f}"
    assert driver.execute_script("return document.getElementById('plot-route').data.length") == 3
    Select(by_css(driver, "#route-select")).select_by_value("")

    # A fuel map in g/h uploaded in place of the vehicle's: the check's warning shows beside it.
    lines = (ROOT / "examples" / TRACTOR / "fuelmap.txt").read_text().splitlines()
    grams = tmp_path / "fuelmap_g_per_h.txt"
    grams.write_text("\n".join(lines[:2] + [" ".join(l.split()[:2] + [str(float(l.split()[2]) * 835)])
                                            for l in lines[2:]]) + "\n")
    row = by_css(driver, 'tr[data-role="fuel_map"]')
    row.find_element("css selector", 'input[type="file"]').send_keys(str(grams))
    row.find_element("css selector", 'button[type="submit"]').click()
    warning = 'ul.findings[data-field="file.fuel_map"] li'
    wait(driver, lambda d: d.find_elements("css selector", warning), what="the fuel map's warning")
    assert "g/h" in by_css(driver, warning).text and by_css(driver, warning).get_attribute("data-severity") == "warning"

    errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == []
    assert time.perf_counter() - started < 30
