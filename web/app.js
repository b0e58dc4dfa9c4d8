// The page's controls. Reading and writing beat text, rendering, the WAV bytes, the MIDI file and
// the labels are the core's (the same C++ the command runs, compiled to WebAssembly); this file only
// keeps the views in step.

const core = await globalThis.KettorinModule();
const kinds = core.drumKinds();
const $ = (id) => document.getElementById(id);

// What each cell symbol plays, as the core says: its level and grace notes, drawn as its height.
const cellKinds = new Map(core.cellKinds().map((kind) => [kind.symbol, kind]));
// A click cycles a cell through these; any other cell goes to a rest first.
const kStepCycle = ['-', 'x', 'X', 'g'];
// The symbols typed into a focused cell as they are, and the keys that type a rest.
const kTypedCells = new Set('123456789fFdD?xXgoO-');
const kRestKeys = new Set(['.', 'Backspace', 'Delete']);
const kCellNames = { '-': 'rest', x: 'hit', X: 'accent', g: 'ghost', o: 'open', O: 'open accent', f: 'flam',
                     F: 'accented flam', d: 'drag', D: 'accented drag', '?': 'chance' };
// The hi-hat line: one row of open and closed hats, offered beside the kinds.
const kHiHatLine = { key: 'hihat', name: 'HI-HAT LINE' };
// Every pitch a beat line takes: each letter flat, natural and sharp.
const kPitches = [...'CDEFGAB'].flatMap((letter) => [`${letter}b`, letter, `${letter}#`]);
const kDefaultBeat = `# Four to the floor, snare on two and four, swung hats
tempo 104
steps 4
swing 58
repeat 2

kick              x---x---x---x---
snare             ----X-------X--g
hihatc  ring=0.2  x-x-x-x-x-x-x-X-
low_tom pitch=G   ------------xx--
`;

// What the tests read: the latest render, the WAV bytes and what the player was handed.
const page = { renders: 0, render: null, wav: null, played: null, playing: null, error: null };
globalThis.kettorinPage = page;

let grid = null;      // the beat as the core reads it: the song's settings, patterns and order
let selected = 0;     // the pattern the grid edits
let typing = null;    // the field whose typing changed the beat, which a redraw leaves as typed
let mode = 'beat';    // which tab renders: beat, notes or midi
let midiBytes = null; // the opened MIDI file
let midiName = '';    // and its name
let latest = null;    // {samples, sampleRate, wav, ms} of the shown sound

// ---- the text and the grid, two views of one beat --------------------------------------------

function showError(element, field, error) {
  element.hidden = !error;
  element.textContent = error ? `Error: ${error.message}` : '';
  field.setAttribute('aria-invalid', error ? 'true' : 'false');
  page.error = error ? { line: error.line, message: error.message } : null;
}

// A beat the core has read becomes the one the grid shows, on the pattern named `keep` if it has
// one. A plain grid's lines are its one pattern's, so that the grid edits both alike.
function adopt(result, keep) {
  grid = result;
  grid.lines = grid.patterns[0].lines;
  const kept = grid.patterns.findIndex((p) => p.name === keep);
  selected = kept >= 0 ? kept : Math.min(selected, grid.patterns.length - 1);
}

// The pattern the grid edits.
const pattern = () => grid.patterns[selected];

// The options the core reads beat text with: the key map for lines named by a key number.
function beatMap() {
  return $('beat-map').value.split(/[\s,]+/).filter(Boolean);
}

const parse = (text) => core.parseBeat(text, { map: beatMap() });

// The text changed: the grid follows when the core reads it, otherwise the error is shown. The
// grid stays on the pattern named `keep` when the new text has one.
function fromText(keep = pattern().name) {
  const result = parse($('beat-text').value);
  if (!result.ok) {
    showError($('beat-error'), $('beat-text'), result);
    return;
  }
  showError($('beat-error'), $('beat-text'), null);
  adopt(result, keep);
  drawGrid();
  settle();
}

// The grid changed: the core writes the text, and the grid becomes what the core reads back from
// it, so that a cell shows what it plays (an o on a kick is a hit, x).
function fromGrid() {
  const text = core.writeBeat(grid);
  if (typeof text !== 'string') {
    showError($('beat-error'), $('beat-text'), text);
    return;
  }
  const result = parse(text);
  if (result.ok) adopt(result, pattern().name);
  showText(text);
  if (!result.ok) showError($('beat-error'), $('beat-text'), result);
}

function showText(text) {
  $('beat-text').value = text;
  showError($('beat-error'), $('beat-text'), null);
  drawGrid();
  settle();
}

// After either view changed: the link, and a render once the edits pause.
function settle() {
  const map = $('beat-map').value.trim();
  const link = '#beat=' + encodeURIComponent($('beat-text').value) + (map ? '&map=' + encodeURIComponent(map) : '');
  $('share').href = link;
  history.replaceState(null, '', link);
  scheduleRender();
}

function gridLength() {
  return pattern().lines.length ? pattern().lines[0].cells.length : 16;
}

// A row's cell s set to a symbol: the row's steps are its cells, one string a step, as the core
// gave them.
function setCell(line, s, symbol) {
  line.cells = line.cells.map((cell, i) => (i === s ? symbol : cell));
  line.steps = line.cells.join('');
}

// Every row and the accent row cut or padded with rests to a length.
function setLength(target, length) {
  for (const line of target.lines) {
    line.cells = Array.from({ length }, (_, i) => line.cells[i] ?? '-');
    line.steps = line.cells.join('');
  }
  if (target.accent !== null) target.accent = target.accent.slice(0, length).padEnd(length, '-');
}

function option(value, label, selected) {
  const element = document.createElement('option');
  element.value = value;
  element.textContent = label;
  element.selected = selected;
  return element;
}

// A single-precision value as the shortest decimal that names it (0.2, not 0.20000000298).
function shortFloat(x) {
  for (let digits = 1; digits < 9; ++digits) {
    const text = x.toPrecision(digits);
    if (Math.fround(Number(text)) === Math.fround(x)) return String(Number(text));
  }
  return String(x);
}

