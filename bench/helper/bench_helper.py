#!/usr/bin/python3
"""Whole-process benchmarks of quillmap-helper against reference programs, same run.

    bench_helper.py HELPER [ROUNDS]     (on a 1920x1080 desktop: scripts/bench-helper)

1. `ocr <window>` of a 1920x1080 window of Japanese and English text against
   `tesseract PAGE.png stdout -l jpn+eng` on the same pixels, with the number of correctly
   recognised characters of each against the drawn text.
2. `context` against `xdotool getactivewindow getwindowname`.
3. `--self-test-pii`: median time and peak resident memory (/usr/bin/time -v).
The two commands of a comparison alternate round by round, so both see the same load;
figures are medians of the rounds.
"""
import difflib
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def timed(command):
    start = time.perf_counter()
    done = subprocess.run(command, capture_output=True)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        raise RuntimeError("%s failed: %s" % (command, done.stderr.decode(errors="replace")))
    return elapsed, done.stdout


def compare(rounds, subject, reference, warmup=1):
    for _ in range(warmup):
        timed(subject)
        timed(reference)
    subject_times, reference_times = [], []
    outputs = {}
    for i in range(rounds):
        pair = [(subject, subject_times, "subject"), (reference, reference_times, "reference")]
        for command, times, name in pair if i % 2 == 0 else reversed(pair):
            elapsed, out = timed(command)
            times.append(elapsed)
            outputs[name] = out
    s, r = statistics.median(subject_times), statistics.median(reference_times)
    return {"subject": " ".join(subject), "reference": " ".join(reference), "rounds": rounds,
            "subjectMedianSeconds": round(s, 4), "referenceMedianSeconds": round(r, 4),
            "ratio": round(s / r, 3)}, outputs


def correct_characters(known_lines, recognised):
    """Characters of each drawn line found, in order, in the recognised text (spaces ignored)."""
    text = "".join(recognised.split())
    total = 0
    for line in known_lines:
        line = "".join(line.split())
        matcher = difflib.SequenceMatcher(None, line, text, autojunk=False)
        total += sum(block.size for block in matcher.get_matching_blocks())
    return total


def peak_rss_kib(command):
    done = subprocess.run(["/usr/bin/time", "-v", *command], capture_output=True, text=True)
    for line in done.stderr.splitlines():
        if "Maximum resident set size" in line:
            return int(line.split(":")[1])
    return None


def main():
    helper = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    work = tempfile.mkdtemp(prefix="bench-helper-")
    page, known = os.path.join(work, "page.png"), os.path.join(work, "page.txt")
    subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make_page.py"), page, known],
                   check=True)
    known_lines = open(known, encoding="utf-8").read().splitlines()
    window = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "page_window.py"), page],
                              stdout=subprocess.PIPE)
    window_id = window.stdout.readline().decode().strip()
    subprocess.run(["xdotool", "windowactivate", "--sync", window_id], check=True)
    time.sleep(0.5)
    report = {}
    try:
        ocr, outputs = compare(rounds, [helper, "ocr", window_id],
                               ["tesseract", page, "stdout", "-l", "jpn+eng"])
        result = json.loads(outputs["subject"])
        ocr["imageSize"] = [result["width"], result["height"]]
        ocr["drawnCharacters"] = sum(len("".join(l.split())) for l in known_lines)
        ocr["subjectCorrectCharacters"] = correct_characters(
            known_lines, "\n".join(line["text"] for line in result["lines"]))
        ocr["referenceCorrectCharacters"] = correct_characters(
            known_lines, outputs["reference"].decode("utf-8"))
        report["ocr"] = ocr

        report["context"], outputs = compare(rounds * 3, [helper, "context"],
                                             ["xdotool", "getactivewindow", "getwindowname"])
        report["context"]["output"] = outputs["subject"].decode("utf-8").strip()

        pii_times, pii_out = [], b""
        for _ in range(rounds):
            elapsed, pii_out = timed([helper, "--self-test-pii"])
            pii_times.append(elapsed)
        report["selfTestPii"] = {
            "rounds": rounds, "medianSeconds": round(statistics.median(pii_times), 4),
            "peakRssKiB": peak_rss_kib([helper, "--self-test-pii"]),
            "lines": [line["text"] for line in json.loads(pii_out)["lines"]],
            "entities": json.loads(pii_out)["entities"]}
        report["selfTest"] = timed([helper, "--self-test"])[1].decode("utf-8").splitlines()
    finally:
        window.terminate()
        window.wait()
    print(json.dumps(report, ensure_ascii=False, indent=2))


if __name__ == "__main__":
    main()
