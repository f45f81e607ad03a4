// The browser view against WebBar.sbar, a plug-in that shows everything a
// display draws: the bar and its gadget, tooltip, menu with submenu, icons,
// disabled item and separators, bubbles, requesters, the file chooser,
// windows with their gadgets, and the host's preferences window.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { env, startHost, openBrowser, openPage, barPixel, gadgetBox, waitFor, closeAll } from './harness.mjs';

let host, browser, page;

before(async () => {
  host = await startHost({ plugin: env('WEBBAR') });
  browser = await openBrowser();
  page = await openPage(browser, host.url);
});

after(() => closeAll({ browser, host }));

async function gadgetCentre() {
  const g = await gadgetBox(page);
  return { x: g.x + g.width / 2, y: g.y + g.height / 2, bx: Math.round(g.x + g.width / 2), by: Math.round(g.height / 2) };
}

async function openMenu() {
  const c = await gadgetCentre();
  await page.mouse.click(c.x, c.y);
  await page.locator('[data-testid=menu]').first().waitFor();
}

// Chooses a top-level item; returns where it was clicked.
async function choose(title) {
  await openMenu();
  const item = page.locator('.menu[data-level="0"] > [data-testid=menuitem]', { hasText: title });
  const b = await item.boundingBox();
  const at = { x: b.x + b.width / 2, y: b.y + b.height / 2 };
  await page.mouse.click(at.x, at.y);
  await page.locator('[data-testid=menu]').first().waitFor({ state: 'detached' });
  return at;
}

async function bubbleText() {
  const b = page.locator('[data-testid=bubble]');
  await b.first().waitFor();
  return b.first().innerText();
}

async function waitBubble(text) {
  await waitFor(async () => {
    const b = page.locator('[data-testid=bubble]');
    return (await b.count()) > 0 && (await b.first().innerText()).includes(text);
  }, 10000, `bubble "${text}"`);
}

test('the page shows the title bar with the gadget and asks nothing from outside', async () => {
  const c = await gadgetCentre();
  assert.deepEqual(await barPixel(page, c.bx, c.by), [0, 176, 0]);
  assert.equal(await page.locator('#barimg').evaluate((i) => i.naturalHeight), 20);
  assert.deepEqual(page.problems, []);
  // Without the token the host refuses.
  const r = await page.evaluate(async () => (await fetch('/events')).status);
  assert.equal(r, 403);
});

test('resting on the gadget shows its tooltip', async () => {
  const c = await gadgetCentre();
  await page.mouse.move(c.x - 3, c.y);
  await page.mouse.move(c.x, c.y);
  const tip = page.locator('[data-testid=tooltip]');
  await tip.waitFor({ timeout: 5000 });
  assert.equal(await tip.innerText(), 'WebBar help');
  assert.equal(await tip.locator('.run.b').innerText(), 'help');
  await page.mouse.move(10, 300);
  await tip.waitFor({ state: 'detached' });
});

test('the menu has a submenu with icons, a disabled item and separators; a station choice gives a bubble', async () => {
  await openMenu();
  const menu = page.locator('[data-testid=menu]').first();
  assert.equal(await menu.locator('.sep').count(), 2);
  const off = menu.locator(':scope > [data-testid=menuitem]', { hasText: 'Switched off' });
  assert.equal(await off.getAttribute('aria-disabled'), 'true');
  await menu.locator(':scope > [data-testid=menuitem]', { hasText: 'Group' }).hover();
  const station = page.locator('.menu[data-level="1"] > [data-testid=menuitem]', { hasText: 'Station Ä' });
  await station.waitFor();
  const icon = station.locator('img.inl');
  await waitFor(() => icon.evaluate((i) => i.complete && i.naturalWidth > 0), 5000, 'station icon');
  await station.click();
  await waitBubble('Connecting to');
  assert.equal(await bubbleText(), 'Connecting to\nStation Ä');
  // Under the gadget, as the plug-in asked.
  const g = await gadgetBox(page);
  const b = await page.locator('[data-testid=bubble]').first().boundingBox();
  assert.ok(Math.abs(b.y - (g.y + g.height)) <= 1, `bubble at y ${b.y}`);
});