function numberInput(value, min, max, step, label, onChange) {
  const input = document.createElement('input');
  Object.assign(input, { type: 'number', min, max, step, value: shortFloat(value) });
  input.setAttribute('aria-label', label);
  input.addEventListener('change', () => {
    const number = Number(input.value);
    if (Number.isFinite(number) && number >= min && number <= max) onChange(number);
    else input.value = shortFloat(value);
  });
  return input;
}

// The symbols of a step: one, or a bracket's cells ("[xxx]" is three).
const symbolsOf = (cell) => [...cell].filter((c) => c !== '[' && c !== ']');

// What a screen reader says for a symbol; on a hi-hat line x and X are the closed hat.
function cellName(symbol, hihat) {
  if (symbol >= '1' && symbol <= '9') return `velocity ${symbol} of 9`;
  if (hihat && (symbol === 'x' || symbol === 'X')) return symbol === 'x' ? 'closed' : 'closed accent';
  return kCellNames[symbol];
}

function describeCell(cell, hihat) {
  const symbols = symbolsOf(cell);
  if (cell.startsWith('[')) return `${symbols.length} in one step: ${symbols.map((c) => cellName(c, hihat)).join(', ')}`;
  return cellName(cell, hihat);
}

// A step drawn as bars as tall as its hits' levels: a bracket's cells side by side, a flam's or a
// drag's grace notes as short bars before its hit, an open hat hollow, a chance hit striped.
function drawCell(button, cell) {
  const bars = [];
  for (const symbol of symbolsOf(cell)) {
    const kind = cellKinds.get(symbol);
    for (let g = 0; g < kind.graces; ++g) bars.push(bar('grace', kind.graceLevel, symbol));
    bars.push(bar('hit', kind.level, symbol));
  }
  button.replaceChildren(...bars);
  if (/^[fFdD?1-9]$/.test(cell)) {
    const mark = document.createElement('span');
    mark.className = 'mark';
    mark.textContent = cell;
    button.append(mark);
  }
}

function bar(role, level, symbol) {
  const element = document.createElement('span');
  element.className = `bar ${role}`;
  element.dataset.symbol = symbol;
  element.style.height = `${(100 * level).toFixed(1)}%`;
  const kind = cellKinds.get(symbol);
  if (kind.open) element.classList.add('open');
  if (symbol === '?') element.classList.add('chance');
  element.classList.add(level >= 1 ? 'loud' : level < 0.4 ? 'soft' : 'normal');
  return element;
}

// The rows of the pattern being edited: open and closed hats are one row's cells on a hi-hat line.
const openRows = new Set();  // rows whose flam, chance and shift are shown: "pattern:row"

function drawGrid() {
  for (const id of ['tempo', 'steps', 'swing', 'repeat', 'seed']) $(id).value = grid[id];
  $('humanize-ms').value = grid.humanizeMs;
  $('humanize-percent').value = grid.humanizePercent;
  $('choke').checked = grid.choke;
  $('length').value = gridLength();
  drawPatterns();
  const lines = pattern().lines;
  const stepsPerBeat = pattern().steps ?? grid.steps;
  const focused = document.activeElement?.dataset?.cell;
  const container = $('grid');
  const header = document.createElement('div');
  header.className = 'row header';
  header.setAttribute('aria-hidden', 'true');
  for (const [label, width] of [['drum', '8.5rem'], ['pitch', '3.6rem'], ['ring (s)', '4rem'], ['level', '4rem'],
                                 ['pan', '4rem']]) {
    const span = document.createElement('span');
    span.textContent = label;
    span.style.width = width;
    header.append(span);
  }
  container.replaceChildren(header);
  const cellButton = (r, s, label) => {
    const cell = document.createElement('button');
    cell.type = 'button';
    cell.className = 'cell' + (s > 0 && s % stepsPerBeat === 0 ? ' beat-start' : '');
    cell.setAttribute('role', 'gridcell');
    cell.dataset.cell = `${r},${s}`;
    cell.tabIndex = r === 0 && s === 0 ? 0 : -1;
    cell.setAttribute('aria-label', label);
    cell.addEventListener('keydown', (event) => moveFocus(event, r, s));
    return cell;
  };
  lines.forEach((line, r) => {
    const kind = kinds.find((k) => k.key === line.kind);
    const drum = line.hihat ? spoken(kHiHatLine.name) : spoken(kind.name);
    const row = document.createElement('div');
    row.className = 'row' + (line.hihat ? ' hihat' : '');
    row.setAttribute('role', 'row');
    const controls = document.createElement('div');
    controls.className = 'controls';
    controls.setAttribute('role', 'rowheader');

    const kindSelect = document.createElement('select');
    kindSelect.setAttribute('aria-label', `Drum of line ${r + 1}`);
    const shown = line.hihat ? kHiHatLine.key : line.kind;
    for (const k of [...kinds, kHiHatLine]) {
      // A line named by a key number says so beside its drum; choosing a drum names it by the drum.
      const key = k.key === shown && line.key !== null ? ` (key ${line.key})` : '';
      kindSelect.append(option(k.key, spoken(k.name) + key, k.key === shown));
    }
    kindSelect.addEventListener('change', () => setKind(line, kindSelect.value));
    const pitch = document.createElement('select');
    pitch.className = 'pitch';
    pitch.setAttribute('aria-label', `Pitch of line ${r + 1}`);
    pitch.disabled = !kind.followsPitch;
    for (const p of kPitches) pitch.append(option(p, p, p === line.pitch));
    pitch.addEventListener('change', () => { line.pitch = pitch.value; fromGrid(); });
    const ring = numberInput(line.ring, 0.001, 60, 0.01, `Ring of line ${r + 1} in seconds`,
                             (v) => { line.ring = v; line.ringGiven = true; fromGrid(); });
    ring.title = line.hihat && !line.ringGiven ? 'ring (s): each hat its own' : 'ring (s)';
    const level = numberInput(line.level, 0, 4, 0.05, `Level of line ${r + 1}`, (v) => { line.level = v; fromGrid(); });
    level.title = 'level';
    const pan = panInput(line, r, kind);
    const id = `${selected}:${r}`;
    const more = document.createElement('button');
    more.type = 'button';
    more.className = 'more';
    more.textContent = '⋯';
    more.setAttribute('aria-label', `Flam, chance and shift of line ${r + 1}`);
    more.setAttribute('aria-expanded', String(openRows.has(id)));
    more.setAttribute('aria-controls', `line-settings-${r}`);
    more.addEventListener('click', () => {
      if (!openRows.delete(id)) openRows.add(id);
      drawGrid();
      document.querySelector(`.more[aria-controls="line-settings-${r}"]`)?.focus();
    });
    const remove = document.createElement('button');
    remove.type = 'button';
    remove.textContent = '×';
    remove.setAttribute('aria-label', `Remove line ${r + 1}`);
    remove.disabled = lines.length === 1;
    remove.addEventListener('click', () => { lines.splice(r, 1); fromGrid(); });
    controls.append(kindSelect, pitch, ring, level, pan, more, remove);

    const cells = document.createElement('div');
    cells.className = 'cells';
    line.cells.forEach((step, s) => {
      const cell = cellButton(r, s, `${drum}, step ${s + 1}: ${describeCell(step, line.hihat)}`);
      cell.dataset.step = step;
      drawCell(cell, step);
      cell.addEventListener('click', (event) => {
        // Shift and a click opens or closes a hi-hat line's hat, as the o key does.
        if (event.shiftKey && line.hihat) { typeCell(line, r, s, 'o', false); return; }
        const next = kStepCycle[(kStepCycle.indexOf(line.cells[s]) + 1) % kStepCycle.length];
        setCell(line, s, next);
        fromGrid();
      });
      cell.addEventListener('keydown', (event) => {
        if (event.ctrlKey || event.metaKey || event.altKey) return;
        const symbol = kRestKeys.has(event.key) ? '-' : event.key;
        if (!kTypedCells.has(symbol)) return;
        event.preventDefault();
        typeCell(line, r, s, symbol, true);
      });
      cells.append(cell);
    });
    row.append(controls, cells);
    container.append(row);
    if (openRows.has(id)) container.append(lineSettings(line, r));
  });
  container.append(accentRow(lines.length, stepsPerBeat, cellButton));
  // The accent row's cells under the lines' cells.
  const width = container.querySelector('.row:not(.header) .controls')?.offsetWidth;
  if (width) container.querySelector('.accent-row .controls').style.width = `${width}px`;
  if (focused) focusCell(...focused.split(',').map(Number));
}

