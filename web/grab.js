// The hand: take hold of any segment of the figure with a mouse, a finger or
// a pen and pull it. The pointer goes to the core in normalised device
// coordinates of the canvas; what is under it, the pull and its work are
// computed there (webGrab, webDrag, webRelease, webHeldPoint). One grab at a
// time: a second finger does nothing.
(function () {
'use strict';

const canvas = document.getElementById('view');
const line = document.getElementById('pull-line');
const heldMark = document.getElementById('pull-held');
const fingerReach = 12;  // CSS pixels around a finger's point that still take hold

let grab = null;  // while held: { pointerId, clientX, clientY } of the holding pointer

// A touch that misses the figure scrolls the page as usual (touch-action
// allows vertical panning and zooming); one that takes hold stops the
// browser's panning in its touchstart, which Chrome fires after pointerdown.
canvas.style.touchAction = 'pan-y pinch-zoom';

const ready = () => window.marionette?.ready === true;

// Normalised device coordinates of a client point, and the reach of the
// pointer's kind in the same units across.
function toDevice(clientX, clientY, pointerType) {
  const box = canvas.getBoundingClientRect();
  return {
    x: ((clientX - box.left) / box.width) * 2 - 1,
    y: 1 - ((clientY - box.top) / box.height) * 2,
    reach: pointerType === 'touch' ? (2 * fingerReach) / box.width : 0,
  };
}

// The client point of normalised device coordinates.
function toClient(x, y) {
  const box = canvas.getBoundingClientRect();
  return { x: box.left + ((x + 1) / 2) * box.width, y: box.top + ((1 - y) / 2) * box.height };
}

function release() {
  if (!grab) return;
  const id = grab.pointerId;
  grab = null;
  Module._webRelease();
  if (canvas.hasPointerCapture(id)) canvas.releasePointerCapture(id);
  canvas.style.cursor = '';
}

// Every frame: the line from the held point, as drawn, to the pointer while
// held; in a replay, to where the replayed hand pulls.
function drawPull() {
  requestAnimationFrame(drawPull);
  if (!ready()) return;
  const held = toClient(Module._webHeldPoint(0), Module._webHeldPoint(1));
  const to = grab ? { x: grab.clientX, y: grab.clientY } : toClient(Module._webHeldPoint(2), Module._webHeldPoint(3));
  const shown = [held.x, held.y, to.x, to.y].every(Number.isFinite);
  if (shown) {
    line.setAttribute('x1', held.x);
    line.setAttribute('y1', held.y);
    line.setAttribute('x2', to.x);
    line.setAttribute('y2', to.y);
    heldMark.setAttribute('cx', held.x);
    heldMark.setAttribute('cy', held.y);
  }
  line.style.visibility = shown ? 'visible' : 'hidden';
  heldMark.style.visibility = shown ? 'visible' : 'hidden';
}
requestAnimationFrame(drawPull);

canvas.addEventListener('pointerdown', (event) => {
  if (!ready() || grab || !event.isPrimary) return;
  if (event.pointerType === 'mouse' && event.button !== 0) return;
  const at = toDevice(event.clientX, event.clientY, event.pointerType);
  if (Module._webGrab(at.x, at.y, at.reach) < 0) return;  // missed: the browser does as usual
  event.preventDefault();
  grab = { pointerId: event.pointerId, clientX: event.clientX, clientY: event.clientY };
  canvas.setPointerCapture(event.pointerId);
  canvas.style.cursor = 'grabbing';
});

canvas.addEventListener('pointermove', (event) => {
  if (!ready()) return;
  if (grab) {
    if (event.pointerId !== grab.pointerId) return;
    // leaving the window lets go
    if (event.clientX < 0 || event.clientY < 0 || event.clientX >= innerWidth || event.clientY >= innerHeight) {
      release();
      return;
    }
    grab.clientX = event.clientX;
    grab.clientY = event.clientY;
    const at = toDevice(event.clientX, event.clientY, event.pointerType);
    Module._webDrag(at.x, at.y);
  } else if (event.pointerType !== 'touch') {
    const at = toDevice(event.clientX, event.clientY, event.pointerType);
    canvas.style.cursor = Module._webSegmentAt(at.x, at.y, at.reach) >= 0 ? 'grab' : '';
  }
});

for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) {
  canvas.addEventListener(type, (event) => { if (grab && event.pointerId === grab.pointerId) release(); });
}
window.addEventListener('blur', release);
window.addEventListener('marionette-restart', release);  // a new session: a drag from before lets go
document.addEventListener('visibilitychange', () => { if (document.hidden) release(); });

// The canvas's touches: while held, none pans or zooms the page; otherwise
// the browser does as usual. Emscripten's GLUT listens to them on the window
// too, to make mouse events for a mouse callback this program never
// registers, and cancels every one (too late for panning, with an error in
// the console); this listener, on the window before GLUT's, keeps them from it.
for (const type of ['touchstart', 'touchmove', 'touchend', 'touchcancel']) {
  window.addEventListener(type, (event) => {
    if (event.target !== canvas) return;
    if (grab && event.cancelable) event.preventDefault();
    event.stopImmediatePropagation();
  }, { capture: true, passive: false });
}

const marionette = window.marionette;
// Where the held point is drawn and where the pointer is, in CSS pixels from
// the canvas's top left corner; null while nothing is held.
marionette.heldPoint = () => {
  if (!grab) return null;
  const box = canvas.getBoundingClientRect();
  const held = toClient(Module._webHeldPoint(0), Module._webHeldPoint(1));
  return {
    held: { x: held.x - box.left, y: held.y - box.top },
    pointer: { x: grab.clientX - box.left, y: grab.clientY - box.top },
  };
};
})();
