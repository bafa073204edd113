// Long work beside the live figure, in Chromium: a session of about two
// million steps made as fast as it integrates; Download data computed in a
// worker while the figure runs on at real time and takes a key, the file
// the runner's bytes; Cancel ends the worker; a link of the session plays at
// the pace it was made at, and Jump to the end reaches the runner's
// numbers; a file refused after a finished replay leaves a fresh figure
// running. Exits 0 when every check passes, 1 at the first failure.
//
// usage: node long_work_test.mjs PAGE_DIR RUNNER WORK_DIR
//   PAGE_DIR: the built page; RUNNER: the native marionette-sim; WORK_DIR:
//   where the session and its data go.
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { Failure, checks, chromiumOptions, csvRows, firstDifference, runnerOutput, servePage } from './test_kit.mjs';

const [pageDir, runner, workDir] = process.argv.slice(2);
if (!workDir) {
  console.error('usage: node long_work_test.mjs PAGE_DIR RUNNER WORK_DIR');
  process.exit(2);
}

const sessionSteps = 2000000;
const leastSpeed = 0.9;  // of real time, for the live figure while the data is computed
let server;
let browser;
const problems = [];
const { pass, check } = checks('long_work_test');

async function newPage() {
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 }, acceptDownloads: true });
  const page = await context.newPage();
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(url);
  await page.waitForFunction(() => window.marionette?.ready, null, { timeout: 60000 });
  return { context, page };
}

let url;
const button = (page, name) => page.getByRole('button', { name, exact: true });
const session = (page) => page.evaluate(() => ({ ...window.marionette.session(), paused: Module._webPaused() === 1 }));
const live = (page) => page.evaluate(() => ({ taken: Module._webStepsTaken(), at: performance.now() }));

