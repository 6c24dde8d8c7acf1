"use strict";
// The fleet table: every device with its status, devices that missed their last poll in red.

async function loadFleet() {
  try {
    const fleet = await fetchJson("/api/devices");
    const body = document.querySelector("#fleet tbody");
    body.replaceChildren();
    for (const d of fleet.devices) {
      const row = document.createElement("tr");
      row.dataset.device = d.name;
      if (d.missed) {
        row.className = "missed";
      }
      const name = document.createElement("a");
      name.href = "device.html?device=" + encodeURIComponent(d.name);
      name.textContent = d.name;
      cell(row, "").appendChild(name);
      cell(row, d.station);
      cell(row, d.channel);
      cell(row, d.variant === "A" ? "KPA-650" : d.variant === "B" ? "KPB-650" : "未知");
      cell(row, localTimeText(d.lastSuccess));
      const error = cell(row, d.lastError ? localTimeText(d.lastErrorAt) + " " + d.lastError : "");
      error.title = d.lastError || "";
      cell(row, String(d.records), "number");
      cell(row, offsetText(d.clockOffsetMs), "number");
      cell(row, d.missed ? "未应答" : "正常", "state");
      body.appendChild(row);
    }
    document.getElementById("updated").textContent =
      "共 " + fleet.devices.length + " 台装置，更新于 " + localTimeText(fleet.now);
    document.body.dataset.loaded = "fleet";
    showProblem("");
  } catch (e) {
    showProblem("读取装置列表失败：" + e.message);
  }
}

loadFleet();
setInterval(loadFleet, 30000);
