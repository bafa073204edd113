// The figure: the Figure control picks a built-in (the chain's and the
// tree's N beside it), Open model (or a file dropped on the figure) runs a
// model file, read by the program's own reader, and ?figure=NAME in the
// address names the figure a page starts with. A figure without pictures of
// its own is drawn here, as the program places its segments (webBars):
// rounded bars, dots at the joints, one colour per limb.

const byId = (id) => document.getElementById(id);
const maxModelBytes = 16 * 1024 * 1024;
const limbColours = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2', '#17becf'];

let changesSeen = -1;   // webFigureChanges when the controls last followed the figure
let onChange = () => {};
let limbOf = [];        // each segment's limb: a new one wherever a parent has more than one child

// Hands a text to the program and asks for that figure; null when it runs,
// else the program's one line saying why not.
function loadFigure(text, isModelFile) {
  const bytes = new TextEncoder().encode(text);
  const inbox = Module._webSessionInbox(bytes.length);
  if (!inbox) return 'there is no room for it in memory';
  Module.HEAPU8.set(bytes, inbox);
  const error = Module._webLoadFigure(bytes.length, isModelFile ? 1 : 0);
  return error ? Module.UTF8ToString(error) : null;
}

function say(text, failed = false) {
  const note = byId('figure-note');
  note.textContent = text;
  note.classList.toggle('warning', failed);
}

// Runs the figure `name` (or the model file's text); true when it runs.
export function chooseFigure(name, { isModelFile = false, from = name } = {}) {
  const error = loadFigure(name, isModelFile);
  if (error !== null) {
    say(`${from} not opened: ${error}${/[.?!]$/.test(error) ? '' : '.'} The figure runs on as it was.`, true);
    followFigure();
    return false;
  }
  say(isModelFile ? `Running ${from}.` : '');
  followFigure();
  return true;
}

async function openModel(file) {
  if (file.size > maxModelBytes) {
    say(`${file.name} not opened: it is larger than 16 MB. The figure runs on as it was.`, true);
    return;
  }
  let text;
  try {
    text = await file.text();
  } catch {
    say(`${file.name} not opened: it cannot be read. The figure runs on as it was.`, true);
    return;
  }
  chooseFigure(text, { isModelFile: true, from: file.name });
}

function chosenName() {
  const kind = byId('figure').value;
  const n = Math.round(Number(byId('figure-n').value));
  return kind === 'chain' || kind === 'tree' ? `${kind}:${n}` : kind;
}

// The controls follow the running figure (after a pick, a link, a session).
function followFigure() {
  const changes = Module._webFigureChanges();
  if (changes === changesSeen) return;
  changesSeen = changes;
  const name = figureName();
  const [kind, n] = name.split(':');
  const select = byId('figure');
  if ([...select.options].some((option) => option.value === kind)) select.value = kind;
  else select.value = 'file';
  byId('figure-file-option').hidden = select.value !== 'file';
  if (n !== undefined) byId('figure-n').value = n;
  byId('figure-n-box').hidden = n === undefined;
  const count = Module._webSegmentCount();
  limbOf = [];
  const children = new Array(count).fill(0);
  for (let i = 0; i < count; ++i) {
    const parent = Module._webParent(i);
    if (parent >= 0) ++children[parent];
  }
  let limbs = 0;
  for (let i = 0; i < count; ++i) {
    const parent = Module._webParent(i);
    limbOf.push(parent < 0 || children[parent] > 1 ? limbs++ : limbOf[parent]);
  }
  onChange();
}

export function figureName() {
  const address = Module._webFigureName();
  return new TextDecoder().decode(Module.HEAPU8.slice(address, address + Module._webTextLength()));
}

// Draws bars (webBars' numbers for the page's run, or twin 1 for the
// comparison's copy); `colour` gives each segment's colour.
function drawBars(context, values, count, widthScale, colour, dots) {
  const w = context.canvas.width / 2;
  const h = context.canvas.height / 2;
  const x = (ndc) => (ndc + 1) * w;
  const y = (ndc) => (1 - ndc) * h;
  const width = Math.max(2, values[0] * w) * widthScale;
  context.lineCap = 'round';
  context.lineWidth = width;
  for (let i = 0; i < count; ++i) {
    const k = 2 + 4 * i;
    context.strokeStyle = colour(i);
    context.beginPath();
    context.moveTo(x(values[k]), y(values[k + 1]));
    context.lineTo(x(values[k + 2]), y(values[k + 3]));
    context.stroke();
  }
  // the joints as dots, where the bars are wide enough to show them apart
  if (!dots || width < 5) return;
  context.fillStyle = '#222222';
  for (let i = 0; i < count; ++i) {
    const k = 2 + 4 * i;
    context.beginPath();
    context.arc(x(values[k]), y(values[k + 1]), width * 0.3, 0, 2 * Math.PI);
    context.fill();
  }
}

// Every animation frame: the controls follow the figure; a figure of bars,
// and the comparison's copy (light, behind a figure of bars, over the
// pictures), are drawn.
export function showFigure() {
  followFigure();
  const pictures = Module._webFigurePictures() === 1;
  const comparing = Module._webComparing() === 1;
  const bars = byId('bars');
  bars.hidden = pictures && !comparing;
  if (bars.hidden) return;
  const view = byId('view');
  if (bars.width !== view.width || bars.height !== view.height) {
    bars.width = view.width;
    bars.height = view.height;
  }
  const context = bars.getContext('2d');
  context.clearRect(0, 0, bars.width, bars.height);
  const count = Module._webSegmentCount();
  const numbers = (twin) => {
    const at = Module._webBars(twin);
    return at ? new Float64Array(Module.HEAPU8.buffer, at, 2 + 4 * count) : null;
  };
  const twin = comparing ? numbers(1) : null;
  if (twin) {
    context.globalAlpha = pictures ? 0.6 : 0.45;
    drawBars(context, twin, count, pictures ? 1 : 1.8, () => '#f4a259', false);
    context.globalAlpha = 1;
  }
  const own = pictures ? null : numbers(0);
  if (own) drawBars(context, own, count, 1, (i) => limbColours[limbOf[i] % limbColours.length], true);
}

export function startFigure({ onFigureChange }) {
  onChange = onFigureChange;
  const select = byId('figure');
  const n = byId('figure-n');
  const pick = () => {
    if (select.value === 'file') return;
    byId('figure-n-box').hidden = select.value !== 'chain' && select.value !== 'tree';
    chooseFigure(chosenName());
  };
  select.addEventListener('change', pick);
  n.addEventListener('change', pick);
  const picker = byId('model-file');
  byId('open-model').addEventListener('click', () => picker.click());
  picker.addEventListener('change', () => {
    const [file] = picker.files;
    picker.value = '';
    if (file) openModel(file);
  });
  const box = byId('view-box');
  box.addEventListener('dragover', (event) => { event.preventDefault(); box.classList.add('dropping'); });
  box.addEventListener('dragleave', () => box.classList.remove('dropping'));
  box.addEventListener('drop', (event) => {
    event.preventDefault();
    box.classList.remove('dropping');
    const [file] = event.dataTransfer.files;
    if (file) openModel(file);
  });
  // ?figure=NAME: any name marionette-sim --model takes
  const named = new URLSearchParams(location.search).get('figure');
  if (named !== null && named !== '') chooseFigure(named, { from: `The figure ${named}` });
  followFigure();
}
