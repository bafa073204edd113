// The session: every input since the page opened, recorded by the program
// (page_session.h) with the step it takes effect at. Here it travels: Share
// packs its text into a link (compressed by the browser's CompressionStream,
// in the URL's fragment, so no server sees it), Save session and Open
// session write and read its file, Download data saves the runner's CSV of
// it; a link or a file replays from step 0 (a link at the pace it was made
// at), Jump to the end shows where it ends, and Take over (or any input)
// ends the replay where it stands. What a session's text means, and whether
// it is one, the program alone decides (readSession). The long work (the
// data, the jump) runs in a worker (long_work.js) while the figure goes on.

import { startLongWork } from './long_work.js';
import { showReadouts } from './readouts.js';
import { showKnobs } from './knobs.js';

const byId = (id) => document.getElementById(id);
const maxSessionBytes = 50000000;  // as the program's reader: no session is larger
const maxLinkLength = 2000000;     // about the longest address a browser opens
const maxErrorLength = 160;        // characters of a reader's message shown
const linkKey = '#session=';
const paceNames = ['real-time', 'slow-motion', 'fastest'];  // as webSetPace numbers them, in a link

let restarted = () => {};
// What the line under the figure shows: null, or { kind: 'replay' | 'done' | 'error', ... }.
let notice = null;
// The replay's session text, while it replays (for Jump to the end); a new
// replay or a fresh session gets a new generation.
let replayed = null;
let generation = 0;
let jump = null;      // the jump being computed: { generation, done, end, cancel }
let dataWork = null;  // the data being computed: { done, end, cancel }

// The bytes of the text the program handed over at `address`.
function takeText(address) {
  const length = Module._webTextLength();
  return Module.HEAPU8.slice(address, address + length);
}

function sessionBytes() {
  return takeText(Module._webSessionText());
}

function seconds(steps) {
  return `${(steps * Module._webTimeStep()).toFixed(2)} s`;
}

// A session's text into the program, to replay from step 0 (at `pace`, if
// given); false, with a fresh session and the reader's message shown, when
// it is none.
function replay(bytes, from, pace = null) {
  const inbox = Module._webSessionInbox(bytes.length);
  if (!inbox) {
    refuse(from, 'there is no room for it in memory');
    return false;
  }
  Module.HEAPU8.set(bytes, inbox);  // after webSessionInbox: the heap may have grown
  const error = Module._webLoadSession(bytes.length);
  if (error) {
    refuse(from, Module.UTF8ToString(error));
    return false;
  }
  if (pace !== null) Module._webSetPace(pace);
  replayed = Module._webReplaying() === 1 ? bytes : null;
  ++generation;
  notice = { kind: 'replay', from };
  restarted();
  return true;
}

// A session that is none: one line says why, and a fresh session begins,
// running, whatever the page did before.
function refuse(from, why) {
  Module._webFreshSession();
  Module._webSetPaused(0);
  replayed = null;
  ++generation;
  const shown = why.length > maxErrorLength ? `${why.slice(0, maxErrorLength)}\u2026` : why;
  const stop = /[.?!\u2026]$/.test(shown) ? '' : '.';
  notice = { kind: 'error', text: `${from === 'link' ? 'Link' : 'File'} not replayed: ${shown}${stop} A fresh session began.`,
    inputs: Module._webSessionInputs() };
  restarted();
}

// Compression: 'deflate-raw' where the browser has it, else 'gzip', whose
// first byte 0x1f no raw deflate stream can begin with (its block type would
// be the reserved 3), so that unpacking tells them apart.
async function pack(bytes) {
  let stream;
  try {
    stream = new CompressionStream('deflate-raw');
  } catch {
    stream = new CompressionStream('gzip');
  }
  return new Uint8Array(await new Response(new Blob([bytes]).stream().pipeThrough(stream)).arrayBuffer());
}

class Unreadable extends Error {}

// Unpacks at most maxSessionBytes: a link that unpacks to more is refused
// before it fills the memory.
async function unpack(bytes) {
  const format = bytes[0] === 0x1f && bytes[1] === 0x8b ? 'gzip' : 'deflate-raw';
  const reader = new Blob([bytes]).stream().pipeThrough(new DecompressionStream(format)).getReader();
  const chunks = [];
  let total = 0;
  for (;;) {
    let chunk;
    try {
      chunk = await reader.read();
    } catch {
      throw new Unreadable('its data does not unpack: cut short or changed?');
    }
    if (chunk.done) break;
    total += chunk.value.byteLength;
    if (total > maxSessionBytes) {
      reader.cancel().catch(() => {});
      throw new Unreadable('it unpacks to more than 50 MB');
    }
    chunks.push(chunk.value);
  }
  const text = new Uint8Array(total);
  let at = 0;
  for (const chunk of chunks) {
    text.set(chunk, at);
    at += chunk.byteLength;
  }
  return text;
}

