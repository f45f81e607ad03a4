// The browser view with a big list: WebBar.sbar's "Rows..." window (50,000
// eight-column rows beside a gauge ticking every 500 ms) in Debian's
// chromium. Prints, per run: the time from the end of the list's quiet
// state (a refill of all 50,000 rows) to the first rows painted, the time
// for End to paint the last row, the bytes sent to the page for the fill
// and per gauge tick, and the page's peak heap.
//   SCREENBAR=build/bin/screenbar WEBBAR=build/bin/WebBar.sbar SOURCE_DIR=. node bench/bench_web.mjs [RUNS]
import { startHost, openPage, gadgetBox, waitFor, loadPlaywright, chromiumPath, chromiumArgs } from '../tests/browser/harness.mjs';

const runs = Number(process.argv[2] || 3);
const host = await startHost({ plugin: process.env.WEBBAR });
const { chromium } = loadPlaywright();
const browser = await chromium.launch({ executablePath: chromiumPath, args: [...chromiumArgs, '--enable-precise-memory-info'] });
const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];
try {
  const page = await openPage(browser, host.url);
  await page.setViewportSize({ width: 1280, height: 900 });
  await page.evaluate(() => {
    window.screenbarStats.peakHeap = 0;
    setInterval(() => {
      const s = window.screenbarStats;
      s.peakHeap = Math.max(s.peakHeap, performance.memory.usedJSHeapSize);
    }, 50);
  });
  const g = await gadgetBox(page);
  await page.mouse.click(g.x + g.width / 2, g.y + g.height / 2);
  await page.locator('.menu[data-level="0"] > [role=menuitem]', { hasText: 'Rows...' }).click();
  const win = page.getByRole('dialog', { name: 'WebBar Rows' });
  await win.getByRole('grid').locator('tr[data-row="0"]:not(.loading)').waitFor();
  const total = () => page.evaluate(() => {
    const s = window.screenbarStats;
    return Object.values(s.bytes).reduce((a, b) => a + b, 0) + s.rowBytes;
  });
  const results = { first: [], end: [], fill: [], tick: [] };
  for (let r = 0; r < runs; r++) {
    // The fill: everything on the wire from the click until the rows show.
    await page.evaluate(() => { window.screenbarStats.listAt = 0; window.screenbarStats.painted = 0; });
    const bytes0 = await total();
    const t0 = await page.evaluate(() => performance.now());
    await win.getByRole('button', { name: 'Refill' }).click();
    await waitFor(() => page.evaluate((t0) => {
      const s = window.screenbarStats;
      return s.listAt > t0 && s.painted > s.listAt;
    }, t0), 30000, 'the refilled rows');
    results.first.push(await page.evaluate(() => window.screenbarStats.painted - window.screenbarStats.listAt));
    results.fill.push((await total()) - bytes0);
    // End: from the key to the last row painted.
    await win.getByRole('grid').focus();
    results.end.push(await page.evaluate(() => new Promise((resolve) => {
      const table = document.querySelector('[role=grid]');
      const t = performance.now();
      table.dispatchEvent(new KeyboardEvent('keydown', { key: 'End', bubbles: true }));
      const look = () => {
        const row = table.querySelector('tr[data-row="49999"][aria-selected=true]:not(.loading)');
        if (row) resolve(performance.now() - t);
        else requestAnimationFrame(look);
      };
      look();
    })));
    await win.getByRole('grid').press('Home');
    // Gauge ticks over three seconds.
    const n0 = await page.evaluate(() => [window.screenbarStats.bytes.node || 0, window.screenbarStats.count.node || 0]);
    await page.waitForTimeout(3000);
    const n1 = await page.evaluate(() => [window.screenbarStats.bytes.node || 0, window.screenbarStats.count.node || 0]);
    results.tick.push(n1[1] > n0[1] ? (n1[0] - n0[0]) / (n1[1] - n0[1]) : 0);
  }
  const heap = await page.evaluate(() => window.screenbarStats.peakHeap);
  const f = (v) => v.toFixed(1);
  console.log(`runs ${runs}, 50,000 rows of 8 columns (6 shown)`);
  console.log(`first rows after the quiet ends: median ${f(median(results.first))} ms (goal < 300)  [${results.first.map(f).join(', ')}]`);
  console.log(`End to the last row painted:     median ${f(median(results.end))} ms (goal < 100)  [${results.end.map(f).join(', ')}]`);
  console.log(`bytes on the wire for the fill:  median ${median(results.fill)} (goal < 2,000,000)`);
  console.log(`bytes per gauge tick:            median ${f(median(results.tick))} (goal < 1,024)`);
  console.log(`peak page heap:                  ${(heap / 1048576).toFixed(1)} MiB`);
} finally {
  await browser.close();
  await host.stop();
}
