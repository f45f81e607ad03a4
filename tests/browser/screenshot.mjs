// Makes docs/screenshot.png: the title bar with Melodune's station menu
// open, on the station list the project ships. Run it after a build:
//   SCREENBAR=build/bin/screenbar MELODUNE=build/bin/Melodune.sbar SOURCE_DIR=. \
//     node tests/browser/screenshot.mjs [OUT.png]
import { join } from 'node:path';
import { env, startHost, openBrowser, openPage, clickGadget } from './harness.mjs';

const out = process.argv[2] || join(env('SOURCE_DIR'), 'docs', 'screenshot.png');
const host = await startHost({ plugin: env('MELODUNE') });
const browser = await openBrowser();
try {
  const page = await openPage(browser, host.url);
  await page.setViewportSize({ width: 1040, height: 420 });
  await clickGadget(page);
  const top = page.locator('.menu[data-level="0"] > [data-testid=menuitem]');
  await top.first().waitFor();
  await top.filter({ hasText: 'Eclectic' }).hover();
  await page.locator('.menu[data-level="1"]').waitFor();
  await page.waitForTimeout(300);
  await page.screenshot({ path: out, clip: { x: 480, y: 0, width: 560, height: 330 } });
  console.log('wrote ' + out);
} finally {
  await browser.close();
  await host.stop();
}
