// The episode timeline: reads the episode's data from the inert JSON element and builds the
// page with text nodes only, so nothing recorded can run as script or change the page.
(function () {
  "use strict";

  const data = JSON.parse(document.getElementById("episode-data").textContent);
  const meta = data.meta || {};
  const events = Array.isArray(data.events) ? data.events : [];
  const focus = Array.isArray(data.focus) ? data.focus : [];
  const frames = new Set((data.frames || []).filter(Number.isInteger));
  const lost = new Set((meta.lostScreenshots || []).filter(Number.isInteger));
  const GAP_MS = 60000;
  const KIND_ORDER = ["click", "doubleclick", "rightclick", "type", "paste", "shortcut",
    "navigate", "result", "focus", "pause"];

  // ---- small helpers -------------------------------------------------------------------
  function el(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined && text !== null) node.textContent = String(text);
    return node;
  }
  function str(value) { return typeof value === "string" ? value : ""; }
  function num(value) { return typeof value === "number" && isFinite(value) ? value : null; }
  function plural(n, one, many) { return n + " " + (n === 1 ? one : (many || one + "s")); }

  function duration(ms) {
    if (ms === null || ms < 0) return "";
    const s = Math.round(ms / 1000);
    if (s < 60) return s + " s";
    const m = Math.floor(s / 60);
    if (m < 60) return m + " min " + String(s % 60).padStart(2, "0") + " s";
    return Math.floor(m / 60) + " h " + String(m % 60).padStart(2, "0") + " min";
  }

  // Times of day in the zone the episode was recorded in.
  const zone = meta.timeZone || {};
  const offsetMin = num(zone.utcOffsetMinutes) || 0;
  function offsetText(minutes) {
    const sign = minutes < 0 ? "−" : "+";
    const a = Math.abs(minutes);
    return "UTC" + sign + String(Math.floor(a / 60)).padStart(2, "0") + ":" + String(a % 60).padStart(2, "0");
  }
  function formatter(options) {
    const base = Object.assign({ hourCycle: "h23" }, options);
    try {
      if (str(zone.name)) return { f: new Intl.DateTimeFormat(undefined, Object.assign({ timeZone: zone.name }, base)), shift: 0 };
    } catch (e) { /* an unknown zone name: use the offset */ }
    return { f: new Intl.DateTimeFormat(undefined, Object.assign({ timeZone: "UTC" }, base)), shift: offsetMin * 60000 };
  }
  const clock = formatter({ hour: "2-digit", minute: "2-digit", second: "2-digit" });
  const day = formatter({ weekday: "short", year: "numeric", month: "short", day: "numeric" });
  function timeOfDay(ms) { return ms === null ? "" : clock.f.format(new Date(ms + clock.shift)); }
  function dateOf(ms) { return ms === null ? "" : day.f.format(new Date(ms + day.shift)); }
  const zoneLabel = (str(zone.name) ? zone.name + ", " : "") + offsetText(offsetMin);

  // A page address shortened to its host and path for the row.
  function shortAddress(url) {
    const m = /^([a-z][a-z0-9+.-]*):\/\/([^/?#]*)([^?#]*)/i.exec(url);
    if (!m) return url;
    const host = m[2].replace(/^www\./i, "");
    return host + (m[3] && m[3] !== "/" ? m[3] : "");
  }

  // ---- the entries: operations (with their results), focus dwells, pauses, gaps --------
  const entries = [];
  const bySeq = new Map(); // record seq -> entry (a result maps to its operation)
  for (const record of events) {
    if (!record || typeof record !== "object") continue;
    const seq = num(record.seq);
    if (record.kind === "result" && bySeq.has(record.refSeq)) {
      const op = bySeq.get(record.refSeq);
      if (!op.result) {
        op.result = record;
        if (seq !== null) bySeq.set(seq, op);
        continue;
      }
    }
    const entry = { type: "action", kind: str(record.kind) || "record", at: num(record.timestampMs), record: record, seq: seq };
    entries.push(entry);
    if (seq !== null) bySeq.set(seq, entry);
  }
  focus.forEach(function (record, i) {
    if (!record || typeof record !== "object") return;
    entries.push({ type: "focus", kind: "focus", at: num(record.enterAtMs), record: record, index: i });
  });
  (meta.pauses || []).forEach(function (pause, i) {
    if (pause && num(pause.startMs) !== null) entries.push({ type: "pause", kind: "pause", at: pause.startMs, pause: pause, index: i });
  });
  entries.sort(function (a, b) { return (a.at === null ? Infinity : a.at) - (b.at === null ? Infinity : b.at); });

  function recordTimes() {
    const times = entries.map(function (e) { return e.at; }).filter(function (t) { return t !== null; });
    focus.forEach(function (r) { if (num(r.exitAtMs) !== null) times.push(r.exitAtMs); });
    return times;
  }
  const times = recordTimes();
  const startMs = num(meta.startedAtMs) !== null && meta.startedAtMs > 0 ? meta.startedAtMs : (times.length ? Math.min.apply(null, times) : null);
  const endMs = num(meta.endedAtMs) !== null ? meta.endedAtMs : (times.length ? Math.max.apply(null, times) : null);

  function paused(fromMs, toMs) {
    return (meta.pauses || []).some(function (p) {
      const end = num(p.endMs) === null ? Infinity : p.endMs;
      return p.startMs <= toMs && end >= fromMs;
    });
  }

  // ---- header and summary ---------------------------------------------------------------
  const ENDINGS = {
    "completed": "ended with Ctrl+C",
    "parent ended": "ended when its terminal closed or the parent was told to stop",
    "display lost": "ended because the connection to the display was lost",
    "stream cut": "ended without the recorder's last frame: the stream was cut off"
  };
  function header() {
    document.getElementById("title").textContent = "Episode of " + (startMs === null ? "unknown date" : dateOf(startMs));
    document.title = "Episode " + (startMs === null ? "" : dateOf(startMs) + " " + timeOfDay(startMs)) + " – timeline";
    const ended = meta.status === "recording" ? "still recording" : (ENDINGS[meta.endReason] || str(meta.status));
    document.getElementById("subtitle").textContent =
      timeOfDay(startMs) + " – " + timeOfDay(endMs) + " (" + zoneLabel + ") · " + ended;
    if (meta.status === "recording") {
      const state = document.getElementById("state");
      state.hidden = false;
      state.textContent = "This episode is still being recorded. The page was written at " + timeOfDay(endMs) +
        "; reload it to see what has been recorded since.";
    }
  }

  function fact(list, name, value) {
    if (value === "" || value === null || value === undefined) return;
    list.appendChild(el("dt", null, name));
    list.appendChild(el("dd", null, value));
  }

  function summary() {
    const facts = document.getElementById("facts");
    const counts = {};
    for (const record of events) counts[record.kind] = (counts[record.kind] || 0) + 1;
    const kinds = Object.keys(counts).sort(function (a, b) { return counts[b] - counts[a]; });
    const pausedMs = (meta.pauses || []).reduce(function (sum, p) {
      return sum + ((num(p.endMs) === null ? endMs : p.endMs) - p.startMs);
    }, 0);
    fact(facts, "Duration", duration(startMs !== null && endMs !== null ? endMs - startMs : null) +
      (pausedMs > 0 ? ", of it paused " + duration(pausedMs) : ""));
    fact(facts, "Records", kinds.map(function (k) { return counts[k] + " " + k; }).join(", ") || "none");
    fact(facts, "Screenshots", frames.size + (lost.size ? ", " + lost.size + " lost" : ""));
    if (meta.screen) fact(facts, "Screen", meta.screen.width + " × " + meta.screen.height + " points" +
      (meta.screenshot && meta.screenshot.scale ? ", screenshots at " + Math.round(meta.screenshot.scale * 100) + " %" : ""));
    if (meta.removed) fact(facts, "Removed", plural(meta.removed.recordCount || 0, "record") + ", " + plural(meta.removed.frameCount || 0, "screenshot"));
    fact(facts, "Versions", (meta.recorderVersion ? "stepreel " + meta.recorderVersion + ", " : "") + "parent " + str(meta.parentVersion));

    const apps = document.getElementById("apps");
    const perApp = new Map();
    for (const r of focus) {
      const ms = num(r.durationMs) || 0;
      const name = str(r.app) || "(unknown application)";
      if (!perApp.has(name)) perApp.set(name, { ms: 0, windows: new Map() });
      const app = perApp.get(name);
      app.ms += ms;
      const title = str(r.windowTitle) || "(untitled window)";
      app.windows.set(title, (app.windows.get(title) || 0) + ms);
    }
    apps.appendChild(el("h2", null, perApp.size ? "Time in each application and window (from focus)" : "No focus dwells were recorded"));
    const sorted = Array.from(perApp.entries()).sort(function (a, b) { return b[1].ms - a[1].ms; });
    const longest = sorted.length ? Math.max(1, sorted[0][1].ms) : 1;
    for (const [name, app] of sorted) {
      const line = el("div", "app-line");
      const pick = el("button", null, name);
      pick.type = "button";
      pick.title = "Show only " + name;
      pick.addEventListener("click", function () { appFilter.value = name; applyFilters(); });
      line.appendChild(pick);
      line.appendChild(el("span", "app-time", duration(app.ms)));
      const bar = el("div", "bar");
      bar.style.width = Math.max(2, Math.round(100 * app.ms / longest)) + "%";
      line.appendChild(bar);
      apps.appendChild(line);
      const windows = el("ul", "windows");
      const list = Array.from(app.windows.entries()).sort(function (a, b) { return b[1] - a[1]; });
      for (const [title, ms] of list.slice(0, 4)) {
        const item = el("li");
        const text = el("span", null, title);
        text.title = title;
        item.appendChild(text);
        item.appendChild(el("span", null, duration(ms)));
        windows.appendChild(item);
      }
      if (list.length > 4) windows.appendChild(el("li", null, "and " + plural(list.length - 4, "more window")));
      apps.appendChild(windows);
    }
  }

  // ---- rows ---------------------------------------------------------------------------
  function targetText(record) {
    const parts = [];
    const t = record.target && typeof record.target === "object" ? record.target : null;
    if (record.kind === "type") {
      parts.push(plural(num(record.inputCharCount) || 0, "character") + (str(record.inputKind) ? " (" + record.inputKind + ")" : ""));
    }
    if (str(record.key)) parts.push(record.key);
    if (record.kind === "paste" && num(record.clipboardCharCount) !== null) {
      parts.push(plural(record.clipboardCharCount, "character") + (str(record.clipboardFromApp) ? " from " + record.clipboardFromApp : ""));
    }
    if (t) {
      const label = str(t.label);
      const role = str(t.roleDescription) || str(t.role).replace(/^AX/, "");
      parts.push((role ? role + " " : "") + (label ? "“" + label + "”" : "") + (t.secure ? " (secure)" : ""));
    }
    return parts.filter(Boolean).join(" · ");
  }

  function windowOf(record) {
    return str(record.windowTitle) || (record.target && str(record.target.windowTitle)) || "";
  }

  function addressCell(url) {
    const cell = el("span", "addr");
    if (!url) return cell;
    // Shown as text, never as a link: an address from a record is not followed from here.
    const button = el("button", null, shortAddress(url));
    button.type = "button";
    button.title = url;
    button.addEventListener("click", function (event) {
      event.stopPropagation();
      const whole = button.textContent === url;
      button.textContent = whole ? shortAddress(url) : url;
      cell.style.whiteSpace = whole ? "" : "normal";
      cell.style.overflowWrap = whole ? "" : "anywhere";
    });
    cell.appendChild(button);
    return cell;
  }

  function anchorOf(entry) {
    if (entry.type === "action") return entry.seq !== null ? "r-" + entry.seq : "x-" + entries.indexOf(entry);
    return (entry.type === "focus" ? "f-" : "p-") + entry.index;
  }

  function lineFor(entry) {
    const line = el("div", "line");
    const time = el("a", "time", timeOfDay(entry.at));
    time.href = "#" + entry.anchor;
    time.title = "Link to this record";
    line.appendChild(time);
    if (entry.type === "pause") {
      const end = num(entry.pause.endMs);
      line.appendChild(el("span", "kind", "paused"));
      const text = el("span", null, end === null ? "Paused until the end of the episode" :
        "Paused until " + timeOfDay(end) + " (" + duration(end - entry.at) + "); nothing was recorded");
      text.style.gridColumn = "3 / -1";
      line.appendChild(text);
      return line;
    }
    const r = entry.record;
    line.appendChild(el("span", "kind k-" + entry.kind.replace(/[^a-z]/g, ""), entry.kind));
    line.appendChild(el("span", "app", str(r.app)));
    const win = el("span", "window", windowOf(r));
    win.title = windowOf(r);
    line.appendChild(win);
    const target = el("span", "target", entry.type === "focus" ? "for " + duration(num(r.durationMs)) : targetText(r));
    target.title = target.textContent;
    line.appendChild(target);
    line.appendChild(addressCell(str(r.url)));
    const shot = el("span", "shot");
    if (entry.type === "action") {
      if (hasShot(entry.seq) || (entry.result && hasShot(entry.result.seq))) {
        shot.textContent = "▣";
        shot.title = "Screenshots: press Enter or click the row";
      } else if (lost.has(entry.seq)) {
        shot.textContent = "!";
        shot.className = "shot lost";
        shot.title = "The screenshot could not be taken";
      }
    }
    line.appendChild(shot);
    return line;
  }

  function hasShot(seq) { return Number.isInteger(seq) && frames.has(seq); }

  function searchText(entry) {
    if (entry.type === "pause") return "paused";
    const r = entry.record;
    const t = r.target && typeof r.target === "object" ? r.target : {};
    return [entry.kind, r.app, windowOf(r), r.url, t.label, t.role, t.roleDescription, t.help, t.identifier,
      Array.isArray(t.nearbyText) ? t.nearbyText.join(" ") : "", r.key, r.clipboardFromApp,
      entry.result ? entry.result.url : ""].map(str).join("\n").toLowerCase();
  }

  const list = document.getElementById("rows");
  function buildRows() {
    const fragment = document.createDocumentFragment();
    let previous = null;
    for (const entry of entries) {
      entry.anchor = anchorOf(entry);
      // A stretch without operations that no pause explains.
      if (entry.type !== "focus" && entry.at !== null) {
        if (previous !== null && entry.at - previous > GAP_MS && !paused(previous, entry.at))
          fragment.appendChild(el("li", "row gap", duration(entry.at - previous) + " without recorded operations"));
        const end = entry.type === "pause" && num(entry.pause.endMs) !== null ? entry.pause.endMs : entry.at;
        previous = Math.max(previous === null ? end : previous, end);
      }
      const item = el("li", "row " + entry.type);
      item.id = entry.anchor;
      item.appendChild(lineFor(entry));
      entry.node = item;
      entry.text = searchText(entry);
      fragment.appendChild(item);
    }
    list.appendChild(fragment);
  }

  // ---- details: screenshots with the pointer marked, every field, the redaction hint -----
  function markerFraction(record) {
    const c = record && record.cursor;
    const screen = meta.screen;
    if (!Array.isArray(c) || !screen || !(screen.width > 0) || !(screen.height > 0)) return null;
    const fx = c[0] / screen.width, fy = c[1] / screen.height;
    return fx >= 0 && fx <= 1 && fy >= 0 && fy <= 1 ? [fx, fy] : null;
  }

  function frameView(record) {
    const box = el("span", "frame");
    const img = el("img");
    img.alt = "Screen at " + timeOfDay(num(record.timestampMs));
    img.decoding = "async";
    img.src = "frames/" + record.seq + "-full.jpg"; // built from the integer seq only
    box.appendChild(img);
    const at = markerFraction(record);
    if (at) {
      const marker = el("span", "marker");
      marker.style.left = (at[0] * 100).toFixed(3) + "%";
      marker.style.top = (at[1] * 100).toFixed(3) + "%";
      marker.title = "Pointer";
      box.appendChild(marker);
    }
    return box;
  }

  function figure(caption, record, entry) {
    const fig = el("figure");
    fig.appendChild(el("figcaption", null, caption));
    if (record && hasShot(record.seq)) {
      const view = frameView(record);
      view.title = "Open larger";
      view.addEventListener("click", function () { openViewer(entry, record === entry.result ? "after" : "before"); });
      fig.appendChild(view);
    } else {
      fig.appendChild(el("div", "no-shot", record && lost.has(record.seq) ? "The screenshot could not be taken" : "No screenshot"));
    }
    return fig;
  }

  function fieldsOf(entry) {
    const r = entry.record;
    const t = r.target && typeof r.target === "object" ? r.target : {};
    const list = el("dl", "fields");
    fact(list, "Record", entry.type === "focus" ? "focus dwell" : "seq " + r.seq + (entry.result ? ", result seq " + entry.result.seq : ""));
    fact(list, "Time", entry.type === "focus" ? timeOfDay(num(r.enterAtMs)) + " – " + timeOfDay(num(r.exitAtMs)) + " (" + duration(num(r.durationMs)) + ")" : timeOfDay(entry.at));
    fact(list, "Application", str(r.app) + (str(r.bundleId) ? " (" + r.bundleId + ")" : ""));
    fact(list, "Window", windowOf(r));
    fact(list, "Page", str(r.url));
    fact(list, "Target", targetText(r));
    fact(list, "Element", [str(t.role), str(t.subrole), str(t.identifier) ? "id " + t.identifier : "", str(t.help)].filter(Boolean).join(" · "));
    if (Array.isArray(t.path)) fact(list, "Path", t.path.map(str).join(" › "));
    if (Array.isArray(t.nearbyText) && t.nearbyText.length) fact(list, "Nearby text", t.nearbyText.map(str).join(" · "));
    if (entry.result) fact(list, "Afterwards", [str(entry.result.app), str(entry.result.url)].filter(Boolean).join(" · ") || "—");
    return list;
  }

  function redactHint(entry) {
    const hint = el("div", "hint");
    const command = "stepreel-parent redact " + shellWord(str(data.folder) || "DIR") + " --seq " + entry.seq;
    hint.appendChild(el("span", null, "To remove this record and its screenshots before sharing:"));
    const code = el("code", null, command);
    hint.appendChild(code);
    const copy = el("button", null, "Copy");
    copy.type = "button";
    copy.addEventListener("click", function () {
      const done = function () { copy.textContent = "Copied"; };
      if (navigator.clipboard && navigator.clipboard.writeText) {
        navigator.clipboard.writeText(command).then(done, function () { selectText(code); });
      } else {
        selectText(code);
      }
    });
    hint.appendChild(copy);
    hint.appendChild(el("span", null, "(add --frames-only to keep the record and remove only its screenshots)"));
    return hint;
  }
  function shellWord(text) { return /^[A-Za-z0-9._\/-]+$/.test(text) ? text : "'" + text.replace(/'/g, "'\\''") + "'"; }
  function selectText(node) {
    const range = document.createRange();
    range.selectNodeContents(node);
    const selection = window.getSelection();
    selection.removeAllRanges();
    selection.addRange(range);
  }

  function detailOf(entry) {
    const box = el("div", "detail");
    if (entry.type === "action") {
      const shots = el("div", "shots");
      if (entry.kind !== "type") shots.appendChild(figure("Before", entry.record, entry));
      if (entry.result) shots.appendChild(figure("After (0.45 s later)", entry.result, entry));
      if (shots.childNodes.length) box.appendChild(shots);
    }
    box.appendChild(fieldsOf(entry));
    if (entry.type === "action" && entry.seq !== null) box.appendChild(redactHint(entry));
    const raw = el("details", "raw");
    raw.appendChild(el("summary", null, "Record as written"));
    raw.appendChild(el("pre", null, JSON.stringify(entry.result ? [entry.record, entry.result] : entry.record, null, 2)));
    box.appendChild(raw);
    return box;
  }

  function toggle(entry, open) {
    if (entry.type === "pause") return;
    const isOpen = !!entry.detail;
    if (open === undefined) open = !isOpen;
    if (open && !isOpen) {
      entry.detail = detailOf(entry);
      entry.node.appendChild(entry.detail);
    } else if (!open && isOpen) {
      entry.detail.remove();
      entry.detail = null;
    }
  }

  // ---- the screenshot viewer ------------------------------------------------------------
  const viewer = document.getElementById("viewer");
  const stage = document.getElementById("viewer-stage");
  let viewing = null;
  function showInViewer(which) {
    const record = which === "after" ? viewing.result : viewing.record;
    if (!record || !hasShot(record.seq)) return;
    viewing.which = which;
    stage.replaceChildren(frameView(record));
    document.getElementById("viewer-caption").textContent =
      (which === "after" ? "After" : "Before") + " · " + viewing.kind + " at " + timeOfDay(num(record.timestampMs)) +
      " · " + str(viewing.record.app) + (windowOf(viewing.record) ? " · " + windowOf(viewing.record) : "");
    document.getElementById("viewer-before").setAttribute("aria-pressed", String(which === "before"));
    document.getElementById("viewer-after").setAttribute("aria-pressed", String(which === "after"));
    document.getElementById("viewer-before").disabled = !hasShot(viewing.record.seq);
    document.getElementById("viewer-after").disabled = !(viewing.result && hasShot(viewing.result.seq));
  }
  function openViewer(entry, which) {
    viewing = entry;
    stage.className = "fit";
    document.getElementById("viewer-size").textContent = "Actual size";
    viewer.hidden = false;
    showInViewer(which);
    document.getElementById("viewer-close").focus();
  }
  function closeViewer() {
    viewer.hidden = true;
    stage.replaceChildren();
    if (viewing && viewing.node) viewing.node.querySelector(".time").focus({ preventScroll: true });
    viewing = null;
  }
  document.getElementById("viewer-close").addEventListener("click", closeViewer);
  document.getElementById("viewer-before").addEventListener("click", function () { showInViewer("before"); });
  document.getElementById("viewer-after").addEventListener("click", function () { showInViewer("after"); });
  document.getElementById("viewer-size").addEventListener("click", function (event) {
    const fit = stage.classList.toggle("fit");
    event.target.textContent = fit ? "Actual size" : "Fit to window";
  });

  // ---- filters and search ---------------------------------------------------------------
  const search = document.getElementById("search");
  const appFilter = document.getElementById("app-filter");
  const kindFilter = document.getElementById("kind-filter");
  const count = document.getElementById("count");
  const kindBoxes = new Map();
  function buildFilters() {
    const apps = new Set();
    const kinds = new Set();
    for (const entry of entries) {
      if (entry.record && str(entry.record.app)) apps.add(entry.record.app);
      kinds.add(entry.kind);
    }
    for (const app of Array.from(apps).sort(function (a, b) { return a.localeCompare(b); })) {
      const option = el("option", null, app);
      option.value = app;
      appFilter.appendChild(option);
    }
    const ordered = Array.from(kinds).sort(function (a, b) {
      const ia = KIND_ORDER.indexOf(a), ib = KIND_ORDER.indexOf(b);
      return (ia < 0 ? 99 : ia) - (ib < 0 ? 99 : ib) || a.localeCompare(b);
    });
    for (const kind of ordered) {
      const label = el("label");
      const box = el("input");
      box.type = "checkbox";
      box.checked = true;
      box.value = kind;
      box.addEventListener("change", applyFilters);
      label.appendChild(box);
      label.appendChild(document.createTextNode(kind));
      kindFilter.appendChild(label);
      kindBoxes.set(kind, box);
    }
  }

  let visible = entries;
  function applyFilters() {
    const words = search.value.toLowerCase().split(/\s+/).filter(Boolean);
    const app = appFilter.value;
    const filtering = words.length > 0 || app !== "" || Array.from(kindBoxes.values()).some(function (b) { return !b.checked; });
    visible = [];
    for (const entry of entries) {
      const box = kindBoxes.get(entry.kind);
      const shown = (!box || box.checked) && (app === "" || (entry.record && entry.record.app === app) || (entry.type === "pause" && !words.length)) &&
        words.every(function (w) { return entry.text.indexOf(w) >= 0; });
      entry.node.hidden = !shown;
      if (shown) visible.push(entry);
    }
    for (const gap of list.querySelectorAll(".gap")) gap.hidden = filtering;
    count.textContent = filtering ? visible.length + " of " + entries.length + " shown" : plural(entries.length, "entry", "entries");
    if (selected && selected.node.hidden) select(null);
  }
  let pending = 0;
  search.addEventListener("input", function () {
    cancelAnimationFrame(pending);
    pending = requestAnimationFrame(applyFilters);
  });
  appFilter.addEventListener("change", applyFilters);

  // ---- selection, keyboard and links ------------------------------------------------------
  let selected = null;
  function select(entry, options) {
    if (selected) selected.node.classList.remove("sel");
    selected = entry;
    if (!entry) return;
    entry.node.classList.add("sel");
    if (!options || options.scroll !== false) entry.node.scrollIntoView({ block: "nearest" });
    if (!options || options.hash !== false) history.replaceState(null, "", "#" + entry.anchor);
  }
  function move(step) {
    if (!visible.length) return;
    let i = selected ? visible.indexOf(selected) : -1;
    i = i < 0 ? (step > 0 ? 0 : visible.length - 1) : Math.min(visible.length - 1, Math.max(0, i + step));
    select(visible[i]);
  }
  function entryForAnchor(anchor) {
    const m = /^r-(\d+)$/.exec(anchor);
    if (m && bySeq.has(Number(m[1]))) return bySeq.get(Number(m[1]));
    return entries.find(function (e) { return e.anchor === anchor; }) || null;
  }
  function followHash() {
    const entry = entryForAnchor(decodeURIComponent(location.hash.slice(1)));
    if (!entry) return;
    if (entry.node.hidden) {
      search.value = "";
      appFilter.value = "";
      kindBoxes.forEach(function (b) { b.checked = true; });
      applyFilters();
    }
    select(entry, { scroll: false, hash: false });
    toggle(entry, true);
    entry.node.scrollIntoView({ block: "start" });
  }
  window.addEventListener("hashchange", followHash);

  list.addEventListener("click", function (event) {
    const item = event.target.closest("li.row");
    if (!item || event.target.closest(".detail")) return;
    const entry = entries.find(function (e) { return e.node === item; });
    if (!entry) return;
    if (event.target.closest("a.time")) {
      event.preventDefault();
      select(entry);
      toggle(entry, true);
      return;
    }
    select(entry, { hash: false });
    toggle(entry);
  });

  document.addEventListener("keydown", function (event) {
    if (event.altKey || event.ctrlKey || event.metaKey) return;
    if (!viewer.hidden) {
      if (event.key === "Escape") closeViewer();
      else if (event.key === "ArrowLeft") showInViewer("before");
      else if (event.key === "ArrowRight") showInViewer("after");
      else return;
      event.preventDefault();
      return;
    }
    const typing = event.target instanceof HTMLInputElement || event.target instanceof HTMLSelectElement;
    if (typing) {
      if (event.key === "Escape" || (event.key === "Enter" && event.target === search)) {
        event.target.blur();
        if (event.key === "Enter") move(1);
        event.preventDefault();
      } else if (event.key === "ArrowDown" && event.target === search) {
        event.target.blur();
        move(1);
        event.preventDefault();
      }
      return;
    }
    if (event.target instanceof HTMLButtonElement && (event.key === "Enter" || event.key === " ")) return;
    switch (event.key) {
      case "j": case "ArrowDown": move(1); break;
      case "k": case "ArrowUp": move(-1); break;
      case "Enter": case "o": if (selected) toggle(selected); break;
      case "v":
        if (selected && selected.type === "action" && (hasShot(selected.seq) || (selected.result && hasShot(selected.result.seq))))
          openViewer(selected, hasShot(selected.seq) ? "before" : "after");
        break;
      case "/": search.focus(); search.select(); break;
      case "Escape": if (selected) toggle(selected, false); break;
      default: return;
    }
    event.preventDefault();
  });

  header();
  summary();
  buildRows();
  buildFilters();
  applyFilters();
  if (location.hash.length > 1) followHash();
  document.documentElement.dataset.ready = "true";
})();
