// Toolkit objects as page elements, by kind family: groups and frames,
// texts and buttons, strings, numbers, gauges, images, pop-ups. Every
// element carries data-id (the object) and data-kind; roles and names
// follow what a person sees (see PROTOCOL.md, "display contract").
'use strict';

// Names of the standard images a button may show.
const stdImageNames = { 11: 'Up', 12: 'Down', 13: 'Left', 14: 'Right', 15: 'Check', 18: 'Open list', 19: 'Choose file', 20: 'Choose drawer' };
const stdImageGlyphs = { 11: '▲', 12: '▼', 13: '◀', 14: '▶', 15: '✓', 16: '●', 17: '⟳', 18: '▾', 19: '…', 20: '…' };

// Where a press started: its release goes to the same object.
let pressedId = null;
window.addEventListener('mouseup', (ev) => {
  if (ev.button !== 0 || pressedId === null) return;
  const e = state.nodes.get(pressedId);
  const inside = !!(e && e.contains(ev.target));
  post({ k: 'release', id: pressedId, in: inside ? 1 : 0 });
  pressedId = null;
});

// A gadget that takes presses: relverify objects get press and release
// (the host repeats a held one), the others a click.
function pressable(e, n) {
  if (n.input === 1) {
    e.addEventListener('mousedown', (ev) => {
      if (ev.button !== 0 || n.dis) return;
      pressedId = n.id;
      post({ k: 'press', id: n.id });
    });
    e.addEventListener('keydown', (ev) => {
      if ((ev.key === 'Enter' || ev.key === ' ') && !ev.repeat && !n.dis) {
        ev.preventDefault();
        post({ k: 'press', id: n.id });
      }
    });
    e.addEventListener('keyup', (ev) => {
      if ((ev.key === 'Enter' || ev.key === ' ') && !n.dis) {
        ev.preventDefault();
        post({ k: 'release', id: n.id, in: 1 });
      }
    });
    e.addEventListener('click', (ev) => ev.preventDefault());
  } else {
    e.addEventListener('click', () => { if (!n.dis) post({ k: 'click', id: n.id }); });
  }
}

// The position of a pointer event in the window's content.
function windowXY(e, ev) {
  const c = e.closest('.content');
  const r = c ? c.getBoundingClientRect() : { left: 0, top: 0 };
  return { x: Math.round(ev.clientX - r.left), y: Math.round(ev.clientY - r.top) };
}

function contextMenu(e, n) {
  if (!n.cm) return;
  e.addEventListener('contextmenu', (ev) => {
    ev.preventDefault();
    ev.stopPropagation();
    const p = windowXY(e, ev);
    post({ k: 'ctx', id: n.id, x: p.x, y: p.y });
  });
  e.addEventListener('keydown', (ev) => {
    if ((ev.key === 'F10' && ev.shiftKey) || ev.key === 'ContextMenu') {
      ev.preventDefault();
      const r = e.getBoundingClientRect();
      const p = windowXY(e, { clientX: r.left + 8, clientY: r.top + Math.min(r.height, 20) });
      post({ k: 'ctx', id: n.id, x: p.x, y: p.y });
    }
  });
}

function focusable(e, n) {
  e.tabIndex = n.cc ? 0 : -1; // Tab follows the cycle chain
  e.addEventListener('focus', () => {
    const w = e.closest('.win');
    if (w && w.dataset.focus !== String(n.id)) {
      w.dataset.focus = String(n.id);
      post({ k: 'focus', id: n.id });
    }
  });
}

function renderGroup(n, winId) {
  const e = el('div', 'grp' + (n.horiz ? ' horiz' : ''));
  if (n.cols || n.rows) {
    e.classList.add('grid');
    if (n.cols) e.style.gridTemplateColumns = 'repeat(' + n.cols + ', auto)';
    else { e.style.gridTemplateRows = 'repeat(' + n.rows + ', auto)'; e.style.gridAutoFlow = 'column'; }
  }
  const kids = (n.ch || []).map((c, i) => {
    const ce = renderNode(c, winId);
    if (n.page !== undefined && i !== n.page) {
      ce.classList.add('hidden');
      ce.dataset.pagehidden = '1';
    }
    weight(ce, c || {}, !!n.horiz);
    e.appendChild(ce);
    return { n: c || {}, e: ce };
  });
  // A label names the gadget after it (in a label/content column group, the
  // first gadget of the content).
  kids.forEach((k, i) => {
    if (!k.n.label || i + 1 >= kids.length) return;
    const next = kids[i + 1];
    if (next.n.label) return;
    const target = next.e.matches(controlSelector) ? next.e : next.e.querySelector(controlSelector);
    if (!target || target.hasAttribute('aria-labelledby')) return;
    k.e.id = 'lbl-' + k.n.id;
    target.setAttribute('aria-labelledby', k.e.id);
  });
  return e;
}
const controlSelector = 'input, select, button:not(.tog), [role=spinbutton], [role=checkbox], [role=grid], [role=treegrid], .clickable';

