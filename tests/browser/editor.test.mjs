// The Edit Stations window driven as a person would, through the real host,
// plug-in and page: selecting, typing, the tree buttons, drag and drop, the
// icon chooser, Load with Import, Apply and Save, and what lands on disk.
// The steps run in order on one window, as one person's session.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, mkdirSync, writeFileSync, readFileSync, copyFileSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { env, startHost, openBrowser, openPage, waitFor, closeAll, clickGadget } from './harness.mjs';

let host, browser, page, root, data, win;

const record = (n, i, s) => `${n}\n${i}\n${s}\n#\n`;
const stationFile = (list) => `${list.length}\n` + list.map((r) => record(...r)).join('');

before(async () => {
  root = mkdtempSync(join(tmpdir(), 'screenbar-editor-'));
  data = join(root, 'SYS', 'Data', 'Screenbar', 'Melodune');
  const icons = join(data, 'StationIcons');
  mkdirSync(join(icons, 'Rock', 'Deep'), { recursive: true });
  mkdirSync(join(icons, '.trash'), { recursive: true });
  const png = join(env('SOURCE_DIR'), 'skeleton', 'SYS', 'Data', 'Screenbar', 'Melodune', 'StationIcons', '_empty.png');
  for (const f of ['Rock/One.png', 'Rock/Two.png', 'Rock/Deep/Three.png', 'Rock/one.png', 'Solo.png']) copyFileSync(png, join(icons, f));
  writeFileSync(join(icons, 'Rock.info'), 'drawer icon');
  writeFileSync(join(data, 'Stations.txt'), stationFile([
    ['Rock/One', 'Rock/One.png', 'http://127.0.0.1:9/one'],
    ['Rock/Two', 'Rock/Two.png', 'http://127.0.0.1:9/two'],
    ['Rock/Deep/Three', 'Rock/Deep/Three.png', 'http://127.0.0.1:9/three'],
    ['Solo', 'Solo.png', 'http://127.0.0.1:9/solo'],
  ]));
  mkdirSync(join(root, 'RAM'), { recursive: true });
  writeFileSync(join(root, 'RAM', 'Friends.txt'), stationFile([['Jazz/Blue', 'b.png', 'http://127.0.0.1:9/blue']]));
  host = await startHost({ plugin: env('MELODUNE'), root });
  browser = await openBrowser();
  page = await openPage(browser, host.url);
});

after(() => closeAll({ browser, host, dirs: [root] }));

// ---- what a person sees ----

const tree = () => win.getByRole('treegrid');
// A row by the name in its first cell (a group's toggle is no part of it).
const escape = (t) => t.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
const row = (name) => tree().locator('tr[aria-level]').filter({
  has: page.locator('td:first-child', { hasText: new RegExp('^[\u25b8\u25be]?\\s*' + escape(name) + '\\s*$') }) });
const button = (name) => win.getByRole('button', { name, exact: true });
const hints = { 'Name:': 'Name of the station', 'Icon:': 'Name of the station icon', 'Stream:': 'Stream URL, with or without http(s)' };
const field = (label) => win.getByPlaceholder(hints[label], { exact: true });
const icon = (f) => join(data, 'StationIcons', f);

async function select(name) {
  await row(name).first().click();
  await waitFor(async () => (await row(name).first().getAttribute('aria-selected')) === 'true', 5000, `${name} selected`);
}
async function levelOf(name) { return Number(await row(name).first().getAttribute('aria-level')); }
async function rowNames() {
  return tree().getByRole('row').evaluateAll((rows) => rows.filter((r) => r.getAttribute('aria-level'))
    .map((r) => {
      const cell = r.querySelector('[role=gridcell]').cloneNode(true);
      cell.querySelectorAll('.tog').forEach((t) => t.remove());
      return cell.textContent.trim();
    }));
}
async function answer(title, buttonName) {
  const req = page.getByRole('alertdialog', { name: title });
  await req.waitFor();
  const text = await req.innerText();
  await req.getByRole('button', { name: buttonName, exact: true }).click();
  await req.waitFor({ state: 'detached' });
  return text;
}
async function menuChoose(item) {
  await clickGadget(page);
  await page.getByRole('menuitem', { name: item }).first().click();
}

// ---- the session ----

