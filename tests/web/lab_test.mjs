// The web page as a physics lab, in Chromium: the knobs against the runner's
// options, the energy books through knob changes, the live graph, the phone
// layout, the size of a cold load, and the keys the page leaves alone.
// Exits 0 when every check passes, 1 at the first failure.
//
// usage: node lab_test.mjs PAGE_DIR RUNNER WORK_DIR
//   PAGE_DIR: the built page; RUNNER: the native marionette-sim; WORK_DIR:
//   where the desktop and phone screenshots (lab_desktop.png, lab_phone.png) go.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { Failure, checks, chromiumOptions, firstDifference, runnerRows } from './test_kit.mjs';

const [pageDir, runner, workDir] = process.argv.slice(2);
if (!workDir) {
  console.error('usage: node lab_test.mjs PAGE_DIR RUNNER WORK_DIR');
  process.exit(2);
}

const coldLoadLimit = 250 * 1024;  // bytes a first visit may move
let server;
let browser;
let profile;

const { pass, check } = checks('lab_test');

// The page served as a user serves it, by Python's plain file server on a free port.
function servePage() {
  return new Promise((resolve, reject) => {
    const child = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', pageDir],
      { stdio: ['ignore', 'pipe', 'ignore'] });
    let text = '';
    child.stdout.on('data', (chunk) => {
      text += chunk;
      const port = /port (\d+)/.exec(text)?.[1];
      if (port) resolve({ child, url: `http://127.0.0.1:${port}/` });
    });
    child.on('exit', () => reject(new Error('python3 -m http.server ended')));
  });
}

async function newPage(options) {
  const context = await browser.newContext(options);
  const page = await context.newPage();
  const problems = [];
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  page.on('pageerror', (error) => problems.push(error.message));
  return { context, page, problems };
}