// A line's pan= from -1 (left) to 1 (right), empty for its drum's own place (shown greyed). A pan
// makes the beat stereo, as in a text.
function panInput(line, r, kind) {
  const input = document.createElement('input');
  const shown = () => (line.pan === null ? '' : shortFloat(line.pan));
  Object.assign(input, { type: 'number', min: -1, max: 1, step: 0.1, value: shown(), placeholder: shortFloat(kind.pan) });
  input.setAttribute('aria-label', `Pan of line ${r + 1}, -1 left to 1 right`);
  input.title = 'pan: -1 left to 1 right; empty: the drum\'s own place. A pan makes the beat stereo.';
  input.addEventListener('change', () => {
    const number = Number(input.value);
    if (input.value === '') line.pan = null;
    else if (Number.isFinite(number) && number >= -1 && number <= 1) line.pan = number;
    else { input.value = shown(); return; }
    fromGrid();
  });
  return input;
}

// A symbol typed into a cell, and the focus on to the next step, as typing text moves on. On a
// hi-hat line o opens a closed hat and closes an open one, keeping its accent.
function typeCell(line, r, s, symbol, advance) {
  let next = symbol;
  if (symbol === 'o' && line.hihat) {
    next = { o: 'x', O: 'X', X: 'O' }[line.cells[s]] ?? 'o';
  }
  setCell(line, s, next);
  fromGrid();
  focusCell(r, advance ? Math.min(s + 1, gridLength() - 1) : s);
}

// A line's drum chosen: named by the drum from now on. A ring left at its drum's default follows
// the new drum's; a hi-hat line without a ring of its own gives each hat its own.
function setKind(line, key) {
  const before = kinds.find((k) => k.key === line.kind);
  const hihat = key === kHiHatLine.key;
  const next = kinds.find((k) => k.key === (hihat ? 'hihatc' : key));
  const defaultRing = line.hihat ? !line.ringGiven : line.ring === before.ring;
  if (defaultRing) {
    line.ring = next.ring;
    line.ringGiven = false;
  }
  line.kind = next.key;
  line.hihat = hihat;
  line.key = null;
  fromGrid();
}

// A line's flam, chance and shift, under its row when opened.
function lineSettings(line, r) {
  const row = document.createElement('div');
  row.className = 'row line-settings';
  row.id = `line-settings-${r}`;
  row.setAttribute('role', 'row');
  const cell = document.createElement('div');
  cell.setAttribute('role', 'gridcell');
  const fields = [
    ['Flam', 'flam', 0.001, 0.1, 0.001, `Flam of line ${r + 1} in seconds`, 's: how early a flam\'s grace note comes'],
    ['Chance', 'chance', 0, 1, 0.05, `Chance of line ${r + 1}`, 'that a ? cell sounds, 0 to 1'],
    ['Shift', 'shift', -50, 50, 1, `Shift of line ${r + 1} in milliseconds`, 'ms: every hit of the line early or late'],
  ];
  for (const [label, key, min, max, step, aria, help] of fields) {
    const field = document.createElement('label');
    field.title = help;
    field.append(`${label} `, numberInput(line[key], min, max, step, aria, (v) => { line[key] = v; fromGrid(); }));
    cell.append(field);
  }
  row.append(cell);
  return row;
}

