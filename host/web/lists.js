// Lists and trees: only the rows in view (and a margin) are in the page, at
// a fixed row height; they are asked for by range and kept per revision.
// Input about a row names its index and the revision it was shown with;
// the host refuses a stale one, and the rows are asked for again.
'use strict';

const ROW_H = 20;
const MARGIN = 20; // rows kept above and below the view
const MAX_ASK = 400;

class ListView {
  constructor(n, winId) {
    this.winId = winId;
    this.rows = new Map(); // index -> {c, l, g, o}
    this.asking = null;
    this.box = el('div', 'lst');
    this.table = el('table');
    this.thead = el('thead');
    this.tbody = el('tbody');
    this.table.append(this.thead, this.tbody);
    this.box.appendChild(this.table);
    this.builds = 0;
    this.box.addEventListener('scroll', () => { this.paint(); this.tellShown(); });
    this.table.addEventListener('keydown', (ev) => this.key(ev));
    this.set(n, true);
    // Sized once the window is in the page.
    requestAnimationFrame(() => { this.paint(); this.tellShown(); });
  }

  get tree() { return this.n.k === 'tree'; }

  // A new description or list header from the host.
  set(n, first) {
    const old = this.n || {};
    this.n = Object.assign({}, old, n);
    n = this.n;
    if (first || old.k !== n.k || JSON.stringify(old.titles) !== JSON.stringify(n.titles) || JSON.stringify(old.cols) !== JSON.stringify(n.cols)) this.head();
    this.box.dataset.id = n.id;
    this.box.dataset.kind = n.k;
    this.table.setAttribute('role', this.tree ? 'treegrid' : 'grid');
    this.table.dataset.count = n.count;
    this.table.setAttribute('aria-rowcount', n.count + (n.titles ? 1 : 0));
    this.table.tabIndex = n.cc === false ? -1 : 0;
    this.box.classList.toggle('hidden', !!n.hide);
    this.box.classList.toggle('disabled', !!n.dis);
    if (first || old.rev !== n.rev || old.ver !== n.ver) {
      this.rows.clear();
      this.asking = null;
    }
    this.paint();
    if (!first && old.active !== n.active && n.active >= 0) this.show(n.active);
    else if (!first && old.first !== n.first) this.show(n.first);
    state.lists.set(n.id, this);
    state.nodes.set(n.id, this.box);
  }

  head() {
    this.builds++;
    this.box.dataset.builds = String(this.builds);
    this.thead.textContent = '';
    if (!this.n.titles) return;
    const tr = el('tr');
    tr.setAttribute('aria-rowindex', 1);
    this.n.titles.forEach((t, k) => {
      const th = el('th');
      th.setAttribute('role', 'columnheader');
      if ((this.n.cols[k] || {}).bar) th.classList.add('bar');
      th.appendChild(renderText(t));
      tr.appendChild(th);
    });
    this.thead.appendChild(tr);
  }

  headHeight() { return this.thead.getBoundingClientRect().height || 0; }

  range() {
    const top = Math.max(0, this.box.scrollTop - this.headHeight());
    const first = Math.floor(top / ROW_H);
    const vis = Math.max(1, Math.ceil((this.box.clientHeight || 10 * ROW_H) / ROW_H));
    return { first, vis, from: Math.max(0, first - MARGIN), to: Math.min(this.n.count, first + vis + MARGIN) };
  }

  // Scrolls as little as needed to show row i.
  show(i) {
    const { first, vis } = this.range();
    const full = Math.max(1, vis - 1);
    if (i < first) this.box.scrollTop = i * ROW_H;
    else if (i >= first + full) this.box.scrollTop = (i - full + 1) * ROW_H;
    this.paint();
  }

  tellShown() {
    clearTimeout(this.shownTimer);
    this.shownTimer = setTimeout(() => {
      const { first, vis } = this.range();
      post({ k: 'shown', id: this.n.id, v: first, n: vis });
    }, 200);
  }

  paint() {
    const n = this.n;
    const { from, to } = this.range();
    const missing = [];
    this.tbody.textContent = '';
    const top = el('tr', 'spacer');
    top.setAttribute('aria-hidden', 'true');
    top.style.height = from * ROW_H + 'px';
    this.tbody.appendChild(top);
    for (let i = from; i < to; i++) {
      const r = this.rows.get(i);
      if (!r) missing.push(i);
      this.tbody.appendChild(this.row(i, r));
    }
    const bottom = el('tr', 'spacer');
    bottom.setAttribute('aria-hidden', 'true');
    bottom.style.height = Math.max(0, n.count - to) * ROW_H + 'px';
    this.tbody.appendChild(bottom);
    if (missing.length) this.ask(missing[0], missing[missing.length - 1] + 1);
  }

