// Sessions on the page, in Chromium: a session made with real keys, clicks,
// a slider and two grabs at real-time pace, saved with Save session, replays
// in marionette-sim --session to the page's numbers; Download data is the
// runner's CSV byte for byte; a Share link replays it in a fresh page; Take
// over keeps what was replayed; hostile links and files give one line and a
// fresh session. Exits 0 when every check passes, 1 at the first failure.
//
// usage: node session_test.mjs PAGE_DIR RUNNER WORK_DIR
//   PAGE_DIR: the built page; RUNNER: the native marionette-sim; WORK_DIR:
//   where the saved session, the data and the screenshots (session_desktop.png,
//   session_phone.png: a replay on each) go.
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { deflateRawSync } from 'node:zlib';
import { chromium } from 'playwright-core';
import { Failure, checks, chromiumOptions, firstDifference, runnerOutput, runnerRows, segmentCentre, servePage } from './test_kit.mjs';

const [pageDir, runner, workDir] = process.argv.slice(2);
if (!workDir) {
  console.error('usage: node session_test.mjs PAGE_DIR RUNNER WORK_DIR');
  process.exit(2);
}

const movesPerGrab = 50;
const torso = 0;      // near the pivot: where the picking found it, it still is a moment later
const leftFoot = 12;
let server;
let browser;
let scratch;
const problems = [];

const { pass, check } = checks('session_test');

async function newPage(options = {}) {
  const context = await browser.newContext({ viewport: { width: 1280, height: 1000 }, acceptDownloads: true, ...options });
  const page = await context.newPage();
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  page.on('pageerror', (error) => problems.push(error.message));
  return { context, page };
}

const ready = (page) => page.waitForFunction(() => window.marionette?.ready, null, { timeout: 60000 });
const button = (page, name) => page.getByRole('button', { name, exact: true });
const numbers = (page) => page.evaluate(() => ({ ...window.marionette.state(), energy: window.marionette.energy(),
  session: window.marionette.session() }));

// Clicks a button (or does `act`) and returns where the file it downloads was saved, and its name.
async function downloaded(page, name, file, act = () => button(page, name).click()) {
  const [download] = await Promise.all([page.waitForEvent('download'), act()]);
  const saved = path.join(workDir, file);
  await download.saveAs(saved);
  return { saved, name: download.suggestedFilename() };
}

// Takes hold of a segment with the mouse while the figure moves, then pulls
// it through `movesPerGrab` pointer moves a frame or two apart, and lets go;
// `midway` runs halfway, while the hand holds. The keyboard's focus may have
// scrolled the page, and a pointer that leaves the window lets go: the canvas
// comes into view first, and a hold is taken only where the whole pull (60 px
// sideways, 80 up, the midway move's 15) stays inside the window.
async function grabAndPull(page, segment, direction, midway = async () => {}) {
  await page.evaluate(() => document.getElementById('view').scrollIntoView({ block: 'nearest', inline: 'nearest' }));
  const { width, height } = page.viewportSize();
  const inside = (x, y) => x >= 0 && y >= 0 && x < width && y < height;
  let at = null;
  for (let attempt = 0; attempt < 20 && at === null; ++attempt) {
    const centre = await segmentCentre(page, segment);
    if (centre === null || !inside(centre.x + direction * 60, centre.y - 80) ||
        !inside(centre.x + direction * 60 + 15, centre.y)) {
      await page.waitForTimeout(50);
      continue;
    }
    await page.mouse.move(centre.x, centre.y);
    await page.mouse.down();
    if (await page.evaluate(() => window.marionette.heldPoint() !== null)) at = centre;
    else await page.mouse.up();
  }
  check(at !== null, `could not take hold of segment ${segment}`);
  for (let k = 1; k <= movesPerGrab; ++k) {
    const angle = (k / movesPerGrab) * Math.PI;
    await page.mouse.move(at.x + direction * 60 * Math.sin(angle), at.y - 40 * (1 - Math.cos(angle)));
    await page.waitForTimeout(25);
    if (k === movesPerGrab / 2) await midway();
  }
  await page.mouse.up();
}

// A session's text, as its lines.
const linesOf = (text) => text.trim().split('\n');

