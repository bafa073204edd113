// The session: every input since the page opened, recorded by the program
// (page_session.h) with the step it takes effect at. Here it travels: Share
// packs its text into a link (compressed by the browser's CompressionStream,
// in the URL's fragment, so no server sees it), Save session and Open
// session write and read its file, Download data saves the runner's CSV of
// it; a link or a file replays from step 0 at the chosen pace, and Take over
// (or any input) ends the replay where it stands. What a session's text
// means, and whether it is one, the program alone decides (readSession).

import { showReadouts } from './readouts.js';
import { showKnobs } from './knobs.js';

const byId = (id) => document.getElementById(id);
const maxSessionBytes = 50000000;  // as the program's reader: no session is larger
const maxLinkLength = 2000000;     // about the longest address a browser opens
const maxErrorLength = 160;        // characters of a reader's message shown
const linkKey = '#session=';

let restarted = () => {};
// What the line under the figure shows: null, or { kind: 'replay' | 'done' | 'error', ... }.
let notice = null;

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

// A session's text into the program, to replay from step 0; false, with a
// fresh session and the reader's message shown, when it is none.
function replay(bytes, from) {
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
  notice = { kind: 'replay', from };
  restarted();
  return true;
}

// A session that is none: one line says why, and a fresh session begins.
function refuse(from, why) {
  Module._webFreshSession();
  const shown = why.length > maxErrorLength ? `${why.slice(0, maxErrorLength)}\u2026` : why;
  notice = { kind: 'error', text: `The ${from} was not replayed (${shown}); a fresh session began.`,
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

// The session in the address's fragment, if there is one, replayed.
async function openLink() {
  if (!location.hash.startsWith(linkKey)) return;
  if (!('DecompressionStream' in window)) {
    refuse('link', 'this browser cannot unpack it: it has no DecompressionStream');
    return;
  }
  let bytes;
  try {
    bytes = await unpack(fromBase64Url(location.hash.slice(linkKey.length)));
  } catch (error) {
    if (!(error instanceof Unreadable)) throw error;
    refuse('link', error.message);
    return;
  }
  replay(bytes, 'link');
}

async function share() {
  if (!('CompressionStream' in window)) {
    byId('share-row').hidden = false;
    byId('share-note').textContent = 'This browser cannot pack a link (it has no CompressionStream): save the session instead.';
    return;
  }
  const link = `${location.href.split('#')[0]}${linkKey}${toBase64Url(await pack(sessionBytes()))}`;
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
  a.href = URL.createObjectURL(new Blob([bytes], { type }));
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 60000);
}

// The runner's CSV replays the session from step 0 in the program, which
// holds the page up for a moment in a long session: say so first.
function downloadData() {
  const note = byId('data-note');
  note.textContent = 'Computing the data\u2026';
  requestAnimationFrame(() => setTimeout(() => {
    download(takeText(Module._webSessionData()), 'marionette-run.csv', 'text/csv');
    note.textContent = '';
  }, 0));
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
  if (replaying) {
    notice = { kind: 'replay', from: notice?.from ?? 'session', end: Module._webReplayEnd() };
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
    text = `Replaying the ${notice.from}: ${seconds(step)} of ${seconds(notice.end)}${paused ? ', paused' : ''}`;
    progress.setAttribute('aria-valuetext', `step ${step.toLocaleString('en')} of ${notice.end.toLocaleString('en')}`);
  } else if (notice?.kind === 'done') {
    text = `Replayed to its end at ${seconds(notice.end)}, and paused there: Pause goes on from here.`;
  } else if (notice?.kind === 'error') {
    text = notice.text;
  }
  const line = byId('replay-text');
  if (line.textContent !== text) line.textContent = text;
  const recorded = `${inputs.toLocaleString('en')} input${inputs === 1 ? '' : 's'} in ${seconds(step)}` +
    (Module._webSessionHasRoom() ? '' : ': full, further inputs are refused');
  const readout = byId('session-inputs');
  if (readout.textContent !== recorded) readout.textContent = recorded;
}
