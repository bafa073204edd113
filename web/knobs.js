// The knobs: a slider and a value for each; what a knob means, its range and
// its standard value are the program's (physics_settings), asked for here.

import { showReadouts } from './readouts.js';

const byId = (id) => document.getElementById(id);

// The program's knob numbers, with how the page writes their values.
const knobs = [
  { id: 'gravity', show: (v) => `${v.toFixed(2)} m/s\u00b2` },
  { id: 'stiffness', show: (v) => `\u00d7 ${v.toFixed(2)}` },
  { id: 'damping', show: (v) => `\u00d7 ${v.toFixed(2)}` },
  { id: 'torque', show: (v) => `${v.toFixed(0)} N\u00b7m` },
];

function setKnob(k, value) {
  Module._webSetKnob(k, value);
  showKnobs();
  showReadouts();
}

export function startKnobs() {
  knobs.forEach((knob, k) => {
    const slider = byId(`knob-${knob.id}`);
    slider.min = String(Module._webKnobLow(k));
    slider.max = String(Module._webKnobHigh(k));
    slider.addEventListener('input', () => setKnob(k, Number(slider.value)));
  });
  for (const button of document.querySelectorAll('[data-gravity]')) {
    button.addEventListener('click', () => {
      const preset = button.dataset.gravity;
      setKnob(0, preset === 'standard' ? Module._webKnobStandard(0) : Number(preset));
    });
  }
  byId('defaults').addEventListener('click', () => {
    Module._webStandardKnobs();
    showKnobs();
    showReadouts();
  });
  showKnobs();
}

// Sliders and values as the program has them (a preset's exact value, such
// as Earth's 9.80665, stands between two of the slider's steps).
export function showKnobs() {
  knobs.forEach((knob, k) => {
    const value = Module._webKnob(k);
    const slider = byId(`knob-${knob.id}`);
    if (Number(slider.value) !== value) slider.value = String(value);
    byId(`knob-${knob.id}-value`).textContent = knob.show(value);
    slider.setAttribute('aria-valuetext', knob.show(value));
  });
  // the planet whose gravity is in force shows as chosen; none between them
  const gravity = Module._webKnob(0);
  for (const button of document.querySelectorAll('[data-gravity]')) {
    const preset = button.dataset.gravity;
    const chosen = String(gravity === (preset === 'standard' ? Module._webKnobStandard(0) : Number(preset)));
    if (button.getAttribute('aria-pressed') !== chosen) button.setAttribute('aria-pressed', chosen);
  }
}
