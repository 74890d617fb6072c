#!/usr/bin/python3
"""Measures the browser page in headless Chromium: its size, the time from
opening a large dump to its grid shown, the time from a move of the
threshold slider to the new picture redrawn (picture 1 of the example dump,
101 x 80, from a 4000 x 3000 image), and the time the SHA-256 of the
512 MiB dump takes, which the verified patch names.

Writes the 512 MiB sparse dump with 4,000 pictures that bench/pics_list.sh
times `torvel-pics list` on, and a 256 MiB dump with no table end, into
build/web/bench/. For each, opens the page with the block map in place,
gives it the dump and waits until every cell in view is drawn; five runs,
each in a freshly loaded page. Prints the median and the range, as the
page's own clock (from the file input's change to the last cell drawn) and
as seen from outside (from handing the file to the input to the page
saying so).
"""
import statistics
import sys
import tempfile
import time
from pathlib import Path

from browser_test import PagePath, give, open_page, start_browser, wait

Root = Path(__file__).resolve().parents[2]
Work = Root / "build/web/bench"
Runs = 5


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


def time_slider(driver, image):
    """Milliseconds from each threshold's input event to the preview drawn,
    and to the next frame the browser paints, over 33 thresholds."""
    open_page(driver)
    dump = Root / "build/release/examples/example.bin"
    give(driver, "map-file", Root / "examples/MARLOW.INI")
    give(driver, "dump-file", dump)
    wait(driver, "return document.querySelectorAll('.cell[data-drawn]').length == 7", "the grid")
    driver.find_element("css selector", '.cell[data-index="1"]').click()
    give(driver, "image-file", image)
    wait(driver, "return !document.getElementById('preview').hidden", "the preview", timeout=60)
    driver.execute_script("document.getElementById('dither').value = 'floyd-steinberg';")
    return driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const slider = document.getElementById('threshold'), drawn = [], painted = [];
        let level = 0;
        function step() {
          if (level > 256)
            return done([drawn, painted]);
          slider.value = level;
          level += 8;
          const event = new Event('input');
          slider.dispatchEvent(event);
          drawn.push(TorvelPage.importer.timing.redrawn);
          requestAnimationFrame(() => { painted.push(performance.now() - event.timeStamp); setTimeout(step, 0); });
        }
        step();""")


def time_hash(driver):
    open_page(driver)
    give(driver, "dump-file", Work / "table.bin")
    wait(driver, "return document.getElementById('dump-status').textContent.includes('4,000')", "the dump")
    return driver.execute_async_script("""
        const done = arguments[arguments.length - 1], page = TorvelPage.importer.page;
        const begun = performance.now();
        page.hashOf(page.dump(), () => {}).then(() => done(performance.now() - begun));""")


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
            photo = Root / "build/bench/import/photo.jpg"
            image = photo if photo.exists() else Root / "examples/shade.png"
            drawn, painted = time_slider(driver, image)
            print(f"threshold slider, picture 1 (101 x 80) from {image.name}: preview redrawn in "
                  f"median {statistics.median(drawn):.2f} ms (at most {max(drawn):.2f} ms), "
                  f"next frame painted in median {statistics.median(painted):.1f} ms "
                  f"(at most {max(painted):.1f} ms), over {len(drawn)} moves")
            driver.set_script_timeout(120)
            print(f"SHA-256 of table.bin (512 MiB): {time_hash(driver):.0f} ms")
        finally:
            driver.quit()
    return 0


if __name__ == "__main__":
    sys.exit(main())
