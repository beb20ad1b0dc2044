#!/usr/bin/python3
"""kinetra preview in headless Chromium: the page loads, a track-bar slider changes the frame, a
save of the script changes it without a page reload, a broken line shows its diagnostic, and a
curve is drawn and a click on it seeks. Screenshots go to the artefact folder.

    /usr/bin/python3 browser_test.py KINETRA_PROGRAM ARTEFACT_FOLDER  (Debian's python, which has selenium)
"""
import os
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

FRAMES = 24
SCRIPT = "[0-23]\nfill(0,f*4,0,x/20,j/2,{colour},0,0)\n"


def main(program, artefacts):
    os.makedirs(artefacts, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="kinetra-browser-")
    script = os.path.join(folder, "fx.txt")

    def save(text):
        # Written whole under another name and renamed, as editors save.
        with open(script + ".new", "w") as f:
            f.write(text)
        os.replace(script + ".new", script)

    save(SCRIPT.format(colour=4096))
    server = subprocess.Popen([program, "preview", "--script", script, "--size", "320x180", "--frames", str(FRAMES)],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000"):
        options.add_argument(flag)
    browser = None
    try:
        first = server.stdout.readline()
        address = first.split(" on ")[1].split()[0]
        assert address.startswith("http://127.0.0.1:"), first
        browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        wait = WebDriverWait(browser, 20)
        body = lambda name: browser.find_element(By.TAG_NAME, "body").get_attribute("data-" + name)

        def shot(name):
            browser.save_screenshot(os.path.join(artefacts, name + ".png"))

        def picture():
            return browser.find_element(By.ID, "frame-image").screenshot_as_png

        def changes_picture(action, what):
            before = picture()
            action()
            try:
                wait.until(lambda _: picture() != before)
            except Exception:
                shot("failed-" + what.replace(" ", "-"))
                raise AssertionError(what + " did not change the frame")

        browser.get(address)
        wait.until(lambda _: body("shown"))
        browser.execute_script("window.stayed = true")
        shot("1-loaded")

        slider = browser.find_element(By.CSS_SELECTOR, 'input[data-track="8"]')
        changes_picture(lambda: browser.execute_script(
            "arguments[0].value = 4000; arguments[0].dispatchEvent(new Event('input'))", slider), "the slider")
        shot("2-slider")

        version = int(body("script-version"))
        changes_picture(lambda: save(SCRIPT.format(colour=1024)), "a save of the script")
        assert int(body("script-version")) > version
        assert browser.execute_script("return window.stayed === true"), "the page was reloaded"
        shot("3-script-saved")

        save("[0-23]\nfill(0,f*4,0,x/20,j/2,4096,0,0\n")
        wait.until(lambda _: browser.find_elements(By.CSS_SELECTOR, '.diagnostic[data-line="2"]'))
        shot("4-diagnostic")

        save(SCRIPT.format(colour=4096))
        wait.until(lambda _: not browser.find_elements(By.CSS_SELECTOR, ".diagnostic.error"))
        browser.find_element(By.CSS_SELECTOR, '#script li[data-line="2"]').click()
        wait.until(lambda _: browser.find_elements(By.CSS_SELECTOR, "#curves svg polyline"))
        plot = browser.find_elements(By.CSS_SELECTOR, "#curves svg")[1]  # x = f*4
        width = plot.size["width"]
        webdriver.ActionChains(browser).move_to_element_with_offset(plot, int(width * 0.25), 0).click().perform()
        target = round((FRAMES - 1) * 0.75)
        wait.until(lambda _: abs(int(body("frame")) - target) <= 1)
        shot("5-curve-seek")
        print("browser test: passed; screenshots in", artefacts)
    finally:
        if browser:
            browser.quit()
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
