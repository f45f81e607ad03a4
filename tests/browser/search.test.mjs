// The Search Stations window as a person uses it: the real host and plug-in
// in chromium, the testkit directory (MELODUNE_DIRECTORY) answering the
// searches and serving the icons, a testkit stream for "Test". The window
// is opened from the station editor's "Search..." button.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, mkdirSync, writeFileSync, readFileSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import {
  env, hasSources, startHost, startPrinting, openBrowser, openPage, waitFor, closeAll, clickGadget,
} from './harness.mjs';

const noEditor = hasSources('editor') && hasSources('search')
  ? false : 'the plug-in has no station editor or search yet (editor/ or search/ is not in the tree)';

const TITLE = 'Cafe Artist - Night Song';
const ICON = join(env('SOURCE_DIR'), 'skeleton', 'SYS', 'Data', 'Screenbar', 'Melodune', 'StationIcons', '_empty.png');
let stream, directory, host, browser, page, root;

before(async () => {
  if (noEditor) return;
  stream = await startPrinting(env('TESTKIT_SERVER'), ['--stream', join(env('FIXTURES'), 'tone440_128k.mp3'),
    '--path', '/jazzcafe', '--metaint', '8000', '--title', TITLE], /^(http:\/\/127\.0\.0\.1:\d+)\/jazzcafe$/m);
  directory = await startPrinting(env('TESTKIT_DIRECTORY'), ['--sample', '--stations', '400', '--icon', ICON,
    '--streams', stream.url], /^(http:\/\/127\.0\.0\.1:\d+)$/m);
  root = mkdtempSync(join(tmpdir(), 'screenbar-search-'));
  const d = join(root, 'SYS', 'Data', 'Screenbar', 'Melodune');
  mkdirSync(join(d, 'StationIcons', 'Jazz'), { recursive: true });
  writeFileSync(join(d, 'Stations.txt'), '1\nJazz/Tone Radio\nJazz/Tone Radio.png\n' + stream.url + '/jazzcafe\n#\n');
  host = await startHost({ plugin: env('MELODUNE'), root, args: ['--clock-rate', '2'],
    envVars: { MELODUNE_DIRECTORY: directory.url } });
  browser = await openBrowser();
  page = await openPage(browser, host.url);
});

after(() => closeAll({ browser, host, peers: [stream?.p, directory?.p], dirs: [root] }));

const win = () => page.getByRole('dialog', { name: 'Melodune: Search Stations' });
const field = (label) => win().getByRole('textbox', { name: label });
const button = (name) => win().getByRole('button', { name, exact: true });
const status = async (text, timeoutMs = 20000) => {
  try {
    await win().getByText(text, { exact: true }).waitFor({ timeout: timeoutMs });
  } catch (e) {
    throw new Error(`status "${text}" not shown; the window says: ${await win().innerText()}\n` +
      `directory ${directory.p.exitCode ?? directory.p.signalCode ?? 'running'}: ${directory.err}`);
  }
};
const searches = () => directory.out.split('\n').filter((l) => l.startsWith('search ')).map((l) => l.slice(7));
async function control(mode, rate) {
  const r = await fetch(`${directory.url}/control?mode=${mode}${rate ? '&rate=' + rate : ''}`);
  assert.equal(r.status, 200);
}
async function search(text) {
  await button('Search...').click();
  await status(text);
  await button('Search...').waitFor();
}
// The cells of the result rows shown, as texts.
const rows = async () => {
  const grid = win().getByRole('grid');
  await waitFor(async () => (await grid.locator('tr[data-row].loading').count()) === 0, 10000, 'the rows fetched');
  return grid.locator('tr[data-row]').evaluateAll(
    (trs) => trs.map((tr) => Array.from(tr.querySelectorAll('td')).map((td) => td.innerText)));
};

test('the editor\'s "Search..." opens the window with its hints, limit and columns', { skip: noEditor }, async () => {
  await clickGadget(page);
  await page.getByRole('menuitem', { name: 'Edit Stations...' }).click();
  const editor = page.getByRole('dialog', { name: 'Melodune: Edit Stations' });
  await editor.getByRole('button', { name: 'Search...', exact: true }).click();
  await win().waitFor();
  assert.equal(await win().getAttribute('data-window-id'), 'MDSS');

  assert.equal(await field('Name:').getAttribute('placeholder'), 'Name of the station');
  assert.equal(await field('Tags:').getAttribute('placeholder'), 'Specify search tags, like pop, rock etc, split by comma');
  assert.equal(await field('Country:').getAttribute('placeholder'), 'Country of the station, first letter in uppercase');
  assert.equal(await field('Languages:').getAttribute('placeholder'), 'Languages of the station, split by comma, lowercase');

  const limitOn = win().getByRole('checkbox', { name: 'Limit?' });
  const limit = win().getByRole('spinbutton');
  assert.equal(await limitOn.isChecked(), true);
  assert.equal(await limit.inputValue(), '100');
  await limitOn.click();
  await waitFor(() => limit.isDisabled(), 5000, 'the number greyed out');
  await limitOn.click();
  await waitFor(async () => !(await limit.isDisabled()), 5000, 'the number usable again');

  const heads = await win().getByRole('columnheader').allInnerTexts();
  assert.deepEqual(heads, ['Name', 'Bitrate', 'Tags', 'Country', 'Language'], 'Codec, Url and Icon are hidden');

  // Return in Name moves the focus to "Search...".
  await field('Name:').fill('Jazz Cafe');
  await field('Name:').press('Enter');
  await waitFor(() => button('Search...').evaluate((b) => b === document.activeElement), 5000, 'the focus on Search...');
});