test('a disabled item does nothing and clicking elsewhere cancels the menu', async () => {
  await openMenu();
  await page.locator('.menu[data-level="0"] > [data-testid=menuitem]', { hasText: 'Switched off' }).click({ force: true });
  assert.equal(await page.locator('[data-testid=menu]').count(), 1, 'still open');
  await page.mouse.click(300, 400);
  await page.locator('[data-testid=menu]').first().waitFor({ state: 'detached' });
  await waitBubble('Cancelled');
});

test('the right button inside the gadget draws and removes the "x"', async () => {
  const c = await gadgetCentre();
  const frames = async () => Number(await page.locator('#barimg').getAttribute('data-frames'));
  const black = async () => {
    for (let dx = -3; dx <= 3; dx++)
      for (let dy = -4; dy <= 4; dy++) {
        const p = await barPixel(page, c.bx + dx, c.by + dy);
        if (p[0] === 0 && p[1] === 0 && p[2] === 0) return true;
      }
    return false;
  };
  assert.equal(await black(), false);
  const before = await frames();
  await page.mouse.click(c.x, c.y, { button: 'right' });
  await waitFor(black, 5000, 'the x');
  assert.ok((await frames()) > before);
  await page.mouse.click(c.x, c.y, { button: 'right' });
  await waitFor(async () => !(await black()), 5000, 'the x to go');
});

test('a requester opens at the mouse with its buttons in order and the default marked', async () => {
  const at = await choose('Ask...');
  const req = page.locator('[data-testid=requester]');
  await req.waitFor();
  assert.equal(await req.locator('.title').innerText(), 'WebBar: Question');
  assert.deepEqual(await req.locator('.buttons button').allInnerTexts(), ['Yes', 'Maybe', 'No']);
  assert.equal(await req.locator('.buttons button.default').innerText(), 'Yes');
  assert.equal(await req.locator('.body .line.c').innerText(), 'Really mute?');
  assert.equal(await req.locator('.body .line.c .run.b').innerText(), 'mute');
  assert.equal(await req.locator('.body .line.l .run.u').innerText(), 'left');
  // Where the menu item was clicked, unless that would push it off the page.
  const box = await req.boundingBox();
  const vw = page.viewportSize().width;
  assert.ok(Math.abs(box.x - Math.min(Math.round(at.x), vw - box.width - 4)) <= 2, `placed at x ${box.x}, mouse ${at.x}`);
  assert.ok(Math.abs(box.y - Math.round(at.y)) <= 2, `placed at y ${box.y}, mouse ${at.y}`);
  // Modal: a click on the bar does not get through.
  const c = await gadgetCentre();
  await page.mouse.click(c.x, c.y);
  assert.equal(await page.locator('[data-testid=menu]').count(), 0);
  await req.locator('.buttons button', { hasText: 'Maybe' }).click();
  await req.waitFor({ state: 'detached' });
  await waitBubble('Answer 2');
});

test('the file requester chooses a picture among the emulated volumes', async () => {
  await choose('File...');
  const asl = page.locator('[data-testid=asl]');
  await asl.waitFor();
  const list = asl.locator('[data-testid=asl-list]');
  await list.locator('.entry', { hasText: 'Prefs.png' }).waitFor();
  assert.equal(await list.locator('.entry', { hasText: 'Stations_default.txt' }).count(), 0, 'the pattern hides it');
  assert.ok((await list.locator('.entry.dir', { hasText: 'StationIcons' }).count()) === 1);
  await asl.getByRole('button', { name: 'Volumes' }).click();
  await list.locator('.entry', { hasText: 'RAM:' }).waitFor();
  await list.locator('.entry', { hasText: 'SYS:' }).dblclick();
  await list.locator('.entry', { hasText: 'Data' }).dblclick();
  await list.locator('.entry', { hasText: 'Screenbar' }).dblclick();
  await list.locator('.entry', { hasText: 'Melodune' }).dblclick();
  await list.locator('.entry', { hasText: 'Prefs.png' }).dblclick();
  await asl.waitFor({ state: 'detached' });
  await waitBubble('Chose SYS:Data/Screenbar/Melodune Prefs.png');
});