test('"Edit Stations..." opens the window with the list as a tree', async () => {
  // The window takes 40% x 30% of the screen: a tall screen shows it whole.
  await page.setViewportSize({ width: 1400, height: 1900 });
  await menuChoose('Edit Stations...');
  win = page.getByRole('dialog', { name: 'Melodune: Edit Stations' });
  await win.waitFor();
  assert.equal(await win.getAttribute('data-window-id'), 'MDCH');
  assert.ok(await button('Apply').isDisabled());
  await button('Open all').click();
  await row('Three').waitFor();
  assert.deepEqual(await rowNames(), ['Rock', 'One', 'Two', 'Deep', 'Three', 'Solo']);
  assert.equal(await levelOf('Three'), 3);
  assert.equal(await row('Rock').getAttribute('aria-expanded'), 'true');
});

test('the fields and the preview follow the selection; a group edits only its name', async () => {
  await select('One');
  assert.equal(await field('Name:').inputValue(), 'One');
  assert.equal(await field('Icon:').inputValue(), 'Rock/One.png');
  assert.equal(await field('Stream:').inputValue(), 'http://127.0.0.1:9/one');
  const preview = win.locator('img[src*="One.png"]');
  await preview.waitFor();
  const box = await preview.boundingBox();
  assert.deepEqual([Math.round(box.width), Math.round(box.height)], [32, 20]);
  if (process.env.SCREENSHOT) await page.screenshot({ path: process.env.SCREENSHOT });

  await select('Rock');
  assert.ok(await field('Icon:').isDisabled());
  assert.ok(await field('Stream:').isDisabled());
  assert.ok(await button('Test').isDisabled());
  assert.ok(await field('Name:').isEnabled());
});

test('typing a stream changes the tree at once and enables Apply', async () => {
  await select('Two');
  await field('Stream:').fill('http://127.0.0.1:9/new');
  await row('Two').getByRole('gridcell', { name: 'http://127.0.0.1:9/new' }).waitFor();
  await waitFor(() => button('Apply').isEnabled(), 5000, 'Apply enabled');
});

test('"Group" after a station in a group makes NewGroup with its drawer; "Station" adds its first child', async () => {
  await select('One');
  await button('Group').click();
  await row('NewGroup').waitFor();
  assert.deepEqual((await rowNames()).slice(0, 4), ['Rock', 'One', 'NewGroup', 'Two']);
  await waitFor(() => existsSync(icon('Rock/NewGroup')) && existsSync(icon('Rock/NewGroup.info')), 5000, 'the drawer');
  await button('Station').click();
  await row('StationName').waitFor();
  assert.equal(await levelOf('StationName'), 3);
  assert.deepEqual((await rowNames()).slice(2, 4), ['NewGroup', 'StationName']);
});

test('Up and Down move stations into and out of groups; Clone copies', async () => {
  await select('One'); // the first of Rock: out, above it
  await button('Up').click();
  await waitFor(async () => (await rowNames())[0] === 'One', 5000, 'One above Rock');
  assert.equal(await levelOf('One'), 1);
  await button('Down').click(); // back in, as Rock's first child
  await waitFor(async () => (await levelOf('One')) === 2, 5000, 'One inside Rock');
  await select('Three'); // the last of Deep: out, below it
  await button('Down').click();
  await waitFor(async () => (await levelOf('Three')) === 2, 5000, 'Three out of Deep');
  await button('Up').click(); // Deep is open and empty: in again
  await waitFor(async () => (await levelOf('Three')) === 3, 5000, 'Three in Deep');
  await select('Solo');
  await button('Clone').click();
  await waitFor(async () => (await rowNames()).filter((n) => n === 'Solo').length === 2, 5000, 'the clone');
});

test('drag and drop moves a station only while "D\'n\'D Sort?" is checked', async () => {
  const solo = () => row('Solo').last();
  assert.notEqual(await solo().getAttribute('draggable'), 'true');
  const sort = win.getByRole('checkbox'); // the one beside "D'n'D Sort?"
  await sort.check();
  await waitFor(async () => (await solo().getAttribute('draggable')) === 'true', 5000, 'draggable rows');
  const rock = await row('Rock').boundingBox();
  await solo().dragTo(row('Rock'), { targetPosition: { x: 20, y: rock.height / 2 } });
  // Into Rock, as its last child: the Solo at the top level is now the other one.
  await waitFor(async () => (await row('Solo').count()) === 2 && (await levelOf('Solo')) === 2 &&
    Number(await row('Solo').last().getAttribute('aria-level')) === 1, 5000, 'Solo dropped into Rock');
  await sort.uncheck();
  // Off again: a drag moves nothing.
  await solo().dragTo(row('Rock'), { targetPosition: { x: 20, y: rock.height / 2 } });
  await page.waitForTimeout(1000);
  assert.equal(Number(await row('Solo').last().getAttribute('aria-level')), 1);
});