test('a search sends the criteria and lists one row per station', { skip: noEditor }, async () => {
  await field('Country:').fill('france');
  await search('4 station(s) found!');
  assert.equal(searches().at(-1), '/csv/stations/search?codec=MP3&name=Jazz%20Cafe&country=France&limit=100');
  assert.equal(await field('Country:').inputValue(), 'France');
  const shown = await rows();
  assert.deepEqual(shown.map((r) => r[0]), ['Jazz Cafe', 'Jazz Cafe, Paris', 'Le ""Jazz Cafe"" Club', 'Jazz Cafe Nuit'],
    'a comma, doubled quotes and a line break each stay in one row');
  assert.deepEqual(shown[0], ['Jazz Cafe', '128', 'jazz,lounge', 'France', 'french']);
  if (process.env.SCREENSHOT) await win().screenshot({ path: process.env.SCREENSHOT });
});

test('"Test" plays the selected station', { skip: noEditor }, async () => {
  await win().getByRole('grid').locator('tr[data-row="0"]:not(.loading)').click();
  await button('Test').click();
  await waitFor(async () => (await page.evaluate(() => window.screenbarLog))
    .some((e) => e.kind === 'bubble' && e.text.replace(/\u00a0/g, ' ').includes(TITLE)), 40000, 'the station playing');
});

test('"Add" puts the station into the editor with its icon as a 32 x 20 PNG', { skip: noEditor }, async () => {
  const editor = page.getByRole('dialog', { name: 'Melodune: Edit Stations' });
  const tree = editor.getByRole('treegrid');
  const group = tree.getByRole('row', { name: /Jazz/ }).first();
  // The search window may lie over the editor: the clicks go to the rows themselves.
  if ((await group.getAttribute('aria-expanded')) === 'false')
    await group.getByRole('button', { name: 'Expand' }).dispatchEvent('click');
  await tree.getByRole('row', { name: /Tone Radio/ }).dispatchEvent('click');
  await win().getByRole('grid').locator('tr[data-row="0"]:not(.loading)').click();
  await button('Add').click();
  const file = join(root, 'SYS', 'Data', 'Screenbar', 'Melodune', 'StationIcons', 'Jazz', 'jazzcafe.png');
  await waitFor(() => existsSync(file), 20000, file);
  await tree.getByRole('row', { name: /Jazz Cafe/ }).waitFor();
  const png = readFileSync(file);
  assert.equal(png.subarray(1, 4).toString(), 'PNG');
  assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [32, 20]);
  const row = await tree.getByRole('row', { name: /Jazz Cafe/ }).innerText();
  assert.ok(row.includes('Jazz/jazzcafe.png'), row);
});

test('a failing directory is reported and the criteria stay editable', { skip: noEditor }, async () => {
  const answer = async (part) => {
    const req = page.getByRole('alertdialog', { name: 'Melodune.sbar: Warning' });
    await req.waitFor({ timeout: 20000 });
    const text = await req.innerText();
    assert.ok(text.includes(part), text);
    await req.getByRole('button', { name: 'Okay' }).click();
    await req.waitFor({ state: 'detached' });
  };
  await control('404');
  await button('Search...').click();
  await answer('ResponseCode = 404');
  await status('Downloading failed!');
  assert.equal(await field('Name:').isEditable(), true);

  await control('drop');
  await win().getByRole('checkbox', { name: 'Limit?' }).click(); // every station: a long table
  await field('Name:').fill('');
  await field('Country:').fill('');
  await button('Search...').click();
  await win().getByText(/^Failed! ErrorCode = \d+/).waitFor({ timeout: 20000 });
  await button('Search...').waitFor();
  assert.equal(await field('Name:').isEditable(), true);

  // "Abort..." while a slow table arrives: what came so far is listed.
  await control('slow', 3000);
  await button('Search...').click();
  await button('Abort...').waitFor();
  await page.waitForTimeout(1500);
  await button('Abort...').click({ timeout: 15000 }).catch(async (e) => {
    const bubbles = (await page.evaluate(() => window.screenbarLog)).filter((l) => l.kind === 'bubble').slice(-5);
    throw new Error(`${e.message}\nthe window (asleep: ${await win().locator('.content').first().evaluate((c) => c.inert)}) ` +
      `says: ${await win().innerText()}\nlast bubbles: ${JSON.stringify(bubbles)}\n${host.output().slice(-3000)}`);
  });
  await win().getByText(/^\d+ station\(s\) found!$/).waitFor({ timeout: 20000 });
  const n = Number((await win().getByText(/station\(s\) found!$/).innerText()).split(' ')[0]);
  assert.ok(n > 0 && n < 400, `${n} stations of 408 listed`);
  assert.equal(Number(await win().getByRole('grid').getAttribute('data-count')), n);
  await control('normal');

  // Nobody answers at the directory's address.
  directory.p.kill('SIGTERM');
  await new Promise((r) => directory.p.once('exit', r));
  await button('Search...').click();
  await answer('Failed to create the http.stream object!');
  await status('Downloading failed!');
  directory = null;
});
