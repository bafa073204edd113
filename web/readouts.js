// The readouts beside the figure: time, rate, speed, the torques switched on,
// and the energy terms, refreshed four times a second and after every press.

const byId = (id) => document.getElementById(id);

// webEnergy's terms by the id of their cell.
export const energyTerms = { kinetic: 0, gravity: 1, spring: 2, dissipated: 3, supplied: 4, residual: 5, knobs: 6, hand: 7 };

let rateSample = null;     // steps taken and the time, about a second ago
let stepsPerSecond = null;

// Joules with a unit prefix, to `digits` significant digits: -6.1 mJ, 2.35 kJ.
export function joules(value, digits = 2) {
  if (value === 0 || !Number.isFinite(value)) return `${value} J`;
  const prefixes = { '-15': 'f', '-12': 'p', '-9': 'n', '-6': '\u00b5', '-3': 'm', 0: '', 3: 'k', 6: 'M', 9: 'G' };
  const power = Math.min(9, Math.max(-15, 3 * Math.floor(Math.log10(Math.abs(value)) / 3)));
  let shown = (value / 10 ** power).toPrecision(digits);
  if (Math.abs(Number(shown)) >= 1000 && power < 9) return joules(value > 0 ? 1000 * 10 ** power : -1000 * 10 ** power, digits);
  if (shown.includes('e')) shown = String(Number(shown));
  return `${shown.replace('-', '\u2212')} ${prefixes[power]}J`;
}

export function showReadouts() {
  const now = performance.now();
  const taken = Module._webStepsTaken();
  if (rateSample === null) {
    rateSample = { now, taken };
  } else if (now - rateSample.now >= 1000) {
    stepsPerSecond = (taken - rateSample.taken) * 1000 / (now - rateSample.now);
    rateSample = { now, taken };
  }
  const step = Module._webStepCount();
  const paused = Module._webPaused() !== 0;
  byId('sim-time').textContent = (step * Module._webTimeStep()).toFixed(2) + ' s';
  byId('steps').textContent = step.toLocaleString('en');
  byId('rate').textContent = stepsPerSecond === null ? '\u2013' : Math.round(stepsPerSecond).toLocaleString('en');
  // A hidden tab gets no animation frames, so the figure waits; say why.
  byId('speed').textContent = document.hidden ? 'waits: tab hidden'
    : paused ? 'paused'
    : stepsPerSecond === null ? '\u2013' : (stepsPerSecond * Module._webTimeStep()).toFixed(2) + ' \u00d7';

  for (const [id, term] of Object.entries(energyTerms)) {
    const value = Module._webEnergy(term);
    byId(id).textContent = id === 'residual' ? joules(value) : value.toFixed(2);
  }
  // what the residual is measured against: all the work that went through the books
  const moved = [3, 4, 6, 7].reduce((sum, term) => sum + Math.abs(Module._webEnergy(term)), 0);
  byId('moved').textContent = joules(moved, 3);

  const limbs = Module._webLimbTorqueMode() === 1;
  const direction = Module._webTorsoTorqueDirection();
  const torque = Module._webKnob(3);
  const on = [];
  if (limbs) on.push('arms and legs');
  if (direction === -1) on.push('torso left');
  if (direction === 1) on.push('torso right');
  byId('torques').textContent = on.length === 0 ? 'none'
    : `${on.join(', ')}${torque === 0 ? ' (0 N\u00b7m)' : ''}`;
  showSwitch('down', limbs, torque, 'pushes arms and legs apart');
  showSwitch('left', direction === -1, torque, 'turns the torso to the left');
  showSwitch('right', direction === 1, torque, 'turns the torso to the right');
  byId('switches-zero').hidden = torque !== 0;

  const note = byId('time-note');
  note.dataset.standing ??= note.textContent;
  if (!paused && note.textContent !== note.dataset.standing) note.textContent = note.dataset.standing;
  const pause = byId('pause');
  const label = paused ? 'Resume' : 'Pause';
  if (pause.textContent !== label) pause.textContent = label;
  const pace = Module._webPace();
  for (const [id, value] of Object.entries({ 'real-time': 0, 'slow-motion': 1, 'fastest': 2 })) {
    byId(id).setAttribute('aria-pressed', String(pace === value));
  }
}

// A torque switch shows its state as text on its second line (and in
// colour), and says what it does at the key torque in force: at 0 N m a
// switch that is on pushes nothing.
function showSwitch(id, on, torque, what) {
  const pushes = on && torque !== 0;
  byId(id).classList.toggle('on', pushes);
  byId(id).classList.toggle('idle', on && !pushes);
  const state = byId(`${id}-state`);
  const text = on ? `on, ${torque.toFixed(0)} N\u00b7m` : 'off';
  if (state.textContent !== text) state.textContent = text;
  state.classList.toggle('on', pushes);
  byId(id).title = torque === 0 ? `Pushes nothing at a key torque of 0 N\u00b7m (arrow ${id})`
    : `Switches on ${torque.toFixed(0)} N\u00b7m that ${what} (arrow ${id})`;
}