// The accent row under the pattern's lines: an accented step makes every hit on it louder, by as
// much as an X is louder than an x.
function accentRow(r, stepsPerBeat, cellButton) {
  const target = pattern();
  const length = gridLength();
  const accent = target.accent ?? '-'.repeat(length);
  const row = document.createElement('div');
  row.className = 'row accent-row';
  row.setAttribute('role', 'row');
  const head = document.createElement('div');
  head.className = 'controls';
  head.setAttribute('role', 'rowheader');
  head.textContent = 'Accent';
  const cells = document.createElement('div');
  cells.className = 'cells';
  for (let s = 0; s < length; ++s) {
    const on = accent[s] === 'X';
    const cell = cellButton(r, s, `Accent, step ${s + 1}: ${on ? 'accented' : 'none'}`);
    cell.classList.add('accent-cell');
    cell.dataset.step = on ? 'X' : '-';
    if (on) cell.append(bar('accent', 1, 'X'));
    const toggle = () => {
      const next = accent.slice(0, s) + (on ? '-' : 'X') + accent.slice(s + 1);
      target.accent = next.includes('X') ? next : null;  // no accents: no accent line
      fromGrid();
    };
    cell.addEventListener('click', toggle);
    cells.append(cell);
  }
  row.append(head, cells);
  return row;
}

// A drum's name as a screen reader should say it: SNARE as Snare, not as letters.
function spoken(name) {
  return name.charAt(0) + name.slice(1).toLowerCase();
}

function focusCell(r, s) {
  const cell = document.querySelector(`[data-cell="${r},${s}"]`);
  if (!cell) return;
  for (const other of document.querySelectorAll('.cell[tabindex="0"]')) other.tabIndex = -1;
  cell.tabIndex = 0;
  cell.focus();
}

// Arrows move between cells, the accent row's too; space and enter press the cell (a button),
// cycling its step.
function moveFocus(event, r, s) {
  const moves = { ArrowLeft: [0, -1], ArrowRight: [0, 1], ArrowUp: [-1, 0], ArrowDown: [1, 0] };
  const move = moves[event.key];
  if (!move) return;
  event.preventDefault();
  const rows = pattern().lines.length + 1, steps = gridLength();
  focusCell((r + move[0] + rows) % rows, (s + move[1] + steps) % steps);
}

// A whole-number setting of the song's, from its field (`key` in the grid).
function setDirective(id, key = id) {
  $(id).addEventListener('change', () => {
    const input = $(id);
    const value = Number(input.value);
    if (input.value === '' || !Number.isInteger(value) || value < Number(input.min) || value > Number(input.max)) {
      input.value = grid[key];
      return;
    }
    grid[key] = value;
    fromGrid();
  });
}

// ---- a song's patterns and its arrangement -----------------------------------------------------

// The pattern tabs, the selected pattern's settings and the arrangement line. A plain grid has one
// pattern without a name and no tabs; a second pattern or a name makes it a song.
function drawPatterns() {
  const tabs = $('pattern-tabs');
  const hadFocus = tabs.contains(document.activeElement);
  tabs.hidden = !grid.song;
  tabs.replaceChildren(...grid.patterns.map((p, i) => {
    const tab = document.createElement('button');
    tab.type = 'button';
    tab.id = `pattern-tab-${i}`;
    tab.textContent = p.name;
    tab.dataset.pattern = p.name;
    tab.setAttribute('role', 'tab');
    tab.setAttribute('aria-selected', String(i === selected));
    tab.setAttribute('aria-controls', 'pattern-panel');
    tab.tabIndex = i === selected ? 0 : -1;
    tab.addEventListener('click', () => selectPattern(i));
    tab.addEventListener('keydown', (event) => {
      const count = grid.patterns.length;
      const next = { ArrowLeft: i - 1, ArrowRight: i + 1, Home: 0, End: count - 1 }[event.key];
      if (next === undefined) return;
      event.preventDefault();
      selectPattern((next + count) % count);
      $(`pattern-tab-${selected}`).focus();
    });
    return tab;
  }));
  if (hadFocus) $(`pattern-tab-${selected}`)?.focus();
  // Without tabs the panel is a plain group of the grid's controls.
  const panel = $('pattern-panel');
  panel.setAttribute('role', grid.song ? 'tabpanel' : 'group');
  if (grid.song) {
    panel.setAttribute('aria-labelledby', `pattern-tab-${selected}`);
    panel.removeAttribute('aria-label');
  } else {
    panel.removeAttribute('aria-labelledby');
    panel.setAttribute('aria-label', 'The beat\'s grid');
  }
  $('grid').setAttribute('aria-label', `Step grid${grid.song ? ` of pattern ${pattern().name}` : ''}: ` +
                         'one row per drum line, one cell per step');

  // The fields show the song as it is; a rename or an arrangement being typed stays as typed.
  const name = $('pattern-name');
  name.value = pattern().name;
  showError($('pattern-error'), name, null);
  name.placeholder = grid.song ? '' : 'none';
  for (const [id, key] of [['pattern-tempo', 'tempo'], ['pattern-steps', 'steps'], ['pattern-swing', 'swing']]) {
    $(id).value = pattern()[key] ?? '';
    $(id).placeholder = String(grid[key]);
  }
  for (const element of document.querySelectorAll('.song-only')) element.hidden = !grid.song;
  $('pattern-delete').disabled = grid.patterns.length < 2;
  $('pattern-play').disabled = !grid.song;
  const arrangement = $('arrangement');
  arrangement.disabled = !grid.song;
  arrangement.placeholder = grid.song ? 'every pattern once, in order' : 'add a pattern to arrange a song';
  if (typing !== arrangement) {
    arrangement.value = grid.song ? grid.play : '';
    showError($('arrangement-error'), arrangement, null);
  }
}

function selectPattern(index) {
  selected = index;
  drawGrid();
}

// A name no pattern has: the first free letter, then p27, p28, ...
function freshName() {
  const used = new Set(grid.patterns.map((p) => p.name));
  for (const letter of 'abcdefghijklmnopqrstuvwxyz') if (!used.has(letter)) return letter;
  for (let n = 27; ; ++n) if (!used.has(`p${n}`)) return `p${n}`;
}