function weight(e, n, horiz) {
  const w = horiz ? n.hw : n.vw;
  if (w !== undefined) e.style.flexGrow = String(w / 100);
}

function renderTextNode(n) {
  let e;
  if (n.btn || (n.input && n.frame === 1)) {
    e = el('button', 'btn' + (n.sel ? ' sel' : ''));
    e.type = 'button';
    e.appendChild(renderText(n.text, n.hi));
    const key = n.key || (n.hi ? keyLetter(n.text) : '');
    if (key) { e.setAttribute('aria-keyshortcuts', key); e.dataset.key = key; }
    if (n.input === 3) e.setAttribute('aria-pressed', n.sel ? 'true' : 'false');
    pressable(e, n);
    focusable(e, n);
  } else if (n.input) {
    // A text that reacts to a click stays a text.
    e = el('div', 'txt clickable' + (n.frame ? ' framed' : ''));
    e.appendChild(renderText(n.text, n.hi));
    pressable(e, n);
    focusable(e, n);
  } else {
    e = el('div', 'txt' + (n.frame ? ' framed' : '') + (n.label ? ' label' : ''));
    e.appendChild(renderText(n.text, n.hi));
  }
  return e;
}

function renderString(n) {
  const e = el('input', 'str');
  e.type = n.secret ? 'password' : 'text';
  e.value = n.v;
  if (n.ph) e.placeholder = n.ph;
  if (n.max > 1) e.maxLength = n.max - 1;
  if (n.key) e.setAttribute('aria-keyshortcuts', n.key);
  let timer = null;
  const send = (ack) => { clearTimeout(timer); post({ k: 'type', id: n.id, v: e.value, ack: ack ? 1 : 0 }); };
  e.addEventListener('input', () => { clearTimeout(timer); timer = setTimeout(() => send(false), 250); });
  e.addEventListener('keydown', (ev) => { if (ev.key === 'Enter') send(true); });
  e.addEventListener('change', () => send(false));
  focusable(e, n);
  return e;
}

function renderImage(n) {
  let e;
  if (n.std === 15 && n.input === 3) {
    e = el('input', 'chk');
    e.type = 'checkbox';
    e.checked = !!n.sel;
    e.addEventListener('click', () => post({ k: 'click', id: n.id }));
    focusable(e, n);
    return e;
  }
  e = el(n.input ? 'button' : 'div', n.input ? 'btn img' : 'img');
  if (n.spec) {
    const img = el('img');
    img.alt = '';
    img.src = imgUrl(n.spec);
    e.appendChild(img);
  } else {
    e.appendChild(el('span', 'stdimg', stdImageGlyphs[n.std] || ''));
  }
  if (n.input) {
    e.type = 'button';
    // Named by its short help, else by its image.
    const name = n.help ? plain(n.help) : stdImageNames[n.std] || '';
    if (name) e.setAttribute('aria-label', name);
    pressable(e, n);
    focusable(e, n);
  }
  return e;
}

function renderNumeric(n) {
  const e = el('div', 'num');
  e.setAttribute('role', 'spinbutton');
  e.setAttribute('aria-valuemin', n.min);
  e.setAttribute('aria-valuemax', n.max);
  e.setAttribute('aria-valuenow', n.v);
  const label = n.labels ? n.labels[n.v - n.min] : n.label !== undefined ? n.label : String(n.v);
  e.setAttribute('aria-valuetext', label);
  const less = el('span', 'step', '−'), more = el('span', 'step', '+');
  less.setAttribute('aria-hidden', 'true');
  more.setAttribute('aria-hidden', 'true');
  e.append(less, el('span', 'val', label), more);
  const set = (v) => {
    v = Math.min(n.max, Math.max(n.min, v));
    if (v !== n.v && !n.dis) post({ k: 'num', id: n.id, v });
  };
  less.addEventListener('click', () => set(n.v - 1));
  more.addEventListener('click', () => set(n.v + 1));
  e.addEventListener('keydown', (ev) => {
    const step = { ArrowUp: 1, ArrowRight: 1, ArrowDown: -1, ArrowLeft: -1, PageUp: 10, PageDown: -10 }[ev.key];
    if (step) set(n.v + step);
    else if (ev.key === 'Home') set(n.min);
    else if (ev.key === 'End') set(n.max);
    else return;
    ev.preventDefault();
  });
  focusable(e, n);
  return e;
}