  row(i, r) {
    const n = this.n;
    const tr = el('tr', i === n.active ? 'act' : '');
    tr.setAttribute('data-row', i);
    tr.setAttribute('aria-rowindex', i + 1 + (n.titles ? 1 : 0));
    tr.setAttribute('aria-selected', i === n.active ? 'true' : 'false');
    if (!r) {
      tr.classList.add('loading');
      const td = el('td');
      td.colSpan = Math.max(1, (n.cols || []).length);
      tr.appendChild(td);
      return tr;
    }
    if (this.tree) {
      tr.setAttribute('aria-level', r.l);
      if (r.g) tr.setAttribute('aria-expanded', r.o ? 'true' : 'false');
    }
    r.c.forEach((c, k) => {
      const td = el('td');
      td.setAttribute('role', 'gridcell');
      if ((n.cols[k] || {}).bar) td.classList.add('bar');
      if (this.tree && k === 0) {
        td.style.paddingLeft = 4 + 16 * (r.l - 1) + 'px';
        if (r.g) {
          const tog = el('button', 'tog', r.o ? '▾' : '▸');
          tog.type = 'button';
          tog.tabIndex = -1;
          tog.setAttribute('data-testid', 'toggle');
          tog.setAttribute('aria-label', r.o ? 'Collapse' : 'Expand');
          tog.addEventListener('click', (ev) => {
            ev.stopPropagation();
            this.send({ k: r.o ? 'close-node' : 'open', id: n.id, v: i });
          });
          td.appendChild(tog);
        } else {
          td.appendChild(el('span', 'tog'));
        }
      }
      const t = renderText(c);
      t.style.display = 'inline-block';
      td.appendChild(t);
      tr.appendChild(td);
    });
    tr.addEventListener('mousedown', (ev) => { if (ev.button === 0) this.table.focus({ preventScroll: true }); });
    tr.addEventListener('click', () => this.send({ k: 'sel', id: n.id, v: i }));
    tr.addEventListener('dblclick', () => this.send({ k: 'dbl', id: n.id, v: i }));
    if (n.cm) {
      tr.addEventListener('contextmenu', (ev) => {
        ev.preventDefault();
        ev.stopPropagation();
        const p = windowXY(this.box, ev);
        // The row the pointer is on becomes the active one first.
        if (i !== n.active) this.send({ k: 'sel', id: n.id, v: i });
        post({ k: 'ctx', id: n.id, x: p.x, y: p.y });
      });
    }
    if (n.drag) this.draggable(tr, i, r);
    return tr;
  }

  draggable(tr, i, r) {
    const n = this.n;
    tr.draggable = true;
    tr.addEventListener('dragstart', (ev) => {
      ev.dataTransfer.setData('text/plain', String(i));
      ev.dataTransfer.effectAllowed = 'move';
      this.dragFrom = i;
    });
    const place = (ev) => {
      const b = tr.getBoundingClientRect(), y = (ev.clientY - b.top) / b.height;
      if (this.tree && r.g) return y < 0.25 ? 'before' : y > 0.75 ? 'after' : 'into';
      return y < 0.5 ? 'before' : 'after';
    };
    const clear = () => tr.classList.remove('drop-before', 'drop-after', 'drop-into');
    tr.addEventListener('dragover', (ev) => {
      if (this.dragFrom === undefined) return;
      ev.preventDefault();
      clear();
      tr.classList.add('drop-' + place(ev)); // the drop mark
    });
    tr.addEventListener('dragleave', clear);
    tr.addEventListener('drop', (ev) => {
      ev.preventDefault();
      clear();
      const from = this.dragFrom;
      this.dragFrom = undefined;
      if (from === undefined || from === i) return;
      this.send({ k: 'drop', id: n.id, v: from, to: i, at: place(ev) });
    });
    tr.addEventListener('dragend', () => { this.dragFrom = undefined; });
  }

  // Row input carries the revision shown; a refused one shows the rows anew.
  async send(fields) {
    fields.rev = this.n.rev;
    const status = await post(fields);
    if (status === 409) {
      this.rows.clear();
      this.paint();
    }
  }

  key(ev) {
    const keys = ['ArrowUp', 'ArrowDown', 'PageUp', 'PageDown', 'Home', 'End', 'Enter'];
    if (this.tree) keys.push('ArrowLeft', 'ArrowRight');
    if (!keys.includes(ev.key) || ev.altKey || ev.ctrlKey || ev.metaKey) return;
    ev.preventDefault();
    post({ k: 'key', id: this.n.id, key: ev.key });
  }

  async ask(from, to) {
    if (this.asking) return;
    from = Math.max(0, from);
    to = Math.min(to, from + MAX_ASK);
    const key = this.n.rev + ':' + this.n.ver;
    this.asking = key;
    let data = null;
    try {
      const r = await fetch('/rows?t=' + encodeURIComponent(token) + '&id=' + this.n.id + '&from=' + from + '&n=' + (to - from));
      if (r.ok) {
        const text = await r.text();
        window.screenbarStats.rowFetches++;
        window.screenbarStats.rowBytes += text.length;
        data = JSON.parse(text);
      }
    } catch (e) { /* the host went away; the stream reconnects */ }
    if (this.asking !== key) return; // the list changed meanwhile
    this.asking = null;
    if (!data) return;
    if (data.rev !== this.n.rev || data.ver !== this.n.ver) {
      // Newer than what the page knows: its header is on the way; take it now.
      this.set({ rev: data.rev, ver: data.ver, count: data.count });
    }
    data.rows.forEach((r, k) => this.rows.set(data.from + k, r));
    this.paint();
    window.screenbarStats.painted = performance.now();
  }
}

function renderList(n, winId) {
  const known = state.lists.get(n.id);
  if (known) {
    // Described again with its group: the same element, no rebuild.
    known.winId = winId;
    known.set(n, false);
    return known.box;
  }
  const v = new ListView(n, winId);
  attachHelp(v.table, n);
  contextMenu(v.table, n);
  return v.box;
}

function updateList(h) {
  window.screenbarStats.listAt = performance.now();
  const v = state.lists.get(h.id);
  if (v) v.set(h, false);
}
