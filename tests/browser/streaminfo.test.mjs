// The Stream Info window in the browser view with the real host and
// plug-in: what the station sends, the state and buffer, the titles heard,
// a recording, the title actions through the desktop's opener and
// clipboard, and the tooltip. The stream comes from testkit-server with two
// titles; the clock runs four times faster, so the server sends five times
// the stream's bit rate: played at four, the buffer still fills.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { mkdtempSync, mkdirSync, writeFileSync, readFileSync, existsSync, rmSync, chmodSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import {
  env, startHost, startStreamServer, openBrowser, openPage, gadgetBox, waitFor, closeAll, clickGadget,
} from './harness.mjs';

const A = 'Artist - Song', B = 'Band - Tune';
const NB = /\u00a0/g;
let server, host, browser, page, root, ports, opened;

before(async () => {
  server = await startStreamServer(['--metaint', '8192', '--title', A, '--title', B, '--title-every', '12000',
    '--rate', '80000', '--header', 'icy-br: 128', '--header', 'icy-sr: 44100']);
  root = mkdtempSync(join(tmpdir(), 'screenbar-streaminfo-'));
  const d = join(root, 'SYS', 'Data', 'Screenbar', 'Melodune');
  mkdirSync(d, { recursive: true });
  writeFileSync(join(d, 'Stations.txt'), `1\nJazz/Tone Radio\n\n${server.url}\n#\n`);
  // The desktop's opener: notes how many arguments it got and the first.
  const bin = join(root, 'bin');
  mkdirSync(bin);
  opened = join(root, 'opened');
  writeFileSync(join(bin, 'xdg-open'), `#!/bin/sh\nprintf '%s' "$#" > '${opened}.argc'\nprintf '%s' "$1" > '${opened}'\n`);
  chmodSync(join(bin, 'xdg-open'), 0o755);
  ports = mkdtempSync(join(tmpdir(), 'screenbar-streaminfo-ports-'));
  const envVars = { PATH: bin + ':' + process.env.PATH, MELODUNE_VIDEO_SITE: 'video.test', MELODUNE_PORT_DIR: ports,
    DISPLAY: '', WAYLAND_DISPLAY: '' };
  host = await startHost({ plugin: env('MELODUNE'), root, args: ['--clock-rate', '4'], envVars });
  browser = await openBrowser();
  page = await openPage(browser, host.url);
});

after(() => closeAll({ browser, host, peers: [server?.p], dirs: [root, ports] }));

// ---- what a person sees ----

const plain = (s) => s.replace(NB, ' ').trim();
const windowOf = () => page.getByRole('dialog', { name: 'Melodune: Stream Info' });
const group = (title) => windowOf().getByRole('group', { name: title, exact: true });

// The content beside a label of a label/content group. Read-only text
// fields carry no name of their own, so they are found after their label.
async function field(groupTitle, label) {
  return group(groupTitle).evaluate((g, label) => {
    const text = (e) => e.innerText.replace(/\u00a0/g, ' ').trim();
    const l = Array.from(g.querySelectorAll('.grp > *')).find((e) => text(e) === label && e.nextElementSibling);
    return l ? text(l.nextElementSibling) : null;
  }, label);
}

// The entry rows of a list, once the page has fetched all of them.
async function rows(list) {
  // A row still being fetched is in the page already, empty and marked "loading".
  await waitFor(async () => (await list.locator('tr[data-row]:not(.loading)').count()) ===
    Number(await list.getAttribute('data-count')), 10000, 'the rows of a list');
  return list.locator('tr[data-row]').evaluateAll((trs) =>
    trs.map((tr) => Array.from(tr.querySelectorAll('td')).map((td) => td.innerText.replace(/\u00a0/g, ' ').trim())));
}
const headerList = () => group('HTTP-Header').getByRole('grid');

async function gauge() {
  const bar = group('Listening').getByRole('progressbar');
  return { info: plain(await bar.innerText()), fill: Number(await bar.getAttribute('aria-valuenow')) };
}