test('a window shows its gadgets, takes typing and selections, sleeps and closes', async () => {
  await choose('Window...');
  const win = page.locator('[data-testid=window]', { hasText: 'WebBar Gadgets' });
  await win.waitFor();
  assert.equal(await win.locator('.title span').innerText(), 'WebBar Gadgets');
  assert.equal(await win.locator('.line.c .run.b', { hasText: 'Centred bold' }).count(), 1);
  assert.equal(await win.locator('.gauge .info').innerText(), '40 %');
  assert.equal(await win.locator('.busy.on').count(), 1);
  assert.equal(await win.locator('input[type=checkbox]').count(), 1);
  assert.equal(await win.getByRole('spinbutton').getAttribute('aria-valuetext'), '0 dB');
  assert.equal(await win.getByRole('spinbutton').inputValue(), '0');
  assert.deepEqual(await win.getByRole('grid').getByRole('columnheader').allInnerTexts(), ['Name', 'Value']);
  assert.equal(await win.locator('.img img').evaluate((i) => i.getAttribute('src').startsWith('/img?')), true);
  assert.equal(await win.getByText('Page two').isVisible(), false);

  const str = win.locator('input.str');
  assert.equal(await str.inputValue(), 'café');
  await str.fill('Grüße');
  await str.press('Enter');
  await win.getByText('Typed: Grüße').waitFor();

  await win.getByRole('grid').locator('tr[data-row]', { hasText: 'Beta' }).click();
  await win.getByText('Row: 1').waitFor();
  const active = win.getByRole('grid').locator('tr[aria-selected=true]');
  await active.waitFor();
  assert.deepEqual(await active.locator('td').allInnerTexts(), ['Beta', '2']);

  const tree = win.getByRole('treegrid');
  await tree.getByRole('button', { name: 'Expand' }).first().click();
  await tree.locator('tr[aria-level="2"]', { hasText: 'Radio One' }).waitFor();
  await tree.locator('tr[data-row]', { hasText: 'Radio One' }).click();
  await win.getByText('Node: Radio One').waitFor();

  await win.locator('button', { hasText: 'Sleep' }).click();
  await page.locator('.win.sleeping').waitFor();
  await page.locator('.win.sleeping').waitFor({ state: 'detached', timeout: 10000 });

  await win.locator('[data-testid=closebox]').click();
  await win.waitFor({ state: 'detached' });
});

test('the host preferences show the plug-in panel; a change recolours the gadget', async () => {
  const c = await gadgetCentre();
  await page.click('[data-testid=prefs]');
  const win = page.locator('[data-testid=window]', { hasText: 'Screenbar: WebBar' });
  await win.waitFor();
  const check = win.getByRole('checkbox', { name: 'Green square' }); // named by the label after it
  assert.equal(await check.isChecked(), true);
  await check.click();
  await waitFor(async () => !(await check.isChecked()), 5000, 'the checkmark');
  await win.locator('button', { hasText: 'Save' }).click();
  await win.waitFor({ state: 'detached' });
  await waitFor(async () => (await barPixel(page, c.bx, c.by))[0] === 192, 5000, 'the red square');
  assert.deepEqual(await barPixel(page, c.bx, c.by), [192, 0, 0]);
  assert.deepEqual(page.problems, []);
});

test('the host stops cleanly while a requester waits in the page', async () => {
  await choose('Ask...');
  await page.locator('[data-testid=requester]').waitFor();
  const started = Date.now();
  const r = await host.stop();
  assert.deepEqual(r, { code: 0, signal: null }, host.output());
  assert.ok(Date.now() - started < 10000);
  // The waiting requester was answered with its default button.
  assert.match(host.output(), /Requester "WebBar: Question": .* -> 1 "_Yes"/);
});
