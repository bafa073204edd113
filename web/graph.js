// The live graph: the last 10 simulated seconds of the energy terms or of the
// angles of the torso and the four upper limbs, drawn with uPlot. A sample is
// taken whenever the page shows a new picture, so a paused figure freezes it;
// a lone sample (the start, after a Reset while paused) shows as points.

const windowSeconds = 10;

// What each view draws: webEnergy's term or webAngle's joint, colours as in tools/plot_run.py.
const views = {
  energy: {
    unit: 'energy (J)',
    lines: [
      { label: 'kinetic', read: () => Module._webEnergy(0), stroke: '#d62728' },
      { label: 'gravity', read: () => Module._webEnergy(1), stroke: '#2ca02c' },
      { label: 'springs', read: () => Module._webEnergy(2), stroke: '#9467bd' },
      { label: 'damped out', read: () => Module._webEnergy(3), stroke: '#1f77b4', dash: [7, 4] },
      { label: 'put in by torques', read: () => Module._webEnergy(4), stroke: '#ff7f0e', dash: [7, 4] },
      { label: 'added by knobs', read: () => Module._webEnergy(6), stroke: '#8c564b', dash: [2, 3] },
      { label: 'put in by your hand', read: () => Module._webEnergy(7), stroke: '#e377c2', dash: [2, 3] },
    ],
  },
  angles: {
    unit: 'angle (rad)',
    lines: [
      { label: 'torso', read: () => Module._webAngle(0), stroke: '#222222' },
      { label: 'right arm', read: () => Module._webAngle(1), stroke: '#d62728' },
      { label: 'left arm', read: () => Module._webAngle(4), stroke: '#ff7f0e' },
      { label: 'right leg', read: () => Module._webAngle(7), stroke: '#1f77b4' },
      { label: 'left leg', read: () => Module._webAngle(10), stroke: '#2ca02c' },
    ],
  },
};

let box = null;        // the element the plot lives in
let view = 'energy';
let plot = null;
let lastStep = -1;     // the step of the last sample
// The samples of both views, so that switching keeps the history.
const samples = { t: [], energy: views.energy.lines.map(() => []), angles: views.angles.lines.map(() => []) };

function size() {
  const width = Math.max(200, Math.floor(box.clientWidth));
  return { width, height: Math.round(Math.min(320, Math.max(200, width * 0.62))) };
}

function latest() {
  return samples.t.length ? samples.t[samples.t.length - 1] : 0;
}

function build() {
  plot?.destroy();
  const chosen = views[view];
  const fixed = (digits) => (u, v) => (v == null ? '\u2013' : v.toFixed(digits));
  plot = new uPlot({
    ...size(),
    cursor: { show: false },
    legend: { live: false },
    scales: {
      x: { time: false, range: () => [Math.max(0, latest() - windowSeconds), Math.max(windowSeconds, latest())] },
    },
    axes: [
      { label: 'simulated time (s)', labelSize: 20, size: 34 },
      { label: chosen.unit, labelSize: 18, size: 52, values: (u, splits) => splits.map((v) => String(+v.toFixed(6))) },
    ],
    series: [
      { label: 't', value: fixed(2) },
      ...chosen.lines.map((line) => ({ label: line.label, stroke: line.stroke, width: 1.6, dash: line.dash,
        value: fixed(2), points: { show: (u) => u.data[0].length === 1, size: 6 } })),
    ],
  }, [samples.t, ...samples[view]], box);
}

export function startGraph() {
  box = document.getElementById('graph');
  for (const radio of document.querySelectorAll('input[name="graph"]')) {
    radio.addEventListener('change', () => {
      if (!radio.checked) return;
      view = radio.value;
      build();
    });
  }
  build();
  new ResizeObserver(() => plot?.setSize(size())).observe(box);
}

// Forgets every sample (after Reset, simulated time starts again at 0).
export function clearGraph() {
  samples.t.length = 0;
  for (const list of [...samples.energy, ...samples.angles]) list.length = 0;
  lastStep = -1;
}

// Once per animation frame: a sample if the figure moved, dropping those
// older than the window, and the plot drawn again.
export function sampleGraph() {
  const step = Module._webStepCount();
  if (step === lastStep) return;
  if (step < lastStep) clearGraph();
  lastStep = step;
  const t = step * Module._webTimeStep();
  samples.t.push(t);
  for (const name of Object.keys(views)) views[name].lines.forEach((line, k) => samples[name][k].push(line.read()));
  let old = 0;
  while (old < samples.t.length && samples.t[old] < t - windowSeconds) ++old;
  if (old > 0) {
    samples.t.splice(0, old);
    for (const list of [...samples.energy, ...samples.angles]) list.splice(0, old);
  }
  plot.setData([samples.t, ...samples[view]]);
}
