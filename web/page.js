// The page around the WebAssembly program: it starts the program, shows how
// far loading is where the figure will appear, sizes the canvas to its box at
// the screen's pixel ratio, and runs the readouts and the graph. Each concern
// has its own module: controls (keys and buttons), knobs, graph, readouts,
// session (share, save, open, replay). window.marionette is what a test reads.

import { startControls } from './controls.js';
import { clearGraph, sampleGraph, startGraph } from './graph.js';
import { showKnobs, startKnobs } from './knobs.js';
import { setProgram } from './long_work.js';
import { energyTerms, showReadouts } from './readouts.js';
import { showSession, startSession } from './session.js';

const jointCount = 13;
const byId = (id) => document.getElementById(id);
const canvas = byId('view');
const status = byId('status');
const controls = document.querySelectorAll('button, input');
for (const control of controls) control.disabled = true;

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
  // The session: steps since it began, inputs recorded, and whether (and to which step) it replays.
  session() {
    return { step: Module._webSessionStep(), inputs: Module._webSessionInputs(),
      replaying: Module._webReplaying() === 1, end: Module._webReplayEnd() };
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

// Every animation frame: the graph follows the picture, the session's line the replay.
function everyFrame() {
  sampleGraph();
  showSession();
  requestAnimationFrame(everyFrame);
}

function run() {
  const restart = () => { clearGraph(); sampleGraph(); };
  startControls({ onReset: restart });
  startKnobs();
  startGraph();
  for (const control of controls) control.disabled = false;
  // ?paused starts the page paused at the start-up state.
  if (new URLSearchParams(location.search).has('paused')) Module._webSetPaused(1);
  startSession({ onRestart: restart });  // after the graph: a link replays at once
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
  onAbort: (what) => failed(`The program stopped: ${what}`),
};

function failed(text) {
  status.textContent = text;
  status.classList.add('failed');
}

// The program and the charting library travel gzip-compressed, since a plain
// file server (python3 -m http.server) compresses nothing; the browser's
// DecompressionStream unpacks them. Where it has none, the plain files come.
// index.html asks for the .gz files early (rel=preload); these fetches take
// them over. The one-file page (marionette.html, which works opened from
// disk, where nothing can be fetched) carries the .gz files inside itself, as
// base64 in <script type="application/gzip" data-file="NAME.gz"> blocks.
const received = new Map();  // bytes received so far, by file
const expected = new Map();  // bytes each file has, where the server says
function showProgress() {
  const sum = (map) => [...map.values()].reduce((a, b) => a + b, 0);
  const total = sum(expected);
  status.textContent = total > 0
    ? `Loading the program\u2026 ${Math.round(sum(received) / 1024)} of ${Math.round(total / 1024)} KB`
    : 'Loading the program\u2026';
}

function carried(file) {
  const block = document.querySelector(`script[type="application/gzip"][data-file="${file}"]`);
  return block === null ? null : `data:application/gzip;base64,${block.textContent}`;
}

async function fetchFile(name, as) {
  const packed = 'DecompressionStream' in window;
  const file = packed ? `${name}.gz` : name;
  const response = await fetch(carried(file) ?? file);
  if (!response.ok) throw new Error(`${response.url}: ${response.status} ${response.statusText}`);
  expected.set(name, Number(response.headers.get('Content-Length')) || 0);
  received.set(name, 0);
  const counted = response.body.pipeThrough(new TransformStream({
    transform(chunk, controller) {
      received.set(name, received.get(name) + chunk.byteLength);
      showProgress();
      controller.enqueue(chunk);
    },
  }));
  const body = new Response(packed ? counted.pipeThrough(new DecompressionStream('gzip')) : counted);
  return as === 'text' ? body.text() : body.arrayBuffer();
}

function runScript(text) {
  const script = document.createElement('script');
  script.textContent = text;
  document.head.append(script);
}

showProgress();
Promise.all([fetchFile('uPlot.iife.min.js', 'text'), fetchFile('marionette.js', 'text'),
  fetchFile('marionette.wasm', 'arrayBuffer')])
  .then(async ([chart, program, wasm]) => {
    runScript(chart);
    // compiled once, for the page and for the workers of long work (long_work.js)
    const compiled = await WebAssembly.compile(wasm);
    setProgram(program, compiled);
    Module.instantiateWasm = (imports, receive) => {
      WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled))
        .catch((error) => failed(`The program could not start: ${error.message}`));
      return {};
    };
    status.textContent = 'Starting\u2026';
    runScript(program);
  })
  .catch((error) => failed(`The program could not be loaded: ${error.message}`));
