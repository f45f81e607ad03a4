// Windows a person can use, against WebBar.sbar's "Rows..." window (built
// through the toolkit): a 50,000-row list with hidden columns and a context
// menu, a gauge ticking beside it, a drag-sorted tree, repeating arrow
// buttons, hint texts in a label column, a clickable text with short help.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { env, startHost, openBrowser, openPage, waitFor, closeAll, clickGadget } from './harness.mjs';

let host, browser, page, win;
const root = mkdtempSync(join(tmpdir(), 'screenbar-windows-'));

async function openRows() {
  page = await openPage(browser, host.url);
  await page.setViewportSize({ width: 1280, height: 900 });
  await clickGadget(page);
  await page.locator('.menu[data-level="0"] > [role=menuitem]', { hasText: 'Rows...' }).click();
  win = page.getByRole('dialog', { name: 'WebBar Rows' });
  await win.waitFor();
  await win.getByRole('grid').locator('tr[data-row="0"]:not(.loading)').waitFor();
}

before(async () => {
  host = await startHost({ plugin: env('WEBBAR'), root });
  browser = await openBrowser();
  await openRows();
});

after(() => closeAll({ browser, host, dirs: [root] }));

const status = () => win.locator('[data-id]').filter({ hasText: /^(Active|Menu|Node|Clicked|Inserted|Refilled)/ }).last();
const waitStatus = (re) => waitFor(async () => re.test(await status().innerText()), 10000, `status ${re}`);
const grid = () => win.getByRole('grid');

test('the window follows the display contract: identifier, group, labels, hints, columns', async () => {
  assert.equal(await win.getAttribute('data-window-id'), 'WBRW');
  // The default object has the keyboard focus.
  await waitFor(() => page.evaluate(() => document.activeElement.getAttribute('role') === 'grid'), 5000, 'focus in the list');
  await win.getByRole('group', { name: 'Search criteria' }).waitFor();
  const name = win.getByLabel('Name:');
  assert.equal(await name.getAttribute('placeholder'), 'Name of the station');
  assert.equal(await win.getByLabel('Country:').getAttribute('placeholder'), 'Country of the station, first letter in uppercase');
  assert.equal(await grid().getAttribute('data-count'), '50000');
  assert.equal(await grid().getAttribute('aria-rowcount'), '50001');
  // Eight columns, two hidden: six shown, the hook's hidden texts never in the page.
  const heads = (await grid().getByRole('columnheader').allInnerTexts()).map((t) => t.trim());
  assert.deepEqual(heads, ['Name', 'Bitrate', 'Tags', 'Country', 'Language', 'Url'], JSON.stringify(heads));
  await grid().locator('tr[data-row="0"]:not(.loading)').waitFor();
  assert.equal(await grid().locator('tr[data-row="0"] td').count(), 6);
  assert.equal(await win.getByText('icon1.png').count(), 0);
  // Only rows in view (and a margin) are in the page.
  assert.ok((await grid().locator('tr[data-row]').count()) < 200);
  await win.getByRole('button', { name: 'Up' }).waitFor();
  assert.equal(await win.getByRole('button', { name: 'Insert 10' }).getAttribute('aria-keyshortcuts'), 'i');
});

test('a gauge ticking beside the big list sends no rows and leaves the list alone', async () => {
  const before = await page.evaluate(() => {
    const s = window.screenbarStats;
    document.querySelector('[role=grid]').dataset.marked = 'same';
    return { fetches: s.rowFetches, bytes: s.bytes.node || 0, count: s.count.node || 0, builds: document.querySelector('.lst').dataset.builds };
  });
  const gauge = win.getByRole('progressbar').first();
  const first = await gauge.getAttribute('aria-valuenow');
  await waitFor(async () => (await gauge.getAttribute('aria-valuenow')) !== first, 5000, 'a tick');
  await page.waitForTimeout(1600);
  const after = await page.evaluate(() => {
    const s = window.screenbarStats;
    return { fetches: s.rowFetches, bytes: s.bytes.node || 0, count: s.count.node || 0, builds: document.querySelector('.lst').dataset.builds,
      same: document.querySelector('[role=grid]').dataset.marked };
  });
  const ticks = after.count - before.count;
  assert.ok(ticks >= 3, `${ticks} ticks`);
  assert.ok((after.bytes - before.bytes) / ticks < 1024, `${(after.bytes - before.bytes) / ticks} bytes a tick`);
  assert.equal(after.fetches, before.fetches, 'no rows asked for');
  assert.equal(after.builds, before.builds);
  assert.equal(after.same, 'same', 'the list element stayed');
  assert.match(await gauge.innerText(), /^\d+ %$/);
});

test('End selects the last entry, and the host sees it active', async () => {
  await grid().locator('tr[data-row="2"]:not(.loading)').click();
  await waitStatus(/^Active: 2 \(Station 3\)$/);
  await grid().press('End');
  await waitStatus(/^Active: 49999 \(Station 50000\)$/);
  const last = grid().locator('tr[data-row="49999"]:not(.loading)');
  await last.waitFor();
  assert.equal(await last.getAttribute('aria-selected'), 'true');
  assert.match(await last.innerText(), /Station 50000/);
  await grid().press('Home');
  await waitStatus(/^Active: 0 /);
  await grid().locator('tr[data-row="0"][aria-selected=true]').waitFor();
});

