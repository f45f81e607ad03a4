// Starts a screenbar with its browser view on a fresh root and opens its page
// in Debian's chromium through playwright-core. Paths come from CTest's
// environment (SCREENBAR, WEBBAR, MELODUNE, TESTKIT_SERVER, FIXTURES, SOURCE_DIR).
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, existsSync, readdirSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);

export const env = (name) => {
  const v = process.env[name];
  if (!v) throw new Error(`${name} is not set; run the browser tests through ctest`);
  return v;
};

export const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';
export const chromiumArgs = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--no-first-run'];

export function loadPlaywright() {
  try {
    return require('playwright-core');
  } catch (e) {
    throw new Error('playwright-core is not installed in tests/browser; run scripts/install-deps.sh');
  }
}

// Whether the plug-in's sources hold a part (a folder with C++ files).
export function hasSources(folder, file) {
  const dir = join(env('SOURCE_DIR'), folder);
  if (!existsSync(dir)) return false;
  if (file) return existsSync(join(dir, file));
  return readdirSync(dir).some((f) => f.endsWith('.cpp'));
}

// A running host: url, the process, what it printed, and stop().
export async function startHost({ plugin, args = [], envVars = {}, root } = {}) {
  const dir = root || mkdtempSync(join(tmpdir(), 'screenbar-web-'));
  const child = spawn(env('SCREENBAR'), ['--root', dir, '--audio', 'null', '--web', '127.0.0.1:0',
    '--plugin', plugin, ...args], { env: { ...process.env, ...envVars }, stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '', err = '';
  child.stdout.on('data', (d) => { out += d; });
  child.stderr.on('data', (d) => { err += d; });
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  const url = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('no URL printed:\n' + out + err)), 20000);
    const look = () => {
      const m = out.match(/open (http:\/\/127\.0\.0\.1:\d+\/\?t=[0-9a-f]{32}) in a browser/);
      if (m) { clearTimeout(timer); resolve(m[1]); }
    };
    child.stdout.on('data', look);
    exited.then(() => { clearTimeout(timer); reject(new Error('screenbar ended:\n' + out + err)); });
  });
  return {
    url, root: dir, child,
    output: () => out + err,
    async stop() {
      if (child.exitCode === null) child.kill('SIGTERM');
      const r = await Promise.race([exited, new Promise((res) => setTimeout(() => res(null), 15000))]);
      if (!r) child.kill('SIGKILL');
      if (!root) rmSync(dir, { recursive: true, force: true });
      return r;
    },
  };
}

// A program that prints its address first, as the first group of pattern;
// resolves with the process (p), the address (url) and what it printed
// (out, err), which keeps growing.
export function startPrinting(exe, args, pattern) {
  return new Promise((resolve, reject) => {
    const p = spawn(exe, args, { stdio: ['ignore', 'pipe', 'pipe'] });
    const self = { p, out: '', err: '', url: '' };
    p.stderr.on('data', (d) => { self.err += d; });
    const timer = setTimeout(() => reject(new Error(exe + ' printed no address')), 10000);
    p.stdout.on('data', (d) => {
      self.out += d;
      const m = self.out.match(pattern);
      if (m && !self.url) { self.url = m[1]; clearTimeout(timer); resolve(self); }
    });
    p.on('exit', () => { clearTimeout(timer); reject(new Error(exe + ' ended:\n' + self.out)); });
  });
}

// testkit-server looping the 128 kbit/s tone at /stream, with more options.
export function startStreamServer(args) {
  return startPrinting(env('TESTKIT_SERVER'), ['--stream', join(env('FIXTURES'), 'tone440_128k.mp3'), ...args],
    /^(http:\/\/127\.0\.0\.1:\d+\/stream)$/m);
}

// Ends what a test started: the browser, the host, then the peers
// (processes) and folders around them, and checks that the host ended
// cleanly. Any of them may be missing after a start that failed.
export async function closeAll({ browser, host, peers = [], dirs = [] }) {
  if (browser) await browser.close();
  const r = host && await host.stop();
  // Tidied up before the check, which may throw: a peer left running would
  // keep this process alive until the test times out.
  for (const p of peers) if (p) p.kill('SIGTERM');
  for (const d of dirs) if (d) rmSync(d, { recursive: true, force: true });
  if (host) assert.deepEqual(r, { code: 0, signal: null }, 'screenbar ends cleanly:\n' + host.output());
}

export async function openBrowser() {
  const { chromium } = loadPlaywright();
  if (!existsSync(chromiumPath)) throw new Error(`${chromiumPath} is missing; run scripts/install-deps.sh`);
  return chromium.launch({ executablePath: chromiumPath, args: chromiumArgs });
}

export async function openPage(browser, url) {
  const page = await browser.newPage({ viewport: { width: 1100, height: 640 } });
  const problems = [];
  page.on('pageerror', (e) => problems.push(e.message));
  // Nothing but the host may be asked for anything.
  const origin = new URL(url).origin;
  page.on('request', (r) => {
    const u = r.url();
    if (!u.startsWith(origin) && !u.startsWith('data:')) problems.push('outside request: ' + u);
  });
  await page.goto(url);
  await page.waitForSelector('body[data-ready="1"]');
  await page.waitForFunction(() => document.querySelector('#barimg').naturalWidth > 0);
  page.problems = problems;
  return page;
}

// The bar's pixels in the box (x, y, w, h), row by row, each as [r, g, b].
export async function barPixels(page, x, y, w, h) {
  return page.evaluate(([x, y, w, h]) => {
    const img = document.querySelector('#barimg');
    const c = document.createElement('canvas');
    c.width = img.naturalWidth;
    c.height = img.naturalHeight;
    const g = c.getContext('2d');
    g.drawImage(img, 0, 0);
    const d = g.getImageData(x, y, w, h).data, px = [];
    for (let i = 0; i < d.length; i += 4) px.push([d[i], d[i + 1], d[i + 2]]);
    return px;
  }, [x, y, w, h]);
}

// The colour of the bar's pixel (x, y) as [r, g, b].
export async function barPixel(page, x, y) {
  return (await barPixels(page, x, y, 1, 1))[0];
}

export async function gadgetBox(page) {
  return page.locator('#gadget').boundingBox();
}

// A click in the middle of the bar's gadget: its pop-up menu.
export async function clickGadget(page) {
  const g = await gadgetBox(page);
  await page.mouse.click(g.x + g.width / 2, g.y + g.height / 2);
}

export async function waitFor(fn, timeoutMs = 10000, what = 'condition') {
  const end = Date.now() + timeoutMs;
  for (;;) {
    const v = await fn();
    if (v) return v;
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
    await new Promise((r) => setTimeout(r, 50));
  }
}
