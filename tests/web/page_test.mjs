// Drives the web page in Chromium and checks what a viewer and the test
// interface see. Exits 0 when every check passes, 1 at the first failure.
//
// usage: node page_test.mjs PAGE_DIR RUNNER SCREENSHOT.png
//   PAGE_DIR: the built page; RUNNER: the native marionette-sim, whose rows
//   the page's state must equal; SCREENSHOT.png: where the page's picture goes.
import { mkdtempSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { Failure, checks, chromiumOptions, firstDifference, runnerRows, servePage } from './test_kit.mjs';

const [pageDir, runner, screenshotPath] = process.argv.slice(2);
if (!screenshotPath) {
  console.error('usage: node page_test.mjs PAGE_DIR RUNNER SCREENSHOT.png');
  process.exit(2);
}

const timeStep = 0.00015;
let server;
let context;
let profile;

const { pass, check } = checks('page_test');

async function main() {
  server = await servePage(pageDir);
  const url = `http://127.0.0.1:${server.address().port}/`;
  profile = mkdtempSync(path.join(os.tmpdir(), 'marionette-chromium-'));
  context = await chromium.launchPersistentContext(profile, chromiumOptions({ viewport: { width: 1000, height: 800 } }));
  const page = context.pages()[0] ?? await context.newPage();
  const problems = [];
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('requestfailed', (request) => problems.push(`${request.url()}: ${request.failure()?.errorText}`));

  await page.goto(url);
  await page.waitForFunction(() => window.marionette?.ready, null, { timeout: 60000 });
  check(problems.length === 0, `errors while loading: ${problems.join('; ')}`);
  pass('the page loads without an error in the console');

  const canvas = page.locator('#view');
  const button = (name) => page.getByRole('button', { name, exact: true });
  const state = () => page.evaluate(() => window.marionette.state());
  const picture = () => canvas.screenshot();
  // Counts in the page, on a decoded picture: non-white share of a region,
  // or the pixels that clearly differ between two pictures in a region.
  const measure = (png, other, region) => page.evaluate(async ([png, other, [x, y, w, h]]) => {
    const pixels = async (base64) => {
      const bitmap = await createImageBitmap(await (await fetch(`data:image/png;base64,${base64}`)).blob());
      const c = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
      c.drawImage(bitmap, 0, 0);
      return c.getImageData(x, y, w, h).data;
    };
    const a = await pixels(png);
    const b = other ? await pixels(other) : null;
    let count = 0;
    for (let k = 0; k < a.length; k += 4) {
      if (b) count += Math.max(...[0, 1, 2].map((c) => Math.abs(a[k + c] - b[k + c]))) > 25 ? 1 : 0;
      else count += a[k] < 255 || a[k + 1] < 255 || a[k + 2] < 255 ? 1 : 0;
    }
    return b ? count : count / (w * h);
  }, [png.toString('base64'), other?.toString('base64') ?? null, region]);
  // Where to look: the pivot shows at column 200, row 135 of the 400 x 400 view.
  const torsoColumn = [195, 145, 11, 50];
  const headBox = [170, 65, 61, 60];
  const belowHead = [0, 150, 400, 250];
  const leftHalf = [0, 150, 200, 250];
  const rightHalf = [200, 150, 200, 250];

  const first = await picture();
  const torso = await measure(first, null, torsoColumn);
  const head = await measure(first, null, headBox);
  const corners = await measure(first, null, [0, 0, 60, 60]) + await measure(first, null, [340, 0, 60, 60]);
  check(torso > 0.3, `no torso below the pivot (non-white share ${torso})`);
  check(head > 0.1, `no head above the pivot (non-white share ${head})`);
  check(corners === 0, 'the background at the top corners is not white');
  pass(`the torso hangs below the pivot (${torso.toFixed(2)}), the head sits above it (${head.toFixed(2)}), white background`);

  await page.waitForTimeout(1000);
  const changed = await measure(first, await picture(), [0, 0, 400, 400]);
  check(changed > 0, 'the picture did not change in a second');
  pass(`the picture changes over time (${changed} pixels in a second)`);

  // Pause stops the state; Step advances it by exactly 100 steps.
  await button('Pause').click();
  const stopped = await state();
  await page.waitForTimeout(500);
  check(firstDifference(await state(), stopped) === null, 'the state moved while paused');
  check(await button('Resume').count() === 1, 'paused, the Pause button does not read Resume');
  await button('Step').click();
  const stepped = await state();
  check(stepped.step === stopped.step + 100, `Step went from step ${stopped.step} to ${stepped.step}`);
  check(stepped.q.some((q, i) => q !== stopped.q[i]), 'Step left the angles as they were');
  pass('Pause stops the state; Step advances it by 100 steps');

  // Reset: step 0 and the start-up state, still paused.
  await button('Reset').click();
  const start = runnerRows(runner, ['--steps', '2000', '--every', '2000', '--key', '0:down', '--energy']);
  const atReset = await state();
  check(firstDifference(atReset, start[0]) === null, `after Reset: ${firstDifference(atReset, start[0])}`);
  await page.waitForTimeout(300);
  check((await state()).step === 0, 'a paused page did not stay paused after Reset');
  pass('Reset returns to step 0 and the start-up state, and stays paused');

  // Runs from the start-up state: the presses, each followed by Step presses.
  const run = async (presses) => {
    await button('Reset').click();
    for (const [press, steps] of presses) {
      if (press) await press();
      for (let k = 0; k < steps; ++k) await button('Step').click();
    }
    return state();
  };
  const key = (name) => () => page.keyboard.press(name);
  const click = (name) => () => button(name).click();

  const down = await run([[key('ArrowDown'), 20]]);
  check(firstDifference(down, start[1]) === null,
    `after Reset, DOWN and 20 Steps the page and marionette-sim differ: ${firstDifference(down, start[1])}`);
  pass('after Reset, DOWN and 20 Steps all 26 numbers equal marionette-sim --steps 2000 --key 0:down');
  const energy = await page.evaluate(() => window.marionette.energy());
  for (const [term, value] of Object.entries(start[1].energy)) {
    check(Object.is(energy[term], value), `the page's ${term} is ${energy[term]}, marionette-sim --energy's ${value}`);
  }
  check(energy.supplied > 1 && energy.dissipated > 0, `DOWN did no work: ${JSON.stringify(energy)}`);
  pass(`and so do the energy terms of marionette-sim --energy (supplied ${energy.supplied.toFixed(2)} J)`);

  // DOWN and LEFT change the picture against the same time without keys.
  const stillPicture = (await run([[null, 30]]), await picture());
  const downPicture = (await run([[key('ArrowDown'), 30]]), await picture());
  const leftPicture = (await run([[key('ArrowLeft'), 30]]), await picture());
  const byDown = await measure(stillPicture, downPicture, belowHead);
  const byLeft = await measure(stillPicture, leftPicture, belowHead);
  check(byDown > 1000, `DOWN changed only ${byDown} pixels below the head`);
  check(byLeft > 1000, `LEFT changed only ${byLeft} pixels below the head`);
  const leftShare = await measure(leftPicture, null, leftHalf);
  const rightShare = await measure(leftPicture, null, rightHalf);
  check(leftShare > rightShare, `after LEFT the figure does not lean left (${leftShare} against ${rightShare})`);
  pass(`DOWN and LEFT change the picture (${byDown} and ${byLeft} pixels); LEFT leans it left`);

  // The buttons work as the keys, and both as the runner's keys.
  const schedule = [['Right', 5], ['Down', 5], ['Up', 5], ['Left', 5]];
  const byKeys = await run(schedule.map(([name, steps]) => [key(`Arrow${name}`), steps]));
  const byButtons = await run(schedule.map(([name, steps]) => [click(name), steps]));
  const scheduled = runnerRows(runner, ['--steps', '2000', '--every', '0', '--key', '0:right', '--key', '500:down',
    '--key', '1000:up', '--key', '1500:left'])[0];
  check(firstDifference(byKeys, scheduled) === null, `keys against marionette-sim: ${firstDifference(byKeys, scheduled)}`);
  check(firstDifference(byButtons, scheduled) === null,
    `buttons against marionette-sim: ${firstDifference(byButtons, scheduled)}`);
  check((await page.locator('#torques').textContent()) === 'torso left', 'the readout does not show the torso torque');
  pass('the buttons Right, Down, Up and Left act as the arrow keys, both as marionette-sim\'s keys');

  // Paces: simulated time against the page's clock. A busy machine can only
  // make a pace late (a frame that comes over 100 ms late is forgiven, not
  // made up), never early: a pace that misses is measured again, up to three
  // times, and a wrong rate misses every time.
  const pace = async (name, seconds, within) => {
    let measured;
    for (let attempt = 1; attempt <= 3; ++attempt) {
      await button(name).click();
      await button('Reset').click();
      if ((await button('Resume').count()) > 0) await button('Resume').click();
      await page.waitForTimeout(500);
      const [t0, s0] = await page.evaluate(() => [performance.now(), window.marionette.state().step]);
      await page.waitForTimeout(seconds * 1000);
      const [t1, s1] = await page.evaluate(() => [performance.now(), window.marionette.state().step]);
      const stepsPerSecond = (s1 - s0) / ((t1 - t0) / 1000);
      measured = { stepsPerSecond, ratio: stepsPerSecond * timeStep, tries: attempt === 1 ? '' : ` (try ${attempt})` };
      if (within(measured.ratio)) break;
    }
    return measured;
  };
  const nearRealTime = (ratio) => Math.abs(ratio - 1) <= 0.1;
  const nearQuarter = (ratio) => Math.abs(ratio / 0.25 - 1) <= 0.1;
  const realTime = await pace('Real time', 5, nearRealTime);
  check(nearRealTime(realTime.ratio), `at real time simulated time ran ${realTime.ratio.toFixed(3)} x wall-clock time`);
  pass(`real time: ${Math.round(realTime.stepsPerSecond)} steps/s, ${realTime.ratio.toFixed(3)} x wall-clock time${realTime.tries}`);
  const slow = await pace('Slow motion (1/4)', 4, nearQuarter);
  check(nearQuarter(slow.ratio), `in slow motion simulated time ran ${slow.ratio.toFixed(3)} x wall-clock time`);
  pass(`slow motion: ${Math.round(slow.stepsPerSecond)} steps/s, ${slow.ratio.toFixed(3)} x wall-clock time${slow.tries}`);
  const fasterThanRealTime = (ratio) => ratio > 1;
  const fastest = await pace('As fast as it integrates', 4, fasterThanRealTime);
  check(fasterThanRealTime(fastest.ratio), `as fast as it integrates ran only ${fastest.ratio.toFixed(3)} x wall-clock time`);
  pass(`as fast as it integrates: ${Math.round(fastest.stepsPerSecond)} steps/s, ${fastest.ratio.toFixed(2)} x wall-clock time${fastest.tries}`);

  // A picture of the page for the README: DOWN switched on, in real time.
  await button('Real time').click();
  await button('Reset').click();
  await page.keyboard.press('ArrowDown');
  await page.waitForTimeout(2500);
  await page.screenshot({ path: screenshotPath });
  check(problems.length === 0, `errors in the console: ${problems.join('; ')}`);
  pass(`no error in the console; the page's picture is in ${screenshotPath}`);
}

try {
  await main();
  console.log('page_test: all checks passed');
} catch (error) {
  console.error(`page_test: FAIL: ${error instanceof Failure ? error.message : error.stack}`);
  process.exitCode = 1;
} finally {
  await context?.close().catch(() => {});
  server?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
}