test('a row chosen after ten inserts above it is the one the person saw, or refused', async () => {
  await grid().locator('tr[data-row="5"]:not(.loading)').waitFor();
  const seen = await page.evaluate(() => {
    const v = [...state.lists.values()].find((l) => l.n.count >= 50000);
    return { id: v.n.id, rev: v.n.rev, text: v.tbody.querySelector('tr[data-row="5"]').innerText };
  });
  await win.getByRole('button', { name: 'Insert 10' }).click();
  await waitStatus(/^Inserted: 10$/);
  // A click carrying the rows as they were is refused...
  const refused = await page.evaluate(([id, rev]) => post({ k: 'sel', id, v: 5, rev }), [seen.id, seen.rev]);
  assert.equal(refused, 409);
  assert.match(await status().innerText(), /^Inserted: 10$/);
  // ...and the row now in view is the one chosen.
  const row5 = grid().locator('tr[data-row="5"]:not(.loading)');
  await waitFor(async () => (await row5.innerText()) !== seen.text, 5000, 'the rows shown anew');
  const text = await row5.innerText();
  await row5.click();
  await waitStatus(/^Active: 5 /);
  assert.ok(text.startsWith((await status().innerText()).replace(/^Active: 5 \((.*)\)$/, '$1')), text);
});

test('an arrow button held for a second moves the selection several times; releasing stops it', async () => {
  await grid().locator('tr[data-row="20"]:not(.loading)').click();
  await waitStatus(/^Active: 20 /);
  const down = win.getByRole('button', { name: 'Down' });
  const b = await down.boundingBox();
  await page.mouse.move(b.x + b.width / 2, b.y + b.height / 2);
  await page.mouse.down();
  await page.waitForTimeout(1000);
  await page.mouse.up();
  await page.waitForTimeout(300);
  const at = Number((await status().innerText()).match(/^Active: (\d+)/)[1]);
  assert.ok(at >= 20 + 4, `moved to ${at}`);
  await page.waitForTimeout(500);
  assert.equal(Number((await status().innerText()).match(/^Active: (\d+)/)[1]), at, 'stopped');
});

test('a context menu choice reaches the list with the item\'s user data', async () => {
  await grid().press('Home');
  const row = grid().locator('tr[data-row="3"]:not(.loading)');
  await row.waitFor();
  const b = await row.boundingBox();
  await page.mouse.click(b.x + 30, b.y + b.height / 2, { button: 'right' });
  const menu = page.getByRole('menu');
  await menu.waitFor();
  assert.equal(await menu.getByRole('separator').count(), 1);
  // At the pointer.
  const m = await menu.boundingBox();
  assert.ok(Math.abs(m.x - (b.x + 30)) <= 3 && Math.abs(m.y - (b.y + b.height / 2)) <= 3, `menu at ${m.x},${m.y}`);
  await menu.getByRole('menuitem', { name: 'Copy to clipboard' }).click();
  await waitStatus(/^Menu: 2$/);
  // The keyboard way: Shift+F10, arrows, Escape cancels.
  await grid().focus();
  await page.keyboard.press('Shift+F10');
  await menu.waitFor();
  await page.keyboard.press('Escape');
  await menu.waitFor({ state: 'detached' });
  assert.equal(await status().innerText(), 'Menu: 2');
});

test('a tree row dragged into a group lands there, with the Listtree notifications', async () => {
  const tree = win.getByRole('treegrid');
  const zeta = tree.locator('tr[data-row]', { hasText: 'Zeta' });
  const jazz = tree.locator('tr[data-row]', { hasText: 'Jazz' });
  assert.equal(await jazz.getAttribute('aria-expanded'), 'false');
  assert.equal(await zeta.getAttribute('draggable'), 'true');
  const jb = await jazz.boundingBox();
  await zeta.dragTo(jazz, { targetPosition: { x: 20, y: jb.height / 2 } });
  await waitStatus(/^Node: Zeta in Jazz$/);
  await waitFor(async () => (await tree.locator('tr[aria-level="2"]', { hasText: 'Zeta' }).count()) === 1, 5000, 'Zeta in Jazz');
  assert.equal(await tree.locator('tr[data-row]', { hasText: 'Jazz' }).getAttribute('aria-expanded'), 'true');
  assert.equal(await tree.locator('tr[aria-level="2"][aria-selected=true]').innerText().then((t) => t.trim()), 'Zeta');
});

test('a clickable text is a text; its short help shows as a tooltip and describes it', async () => {
  const t = win.locator('.txt.clickable', { hasText: 'Click me' });
  assert.equal(await win.getByRole('button', { name: 'Click me' }).count(), 0);
  await t.hover();
  const tip = page.getByRole('tooltip');
  await tip.waitFor();
  assert.equal(await tip.locator('.run.b').innerText(), 'Click');
  assert.equal(await page.locator('[data-testid=tooltip]').count(), 1);
  await t.click();
  await waitStatus(/^Clicked 1$/);
  const desc = await t.getAttribute('aria-describedby');
  assert.equal(await page.locator('#' + desc).textContent(), 'Click to count');
});

test('a window with an identifier opens where the person left it, also after a restart', async () => {
  const title = win.locator('.title');
  const b = await title.boundingBox();
  await page.mouse.move(b.x + 100, b.y + b.height / 2);
  await page.mouse.down();
  await page.mouse.move(b.x + 220, b.y + b.height / 2 + 70, { steps: 5 });
  await page.mouse.up();
  const moved = await win.boundingBox();
  await page.waitForTimeout(500); // the host has kept it
  await page.close();
  const r = await host.stop();
  assert.deepEqual(r, { code: 0, signal: null }, host.output());
  host = await startHost({ plugin: env('WEBBAR'), root });
  await openRows();
  const again = await win.boundingBox();
  assert.ok(Math.abs(again.x - moved.x) <= 2 && Math.abs(again.y - moved.y) <= 2, `${JSON.stringify(again)} vs ${JSON.stringify(moved)}`);
  assert.ok(Math.abs(again.width - moved.width) <= 2);
});
