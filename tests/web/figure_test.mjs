// Any figure on the page, in Chromium: ?figure= names it; each built-in is
// drawn with every segment's end where the model puts it; the page equals
// marionette-sim --model after a schedule, for a chain:12 and for a model
// file opened with Open model; a grab of a chain:8's last link follows the
// pointer; hostile model files give one line and leave the figure running;
// a session made on a loaded model replays exactly in a fresh page and in
// marionette-sim --session. Exits 0 when every check passes, 1 at the first failure.
//
// usage: node figure_test.mjs PAGE_DIR RUNNER WORK_DIR
//   WORK_DIR: where the model file, the session and figure_*.png go.
import { writeFileSync } from 'node:fs';
import path from 'node:path';
import { deflateRawSync } from 'node:zlib';
import { chromium } from 'playwright-core';
import { Failure, checks, chromiumOptions, firstDifference, runnerOutput, runnerRows, segmentCentre, servePage } from './test_kit.mjs';

const [pageDir, runner, workDir] = process.argv.slice(2);
if (!workDir) {
  console.error('usage: node figure_test.mjs PAGE_DIR RUNNER WORK_DIR');
  process.exit(2);
}
const { pass, check } = checks('figure_test');
const problems = [];
let server;
let browser;
let url;

async function open(query, hash = '') {
  const context = await browser.newContext({ viewport: { width: 1280, height: 900 } });
  const page = await context.newPage();
  page.on('console', (message) => { if (message.type() === 'error') problems.push(message.text()); });
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(`${url}${query}${hash}`);
  await page.waitForFunction(() => window.marionette?.ready, null, { timeout: 60000 });
  return page;
}
const state = (page) => page.evaluate(() => window.marionette.state());
const figure = (page) => page.evaluate(() => window.marionette.figure());
const stepTimes = async (page, times) => {
  for (let k = 0; k < times; ++k) await page.getByRole('button', { name: 'Step', exact: true }).click();
};

// The model's geometry, as the runner prints it: each segment's parent,
// joint in the parent's drawn frame and drawn length.
function geometry(modelName) {
  const model = JSON.parse(runnerOutput(runner, ['--model', modelName, '--print-model'], 'utf8'));
  return model.segments.map((s) => ({ parent: s.parent, joint: s.drawn_joint ?? [s.link_length_m, 0],
    length: s.drawn_length ?? 1 }));
}

// Each built-in drawn: at every segment's end, as the model and the angles
// place it (the pivot in the middle, its reach filling the shorter side),
// the bars' layer is painted; just beyond the figure's reach it is not.
async function drawnEnds(name, steps) {
  // by the link for a figure without N, else by the Figure control
  const [kind, n] = name.split(':');
  const page = await open(n === undefined ? `?figure=${name}&paused` : '?paused');
  if (n !== undefined) {
    await page.selectOption('#figure', kind);
    await page.fill('#figure-n', n);
    await page.locator('#figure-n').dispatchEvent('change');
  }
  const shown = await figure(page);
  check(shown.name === name, `${name} picked, ${shown.name} runs`);
  await stepTimes(page, steps);
  const { q } = await state(page);
  const segments = geometry(name);
  const frames = [];
  let reach = 0;
  const reachOf = [];
  for (const [i, s] of segments.entries()) {
    const parent = s.parent < 0 ? { x: 0, y: 0, angle: 0 } : frames[s.parent];
    const c = Math.cos(parent.angle);
    const sn = Math.sin(parent.angle);
    const angle = parent.angle + q[i];
    const x = parent.x + c * s.joint[0] - sn * s.joint[1];
    const y = parent.y + sn * s.joint[0] + c * s.joint[1];
    frames.push({ x, y, angle, endX: x + Math.cos(angle) * s.length, endY: y + Math.sin(angle) * s.length });
    reachOf.push((s.parent < 0 ? 0 : reachOf[s.parent]) + Math.hypot(...s.joint));
    reach = Math.max(reach, reachOf[i] + s.length);
  }
  const painted = await page.evaluate(({ frames, reach }) => {
    const bars = document.getElementById('bars');
    const image = bars.getContext('2d').getImageData(0, 0, bars.width, bars.height).data;
    const scale = Math.min(bars.width, bars.height) / 2 / (1.08 * reach);
    const alpha = (x, y) => image[4 * (Math.round(bars.height / 2 - y * scale) * bars.width +
      Math.round(bars.width / 2 + x * scale)) + 3];
    return { ends: frames.map((f) => alpha(f.endX, f.endY)), beyond: alpha(0, -1.06 * reach),
      width: bars.width };
  }, { frames, reach });
  check(painted.width > 0, `${name}: the bars' layer has no pixels`);
  const bare = painted.ends.findIndex((a) => a === 0);
  check(bare < 0, `${name}: segment ${bare}'s end is not drawn where the model puts it`);
  check(painted.beyond === 0, `${name}: the layer is painted beyond the figure's reach`);
  await page.screenshot({ path: path.join(workDir, `figure_${name.replace(':', '')}.png`) });
  await page.context().close();
}

