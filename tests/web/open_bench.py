#!/usr/bin/python3
"""Measures the browser page in headless Chromium: its size, the time from
opening a large dump to its grid shown and to its SHA-256, and the time
from moving the threshold slider to the preview redrawn.

Writes the 512 MiB sparse dump with 4,000 pictures that bench/pics_list.sh
times `torvel-pics list` on, and a 256 MiB dump with no table end, into
build/web/bench/. For each, opens the page with the block map in place,
gives it the dump and waits until every cell in view is drawn; five runs,
each in a freshly loaded page. Prints the median and the range, as the
page's own clock (from the file input's change to the last cell drawn) and
as seen from outside (from handing the file to the input to the page
saying so). The SHA-256 the verified patch names is taken in the
background from the table read on: timed on the 512 MiB dump.

Then, on the example dump, picture 1 (101 x 80) takes a 4,000 x 3,000
picture (Pillow's Mandelbrot set, as PNG and JPEG): timed from handing the
file over to the preview drawn, and from each press of an arrow key on the
threshold slider (the input event's time stamp) to the preview drawn, and
to the next frame, 40 presses each with no dithering and with
Floyd-Steinberg.
"""
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from PIL import Image
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

from browser_test import MapPath, PagePath, give, open_page, set_option, start_browser, wait

Root = Path(__file__).resolve().parents[2]
Work = Root / "build/web/bench"
Runs = 5
Presses = 40


def median_range(values, unit="ms"):
    return (f"median {statistics.median(values):.1f} {unit} "
            f"(range {min(values):.1f} to {max(values):.1f} {unit})")


def write_dumps():
    Work.mkdir(parents=True, exist_ok=True)
    (Work / "big.ini").write_text("[Block1]\nAddr=$400000\nFFOffset=$1000000\nLength=$10000000\n")
    with open(Work / "table.bin", "wb") as f:
        f.truncate(512 << 20)
        f.seek(0xDDF30)
        for i in range(4000):
            a = 0x400000 + i * 0x1000
            f.write(bytes([1 + i % 132, 1 + i % 176, 0, 0, a & 0xFF, a >> 8 & 0x3F, a >> 14 & 0xFF,
                           a >> 22]))
        f.write(b"\xff" * 8)
    with open(Work / "endless.bin", "wb") as f:
        chunk = bytes(range(1, 9)) * (1 << 17)
        for _ in range(256):
            f.write(chunk)


def time_open(driver, dump):
    open_page(driver)
    give(driver, "map-file", Work / "big.ini")
    wait(driver, "return document.getElementById('map-status').textContent.includes('1 block')",
         "the block map")
    begun = time.perf_counter()
    give(driver, "dump-file", dump)
    inside = wait(driver, "const t = TorvelPage.timing; return t.shown && t.shown - t.opened",
                  "the grid", timeout=60)
    outside = (time.perf_counter() - begun) * 1000
    cells = driver.execute_script("return document.querySelectorAll('.cell[data-drawn]').length")
    status = driver.find_element("id", "dump-status").text
    return inside, outside, cells, status


def time_hash(driver):
    open_page(driver)
    give(driver, "map-file", Work / "big.ini")
    give(driver, "dump-file", Work / "table.bin")
    return wait(driver, "const t = TorvelPage.timing; return t.hashed && t.hashed - t.tableRead",
                "the SHA-256", timeout=120)


def write_photos():
    photo = Image.effect_mandelbrot((4000, 3000), (-2.2, -1.2, 1.0, 1.2), 200).convert("RGB")
    for name in ("photo.png", "photo.jpg"):
        if not (Work / name).exists():
            photo.save(Work / name, quality=90)


def time_import(driver, photo):
    open_page(driver)
    subprocess_dump = Work / "example.bin"
    give(driver, "dump-file", subprocess_dump)
    give(driver, "map-file", MapPath)
    wait(driver, "return document.querySelector('.cell[data-index=\"1\"]')", "the grid")
    driver.find_element(By.CSS_SELECTOR, '.cell[data-index="1"]').click()
    begun = time.perf_counter()
    give(driver, "image-file", Work / photo)
    wait(driver, "return !document.getElementById('preview').hidden", "the preview", timeout=60)
    opened = (time.perf_counter() - begun) * 1000
    moves = {}
    slider = driver.find_element(By.ID, "import-threshold")
    for dither in ("none", "floyd-steinberg"):
        set_option(driver, "import-dither", dither)
        drawn, painted = [], []
        for i in range(Presses):
            driver.execute_script("TorvelImport.timing.painted = 0")
            slider.send_keys(Keys.ARROW_RIGHT if i % 2 == 0 else Keys.ARROW_LEFT)
            t = wait(driver, "const t = TorvelImport.timing; return t.painted && t", "the preview drawn")
            drawn.append(t["drawn"] - t["changed"])
            painted.append(t["painted"] - t["changed"])
        moves[dither] = drawn, painted
    return opened, moves


def main():
    write_dumps()
    print(f"page: {PagePath.stat().st_size:,} bytes ({PagePath.stat().st_size / 1024:.1f} KiB)")
    with tempfile.TemporaryDirectory() as temp:
        driver = start_browser(Path(temp) / "profile", Path(temp) / "downloads")
        try:
            for name in ("table.bin", "endless.bin"):
                runs = [time_open(driver, Work / name) for _ in range(Runs)]
                inside = [r[0] for r in runs]
                outside = [r[1] for r in runs]
                print(f"{name}: {runs[-1][3]}; {runs[-1][2]} cells drawn in view")
                print(f"  page's clock: median {statistics.median(inside):.0f} ms "
                      f"(range {min(inside):.0f} to {max(inside):.0f} ms)")
                print(f"  from outside: median {statistics.median(outside):.0f} ms "
                      f"(range {min(outside):.0f} to {max(outside):.0f} ms)")
            hashes = [time_hash(driver) for _ in range(3)]
            print(f"table.bin: SHA-256 of 512 MiB in the background: {median_range([h / 1000 for h in hashes], 's')}")
            write_photos()
            subprocess.run([str(Root / "build/release/examples/make_flash"), "example.bin"], cwd=Work,
                           check=True)
            for photo in ("photo.jpg", "photo.png"):
                opened, moves = time_import(driver, photo)
                print(f"{photo} ({(Work / photo).stat().st_size >> 10} KiB) into picture 1: "
                      f"preview shown {opened:.0f} ms after the file was given")
                for dither, (drawn, painted) in moves.items():
                    print(f"  threshold moved, --dither {dither}: drawn {median_range(drawn)}; "
                          f"next frame {median_range(painted)}")
        finally:
            driver.quit()
    return 0


if __name__ == "__main__":
    sys.exit(main())