test('the icon chooser starts in the icon drawer and names the choice relatively', async () => {
  await select('One');
  await win.getByRole('button', { name: 'Choose file' }).click();
  const asl = page.getByRole('dialog', { name: 'Melodune.sbar: Choose an image for this station' });
  await asl.waitFor();
  assert.match(await asl.getByTestId('asl-drawer').inputValue(), /StationIcons\/Rock\/?$/);
  await asl.getByTestId('asl-file').fill('one.png');
  await asl.getByTestId('asl-ok').click();
  await waitFor(async () => (await field('Icon:').inputValue()) === 'Rock/one.png', 5000, 'the icon name');
});

test('Remove of a group sends the icons of all its stations to the trash and keeps the drawer', async () => {
  await select('Deep');
  await button('Remove').click();
  await row('Deep').waitFor({ state: 'detached' });
  await waitFor(() => existsSync(icon('.trash/Three.png')), 5000, 'Three.png in the trash');
  assert.ok(existsSync(icon('Rock/Deep')));
});

test('Load asks Yes / Import / Cancel; Import adds a top group named after the file', async () => {
  await button('Load...').click();
  const text = await answer('Melodune.sbar: Question', 'No, import new entries...');
  assert.match(text, /There are already stations in your list!/);
  const asl = page.getByRole('dialog', { name: 'Choose a station list to import stations from' });
  await asl.waitFor();
  assert.equal(await asl.getByTestId('asl-drawer').inputValue(), 'ram:');
  await asl.getByTestId('asl-file').fill('Friends.txt');
  await asl.getByTestId('asl-ok').click();
  await row('Friends.txt').waitFor();
  assert.equal((await rowNames())[0], 'Friends.txt');
  await win.getByText('Imported 1 entries!').waitFor();
});

test('Apply changes the pop-up menu', async () => {
  await select('One');
  await field('Name:').fill('Uno');
  await row('Uno').waitFor();
  await button('Apply').click();
  await waitFor(() => button('Apply').isDisabled(), 5000, 'Apply disabled');
  await clickGadget(page);
  await page.getByRole('menuitem', { name: 'Rock' }).first().hover();
  await page.getByRole('menuitem', { name: 'Uno' }).first().waitFor();
  await page.keyboard.press('Escape');
});

test('Save asks, writes the tree\'s records and moves icons with their groups', async () => {
  await select('Rock');
  await field('Name:').fill('Metal');
  await row('Metal').waitFor();
  await select('Uno');
  await button('Up').click(); // out of Metal, to the top
  await waitFor(async () => (await levelOf('Uno')) === 1, 5000, 'Uno at the top');
  await button('Save...').click();
  assert.match(await answer('Melodune.sbar: Question', 'Yes'), /Do you really want to save the stations\?/);
  await waitFor(() => existsSync(icon('Metal/Two.png')), 5000, 'the drawer renamed');
  // The file holds exactly the tree's stations, in tree order.
  await button('Open all').click();
  await row('Blue').waitFor();
  const cells = await tree().locator('tr[aria-level]').evaluateAll((rows) => rows.map((r) => {
    const c = [...r.querySelectorAll('[role=gridcell]')].map((td) => {
      const x = td.cloneNode(true);
      x.querySelectorAll('.tog').forEach((t) => t.remove());
      return x.textContent.trim();
    });
    return { level: Number(r.getAttribute('aria-level')), group: r.hasAttribute('aria-expanded'), c };
  }));
  const path = [];
  let expected = '';
  let count = 0;
  for (const r of cells) {
    path.length = r.level - 1;
    path.push(r.c[0]);
    if (r.group) continue;
    expected += record(path.join('/'), r.c[1], r.c[2]);
    ++count;
  }
  const saved = readFileSync(join(data, 'Stations.txt'), 'latin1');
  assert.equal(saved, count + '\n' + expected);
  assert.ok(saved.includes(record('Uno', 'one.png', 'http://127.0.0.1:9/one')), saved);
  assert.ok(saved.includes(record('Metal/Two', 'Metal/Two.png', 'http://127.0.0.1:9/new')), saved);
  assert.ok(existsSync(icon('one.png')) && existsSync(icon('Metal.info')) && !existsSync(icon('Rock')));
  assert.doesNotMatch(await win.innerText(), /Failed to rename the icon/);
  assert.deepEqual(page.problems, []);
});
