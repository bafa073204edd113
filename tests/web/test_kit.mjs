// What every browser test of the page shares: its checks, Debian's Chromium
// as this machine runs it, a file server for the built page, and the
// runner's rows to hold the page's numbers to.
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import http from 'node:http';
import path from 'node:path';

// pass(what) prints a check that held; check(condition, what) throws a
// Failure, which the test prints as "NAME: FAIL: what".
export class Failure extends Error {}
export function checks(name) {
  return {
    pass: (what) => console.log(`${name}: ok: ${what}`),
    check: (condition, what) => { if (!condition) throw new Failure(what); },
  };
}

// Launch options for Debian's Chromium, headless, without the background
// traffic this machine's closed network refuses; `extra` adds to them.
export function chromiumOptions(extra = {}) {
  return {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    ...extra,
  };
}

const types = {
  '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.json': 'application/json',
};

// Serves a built page's files on 127.0.0.1 at a free port, each with the
// content type a browser insists on for scripts, modules and stylesheets.
export function servePage(pageDir) {
  return new Promise((resolve) => {
    const server = http.createServer((request, response) => {
      const name = new URL(request.url, 'http://localhost').pathname.replace(/^\/$/, '/index.html');
      const file = path.join(pageDir, path.normalize(name));
      try {
        const body = readFileSync(file);
        response.writeHead(200, { 'Content-Type': types[path.extname(file)] ?? 'application/octet-stream' });
        response.end(body);
      } catch {
        response.writeHead(404);
        response.end();
      }
    });
    server.listen(0, '127.0.0.1', () => resolve(server));
  });
}

// What the runner prints for the given arguments, as a Buffer (or a string
// in `encoding`). A session made at real time on a loaded machine runs long,
// and its CSV can pass the megabyte execFileSync holds by default.
export const runnerOutput = (runner, args, encoding) =>
  execFileSync(runner, args, { encoding, maxBuffer: 1 << 30 });

// The runner's rows for the given arguments, as {step, q, p, energy} of
// doubles, energy holding the --energy columns by name (none without).
export function runnerRows(runner, args) {
  return csvRows(runnerOutput(runner, args, 'utf8'));
}

// The rows of the runner's CSV, as runnerRows gives them, for a figure of any n.
export function csvRows(csv) {
  const [header, ...lines] = csv.trim().split('\n');
  const names = header.split(',');
  const n = names.filter((name) => /^q\d+$/.test(name)).length;
  return lines.map((line) => {
    const cells = line.split(',').map(Number);
    const energy = Object.fromEntries(names.slice(2 + 2 * n).map((name, k) => [name, cells[2 + 2 * n + k]]));
    return { step: cells[0], q: cells.slice(2, 2 + n), p: cells.slice(2 + n, 2 + 2 * n), energy };
  });
}

// The first of the angles and momenta, and of the energy terms both states
// have, in which two states differ (the steps too, unless compareSteps is
// false), or null.
export function firstDifference(a, b, { compareSteps = true } = {}) {
  if (compareSteps && a.step !== b.step) return `step ${a.step} against ${b.step}`;
  if (a.q.length !== b.q.length) return `${a.q.length} angles against ${b.q.length}`;
  for (const part of ['q', 'p']) {
    for (let i = 0; i < a[part].length; ++i) {
      if (!Object.is(a[part][i], b[part][i])) return `${part}${i} ${a[part][i]} against ${b[part][i]}`;
    }
  }
  for (const term of Object.keys(a.energy ?? {})) {
    if (b.energy && term in b.energy && !Object.is(a.energy[term], b.energy[term])) {
      return `${term} ${a.energy[term]} against ${b.energy[term]}`;
    }
  }
  return null;
}

// The page point at the middle of a segment as drawn now: the centre of the
// canvas points (every 2nd pixel) where the core's picking finds it; null
// where it shows nowhere.
export const segmentCentre = (page, segment) => page.evaluate((segment) => {
  const box = document.getElementById('view').getBoundingClientRect();
  let x = 0;
  let y = 0;
  let n = 0;
  for (let row = 0; row < box.height; row += 2) {
    for (let column = 0; column < box.width; column += 2) {
      if (Module._webSegmentAt((column / box.width) * 2 - 1, 1 - (row / box.height) * 2, 0) === segment) {
        x += column;
        y += row;
        ++n;
      }
    }
  }
  return n === 0 ? null : { x: box.left + x / n, y: box.top + y / n };
}, segment);
