// Keys and buttons: the four arrows and the torque buttons hand GLUT's key
// codes to the program's key table (applySpecialKey); the time buttons set
// the pace. Every key but the arrows is left to the browser, and so are the
// arrows where they mean something to a focused control (a slider, a radio).

import { showReadouts } from './readouts.js';

const byId = (id) => document.getElementById(id);
const keyCodes = { left: 100, up: 101, right: 102, down: 103 };  // GLUT's, as applySpecialKey takes them
const arrowKeys = { ArrowLeft: 'left', ArrowUp: 'up', ArrowRight: 'right', ArrowDown: 'down' };
const paces = { 'real-time': 0, 'slow-motion': 1, 'fastest': 2 };

// Elements in which the arrows move something of their own.
function arrowsBelongTo(target) {
  return target instanceof Element &&
    target.closest('input, select, textarea, [contenteditable]:not([contenteditable="false"])') !== null;
}

export function startControls({ onReset }) {
  window.addEventListener('keydown', (event) => {
    const name = arrowKeys[event.key];
    if (!name || event.altKey || event.ctrlKey || event.metaKey || event.shiftKey) return;
    if (arrowsBelongTo(event.target)) return;
    event.preventDefault();  // the page's arrows do not scroll it
    Module._webPressKey(keyCodes[name]);
    showReadouts();
  });
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
  byId('step').addEventListener('click', () => {
    const running = Module._webPaused() === 0;
    Module._webStepOnce();
    // Step pauses first: say so, until the figure runs again (showReadouts)
    if (running) byId('time-note').textContent = 'Step paused the figure and went on 100 steps: Resume runs it again.';
    showReadouts();
  });
  byId('reset').addEventListener('click', () => { Module._webReset(); onReset(); showReadouts(); });
}