async function openMenu() {
  await clickGadget(page);
  await page.getByRole('menu').first().waitFor({ timeout: 10000 });
}
// A choice of the pop-up menu, by the item's name (after its icon, before a submenu's arrow).
async function choose(group, name) {
  await openMenu();
  const named = (t) => new RegExp('(^|\\s)' + t.replace(/[.*+?^${}()|[\]\\]/g, '\\$&') + '( ▸)?$');
  if (group) await page.getByRole('menuitem', { name: named(group) }).hover();
  await page.getByRole('menuitem', { name: named(name) }).click();
}

function rx(command) {
  return new Promise((resolve, reject) => {
    execFile(join(env('BUILD_DIR'), 'bin', 'rx'), [`options results; address MELODUNE '${command}'; say rc result`],
      { env: { ...process.env, MELODUNE_PORT_DIR: ports }, timeout: 20000 }, (e, out, err) =>
        (e ? reject(new Error(err || e.message)) : resolve(out.trim())));
  });
}

async function refresh() {
  await windowOf().getByRole('button', { name: 'Update' }).click();
  await page.waitForTimeout(300);
}

// The title field is the text part of its pop-up.
const titlePop = () => group('Listening').locator('[data-kind=pop]').first();
const titleField = async () => plain(await titlePop().locator(':scope > *').first().innerText());

// The history is in the pop-up of the title field.
async function history() {
  const pop = titlePop();
  await pop.getByRole('button', { name: 'Open list' }).click();
  const list = await rows(pop.getByRole('grid'));
  await pop.getByRole('button', { name: 'Close' }).click();
  return list;
}

const shot = async (name) => {
  const dir = process.env.SCREENSHOT_DIR;
  if (dir) await page.screenshot({ path: join(dir, name) });
};

test('PLAY INFO with nothing playing: "Stoped!" and empty fields', async () => {
  assert.equal(await rx('PLAY INFO'), '0');
  await windowOf().waitFor({ timeout: 10000 });
  assert.equal((await gauge()).info, 'Stoped!');
  assert.equal(await field('Listening', 'Station:'), '');
  assert.equal(await titleField(), '');
  assert.deepEqual(await rows(headerList()), []);
  assert.equal(await group('Recording').isVisible(), false, 'no recording group');
  await windowOf().getByRole('button', { name: 'Close', exact: true }).first().click();
  await windowOf().waitFor({ state: 'detached' });
});

test('while playing the window shows the headers, state, station and titles heard', async () => {
  await choose('Jazz', 'Tone Radio');
  await waitFor(async () => (await page.evaluate(() => window.screenbarLog))
    .some((e) => e.kind === 'bubble' && plain(e.text).includes(A)), 40000, 'the first title');
  await choose(null, 'Stream Info...');
  await windowOf().waitFor();
  assert.equal(await titleField(), A);
  // The headers arrive with the window's first refresh.
  await waitFor(async () => (await headerList().getAttribute('data-count')) !== '0', 10000, 'the headers');
  assert.deepEqual(await rows(headerList()), [['content-type', 'audio/mpeg'], ['icy-br', '128'], ['icy-genre', 'Test'],
    ['icy-metaint', '8192'], ['icy-name', 'Testkit Radio'], ['icy-sr', '44100']]);
  const g = await waitFor(async () => { const v = await gauge(); return v.fill > 0 ? v : null; }, 10000, 'a fill');
  assert.equal(g.info, 'Playing...');
  assert.ok(g.fill > 0 && g.fill <= 100, JSON.stringify(g));
  assert.equal(await field('Listening', 'Station:'), 'Tone Radio, Bitrate: 128 kps, Samplerate: 44100 Hz, 2 Channels');

  await waitFor(async () => (await titleField()) === B, 30000, 'the second title');
  await refresh();
  assert.deepEqual(await history(), [[`Jazz/Tone Radio: ${A}`], [`Jazz/Tone Radio: ${B}`]]);
  await shot('streaminfo-playing.png');
});

