#!/usr/bin/python3
"""Reads a casting server's page in headless Chromium and downloads a cast.

usage: browse_casts.py URL DOWNLOAD_DIR GAME [SCREENSHOT]

Prints one JSON object: the table's rows as the browser shows them (game,
state, the Watch link's target) and the path of the archive that clicking
GAME's Download link saved; with SCREENSHOT, a picture of the page goes
there first. Exit status 1 with a message when the browser
cannot be driven or the download never completes.
"""

import json
import os
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


def browser(download_dir):
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage"):
        options.add_argument(argument)
    options.add_experimental_option("prefs", {
        "download.default_directory": download_dir,
        "download.prompt_for_download": False,
    })
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def rows(driver):
    shown = []
    for row in driver.find_elements(By.CSS_SELECTOR, "tr.live, tr.finished"):
        cells = row.find_elements(By.TAG_NAME, "td")
        watch = row.find_element(By.LINK_TEXT, "Watch").get_attribute("href")
        shown.append({"game": cells[0].text, "state": cells[1].text, "watch": watch})
    return shown


def download(driver, download_dir, game, deadline_seconds=60):
    for row in driver.find_elements(By.CSS_SELECTOR, "tr.finished"):
        if row.find_elements(By.TAG_NAME, "td")[0].text == game:
            row.find_element(By.LINK_TEXT, "Download").click()
            break
    else:
        raise RuntimeError("no finished row for " + game)
    # Chromium writes NAME.crdownload and renames it once the body is whole.
    deadline = time.monotonic() + deadline_seconds
    while time.monotonic() < deadline:
        done = [name for name in os.listdir(download_dir) if name.endswith(".qmx")]
        if done:
            return os.path.join(download_dir, done[0])
        time.sleep(0.1)
    raise RuntimeError("the download did not complete: " + str(os.listdir(download_dir)))


def main():
    url, download_dir, game = sys.argv[1:4]
    driver = browser(download_dir)
    try:
        driver.set_window_size(900, 320)
        driver.get(url)
        if len(sys.argv) > 4:
            driver.save_screenshot(sys.argv[4])
        result = {"title": driver.title, "rows": rows(driver)}
        result["downloaded"] = download(driver, download_dir, game)
    finally:
        driver.quit()
    print(json.dumps(result))


if __name__ == "__main__":
    try:
        main()
    except Exception as error:  # the test shows the reason
        print("browse_casts: %s" % error, file=sys.stderr)
        sys.exit(1)