// A copy's name: the original's with the first free number (verse2, verse3, ...).
function copyName(name) {
  const used = new Set(grid.patterns.map((p) => p.name));
  const base = name.replace(/\d+$/, '') || name;
  for (let n = 2; ; ++n) {
    const candidate = base.slice(0, 32 - String(n).length) + n;
    if (!used.has(candidate)) return candidate;
  }
}

// A new pattern after the selected one: a copy of it, or its drums with every step a rest and the
// song's settings. The first new pattern turns a plain grid into a song of two.
function addPattern(copy) {
  const from = pattern();
  if (!grid.song) {
    grid.song = true;
    from.name = freshName();
  }
  const rests = (line) => ({ cells: line.cells.map(() => '-'), steps: '-'.repeat(line.cells.length) });
  const lines = from.lines.map((line) => ({ ...line, ...(copy ? {} : rests(line)) }));
  const settings = copy ? { tempo: from.tempo, steps: from.steps, swing: from.swing, accent: from.accent }
                        : { tempo: null, steps: null, swing: null, accent: null };
  grid.patterns.splice(selected + 1, 0, { name: copy ? copyName(from.name) : freshName(), ...settings, lines });
  selected += 1;
  fromGrid();
}

// The core renames the pattern, in the arrangement too, or says what is wrong with the name.
function renamePattern(event) {
  event.preventDefault();
  const name = $('pattern-name').value.trim();
  if (name === pattern().name) return;
  const result = core.renamePattern(grid, selected, name);
  if (!result.ok) {
    showError($('pattern-error'), $('pattern-name'), result);
    return;
  }
  showError($('pattern-error'), $('pattern-name'), null);
  adopt(result, name);
  fromGrid();
}

// The core takes the pattern out of the song and out of its arrangement.
function deletePattern() {
  const result = core.deletePattern(grid, selected);
  if (!result.ok) {
    showError($('pattern-error'), $('pattern-name'), result);
    return;
  }
  adopt(result, null);
  fromGrid();
}

// A pattern's own tempo, steps per beat or swing; empty for the song's.
function setPatternDirective(id, key) {
  $(id).addEventListener('change', () => {
    const input = $(id);
    const value = input.value === '' ? null : Number(input.value);
    if (value !== null && (!Number.isInteger(value) || value < Number(input.min) || value > Number(input.max))) {
      input.value = pattern()[key] ?? '';
      return;
    }
    pattern()[key] = value;
    fromGrid();
  });
}

// The arrangement as typed or built: the core reads it against the patterns there are. What it
// refuses is shown under the line, and the song keeps the last arrangement it took.
function setArrangement(play) {
  const previous = grid.play;
  grid.play = play;
  const text = core.writeBeat(grid);
  if (typeof text !== 'string') {
    grid.play = previous;
    showError($('arrangement-error'), $('arrangement'), text);
    return;
  }
  showError($('arrangement-error'), $('arrangement'), null);
  showText(text);
}

// Clicking a pattern into the arrangement: its name after the items there are.
function appendToArrangement() {
  setArrangement([grid.play.trim(), pattern().name].filter(Boolean).join(' '));
}

// ---- a MIDI file opened as a song -----------------------------------------------------------------

// A MIDI file chosen or dropped on the page: the MIDI tab plays it and offers to open it as a song.
async function openMidi(file) {
  midiBytes = file ? new Uint8Array(await file.arrayBuffer()) : null;
  midiName = file ? file.name : '';
  $('midi-song').disabled = !midiBytes;
  $('midi-offer').textContent = midiBytes
    ? `${midiName}: its drums play here; Open as a song puts them in the beat grid, a pattern for each kind of bar.`
    : 'Choose a MIDI file or drop one anywhere on the page.';
  showError($('midi-song-error'), $('midi-song-steps'), null);
  if (mode === 'midi') render();
  else selectTab('midi');
}

// The MIDI tab's channel and key map, as the road names them: what its drums are.
function midiDrums() {
  return { channel: $('midi-channel').value || '10', map: $('midi-map').value.split(/[\s,]+/).filter(Boolean) };
}

// The core makes the drums into a song, as `kettorin midi FILE --to-beat` does: its text goes into
// the beat editor on the song's first pattern, and the report stands above the grid.
function openMidiSong() {
  if (!midiBytes) return;
  const made = core.midiToBeat(midiBytes, { ...midiDrums(), steps: $('midi-song-steps').value || 'auto' });
  if (!made.ok) {
    showError($('midi-song-error'), $('midi-song-steps'), made);
    return;
  }
  showError($('midi-song-error'), $('midi-song-steps'), null);
  $('beat-text').value = made.text;
  selected = 0;
  fromText(null);
  $('song-report-title').textContent = `${midiName} as a song (kettorin midi --to-beat):`;
  $('song-report-lines').textContent = made.report;
  $('song-report').hidden = false;
  selectTab('beat');
}

// ---- rendering, off the main thread when a worker can start ----------------------------------

function startWorker() {
  try {
    const inline = document.getElementById('kettorin-worker');
    if (inline) {
      // The single-file page: the worker is made of the inlined core and worker script.
      const source = [document.getElementById('kettorin-core').textContent, inline.textContent];
      return new Worker(URL.createObjectURL(new Blob(source, { type: 'text/javascript' })));
    }
    return new Worker('worker.js');
  } catch {
    return null;
  }
}

let worker = startWorker();
let requestId = 0;
let renderTimer = 0;
const pending = new Map();   // request id -> what to do with the answer
const requests = new Map();  // request id -> the request, while it is pending

if (worker) {
  worker.onmessage = ({ data }) => {
    pending.get(data.id)?.(data);
    pending.delete(data.id);
    requests.delete(data.id);
  };
  // A worker that cannot start leaves its requests to the main thread.
  worker.onerror = () => {
    worker = null;
    for (const [id, done] of pending) done(renderHere(requests.get(id)));
    pending.clear();
  };
}