async function main() {
  server = await servePage(pageDir);
  const url = `http://127.0.0.1:${server.address().port}/`;
  scratch = mkdtempSync(path.join(os.tmpdir(), 'marionette-session-'));
  browser = await chromium.launch(chromiumOptions());

  // A session at real-time pace: all four keys (three from the keyboard,
  // one a button), two grabs of 50 moves each, knobs by a preset button, the
  // keyboard on a slider and Defaults, and a reset; then paused and saved.
  const { context, page } = await newPage();
  await page.goto(url);
  await ready(page);
  const pause = async (ms) => page.waitForTimeout(ms);
  await page.keyboard.press('ArrowDown');
  await pause(300);
  await button(page, 'Right').click();
  await pause(300);
  await grabAndPull(page, torso, 1);
  await pause(200);
  await button(page, 'Jupiter').click();
  await page.locator('#knob-stiffness').focus();
  for (let k = 0; k < 3; ++k) await page.keyboard.press('ArrowRight');
  await page.locator('#knob-stiffness').blur();
  await pause(300);
  await page.keyboard.press('ArrowLeft');
  await pause(300);
  await button(page, 'Reset').click();
  await pause(300);
  await page.keyboard.press('ArrowDown');
  // Download data while the hand holds, with the keyboard: paused, after a
  // knob change and a move of the hand at that very step, which the runner's
  // rows to there leave out (they come before the step's inputs) and which
  // must hold again once the session has run again from step 0 in the page
  let midData;
  await grabAndPull(page, leftFoot, -1, async () => {
    const press = async (id, key) => { await page.locator(`#${id}`).focus(); await page.keyboard.press(key); };
    await press('pause', 'Enter');
    await press('knob-damping', 'ArrowLeft');
    const mouse = await page.evaluate(() => window.marionette.heldPoint().pointer);
    const box = await page.locator('#view').boundingBox();
    await page.mouse.move(box.x + mouse.x + 15, box.y + mouse.y);
    await page.locator('#data').focus();
    midData = await downloaded(page, null, 'data_midway.csv', () => page.keyboard.press('Enter'));
    await press('pause', 'Enter');
  });
  await pause(200);
  await page.keyboard.press('ArrowUp');
  await button(page, 'Defaults').click();
  await pause(400);  // steps after the last input: the saved end lies past it
  await button(page, 'Pause').click();
  const made = await numbers(page);
  const session = await downloaded(page, 'Save session', 'session.txt');
  const text = readFileSync(session.saved, 'utf8');
  const lines = linesOf(text);
  const count = (kind) => lines.filter((line) => line.split(' ')[1] === kind).length;
  const keys = new Set(lines.filter((line) => line.split(' ')[1] === 'key').map((line) => line.split(' ')[2]));
  check(session.name === 'marionette-session.txt', `Save session offered ${session.name}`);
  check(lines[0] === 'marionette-session 1' && lines[lines.length - 1] === `${made.session.step} end`,
    `the saved session runs from '${lines[0]}' to '${lines[lines.length - 1]}', the page is at step ${made.session.step}`);
  check(keys.size === 4 && count('grab') === 2 && count('release') === 2 && count('reset') === 1 && count('knob') >= 5,
    `the saved session lacks inputs: keys ${[...keys]}, ${count('grab')} grabs, ${count('release')} releases, ` +
    `${count('reset')} resets, ${count('knob')} knob changes`);
  check(count('move') >= movesPerGrab, `only ${count('move')} moves were recorded`);
  pass(`a session of ${made.session.step} steps made at real time: ${lines.length - 2} inputs (${count('move')} moves ` +
    `of ${2 * movesPerGrab + 1} made: moves between two steps count once), saved as ${session.name} (${text.length} bytes)`);

  // The runner replays the saved file to the page's numbers.
  const replayed = runnerRows(runner, ['--session', session.saved, '--every', '0', '--energy']).at(-1);
  check(replayed.step === made.session.step, `the runner ended at step ${replayed.step}, the page at ${made.session.step}`);
  check(firstDifference(made, replayed, { compareSteps: false }) === null, `marionette-sim --session against the page: ${firstDifference(made, replayed, { compareSteps: false })}`);
  check(made.energy.hand !== 0 && made.energy.knobs !== 0 && made.energy.supplied !== 0,
    `the session did no work: ${JSON.stringify(made.energy)}`);
  pass('marionette-sim --session on the saved file ends in the page\'s 26 numbers and energy terms, as doubles');

  // Download data: the runner's CSV, byte for byte.
  const data = await downloaded(page, 'Download data', 'data.csv');
  const runnerCsv = runnerOutput(runner, ['--session', session.saved, '--every', '100', '--energy']);
  const pageCsv = readFileSync(data.saved);
  check(pageCsv.equals(runnerCsv), `Download data (${pageCsv.length} bytes) differs from marionette-sim --session ` +
    `--every 100 --energy (${runnerCsv.length} bytes)`);
  check(firstDifference(await numbers(page), made, { compareSteps: false }) === null, 'Download data changed the page\'s numbers');
  const midCsv = readFileSync(midData.saved);
  const midStep = midCsv.toString().trim().split('\n').pop().split(',')[0];
  const runnerMid = runnerOutput(runner, ['--session', session.saved, '--steps', midStep, '--every', '100', '--energy']);
  check(midCsv.equals(runnerMid), `Download data at step ${midStep} differs from marionette-sim ` +
    `--session --steps ${midStep} --every 100 --energy`);
  pass(`Download data equals marionette-sim --session ${path.basename(session.saved)} --every 100 --energy byte for byte ` +
    `(${pageCsv.length} bytes); taken at step ${midStep}, paused, while the hand held and after a knob change and a move ` +
    'at that step, it equals the runner\'s rows to there, and the run went on to the runner\'s numbers');

  // Share: a link that replays the session in a fresh page, as fast as it integrates.
  await button(page, 'Share').click();
  await page.waitForFunction(() => document.getElementById('share-link').value !== '');
  const link = await page.locator('#share-link').inputValue();
  check(link.startsWith(`${url}#session=`), `Share gave '${link.slice(0, 60)}'`);
  const fresh = await newPage();
  await fresh.page.goto(link);
  await ready(fresh.page);
  await button(fresh.page, 'As fast as it integrates').click();
  await fresh.page.waitForFunction(() => !window.marionette.session().replaying && Module._webPaused() === 1,
    null, { timeout: 60000 });
  const fromLink = await numbers(fresh.page);
  check(fromLink.session.step === made.session.step, `the link's replay stopped at step ${fromLink.session.step}`);
  check(firstDifference(fromLink, made, { compareSteps: false }) === null, `the link's replay against the page: ${firstDifference(fromLink, made, { compareSteps: false })}`);
  check(/Replayed to its end/.test(await fresh.page.locator('#replay-text').textContent()), 'the replay does not say it ended');
  pass(`a Share link of ${link.length} characters replays in a fresh page, as fast as it integrates, to the same ` +
    '26 numbers and energy terms, and pauses at the end');
  await fresh.context.close();

  // Take over: a key in the middle of a replay ends it there; the session
  // keeps what was replayed, then the key.
  const middle = Number(lines.find((line) => line.includes(' grab ')).split(' ')[0]) + 500;
  const taking = await newPage();
  await taking.page.goto(link);
  await ready(taking.page);
  await taking.page.waitForFunction((s) => window.marionette.session().step >= s, middle, { timeout: 60000, polling: 'raf' });
  await taking.page.keyboard.press('ArrowUp');
  await button(taking.page, 'Pause').click();
  const took = await taking.page.evaluate(() => window.marionette.session());
  check(!took.replaying, 'a key did not end the replay');
  const kept = linesOf(readFileSync((await downloaded(taking.page, 'Save session', 'taken.txt')).saved, 'utf8'));
  const keyLine = kept.findIndex((line, k) => k > 0 && / key up$/.test(line) && !lines.includes(line));
  const atStep = Number(kept[keyLine]?.split(' ')[0]);
  const before = lines.slice(0, -1).filter((line, k) => k === 0 || Number(line.split(' ')[0]) < atStep);
  const between = kept.slice(before.length, keyLine);
  check(keyLine > 0 && atStep >= middle && kept.slice(0, before.length).join('\n') === before.join('\n') &&
    between.every((line) => line === `${atStep} release`) && between.length <= 1,
    `after Take over the session is not the replayed part and the key: ${kept.slice(0, 3).join(' | ')} ... ` +
    `${kept.slice(Math.max(0, keyLine - 2), keyLine + 1).join(' | ')}`);
  pass(`a key at step ${atStep} of the replay ends it; the session keeps the ${before.length - 1} inputs replayed` +
    `${between.length ? ', lets go of the replayed hand,' : ''} and records the key after them`);
  await taking.context.close();

  // A look at a replay: desktop, and a phone at 3x.
  for (const [name, options] of [['session_desktop.png', { viewport: { width: 1280, height: 800 } }],
    ['session_phone.png', { viewport: { width: 390, height: 844 }, deviceScaleFactor: 3, isMobile: true, hasTouch: true }]]) {
    const look = await newPage(options);
    await look.page.goto(link);
    await ready(look.page);
    await look.page.waitForFunction((s) => window.marionette.session().step >= s, middle, { timeout: 60000, polling: 'raf' });
    const width = await look.page.evaluate(() => [document.documentElement.scrollWidth, innerWidth]);
    check(width[0] === width[1], `${name}: the page is ${width[0]} px wide on a ${width[1]} px screen`);
    await look.page.screenshot({ path: path.join(workDir, name) });
    await look.context.close();
  }

  // Hostile links and files: one line on the page, a fresh session, no error in the console.
  const pack = (body) => deflateRawSync(Buffer.from(body)).toString('base64url');
  const start = 'marionette-session 1\n';
  const hostileLinks = [
    ['not base64url', 'not*base64', /not base64url/],
    ['not compressed', Buffer.from(`${start}0 end\n`).toString('base64url'), /does not unpack|line \d+/],
    ['cut short', link.slice(link.indexOf('=') + 1, link.indexOf('=') + 40), /does not unpack|line \d+/],
    ['a wrong version', pack('marionette-session 9\n0 end\n'), /line 1: version '9'/],
    ['steps going back', pack(`${start}500 key down\n400 key up\n600 end\n`), /line 3: step 400 goes back/],
    ['more than 50 MB unpacked', deflateRawSync(Buffer.alloc(60e6, 10)).toString('base64url'), /more than 50 MB/],
  ];
  const hostileFiles = [
    ['a NaN', `${start}0 knob gravity nan\n10 end\n`, /line 2: the gravity is not a finite decimal number/],
    ['an infinite target', `${start}0 grab rightHand 0 0 1e400 0\n10 end\n`, /line 2: the target's x is not a finite/],
    ['an unknown segment', `${start}0 grab nose 0 0 1 1\n10 end\n`, /line 2: unknown segment 'nose'/],
    ['a target beyond reach', `${start}0 grab rightHand 0 0 5000 0\n10 end\n`, /line 2: the target's x 5000 is out of range/],
    ['no end line', `${start}0 key down\n`, /line 3: the session ends without its end line/],
    ['a long garbage line', `${start}0 key ${'x'.repeat(100000)}\n1 end\n`, /line 2: unknown key/],
  ];
  const big = path.join(scratch, 'big.txt');
  writeFileSync(big, Buffer.alloc(50000001, 10));
  const hostile = await newPage();
  await hostile.page.goto(url);
  await ready(hostile.page);
  const refusal = async (what, expected, act) => {
    await hostile.page.keyboard.press('ArrowDown');  // an input, so that a fresh session shows
    await act();
    await hostile.page.waitForFunction(() => document.getElementById('replay').classList.contains('failed'), null,
      { timeout: 30000 });
    const shown = await hostile.page.evaluate(() => ({ text: document.getElementById('replay-text').textContent }));
    const after = await hostile.page.evaluate(() => window.marionette.session());
    check(expected.test(shown.text) && !shown.text.includes('\n') && shown.text.length < 300,
      `${what}: the page says '${shown.text.slice(0, 300)}'`);
    check(after.inputs === 0 && !after.replaying, `${what}: no fresh session (${JSON.stringify(after)})`);
    await hostile.page.keyboard.press('ArrowUp');  // the line goes with the next input
    await hostile.page.waitForFunction(() => document.getElementById('replay').hidden, null, { timeout: 5000 });
    return shown.text;
  };
  for (const [what, fragment, expected] of hostileLinks) {
    await refusal(`a link with ${what}`, expected, () => hostile.page.evaluate((f) => { location.hash = `#session=${f}`; }, fragment));
  }
  for (const [what, body, expected] of hostileFiles) {
    await refusal(`a file with ${what}`, expected,
      () => hostile.page.locator('#open-file').setInputFiles({ name: 'bad.txt', mimeType: 'text/plain', buffer: Buffer.from(body) }));
  }
  const tooLarge = await refusal('a file of 50 MB and a byte', /larger than 50 MB/, () => hostile.page.locator('#open-file').setInputFiles(big));
  pass(`${hostileLinks.length} hostile links and ${hostileFiles.length + 1} hostile files each give one line and a fresh ` +
    `session, e.g. '${tooLarge}'`);
  await hostile.context.close();
  await context.close();
  check(problems.length === 0, `errors in the console: ${problems.join('; ')}`);
  pass('no error in the console');
}

try {
  await main();
  console.log('session_test: all checks passed');
} catch (error) {
  console.error(`session_test: FAIL: ${error instanceof Failure ? error.message : error.stack}`);
  process.exitCode = 1;
} finally {
  await browser?.close().catch(() => {});
  server?.close();
  if (scratch) rmSync(scratch, { recursive: true, force: true });
}
