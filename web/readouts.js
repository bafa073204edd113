// The readouts beside the figure: time, rate, speed, the torques switched on,
// and the energy terms, refreshed four times a second and after every press.

const byId = (id) => document.getElementById(id);

// webEnergy's terms by the id of their cell.
export const energyTerms = { kinetic: 0, gravity: 1, spring: 2, dissipated: 3, supplied: 4, residual: 5, knobs: 6, hand: 7 };

let rateSample = null;     // steps taken and the time, about a second ago
let stepsPerSecond = null;

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
    byId(id).textContent = id === 'residual' ? value.toExponential(1) : value.toFixed(2);
  }

  const limbs = Module._webLimbTorqueMode() === 1;
  const direction = Module._webTorsoTorqueDirection();
  const on = [];
  if (limbs) on.push('arms and legs');
  if (direction === -1) on.push('torso left');
  if (direction === 1) on.push('torso right');
  byId('torques').textContent = on.length ? on.join(', ') : 'none';
  showSwitch('down', limbs);
  showSwitch('left', direction === -1);
  showSwitch('right', direction === 1);

  byId('pause').setAttribute('aria-pressed', String(paused));
  const pace = Module._webPace();
  for (const [id, value] of Object.entries({ 'real-time': 0, 'slow-motion': 1, 'fastest': 2 })) {
    byId(id).setAttribute('aria-pressed', String(pace === value));
  }
}

// A torque switch shows its state as text on its second line (and in colour).
function showSwitch(id, on) {
  byId(id).classList.toggle('on', on);
  const state = byId(`${id}-state`);
  state.textContent = on ? 'on' : 'off';
  state.classList.toggle('on', on);
}
