#!/usr/bin/python3
"""The browser page in headless Chromium, opened from a file:// path.

It loads the example dump and block map through the page's file inputs,
checks the grid against `torvel-pics list` and `sheet`, saves picture 4's
BMP and restore patch and compares them with `torvel-pics extract` and
`restore`, brings a PNG into picture 4 and compares the BMP and verified
patch with `import` and `patch`, checks two patches and compares the report
with `check`, feeds bad inputs and checks the page's messages, and checks
that the page asked for nothing but file:, data: and blob: URLs. Saves a
screenshot of the import as build/web/screenshot.png. Needs the release
build and the web build; run it with Debian's /usr/bin/python3
(python3-selenium, python3-pil, chromium-driver).
"""
import json
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from PIL import Image, ImageDraw
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


def run_pics(*args, config=MapPath, fails=False):
    """Standard output, or standard error when the run is to fail."""
    run = subprocess.run([str(Release / "torvel-pics"), "-C", str(config), *args], cwd=Work,
                         capture_output=True)
    check(run.returncode == (1 if fails else 0), f"torvel-pics {' '.join(args)}: {run.stderr}")
    return (run.stderr if fails else run.stdout).decode()


def saved(downloads, name):
    path = downloads / name
    end = time.monotonic() + 10
    while not path.exists() and time.monotonic() < end:
        time.sleep(0.05)
    check(path.exists(), f"the page saved no {name}")
    # Gone, so that the next file of that name keeps it.
    data = path.read_bytes()
    path.unlink()
    return data


def messages(driver):
    return driver.find_element(By.ID, "messages").text


def drawing(driver, selector, scale):
    """The canvas at Selector drawn as show draws: XX for ink, .. for paper."""
    return driver.execute_script(
        "const c = document.querySelector(arguments[0]), s = arguments[1];"
        "const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
        "let t = ''; for (let y = 0; y < c.height; y += s, t += '\\n')"
        " for (let x = 0; x < c.width; x += s) t += d[(y * c.width + x) * 4] ? '..' : 'XX';"
        "return t;", selector, scale)


def grey_levels(driver, selector):
    return bytes(driver.execute_script(
        "const c = document.querySelector(arguments[0]);"
        "const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
        "return Array.from({length: d.length / 4}, (_, i) => d[i * 4]);", selector))


def check_sheet_look(driver):
    """Each cell's canvas holds the pixels of its rectangle on the sheet."""
    for line in run_pics("sheet", "example.bin").splitlines():
        index, x, y, width, height, name = line.split()
        x, y, width, height = map(int, (x, y, width, height))
        cell = Image.open(Work / name).convert("L").crop((x, y, x + width, y + height))
        check(grey_levels(driver, f'.cell[data-index="{index}"] canvas') == cell.tobytes(),
              f"picture {index}'s cell is not drawn as the sheet draws it")


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
    check(drawing(driver, '.cell[data-index="1"] canvas', 2) ==
          run_pics("show", "example.bin", "1").split("\n", 1)[1],
          "picture 1's cell is not drawn as show draws it")
    check_sheet_look(driver)

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


def check_filter_and_map(driver):
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


