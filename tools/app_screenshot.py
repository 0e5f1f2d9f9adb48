"""Takes the README's picture of the web app: the tractor example run with FinalRatio 2.8, in
Debian's headless Chromium (chromium, chromium-driver, python3-selenium).

    PYTHONPATH=build/python /usr/bin/python3 tools/app_screenshot.py docs/app.png
"""

import logging
import pathlib
import sys
import tempfile
import threading

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait
from werkzeug.serving import make_server

from hdfe.app import create_app

ROOT = pathlib.Path(__file__).resolve().parents[1]


def main(target):
    logging.getLogger("werkzeug").setLevel(logging.ERROR)
    with tempfile.TemporaryDirectory() as workspace:
        app = create_app(workspace, examples=ROOT / "examples")
        server = make_server("127.0.0.1", 0, app, threaded=True)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                         "--window-size=1500,1250", "--force-device-scale-factor=1"):
            options.add_argument(argument)
        options.binary_location = "/usr/bin/chromium"
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        try:
            driver.get(f"http://127.0.0.1:{server.server_port}/?token={app.config['HDFE_TOKEN']}")
            driver.find_element(By.CSS_SELECTOR, 'button[data-example="tractor_TT1_325kW_AMT12"]').click()
            wait = WebDriverWait(driver, 20)
            wait.until(lambda d: d.find_element(By.ID, "check-status").text.startswith("Check:"))
            field = driver.find_element(By.NAME, "values.FinalRatio")
            field.clear()
            field.send_keys("2.8")
            driver.find_element(By.ID, "run-button").click()
            wait.until(lambda d: "plots in" in d.find_element(By.ID, "run-status").text)
            driver.save_screenshot(str(target))
        finally:
            driver.quit()
            server.shutdown()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ROOT / "docs" / "app.png")