// The same request, answered here when no worker runs: what worker.js does, on this thread.
function renderHere(request) {
  try {
    const started = performance.now();
    const result = core.render(request.source, request.input, request.options);
    const ms = performance.now() - started;
    const wav = result.ok ? result.wav : null;
    const stems = (result.stems || []).map(({ kind, file, wav: bytes }) => ({ kind, file, wav: bytes }));
    delete result.wav;
    delete result.stems;
    return { result, wav, ms, stems, where: 'page' };
  } catch {
    return { result: { ok: false, line: 0, message: 'Memory allocation failed.' } };
  }
}

// What the controls ask for, in the road's option names; `stems` adds each stem's file. The file's
// format is an option too, so the road checks what a float file can hold.
function request(stems = false) {
  const file = { rate: Number($('rate').value), float: $('float').checked };
  if ($('bits24').checked && !file.float) file.bits = 24;
  const mix = { ...file, gain: $('gain').value || '0', normalize: !$('no-normalize').checked, stems };
  if (mode === 'beat') {
    return { mode, source: 'beat', input: $('beat-text').value,
             options: { ...mix, loop: $('loop').checked, map: beatMap() } };
  }
  if (mode === 'midi') {
    // A MIDI file is mono unless Stereo is on: then each kind at its place, or where Pans put it.
    const stereo = $('midi-stereo').checked;
    return { mode, source: 'midi', input: midiBytes ?? new Uint8Array(),
             options: { ...mix, ...midiDrums(), channels: stereo ? 2 : 1,
                        pan: stereo ? $('midi-pan').value.split(/[\s,]+/).filter(Boolean) : [] } };
  }
  return { mode, source: 'notes', input: $('notes-text').value,
           options: { ...file, drum: $('notes-drum').value, tempo: $('notes-tempo').value || '0' } };
}

function render(stems = false) {
  clearTimeout(renderTimer);
  const id = ++requestId;
  const message = { id, ...request(stems) };
  return new Promise((resolve) => {
    const done = (answer) => {
      if (id === requestId) show(answer, message);
      resolve(answer);
    };
    if (worker) {
      pending.set(id, done);
      requests.set(id, message);
      worker.postMessage(message);
    } else {
      done(renderHere(message));
    }
  });
}

function scheduleRender() {
  clearTimeout(renderTimer);
  renderTimer = setTimeout(render, 120);
}

// Where each tab shows a refusal.
const kErrorViews = { beat: ['beat-error', 'beat-text'], notes: ['notes-error', 'notes-text'],
                      midi: ['midi-error', 'midi-map'] };

function show({ result, wav, ms, where }, message) {
  const [element, field] = kErrorViews[message.mode].map($);
  if (message.mode === 'midi' && !midiBytes) {
    showError(element, field, null);
    $('status').textContent = 'Open a MIDI file to hear its drums.';
    return;
  }
  if (!result.ok) {
    showError(element, field, result);
    $('status').textContent = '';
    return;
  }
  if (message.mode !== 'beat') showError(element, field, null);
  latest = { samples: result.samples, sampleRate: result.sampleRate, channels: result.channels, wav, ms,
             mode: message.mode, where, plays: result.plays };
  page.render = latest;
  page.wav = wav;
  page.renders += 1;
  // The beat's Stereo shows what the core made of its text (a stereo line or a line's pan=), once the
  // render is of the text as it stands.
  if (message.mode === 'beat' && message.input === $('beat-text').value) $('stereo').checked = result.channels === 2;
  const frames = result.samples.length / result.channels;
  const seconds = frames / result.sampleRate;
  $('status').textContent = `${seconds.toFixed(2)} s${result.channels === 2 ? ' stereo' : ''} rendered in ` +
                            `${ms.toFixed(1)} ms`;
  drawWaveform($('waveform'), result.samples);
  drawSpectrogram($('spectrogram'), result.samples, result.sampleRate, result.channels);
}

// ---- pictures --------------------------------------------------------------------------------

// A stereo mix's frames side by side: each column spans both channels' samples of its frames.
function drawWaveform(canvas, samples) {
  const context = canvas.getContext('2d');
  const { width, height } = canvas;
  context.fillStyle = '#0d0f12';
  context.fillRect(0, 0, width, height);
  context.fillStyle = '#d98a2b';
  const per = samples.length / width;
  for (let x = 0; x < width; ++x) {
    let low = 0, high = 0;
    const end = Math.min(samples.length, Math.ceil((x + 1) * per));
    for (let i = Math.floor(x * per); i < end; ++i) {
      if (samples[i] < low) low = samples[i];
      if (samples[i] > high) high = samples[i];
    }
    const top = (1 - Math.min(high, 1)) * height / 2, bottom = (1 - Math.max(low, -1)) * height / 2;
    context.fillRect(x, top, 1, Math.max(1, bottom - top));
  }
}

// Magnitudes of a real block, by an in-place radix-2 transform.
function spectrum(block) {
  const n = block.length, re = Float64Array.from(block), im = new Float64Array(n);
  for (let i = 1, j = 0; i < n; ++i) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) [re[i], re[j]] = [re[j], re[i]];
  }
  for (let size = 2; size <= n; size <<= 1) {
    const step = -2 * Math.PI / size;
    for (let start = 0; start < n; start += size) {
      for (let k = 0; k < size / 2; ++k) {
        const wr = Math.cos(step * k), wi = Math.sin(step * k);
        const a = start + k, b = a + size / 2;
        const tr = re[b] * wr - im[b] * wi, ti = re[b] * wi + im[b] * wr;
        re[b] = re[a] - tr; im[b] = im[a] - ti;
        re[a] += tr; im[a] += ti;
      }
    }
  }
  const magnitudes = new Float64Array(n / 2);
  for (let k = 0; k < n / 2; ++k) magnitudes[k] = Math.hypot(re[k], im[k]) * 4 / n;  // full scale: 1
  return magnitudes;
}

