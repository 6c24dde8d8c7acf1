"use strict";
// Shared by the pages: fetching JSON from the program and showing its problems.

async function fetchJson(url) {
  const answer = await fetch(url, { credentials: "same-origin" });
  let body = null;
  try {
    body = await answer.json();
  } catch (e) {
    body = null;
  }
  if (!answer.ok) {
    const text = body && body.error ? body.error : "服务器错误 " + answer.status;
    throw new Error(text);
  }
  return body;
}

function showProblem(text) {
  const p = document.getElementById("problem");
  p.textContent = text || "";
  p.hidden = !text;
}

function pad(n, width) {
  return String(n).padStart(width || 2, "0");
}

// A UTC time text of the archive as this computer's local time.
function localTimeText(utcText) {
  if (!utcText) {
    return "";
  }
  const t = new Date(utcText);
  if (isNaN(t.getTime())) {
    return utcText;
  }
  return t.getFullYear() + "-" + pad(t.getMonth() + 1) + "-" + pad(t.getDate()) + " " +
    pad(t.getHours()) + ":" + pad(t.getMinutes()) + ":" + pad(t.getSeconds());
}

function offsetText(ms) {
  if (ms === null || ms === undefined) {
    return "";
  }
  const sign = ms < 0 ? "-" : "+";
  return sign + (Math.abs(ms) / 1000).toFixed(3) + " 秒";
}

function cell(row, text, className) {
  const td = document.createElement("td");
  td.textContent = text;
  if (className) {
    td.className = className;
  }
  row.appendChild(td);
  return td;
}
