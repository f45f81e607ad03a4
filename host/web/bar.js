// The title bar with the plug-in's gadget: presses, the right button, the
// tooltip the plug-in makes, and where the mouse is (requesters open there).
'use strict';

const barimg = $('#barimg');
const gadget = $('#gadget');
let leftPressed = false;

function barXY(ev) {
  const r = barimg.getBoundingClientRect();
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

// The gadget's tooltip comes from the plug-in: asked for when the pointer rests.
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
  hideTip();
});
gadget.addEventListener('mousedown', () => {
  clearTimeout(helpTimer);
  hideTip();
});

function showHelp(h) {
  if (h.s !== screenIndex || !state.helpShown) return;
  showTip(h.text, state.mouse.x, state.mouse.y);
  gadget.setAttribute('aria-description', plain(h.text));
}
function hideHelp(h) {
  if (h.s === screenIndex) hideTip();
}

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

function showFrame(f) {
  if (!f || f.s !== screenIndex) return;
  barimg.src = f.png;
  barimg.width = f.w;
  barimg.height = f.h;
  barimg.dataset.frames = String((parseInt(barimg.dataset.frames || '0', 10) || 0) + 1);
}

// ---- bubbles ----

function showBubble(b) {
  if (b.s !== screenIndex) return;
  dropBubble(b.id);
  note('bubble', plain(b.text));
  const e = el('div', 'bubble');
  e.setAttribute('data-testid', 'bubble');
  e.setAttribute('role', 'status');
  e.appendChild(renderText(b.text));
  let x = b.x, y = b.y;
  if (!b.bar) {
    const anchor = state.nodes.get(b.anchor) || (state.windows.get(b.win) || {}).elem;
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
