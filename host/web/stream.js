// The event stream from the host: the whole state on connect, then every
// change (see PROTOCOL.md).
'use strict';

function reset() {
  for (const id of [...state.windows.keys()]) dropWindow(id);
  for (const id of [...state.bubbles.keys()]) dropBubble(id);
  for (const id of [...state.dialogs.keys()]) dropDialog(id);
  state.nodes.clear();
  state.lists.clear();
  hideTip();
}

function connect() {
  const es = new EventSource('/events?t=' + encodeURIComponent(token) + '&s=' + screenIndex);
  const on = (name, fn) => es.addEventListener(name, (ev) => {
    countBytes(name, ev.data.length);
    fn(JSON.parse(ev.data));
  });
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
  on('win', windowAttrs);
  on('node', (m) => replaceNode(m.win, m.node));
  on('list', updateList);
  on('windowEnd', (w) => dropWindow(w.id));
  on('dialog', showDialog);
  on('dialogEnd', (d) => dropDialog(d.id));
  es.addEventListener('error', () => {
    $('#status').textContent = 'disconnected, retrying…';
    document.body.dataset.ready = '';
  });
}

connect();
