// Opens the one-file page (marionette.html) from disk in Chromium, alone in
// an empty folder, and checks that it is the page: it loads without an error
// and fetches nothing, draws and moves the figure, takes a key, and gives the
// runner's numbers exactly. Exits 0 when every check passes, 1 at the first
// failure.
//
// usage: node onefile_test.mjs PAGE_DIR RUNNER SCREENSHOT.png
//   PAGE_DIR: the built page, marionette.html among it; RUNNER: the native
//   marionette-sim; SCREENSHOT.png: where the one-file page's picture goes.
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, statSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';
import { Failure, checks, chromiumOptions, firstDifference, runnerOutput, runnerRows } from './test_kit.mjs';

const [pageDir, runner, screenshotPath] = process.argv.slice(2);
if (!screenshotPath) {
  console.error('usage: node onefile_test.mjs PAGE_DIR RUNNER SCREENSHOT.png');
  process.exit(2);
}

const sizeLimit = 600 * 1000;  // bytes
const root = path.join(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
let context;
let folder;

const { pass, check } = checks('onefile_test');

async function main() {
  // The file: its size, and the same bytes when packed again.
  const built = path.join(pageDir, 'marionette.html');
  const size = statSync(built).size;
  check(size <= sizeLimit, `marionette.html has ${size} bytes, more than ${sizeLimit}`);
  folder = mkdtempSync(path.join(os.tmpdir(), 'marionette-onefile-'));
  const again = path.join(folder, 'again.html');
  execFileSync('node', [path.join(root, 'tools', 'one_file_page.mjs'), pageDir, again]);
  check(readFileSync(again).equals(readFileSync(built)), 'packing the page again gave other bytes');
  rmSync(again);
  pass(`marionette.html has ${size} bytes (at most ${sizeLimit}), the same when packed again`);

  // Alone in a folder of its own, opened from disk, with a fragment of its own.
  const alone = path.join(folder, 'marionette.html');
  copyFileSync(built, alone);
  const url = `${pathToFileURL(alone).href}#onefile-check`;
  context = await chromium.launchPersistentContext(path.join(folder, 'profile'), chromiumOptions({ viewport: { width: 1000, height: 800 } }));
  const page = context.pages()[0] ?? await context.newPage();
  const problems = [];
  const fetched = [];  // every request but the page itself, data: URLs and blob: URLs (its own bytes)
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('requestfailed', (request) => problems.push(`${request.url()}: ${request.failure()?.errorText}`));
  page.on('request', (request) => {
    const asked = request.url();
    if (!/^(data|blob):/.test(asked) && asked.split('#')[0] !== url.split('#')[0]) fetched.push(asked);
  });

  // Ready, or the page says why not.
  await page.goto(url);
  await page.waitForFunction(() => window.marionette?.ready || document.querySelector('#status.failed'), null,
    { timeout: 60000 });
  check(problems.length === 0, `errors while loading: ${problems.join('; ')}`);
  check(await page.evaluate(() => window.marionette.ready), `not ready: ${await page.locator('#status').textContent()}`);
  check(fetched.length === 0, `the page asked for other files: ${fetched.join(', ')}`);
  check(await page.evaluate(() => location.hash) === '#onefile-check', 'the page lost its fragment');
  pass('opened alone from file://, it loads without an error, asks for no other file and keeps its fragment');

  // The pictures drawn: the torso below the pivot, non-white; and it moves.
  const canvas = page.locator('#view');
  const nonWhite = (png) => page.evaluate(async (base64) => {
    const bitmap = await createImageBitmap(await (await fetch(`data:image/png;base64,${base64}`)).blob());
    const c = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
    c.drawImage(bitmap, 0, 0);
    const data = c.getImageData(195, 145, 11, 50).data;  // the torso's column under the pivot
    let count = 0;
    for (let k = 0; k < data.length; k += 4) count += data[k] < 255 || data[k + 1] < 255 || data[k + 2] < 255 ? 1 : 0;
    return count / (data.length / 4);
  }, png.toString('base64'));
  const state = () => page.evaluate(() => window.marionette.state());
  const first = await canvas.screenshot();
  const before = await state();
  await page.waitForTimeout(1000);
  const later = await canvas.screenshot();
  const after = await state();
  const torso = await nonWhite(first);
  check(torso > 0.3, `no torso below the pivot (non-white share ${torso})`);
  check(after.step > before.step, `the state stayed at step ${before.step}`);
  check(!first.equals(later), 'the picture did not change in a second');
  pass(`the figure is drawn (torso ${torso.toFixed(2)}) and moves (${after.step - before.step} steps between two pictures a second apart)`);

  // A key: DOWN switches the limbs' torques on.
  await page.keyboard.press('ArrowDown');
  const torques = await page.locator('#torques').textContent();
  check(torques === 'arms and legs', `after DOWN the torques on are "${torques}"`);
  pass('the DOWN key switches the limbs\' torques on');

  // Reset, DOWN and 20 Steps: the runner's numbers.
  const button = (name) => page.getByRole('button', { name, exact: true });
  await button('Pause').click();
  await button('Reset').click();
  await page.keyboard.press('ArrowDown');
  for (let k = 0; k < 20; ++k) await button('Step').click();
  const down = await state();
  const expected = runnerRows(runner, ['--steps', '2000', '--every', '2000', '--key', '0:down'])[1];
  check(firstDifference(down, expected) === null,
    `after Reset, DOWN and 20 Steps the one-file page and marionette-sim differ: ${firstDifference(down, expected)}`);
  pass('after Reset, DOWN and 20 Steps all 26 numbers equal marionette-sim --steps 2000 --key 0:down');

  // Download data from disk: computed by a worker the page makes of itself, the runner's bytes.
  const saved = async (name, file) => {
    const [download] = await Promise.all([page.waitForEvent('download'), button(name).click()]);
    await download.saveAs(path.join(folder, file));
    return path.join(folder, file);
  };
  const sessionFile = await saved('Save session', 'session.txt');
  const data = readFileSync(await saved('Download data', 'data.csv'));
  check(data.equals(runnerOutput(runner, ['--session', sessionFile, '--every', '100', '--energy'])),
    'Download data on the one-file page differs from marionette-sim --session --every 100 --energy');
  pass(`Download data from disk equals marionette-sim --session --every 100 --energy (${data.length} bytes)`);

  // A session link to the file itself replays, from disk, in a fresh page.
  if (await button('Share').count() === 0) {
    console.log('onefile_test: skipped: the page has no Share button, so no session link to open');
  } else {
    const numbers = (on) => on.evaluate(() => ({ ...window.marionette.state(), energy: window.marionette.energy(),
      session: window.marionette.session() }));
    const made = await numbers(page);
    await button('Share').click();
    await page.waitForFunction(() => document.getElementById('share-link').value !== '');
    const link = await page.locator('#share-link').inputValue();
    check(link.startsWith(`${url.split('#')[0]}#session=`), `Share gave '${link.slice(0, 80)}'`);
    const fresh = await context.newPage();
    fresh.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
    fresh.on('pageerror', (error) => problems.push(error.message));
    await fresh.goto(link);
    await fresh.waitForFunction(() => window.marionette?.ready, null, { timeout: 60000 });
    await fresh.getByRole('button', { name: 'As fast as it integrates', exact: true }).click();
    await fresh.waitForFunction(() => !window.marionette.session().replaying && Module._webPaused() === 1, null,
      { timeout: 60000 });
    const replayed = await numbers(fresh);
    check(replayed.session.step === made.session.step, `the link replayed to step ${replayed.session.step}, ` +
      `not ${made.session.step}`);
    check(firstDifference(replayed, made) === null, `the link's replay against the page: ${firstDifference(replayed, made)}`);
    for (const [term, value] of Object.entries(made.energy)) {
      check(Object.is(replayed.energy[term], value), `the replay's ${term} is ${replayed.energy[term]}, the page's ${value}`);
    }
    await fresh.close();
    pass(`a Share link of ${link.length} characters to the file replays from disk in a fresh page to the same ` +
      '26 numbers and energy terms');
  }

  // Its picture, in real time with DOWN on.
  await button('Resume').click();
  await page.waitForTimeout(1500);
  await page.screenshot({ path: screenshotPath, fullPage: true });
  check(problems.length === 0, `errors in the console: ${problems.join('; ')}`);
  check(fetched.length === 0, `the page asked for other files: ${fetched.join(', ')}`);
  pass(`no error in the console; the one-file page's picture is in ${screenshotPath}`);
}

try {
  await main();
  console.log('onefile_test: all checks passed');
} catch (error) {
  console.error(`onefile_test: FAIL: ${error instanceof Failure ? error.message : error.stack}`);
  process.exitCode = 1;
} finally {
  await context?.close().catch(() => {});
  if (folder) rmSync(folder, { recursive: true, force: true });
}
