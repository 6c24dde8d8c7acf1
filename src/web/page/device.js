"use strict";
// One device: its events of a date range, paged, and the graph's on/off traces of the range,
// drawn from the JSON with a time axis, zoom and pan.

const TRACE_COLORS = ["#00ffff", "#00ff00", "#9932cc", "#0000ff", "#847aff", "#ff0000", "#00ff7f"];
const LABEL_WIDTH = 110;
const STRIP_HEIGHT = 40;
const AXIS_HEIGHT = 34;
const TICK_STEPS = [1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 15000, 30000,
  60000, 120000, 300000, 600000, 900000, 1800000, 3600000, 7200000, 10800000, 21600000,
  43200000, 86400000, 172800000, 604800000];

const state = {
  device: "",
  from: "",
  to: "",
  offset: 0,
  limit: 100,
  total: 0,
  variant: null,
  traces: null,
  view: { start: 0, span: 1 },
};

// The inclusive end date of the form as the API's exclusive bound: the next day.
function dayAfter(date) {
  const t = new Date(date + "T00:00:00Z");
  t.setUTCDate(t.getUTCDate() + 1);
  return t.toISOString().slice(0, 10);
}

function rangeQuery() {
  const q = new URLSearchParams({ device: state.device });
  if (state.from) {
    q.set("from", state.from);
  }
  if (state.to) {
    q.set("to", dayAfter(state.to));
  }
  return q;
}

function pageQuery() {
  const q = rangeQuery();
  q.set("offset", state.offset);
  q.set("limit", state.limit);
  return q;
}

function remember() {
  const q = new URLSearchParams({ device: state.device });
  if (state.from) q.set("from", state.from);
  if (state.to) q.set("to", state.to);
  if (state.offset) q.set("offset", state.offset);
  q.set("limit", state.limit);
  history.replaceState(null, "", "device.html?" + q.toString());
}

async function loadEvents() {
  const page = await fetchJson("/api/events?" + pageQuery().toString());
  state.total = page.total;
  state.variant = page.variant;
  const body = document.querySelector("#events tbody");
  body.replaceChildren();
  page.events.forEach((e, i) => {
    const row = document.createElement("tr");
    cell(row, String(page.offset + i + 1), "number");
    for (const f of ["year", "month", "day", "hour", "minute", "second", "msecond"]) {
      cell(row, e[f], "number");
    }
    const text = cell(row, e.event);
    if (e.code !== null) {
      text.title = "代码 " + e.code;
    }
    body.appendChild(row);
  });
  const pages = Math.max(1, Math.ceil(state.total / state.limit));
  const current = Math.floor(state.offset / state.limit) + 1;
  document.getElementById("page").textContent =
    "第 " + current + " / " + pages + " 页，共 " + state.total + " 条";
  document.getElementById("prev").disabled = state.offset === 0;
  document.getElementById("next").disabled = state.offset + state.limit >= state.total;
  const q = pageQuery().toString();
  document.getElementById("csv").href = "/api/events.csv?" + q;
  for (const kind of ["cfg", "dat"]) {
    const link = document.getElementById(kind);
    link.href = "/api/events." + kind + "?" + q;
    link.hidden = state.variant === null;
  }
  document.getElementById("device-info").textContent =
    state.variant === "A" ? "KPA-650 发信" : state.variant === "B" ? "KPB-650 收信" : "型号未知";
}

async function loadTraces() {
  const status = document.getElementById("trace-status");
  try {
    state.traces = await fetchJson("/api/traces?" + rangeQuery().toString());
    state.view = { start: 0, span: Math.max(1, state.traces.end) };
    status.textContent = "共 " + state.traces.records + " 条事件";
  } catch (e) {
    state.traces = null;
    status.textContent = e.message;
  }
  drawTraces();
}

// Wall-clock time (device clock, ms) at a timeline position, from the anchor before it.
function wallAt(position) {
  const anchors = state.traces.anchors;
  let a = null;
  for (const anchor of anchors) {
    if (anchor[0] > position) {
      break;
    }
    a = anchor;
  }
  if (!a || a[1] === null) {
    return null;
  }
  return a[1] + (position - a[0]);
}

function axisText(time, step) {
  const t = new Date(time);
  const hm = pad(t.getUTCHours()) + ":" + pad(t.getUTCMinutes());
  if (step >= 86400000) {
    return t.getUTCFullYear() + "-" + pad(t.getUTCMonth() + 1) + "-" + pad(t.getUTCDate());
  }
  if (step >= 60000) {
    return hm;
  }
  if (step >= 1000) {
    return hm + ":" + pad(t.getUTCSeconds());
  }
  return hm + ":" + pad(t.getUTCSeconds()) + "." + pad(t.getUTCMilliseconds(), 3);
}