// The picture of a stereo mix is of its two channels' mean.
function drawSpectrogram(canvas, samples, sampleRate, channels = 1) {
  const context = canvas.getContext('2d');
  const { width, height } = canvas;
  const image = context.createImageData(width, height);
  const n = 512, block = new Float64Array(n);
  const frames = samples.length / channels;
  for (let x = 0; x < width; ++x) {
    const start = Math.floor(x * frames / width);
    for (let i = 0; i < n; ++i) {
      const window = 0.5 - 0.5 * Math.cos(2 * Math.PI * i / n);
      let sum = 0;
      for (let c = 0; c < channels; ++c) sum += samples[(start + i) * channels + c] || 0;
      block[i] = sum / channels * window;
    }
    const magnitudes = spectrum(block);
    for (let y = 0; y < height; ++y) {
      // Frequency rises up the picture, on a logarithmic scale from 20 Hz to half the rate.
      const hz = 20 * Math.pow(sampleRate / 2 / 20, (height - 1 - y) / (height - 1));
      const db = 20 * Math.log10(magnitudes[Math.min(n / 2 - 1, Math.round(hz * n / sampleRate))] + 1e-9);
      const v = Math.max(0, Math.min(1, (db + 90) / 90));
      const p = 4 * (y * width + x);
      image.data[p] = 255 * Math.min(1, v * 1.6);
      image.data[p + 1] = 255 * Math.max(0, v * 1.4 - 0.4);
      image.data[p + 2] = 255 * Math.max(0, 0.5 - v) * 0.8 + 40 * v;
      image.data[p + 3] = 255;
    }
  }
  context.putImageData(image, 0, 0);
}

// ---- playing ---------------------------------------------------------------------------------

let audio = null, source = null, playheadFrame = 0;

function stop() {
  if (source) source.stop();
  source = null;
  cancelAnimationFrame(playheadFrame);
  $('playhead').hidden = true;
  $('play').textContent = 'Play';
  for (const element of document.querySelectorAll('.playing')) element.classList.remove('playing');
  page.playing = null;
}

// The play under the playhead, from where the core says each play starts: its pattern's tab is
// marked, and when the grid shows that pattern, the step being played.
function showPlaying(sample) {
  const { start, pattern: patternOf, patterns } = latest.plays;
  let low = 0, high = start.length - 1;
  while (low < high) {
    const middle = (low + high + 1) >> 1;
    if (start[middle] <= sample) low = middle;
    else high = middle - 1;
  }
  const end = low + 1 < start.length ? start[low + 1] : latest.samples.length / latest.channels;
  const { name, steps } = patterns[patternOf[low]];
  const step = Math.min(steps - 1, Math.floor((sample - start[low]) / Math.max(1, end - start[low]) * steps));
  page.playing = { play: low, pattern: name, step };
  $('playing-pattern').textContent = name;
  for (const tab of $('pattern-tabs').children) tab.classList.toggle('playing', tab.dataset.pattern === name);
  const shown = pattern().name === name;
  for (const cell of document.querySelectorAll('.cell')) {
    cell.classList.toggle('playing', shown && Number(cell.dataset.cell.split(',')[1]) === step);
  }
}

async function play() {
  if (source) { stop(); return; }
  await render();
  if (!latest) return;
  if (!audio || audio.sampleRate !== latest.sampleRate) {
    audio?.close();
    audio = new AudioContext({ sampleRate: latest.sampleRate });
  }
  if (audio.state === 'suspended') {
    await audio.resume();
  }
  // A stereo render's frames are a left and a right sample: each goes to its own channel.
  const { samples, channels } = latest;
  const frames = samples.length / channels;
  const buffer = audio.createBuffer(channels, frames, latest.sampleRate);
  for (let c = 0; c < channels; ++c) {
    const data = channels === 1 ? samples : new Float32Array(frames);
    for (let f = 0; channels > 1 && f < frames; ++f) data[f] = samples[f * channels + c];
    buffer.copyToChannel(data, c);
  }
  source = audio.createBufferSource();
  source.buffer = buffer;
  source.loop = latest.mode === 'beat' && $('loop').checked;
  source.connect(audio.destination);
  const started = audio.currentTime;
  source.onended = () => { if (!source?.loop) stop(); };
  source.start();
  // What the buffer holds, its frames interleaved again when asked, to be compared with the render.
  page.played = { length: buffer.length, sampleRate: buffer.sampleRate, loop: source.loop, channels,
                  get samples() {
                    const held = Array.from({ length: channels }, (_, c) => buffer.getChannelData(c));
                    if (channels === 1) return held[0];
                    const all = new Float32Array(frames * channels);
                    for (let i = 0; i < all.length; ++i) all[i] = held[i % channels][Math.floor(i / channels)];
                    return all;
                  } };
  $('play').textContent = 'Stop';
  const duration = buffer.duration;
  const playhead = $('playhead');
  playhead.hidden = false;
  const move = () => {
    const elapsed = audio.currentTime - started;
    const at = source?.loop ? elapsed % duration : Math.min(elapsed, duration);
    playhead.style.left = `${(100 * at / duration).toFixed(3)}%`;
    if (latest.plays?.start.length) showPlaying(Math.floor(at * latest.sampleRate));
    playheadFrame = requestAnimationFrame(move);
  };
  move();
}

function save(bytes, name, type = 'audio/wav') {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([bytes], { type }));
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

function download() {
  if (latest?.wav) save(latest.wav, `${latest.mode}.wav`);
}

// One file a drum line or kind, named by the core as the command names its stems: beat.kick.wav,
// beat.kick.2.wav.
async function downloadStems() {
  if (mode === 'notes') return;
  const answer = await render(true);
  if (!answer?.result.ok) return;
  page.stems = answer.stems;
  for (const stem of answer.stems) save(stem.wav, stem.file);
}

// The beat as a MIDI file and the labels of its hits (or a MIDI file's), written by the core from
// the request as it stands: the command's --midi and --labels files of the same text and options.
function downloadMidi() {
  if (mode !== 'beat') return;
  const { input, options } = request();
  const made = core.beatMidi(input, options);
  if (made.ok) save(made.bytes, 'beat.mid', 'audio/midi');
  else showError($('beat-error'), $('beat-text'), made);
}

