#!/usr/bin/python3
"""The browser page in headless Chromium, opened from a file:// path.

It loads the example dump and block map through the page's file inputs,
checks the grid against `torvel-pics list`, saves picture 4's BMP and
restore patch and compares them with `torvel-pics extract` and `restore`,
brings in a PNG with import's options and compares the new BMP and the
verified patch with `torvel-pics import` and `patch`, checks two patches
and compares the report with `torvel-pics check`, feeds bad inputs and
checks the page's messages, and checks that the page asked for nothing but
file:, data: and blob: URLs. Saves a screenshot as
build/web/screenshot.png. Needs the release build and the web build; run it
with Debian's /usr/bin/python3 (python3-selenium, chromium-driver).
"""
import json
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

Root = Path(__file__).resolve().parents[2]
PagePath = Root / "build/web/torvel.html"
Release = Root / "build/release"
Work = Root / "build/web/test"
MapPath = Root / "examples/MARLOW.INI"


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def wait(driver, script, what, timeout=10):
    """The value of Script once it is true, run in the page over and over."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = driver.execute_script(script)
        if value:
            return value
        time.sleep(0.02)
    raise Failure(f"timed out waiting for {what}")


def start_browser(profile, downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    # Without the background-networking flags Chromium keeps trying to reach
    # its services, which a closed network refuses.
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync",
                 "--window-size=1280,860", f"--user-data-dir={profile}"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Page.setDownloadBehavior",
                           {"behavior": "allow", "downloadPath": str(downloads)})
    return driver


def open_page(driver):
    # What the browser loaded before the page is not the page's doing.
    driver.get_log("performance")
    driver.get(PagePath.as_uri())
    wait(driver, "return document.body.dataset.ready", "the page to start")


def give(driver, input_id, path):
    driver.find_element(By.ID, input_id).send_keys(str(path))


def load(driver, dump, config=MapPath):
    give(driver, "dump-file", dump)
    give(driver, "map-file", config)


def cells(driver):
    return driver.execute_script(
        "return [...document.querySelectorAll('.cell')].map(c => [+c.dataset.index, c.dataset.drawn,"
        " c.querySelector('.label').innerText])")


def expected_cells(listing):
    """Each list line as the grid's cell shows it: index and size, then the
    offset or unmapped, then past end of dump when the line says so."""
    shown = []
    for line in listing.splitlines():
        index, width, _, height, _, offset, *_ = line.split()
        label = f"{index} {width} x {height}\n{offset}"
        if line.endswith("past end of dump"):
            label += "\npast end of dump"
        shown.append([int(index), "1", label])
    return shown


def run_pics(*args, config=MapPath):
    return subprocess.run([str(Release / "torvel-pics"), "-C", str(config), *args], cwd=Work,
                          check=True, capture_output=True, text=True).stdout


def saved(downloads, name):
    path = downloads / name
    end = time.monotonic() + 10
    while not path.exists() and time.monotonic() < end:
        time.sleep(0.05)
    check(path.exists(), f"the page saved no {name}")
    return path.read_bytes()


def messages(driver):
    return driver.find_element(By.ID, "messages").text


def check_grid_and_files(driver, downloads):
    listing = run_pics("list", "example.bin")
    load(driver, Work / "example.bin")
    expected = expected_cells(listing)
    wait(driver, f"return document.querySelectorAll('.cell[data-drawn]').length == {len(expected)}",
         "the grid's cells")
    check(cells(driver) == expected, f"the grid shows {cells(driver)}, not {expected}")
    check(messages(driver) == "", f"the page says: {messages(driver)}")
    # Picture 1's cell, one pixel in four, as show draws it: 101 wide, so
    # its rows hold bits past the width.
    drawing = driver.execute_script(
        "const c = document.querySelector('.cell[data-index=\"1\"] canvas');"
        "const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
        "let t = ''; for (let y = 0; y < c.height; y += 2, t += '\\n')"
        " for (let x = 0; x < c.width; x += 2) t += d[(y * c.width + x) * 4] ? '..' : 'XX';"
        "return t;")
    check(drawing == run_pics("show", "example.bin", "1").split("\n", 1)[1],
          "picture 1's cell is not drawn as show draws it")

    driver.find_element(By.CSS_SELECTOR, '.cell[data-index="4"]').click()
    wait(driver, "return document.getElementById('picture-text').textContent", "picture 4's rows")
    facts = driver.find_element(By.ID, "picture-facts").text.split("\n")
    check(facts == ["Size", "40 x 24 pixels", "Address", "00413000", "Offset", "00113000",
                    "Bytes", "120"], f"picture 4 shows {facts}")
    driver.find_element(By.ID, "save-bmp").click()
    driver.find_element(By.ID, "save-restore").click()
    run_pics("extract", "example.bin", "4")
    run_pics("restore", "example.bin", "4")
    for name in ("picture-4.bmp", "restore-4.vkp"):
        check(saved(downloads, name) == (Work / name).read_bytes(),
              f"the page's {name} differs from torvel-pics'")
    driver.save_screenshot(str(PagePath.parent / "screenshot.png"))

    Select(driver.find_element(By.ID, "size-filter")).select_by_visible_text("only 40 x 24 (1)")
    check([c[0] for c in cells(driver)] == [4], "the size filter shows more than picture 4")
    for text, message in (("$6", ""), ("abc", "'abc' is not a picture index"),
                          ("7", "Picture 7 is past the end of the picture table, which holds 7 pictures.")):
        box = driver.find_element(By.ID, "jump-index")
        box.clear()
        box.send_keys(text + "\n")
        check(message in messages(driver) and bool(message) == bool(messages(driver)),
              f"going to {text!r}, the page says {messages(driver)!r}")
    check(driver.find_element(By.ID, "picture-title").text == "Picture 6" and len(cells(driver)) == 7,
          "going to $6 did not show picture 6 among all pictures")
    check("run past the end of example.bin" in driver.find_element(By.ID, "picture-note").text and
          not driver.find_element(By.ID, "save-bmp").is_enabled(),
          "picture 6 is not shown as running past the end of the dump")

    # Another block map moves picture 4: the page shows the bytes at its new
    # place, not those it read before.
    shifted = MapPath.read_text().replace("FFOffset=$00100000", "FFOffset=$00100010")
    (Work / "shifted.ini").write_text(shifted)
    driver.find_element(By.CSS_SELECTOR, "#map-edit summary").click()
    driver.find_element(By.ID, "map-text").clear()
    driver.find_element(By.ID, "map-text").send_keys(shifted)
    driver.find_element(By.ID, "map-apply").click()
    driver.find_element(By.CSS_SELECTOR, '.cell[data-index="4"]').click()
    run_pics("restore", "example.bin", "4", "shifted.vkp", config=Work / "shifted.ini")
    wait(driver, "return document.getElementById('picture-text').textContent.startsWith("
         "'; Picture #4\\r\\n00113010')", "picture 4 at its new offset")
    check(driver.execute_script("return document.getElementById('picture-text').textContent") ==
          (Work / "shifted.vkp").read_bytes().decode(), "picture 4's rows under the new map are stale")
    driver.find_element(By.CSS_SELECTOR, "#map-edit summary").click()


def check_import_patch_and_check(driver, downloads):
    """Picture 4 from a PNG, its BMP and verified patch, and a check of it
    beside a patch that collides with it, as the programs make them."""
    driver.execute_cdp_cmd("Page.setDownloadBehavior",
                           {"behavior": "allow", "downloadPath": str(downloads)})
    # The example's own map again, after the shifted one above.
    give(driver, "map-file", MapPath)
    wait(driver, "return document.getElementById('map-status').textContent.startsWith('MARLOW.INI')",
         "the example's block map")
    driver.find_element(By.CSS_SELECTOR, '.cell[data-index="4"]').click()
    image = Root / "examples/shade.png"
    give(driver, "image-file", image)
    wait(driver, "return !document.getElementById('preview').hidden", "the preview")
    Select(driver.find_element(By.ID, "fit")).select_by_visible_text("cover")
    Select(driver.find_element(By.ID, "dither")).select_by_visible_text("floyd-steinberg")
    driver.find_element(By.ID, "invert").click()
    driver.execute_script("const t = document.getElementById('threshold'); t.value = 100;"
                          "t.dispatchEvent(new Event('input'));")
    check(driver.find_element(By.ID, "threshold-value").text == "100", "the threshold shows no 100")
    driver.find_element(By.ID, "save-import-bmp").click()
    driver.find_element(By.ID, "save-patch").click()
    run_pics("import", "example.bin", "4", str(image), "imported.bmp", "--fit", "cover",
             "--threshold", "100", "--dither", "floyd-steinberg", "--invert")
    run_pics("patch", "example.bin", "4", "imported.bmp", "imported.vkp")
    check(saved(downloads, "picture-4.bmp") == (Work / "imported.bmp").read_bytes(),
          "the page's new BMP differs from torvel-pics import's")
    check(saved(downloads, "picture-4.vkp") == (Work / "imported.vkp").read_bytes(),
          "the page's verified patch differs from torvel-pics patch's")
    driver.execute_script("document.getElementById('side').scrollTop = 0")
    driver.save_screenshot(str(PagePath.parent / "screenshot.png"))

    (Work / "other.vkp").write_bytes(b"; collides with picture-4.vkp\r\n00113002: FF 5A\r\n")
    shutil.copy(Work / "imported.vkp", Work / "picture-4.vkp")
    give(driver, "patch-files", "\n".join(str(Work / n) for n in ("picture-4.vkp", "other.vkp")))
    wait(driver, "return !document.getElementById('check-report').hidden", "the check's report")
    report = subprocess.run([str(Release / "torvel-pics"), "-C", str(MapPath), "check", "example.bin",
                             "picture-4.vkp", "other.vkp"], cwd=Work, capture_output=True, text=True)
    check(report.returncode == 1 and "problem" in report.stdout, "torvel-pics check finds no collision")
    shown = driver.find_element(By.ID, "check-report").text
    check(shown + "\n" == report.stdout, f"the page's report {shown!r} is not check's {report.stdout!r}")
    wait(driver, "return document.querySelectorAll('#check-pictures canvas').length == 2",
         "picture 4 before and after")

    (Work / "bad.png").write_bytes(b"not a picture at all\n")
    give(driver, "image-file", Work / "bad.png")
    wait(driver, "return document.getElementById('messages').textContent", "a message on bad.png")
    check("Cannot read image bad.png: not a PNG, JPEG, GIF, BMP or PNM picture" in messages(driver),
          f"on bad.png the page says {messages(driver)!r}")
    (Work / "bad.vkp").write_bytes(b"00113000: XX\n")
    give(driver, "patch-files", Work / "bad.vkp")
    wait(driver, "return document.getElementById('check-report').textContent.includes('bad.vkp:1:')",
         "the report on bad.vkp")
    check(driver.find_element(By.ID, "check-report").text.startswith("bad.vkp:1:11: "),
          f"the page reports {driver.find_element(By.ID, 'check-report').text!r} on bad.vkp")


def check_bad_inputs(driver):
    (Work / "short.bin").write_bytes(bytes(100))
    (Work / "empty.bin").write_bytes(b"")
    (Work / "zeros.bin").write_bytes(bytes(1 << 20))
    (Work / "nomap.ini").write_text("[Block2]\nAddr=$400000\n[Block1]\n")
    (Work / "huge.ini").write_bytes(b";" * (17 << 20))
    cases = (
        ("dump-file", "short.bin", "short.bin ends before entry 0 of the picture table, at offset "
         "000DDF30: with 100 bytes it is not a dump, or only the start of one."),
        ("dump-file", "empty.bin", "empty.bin is empty: a dump is the whole flash of a phone"),
        ("dump-file", "zeros.bin", "zeros.bin holds no pictures: its picture table ends with its "
         "first entry, at offset 000DDF30. Is it a dump?"),
        ("map-file", "nomap.ini", "nomap.ini maps no address: it holds no [Block1] section with keys."),
        ("map-file", "huge.ini", "huge.ini is too large for a block map: 17.0 MiB, at most 16.0 MiB."),
        ("map-text", "Addr=$400000", "the typed map maps no address"),
    )
    for input_id, text, message in cases:
        load(driver, Work / "example.bin")
        wait(driver, "return document.querySelectorAll('.cell').length == 7", "the grid again")
        if input_id == "map-text":
            driver.find_element(By.CSS_SELECTOR, "#map-edit summary").click()
            driver.find_element(By.ID, input_id).clear()
            driver.find_element(By.ID, input_id).send_keys(text)
            driver.find_element(By.ID, "map-apply").click()
        else:
            give(driver, input_id, Work / text)
        wait(driver, "return document.getElementById('messages').textContent", f"a message on {text}")
        check(message in messages(driver), f"on {text} the page says {messages(driver)!r}")
        check(cells(driver) == [], f"on {text} the page still shows a grid")
    # A block map dropped on the page, after all that, still opens the table.
    driver.execute_script(
        "const files = new DataTransfer();"
        "files.items.add(new File([arguments[0]], 'dropped.ini'));"
        "document.getElementById('grid').dispatchEvent("
        " new DragEvent('drop', {dataTransfer: files, bubbles: true}));", MapPath.read_text())
    wait(driver, "return document.querySelectorAll('.cell[data-drawn]').length == 7", "the grid after a drop")
    check(driver.find_element(By.ID, "map-status").text == "dropped.ini: 2 blocks",
          "the dropped block map is not in use")


def check_requests(driver):
    """Every URL the page asked for is the page's own or made in it."""
    urls = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.requestWillBeSent":
            urls.append(message["params"]["request"]["url"])
        elif message["method"].startswith("Network.webSocket"):
            urls.append(message["params"].get("url", "ws:"))
    check(any(url.startswith("file:") for url in urls), "the log shows not even the page's own load")
    outside = [url[:80] for url in urls if not url.startswith(("file:", "data:", "blob:"))]
    check(not outside, f"the page asked for {outside}")
    errors = [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    check(not errors, f"the browser's console shows errors: {errors}")


def main():
    for needed in (PagePath, Release / "torvel-pics", Release / "examples/make_flash"):
        if not needed.exists():
            print(f"browser_test: {needed} is missing: build the release and web presets first",
                  file=sys.stderr)
            return 1
    shutil.rmtree(Work, ignore_errors=True)
    Work.mkdir(parents=True)
    subprocess.run([str(Release / "examples/make_flash"), "example.bin"], cwd=Work, check=True)
    with tempfile.TemporaryDirectory() as temp:
        downloads = Path(temp) / "downloads"
        try:
            driver = start_browser(Path(temp) / "profile", downloads)
        except WebDriverException as error:
            print(f"browser_test: cannot start Chromium: {error.msg}", file=sys.stderr)
            return 1
        try:
            open_page(driver)
            check_grid_and_files(driver, downloads)
            check_import_patch_and_check(driver, Path(temp) / "downloads-2")
            check_bad_inputs(driver)
            check_requests(driver)
        except (Failure, WebDriverException) as failure:
            print(f"browser_test: FAILED: {failure}", file=sys.stderr)
            driver.save_screenshot(str(Work / "failure.png"))
            return 1
        finally:
            driver.quit()
    print(f"browser_test: the page works; screenshot in {PagePath.parent / 'screenshot.png'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
