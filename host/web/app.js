// The page of one screen: the title bar with the plug-in's gadget, and the
// bubbles, tooltips, menus, requesters and windows the host shows on it.
// State comes as server-sent events; input goes back as small form posts,
// one after the other so that a press always arrives before its release.
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

const state = {
  screens: [],
  windows: new Map(),   // id -> {data, elem}
  bubbles: new Map(),   // id -> elem
  dialogs: new Map(),   // id -> {data, elem}
  helpShown: false,
  mouse: { x: 0, y: 0 },
  cascade: 0,
};

// ---- posting input ----

let queue = Promise.resolve();
function post(fields) {
  const body = new URLSearchParams(fields).toString();
  queue = queue.then(() => fetch('/input', {
    method: 'POST',
    headers: { 'Content-Type': 'application/x-www-form-urlencoded', 'X-Melodune-Token': token },
    body,
  }).catch(() => {}));
  return queue;
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

// ---- the title bar ----

const barimg = $('#barimg');
const gadget = $('#gadget');
let leftPressed = false;

function barXY(ev) {
  const r = barimg.getBoundingClientRect();
  return { x: Math.round(ev.clientX - r.left), y: Math.round(ev.clientY - r.top) };
}
function screenXY(ev) {
  const r = $('#screen').getBoundingClientRect();
  return { x: Math.round(ev.clientX - r.left), y: Math.round(ev.clientY - r.top) };
}

function setupBar() {
  const scr = state.screens[screenIndex];
  if (!scr) return;
  document.title = scr.title + ' - Screenbar';
  const b = scr.box;
  Object.assign(gadget.style, { left: b.x + 'px', top: b.y + 'px', width: b.w + 'px', height: b.h + 'px' });
  const links = $('#screens');
  links.textContent = '';
  if (state.screens.length > 1) {
    state.screens.forEach((s, i) => {
      const a = el('a', '', s.title);
      a.href = '/?t=' + encodeURIComponent(token) + '&s=' + i;
      if (i === screenIndex) a.style.fontWeight = 'bold';
      links.appendChild(a);
      links.appendChild(document.createTextNode(' '));
    });
  }
}

function onBarDown(ev) {
  const p = barXY(ev);
  if (ev.button === 0) {
    leftPressed = true;
    post({ k: 'bar', s: screenIndex, e: 'down', x: p.x, y: p.y });
  } else if (ev.button === 2) {
    post({ k: 'bar', s: screenIndex, e: 'rdown', x: p.x, y: p.y });
  }
  ev.preventDefault();
}
barimg.addEventListener('mousedown', onBarDown);
gadget.addEventListener('mousedown', onBarDown);
window.addEventListener('mouseup', (ev) => {
  if (ev.button === 0 && leftPressed) {
    leftPressed = false;
    const p = barXY(ev);
    post({ k: 'bar', s: screenIndex, e: 'up', x: p.x, y: p.y });
  } else if (ev.button === 2 && (ev.target === barimg || ev.target === gadget)) {
    const p = barXY(ev);
    post({ k: 'bar', s: screenIndex, e: 'rup', x: p.x, y: p.y });
  }
});
$('#bar').addEventListener('contextmenu', (ev) => ev.preventDefault());

// Tooltip: asked for when the pointer rests on the gadget.
let helpTimer = null;
gadget.addEventListener('mousemove', (ev) => {
  clearTimeout(helpTimer);
  if (state.helpShown) return;
  const p = barXY(ev);
  helpTimer = setTimeout(() => {
    state.helpShown = true;
    post({ k: 'help', s: screenIndex, on: 1, x: p.x, y: p.y });
  }, 500);
});
gadget.addEventListener('mouseleave', (ev) => {
  clearTimeout(helpTimer);
  if (state.helpShown) {
    state.helpShown = false;
    const p = barXY(ev);
    post({ k: 'help', s: screenIndex, on: 0, x: p.x, y: p.y });
  }
  const t = $('#tooltip');
  if (t) t.remove();
});
gadget.addEventListener('mousedown', () => {
  clearTimeout(helpTimer);
  const t = $('#tooltip');
  if (t) t.remove();
});

// The mouse position the requesters open at.
let lastMouse = 0;
$('#screen').addEventListener('mousemove', (ev) => {
  state.mouse = screenXY(ev);
  const now = Date.now();
  if (now - lastMouse > 150) {
    lastMouse = now;
    post({ k: 'mouse', s: screenIndex, x: state.mouse.x, y: state.mouse.y });
  }
});

// A press anywhere says where the mouse is first (the answer to a menu may
// open a requester there).
window.addEventListener('mousedown', (ev) => {
  state.mouse = screenXY(ev);
  post({ k: 'mouse', s: screenIndex, x: state.mouse.x, y: state.mouse.y });
}, true);

$('#prefs').addEventListener('click', () => post({ k: 'prefs' }));

// ---- bubbles and the tooltip ----

function showBubble(b) {
  if (b.s !== screenIndex) return;
  dropBubble(b.id);
  note('bubble', plain(b.text));
  const e = el('div', 'bubble');
  e.dataset.testid = 'bubble';
  e.setAttribute('data-testid', 'bubble');
  e.appendChild(renderText(b.text));
  let x = b.x, y = b.y;
  if (!b.bar) {
    const anchor = document.querySelector('[data-id="' + b.anchor + '"]') ||
      (state.windows.get(b.win) || {}).elem;
    if (anchor) {
      const r = anchor.getBoundingClientRect(), s = $('#screen').getBoundingClientRect();
      x = r.left - s.left;
      y = r.bottom - s.top;
    }
  }
  e.style.left = Math.max(0, x) + 'px';
  e.style.top = Math.max(0, y) + 'px';
  $('#layer').appendChild(e);
  // Keep it on the screen.
  const over = e.getBoundingClientRect().right - window.innerWidth;
  if (over > 0) e.style.left = Math.max(0, x - over - 4) + 'px';
  state.bubbles.set(b.id, e);
}
function dropBubble(id) {
  const e = state.bubbles.get(id);
  if (e) e.remove();
  state.bubbles.delete(id);
}

function showHelp(h) {
  if (h.s !== screenIndex || !state.helpShown) return;
  let t = $('#tooltip');
  if (!t) {
    t = el('div', 'tooltip');
    t.id = 'tooltip';
    t.setAttribute('data-testid', 'tooltip');
    $('#layer').appendChild(t);
  }
  t.textContent = '';
  t.appendChild(renderText(h.text));
  t.style.left = state.mouse.x + 8 + 'px';
  t.style.top = state.mouse.y + 18 + 'px';
}
function hideHelp(h) {
  if (h.s !== screenIndex) return;
  const t = $('#tooltip');
  if (t) t.remove();
}

// ---- dialogs: menus, requesters, file requesters ----

function answer(id, v) {
  post({ k: 'answer', id, v });
}

function placeIn(box, x, y) {
  const s = $('#screen').getBoundingClientRect();
  const r = box.getBoundingClientRect();
  const maxX = Math.max(0, window.innerWidth - s.left - r.width - 4);
  const maxY = Math.max(0, window.innerHeight - s.top - r.height - 4);
  box.style.left = Math.min(Math.max(0, x), maxX) + 'px';
  box.style.top = Math.min(Math.max(0, y), maxY) + 'px';
}

function buildMenu(items, id, level) {
  const m = el('div', 'menu');
  m.setAttribute('data-testid', 'menu');
  m.dataset.level = level;
  for (const it of items) {
    if (it.k === 'bar') {
      m.appendChild(el('div', 'sep'));
      continue;
    }
    const mi = el('div', 'mi' + (it.en ? '' : ' disabled') + (it.k === 'menu' ? ' sub' : '') +
      (it.check ? ' checked' : ''));
    mi.setAttribute('data-testid', 'menuitem');
    mi.setAttribute('role', 'menuitem');
    mi.setAttribute('aria-disabled', it.en ? 'false' : 'true');
    const label = renderText(it.t);
    label.style.display = 'inline-block';
    mi.appendChild(label);
    if (it.key) mi.appendChild(el('span', 'key', 'Amiga+' + it.key));
    if (it.k === 'menu' && it.en && it.ch) {
      mi.addEventListener('mouseenter', () => {
        for (const o of m.querySelectorAll(':scope > .mi.open')) {
          o.classList.remove('open');
          o.querySelectorAll('.menu').forEach((x) => x.remove());
        }
        mi.classList.add('open');
        const sub = buildMenu(it.ch, id, level + 1);
        sub.style.left = '100%';
        sub.style.top = '-3px';
        mi.appendChild(sub);
        // No room on the right: open to the left.
        if (sub.getBoundingClientRect().right > window.innerWidth) {
          sub.style.left = 'auto';
          sub.style.right = '100%';
        }
      });
    } else if (it.k === 'item' && it.en) {
      mi.addEventListener('mouseup', (ev) => { ev.stopPropagation(); answer(id, it.n); });
      mi.addEventListener('click', (ev) => ev.stopPropagation());
    }
    mi.addEventListener('mousedown', (ev) => ev.stopPropagation());
    m.appendChild(mi);
  }
  return m;
}

function showMenu(d) {
  const guard = el('div', 'menuguard');
  // Clicking anywhere else cancels.
  guard.addEventListener('mousedown', (ev) => { ev.preventDefault(); answer(d.id, -1); });
  guard.addEventListener('contextmenu', (ev) => ev.preventDefault());
  const m = buildMenu(d.items, d.id, 0);
  guard.appendChild(m);
  $('#layer').appendChild(guard);
  let x = d.x, y = d.y;
  if (!d.bar) {
    const w = state.windows.get(d.win);
    if (w) {
      const r = w.elem.getBoundingClientRect(), s = $('#screen').getBoundingClientRect();
      x += r.left - s.left;
      y += r.top - s.top;
    }
  }
  placeIn(m, x, y);
  return guard;
}

function showRequest(d) {
  const modal = el('div', 'modal');
  const box = el('div', 'req');
  box.setAttribute('data-testid', 'requester');
  box.setAttribute('role', 'dialog');
  const title = el('div', 'title');
  title.appendChild(el('span', '', d.title));
  box.appendChild(title);
  const body = el('div', 'body');
  body.appendChild(renderText(d.text));
  box.appendChild(body);
  const buttons = el('div', 'buttons');
  d.buttons.forEach((b, i) => {
    const btn = el('button');
    btn.type = 'button';
    btn.appendChild(renderText(b, true));
    btn.dataset.index = i;
    if (i === d.def) btn.classList.add('default');
    btn.addEventListener('click', () => answer(d.id, i));
    buttons.appendChild(btn);
  });
  box.appendChild(buttons);
  box.tabIndex = -1;
  box.addEventListener('keydown', (ev) => {
    if (ev.key === 'Escape') answer(d.id, -1);
    if (ev.key === 'Enter' && document.activeElement === box) answer(d.id, d.def);
  });
  modal.appendChild(box);
  $('#layer').appendChild(modal);
  if (d.at) {
    placeIn(box, d.at.x, d.at.y);
  } else {
    const s = $('#screen').getBoundingClientRect(), r = box.getBoundingClientRect();
    placeIn(box, (Math.min(window.innerWidth, s.width) - r.width) / 2, 80);
  }
  const def = buttons.children[d.def];
  (def || box).focus();
  return modal;
}

function amigaJoin(drawer, name) {
  if (!drawer) return name;
  return /[:/]$/.test(drawer) ? drawer + name : drawer + '/' + name;
}
function amigaParent(drawer) {
  if (!drawer) return '';
  if (drawer.endsWith(':')) return '';
  const i = Math.max(drawer.lastIndexOf('/'), drawer.lastIndexOf(':'));
  return i < 0 ? '' : drawer.slice(0, drawer[i] === ':' ? i + 1 : i);
}
function patternRegex(p) {
  if (!p) return null;
  let r = '';
  for (let i = 0; i < p.length; i++) {
    const c = p[i];
    if (c === '#' && p[i + 1] === '?') { r += '.*'; i++; } else if (c === '*') r += '.*';
    else if (c === '?') r += '.';
    else r += c.replace(/[.+^${}()|[\]\\]/g, '\\$&');
  }
  try { return new RegExp('^' + r + '$', 'i'); } catch (e) { return null; }
}

function showAsl(d) {
  const modal = el('div', 'modal');
  const box = el('div', 'req asl');
  box.setAttribute('data-testid', 'asl');
  const title = el('div', 'title');
  title.appendChild(el('span', '', d.title || (d.drawersOnly ? 'Choose a drawer' : 'Choose a file')));
  box.appendChild(title);
  const body = el('div', 'body');
  const pathRow = el('div', 'row');
  const up = el('button', '', 'Parent');
  const vols = el('button', '', 'Volumes');
  const path = el('input');
  path.setAttribute('data-testid', 'asl-drawer');
  path.value = d.drawer || '';
  pathRow.append(vols, up, path);
  const list = el('div', 'list');
  list.setAttribute('data-testid', 'asl-list');
  const fileRow = el('div', 'row');
  const file = el('input');
  file.setAttribute('data-testid', 'asl-file');
  file.value = d.file || '';
  fileRow.append(el('span', '', 'File'), file);
  if (d.drawersOnly) fileRow.classList.add('hidden');
  body.append(pathRow, list, fileRow);
  box.appendChild(body);
  const buttons = el('div', 'buttons');
  const ok = el('button', 'default', d.pos || (d.save ? 'Save' : 'OK'));
  ok.setAttribute('data-testid', 'asl-ok');
  const cancel = el('button', '', d.neg || 'Cancel');
  buttons.append(ok, cancel);
  box.appendChild(buttons);
  const re = patternRegex(d.pattern);
  async function load(dir) {
    path.value = dir;
    list.textContent = '';
    let data;
    try {
      const r = await fetch('/dir?t=' + encodeURIComponent(token) + '&path=' + encodeURIComponent(dir));
      if (!r.ok) { list.appendChild(el('div', 'entry', '(no such drawer)')); return; }
      data = await r.json();
    } catch (e) { return; }
    for (const e of data.entries) {
      if (!e.dir && (d.drawersOnly || (re && !re.test(e.name)))) continue;
      const row = el('div', 'entry' + (e.dir ? ' dir' : ''), e.name);
      row.addEventListener('click', () => {
        list.querySelectorAll('.sel').forEach((x) => x.classList.remove('sel'));
        row.classList.add('sel');
        if (!e.dir) file.value = e.name;
      });
      row.addEventListener('dblclick', () => {
        if (e.dir) load(dir === '' ? e.name : amigaJoin(dir, e.name));
        else finish();
      });
      list.appendChild(row);
    }
  }
  function finish() {
    answer(d.id, new URLSearchParams({ drawer: path.value, file: file.value }).toString());
  }
  ok.addEventListener('click', finish);
  cancel.addEventListener('click', () => answer(d.id, ''));
  up.addEventListener('click', () => load(amigaParent(path.value)));
  vols.addEventListener('click', () => load(''));
  path.addEventListener('keydown', (ev) => { if (ev.key === 'Enter') load(path.value); });
  modal.appendChild(box);
  $('#layer').appendChild(modal);
  placeIn(box, 60, 60);
  load(d.drawer || '');
  return modal;
}

function showDialog(d) {
  if (d.s !== screenIndex || state.dialogs.has(d.id)) return;
  note(d.kind, d.title || '');
  const elem = d.kind === 'menu' ? showMenu(d) : d.kind === 'asl' ? showAsl(d) : showRequest(d);
  state.dialogs.set(d.id, { data: d, elem });
}
function dropDialog(id) {
  const d = state.dialogs.get(id);
  if (d) d.elem.remove();
  state.dialogs.delete(id);
}

// ---- windows ----

function weight(e, n, horiz) {
  const w = horiz ? n.hw : n.vw;
  if (w !== undefined) e.style.flexGrow = String(w / 100);
}

function renderNode(n, winId) {
  if (!n) return el('div');
  let e;
  const click = () => post({ k: 'click', id: n.id });
  switch (n.k) {
    case 'group': {
      e = el('div', 'grp' + (n.horiz ? ' horiz' : ''));
      if (n.cols || n.rows) {
        e.classList.add('grid');
        if (n.cols) e.style.gridTemplateColumns = 'repeat(' + n.cols + ', auto)';
        else { e.style.gridTemplateRows = 'repeat(' + n.rows + ', auto)'; e.style.gridAutoFlow = 'column'; }
      }
      (n.ch || []).forEach((c, i) => {
        const ce = renderNode(c, winId);
        if (n.page !== undefined && i !== n.page) ce.classList.add('hidden');
        weight(ce, c || {}, !!n.horiz);
        e.appendChild(ce);
      });
      break;
    }
    case 'text':
      if (n.input) {
        e = el('button', 'btn' + (n.sel ? ' sel' : ''));
        e.type = 'button';
        e.appendChild(renderText(n.text, n.hi));
        e.addEventListener('click', click);
      } else {
        e = el('div', 'txt' + (n.frame ? ' framed' : ''));
        e.appendChild(renderText(n.text, n.hi));
      }
      break;
    case 'link':
      e = el('span', 'link');
      e.appendChild(renderText(n.text));
      e.title = n.uri;
      e.addEventListener('click', click);
      break;
    case 'string': {
      e = el('input', 'str');
      e.type = n.secret ? 'password' : 'text';
      e.value = n.v;
      if (n.max > 1) e.maxLength = n.max - 1;
      let timer = null;
      const send = (ack) => { clearTimeout(timer); post({ k: 'type', id: n.id, v: e.value, ack: ack ? 1 : 0 }); };
      e.addEventListener('input', () => { clearTimeout(timer); timer = setTimeout(() => send(false), 250); });
      e.addEventListener('keydown', (ev) => { if (ev.key === 'Enter') send(true); });
      e.addEventListener('change', () => send(false));
      break;
    }
    case 'image':
      if (n.std === 15 && n.input === 3) {
        e = el('input', 'chk');
        e.type = 'checkbox';
        e.checked = !!n.sel;
        e.addEventListener('click', click);
      } else {
        e = el(n.input ? 'button' : 'div', n.input ? 'btn img' : 'img');
        if (n.spec) {
          const img = el('img');
          img.alt = '';
          img.src = imgUrl(n.spec);
          e.appendChild(img);
        } else {
          const glyph = { 11: '▲', 12: '▼', 13: '◀', 14: '▶', 15: '✓', 16: '●', 17: '⟳', 18: '▾', 19: '…', 20: '…' }[n.std];
          e.appendChild(el('span', 'stdimg', glyph || ''));
        }
        if (n.input) e.addEventListener('click', click);
      }
      break;
    case 'numeric':
      if (n.labels) {
        e = el('select', 'num');
        n.labels.forEach((l, i) => {
          const o = el('option', '', l);
          o.value = n.min + i;
          if (n.min + i === n.v) o.selected = true;
          e.appendChild(o);
        });
      } else {
        e = el('input', 'num');
        e.type = 'number';
        e.min = n.min;
        e.max = n.max;
        e.value = n.v;
      }
      e.addEventListener('change', () => post({ k: 'num', id: n.id, v: e.value }));
      break;
    case 'gauge': {
      e = el('div', 'gauge');
      const f = el('div', 'fill');
      f.style.width = (n.max > 0 ? Math.min(100, Math.max(0, (100 * n.cur) / n.max)) : 0) + '%';
      const info = el('div', 'info');
      info.appendChild(renderText(n.info));
      e.append(f, info);
      break;
    }
    case 'list':
    case 'tree':
      e = renderList(n);
      break;
    case 'busy':
      e = el('div', 'busy' + (n.speed ? ' on' : ''));
      break;
    case 'balance':
      e = el('div', 'balance');
      break;
    case 'rect':
      if (n.hbar || n.btitle) e = el('hr', 'hbar');
      else if (n.vbar) e = el('div', 'vbar');
      else e = el('div', 'space');
      break;
    case 'pen':
      if (n.pick) {
        e = el('input', 'pen');
        e.type = 'color';
        e.value = n.rgb;
        e.addEventListener('change', () => post({ k: 'pen', id: n.id, v: 'r' + e.value.slice(1) }));
      } else {
        e = el('div', 'pen');
        e.style.background = n.rgb;
      }
      break;
    case 'pop': {
      e = el('div', 'pop');
      (n.ch || []).forEach((c, i) => {
        const ce = renderNode(c, winId);
        if (i === 0) ce.style.flex = '1';
        e.appendChild(ce);
      });
      if (n.popped) {
        const p = el('div', 'popped');
        p.appendChild(renderNode(n.popped, winId));
        const close = el('button', 'btn', 'Close');
        close.addEventListener('click', () => post({ k: 'popclose', id: n.id }));
        p.appendChild(close);
        e.appendChild(p);
      }
      break;
    }
    default:
      e = el('div', 'area');
  }
  if (n.ftitle || n.frame === 9) {
    const fs = el('fieldset', 'frame');
    if (n.ftitle) {
      const lg = el('legend');
      lg.appendChild(renderText(n.ftitle));
      fs.appendChild(lg);
    }
    fs.appendChild(e);
    if (e.classList.contains('grp')) e.style.width = '100%';
    e = fs;
  }
  e.dataset.id = n.id;
  e.dataset.kind = n.k;
  if (n.help) e.title = n.help;
  if (n.hide) e.classList.add('hidden');
  if (n.dis) {
    e.classList.add('disabled');
    if ('disabled' in e) e.disabled = true;
  }
  return e;
}

function renderList(n) {
  const box = el('div', 'lst');
  const table = el('table');
  const rows = n.rows || [];
  let body = rows;
  if (n.k === 'list' && n.title && rows.length) {
    const tr = el('tr');
    for (const c of rows[0]) { const th = el('th'); th.appendChild(renderText(c)); tr.appendChild(th); }
    const thead = el('thead');
    thead.appendChild(tr);
    table.appendChild(thead);
    body = rows.slice(1);
  } else if (n.k === 'tree' && n.head) {
    const tr = el('tr');
    for (const c of n.head) { const th = el('th'); th.appendChild(renderText(c)); tr.appendChild(th); }
    const thead = el('thead');
    thead.appendChild(tr);
    table.appendChild(thead);
  }
  const tbody = el('tbody');
  body.forEach((r, i) => {
    const tr = el('tr', i === n.active ? 'act' : '');
    tr.setAttribute('data-row', i);
    const cols = n.k === 'tree' ? r.c : r;
    cols.forEach((c, k) => {
      const td = el('td');
      if (n.k === 'tree' && k === 0) {
        td.style.paddingLeft = 6 + 16 * r.d + 'px';
        const tog = el('span', 'tog', r.list ? (r.open ? '▾' : '▸') : '');
        if (r.list) {
          tog.setAttribute('data-testid', 'toggle');
          tog.addEventListener('click', (ev) => {
            ev.stopPropagation();
            post({ k: r.open ? 'close-node' : 'open', id: n.id, v: i });
          });
        }
        td.appendChild(tog);
      }
      const t = renderText(c);
      t.style.display = 'inline-block';
      td.appendChild(t);
      tr.appendChild(td);
    });
    tr.addEventListener('click', () => post({ k: 'sel', id: n.id, v: i }));
    tr.addEventListener('dblclick', () => post({ k: 'dbl', id: n.id, v: i }));
    tbody.appendChild(tr);
  });
  table.appendChild(tbody);
  box.appendChild(table);
  return box;
}

function showWindow(w) {
  if (w.s !== screenIndex) return;
  let entry = state.windows.get(w.id);
  let elem;
  if (!entry) {
    elem = el('div', 'win');
    elem.setAttribute('data-testid', 'window');
    const title = el('div', 'title');
    if (w.close) {
      const cb = el('button', 'closebox', '×');
      cb.setAttribute('data-testid', 'closebox');
      cb.title = 'Close';
      cb.addEventListener('mousedown', (ev) => ev.stopPropagation());
      cb.addEventListener('click', () => post({ k: 'closewin', id: w.id }));
      title.appendChild(cb);
    }
    title.appendChild(el('span'));
    elem.appendChild(title);
    elem.appendChild(el('div', 'content'));
    const n = state.cascade++ % 8;
    elem.style.left = 40 + n * 28 + 'px';
    elem.style.top = 40 + n * 24 + 'px';
    dragBy(title, elem);
    $('#desk').appendChild(elem);
    entry = { data: w, elem };
    state.windows.set(w.id, entry);
    note('window', w.title);
  }
  elem = entry.elem;
  entry.data = w;
  elem.dataset.id = w.id;
  elem.querySelector('.title span').textContent = w.title;
  elem.classList.toggle('sleeping', !!w.sleep);
  // Keep what the person is doing: focus, caret and scroll positions.
  const content = elem.querySelector('.content');
  const focused = document.activeElement && content.contains(document.activeElement) ? document.activeElement : null;
  const focusId = focused && focused.closest('[data-id]') ? focused.closest('[data-id]').dataset.id : null;
  const typed = focused && focused.tagName === 'INPUT' ? { v: focused.value, a: focused.selectionStart, b: focused.selectionEnd } : null;
  const scrolls = {};
  content.querySelectorAll('.lst').forEach((l) => { scrolls[l.dataset.id] = l.scrollTop; });
  content.textContent = '';
  content.appendChild(renderNode(w.root, w.id));
  content.querySelectorAll('.lst').forEach((l) => { if (scrolls[l.dataset.id]) l.scrollTop = scrolls[l.dataset.id]; });
  if (focusId) {
    const again = content.querySelector('[data-id="' + focusId + '"]');
    const input = again && (again.matches('input, select, button') ? again : again.querySelector('input, select, button'));
    if (input) {
      if (typed && input.tagName === 'INPUT' && input.type !== 'checkbox') {
        input.value = typed.v;
        try { input.setSelectionRange(typed.a, typed.b); } catch (e) { /* not a text field */ }
      }
      input.focus();
    }
  }
  if (w.sleep) content.appendChild(el('div', 'sleepveil'));
}

function dropWindow(id) {
  const w = state.windows.get(id);
  if (w) w.elem.remove();
  state.windows.delete(id);
}

function dragBy(handle, box) {
  handle.addEventListener('mousedown', (ev) => {
    if (ev.button !== 0) return;
    const sx = ev.clientX, sy = ev.clientY, ox = box.offsetLeft, oy = box.offsetTop;
    const move = (e) => { box.style.left = ox + e.clientX - sx + 'px'; box.style.top = Math.max(0, oy + e.clientY - sy) + 'px'; };
    const up = () => { window.removeEventListener('mousemove', move); window.removeEventListener('mouseup', up); };
    window.addEventListener('mousemove', move);
    window.addEventListener('mouseup', up);
    ev.preventDefault();
  });
}

// ---- the event stream ----

function reset() {
  for (const id of [...state.windows.keys()]) dropWindow(id);
  for (const id of [...state.bubbles.keys()]) dropBubble(id);
  for (const id of [...state.dialogs.keys()]) dropDialog(id);
  const t = $('#tooltip');
  if (t) t.remove();
}

function showFrame(f) {
  if (!f || f.s !== screenIndex) return;
  barimg.src = f.png;
  barimg.width = f.w;
  barimg.height = f.h;
  barimg.dataset.frames = String((parseInt(barimg.dataset.frames || '0', 10) || 0) + 1);
}

function connect() {
  const es = new EventSource('/events?t=' + encodeURIComponent(token) + '&s=' + screenIndex);
  const on = (name, fn) => es.addEventListener(name, (ev) => fn(JSON.parse(ev.data)));
  on('hello', (h) => {
    reset();
    screenIndex = h.s;
    state.screens = h.screens;
    setupBar();
    showFrame(h.frame);
    h.windows.forEach(showWindow);
    h.bubbles.forEach(showBubble);
    h.dialogs.forEach(showDialog);
    $('#status').textContent = 'connected';
    document.body.dataset.ready = '1';
  });
  on('bar', showFrame);
  on('bubble', showBubble);
  on('bubbleEnd', (b) => dropBubble(b.id));
  on('help', showHelp);
  on('helpEnd', hideHelp);
  on('window', showWindow);
  on('windowEnd', (w) => dropWindow(w.id));
  on('dialog', showDialog);
  on('dialogEnd', (d) => dropDialog(d.id));
  es.addEventListener('error', () => {
    $('#status').textContent = 'disconnected, retrying…';
    document.body.dataset.ready = '';
  });
}

connect();