function renderGauge(n) {
  const e = el('div', 'gauge');
  e.setAttribute('role', 'progressbar');
  e.setAttribute('aria-valuemin', 0);
  e.setAttribute('aria-valuemax', n.top);
  e.setAttribute('aria-valuenow', n.now);
  const text = plain(n.info);
  if (text) e.setAttribute('aria-valuetext', text);
  const f = el('div', 'fill');
  f.style.width = (n.max > 0 ? Math.min(100, Math.max(0, (100 * n.cur) / n.max)) : 0) + '%';
  const info = el('div', 'info');
  info.appendChild(renderText(n.info));
  e.append(f, info);
  return e;
}

function renderPop(n, winId) {
  const e = el('div', 'pop');
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
    p.addEventListener('keydown', (ev) => {
      if (ev.key === 'Escape') { ev.stopPropagation(); post({ k: 'popclose', id: n.id }); }
    });
    e.appendChild(p);
  }
  return e;
}

function renderNode(n, winId) {
  if (!n) return el('div');
  let e;
  switch (n.k) {
    case 'group': e = renderGroup(n, winId); break;
    case 'text': e = renderTextNode(n); break;
    case 'link':
      e = el('a', 'link');
      e.href = '#';
      e.appendChild(renderText(n.text));
      e.title = n.uri;
      e.addEventListener('click', (ev) => { ev.preventDefault(); post({ k: 'click', id: n.id }); });
      break;
    case 'string': e = renderString(n); break;
    case 'image': e = renderImage(n); break;
    case 'numeric': e = renderNumeric(n); break;
    case 'gauge': e = renderGauge(n); break;
    case 'list':
    case 'tree': e = renderList(n, winId); break;
    case 'busy':
      e = el('div', 'busy' + (n.speed ? ' on' : ''));
      e.setAttribute('role', 'progressbar');
      e.setAttribute('aria-label', 'Busy');
      break;
    case 'balance': e = el('div', 'balance'); break;
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
    case 'pop': e = renderPop(n, winId); break;
    default: e = el('div', 'area');
  }
  if (n.k !== 'list' && n.k !== 'tree') {
    attachHelp(e, n);
    contextMenu(e, n);
  }
  if (n.ftitle || n.frame === 9) {
    const fs = el('fieldset', 'frame');
    if (n.ftitle) {
      const lg = el('legend');
      lg.id = 'legend-' + n.id;
      lg.appendChild(renderText(n.ftitle));
      fs.appendChild(lg);
      fs.setAttribute('role', 'group');
      fs.setAttribute('aria-labelledby', lg.id);
    }
    fs.appendChild(e);
    if (e.classList.contains('grp')) e.style.width = '100%';
    e = fs;
  }
  e.dataset.id = n.id;
  e.dataset.kind = n.k;
  if (n.hide) e.classList.add('hidden');
  if (n.dis) {
    e.classList.add('disabled');
    e.setAttribute('aria-disabled', 'true');
    if ('disabled' in e) e.disabled = true;
  }
  state.nodes.set(n.id, e);
  return e;
}

// A node changed: its element is made again in place, keeping what the
// person is doing (focus, the text being typed).
function replaceNode(winId, n) {
  const old = state.nodes.get(n.id);
  if (!old || !old.isConnected) return;
  const focused = document.activeElement && old.contains(document.activeElement) ? document.activeElement : null;
  const typed = focused && focused.tagName === 'INPUT' ? { v: focused.value, a: focused.selectionStart, b: focused.selectionEnd } : null;
  const fresh = renderNode(n, winId);
  // Keep the layout the parent gave it.
  fresh.style.flexGrow = old.style.flexGrow;
  if (old.dataset.pagehidden) {
    fresh.classList.add('hidden');
    fresh.dataset.pagehidden = '1';
  }
  if (old.style.flex) fresh.style.flex = old.style.flex;
  const labelledBy = (old.matches(controlSelector) ? old : old.querySelector(controlSelector) || old).getAttribute('aria-labelledby');
  old.replaceWith(fresh);
  if (labelledBy) {
    const t = fresh.matches(controlSelector) ? fresh : fresh.querySelector(controlSelector);
    if (t) t.setAttribute('aria-labelledby', labelledBy);
  }
  if (fresh.id === '' && old.id) fresh.id = old.id;
  if (focused) {
    const input = fresh.matches('input, select, button, [tabindex]') ? fresh : fresh.querySelector('input, select, button, [tabindex]');
    if (input) {
      if (typed && input.tagName === 'INPUT' && input.type !== 'checkbox') {
        input.value = typed.v;
        try { input.setSelectionRange(typed.a, typed.b); } catch (e) { /* not a text field */ }
      }
      input.focus({ preventScroll: true });
    }
  }
}
