// Long work off the page's thread: the runner's CSV of a session (Download
// data) and a replay to its end (Jump to the end) are computed by a second
// instance of the program in a worker, which reports the steps done and
// hands the CSV over in chunks as it is written. The worker comes from a
// Blob URL, its script the program's own text after a few lines that set it
// up, so that the one-file page, opened from disk, has it too. It ends when
// the work is done or cancelled, and its memory goes with it.

let workerUrl = null;  // the worker's script, made once
let program = null;    // { text, wasm }: the program's script and its compiled WebAssembly

// The program as page.js loaded it, for the workers to run.
export function setProgram(text, wasm) {
  program = { text, wasm };
}

// What runs in the worker before the program: the program waits for the
// job's message, then runs the job instead of its main (noInitialRun).
function inWorker() {
  let job = null;
  let arrived;
  const wasm = new Promise((resolve) => { arrived = resolve; });
  self.onmessage = (event) => {
    job = event.data;
    arrived(job.wasm);
  };
  const fail = (text) => postMessage({ error: String(text) });
  self.Module = {
    noInitialRun: true,
    instantiateWasm(imports, receive) {
      wasm.then((module) => WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module)))
        .catch(fail);
      return {};
    },
    onRuntimeInitialized() {
      const { kind, text } = job;
      const inbox = Module._webSessionInbox(text.length);
      if (!inbox) {
        fail('there is no room for the session in memory');
        return;
      }
      Module.HEAPU8.set(text, inbox);
      const error = kind === 'csv' ? Module._webWorkerCsv(text.length) : Module._webWorkerJump(text.length);
      if (error) {
        fail(Module.UTF8ToString(error));
        return;
      }
      if (kind === 'csv') {
        postMessage({ finished: true });
        return;
      }
      const at = Module._webSnapshot();
      const snapshot = Module.HEAPU8.slice(at, at + Module._webTextLength());
      postMessage({ finished: true, snapshot }, [snapshot.buffer]);
    },
    print: (line) => console.log(line),
    printErr: (line) => console.warn(line),
    onAbort: (what) => fail(`the program stopped: ${what}`),
  };
}

// Starts `kind` ('csv' or 'jump') on a session's text (bytes, handed over
// to the worker); calls progress(done, chunk) as steps are done (chunk: the
// CSV's next bytes, if any), then finished(snapshot) or failed(why), once.
// Returns cancel(), which ends the worker at once; after finished or failed
// it is ended already. None of them is called before this returns.
export function startLongWork(kind, text, { progress, finished, failed }) {
  if (program === null) {
    queueMicrotask(() => failed('the program is not loaded yet'));  // never before this returns
    return () => {};
  }
  workerUrl ??= URL.createObjectURL(new Blob([`(${inWorker})();\n${program.text}`], { type: 'text/javascript' }));
  let worker = new Worker(workerUrl);
  const end = () => {
    worker?.terminate();
    worker = null;
  };
  worker.onmessage = ({ data }) => {
    if (worker === null) return;
    if (data.error !== undefined) {
      end();
      failed(data.error);
    } else if (data.finished) {
      end();
      finished(data.snapshot);
    } else {
      progress(data.done, data.chunk);
    }
  };
  worker.onerror = (event) => {
    event.preventDefault();
    end();
    failed(event.message || 'the worker stopped');
  };
  worker.postMessage({ kind, text, wasm: program.wasm }, [text.buffer]);
  return end;
}
