// Takes hold of the figure in Chromium with real pointer events: the mouse
// through Playwright, a finger through the DevTools protocol's touch events.
// Exits 0 when every check passes, 1 at the first failure.
//
// usage: node grab_test.mjs PAGE_DIR SCREENSHOT.png
//   PAGE_DIR: the built page; SCREENSHOT.png: the page while a hand pulls.
import { mkdtempSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { Failure, checks, chromiumOptions, segmentCentre, servePage } from './test_kit.mjs';

const [pageDir, screenshotPath] = process.argv.slice(2);
if (!screenshotPath) {
  console.error('usage: node grab_test.mjs PAGE_DIR SCREENSHOT.png');
  process.exit(2);
}

const stepsPerSecond = 6667;  // simulated seconds are 6667 steps of 0.00015 s
const followPixels = 8;       // how near the held point must come to the pointer
const rightHand = 3;
let server;
let context;
let profile;

const { pass, check } = checks('grab_test');

const distance = (a, b) => Math.hypot(a.x - b.x, a.y - b.y);

async function main() {
  server = await servePage(pageDir);
  const url = `http://127.0.0.1:${server.address().port}/`;
  profile = mkdtempSync(path.join(os.tmpdir(), 'marionette-chromium-'));
  context = await chromium.launchPersistentContext(profile, chromiumOptions({ hasTouch: true, viewport: { width: 1000, height: 800 } }));
  const page = context.pages()[0] ?? await context.newPage();
  const problems = [];
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(url);
  await page.waitForFunction(() => window.marionette?.ready, null, { timeout: 60000 });

  // Pace, pause and reset through the page's calls: clicking a button may
  // scroll the page, which would move the canvas under the pointer.
  const setPaused = (value) => page.evaluate((v) => Module._webSetPaused(v ? 1 : 0), value);
  const reset = () => page.evaluate(() => { Module._webSetPace(0); Module._webReset(); });
  const state = () => page.evaluate(() => window.marionette.state());
  const held = () => page.evaluate(() => window.marionette.heldPoint());
  // Waits until `steps` more steps have run, then returns the held point and pointer.
  const afterSteps = async (steps) => {
    const until = (await state()).step + steps;
    await page.waitForFunction((s) => window.marionette.state().step >= s, until, { timeout: 30000, polling: 'raf' });
    return held();
  };
  // The picking against the picture: of the canvas points (every 4th pixel)
  // the core finds a segment under, the share that the screenshot shows
  // painted, and of those it finds nothing under, the share it shows white.
  const pickingAgainstPicture = async () => {
    const png = (await page.screenshot()).toString('base64');
    return page.evaluate(async (png) => {
      const bitmap = await createImageBitmap(await (await fetch(`data:image/png;base64,${png}`)).blob());
      const c = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
      c.drawImage(bitmap, 0, 0);
      const box = document.getElementById('view').getBoundingClientRect();
      const counts = { picked: 0, painted: 0, empty: 0, white: 0 };
      for (let row = 2; row < box.height - 2; row += 4) {
        for (let column = 2; column < box.width - 2; column += 4) {
          const segment = Module._webSegmentAt((column / box.width) * 2 - 1, 1 - (row / box.height) * 2, 0);
          const [r, g, b] = c.getImageData(Math.round(box.left + column), Math.round(box.top + row), 1, 1).data;
          const white = r > 245 && g > 245 && b > 245;
          if (segment >= 0) { ++counts.picked; if (!white) ++counts.painted; } else { ++counts.empty; if (white) ++counts.white; }
        }
      }
      return { painted: counts.painted / counts.picked, white: counts.white / counts.empty };
    }, png);
  };
  const finite = (s) => [...s.q, ...s.p].every(Number.isFinite);

  // The figure in its pose, stopped; the right hand found where it is drawn.
  await reset();
  await setPaused(false);
  await page.waitForTimeout(2500);
  await setPaused(true);
  const hand = await segmentCentre(page, rightHand);
  check(hand !== null, 'the right hand is nowhere on the canvas');
  const matched = await pickingAgainstPicture();
  check(matched.painted > 0.93 && matched.white > 0.93, `picking against the picture: ${JSON.stringify(matched)}`);
  pass(`what the pointer takes hold of is what the picture shows: ${(100 * matched.painted).toFixed(1)}% of the points on a segment are painted, ${(100 * matched.white).toFixed(1)}% of the others white`);
  const box = await page.locator('#view').boundingBox();
  const blank = { x: box.x + 30, y: box.y + box.height - 30 };
  check((await segmentCentre(page, -1)) !== null, 'no empty place on the canvas');

  // The cursor: a hand over a segment, the arrow elsewhere.
  await page.mouse.move(hand.x, hand.y);
  const cursorOver = await page.evaluate(() => document.getElementById('view').style.cursor);
  await page.mouse.move(blank.x, blank.y);
  const cursorOff = await page.evaluate(() => document.getElementById('view').style.cursor);
  check(cursorOver === 'grab' && cursorOff === '', `cursor over the hand '${cursorOver}', off the figure '${cursorOff}'`);
  pass('the cursor shows grab over the figure and the arrow beside it');

  // Mouse: press on the hand while paused, move to a spot within reach, run.
  await page.mouse.move(hand.x, hand.y);
  await page.mouse.down();
  const grabbed = await held();
  check(grabbed !== null && distance(grabbed.held, grabbed.pointer) < 1, `pressing on the hand took hold of ${JSON.stringify(grabbed)}`);
  const spot = { x: hand.x + 32, y: hand.y - 32 };
  await page.mouse.move(spot.x, spot.y, { steps: 8 });
  const before = await state();
  await page.waitForTimeout(300);
  check((await state()).step === before.step, 'a grab while paused moved the figure');
  const poseBefore = before.q;
  // the page holding the hand, paused: the line runs from the held point to the pointer
  await page.waitForTimeout(100);
  await page.screenshot({ path: screenshotPath });
  await setPaused(false);
  const atOneSecond = await afterSteps(stepsPerSecond);
  const gap = distance(atOneSecond.held, atOneSecond.pointer);
  check(gap <= followPixels, `after one simulated second the held point is ${gap.toFixed(2)} px from the pointer`);
  let largestGap = gap;
  for (let k = 0; k < 10; ++k) {
    const now = await afterSteps(1333);
    largestGap = Math.max(largestGap, distance(now.held, now.pointer));
  }
  check(largestGap <= followPixels, `the held point strayed ${largestGap.toFixed(2)} px from the pointer`);
  pass(`mouse: after 1 s the held point is ${gap.toFixed(2)} px from the pointer, at most ${largestGap.toFixed(2)} px over the next 2 s`);

  const energy = await page.evaluate(() => window.marionette.energy());
  const shown = Number(await page.locator('#hand').textContent());
  check(energy.hand > 1 && Math.abs(shown - energy.hand) < 2, `the hand's work ${energy.hand} J, shown as ${shown}`);
  const turnedOver = energy.dissipated + Math.abs(energy.hand) + Math.abs(energy.supplied);
  check(Math.abs(energy.residual) <= 1e-5 * turnedOver,
    `residual ${energy.residual} J against ${turnedOver.toFixed(1)} J turned over`);
  pass(`the hand put in ${energy.hand.toFixed(2)} J; the residual is ${energy.residual.toExponential(2)} J`);

  // Release: the hand lets go and the figure swings back towards its pose.
  await page.mouse.up();
  check((await held()) === null, 'releasing the button did not let go');
  const away = (q) => q.reduce((sum, angle, i) => sum + Math.abs(angle - poseBefore[i]), 0);
  const atRelease = away((await state()).q);
  await afterSteps(2 * stepsPerSecond);
  const later = away((await state()).q);
  check(later < 0.5 * atRelease, `after release the angles went from ${atRelease.toFixed(3)} to ${later.toFixed(3)} rad off the pose`);
  pass(`release lets go; the figure swings back (${atRelease.toFixed(2)} rad off its pose, then ${later.toFixed(2)})`);

  // Leaving the window lets go too.
  await setPaused(true);
  const grabOnce = await segmentCentre(page, rightHand);
  await page.mouse.move(grabOnce.x, grabOnce.y);
  await page.mouse.down();
  check((await held()) !== null, 'could not take hold again');
  await setPaused(false);
  await page.mouse.move(-20, grabOnce.y, { steps: 4 });
  check((await held()) === null, 'leaving the window did not let go');
  await page.mouse.up();
  pass('leaving the window lets go');

  // A fling: 200 random pointer moves in 2 s while holding, here and far
  // off, a third each at real time, in slow motion and as fast as it integrates.
  await setPaused(true);
  const grabAgain = await segmentCentre(page, rightHand);
  await page.mouse.move(grabAgain.x, grabAgain.y);
  await page.mouse.down();
  check((await held()) !== null, 'could not take hold for the fling');
  await setPaused(false);
  let seed = 7;
  const random = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);
  for (let k = 0; k < 200; ++k) {
    if (k % 67 === 0) await page.evaluate((pace) => Module._webSetPace(pace), k / 67);
    await page.mouse.move(box.x - 100 + random() * (box.width + 200), box.y - 100 + random() * (box.height + 200));
    await page.waitForTimeout(10);
  }
  await page.mouse.up();
  await page.evaluate(() => Module._webSetPace(0));
  await afterSteps(stepsPerSecond);
  const flung = await state();
  const flingEnergy = await page.evaluate(() => window.marionette.energy());
  check(finite(flung), 'an angle or a momentum is not finite after the fling');
  check(flung.q.every((q) => Math.abs(q) < 100), `the fling wound a joint up to ${Math.max(...flung.q.map(Math.abs))} rad`);
  pass(`a fling of 200 moves in 2 s, at all three paces, leaves every angle and momentum finite (residual ${flingEnergy.residual.toExponential(2)} J)`);

  // A finger: the DevTools protocol's touch events, through the same pointer events.
  const cdp = await context.newCDPSession(page);
  const touch = (type, points) => cdp.send('Input.dispatchTouchEvent', {
    type, touchPoints: points.map(([x, y], id) => ({ x, y, id })),
  });
  await setPaused(false);
  await reset();
  await page.waitForTimeout(2500);
  await setPaused(true);
  const finger = await segmentCentre(page, rightHand);
  await touch('touchStart', [[finger.x, finger.y]]);
  check((await held()) !== null, 'a finger on the hand did not take hold');
  const target = { x: finger.x + 32, y: finger.y - 32 };
  for (let k = 1; k <= 8; ++k) await touch('touchMove', [[finger.x + 4 * k, finger.y - 4 * k]]);
  // a second finger elsewhere does nothing
  await touch('touchMove', [[target.x, target.y], [blank.x, blank.y]]);
  const withTwo = await held();
  check(distance(withTwo.pointer, { x: target.x - box.x, y: target.y - box.y }) < 1, 'a second finger moved the pull');
  await setPaused(false);
  const touched = await afterSteps(stepsPerSecond);
  const touchGap = distance(touched.held, touched.pointer);
  check(touchGap <= followPixels, `with a finger, after 1 s the held point is ${touchGap.toFixed(2)} px from it`);
  await touch('touchEnd', []);
  check((await held()) === null, 'lifting the finger did not let go');
  pass(`touch: a finger takes hold, a second one does nothing, after 1 s the gap is ${touchGap.toFixed(2)} px; lifting lets go`);

  // A finger beside the figure scrolls the page; one on the figure does not.
  await page.setViewportSize({ width: 1000, height: 450 });
  await page.evaluate(() => window.scrollTo(0, 0));
  const swipe = async (from) => {
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.waitForTimeout(100);
    const start = await page.evaluate(() => window.scrollY);
    await touch('touchStart', [[from.x, from.y]]);
    for (let k = 1; k <= 10; ++k) {
      await touch('touchMove', [[from.x, from.y - 12 * k]]);
      await page.waitForTimeout(16);
    }
    await touch('touchEnd', []);
    await page.waitForTimeout(300);
    return (await page.evaluate(() => window.scrollY)) - start;
  };
  await setPaused(true);
  const beside = { x: box.x + 30, y: box.y + 200 };
  check(await page.evaluate(({ x, y }) => {
    const b = document.getElementById('view').getBoundingClientRect();
    return Module._webSegmentAt(((x - b.left) / b.width) * 2 - 1, 1 - ((y - b.top) / b.height) * 2, 0.06);
  }, beside) === -1, 'the place beside the figure is on it');
  const scrolledBeside = await swipe(beside);
  await page.evaluate(() => window.scrollTo(0, 0));
  const onFigure = await segmentCentre(page, rightHand);
  const scrolledOn = await swipe(onFigure);
  check(scrolledBeside > 40, `a swipe beside the figure scrolled the page by ${scrolledBeside} px`);
  check(scrolledOn === 0, `a swipe on the figure scrolled the page by ${scrolledOn} px`);
  check((await held()) === null, 'the swipe on the figure still holds it after the finger lifted');
  pass(`a swipe beside the figure scrolls the page (${scrolledBeside} px), one on the figure pulls it instead`);

  // A canvas that CSS shows smaller than it draws: the pointer still takes
  // hold of the point under it.
  await page.setViewportSize({ width: 1000, height: 800 });
  await page.evaluate(() => { window.scrollTo(0, 0); Object.assign(document.getElementById('view').style, { width: '300px', height: '300px' }); });
  const smaller = await pickingAgainstPicture();
  check(smaller.painted > 0.93 && smaller.white > 0.93, `picking against the picture shown at 300 px: ${JSON.stringify(smaller)}`);
  const small = await segmentCentre(page, rightHand);
  await page.mouse.move(small.x, small.y);
  await page.mouse.down();
  const scaled = await held();
  await page.mouse.up();
  check(scaled !== null && distance(scaled.held, scaled.pointer) < 1,
    `on a canvas shown at 300 px the held point is not under the pointer: ${JSON.stringify(scaled)}`);
  pass(`on a canvas shown at 300 of its 400 px, picking still matches the picture (${(100 * smaller.painted).toFixed(1)}%, ${(100 * smaller.white).toFixed(1)}%) and the pointer takes hold`);

  check(problems.length === 0, `errors in the console: ${problems.join('; ')}`);
  pass(`no error in the console; the page while pulling is in ${screenshotPath}`);
}

try {
  await main();
  console.log('grab_test: all checks passed');
} catch (error) {
  console.error(`grab_test: FAIL: ${error instanceof Failure ? error.message : error.stack}`);
  process.exitCode = 1;
} finally {
  await context?.close().catch(() => {});
  server?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
}