async function main() {
  server = await servePage(pageDir);
  url = `http://127.0.0.1:${server.address().port}/`;
  browser = await chromium.launch(chromiumOptions());

  for (const [name, segments] of [['pendulum', 1], ['double-pendulum', 2], ['chain:5', 5], ['tree:15', 15]]) {
    await drawnEnds(name, 8);
    pass(`${name} (${segments} segments) drawn with each segment's end where the model puts it`);
  }

  // chain:12 by a link, against the runner after a schedule of keys.
  const chain = await open('?figure=chain:12&paused');
  const named = await figure(chain);
  check(named.name === 'chain:12' && named.segments === 12, `?figure=chain:12 runs ${JSON.stringify(named)}`);
  await chain.keyboard.press('ArrowRight');
  await stepTimes(chain, 5);
  await chain.keyboard.press('ArrowDown');
  await stepTimes(chain, 10);
  const expected = runnerRows(runner, ['--model', 'chain:12', '--steps', '1500', '--every', '0',
    '--key', '0:right', '--key', '500:down']);
  const difference = firstDifference(await state(chain), expected.at(-1));
  check(difference === null, `chain:12 after RIGHT, 5 Steps, DOWN, 10 Steps against marionette-sim: ${difference}`);
  const sessionText = await chain.evaluate(() => {
    const at = Module._webSessionText();
    return Module.UTF8ToString(at, Module._webTextLength());
  });
  check(sessionText.split('\n')[1] === 'figure chain:12' && sessionText.length < 120,
    `chain:12's session does not name it in a short line: ${sessionText.slice(0, 80)}`);
  pass(`?figure=chain:12 runs chain:12 equal to marionette-sim --model chain:12 after a schedule; its session names it`);

  // A grab of the last link follows the pointer.
  const grabbed = await open('?figure=chain:8&paused');
  await stepTimes(grabbed, 20);
  const last = await segmentCentre(grabbed, 7);
  check(last !== null, 'chain:8\'s last link shows nowhere');
  await grabbed.mouse.move(last.x, last.y);
  await grabbed.mouse.down();
  const box = await grabbed.evaluate(() => JSON.parse(JSON.stringify(document.getElementById('view').getBoundingClientRect())));
  const target = { x: box.left + box.width * 0.85, y: box.top + box.height * 0.3 };
  check(await grabbed.evaluate(() => window.marionette.heldPoint() !== null), 'no hold on chain:8\'s last link');
  await grabbed.mouse.move(target.x, target.y, { steps: 10 });
  await grabbed.evaluate(() => Module._webSetPaused(0));
  await grabbed.waitForTimeout(3000);
  const hold = await grabbed.evaluate(() => window.marionette.heldPoint());
  check(hold !== null, 'the hand let go of chain:8');
  const gap = Math.hypot(hold.held.x - hold.pointer.x, hold.held.y - hold.pointer.y);
  check(gap < box.width * 0.1, `after 3 s the held point is ${gap.toFixed(0)} px from the pointer`);
  await grabbed.mouse.up();
  pass(`a grab of chain:8's last link follows the pointer (${gap.toFixed(0)} px behind after 3 s)`);
  await grabbed.context().close();

  // A model file of one's own: a double pendulum with a heavier, longer lower link.
  const model = JSON.parse(runnerOutput(runner, ['--model', 'double-pendulum', '--print-model'], 'utf8'));
  model.name = 'uneven-pair';
  model.segments[1].mass_kg = 2.5;
  model.segments[1].drawn_length = 1.5;
  const modelFile = path.join(workDir, 'uneven_pair.json');
  writeFileSync(modelFile, JSON.stringify(model, null, 1));
  await chain.locator('#model-file').setInputFiles(modelFile);
  await chain.waitForFunction(() => window.marionette.figure().name === 'file');
  check((await figure(chain)).segments === 2, 'the model file does not run with its 2 segments');
  await chain.evaluate(() => Module._webSetPaused(1));
  await chain.keyboard.press('ArrowLeft');
  await stepTimes(chain, 30);
  const fromFile = runnerRows(runner, ['--model', modelFile, '--steps', '3000', '--every', '0', '--key', '0:left']);
  const fileDifference = firstDifference(await state(chain), fromFile.at(-1));
  check(fileDifference === null, `the model file against marionette-sim --model FILE: ${fileDifference}`);
  pass('a model file opened with Open model runs equal to marionette-sim --model FILE');

  // Hostile model files: one line each, the figure running on as it was.
  const before = await state(chain);
  for (const [what, body] of [['an empty file', ''], ['text that is no JSON', 'marionette'],
    ['a cut-off file', JSON.stringify(model).slice(0, 200)],
    ['a parent after its child', JSON.stringify({ ...model, segments: model.segments.map((s, i) => ({ ...s, parent: i === 0 ? 1 : -1 })) })],
    ['a negative mass', JSON.stringify({ ...model, segments: model.segments.map((s) => ({ ...s, mass_kg: -1 })) })]]) {
    const hostile = path.join(workDir, 'hostile_model.json');
    writeFileSync(hostile, body);
    await chain.locator('#model-file').setInputFiles(hostile);
    await chain.waitForFunction(() => /not opened/.test(document.getElementById('figure-note').textContent));
    const note = await chain.evaluate(() => document.getElementById('figure-note').textContent);
    check(!note.includes('\n') && note.length < 300, `${what}: the message is not one line: ${note}`);
    const after = await state(chain);
    check((await figure(chain)).name === 'file' && firstDifference(after, before) === null,
      `${what} changed the running figure`);
    await chain.evaluate(() => { document.getElementById('figure-note').textContent = ''; });
  }
  pass('hostile model files give one line and leave the running figure as it was');

  // The loaded model's session: in a fresh page by a link, and in the runner.
  const session = await chain.evaluate(() => Module.UTF8ToString(Module._webSessionText(), Module._webTextLength()));
  check(session.startsWith('marionette-session 2\nmodel {'), `the model's session does not carry the model: ${session.slice(0, 60)}`);
  const sessionFile = path.join(workDir, 'figure_session.txt');
  writeFileSync(sessionFile, session);
  const replayed = runnerRows(runner, ['--session', sessionFile, '--every', '0']);
  const inRunner = firstDifference(await state(chain), replayed.at(-1));
  check(inRunner === null, `the model's session in marionette-sim --session: ${inRunner}`);
  const fresh = await open('', `#session=${deflateRawSync(Buffer.from(session)).toString('base64url')}`);
  const end = (await chain.evaluate(() => window.marionette.session())).step;
  await fresh.waitForFunction((end) => !window.marionette.session().replaying && window.marionette.session().step === end,
    end, { timeout: 60000 });
  check((await figure(fresh)).name === 'file', 'the link did not open the model');
  const inPage = firstDifference(await state(fresh), await state(chain));
  check(inPage === null, `the model's link in a fresh page: ${inPage}`);
  pass('a session on a loaded model replays exactly in a fresh page and in marionette-sim --session');

  // Compare: with no nudge the copies stay equal to the bit over 10 s; with a
  // nudge of 1e-9 rad they part, and the page says how fast.
  const pair = await open('?figure=double-pendulum&paused');
  check(await pair.evaluate(() => window.marionette.state(1)) === null, 'state(1) is not null without a comparison');
  const compareFor = async (nudge, seconds) => {
    await pair.getByRole('button', { name: 'Reset', exact: true }).click();
    await pair.selectOption('#compare-nudge', nudge);
    if (!(await pair.isChecked('#compare-on'))) await pair.check('#compare-on');
    await pair.keyboard.press('ArrowRight');
    await pair.getByRole('button', { name: 'As fast as it integrates', exact: true }).click();
    await pair.evaluate(() => Module._webSetPaused(0));
    const steps = Math.round(seconds / 0.00015);
    await pair.waitForFunction((steps) => window.marionette.state().step >= steps, steps, { timeout: 120000 });
    await pair.evaluate(() => Module._webSetPaused(1));
    await pair.waitForTimeout(100);
    return pair.evaluate(() => ({ a: window.marionette.state(), b: window.marionette.state(1),
      note: document.getElementById('compare-note').textContent }));
  };
  const equal = await compareFor('0', 10);
  check(firstDifference(equal.a, equal.b) === null && /exactly 0/.test(equal.note),
    `with no nudge the copies differ after ${equal.a.step} steps: ${firstDifference(equal.a, equal.b)} (${equal.note})`);
  pass(`compare with no nudge: equal to the bit after ${equal.a.step} steps, and the page says so`);
  const parted = await compareFor('1e-9', 6);
  const distance = Math.hypot(...parted.a.q.map((q, i) => q - parted.b.q[i]), ...parted.a.p.map((p, i) => p - parted.b.p[i]));
  const slope = Number(/grows by (-?[\d.]+) per second/.exec(parted.note)?.[1]);
  // (a slow build may pause before the page has points enough for a slope; then it shows the distance alone)
  check(distance > 1e-7 && /Distance/.test(parted.note) && (Number.isNaN(slope) || slope > 0), `with a nudge of 1e-9 rad the copies are ${distance} apart: ${parted.note}`);
  pass(`compare with a nudge of 1e-9 rad: ${distance.toExponential(2)} apart after 6 s; the page says: ${parted.note}`);
  await pair.screenshot({ path: path.join(workDir, 'figure_compare.png') });

  // The comparison is part of the session, the copy's own gravity too: the
  // runner's --twin and a fresh page replay the nudged copy exactly.
  await pair.selectOption('#compare-knob', '0');
  await pair.fill('#compare-knob-value', '3.71');
  await pair.press('#compare-knob-value', 'Tab');
  await pair.getByRole('button', { name: 'Step', exact: true }).click();
  await pair.waitForFunction((step) => window.marionette.state().step >= step + 100, parted.a.step);
  const withGravity = await pair.evaluate(() => ({ a: window.marionette.state(), b: window.marionette.state(1) }));
  const compared = await pair.evaluate(() => Module.UTF8ToString(Module._webSessionText(), Module._webTextLength()));
  check(/\n\d+ compare \S+ \S+e-09\n(.*\n)*\d+ copy-knob gravity 3.71/.test(compared),
    `the session does not carry the comparison and the copy's gravity: ${compared}`);
  const comparedFile = path.join(workDir, 'compare_session.txt');
  writeFileSync(comparedFile, compared);
  const twinInRunner = firstDifference(withGravity.b, runnerRows(runner, ['--session', comparedFile, '--twin', '--every', '0']).at(-1),
    { compareSteps: false });
  check(twinInRunner === null, `the copy against marionette-sim --session --twin: ${twinInRunner}`);
  const again = await open('', `#session=${deflateRawSync(Buffer.from(compared)).toString('base64url')}`);
  await again.waitForFunction((end) => !window.marionette.session().replaying && window.marionette.session().step === end,
    (await pair.evaluate(() => window.marionette.session())).step, { timeout: 120000 });
  const twinState = await again.evaluate(() => window.marionette.state(1));
  const twinInPage = twinState === null ? 'no copy' : firstDifference(twinState, withGravity.b);
  check(twinInPage === null && firstDifference(await state(again), withGravity.a) === null && await again.isChecked('#compare-on'),
    `the comparison's link in a fresh page: ${twinInPage}`);
  pass('a session that compares, with a gravity of the copy\'s own, replays both copies exactly in a fresh page and in marionette-sim --session --twin');
  check(problems.length === 0, `the page reported errors: ${problems.join('; ')}`);
}

main()
  .then(() => { console.log('figure_test: PASS'); })
  .catch((error) => {
    console.error(`figure_test: FAIL: ${error instanceof Failure ? error.message : error.stack}`);
    process.exitCode = 1;
  })
  .finally(async () => {
    await browser?.close();
    server?.close();
  });
