// How fast the page steps a figure in headless Chromium, against real time:
// the page at its real-time pace (or as fast as it integrates, with
// --fastest) for a while after it has warmed up, counting the animation
// frames and the steps taken.
//
// Usage: node bench/page_speed.mjs PAGE_DIR FIGURE [SECONDS] [--fastest]
//   PAGE_DIR: a page built by tools/build_web.sh; FIGURE: any name
//   marionette-sim --model takes (chain:256). Needs what the browser test
//   needs (tools/install_dependencies.sh web).
import { chromium } from '../tests/web/node_modules/playwright-core/index.mjs';
import { chromiumOptions, servePage } from '../tests/web/test_kit.mjs';

const args = process.argv.slice(2).filter((a) => a !== '--fastest');
const fastest = process.argv.includes('--fastest');
const [pageDir, figure, seconds = '10'] = args;
if (!pageDir || !figure) {
  console.error('usage: node bench/page_speed.mjs PAGE_DIR FIGURE [SECONDS] [--fastest]');
  process.exit(2);
}
const server = await servePage(pageDir);
const browser = await chromium.launch(chromiumOptions());
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  await page.goto(`http://127.0.0.1:${server.address().port}/?figure=${encodeURIComponent(figure)}`);
  await page.waitForFunction(() => window.marionette?.ready, null, { timeout: 60000 });
  if (fastest) await page.getByRole('button', { name: 'As fast as it integrates', exact: true }).click();
  await page.waitForTimeout(3000);
  const r = await page.evaluate((ms) => new Promise((resolve) => {
    const t0 = performance.now();
    const s0 = Module._webStepsTaken();
    let frames = 0;
    const tick = (now) => {
      ++frames;
      if (now - t0 < ms) requestAnimationFrame(tick);
      else resolve({ frames, ms: now - t0, steps: Module._webStepsTaken() - s0, timeStep: Module._webTimeStep() });
    };
    requestAnimationFrame(tick);
  }), Number(seconds) * 1000);
  const stepsPerSecond = (r.steps * 1000) / r.ms;
  console.log(`${figure}${fastest ? ' (as fast as it integrates)' : ''}: ${stepsPerSecond.toFixed(0)} steps/s, ` +
    `${(stepsPerSecond * r.timeStep).toFixed(3)} x real time, ${((r.frames * 1000) / r.ms).toFixed(1)} frames/s ` +
    `over ${(r.ms / 1000).toFixed(1)} s`);
} finally {
  await browser.close();
  server.close();
}