def write_image(path):
    """A PNG that shows each option's work: a grey ramp with a dark disc,
    wider than picture 4, half of it see-through."""
    image = Image.new("RGBA", (90, 50))
    image.putdata([(x * 255 // 89, 128, 255 - y * 5, 255 if x < 60 else 110) for y in range(50)
                   for x in range(90)])
    ImageDraw.Draw(image).ellipse((20, 8, 54, 42), fill=(30, 20, 10, 255))
    image.save(path)


def set_option(driver, element_id, value):
    driver.execute_script(
        "const e = document.getElementById(arguments[0]);"
        "if (e.type === 'checkbox') e.checked = arguments[1]; else e.value = arguments[1];"
        "e.dispatchEvent(new Event(e.type === 'range' ? 'input' : 'change'));", element_id, value)


def check_import(driver, downloads):
    """Picture 4 with a PNG brought in: the BMP and the verified patch are
    import's and patch's."""
    write_image(Work / "ramp.png")
    give(driver, "image-file", Work / "ramp.png")
    wait(driver, "return !document.getElementById('preview').hidden", "the preview")
    for element_id, value in (("import-fit", "cover"), ("import-threshold", "100"),
                              ("import-dither", "floyd-steinberg"), ("import-invert", True),
                              ("import-background", "black")):
        set_option(driver, element_id, value)
    check(driver.find_element(By.ID, "import-threshold-value").text == "100",
          "the threshold's number is not shown")
    shown = run_pics("import", "example.bin", "4", "ramp.png", "--fit", "cover", "--threshold", "100",
                     "--dither", "floyd-steinberg", "--invert", "--background", "black")
    check(drawing(driver, "#preview-actual", 1) == shown.split("\n", 1)[1],
          "the preview is not what import draws")
    driver.find_element(By.ID, "save-import-bmp").click()
    check(saved(downloads, "picture-4.bmp") == (Work / "picture-4.bmp").read_bytes(),
          "the page's imported picture-4.bmp differs from import's")
    driver.find_element(By.ID, "save-patch").click()
    run_pics("patch", "example.bin", "4", "picture-4.bmp")
    check(saved(downloads, "picture-4.vkp") == (Work / "picture-4.vkp").read_bytes(),
          "the page's picture-4.vkp differs from patch's")
    (Work / "bad.png").write_bytes(b"\x89PNG\r\n\x1a\n" + bytes(40))
    reason = run_pics("import", "example.bin", "4", "bad.png", fails=True).strip()
    give(driver, "image-file", Work / "bad.png")
    wait(driver, "return document.getElementById('messages').textContent", "the bad image's message")
    check(messages(driver) == reason.replace("torvel-pics: cannot", "Cannot") + ".",
          f"on bad.png the page says {messages(driver)!r}, import {reason!r}")
    check(drawing(driver, "#preview-actual", 1) == shown.split("\n", 1)[1],
          "a bad image replaced the one brought in")
    # Picture 5 takes the image, but no patch: it is unmapped.
    driver.find_element(By.CSS_SELECTOR, '.cell[data-index="5"]').click()
    wait(driver, "return !document.getElementById('preview').hidden && "
         "document.getElementById('preview-actual').width == 48", "picture 5's preview")
    driver.find_element(By.ID, "save-patch").click()
    refusal = run_pics("patch", "example.bin", "5", "picture-4.bmp", fails=True)
    check("address 00800000 lies in no block of " in refusal and
          messages(driver) == "Cannot make the patch of picture 5: its address 00800000 lies in no block of MARLOW.INI.",
          f"on picture 5's patch the page says {messages(driver)!r}")
    driver.find_element(By.CSS_SELECTOR, '.cell[data-index="4"]').click()
    return shown


def check_report(*patches):
    """What torvel-pics check prints on Patches, which do not apply."""
    run = subprocess.run([str(Release / "torvel-pics"), "-C", str(MapPath), "check", "example.bin",
                          *patches], cwd=Work, capture_output=True)
    check(run.returncode == 1, f"torvel-pics check {' '.join(patches)} exits {run.returncode}")
    return run.stdout.decode()


def check_patches(driver, downloads, imported):
    """Two patches that collide over picture 4, and a patch that cannot be
    read: the report is check's, the picture is drawn before and after."""
    subprocess.run([str(Release / "torvel"), f"-C{MapPath}", str(Root / "examples/logo.bmp"),
                    "example.bin", "4", "logo.vkp"], cwd=Work, check=True, capture_output=True)
    give(driver, "patch-files", f"{Work / 'picture-4.vkp'}\n{Work / 'logo.vkp'}")
    wait(driver, "return document.querySelector('#check-pictures figure')", "the touched pictures")
    report = check_report("logo.vkp", "picture-4.vkp")
    check(": problem: " in report, "check finds no problem")
    driver.find_element(By.ID, "save-report").click()
    check(saved(downloads, "check-report.txt") == report.encode(), "the page's report differs from check's")
    kinds = driver.execute_script(
        "return [...document.querySelectorAll('#check-report .line')].map(l => l.className.split(' ')[1])")
    check({"note", "problem", "applies", "fails"} <= set(kinds), f"the report's lines are {kinds}")
    figures = driver.execute_script(
        "return [...document.querySelectorAll('#check-pictures figure')].map(f => +f.dataset.index)")
    check(figures == [4], f"the check draws pictures {figures}")
    before, after = (drawing(driver, f"figure.touched canvas:nth-child({n})", 4) for n in (1, 2))
    check(before == run_pics("show", "example.bin", "4").split("\n", 1)[1] and
          after == imported.split("\n", 1)[1], "picture 4 is not drawn before and after the patches")

    (Work / "bad.vkp").write_bytes(b"; a patch\r\n00113000: FF 0G\r\n")
    give(driver, "patch-files", Work / "bad.vkp")
    line = check_report("bad.vkp").split("\n")[0]
    wait(driver, "return document.getElementById('messages').textContent.includes('cannot be read')",
         "the bad patch's message")
    check(f"A patch cannot be read: {line}" in messages(driver), f"on bad.vkp the page says {messages(driver)!r}")
    # Patches opened next take the bad one's place, and its message.
    give(driver, "patch-files", Work / "logo.vkp")
    wait(driver, "return !document.getElementById('messages').textContent", "the message to go")


def take_screenshot(driver):
    """Picture 1 with the example's shaded disc brought in."""
    driver.find_element(By.CSS_SELECTOR, '.cell[data-index="1"]').click()
    for element_id, value in (("import-fit", "contain"), ("import-threshold", "128"),
                              ("import-dither", "atkinson"), ("import-invert", False),
                              ("import-background", "white")):
        set_option(driver, element_id, value)
    give(driver, "image-file", Root / "examples/shade.png")
    wait(driver, "return document.getElementById('preview-caption').textContent == 'shade.png as picture 1'",
         "picture 1's preview")
    driver.execute_script("document.getElementById('side').scrollTop = 0")
    driver.save_screenshot(str(PagePath.parent / "screenshot.png"))


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
            imported = check_import(driver, downloads)
            check_patches(driver, downloads, imported)
            take_screenshot(driver)
            check_filter_and_map(driver)
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
