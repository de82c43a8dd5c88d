"""The page in Debian's headless Chromium, driven through WebDriver as a person drives it.

Chromium starts with a profile of its own, with every background connection of its own turned off,
so that whatever the browser fetches is the page's doing.
"""

import contextlib
import io
import shutil
import tempfile

from PIL import Image
from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
QUIET_FLAGS = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--disable-default-apps", "--disable-extensions", "--no-default-browser-check"]


@contextlib.contextmanager
def chromium(scale=1, width=800, height=700, headless=True):
    """A Chromium at that device pixel ratio, its window width x height CSS pixels; headless, or on
    the display with no word that software drives it."""
    profile = tempfile.mkdtemp(prefix="tablinor-chromium-")
    options = Options()
    options.binary_location = CHROMIUM
    for flag in QUIET_FLAGS + [f"--user-data-dir={profile}", f"--force-device-scale-factor={scale}",
                               f"--window-size={width},{height}"] + (["--headless=new"] if headless else []):
        options.add_argument(flag)
    options.add_experimental_option("excludeSwitches", ["enable-automation"])
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    try:
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


def open_page(driver, page):
    """Opens the page from disk and waits for the main window to show with its picture."""
    driver.get("file://" + str(page))
    wait_shown(driver, "Form1")


def shown(driver, window):
    return driver.execute_script(
        "const w = document.getElementById(arguments[0]);"
        "return !!w && getComputedStyle(w).display !== 'none' && getComputedStyle(w).visibility === 'visible';",
        window)


def wait_shown(driver, window, timeout=10):
    WebDriverWait(driver, timeout, poll_frequency=0.02).until(lambda d: shown(d, window), f"{window} did not show")


def wait_gone(driver, window, timeout=10):
    WebDriverWait(driver, timeout, poll_frequency=0.02).until(lambda d: not shown(d, window), f"{window} did not go")


def element(driver, window, control=None):
    return driver.find_element(By.ID, window if control is None else f"{window}.{control}")


def rect(driver, window, control=None):
    """An element's (left, top, width, height) in CSS pixels, in the viewport."""
    box = element(driver, window, control).rect
    return round(box["x"]), round(box["y"]), round(box["width"]), round(box["height"])


def insert_text(driver, text):
    """Text as an input method or an on-screen keyboard commits it, any character at all."""
    driver.execute_cdp_cmd("Input.insertText", {"text": text})


def copy(driver, text):
    """Puts text on the browser's own clipboard with Ctrl+C from a scratch box of the page, as a
    person copies it from another page, and returns what the clipboard carries of it (Ctrl+V into
    that box): a clipboard cannot hold every text. The keyboard focus is left on the page itself."""
    utf16 = text.encode("utf-16-le", "surrogatepass")  # code units, as WebDriver cannot carry half a character
    driver.execute_script(
        "const box = document.createElement('textarea');"
        "box.id = 'scratch';"
        "box.value = String.fromCharCode(...arguments[0]);"
        "document.body.append(box);"
        "box.select();", [int.from_bytes(utf16[i:i + 2], "little") for i in range(0, len(utf16), 2)])
    (ActionChains(driver, duration=0).key_down(Keys.CONTROL).send_keys("c").key_up(Keys.CONTROL).send_keys(Keys.DELETE)
     .key_down(Keys.CONTROL).send_keys("v").key_up(Keys.CONTROL).perform())
    return driver.execute_script(
        "const box = document.getElementById('scratch');"
        "box.remove();"
        "return box.value;")


def convert(driver, page, number):
    """Opens the page, types the number into the entry and clicks the picture's head to convert it."""
    open_page(driver, page)
    element(driver, "Form1", "Text1").click()
    insert_text(driver, number)
    element(driver, "Form1", "Label2").click()
    wait_shown(driver, "Form2")


def next_frame(driver):
    """Waits until the browser has painted what the last event changed."""
    driver.execute_async_script(
        "const done = arguments[0]; requestAnimationFrame(() => requestAnimationFrame(() => done()));")


def screenshot(driver):
    """The viewport as the screen shows it, in device pixels."""
    next_frame(driver)
    return Image.open(io.BytesIO(driver.get_screenshot_as_png())).convert("RGB")


def console(driver):
    """What the page wrote to the console since the last call."""
    return [entry["message"] for entry in driver.get_log("browser")]
