// The page around the WebAssembly program: it starts the program, shows how
// far loading is where the figure will appear, sizes the canvas to its box at
// the screen's pixel ratio, and runs the readouts and the graph. Each concern
// has its own module: controls (keys and buttons), knobs, graph, readouts.
// window.marionette is what a test reads.

import { startControls } from './controls.js';
import { clearGraph, sampleGraph, startGraph } from './graph.js';
import { showKnobs, startKnobs } from './knobs.js';
import { energyTerms, showReadouts } from './readouts.js';

const jointCount = 13;
const byId = (id) => document.getElementById(id);
const canvas = byId('view');
const status = byId('status');
const buttons = document.querySelectorAll('button, input');
for (const control of buttons) control.disabled = true;

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
    return Object.fromEntries(Object.entries(energyTerms).map(([name, term]) => [name, Module._webEnergy(term)]));
  },
};

// The drawing buffer is the canvas's CSS size times the pixel ratio, and the
// program's view is told the buffer's size. (The size from the CSS box, not
// devicePixelContentBoxSize, which an emulated pixel ratio leaves out.)
function fitCanvas() {
  const box = canvas.getBoundingClientRect();
  const width = Math.round(box.width * devicePixelRatio);
  const height = Math.round(box.height * devicePixelRatio);
  if (width < 1 || height < 1 || (canvas.width === width && canvas.height === height)) return;
  canvas.width = width;
  canvas.height = height;
  Module._webResize(width, height);
}

// Every animation frame: the graph follows the picture.
function everyFrame() {
  sampleGraph();
  requestAnimationFrame(everyFrame);
}

function run() {
  startControls({ onReset: () => { clearGraph(); sampleGraph(); } });
  startKnobs();
  startGraph();
  for (const control of buttons) control.disabled = false;
  // ?paused starts the page paused at the start-up state.
  if (new URLSearchParams(location.search).has('paused')) Module._webSetPaused(1);
  status.textContent = '';
  showReadouts();
  setInterval(() => { showReadouts(); showKnobs(); }, 250);
  document.addEventListener('visibilitychange', showReadouts);
  requestAnimationFrame(everyFrame);
  window.marionette.ready = true;
}

// The program draws its fourteen pictures first, one per frame.
function waitForPictures() {
  const left = Module._webPicturesLeft();
  if (left === 0) {
    run();
    return;
  }
  status.textContent = `Drawing the figure\u2026 ${14 - left} of 14`;
  requestAnimationFrame(waitForPictures);
}

function started() {
  new ResizeObserver(fitCanvas).observe(canvas);
  window.addEventListener('resize', fitCanvas);  // a zoom changes the pixel ratio, not the CSS size
  waitForPictures();
}

window.Module = {
  canvas,
  postRun: [started],
  print: (text) => console.log(text),
  printErr: (text) => console.warn(text),
  setStatus: (text) => { if (text) status.textContent = text; },
  onAbort: (what) => {
    status.textContent = `The program stopped: ${what}`;
    status.classList.add('failed');
  },
};
status.textContent = 'Loading the program\u2026';
const program = document.createElement('script');
program.src = 'marionette.js';
program.onerror = () => { status.textContent = 'The program could not be loaded.'; status.classList.add('failed'); };
document.body.append(program);