test('clicking the title searches it on the video site, as one argument', async () => {
  rmSync(opened, { force: true });
  await titlePop().locator(':scope > *').first().click();
  await waitFor(() => existsSync(opened) && readFileSync(opened, 'latin1').length > 0, 10000, 'the opener');
  assert.equal(readFileSync(opened, 'latin1'), 'https://video.test/results?search_query=Band%20-%20Tune');
  assert.equal(readFileSync(opened + '.argc', 'latin1'), '1');
});

test('the history\'s context menu copies a title and clears the list', async () => {
  const pop = titlePop();
  await pop.getByRole('button', { name: 'Open list' }).click();
  const list = pop.getByRole('grid');
  const first = list.locator('tr[data-row="0"]:not(.loading)');
  await first.click();
  await first.click({ button: 'right' });
  await page.getByRole('menuitem', { name: 'Copy to clipboard' }).click();
  const clip = join(root, 'T', 'Clipboard');
  // The file is made before it is written: wait for its text, not for it.
  await waitFor(() => existsSync(clip) && readFileSync(clip, 'latin1') !== '', 10000, 'the clipboard text');
  assert.equal(readFileSync(clip, 'latin1'), A, 'the title part, plain spaces');
  await first.click({ button: 'right' });
  await page.getByRole('menuitem', { name: 'Clear list' }).click();
  await waitFor(async () => (await rows(list)).length === 0, 10000, 'an empty history');
  await pop.getByRole('button', { name: 'Close' }).click();
});

test('a recording shows its group with a growing size', async () => {
  await choose(null, 'Record');
  const rec = group('Recording');
  await rec.waitFor({ state: 'visible', timeout: 20000 });
  const size = async () => Number((await field('Recording', 'Filesize:') || '').replace(/ bytes$/, ''));
  await waitFor(async () => { await refresh(); return (await field('Recording', 'Filename:')) !== ''; }, 20000, 'the file');
  assert.match(await field('Recording', 'Filename:'), /^RAM:Jazz_Tone Radio_\d\d-\d\d-\d\d_\d{6}\.mp3$/);
  assert.equal((await gauge()).info, 'Recording...');
  const first = await size();
  await shot('streaminfo-recording.png');
  await waitFor(async () => { await refresh(); return (await size()) > first; }, 20000, 'the size to grow');
});

test('Stop closes the window; while only the recording runs the station is "---"', async () => {
  await choose(null, 'Stop');
  await windowOf().waitFor({ state: 'detached', timeout: 10000 });
  assert.equal(await rx('PLAY INFO'), '0');
  await windowOf().waitFor({ timeout: 10000 });
  // The window opens with what it showed last; the refresh follows.
  await waitFor(async () => { await refresh(); return /^---, Bitrate: /.test(await field('Listening', 'Station:')); },
    10000, 'the station line "---"');
  assert.ok(await group('Recording').isVisible());
  assert.equal((await field('Recording', 'Station:')).split('\n')[0], 'Tone Radio', 'the recorded station');

  await choose(null, 'Stop Recording');
  await waitFor(async () => (await gauge()).info === 'Stoped!', 20000, 'the stopped state');
  assert.equal(await group('Recording').isVisible(), false);
  assert.equal(await field('Listening', 'Station:'), '');
});

test('the tooltip shows the text codes', async () => {
  const g = await gadgetBox(page);
  await page.mouse.move(g.x + 3, g.y + 5);
  await page.mouse.move(g.x + g.width / 2, g.y + g.height / 2);
  const tip = page.getByRole('tooltip');
  await tip.waitFor({ timeout: 10000 });
  assert.equal(plain(await tip.innerText()), "Hello I'm your Melodune! Please select a radio station from the pop-up menu!");
  await page.mouse.move(10, 400);
  assert.deepEqual(page.problems, []);
});
