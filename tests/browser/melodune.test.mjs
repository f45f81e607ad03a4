// The browser view with the real plug-in, Melodune.sbar, on a station list
// whose streams come from the testkit server: the bar, the preferences
// window, and (once the plug-in has them) the station menu, playing with
// its bubbles, mute, a failing station's requester and the recolouring.
//
// Steps that need a part of the plug-in that is not in the source tree yet
// are skipped with the reason; once the part is there they must pass.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, mkdirSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import {
  env, hasSources, startHost, startStreamServer, openBrowser, openPage, barPixel, barPixels, gadgetBox, waitFor,
  closeAll, clickGadget,
} from './harness.mjs';

const canMenu = hasSources('stations') && hasSources('playback', 'Playback_menu.cpp');
const canPlay = canMenu && hasSources('playback', 'Playback_connect.cpp') && hasSources('playback', 'Playback_pipeline.cpp') &&
  hasSources('playback', 'Playback_watchdog.cpp');
const noMenu = canMenu ? false : 'the plug-in has no station menu yet (stations/ and playback/Playback_menu.cpp are not in the tree)';
const noTooltip = canPlay && hasSources('streaminfo', 'ShortHelp.cpp') ? false : 'the plug-in builds no tooltip yet (streaminfo/ is not in the tree)';
const noPlay = canPlay ? false : 'the plug-in cannot play yet (the playback sources are not all in the tree)';

const TITLE = 'Test Artist - Test Song';
let server, host, browser, page, root;
let streamUrl = '';

function writeStations(dir, url) {
  const base = url.replace(/\/stream$/, '');
  const stations = [
    ['Test/Tone Radio', 'Test/Tone Radio.png', url],
    ['Test/Broken Radio', 'Test/Broken Radio.png', base + '/missing'],
    ['Caf\u00e9 Top', 'Caf\u00e9 Top.png', url],
  ];
  let text = '# written by the browser test\n' + stations.length + '\n';
  for (const [n, i, s] of stations) text += `${n}\n${i}\n${s}\n#\n`;
  const d = join(dir, 'SYS', 'Data', 'Screenbar', 'Melodune');
  mkdirSync(d, { recursive: true });
  writeFileSync(join(d, 'Stations.txt'), Buffer.from(text, 'latin1'));
}

before(async () => {
  server = await startStreamServer(['--metaint', '8000', '--title', TITLE, '--header', 'icy-name: Tone Radio']);
  streamUrl = server.url;
  root = mkdtempSync(join(tmpdir(), 'screenbar-melodune-'));
  writeStations(root, streamUrl);
  host = await startHost({ plugin: env('MELODUNE'), root, args: ['--clock-rate', '2'] });
  browser = await openBrowser();
  page = await openPage(browser, host.url);
});

after(() => closeAll({ browser, host, peers: [server?.p], dirs: [root] }));

const log = () => page.evaluate(() => window.screenbarLog);
async function logged(kind, text, timeoutMs = 20000) {
  try {
    // Titles keep their words together with no-break spaces.
    const seen = (e) => e.kind === kind && e.text.replace(/\u00a0/g, ' ').includes(text);
    return await waitFor(async () => (await log()).find(seen), timeoutMs,
      `${kind} "${text}"`);
  } catch (e) {
    throw new Error(e.message + '; shown: ' + JSON.stringify(await log()) + '\n' + host.output());
  }
}

// Every pixel of the gadget as [r, g, b].
async function gadgetPixels() {
  const g = await gadgetBox(page);
  return barPixels(page, Math.round(g.x), Math.round(g.y), Math.round(g.width), Math.round(g.height));
}
// Waits until the bar stops changing (the recolour animation has ended).
async function settled() {
  let last = '', same = 0;
  await waitFor(async () => {
    const f = await page.locator('#barimg').getAttribute('data-frames');
    same = f === last ? same + 1 : 0;
    last = f;
    return same >= 6;
  }, 15000, 'the bar to settle');
  await page.waitForTimeout(100);
}

async function openMenu() {
  await clickGadget(page);
  await page.locator('[data-testid=menu]').first().waitFor({ timeout: 10000 });
}

async function chooseStation(group, name) {
  await openMenu();
  if (group) await page.locator('.menu[data-level="0"] > [data-testid=menuitem]', { hasText: group }).hover();
  const level = group ? 1 : 0;
  const item = page.locator(`.menu[data-level="${level}"] > [data-testid=menuitem]`, { hasText: name });
  await item.click();
}

test('the bar shows the plug-in\'s icon', async () => {
  await settled();
  const bg = await barPixel(page, 2, 1);
  const px = await gadgetPixels();
  assert.ok(px.some((p) => p.join() !== bg.join()), 'the icon is drawn in the gadget');
  assert.deepEqual(page.problems, []);
});

test('the host\'s preferences window shows the plug-in\'s panel, opens and closes', async () => {
  await page.click('[data-testid=prefs]');
  const win = page.locator('[data-testid=window]', { hasText: 'Screenbar: Melodune' });
  await win.waitFor();
  await win.getByText('Recolor icon while playing?').waitFor();
  assert.equal(await win.locator('input[type=color]').count(), 2);
  assert.equal(await win.locator('input.str').inputValue(), 'RAM:');
  await win.locator('button', { hasText: 'Cancel' }).click();
  await win.waitFor({ state: 'detached' });
});