function toBase64Url(bytes) {
  let binary = '';
  for (let k = 0; k < bytes.length; k += 0x8000) binary += String.fromCharCode(...bytes.subarray(k, k + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
  if (!/^[A-Za-z0-9_-]+$/.test(text) || text.length % 4 === 1) throw new Unreadable('it is not base64url');
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(binary.length);
  for (let k = 0; k < binary.length; ++k) bytes[k] = binary.charCodeAt(k);
  return bytes;
}

// The session in the address's fragment, if there is one, replayed at the
// pace the link names (#session=DATA&pace=NAME).
async function openLink() {
  if (!location.hash.startsWith(linkKey)) return;
  const [data, ...parameters] = location.hash.slice(linkKey.length).split('&');
  const paceName = parameters.find((p) => p.startsWith('pace='))?.slice(5);
  const pace = paceNames.includes(paceName) ? paceNames.indexOf(paceName) : null;
  if (!('DecompressionStream' in window)) {
    refuse('link', 'this browser cannot unpack it: it has no DecompressionStream');
    return;
  }
  let bytes;
  try {
    bytes = await unpack(fromBase64Url(data));
  } catch (error) {
    if (!(error instanceof Unreadable)) throw error;
    refuse('link', error.message);
    return;
  }
  replay(bytes, 'link', pace);
}

async function share() {
  if (!('CompressionStream' in window)) {
    byId('share-row').hidden = false;
    byId('share-note').textContent = 'This browser cannot pack a link (it has no CompressionStream): save the session instead.';
    return;
  }
  const link = `${location.href.split('#')[0]}${linkKey}${toBase64Url(await pack(sessionBytes()))}` +
    `&pace=${paceNames[Module._webSessionPace()]}`;
  const field = byId('share-link');
  const note = byId('share-note');
  field.value = link;
  byId('share-row').hidden = false;
  if (link.length > maxLinkLength) {
    note.textContent = `The link is ${(link.length / 1e6).toFixed(1)} million characters long, more than a ` +
      'browser opens: save the session instead.';
    return;
  }
  try {
    await navigator.clipboard.writeText(link);
    note.textContent = `Link copied (${link.length.toLocaleString('en')} characters).`;
  } catch {
    note.textContent = `Copy the link (${link.length.toLocaleString('en')} characters) from the field.`;
    field.focus();
    field.select();
  }
}

function download(bytes, name, type) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(bytes instanceof Blob ? bytes : new Blob([bytes], { type }));
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 60000);
}

const steps = (n) => n.toLocaleString('en');

// The runner's CSV of the session as it is now, computed in a worker while
// the figure goes on: its progress and Cancel show under the buttons, and
// the CSV gathers in Blobs (kept by the browser, not the page) as it comes.
function downloadData() {
  if (dataWork !== null) return;
  const end = Module._webSessionStep();
  const parts = [];
  let pending = [];
  let pendingBytes = 0;
  const gather = () => {
    parts.push(new Blob(pending));
    pending = [];
    pendingBytes = 0;
  };
  const over = (text) => {
    const focused = document.activeElement === byId('data-cancel');
    dataWork = null;
    showDataWork(text);
    if (focused) byId('data').focus();
  };
  dataWork = { done: 0, end };
  dataWork.cancel = startLongWork('csv', sessionBytes(), {
    progress(done, chunk) {
      dataWork.done = done;
      if (chunk) {
        pending.push(chunk);
        pendingBytes += chunk.byteLength;
        if (pendingBytes >= 1 << 22) gather();
      }
      showDataWork();
    },
    finished() {
      gather();
      download(new Blob(parts, { type: 'text/csv' }), 'marionette-run.csv');
      over('');
    },
    failed(why) {
      over(`The data could not be computed: ${why}.`);
    },
  });
  const focused = document.activeElement === byId('data');
  showDataWork();
  if (focused) byId('data-cancel').focus();
}

function cancelData() {
  if (dataWork === null) return;
  dataWork.cancel();
  dataWork = null;
  byId('data').focus();
  showDataWork('Download data cancelled.');
}

// The data's progress and Cancel, or what became of it (`text`).
function showDataWork(text = '') {
  const working = dataWork !== null;
  byId('data').disabled = working;
  byId('data-work').hidden = !working;
  if (working) {
    const progress = byId('data-progress');
    progress.max = Math.max(1, dataWork.end);
    progress.value = dataWork.done;
    text = `Computing the data: ${steps(dataWork.done)} of ${steps(dataWork.end)} steps`;
    progress.setAttribute('aria-valuetext', text);
  }
  const note = byId('data-note');
  if (note.textContent !== text) note.textContent = text;
}

