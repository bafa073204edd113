// Compare: a second copy of the figure, begun from its state now with one
// joint's angle nudged (or not at all), stepped with it and taking the same
// keys, knobs, hand and resets (or a knob of its own), drawn light behind it; part of the session,
// so that a link or a saved file replays both copies; a graph of the
// distance between the two states, on a log scale, over the last 10
// simulated seconds, and in words how fast it grows.

const byId = (id) => document.getElementById(id);
const windowSeconds = 10;

let plot = null;
let lastStep = -1;
const samples = { t: [], d: [] };

function say(text) {
  byId('compare-note').textContent = text;
}

function clear() {
  samples.t.length = 0;
  samples.d.length = 0;
  lastStep = -1;
}

// The slope of the natural log of the distance against time (per second),
// by least squares over the samples of the window with a distance above 0;
// null with fewer than 10 of them.
function slope() {
  let n = 0;
  let st = 0;
  let sy = 0;
  let stt = 0;
  let sty = 0;
  samples.d.forEach((d, k) => {
    if (!(d > 0)) return;
    const t = samples.t[k];
    const y = Math.log(d);
    ++n; st += t; sy += y; stt += t * t; sty += t * y;
  });
  const spread = n * stt - st * st;
  return n < 10 || spread <= 0 ? null : (n * sty - st * sy) / spread;
}

function build() {
  plot?.destroy();
  const box = byId('compare-graph');
  plot = new uPlot({
    width: Math.max(200, Math.floor(box.clientWidth)),
    height: 180,
    cursor: { show: false },
    legend: { show: false },
    scales: { x: { time: false }, y: { distr: 3 } },
    axes: [
      { label: 'simulated time (s)', labelSize: 20, size: 34 },
      { label: 'distance', labelSize: 18, size: 60, values: (u, splits) => splits.map((v) => (v == null ? '' : v.toExponential(0))) },
    ],
    series: [{}, { stroke: '#d62728', width: 1.6, spanGaps: false }],
  }, [samples.t, samples.d], box);
}

// The copy's knob shown in its box, unless the person is typing there.
function showCopyKnob(force = false) {
  const field = byId('compare-knob-value');
  if (!force && document.activeElement === field) return;
  const value = Module._webTwinKnob(Number(byId('compare-knob').value));
  field.value = Number.isNaN(value) ? '' : String(value);
}

function enableCopyKnob(on) {
  byId('compare-knob').disabled = !on;
  byId('compare-knob-value').disabled = !on;
  const k = Number(byId('compare-knob').value);
  byId('compare-knob-value').min = String(Module._webKnobLow(k));
  byId('compare-knob-value').max = String(Module._webKnobHigh(k));
}

// The controls and the graph of a comparison that has begun, by the person
// or by a session replayed.
function shown() {
  enableCopyKnob(true);
  showCopyKnob();
  byId('compare-on').checked = true;
  clear();
  byId('compare-box').hidden = false;
  build();
}

function start() {
  const joint = Number(byId('compare-joint').value);
  const nudge = Number(byId('compare-nudge').value);
  if (Module._webCompare(1, joint, nudge) !== 1) {
    byId('compare-on').checked = false;
    say('That nudge or joint is out of range, or the session is full.');
    return;
  }
  shown();
}

// Ends the comparison (in the session too) and hides its graph.
function stop() {
  Module._webCompare(0, 0, 0);
  hidden();
}

function hidden() {
  enableCopyKnob(false);
  byId('compare-knob-value').value = '';
  byId('compare-on').checked = false;
  byId('compare-box').hidden = true;
  plot?.destroy();
  plot = null;
  say('');
}

// The controls show the joint and nudge of the comparison that runs, which
// a session replayed may have begun or begun again; true if they changed.
function follow() {
  const nudge = Module._webCompareNudge();
  const joint = String(Module._webCompareJoint());
  const select = byId('compare-nudge');
  if (Number(select.value) === nudge && byId('compare-joint').value === joint) return false;
  if (![...select.options].some((option) => Number(option.value) === nudge)) {
    select.append(new Option(`${nudge} rad`, String(nudge)));
  }
  select.value = [...select.options].find((option) => Number(option.value) === nudge).value;
  byId('compare-joint').value = joint;
  return true;
}

// The joints to nudge follow the figure.
export function compareFigure(segments) {
  const select = byId('compare-joint');
  const names = Array.from({ length: segments }, (_, i) => `joint ${i}`);
  select.replaceChildren(...names.map((name, i) => new Option(name, String(i))));
  hidden();
}

// Every animation frame: a sample when the figure moved, and the words.
export function showCompare() {
  const on = Module._webComparing() === 1;
  if (!on) {
    if (byId('compare-on').checked) hidden();
    return;
  }
  if (follow() || !byId('compare-on').checked) shown();
  showCopyKnob();
  const step = Module._webStepCount();
  if (step === lastStep) return;
  if (step < lastStep) clear();
  lastStep = step;
  const t = step * Module._webTimeStep();
  const d = Module._webDistance();
  samples.t.push(t);
  samples.d.push(d > 0 ? d : null);
  let old = 0;
  while (old < samples.t.length && samples.t[old] < t - windowSeconds) ++old;
  if (old > 0) {
    samples.t.splice(0, old);
    samples.d.splice(0, old);
  }
  plot?.setData([samples.t, samples.d]);
  if (d === 0) {
    say('The distance is exactly 0: the two copies are equal to the last bit.');
    return;
  }
  const rate = slope();
  say(`Distance ${d.toExponential(2)}` + (rate === null ? '.'
    : `; its log grows by ${rate.toFixed(2)} per second` +
      (rate > 0 ? ` (\u00d710 every ${(Math.LN10 / rate).toFixed(2)} s).` : '.')));
}

export function startCompare() {
  byId('compare-on').addEventListener('change', (event) => (event.target.checked ? start() : stop()));
  for (const id of ['compare-joint', 'compare-nudge']) {
    byId(id).addEventListener('change', () => { if (byId('compare-on').checked) start(); });
  }
  byId('compare-knob').addEventListener('change', () => { enableCopyKnob(true); showCopyKnob(true); });
  byId('compare-knob-value').addEventListener('change', (event) => {
    const k = Number(byId('compare-knob').value);
    const value = Number(event.target.value);
    if (event.target.value.trim() !== '' && Module._webTwinKnob(k) !== value && Module._webCompareKnob(k, value) !== 1) {
      say(`The copy's knob takes ${Module._webKnobLow(k)} to ${Module._webKnobHigh(k)}.`);
    }
    showCopyKnob(true);
  });
  new ResizeObserver(() => plot?.setSize({ width: Math.max(200, byId('compare-graph').clientWidth), height: 180 }))
    .observe(byId('compare-graph'));
}

// A restart (Reset, a session): the graph starts again.
export function restartCompare() {
  clear();
}