test('a click on the gadget shows the station menu with its groups and icons', { skip: noMenu }, async () => {
  await openMenu();
  const top = page.locator('.menu[data-level="0"] > [data-testid=menuitem]');
  const titles = await top.allInnerTexts();
  for (const t of ['Stop', 'Mute', 'Record', 'Edit Stations...', 'Stream Info...', 'UpdateCheck...'])
    assert.ok(titles.some((x) => x.includes(t)), `"${t}" in ${JSON.stringify(titles)}`);
  assert.ok(titles.some((x) => x.includes('Café Top')));
  await top.filter({ hasText: 'Test' }).hover();
  const station = page.locator('.menu[data-level="1"] > [data-testid=menuitem]', { hasText: 'Tone Radio' });
  await station.waitFor();
  // The missing station icon falls back to the placeholder, which loads.
  await waitFor(() => station.locator('img.inl').evaluate((i) => i.complete && i.naturalWidth > 0), 5000, 'icon');
  if (process.env.SCREENSHOT) await page.screenshot({ path: process.env.SCREENSHOT, clip: { x: 0, y: 0, width: 1100, height: 300 } });
  await page.mouse.click(600, 500); // elsewhere: cancelled
  await page.locator('[data-testid=menu]').first().waitFor({ state: 'detached' });
});

test('choosing a station connects, plays and shows the title', { skip: noPlay }, async () => {
  await chooseStation('Test', 'Tone Radio');
  await logged('bubble', 'Connecting to');
  await logged('bubble', TITLE, 40000);
});

test('resting on the gadget shows the tooltip with the playing station', { skip: noTooltip }, async () => {
  const g = await gadgetBox(page);
  await page.mouse.move(g.x + 3, g.y + 5);
  await page.mouse.move(g.x + g.width / 2, g.y + g.height / 2);
  const tip = page.locator('[data-testid=tooltip]');
  await tip.waitFor({ timeout: 10000 });
  const text = (await tip.innerText()).replace(/\u00a0/g, ' ');
  assert.ok(text.includes('Listening to') && text.includes('Tone Radio'), text);
  await page.mouse.move(10, 400);
  await tip.waitFor({ state: 'detached' });
});

test('the right button mutes: the "x" appears and goes again', { skip: noPlay }, async () => {
  await settled();
  const before = await gadgetPixels();
  const g = await gadgetBox(page);
  await page.mouse.click(g.x + g.width / 2, g.y + g.height / 2, { button: 'right' });
  await waitFor(async () => JSON.stringify(await gadgetPixels()) !== JSON.stringify(before), 10000, 'the x');
  await page.mouse.click(g.x + g.width / 2, g.y + g.height / 2, { button: 'right' });
  await settled();
  await waitFor(async () => JSON.stringify(await gadgetPixels()) === JSON.stringify(before), 10000, 'the x to go');
});

test('the recolour preference and a new playing colour recolour the icon', { skip: noPlay }, async () => {
  const green = (px) => px.some(([r, g, b]) => g > 200 && r < 60 && b < 60);
  const red = (px) => px.some(([r, g, b]) => r > 200 && g < 60 && b < 60);
  await waitFor(async () => green(await gadgetPixels()), 15000, 'the icon in the playing colour');
  const prefs = async (fn) => {
    await page.click('[data-testid=prefs]');
    const win = page.locator('[data-testid=window]', { hasText: 'Screenbar: Melodune' });
    await win.waitFor();
    await fn(win);
    await win.locator('button', { hasText: 'Save' }).click();
    await win.waitFor({ state: 'detached' });
  };
  // Off: the icon goes back to the screen's pen, and takes a red playing colour along.
  await prefs(async (win) => {
    await win.locator('input[type=color]').first().fill('#ff0000');
    await win.locator('input[type=checkbox]').first().click();
    await waitFor(async () => !(await win.locator('input[type=checkbox]').first().isChecked()), 5000, 'unchecked');
  });
  await waitFor(async () => { const px = await gadgetPixels(); return !green(px) && !red(px); }, 15000, 'the icon in the screen pen');
  // On again: painted in the new colour.
  await prefs(async (win) => {
    await win.locator('input[type=checkbox]').first().click();
    await waitFor(() => win.locator('input[type=checkbox]').first().isChecked(), 5000, 'checked');
  });
  await waitFor(async () => red(await gadgetPixels()), 15000, 'the icon in the new colour');
});

test('a failing station is reported in a requester that can be answered', { skip: noPlay }, async () => {
  await chooseStation('Test', 'Broken Radio');
  const req = page.locator('[data-testid=requester]');
  await req.waitFor({ timeout: 30000 });
  assert.equal(await req.locator('.title').innerText(), 'Melodune.sbar: Warning');
  assert.deepEqual(await req.locator('.buttons button').allInnerTexts(), ['Okay']);
  await req.locator('button', { hasText: 'Okay' }).click();
  await req.waitFor({ state: 'detached' });
});