async function main() {
  server = await servePage();
  const url = server.url;
  profile = mkdtempSync(path.join(os.tmpdir(), 'marionette-lab-'));
  browser = await chromium.launch(chromiumOptions());

  // A cold load: every byte on the wire, and the time to ready on a slow
  // phone link (1.6 Mbit/s down, 150 ms latency), which is reported, not held
  // to a limit: timings belong in measurements, not in tests.
  {
    const { context, page } = await newPage({ viewport: { width: 390, height: 844 } });
    const cdp = await context.newCDPSession(page);
    await cdp.send('Network.enable');
    await cdp.send('Network.setCacheDisabled', { cacheDisabled: true });
    await cdp.send('Network.emulateNetworkConditions',
      { offline: false, latency: 150, downloadThroughput: 1.6e6 / 8, uploadThroughput: 750e3 / 8 });
    let bytes = 0;
    const files = [];
    cdp.on('Network.loadingFinished', (event) => { bytes += event.encodedDataLength; });
    cdp.on('Network.responseReceived', (event) => files.push(path.basename(new URL(event.response.url).pathname) || '/'));
    await page.goto(url);
    await page.waitForFunction(() => window.marionette?.ready, null, { timeout: 60000, polling: 50 });
    const readyMs = await page.evaluate(() => performance.now());
    await page.waitForTimeout(500);
    check(bytes <= coldLoadLimit, `a cold load moved ${bytes} bytes, more than ${coldLoadLimit}: ${files.join(', ')}`);
    pass(`a cold load from python3 -m http.server moves ${bytes} bytes in ${files.length} files ` +
      `(at most ${coldLoadLimit}); at 1.6 Mbit/s and 150 ms the page was ready after ${Math.round(readyMs)} ms`);
    await context.close();
  }

  const { context, page, problems } = await newPage({ viewport: { width: 1280, height: 800 } });
  await page.goto(`${url}?paused`);
  await page.waitForFunction(() => window.marionette?.ready, null, { timeout: 60000 });
  const button = (name) => page.getByRole('button', { name, exact: true });
  const state = () => page.evaluate(() => ({ ...window.marionette.state(), energy: window.marionette.energy() }));
  const steps = async (count) => { for (let k = 0; k < count; ++k) await button('Step').click(); };
  const knob = (id, value) => page.locator(`#knob-${id}`).fill(String(value));

  // Knobs set before the first step: the page equals the runner with the same
  // options, energy terms included; Defaults brings back the standard run.
  const standard = runnerRows(runner, ['--steps', '2000', '--every', '0', '--key', '0:down', '--energy'])[0];
  await knob('gravity', 3.71);
  await knob('stiffness', 2);
  await knob('damping', 0.5);
  await knob('torque', 250);
  check((await page.locator('#knob-torque-value').textContent()) === '250 N\u00b7m', 'the torque knob does not show 250 N·m');
  const chosen = () => page.locator('[data-gravity][aria-pressed="true"]').allTextContents();
  check((await chosen()).join() === 'Mars', `at 3.71 m/s² the planets chosen are [${await chosen()}]`);
  await button('Reset').click();
  await page.keyboard.press('ArrowDown');
  await steps(20);
  const knobbed = await state();
  const options = runnerRows(runner, ['--steps', '2000', '--every', '0', '--key', '0:down', '--energy',
    '--gravity', '3.71', '--stiffness', '2', '--damping', '0.5', '--torque', '250'])[0];
  check(firstDifference(knobbed, options) === null, `page and marionette-sim with the same knobs: ${firstDifference(knobbed, options)}`);
  check(knobbed.q.every((q, i) => q !== standard.q[i]), 'the knobs left an angle as it was');
  await button('Defaults').click();
  await button('Reset').click();
  await page.keyboard.press('ArrowDown');
  await steps(20);
  const restored = await state();
  check(firstDifference(restored, standard) === null, `after Defaults: ${firstDifference(restored, standard)}`);
  pass('knobs set before the first step: page and marionette-sim --gravity 3.71 --stiffness 2 --damping 0.5 ' +
    '--torque 250 agree in all 26 numbers and the energy terms after 2,000 steps; every angle moved; ' +
    'Defaults gives the standard run\'s bytes');

  // Knobs turned during a run: the books stay closed, and the runner's --knob
  // schedule gives the same numbers.
  const script = [
    [() => page.keyboard.press('ArrowDown'), null],
    [() => button('Jupiter').click(), '500:gravity=24.79'],
    [() => knob('stiffness', 3), '1000:stiffness=3'],
    [() => knob('damping', 0.2), '1500:damping=0.2'],
    [async () => { await knob('torque', 300); await button('Left').click(); }, '2000:torque=300'],
    [() => button('Moon').click(), '2500:gravity=1.62'],
    [() => knob('stiffness', 0), '3000:stiffness=0'],
    [() => button('Defaults').click(), null],
  ];
  await button('Reset').click();
  // turned over: the largest change of the stored energy, what the damping
  // took out, the keys put in and the knobs moved
  let worst = 0;
  let largestChange = 0;
  let knobsMoved = 0;
  let start = null;
  for (const [act] of script) {
    const knobsBefore = (await state()).energy.knobs;
    await act();
    knobsMoved += Math.abs((await state()).energy.knobs - knobsBefore);
    for (let k = 0; k < 5; ++k) {
      await steps(1);
      const { energy } = await state();
      const stored = energy.kinetic + energy.gravity + energy.spring;
      start ??= stored;
      worst = Math.max(worst, Math.abs(energy.residual));
      largestChange = Math.max(largestChange, Math.abs(stored - start));
    }
  }
  const scripted = await state();
  const knobArgs = script.map(([, change]) => change).filter(Boolean).flatMap((change) => ['--knob', change]);
  const defaultsArgs = ['gravity=9.80665', 'stiffness=1', 'damping=1', 'torque=100'].flatMap((c) => ['--knob', `3500:${c}`]);
  const scheduled = runnerRows(runner, ['--steps', '4000', '--every', '0', '--key', '0:down', '--key', '2000:left', '--energy',
    ...knobArgs, ...defaultsArgs])[0];
  check(firstDifference(scripted, scheduled) === null, `knobs turned during a run: ${firstDifference(scripted, scheduled)}`);
  const turnedOver = largestChange + scripted.energy.dissipated + Math.abs(scripted.energy.supplied) + knobsMoved;
  check(knobsMoved > 100, `the knobs moved only ${knobsMoved} J`);
  check(worst <= 1e-5 * turnedOver, `the residual reached ${worst} J of ${turnedOver} J turned over`);
  pass(`knobs turned during a run: the page equals marionette-sim --knob ...; the largest |residual| ${worst.toExponential(2)} J ` +
    `of ${turnedOver.toFixed(0)} J turned over (limit 1e-5 of it)`);

  // The graph: drawn, and changing while the figure moves.
  const graphPixels = () => page.evaluate(() => {
    const c = document.querySelector('#graph canvas');
    const data = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let inked = 0;
    let hash = 0;
    for (let k = 0; k < data.length; k += 4) {
      if (data[k + 3] > 0) ++inked;
      hash = (hash * 31 + data[k] + data[k + 1] * 7 + data[k + 3] * 13) | 0;
    }
    return { inked, hash, width: c.width };
  });
  await button('Reset').click();
  await button('Resume').click();
  await page.waitForTimeout(1500);
  const early = await graphPixels();
  await page.waitForTimeout(1000);
  const later = await graphPixels();
  check(early.inked > 2000, `the graph is nearly blank (${early.inked} pixels drawn)`);
  check(early.hash !== later.hash, 'the graph did not change in a second');
  await page.getByLabel('Angles (rad)').check();
  await button('Pause').click();
  const paused = await graphPixels();
  await page.waitForTimeout(600);
  check((await graphPixels()).hash === paused.hash, 'the graph changed while paused');
  await button('Resume').click();
  await page.waitForTimeout(2500);
  await page.screenshot({ path: path.join(workDir, 'lab_desktop.png') });
  pass(`the graph draws (${early.inked} pixels), moves with the figure, and stands still while paused`);

  // Keys: only the arrows are the page's, and not in a slider.
  const dispatched = (key, keyCode, selector) => page.evaluate(([key, keyCode, selector]) => {
    const target = selector ? document.querySelector(selector) : document.body;
    target.focus?.();
    const event = new KeyboardEvent('keydown', { key, code: key, keyCode, bubbles: true, cancelable: true });
    target.dispatchEvent(event);
    return event.defaultPrevented;
  }, [key, keyCode, selector]);
  for (const [key, code] of [['F5', 116], ['PageDown', 34], ['PageUp', 33], ['Home', 36], ['End', 35],
    ['Backspace', 8], ['Delete', 46], ['F11', 122], ['F12', 123], ['Shift', 16], ['Control', 17], ['a', 65]]) {
    check(!(await dispatched(key, code, null)), `${key} was cancelled by the page`);
  }
  for (const [key, code] of [['ArrowLeft', 37], ['ArrowUp', 38], ['ArrowRight', 39], ['ArrowDown', 40]]) {
    check(await dispatched(key, code, null), `${key} was not taken by the page`);
  }
  const torquesBefore = await page.locator('#torques').textContent();
  check(!(await dispatched('ArrowLeft', 37, '#knob-gravity')), 'an arrow on the gravity slider was cancelled');
  check((await page.locator('#torques').textContent()) === torquesBefore, 'an arrow on a slider switched a torque');
  pass('F5, PageUp/Down, Home, End, Backspace, Delete, F11, F12, modifiers and letters are left to the browser; ' +
    'the arrows are the page\'s, except in a slider');

  // A hidden tab: the speed readout says why the figure waits.
  await page.evaluate(() => {
    Object.defineProperty(document, 'hidden', { configurable: true, get: () => true });
    document.dispatchEvent(new Event('visibilitychange'));
  });
  const hiddenSpeed = await page.locator('#speed').textContent();
  check(/hidden/.test(hiddenSpeed), `a hidden tab's speed readout says '${hiddenSpeed}'`);
  pass(`a hidden tab's speed readout says '${hiddenSpeed}'`);
  check(problems.length === 0, `errors in the console: ${problems.join('; ')}`);
  await context.close();

  // A phone: no sideways panning, nothing cut off, a sharp canvas, buttons that stay put.
  {
    const { context, page, problems } = await newPage({ viewport: { width: 390, height: 844 }, deviceScaleFactor: 3,
      isMobile: true, hasTouch: true });
    await page.goto(url);
    await page.waitForFunction(() => window.marionette?.ready, null, { timeout: 60000 });
    const layout = () => page.evaluate(() => {
      const overflowing = [...document.querySelectorAll('td, output, button, th, label, legend')]
        .filter((e) => e.scrollWidth > e.clientWidth + 1 || e.getBoundingClientRect().right > innerWidth)
        .map((e) => e.id || e.textContent.trim().slice(0, 20));
      const canvas = document.getElementById('view');
      const box = canvas.getBoundingClientRect();
      const buttons = [...document.querySelectorAll('button')].map((b) => {
        const r = b.getBoundingClientRect();
        return `${b.id || b.textContent} ${r.left},${r.top},${r.width},${r.height}`;
      });
      return { scrollWidth: document.documentElement.scrollWidth, viewport: innerWidth, overflowing, buttons,
        buffer: [canvas.width, canvas.height], css: [box.width, box.height], ratio: devicePixelRatio };
    });
    const before = await layout();
    check(before.scrollWidth === before.viewport, `the page is ${before.scrollWidth} px wide on a ${before.viewport} px screen`);
    check(before.overflowing.length === 0, `cut off or overflowing: ${before.overflowing.join(', ')}`);
    check(before.buffer[0] === Math.round(before.css[0] * before.ratio) && before.buffer[1] === Math.round(before.css[1] * before.ratio),
      `the canvas draws ${before.buffer} pixels for ${before.css} CSS pixels at ratio ${before.ratio}`);
    await page.getByRole('button', { name: 'Down', exact: true }).tap();
    await page.getByRole('button', { name: 'Left', exact: true }).tap();
    await page.waitForTimeout(600);
    const after = await layout();
    check(await page.locator('#torques').textContent() === 'arms and legs, torso left', 'the taps did not switch the torques');
    check(after.buttons.every((rect, k) => rect === before.buttons[k]), `a button moved when the torques switched on: ${after.buttons.filter((rect, k) => rect !== before.buttons[k]).join('; ')}`);
    check(after.overflowing.length === 0, `cut off with torques on: ${after.overflowing.join(', ')}`);
    await page.waitForTimeout(2000);
    await page.screenshot({ path: path.join(workDir, 'lab_phone.png') });
    check(problems.length === 0, `errors in the console: ${problems.join('; ')}`);
    pass(`at 390 x 844 the page is ${after.scrollWidth} px wide, nothing overflows, the canvas draws ` +
      `${after.buffer.join(' x ')} pixels at ratio 3, and no button moves when the torques switch on`);
    await context.close();
  }
}

try {
  await main();
  console.log('lab_test: all checks passed');
} catch (error) {
  console.error(`lab_test: FAIL: ${error instanceof Failure ? error.message : error.stack}`);
  process.exitCode = 1;
} finally {
  await browser?.close().catch(() => {});
  server?.child.kill();
  if (profile) rmSync(profile, { recursive: true, force: true });
}