function drawTraces() {
  const canvas = document.getElementById("traces");
  const data = state.traces;
  const count = data ? data.traces.length : 0;
  canvas.width = Math.max(600, Math.min(1600, canvas.parentElement.clientWidth));
  canvas.height = Math.max(1, count) * STRIP_HEIGHT + AXIS_HEIGHT;
  const g = canvas.getContext("2d");
  g.fillStyle = "#000";
  g.fillRect(0, 0, canvas.width, canvas.height);
  if (!data) {
    canvas.dataset.highRuns = "";
    return;
  }
  const plotWidth = canvas.width - LABEL_WIDTH - 10;
  const { start, span } = state.view;
  const x = (p) => LABEL_WIDTH + ((p - start) / span) * plotWidth;
  const highRuns = [];
  g.font = "13px sans-serif";
  g.textBaseline = "middle";
  data.traces.forEach((trace, s) => {
    const top = s * STRIP_HEIGHT;
    const yHigh = top + 10;
    const yLow = top + STRIP_HEIGHT - 10;
    g.fillStyle = "#d0d0d0";
    g.fillText(data.signals[s].label, 6, top + STRIP_HEIGHT / 2);
    g.save();
    g.beginPath();
    g.rect(LABEL_WIDTH, top, plotWidth, STRIP_HEIGHT);
    g.clip();
    g.strokeStyle = TRACE_COLORS[s];
    g.lineWidth = 2;
    g.beginPath();
    let position = 0;
    let shown = 0;
    trace.runs.forEach((run, i) => {
      const high = i % 2 === 1;
      const y = high ? yHigh : yLow;
      const xa = x(position);
      const xb = x(position + run);
      if (i === 0) {
        g.moveTo(xa, y);
      } else {
        g.lineTo(xa, y);
      }
      g.lineTo(xb, y);
      if (high && xb >= LABEL_WIDTH && xa <= LABEL_WIDTH + plotWidth) {
        shown += 1;
      }
      position += run;
    });
    g.stroke();
    g.lineWidth = 1;
    for (const m of trace.markers) {
      g.beginPath();
      g.moveTo(x(m), yHigh);
      g.lineTo(x(m), yLow);
      g.stroke();
    }
    g.restore();
    highRuns.push(shown);
  });
  canvas.dataset.highRuns = highRuns.join(",");
  drawAxis(g, count * STRIP_HEIGHT, plotWidth, x);
}

function drawAxis(g, top, plotWidth, x) {
  const { start, span } = state.view;
  const anchors = state.traces.anchors;
  g.strokeStyle = "#808080";
  g.fillStyle = "#d0d0d0";
  g.beginPath();
  g.moveTo(LABEL_WIDTH, top + 1);
  g.lineTo(LABEL_WIDTH + plotWidth, top + 1);
  g.stroke();
  const step = TICK_STEPS.find((s) => (s / span) * plotWidth >= 90) || TICK_STEPS[TICK_STEPS.length - 1];
  g.textBaseline = "top";
  g.textAlign = "center";
  const end = start + span;
  // A "//" where the clock jumps (the compressed gaps), and labels, each only where it has room.
  let lastMark = -Infinity;
  let lastLabel = -Infinity;
  let firstTick = null;
  anchors.forEach((a, i) => {
    const segStart = a[0];
    const segEnd = i + 1 < anchors.length ? anchors[i + 1][0] : state.traces.end;
    if (i > 0 && segStart >= start && segStart <= end && x(segStart) - lastMark >= 24) {
      lastMark = x(segStart);
      g.fillText("//", lastMark, top + 4);
    }
    if (a[1] === null || segEnd < start || segStart > end) {
      return;
    }
    // Where the clock jumps, the time it jumps to, when there is room for it (the first anchor
    // is the lead-in before the first record, which belongs to no time of its own).
    if (i > 0 && segStart >= start) {
      const px = x(segStart);
      const label = axisText(a[1], Math.max(step, 60000));
      const width = g.measureText(label).width;
      if (px - width / 2 > lastLabel + 8 && px + width / 2 < x(end)) {
        g.fillText(label, px, top + 16);
        lastLabel = px + width / 2;
        if (firstTick === null) {
          firstTick = a[1];
        }
      }
    }
    const from = Math.max(segStart, start);
    let t = Math.ceil((a[1] + (from - segStart)) / step) * step;
    for (let p = segStart + (t - a[1]); p < Math.min(segEnd, end); t += step, p += step) {
      const px = x(p);
      g.beginPath();
      g.moveTo(px, top + 1);
      g.lineTo(px, top + 6);
      g.stroke();
      if (firstTick === null) {
        firstTick = t;
      }
      const label = axisText(t, step);
      const width = g.measureText(label).width;
      if (px - width / 2 > lastLabel + 8 && Math.abs(px - lastMark) > width / 2 + 6) {
        g.fillText(label, px, top + 16);
        lastLabel = px + width / 2;
      }
    }
  });
  // The date at the left: of the first tick, else of the first record in view (the lead-in
  // before a record belongs to no day).
  g.textAlign = "left";
  const shown = anchors.find((a, i) => i > 0 && a[1] !== null && a[0] >= start);
  const day = firstTick !== null ? firstTick : shown ? shown[1] : wallAt(start);
  if (day !== null) {
    g.fillText(axisText(day, 86400000), 6, top + 16);
  }
}