function downloadLabels() {
  if (mode === 'notes' || (mode === 'midi' && !midiBytes)) return;
  const { source, input, options } = request();
  const made = core.labels(source, input, options);
  if (made.ok) save(made.text, `${mode}.csv`, 'text/csv');
  else showError(...kErrorViews[mode].map($), made);
}

// ---- tabs and start ----------------------------------------------------------------------------

const kTabs = ['beat', 'notes', 'midi'];

function selectTab(next) {
  mode = next;
  for (const name of kTabs) {
    const [tab, panel] = [`tab-${name}`, `panel-${name}`];
    $(tab).setAttribute('aria-selected', String(name === next));
    $(tab).tabIndex = name === next ? 0 : -1;
    $(panel).hidden = name !== next;
  }
  // A note string is one drum, its notes one after another: no stems, no mix to raise or lower.
  for (const id of ['download-stems', 'download-labels', 'gain', 'no-normalize']) $(id).disabled = next === 'notes';
  // Only a beat is written as a MIDI file.
  $('download-midi').disabled = next !== 'beat';
  stop();
  render();
}

for (const name of kTabs) {
  $(`tab-${name}`).addEventListener('click', () => selectTab(name));
  $(`tab-${name}`).addEventListener('keydown', (event) => {
    const step = { ArrowLeft: -1, ArrowRight: 1 }[event.key];
    if (!step) return;
    const next = kTabs[(kTabs.indexOf(mode) + step + kTabs.length) % kTabs.length];
    selectTab(next);
    $(`tab-${next}`).focus();
  });
}
for (const id of ['tempo', 'steps', 'swing', 'repeat', 'seed']) setDirective(id);
setDirective('humanize-ms', 'humanizeMs');
setDirective('humanize-percent', 'humanizePercent');
$('choke').addEventListener('change', () => { grid.choke = $('choke').checked; fromGrid(); });
// Stereo is the text's: on writes its stereo line; off takes that out with every line's pan=, since a
// pan places a drum only in a stereo mix and asks for one.
$('stereo').addEventListener('change', () => {
  grid.stereo = $('stereo').checked;
  if (!grid.stereo) for (const p of grid.patterns) for (const line of p.lines) line.pan = null;
  fromGrid();
});
$('length').addEventListener('change', () => {
  const length = Number($('length').value);
  if (!Number.isInteger(length) || length < 1 || length > 256) { $('length').value = gridLength(); return; }
  setLength(pattern(), length);
  fromGrid();
});
$('add-line').addEventListener('click', () => {
  const used = new Set(pattern().lines.map((line) => line.kind));
  const kind = kinds.find((k) => !used.has(k.key)) ?? kinds[0];
  const cells = Array.from({ length: gridLength() }, () => '-');
  pattern().lines.push({ kind: kind.key, hihat: false, key: null, pitch: 'C', ring: kind.ring, ringGiven: false,
                         level: 1, pan: null, cells, steps: cells.join('') });
  fromGrid();
});
for (const [id, key] of [['pattern-tempo', 'tempo'], ['pattern-steps', 'steps'], ['pattern-swing', 'swing']]) {
  setPatternDirective(id, key);
}
$('pattern-add').addEventListener('click', () => addPattern(false));
$('pattern-duplicate').addEventListener('click', () => addPattern(true));
$('pattern-delete').addEventListener('click', deletePattern);
$('pattern-play').addEventListener('click', appendToArrangement);
$('rename-form').addEventListener('submit', renamePattern);
$('arrangement').addEventListener('input', () => {
  typing = $('arrangement');
  setArrangement(typing.value);
  typing = null;
});
$('beat-text').addEventListener('input', () => fromText());
$('beat-map').addEventListener('input', () => fromText());
for (const id of ['loop', 'gain', 'no-normalize', 'float', 'bits24']) $(id).addEventListener('change', scheduleRender);
// A float file or a 24-bit one: one of the two.
$('float').addEventListener('change', () => { $('bits24').disabled = $('float').checked; });
for (const id of ['midi-channel', 'midi-map', 'midi-pan']) $(id).addEventListener('input', scheduleRender);
$('midi-stereo').addEventListener('change', () => {
  $('midi-pan').disabled = !$('midi-stereo').checked;
  scheduleRender();
});
$('midi-file').addEventListener('change', () => openMidi($('midi-file').files[0]));
$('midi-song').addEventListener('click', openMidiSong);
$('song-report-close').addEventListener('click', () => { $('song-report').hidden = true; });
// A file dropped anywhere on the page opens as the MIDI file; text dragged into a field stays the
// field's.
const carriesFiles = (event) => [...event.dataTransfer.types].includes('Files');
document.addEventListener('dragover', (event) => {
  if (!carriesFiles(event)) return;
  event.preventDefault();
  event.dataTransfer.dropEffect = 'copy';
  document.body.classList.add('dropping');
});
document.addEventListener('dragleave', (event) => {
  if (!event.relatedTarget) document.body.classList.remove('dropping');
});
document.addEventListener('drop', (event) => {
  document.body.classList.remove('dropping');
  const file = event.dataTransfer.files[0];
  if (!file) return;
  event.preventDefault();
  $('midi-file').files = event.dataTransfer.files;  // the picker names the file dropped
  openMidi(file);
});
$('rate').addEventListener('change', () => { stop(); render(); });
for (const id of ['notes-drum', 'notes-tempo', 'notes-text']) $(id).addEventListener('input', scheduleRender);
for (const k of kinds) $('notes-drum').append(option(k.key, spoken(k.name), k.key === 'snare'));
$('play').addEventListener('click', play);
$('download').addEventListener('click', download);
$('download-stems').addEventListener('click', downloadStems);
$('download-midi').addEventListener('click', downloadMidi);
$('download-labels').addEventListener('click', downloadLabels);

const shared = new URLSearchParams(location.hash.slice(1));
$('beat-text').value = shared.get('beat') ?? kDefaultBeat;
$('beat-map').value = shared.get('map') ?? '';
adopt(core.parseBeat(kDefaultBeat), '');
fromText();
if (!parse($('beat-text').value).ok) drawGrid();
await render();
page.ready = true;
page.renderNow = render;
