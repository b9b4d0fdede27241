"""Time to interactive of episode timelines in headless Chromium: each page is loaded
`rounds` times in turn (a fresh tab each time) and timed from navigation start to the first
frame painted after its load event, when the page answers input. Prints medians and ratios.

    time_to_interactive.py ROUNDS NAME=PARENT [NAME=PARENT...]

Every parent renders the same generated 2,000-record episode with --replay."""
import os
import statistics
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "integration"))
from episode_pages import Browser, replayed_folder, synthetic_stream  # noqa: E402

INTERACTIVE = """
const done = arguments[arguments.length - 1];
const ready = () => requestAnimationFrame(() => setTimeout(() => done(performance.now())));
if (document.readyState === "complete") ready(); else addEventListener("load", ready);
"""


def main():
    rounds = int(sys.argv[1])
    parents = [arg.split("=", 1) for arg in sys.argv[2:]]
    _, stream = synthetic_stream(2000)
    workdir = tempfile.mkdtemp(prefix="bench-timeline-")
    pages = {name: os.path.join(replayed_folder(parent, stream, workdir, name), "index.html")
             for name, parent in parents}
    browser = Browser()
    times = {name: [] for name in pages}
    try:
        driver = browser.driver
        driver.set_script_timeout(120)
        for _ in range(rounds + 1):  # the first round warms the browser up and is not kept
            for name, page in pages.items():
                driver.get("about:blank")
                driver.get("file://" + page)
                times[name].append(driver.execute_async_script(INTERACTIVE))
    finally:
        browser.close()
    medians = {name: statistics.median(values[1:]) for name, values in times.items()}
    first = parents[0][0]
    for name, _ in parents:
        size = os.path.getsize(pages[name])
        print(f"{name:>10}: median {medians[name]:7.1f} ms to interactive over {rounds} loads"
              f" (min {min(times[name][1:]):.1f}, max {max(times[name][1:]):.1f});"
              f" index.html {size / 1024:.0f} KiB; {medians[name] / medians[first]:.2f}x {first}")


if __name__ == "__main__":
    main()