function zoom(factor, centreX) {
  if (!state.traces) {
    return;
  }
  const canvas = document.getElementById("traces");
  const plotWidth = canvas.width - LABEL_WIDTH - 10;
  const { start, span } = state.view;
  const fraction = Math.min(1, Math.max(0, (centreX - LABEL_WIDTH) / plotWidth));
  const centre = start + fraction * span;
  const full = Math.max(1, state.traces.end);
  const newSpan = Math.min(full, Math.max(5, span * factor));
  state.view.span = newSpan;
  state.view.start = Math.min(full - newSpan, Math.max(0, centre - fraction * newSpan));
  drawTraces();
}

function bindTraceControls() {
  const canvas = document.getElementById("traces");
  canvas.addEventListener("wheel", (event) => {
    event.preventDefault();
    const r = canvas.getBoundingClientRect();
    zoom(event.deltaY < 0 ? 0.8 : 1.25, (event.clientX - r.left) * (canvas.width / r.width));
  }, { passive: false });
  let drag = null;
  canvas.addEventListener("mousedown", (event) => {
    drag = { x: event.clientX, start: state.view.start };
    canvas.style.cursor = "grabbing";
  });
  window.addEventListener("mouseup", () => {
    drag = null;
    canvas.style.cursor = "";
  });
  window.addEventListener("mousemove", (event) => {
    if (!drag || !state.traces) {
      return;
    }
    const plotWidth = canvas.width - LABEL_WIDTH - 10;
    const full = Math.max(1, state.traces.end);
    const moved = ((event.clientX - drag.x) / plotWidth) * state.view.span;
    state.view.start = Math.min(full - state.view.span, Math.max(0, drag.start - moved));
    drawTraces();
  });
  document.getElementById("zoom-in").addEventListener("click", () => zoom(0.5, canvas.width / 2));
  document.getElementById("zoom-out").addEventListener("click", () => zoom(2, canvas.width / 2));
  document.getElementById("zoom-all").addEventListener("click", () => {
    if (state.traces) {
      state.view = { start: 0, span: Math.max(1, state.traces.end) };
      drawTraces();
    }
  });
  window.addEventListener("resize", drawTraces);
}

async function refresh(withTraces) {
  remember();
  try {
    await loadEvents();
    if (withTraces) {
      await loadTraces();
    }
    showProblem("");
  } catch (e) {
    showProblem(e.message);
  }
  document.body.dataset.loaded = "device";
}

function start() {
  const q = new URLSearchParams(location.search);
  state.device = q.get("device") || "";
  state.from = q.get("from") || "";
  state.to = q.get("to") || "";
  state.offset = Math.max(0, parseInt(q.get("offset") || "0", 10) || 0);
  state.limit = parseInt(q.get("limit") || "100", 10) || 100;
  document.getElementById("device-name").textContent = state.device;
  document.title = state.device + " 事件记录";
  document.getElementById("from").value = state.from;
  document.getElementById("to").value = state.to;
  document.getElementById("limit").value = String(state.limit);
  document.getElementById("range").addEventListener("submit", (event) => {
    event.preventDefault();
    state.from = document.getElementById("from").value;
    state.to = document.getElementById("to").value;
    state.limit = parseInt(document.getElementById("limit").value, 10);
    state.offset = 0;
    refresh(true);
  });
  document.getElementById("prev").addEventListener("click", () => {
    state.offset = Math.max(0, state.offset - state.limit);
    refresh(false);
  });
  document.getElementById("next").addEventListener("click", () => {
    state.offset += state.limit;
    refresh(false);
  });
  bindTraceControls();
  refresh(true);
}

start();
