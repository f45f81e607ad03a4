// The page of one screen: shared state, input posts, texts with the
// toolkit's codes, and tooltips. The other scripts (bar, dialogs, nodes,
// lists, windows, stream) build on these; host/web/PROTOCOL.md lists the
// messages.
'use strict';

const token = document.querySelector('meta[name="melodune-token"]').content;
const params = new URLSearchParams(location.search);
let screenIndex = parseInt(params.get('s') || '0', 10) || 0;

const $ = (sel) => document.querySelector(sel);
const el = (tag, cls, text) => {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
};

// What was shown, in order (bubbles can be gone before anyone looks).
window.screenbarLog = [];
const note = (kind, text) => window.screenbarLog.push({ kind, text, at: Date.now() });
// What came over the wire, by message kind (for tests and the benchmark).
window.screenbarStats = { bytes: {}, count: {}, rowFetches: 0, rowBytes: 0 };
const countBytes = (kind, n) => {
  const s = window.screenbarStats;
  s.bytes[kind] = (s.bytes[kind] || 0) + n;
  s.count[kind] = (s.count[kind] || 0) + 1;
};

const state = {
  screens: [],
  windows: new Map(), // id -> {data, elem}
  nodes: new Map(),   // object id -> element
  lists: new Map(),   // object id -> list controller
  bubbles: new Map(), // id -> elem
  dialogs: new Map(), // id -> {data, elem}
  helpShown: false,
  mouse: { x: 0, y: 0 },
  cascade: 0,
};

// ---- posting input ----

// One after the other, so that a press always arrives before its release.
let queue = Promise.resolve();
function post(fields) {
  const body = new URLSearchParams(fields).toString();
  const sent = queue.then(() => fetch('/input', {
    method: 'POST',
    headers: { 'Content-Type': 'application/x-www-form-urlencoded', 'X-Melodune-Token': token },
    body,
  }).then((r) => r.status).catch(() => 0));
  queue = sent;
  return sent;
}

// ---- texts with the toolkit's codes ----

function imgUrl(spec) {
  return '/img?t=' + encodeURIComponent(token) + '&spec=' + encodeURIComponent(spec);
}

// lines: [{a, r: [{t, b, i, u, img}]}]; hi: the first '_' marks a key.
function renderText(lines, hi) {
  const frag = el('div', 'txtlines');
  let marked = !hi;
  for (const line of lines || []) {
    const l = el('div', 'line ' + (line.a || 'l'));
    for (const run of line.r) {
      if (run.img !== undefined) {
        const img = el('img', 'inl');
        img.alt = '';
        img.src = imgUrl(run.img);
        img.addEventListener('error', () => img.classList.add('missing'));
        l.appendChild(img);
        continue;
      }
      let text = run.t;
      const cls = 'run' + (run.b ? ' b' : '') + (run.i ? ' i' : '') + (run.u ? ' u' : '');
      const k = marked ? -1 : text.indexOf('_');
      if (k >= 0 && k + 1 < text.length) {
        marked = true;
        l.appendChild(el('span', cls, text.slice(0, k)));
        l.appendChild(el('span', cls + ' u', text[k + 1]));
        text = text.slice(k + 2);
      }
      l.appendChild(el('span', cls, text));
    }
    frag.appendChild(l);
  }
  return frag;
}

function plain(lines) {
  return (lines || []).map((l) => l.r.map((r) => r.t || '').join('')).join('\n');
}

// The key letter of a text with an underscore, lower case ('' if none).
function keyLetter(lines) {
  const t = plain(lines);
  const k = t.indexOf('_');
  return k >= 0 && k + 1 < t.length ? t[k + 1].toLowerCase() : '';
}

// ---- tooltips: one at a time, when the pointer rests ----

function showTip(lines, x, y) {
  let t = $('#tooltip');
  if (!t) {
    t = el('div', 'tooltip');
    t.id = 'tooltip';
    t.setAttribute('role', 'tooltip');
    t.setAttribute('data-testid', 'tooltip');
    $('#layer').appendChild(t);
  }
  t.textContent = '';
  t.appendChild(renderText(lines));
  t.style.left = x + 8 + 'px';
  t.style.top = y + 18 + 'px';
  return t;
}
function hideTip() {
  const t = $('#tooltip');
  if (t) t.remove();
}

function screenXY(ev) {
  const r = $('#screen').getBoundingClientRect();
  return { x: Math.round(ev.clientX - r.left), y: Math.round(ev.clientY - r.top) };
}

// A gadget's short help: shown when the pointer rests on it, and its
// accessible description all the time.
let tipTimer = null;
function attachHelp(e, n) {
  if (!n.help) return;
  // The descriptions live apart: an input holds no children.
  let d = document.getElementById('desc-' + n.id);
  if (!d) {
    d = el('span');
    d.id = 'desc-' + n.id;
    $('#descs').appendChild(d);
  }
  d.textContent = plain(n.help);
  e.setAttribute('aria-describedby', d.id);
  e.addEventListener('mouseenter', (ev) => {
    clearTimeout(tipTimer);
    const p = screenXY(ev);
    tipTimer = setTimeout(() => showTip(n.help, p.x, p.y), 500);
  });
  e.addEventListener('mouseleave', () => { clearTimeout(tipTimer); hideTip(); });
  e.addEventListener('mousedown', () => { clearTimeout(tipTimer); hideTip(); });
}