async function main() {
  server = await servePage(pageDir);
  url = `http://127.0.0.1:${server.address().port}/`;
  browser = await chromium.launch(chromiumOptions());

  // A session made as fast as it integrates: keys and a knob on the way.
  const { page } = await newPage();
  await button(page, 'As fast as it integrates').click();
  await page.keyboard.press('ArrowDown');
  await page.waitForFunction((s) => window.marionette.session().step >= s, sessionSteps / 3, { timeout: 120000 });
  await button(page, 'Mars').click();
  await page.keyboard.press('ArrowLeft');
  await page.waitForFunction((s) => window.marionette.session().step >= s, sessionSteps, { timeout: 120000 });
  await button(page, 'Real time').click();
  await button(page, 'Pause').click();
  const made = await page.evaluate(() => ({ ...window.marionette.state(), energy: window.marionette.energy(),
    session: window.marionette.session() }));
  const saved = path.join(workDir, 'long_session.txt');
  const [sessionFile] = await Promise.all([page.waitForEvent('download'), button(page, 'Save session').click()]);
  await sessionFile.saveAs(saved);
  await button(page, 'Share').click();
  await page.waitForFunction(() => document.getElementById('share-link').value !== '');
  const link = await page.locator('#share-link').inputValue();

  // Download data, then Resume: the figure runs on at real time and takes
  // a key while the worker computes, and the file is the runner's.
  const workers = [];
  page.on('worker', (worker) => workers.push(worker));
  const before = await live(page);
  const [data] = await Promise.all([page.waitForEvent('download', { timeout: 120000 }), (async () => {
    await button(page, 'Download data').click();
    await button(page, 'Resume').click();
    await page.waitForFunction(() => /^Computing the data: [1-9][\d,]* of [\d,]+ steps$/
      .test(document.getElementById('data-note').textContent), null, { timeout: 30000, polling: 50 });
    await page.keyboard.press('ArrowUp');
    check(await page.evaluate(() => Module._webLimbTorqueMode() === 0), 'the figure took no key while the data was computed');
  })()]);
  const after = await live(page);
  const csv = path.join(workDir, 'long_data.csv');
  await data.saveAs(csv);
  // A busy machine can only make the figure late, never early: a speed short
  // of leastSpeed is measured again over another Download data (of the
  // session as it now stands), up to twice more; a figure that the worker
  // holds back misses every time.
  const timeStep = await page.evaluate(() => Module._webTimeStep());
  const speedOf = (from, to) => ((to.taken - from.taken) * timeStep) / ((to.at - from.at) / 1000);
  let speed = speedOf(before, after);
  let tries = 1;
  for (; speed < leastSpeed && tries < 3; ++tries) {
    const from = await live(page);
    await Promise.all([page.waitForEvent('download', { timeout: 120000 }), button(page, 'Download data').click()]);
    speed = speedOf(from, await live(page));
  }
  const runnerCsv = runnerOutput(runner, ['--session', saved, '--every', '100', '--energy']);
  check(readFileSync(csv).equals(runnerCsv), `Download data of ${made.session.step} steps differs from marionette-sim --session ` +
    '--every 100 --energy');
  check(speed >= leastSpeed, `the live figure ran at ${speed.toFixed(3)} x real time while the data was computed (${tries} tries)`);
  check(workers.length === tries && page.workers().length === 0, `${workers.length} workers, ${page.workers().length} still there`);
  pass(`Download data of a ${made.session.step}-step session made as fast as it integrates equals marionette-sim --session ` +
    `--every 100 --energy (${runnerCsv.length} bytes), computed in a worker, which then ended, in ` +
    `${((after.at - before.at) / 1000).toFixed(1)} s while the figure ran at ${speed.toFixed(3)} x real time` +
    `${tries > 1 ? ` (on try ${tries})` : ''} and took a key`);

  // Cancel: the worker ends at once, and nothing is downloaded.
  let downloads = 0;
  page.on('download', () => { ++downloads; });
  await button(page, 'Download data').click();
  await page.waitForFunction(() => /Computing the data: [1-9]/.test(document.getElementById('data-note').textContent),
    null, { timeout: 30000, polling: 50 });
  check(page.workers().length === 1, `${page.workers().length} workers compute the data`);
  const closed = new Promise((resolve) => page.workers()[0].once('close', resolve));
  await button(page, 'Cancel').click();
  await Promise.race([closed, page.waitForTimeout(5000)]);
  await page.waitForTimeout(500);
  check(page.workers().length === 0 && downloads === 0, `after Cancel ${page.workers().length} workers, ${downloads} downloads`);
  check(await page.locator('#data-note').textContent() === 'Download data cancelled.' &&
    await page.locator('#data').isEnabled(), 'after Cancel the page does not say so, or Download data stays off');
  pass('Cancel ends the worker (and so its memory) at once, and nothing is downloaded');

  // The session's link plays as fast as it integrates, as it was made;
  // chosen real time instead, Jump to the end reaches the runner's last row.
  const viewer = await newPage();
  await viewer.page.goto(link);
  await viewer.page.waitForFunction(() => window.marionette.session().replaying, null, { timeout: 30000 });
  check(await viewer.page.locator('#fastest').getAttribute('aria-pressed') === 'true',
    'the link does not play as fast as it integrates, the pace it was made at');
  await button(viewer.page, 'Real time').click();
  await button(viewer.page, 'Jump to the end').click();
  await viewer.page.waitForFunction(() => /Replayed to its end/.test(document.getElementById('replay-text').textContent),
    null, { timeout: 60000 });
  const jumped = await viewer.page.evaluate(() => ({ ...window.marionette.state(), energy: window.marionette.energy(),
    session: window.marionette.session(), paused: Module._webPaused() === 1, taken: Module._webStepsTaken() }));
  const expected = csvRows(runnerCsv.toString()).at(-1);
  // The worker computed the jump: the page itself, running at real time
  // (and as fast as it integrates before that) while the worker did, took
  // fewer than half the session's steps. How many fewer depends on how busy
  // the machine is: on a loaded one the worker's 2 million steps take half a
  // minute, and the page takes 200,000 steps of its own meanwhile.
  check(jumped.session.step === made.session.step && jumped.paused && jumped.taken < made.session.step / 2,
    `Jump to the end stood at step ${jumped.session.step} of ${made.session.step}, paused ${jumped.paused}, ` +
    `after ${jumped.taken} steps on the page`);
  check(firstDifference(jumped, made, { compareSteps: false }) === null,
    `the jump against the page that made the session: ${firstDifference(jumped, made, { compareSteps: false })}`);
  check(firstDifference(jumped, expected, { compareSteps: false }) === null,
    `the jump against the runner: ${firstDifference(jumped, expected, { compareSteps: false })}`);
  pass(`a link plays at the pace it was made at; Jump to the end stands at step ${jumped.session.step} with the ` +
    `runner's 26 numbers and energy terms (the page itself had taken ${jumped.taken} steps)`);

  // A file refused after a finished replay: a fresh figure, running.
  const open = (body) => viewer.page.locator('#open-file').setInputFiles({ name: 's.txt', mimeType: 'text/plain', buffer: Buffer.from(body) });
  await button(viewer.page, 'As fast as it integrates').click();
  await button(viewer.page, 'Resume').click();
  await open('marionette-session 1\n0 key down\n3000 end\n');
  await viewer.page.waitForFunction(() => /Replayed to its end/.test(document.getElementById('replay-text').textContent),
    null, { timeout: 30000 });
  await open('');
  await viewer.page.waitForFunction(() => document.getElementById('replay').classList.contains('failed'), null, { timeout: 30000 });
  await viewer.page.waitForTimeout(300);
  const fresh = await session(viewer.page);
  const message = await viewer.page.locator('#replay-text').textContent();
  check(!fresh.paused && !fresh.replaying && fresh.inputs === 0 && fresh.step > 0 && /fresh session began/.test(message),
    `after a refused file the page says '${message}' with ${JSON.stringify(fresh)}`);
  pass(`a file refused after a finished replay leaves a fresh figure running: '${message}'`);
  check(problems.length === 0, `errors in the console: ${problems.join('; ')}`);
  pass('no error in the console');
}

try {
  await main();
  console.log('long_work_test: all checks passed');
} catch (error) {
  console.error(`long_work_test: FAIL: ${error instanceof Failure ? error.message : error.stack}`);
  process.exitCode = 1;
} finally {
  await browser?.close().catch(() => {});
  server?.close();
}
