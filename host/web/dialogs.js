// Menus (the bar's pop-up menu and context menus), requesters and the file
// chooser: each waits in the host until the page answers.
'use strict';

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
  m.setAttribute('role', 'menu');
  m.dataset.level = level;
  for (const it of items) {
    if (it.k === 'bar') {
      const sep = el('div', 'sep');
      sep.setAttribute('role', 'separator');
      m.appendChild(sep);
      continue;
    }
    const mi = el('div', 'mi' + (it.en ? '' : ' disabled') + (it.k === 'menu' ? ' sub' : '') +
      (it.check ? ' checked' : ''));
    mi.setAttribute('data-testid', 'menuitem');
    mi.setAttribute('role', 'menuitem');
    mi.tabIndex = -1;
    mi.setAttribute('aria-disabled', it.en ? 'false' : 'true');
    if (it.k === 'menu') mi.setAttribute('aria-haspopup', 'menu');
    const label = renderText(it.t);
    label.style.display = 'inline-block';
    mi.appendChild(label);
    if (it.key) mi.appendChild(el('span', 'key', 'Amiga+' + it.key));
    const openSub = () => {
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
      return sub;
    };
    if (it.k === 'menu' && it.en && it.ch) {
      mi.addEventListener('mouseenter', openSub);
      mi.openSub = openSub;
    } else if (it.k === 'item' && it.en) {
      mi.addEventListener('mouseup', (ev) => { ev.stopPropagation(); answer(id, it.n); });
      mi.addEventListener('click', (ev) => ev.stopPropagation());
      mi.choose = () => answer(id, it.n);
    }
    mi.addEventListener('mousedown', (ev) => ev.stopPropagation());
    m.appendChild(mi);
  }
  return m;
}

// Arrows move between the items of a menu, Right opens a submenu, Left
// closes it, Enter chooses, Escape cancels.
function menuKeys(guard, id) {
  guard.tabIndex = -1;
  guard.addEventListener('keydown', (ev) => {
    const cur = document.activeElement && document.activeElement.closest('[role=menuitem]');
    const menu = cur ? cur.parentElement : guard.querySelector('.menu');
    const items = [...menu.querySelectorAll(':scope > [role=menuitem]')];
    const at = items.indexOf(cur);
    if (ev.key === 'Escape') answer(id, -1);
    else if (ev.key === 'ArrowDown') (items[at + 1] || items[0]).focus();
    else if (ev.key === 'ArrowUp') (items[at - 1] || items[items.length - 1]).focus();
    else if (ev.key === 'ArrowRight' && cur && cur.openSub) {
      const sub = cur.openSub();
      const first = sub.querySelector('[role=menuitem]');
      if (first) first.focus();
    } else if (ev.key === 'ArrowLeft' && menu.parentElement && menu.parentElement.matches('[role=menuitem]')) {
      const parent = menu.parentElement;
      menu.remove();
      parent.classList.remove('open');
      parent.focus();
    } else if ((ev.key === 'Enter' || ev.key === ' ') && cur && cur.choose) cur.choose();
    else return;
    ev.preventDefault();
    ev.stopPropagation();
  });
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
    // A context menu: at the pointer, in the window's coordinates.
    const w = state.windows.get(d.win);
    if (w) {
      const r = w.elem.querySelector('.content').getBoundingClientRect(), s = $('#screen').getBoundingClientRect();
      x += r.left - s.left;
      y += r.top - s.top;
    }
  }
  placeIn(m, x, y);
  menuKeys(guard, d.id);
  const first = m.querySelector('[role=menuitem]');
  (first || guard).focus();
  return guard;
}

function showRequest(d) {
  const modal = el('div', 'modal');
  const box = el('div', 'req');
  box.setAttribute('data-testid', 'requester');
  box.setAttribute('role', 'alertdialog');
  box.setAttribute('aria-modal', 'true');
  const title = el('div', 'title');
  const tspan = el('span', '', d.title);
  tspan.id = 'req-title-' + d.id;
  title.appendChild(tspan);
  box.appendChild(title);
  const body = el('div', 'body');
  body.id = 'req-body-' + d.id;
  body.appendChild(renderText(d.text));
  box.appendChild(body);
  box.setAttribute('aria-labelledby', tspan.id);
  box.setAttribute('aria-describedby', body.id);
  const buttons = el('div', 'buttons');
  d.buttons.forEach((b, i) => {
    const btn = el('button');
    btn.type = 'button';
    btn.appendChild(renderText(b, true));
    const key = keyLetter(b);
    if (key) btn.setAttribute('aria-keyshortcuts', key);
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
  box.setAttribute('role', 'dialog');
  box.setAttribute('aria-label', d.title || (d.drawersOnly ? 'Choose a drawer' : 'Choose a file'));
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
