// Windows: a dialog per toolkit window, built whole when it opens and then
// changed node by node; moved by its title, sized at its corner (the host
// keeps both under the window's identifier); the keyboard focus follows
// the window's active object; key letters press their buttons.
'use strict';

function windowBox(elem, box) {
  // Pixels as the host keeps them; negative sizes are shares of the screen.
  const s = $('#screen').getBoundingClientRect();
  const share = (v) => (v <= -100 && v > -200 ? -100 - v : v <= -200 && v > -300 ? -200 - v : 0);
  const size = (v, whole) => (v > 0 ? v : Math.round((whole * share(v)) / 100));
  const w = size(box.w, s.width), h = size(box.h, s.height - 30);
  if (w > 0) elem.style.width = w + 'px';
  if (h > 0) elem.style.height = h + 'px';
  if (box.x >= 0 && box.y >= 0 && box.w > 0) {
    elem.style.left = box.x + 'px';
    elem.style.top = box.y + 'px';
    return true;
  }
  return false;
}

function tellBox(id, elem) {
  post({ k: 'geom', id, x: elem.offsetLeft, y: elem.offsetTop, w: elem.offsetWidth, h: elem.offsetHeight });
}

function showWindow(w) {
  if (w.s !== screenIndex) return;
  let entry = state.windows.get(w.id);
  if (!entry) {
    const elem = el('div', 'win');
    elem.setAttribute('data-testid', 'window');
    elem.setAttribute('role', 'dialog');
    const title = el('div', 'title');
    if (w.close) {
      const cb = el('button', 'closebox', '×');
      cb.setAttribute('data-testid', 'closebox');
      cb.setAttribute('aria-label', 'Close');
      cb.title = 'Close';
      cb.addEventListener('mousedown', (ev) => ev.stopPropagation());
      cb.addEventListener('click', () => post({ k: 'closewin', id: w.id }));
      title.appendChild(cb);
    }
    const span = el('span');
    span.id = 'wtitle-' + w.id;
    title.appendChild(span);
    elem.setAttribute('aria-labelledby', span.id);
    elem.appendChild(title);
    elem.appendChild(el('div', 'content'));
    if (!windowBox(elem, w.box || {})) {
      const n = state.cascade++ % 8;
      elem.style.left = 40 + n * 28 + 'px';
      elem.style.top = 40 + n * 24 + 'px';
    }
    dragBy(title, elem, w.id);
    sizeBy(elem, w.id);
    keyLetters(elem);
    $('#desk').appendChild(elem);
    entry = { data: w, elem };
    state.windows.set(w.id, entry);
    note('window', w.title);
  }
  const elem = entry.elem;
  entry.data = w;
  elem.dataset.id = w.id;
  if (w.wid) elem.dataset.windowId = w.wid;
  const content = elem.querySelector('.content');
  const focusId = document.activeElement && content.contains(document.activeElement) && document.activeElement.closest('[data-id]')
    ? document.activeElement.closest('[data-id]').dataset.id : null;
  const scrolls = {};
  content.querySelectorAll('.lst').forEach((l) => { scrolls[l.dataset.id] = l.scrollTop; });
  content.textContent = '';
  content.appendChild(renderNode(w.root, w.id));
  content.querySelectorAll('.lst').forEach((l) => { if (scrolls[l.dataset.id]) l.scrollTop = scrolls[l.dataset.id]; });
  windowAttrs(w);
  if (focusId && !w.focus) focusNode(focusId);
}

function focusNode(id) {
  const e = state.nodes.get(Number(id));
  if (!e || !e.isConnected) return;
  const target = e.matches('input, select, button, [tabindex]') ? e : e.querySelector('input, select, button, table, [tabindex]');
  if (target && document.activeElement !== target) target.focus({ preventScroll: true });
}

// The window's own state: title, sleep, focus.
function windowAttrs(a) {
  const entry = state.windows.get(a.id);
  if (!entry) return;
  const elem = entry.elem;
  elem.querySelector('.title span').textContent = a.title;
  elem.classList.toggle('sleeping', !!a.sleep);
  elem.setAttribute('aria-busy', a.sleep ? 'true' : 'false');
  const content = elem.querySelector('.content');
  content.inert = !!a.sleep; // a sleeping window takes no input
  let veil = elem.querySelector('.sleepveil');
  if (a.sleep && !veil) elem.appendChild(el('div', 'sleepveil'));
  if (!a.sleep && veil) veil.remove();
  if (a.focus && String(a.focus) !== elem.dataset.focus) {
    elem.dataset.focus = String(a.focus);
    focusNode(a.focus);
  }
}

function dropWindow(id) {
  const w = state.windows.get(id);
  if (!w) return;
  w.elem.remove();
  state.windows.delete(id);
  for (const [nid, e] of [...state.nodes]) if (!e.isConnected) state.nodes.delete(nid);
  for (const [lid, v] of [...state.lists]) if (v.winId === id) state.lists.delete(lid);
}

function dragBy(handle, box, id) {
  handle.addEventListener('mousedown', (ev) => {
    if (ev.button !== 0) return;
    const sx = ev.clientX, sy = ev.clientY, ox = box.offsetLeft, oy = box.offsetTop;
    const move = (e) => { box.style.left = ox + e.clientX - sx + 'px'; box.style.top = Math.max(0, oy + e.clientY - sy) + 'px'; };
    const up = () => {
      window.removeEventListener('mousemove', move);
      window.removeEventListener('mouseup', up);
      if (box.offsetLeft !== ox || box.offsetTop !== oy) tellBox(id, box);
    };
    window.addEventListener('mousemove', move);
    window.addEventListener('mouseup', up);
    ev.preventDefault();
  });
}

function sizeBy(box, id) {
  const grip = el('div', 'grip');
  grip.setAttribute('aria-hidden', 'true');
  box.appendChild(grip);
  grip.addEventListener('mousedown', (ev) => {
    if (ev.button !== 0) return;
    const sx = ev.clientX, sy = ev.clientY, ow = box.offsetWidth, oh = box.offsetHeight;
    const move = (e) => {
      box.style.width = Math.max(120, ow + e.clientX - sx) + 'px';
      box.style.height = Math.max(60, oh + e.clientY - sy) + 'px';
      state.lists.forEach((v) => { if (v.winId === id) v.paint(); });
    };
    const up = () => {
      window.removeEventListener('mousemove', move);
      window.removeEventListener('mouseup', up);
      tellBox(id, box);
    };
    window.addEventListener('mousemove', move);
    window.addEventListener('mouseup', up);
    ev.preventDefault();
    ev.stopPropagation();
  });
}

// A key letter pressed outside a text field presses its button.
function keyLetters(win) {
  win.addEventListener('keydown', (ev) => {
    if (ev.ctrlKey || ev.metaKey || ev.altKey || ev.key.length !== 1) return;
    if (ev.target.matches('input[type=text], input[type=password], input:not([type])')) return;
    const b = win.querySelector('button[data-key="' + CSS.escape(ev.key.toLowerCase()) + '"]:not([disabled])');
    if (!b) return;
    ev.preventDefault();
    const id = b.closest('[data-id]').dataset.id;
    post({ k: 'click', id });
  });
}
