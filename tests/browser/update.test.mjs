// The update check as a person sees it in the browser view: the question
// requester for a new version, the downloader's console window, and the
// switch in the settings. The service is testkit-update on loopback; the
// desktop opener is a stand-in that only writes down what it was given.
//
// SHOTS=DIR keeps a screenshot of each step there.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, writeFileSync, readFileSync, existsSync, chmodSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import {
  env, hasSources, startHost, startPrinting, openBrowser, openPage, waitFor, closeAll, clickGadget,
} from './harness.mjs';

const noMenu = hasSources('playback', 'Playback_menu.cpp') ? false : 'the plug-in has no menu actions yet';
let service, host, browser, page, dir;

function startService() {
  return startPrinting(join(env('BUILD_DIR'), 'bin', 'testkit-update'),
    ['--latest', 'Melodune_sbar=3.6', '--notes', 'Faster start.\nFewer dropped streams.'], /^MELODUNE_UPDATE_HOST=(\S+)$/m);
}

const shot = async (name, locator) => {
  if (process.env.SHOTS) await (locator || page).screenshot({ path: join(process.env.SHOTS, name + '.png') });
};

before(async () => {
  dir = mkdtempSync(join(tmpdir(), 'screenbar-update-'));
  const opener = join(dir, 'xdg-open');
  writeFileSync(opener, `#!/bin/sh\nprintf '%s\\n' "$*" >> '${join(dir, 'opened')}'\n`);
  chmodSync(opener, 0o755);
  service = await startService();
  host = await startHost({
    plugin: env('MELODUNE'),
    envVars: { MELODUNE_UPDATE_HOST: service.url, MELODUNE_HOMEPAGE_HOST: 'home.test', PATH: dir + ':' + process.env.PATH },
  });
  browser = await openBrowser();
  page = await openPage(browser, host.url);
});

after(() => closeAll({ browser, host, peers: [service?.p], dirs: [dir] }));

async function askFromMenu() {
  await clickGadget(page);
  await page.locator('.menu[data-level="0"] > [data-testid=menuitem]', { hasText: 'UpdateCheck...' }).click();
  const req = page.getByRole('alertdialog', { name: 'Melodune.sbar: Question' });
  await req.waitFor({ timeout: 20000 });
  return req;
}

test('a new version is offered with its notes, and the downloader runs in a console window', { skip: noMenu }, async () => {
  let req = await askFromMenu();
  const text = (await req.innerText()).replace(/\u00a0/g, ' ');
  assert.ok(text.includes('There is a new version v3.6 available for Melodune_sbar!'), text);
  assert.ok(text.includes('Fewer dropped streams.'), text);
  assert.deepEqual(await req.locator('.buttons button').allInnerTexts(), ['Visit the homepage', 'Download & Install', 'Cancel']);
  await shot('update-question', req);
  await req.getByRole('button', { name: 'Visit the homepage' }).click();
  await req.waitFor({ state: 'detached' });
  const opened = () => (existsSync(join(dir, 'opened')) ? readFileSync(join(dir, 'opened'), 'utf8') : '');
  await waitFor(() => opened().includes('http://home.test/frames/progs/Melodune_sbar.html'), 10000, 'the home page');

  req = await askFromMenu();
  await req.getByRole('button', { name: 'Download & Install' }).click();
  const con = page.getByRole('dialog', { name: 'Grabulon_Downloader' });
  await con.waitFor({ timeout: 20000 });
  await con.getByText('a new version of Melodune_sbar is available.').waitFor();
  await con.getByText('You may close this window now.').waitFor();
  await waitFor(() => opened().includes('/download/Melodune_sbar.html'), 10000, 'the download page');
  await shot('update-console', con);
  // The script is over; the window stays until it is closed.
  await page.waitForTimeout(500);
  assert.equal(await con.count(), 1);
  await con.locator('[data-testid=closebox]').click();
  await con.waitFor({ state: 'detached' });
  assert.deepEqual(page.problems, []);
});

test('the settings carry the switch for the check at start', async () => {
  await page.click('[data-testid=prefs]');
  const win = page.locator('[data-testid=window]', { hasText: 'Screenbar: Melodune' });
  await win.waitFor();
  const box = win.getByRole('checkbox', { name: 'Check for updates at start' });
  await box.waitFor();
  assert.equal(await box.isChecked(), true, 'on in a fresh configuration');
  await shot('update-prefs', win);
  await win.locator('button', { hasText: 'Cancel' }).click();
  await win.waitFor({ state: 'detached' });
});
