// Starts a screenbar with its browser view on a fresh root and opens its page
// in Debian's chromium through playwright-core. Paths come from CTest's
// environment (SCREENBAR, WEBBAR, MELODUNE, TESTKIT_SERVER, FIXTURES, SOURCE_DIR).
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

// The colour of the bar's pixel (x, y) as [r, g, b].
export async function barPixel(page, x, y) {
  return page.evaluate(([x, y]) => {
    const img = document.querySelector('#barimg');
    const c = document.createElement('canvas');
    c.width = img.naturalWidth;
    c.height = img.naturalHeight;
    const g = c.getContext('2d');
    g.drawImage(img, 0, 0);
    return Array.from(g.getImageData(x, y, 1, 1).data.slice(0, 3));
  }, [x, y]);
}

export async function gadgetBox(page) {
  return page.locator('#gadget').boundingBox();
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
