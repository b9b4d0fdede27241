"""Episode folders as a person and a consumer meet them: streams made up for a test, the JSON
Schemas in docs/schema, and the timeline page in a real headless Chromium."""
import io
import json
import os
import shutil
import subprocess
import tempfile
import uuid

import jsonschema
from PIL import Image, ImageDraw

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCHEMAS = {}
for _name in ("action", "focus", "episode"):
    with open(os.path.join(ROOT, "docs", "schema", f"{_name}.schema.json")) as _schema:
        SCHEMAS[_name] = json.load(_schema)
HOSTILE = ["<script>window.__pwned=1</script>", '"><img src=x onerror="window.__pwned=2">',
           "</script><script>window.__pwned=3</script>", "javascript:window.__pwned=4",
           "<!-- \u2028\u2029 -->", "&lt;b&gt; &amp;"]


def check_folder(folder):
    """Validates every file of an episode folder against the schemas and checks that the
    records name only frames that are there; returns (meta, events, focus)."""
    validator = {name: jsonschema.Draft202012Validator(schema) for name, schema in SCHEMAS.items()}
    with open(os.path.join(folder, "episode.json"), encoding="utf-8") as description:
        meta = json.load(description)
    validator["episode"].validate(meta)
    lines = {}
    for name, schema in (("events", "action"), ("focus", "focus")):
        with open(os.path.join(folder, f"{name}.jsonl"), encoding="utf-8") as records:
            lines[name] = [json.loads(line) for line in records]
        for record in lines[name]:
            validator[schema].validate(record)
    frames = set(os.listdir(os.path.join(folder, "frames")))
    named = {r["screenshotFull"].split("/")[1] for r in lines["events"] if "screenshotFull" in r}
    assert named == frames, (sorted(named ^ frames), folder)
    assert meta["actionCount"] == len(lines["events"]) and meta["frameCount"] == len(named), meta
    return meta, lines["events"], lines["focus"]


def _frame(header, payload=b""):
    text = json.dumps(header, ensure_ascii=False, separators=(",", ":")).encode()
    return len(text).to_bytes(4, "big") + len(payload).to_bytes(4, "big") + text + payload


def screen_jpeg(width=1280, height=800):
    image = Image.new("RGB", (width, height), (236, 240, 246))
    draw = ImageDraw.Draw(image)
    for i in range(0, width, 160):
        draw.rectangle([i + 20, 60, i + 140, 90], fill=(120, 150, 210))
    out = io.BytesIO()
    image.save(out, "JPEG", quality=60)
    return out.getvalue()


def synthetic_stream(count, start_ms=1_700_000_000_000, hostile=False, screen=(1280, 800)):
    """A recorder's stream of `count` action records over several applications: clicks with
    before frames and results with after frames, typing, shortcuts, focus dwells, a lost
    screenshot and a long gap. With `hostile`, every text is markup or script."""
    session = "ep-" + str(uuid.uuid4()).upper()
    jpeg = screen_jpeg(*screen)
    apps = [("Firefox", "https://www.example.org/articles/2024/a-very-long-path/that-goes-on"
                        "-and-on-and-on/and-on?q=secret&lang=en#section-7"),
            ("Mousepad", None), ("LibreOffice Calc", None), ("Calculator", None)]
    out, t, seq, dwell_start = [], start_ms, 0, start_ms

    def text(plain, i):
        return HOSTILE[i % len(HOSTILE)] if hostile else plain

    def record(kind, app, url, extra):
        r = {"schema": "quillmap.trace.v0", "episodeId": session, "seq": seq, "timestampMs": t,
             "dtMsFromPrev": 0 if kind == "result" else 900, "kind": kind, "app": app,
             "cursor": [640.0 + seq % 300, 400.0 - seq % 200]}
        if url:
            r["url"] = text(url, seq + 3)
        r.update(extra)
        out.append(_frame({"type": "events", "sessionId": session, "event": r}))

    def shot(kind):
        out.append(_frame({"type": "frame", "sessionId": session, "seq": seq, "kind": kind,
                           "width": screen[0], "height": screen[1],
                           "cursor": [(640.0 + seq % 300) / screen[0],
                                      (400.0 - seq % 200) / screen[1]], "targetBounds": None},
                          jpeg))

    i = 0
    while seq < count:
        app, url = apps[(i // 25) % len(apps)]
        title = text(f"{app} window {(i // 25) % 7}", i)
        target = {"role": "AXButton", "label": text(f"Button {i}", i + 1), "path": ["AXWindow"],
                  "windowTitle": title, "nearbyText": [text(f"near {i}", i + 2)], "secure": False}
        kind = ("click", "type", "shortcut", "click")[i % 4]
        if kind == "click" and seq + 1 < count:
            if i == 13:
                out.append(_frame({"type": "loss", "sessionId": session}))
                record("click", app, url, {"target": target})
            else:
                shot("before")
                record("click", app, url, {"target": target,
                                           "screenshotFull": f"frames/{seq}-full.jpg"})
            op, seq, t = seq, seq + 1, t + 450
            shot("after")
            record("result", app, url, {"refSeq": op, "screenshotFull": f"frames/{seq}-full.jpg"})
        elif kind == "type":
            record("type", app, url, {"target": target, "inputCharCount": 12, "inputKind": "text"})
        else:
            record("shortcut", app, url, {"target": target, "key": "cmd+s"})
        seq, i, t = seq + 1, i + 1, t + (600_000 if i == 40 else 1500)
        if i % 25 == 0 or seq >= count:
            focus = {"schema": "quillmap.focus.v0", "episodeId": session, "app": app,
                     "windowTitle": title, "enterAtMs": dwell_start, "exitAtMs": t,
                     "durationMs": t - dwell_start}
            if url:
                focus["url"] = text(url, i)
            out.append(_frame({"type": "focus", "sessionId": session, "event": focus}))
            dwell_start = t
    out.append(_frame({"type": "finish", "sessionId": session}))
    return session, b"".join(out)


def replayed_folder(parent, stream, workdir, name="episode"):
    """The folder the reference parent writes from `stream` (bytes)."""
    path = os.path.join(workdir, f"{name}.stream")
    with open(path, "wb") as f:
        f.write(stream)
    folder = os.path.join(workdir, name)
    done = subprocess.run([parent, "--out", folder, "--replay", path], capture_output=True)
    assert done.returncode == 0, done.stderr
    return folder


class Browser:
    """A headless Chromium of its own (fresh profile, no network services) driven through
    chromium-driver."""

    def __init__(self, width=1280, height=800):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        self.profile = tempfile.mkdtemp(prefix="timeline-browser-")
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        for flag in ("--headless=new", "--no-sandbox", f"--user-data-dir={self.profile}",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--disable-gpu", "--disable-dev-shm-usage",
                     "--allow-file-access-from-files", f"--window-size={width},{height}"):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver")
        self.driver = webdriver.Chrome(service=service, options=options)
        self.driver.set_page_load_timeout(120)

    def open(self, path, anchor=""):
        self.driver.get("file://" + os.path.abspath(path) + anchor)
        return self.driver

    def errors(self):
        return [entry for entry in self.driver.get_log("browser") if entry["level"] == "SEVERE"]

    def close(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)
