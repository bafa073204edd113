// The page around the WebAssembly program: its buttons, its readouts, and
// window.marionette, through which a test reads the state.
(function () {
'use strict';

const keyCodes = { left: 100, up: 101, right: 102, down: 103 };  // GLUT's, as applySpecialKey takes them
const paces = { 'real-time': 0, 'slow-motion': 1, 'fastest': 2 };
const jointCount = 13;
const energyTerms = ['kinetic', 'gravity', 'spring', 'dissipated', 'supplied', 'residual'];  // webEnergy's 0 to 5

const byId = (id) => document.getElementById(id);
const buttons = document.querySelectorAll('button');
for (const button of buttons) button.disabled = true;

window.marionette = {
  ready: false,
  // The steps since start-up or the last reset, and the 13 angles and 13 momenta.
  state() {
    const q = [];
    const p = [];
    for (let i = 0; i < jointCount; ++i) {
      q.push(Module._webAngle(i));
      p.push(Module._webMomentum(i));
    }
    return { step: Module._webStepCount(), q, p };
  },
  // The energy terms now and the works since start-up or the last reset, in joules.
  energy() {
    return Object.fromEntries(energyTerms.map((name, term) => [name, Module._webEnergy(term)]));
  },
};

// Rate readouts over the last second or so.
let rateSample = null;
let stepsPerSecond = null;

function showReadouts() {
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
  byId('speed').textContent = paused ? 'paused'
    : stepsPerSecond === null ? '\u2013' : (stepsPerSecond * Module._webTimeStep()).toFixed(2) + ' \u00d7';

  energyTerms.forEach((id, term) => {
    const value = Module._webEnergy(term);
    byId(id).textContent = id === 'residual' ? value.toExponential(1) : value.toFixed(2);
  });

  const limbs = Module._webLimbTorqueMode() === 1;
  const direction = Module._webTorsoTorqueDirection();
  const on = [];
  if (limbs) on.push('arms and legs');
  if (direction === -1) on.push('torso left');
  if (direction === 1) on.push('torso right');
  byId('torques').textContent = on.length ? on.join(', ') : 'none';
  byId('down').setAttribute('aria-pressed', String(limbs));
  byId('left').setAttribute('aria-pressed', String(direction === -1));
  byId('right').setAttribute('aria-pressed', String(direction === 1));
  byId('pause').setAttribute('aria-pressed', String(paused));
  const pace = Module._webPace();
  for (const [id, value] of Object.entries(paces)) byId(id).setAttribute('aria-pressed', String(pace === value));
}

function started() {
  for (const [name, code] of Object.entries(keyCodes)) {
    byId(name).addEventListener('click', () => { Module._webPressKey(code); showReadouts(); });
  }
  for (const [id, value] of Object.entries(paces)) {
    byId(id).addEventListener('click', () => { Module._webSetPace(value); showReadouts(); });
  }
  byId('pause').addEventListener('click', () => {
    Module._webSetPaused(Module._webPaused() ? 0 : 1);
    showReadouts();
  });
  byId('step').addEventListener('click', () => { Module._webStepOnce(); showReadouts(); });
  byId('reset').addEventListener('click', () => { Module._webReset(); showReadouts(); });
  for (const button of buttons) button.disabled = false;
  // ?paused starts the page paused at the start-up state.
  if (new URLSearchParams(location.search).has('paused')) Module._webSetPaused(1);
  byId('status').textContent = '';
  showReadouts();
  setInterval(showReadouts, 250);
  window.marionette.ready = true;
}

window.Module = {
  canvas: byId('view'),
  postRun: [started],
  print: (text) => console.log(text),
  printErr: (text) => console.warn(text),
  setStatus: (text) => { if (text) byId('status').textContent = text; },
  onAbort: (what) => { byId('status').textContent = 'The program stopped: ' + what; },
};
})();