// The replay computed to its end in a worker, while it goes on here; at the
// end the page takes on the worker's state, paused there, as if it had
// replayed that far itself. A replay that ends first (Take over, any input,
// another session) cancels it.
function jumpToEnd() {
  if (jump !== null) {
    cancelJump();
    return;
  }
  if (replayed === null) return;
  const mine = generation;
  jump = { generation: mine, done: 0, end: Module._webReplayEnd() };
  jump.cancel = startLongWork('jump', replayed.slice(), {
    progress(done) {
      jump.done = done;
    },
    finished(snapshot) {
      jump = null;
      if (mine !== generation || Module._webReplaying() !== 1) return;
      const inbox = Module._webSessionInbox(snapshot.length);
      if (inbox) Module.HEAPU8.set(snapshot, inbox);
      if (!inbox || !Module._webRestoreSnapshot(snapshot.length)) return;
      replayed = null;
      const focused = document.activeElement === byId('jump');
      restarted();
      if (focused) byId('pause').focus();  // the jump's button goes with the replay: Resume goes on
    },
    failed(why) {
      jump = null;
      notice = { ...notice, failure: `Jump to the end failed: ${why}.` };
    },
  });
  showSession();
}

function cancelJump() {
  jump?.cancel();
  jump = null;
  showSession();
}

async function openFile(file) {
  if (file.size > maxSessionBytes) {
    refuse('file', `${file.name} is larger than 50 MB`);
    return;
  }
  let bytes;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch {
    refuse('file', `${file.name} cannot be read`);
    return;
  }
  replay(bytes, 'file');
}

export function startSession({ onRestart }) {
  restarted = () => {
    window.dispatchEvent(new Event('marionette-restart'));  // a drag from before lets go (grab.js)
    onRestart();
    showKnobs();
    showReadouts();
    showSession();
  };
  byId('share').addEventListener('click', () => { share(); });
  byId('save').addEventListener('click', () => download(sessionBytes(), 'marionette-session.txt', 'text/plain'));
  const picker = byId('open-file');
  byId('open').addEventListener('click', () => picker.click());
  picker.addEventListener('change', () => {
    const [file] = picker.files;
    picker.value = '';
    if (file) openFile(file);
  });
  byId('data').addEventListener('click', downloadData);
  byId('data-cancel').addEventListener('click', cancelData);
  byId('jump').addEventListener('click', jumpToEnd);
  byId('take-over').addEventListener('click', () => {
    Module._webTakeOver();
    notice = null;
    showSession();
  });
  window.addEventListener('hashchange', openLink);
  openLink();
}

// The line under the figure (a replay, its end, a refusal) and the session's
// readout; every animation frame.
export function showSession() {
  const replaying = Module._webReplaying() === 1;
  const step = Module._webSessionStep();
  const inputs = Module._webSessionInputs();
  const paused = Module._webPaused() === 1;
  if (!replaying && replayed !== null) {
    replayed = null;
    ++generation;
  }
  if (jump !== null && jump.generation !== generation) cancelJump();
  if (replaying) {
    notice = { kind: 'replay', from: notice?.from ?? 'session', end: Module._webReplayEnd(), failure: notice?.failure };
  } else if (notice?.kind === 'replay') {
    // over: at its end (paused there), or taken over
    notice = paused && step === (notice.end ?? step) ? { kind: 'done', end: step, inputs } : null;
  } else if (notice?.kind === 'done' && (!paused || inputs !== notice.inputs || step !== notice.end)) {
    notice = null;
  } else if (notice?.kind === 'error' && inputs !== notice.inputs) {
    notice = null;
  }

  const box = byId('replay');
  box.hidden = notice === null;
  box.classList.toggle('failed', notice?.kind === 'error');
  byId('replay-bar').hidden = notice?.kind !== 'replay';
  const progress = byId('replay-progress');
  let text = '';
  if (notice?.kind === 'replay') {
    progress.max = notice.end;
    progress.value = step;
    text = `Replaying the ${notice.from}: ${seconds(step)} of ${seconds(notice.end)}${paused ? ', paused' : ''}` +
      (jump !== null ? `; the end: ${steps(jump.done)} of ${steps(jump.end)} steps computed`
        : notice.failure ? `. ${notice.failure}` : '');
    progress.setAttribute('aria-valuetext', `step ${step.toLocaleString('en')} of ${notice.end.toLocaleString('en')}`);
  } else if (notice?.kind === 'done') {
    text = `Replayed to its end at ${seconds(notice.end)} and paused there: Resume goes on.`;
  } else if (notice?.kind === 'error') {
    text = notice.text;
  }
  const line = byId('replay-text');
  if (line.textContent !== text) {
    line.textContent = text;
    line.title = text;  // all of it, where two lines cut it short
  }
  const jumpButton = byId('jump');
  const jumpLabel = jump !== null ? 'Cancel the jump' : 'Jump to the end';
  if (jumpButton.textContent !== jumpLabel) jumpButton.textContent = jumpLabel;
  const recorded = `${inputs.toLocaleString('en')} input${inputs === 1 ? '' : 's'} in ${seconds(step)}` +
    (Module._webSessionHasRoom() ? '' : ': full, further inputs are refused');
  const readout = byId('session-inputs');
  if (readout.textContent !== recorded) readout.textContent = recorded;
}
