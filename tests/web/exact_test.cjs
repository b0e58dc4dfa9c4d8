// The WebAssembly core renders exactly what the command renders: every composition the other
// platforms are compared on, the example beat and song, random beats, and every option of the road
// with its stems, float sample for float sample; and it refuses what the command refuses, in its
// words.
// Usage: node exact_test.cjs KETTORIN PAGE_FOLDER [--random N]
'use strict';
const assert = require('node:assert');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const [kettorin, pageFolder] = process.argv.slice(2);
const randomCount = Number(process.argv[process.argv.indexOf('--random') + 1]) || 20;
const source = path.resolve(__dirname, '..', '..');
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'kettorin-web-'));

// The samples of the command's float file for a request.
function commandSamples(subcommand, args, input) {
  const out = path.join(folder, 'out.wav');
  execFileSync(kettorin, [...subcommand, '-q', '--float', '-o', out, ...args], { input });
  return floatFile(out);
}

// A float file's samples: its data chunk, after the 58-byte header (a beat's markers follow it).
function floatFile(file) {
  const bytes = fs.readFileSync(file);
  const start = bytes.byteOffset + 58;
  return new Float32Array(bytes.buffer.slice(start, start + bytes.readUInt32LE(54)));
}

// The command's words for the road's options: {gain: -6, normalize: false, choke: false, map: [...],
// channels: 2} -> --gain -6 --no-normalize --no-choke --map A --map B --stereo.
function commandArgs(options) {
  const args = [];
  for (const [name, value] of Object.entries(options)) {
    for (const one of [value].flat()) {
      if (name === 'normalize') args.push(...(one ? [] : ['--no-normalize']));
      else if (name === 'choke') args.push(...(one ? [] : ['--no-choke']));
      else if (name === 'channels') args.push(one === 2 ? '--stereo' : '--mono');
      else if (['loop', 'stems', 'float'].includes(name)) args.push(...(one ? [`--${name}`] : []));
      else args.push(`--${name}`, String(one));
    }
  }
  return args;
}

// A format-0 MIDI file of [delta, ...event bytes] at 96 ticks a quarter.
function midiFile(events) {
  const track = [...events.flat(), 0, 0xFF, 0x2F, 0];
  const size = [24, 16, 8, 0].map((shift) => (track.length >> shift) & 0xFF);
  return Buffer.from([...Buffer.from('MThd'), 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, ...Buffer.from('MTrk'), ...size,
                      ...track]);
}

// How many samples differ in their bits (NaN equal to NaN), and the first.
function compare(name, page, native) {
  assert.strictEqual(page.length, native.length, `${name}: lengths differ`);
  const a = new Uint32Array(page.buffer, page.byteOffset, page.length);
  const b = new Uint32Array(native.buffer, native.byteOffset, native.length);
  let differing = 0, first = -1;
  for (let i = 0; i < a.length; ++i) {
    if (a[i] !== b[i] && !(Number.isNaN(page[i]) && Number.isNaN(native[i]))) {
      if (first < 0) first = i;
      ++differing;
    }
  }
  return differing === 0 ? null : `${name}: ${differing} of ${a.length} samples differ, first at ${first}`;
}

// The same random beats every run: a small linear congruential generator.
function randomBeats(count) {
  let state = 2024;
  const next = (n) => { state = (state * 1103515245 + 12345) % 2147483648; return (state >> 8) % n; };
  const kinds = ['kick', 'snare', 'hihatc', 'hihato', 'high_tom', 'mid_tom', 'low_tom', 'cowbell', 'clap',
                 'ride', 'crash'];
  const beats = [];
  for (let b = 0; b < count; ++b) {
    const steps = 1 + next(8);
    let text = `tempo ${40 + next(260)}\nsteps ${1 + next(6)}\nswing ${50 + next(26)}\nrepeat ${1 + next(2)}\n`;
    for (let l = 0, lines = 1 + next(5); l < lines; ++l) {
      text += kinds[next(kinds.length)];
      if (next(2)) text += ` pitch=${'ABCDEFG'[next(7)]}${['', '#', 'b'][next(3)]}`;
      if (next(2)) text += ` ring=${(0.01 + next(300) / 100).toFixed(2)}`;
      if (next(2)) text += ` level=${(next(400) / 100).toFixed(2)}`;
      text += ' ';
      for (let s = 0; s < steps * 4; ++s) text += 'xXg----'[next(7)];
      text += '\n';
    }
    beats.push({ text, rate: [8000, 22050, 44100, 48000, 96000][next(5)], loop: next(3) === 0 });
  }
  return beats;
}

async function main() {
  const core = await require(path.resolve(pageFolder, 'kettorin.js'))();
  const failures = [];
  let checked = 0;

  const listing = execFileSync('python3', ['-c',
    'import json, sys; sys.path.insert(0, sys.argv[1]); import compare_platforms as c; ' +
    'print(json.dumps(c.compositions()))', path.join(source, 'tests', 'cross')]);
  for (const [drum, notes, rate, tempo] of JSON.parse(listing)) {
    const page = core.renderNotes(drum, notes, rate, tempo);
    assert.ok(page.ok, page.message);
    const native = commandSamples([], ['-d', drum, '-r', String(rate), '-t', String(tempo), '--', notes]);
    const problem = compare(`${drum} at ${rate} Hz, tempo ${tempo}`, page.samples, native);
    if (problem) failures.push(problem);
    ++checked;
  }

  const song = fs.readFileSync(path.join(source, 'examples', 'song.beat'), 'utf8');
  const tab = fs.readFileSync(path.join(source, 'examples', 'tab.beat'), 'utf8');
  const book = fs.readFileSync(path.join(source, 'examples', 'pattern_book.beat'), 'utf8');
  const beats = [{ text: fs.readFileSync(path.join(source, 'examples', 'groove.beat'), 'utf8'), rate: 44100,
                   loop: false },
                 { text: fs.readFileSync(path.join(source, 'examples', 'groove.beat'), 'utf8'), rate: 48000,
                   loop: true },
                 { text: song, rate: 22050, loop: true },
                 { text: tab, rate: 44100, loop: false },
                 { text: book, rate: 22050, loop: true },
                 ...randomBeats(randomCount)];
  for (const [i, beat] of beats.entries()) {
    const page = core.renderBeat(beat.text, { rate: beat.rate, loop: beat.loop });
    assert.ok(page.ok, page.message);
    const args = ['-r', String(beat.rate), ...(beat.loop ? ['--loop'] : []), '-'];
    const native = commandSamples(['beat'], args, beat.text);
    const problem = compare(`beat ${i} at ${beat.rate} Hz${beat.loop ? ', loop' : ''}`, page.samples, native);
    if (problem) failures.push(problem + '\n' + beat.text);
    ++checked;
  }

  // Every option through core.render, against the command given the same options: the mix and
  // each stem, named as the command names its files.
  const groove = fs.readFileSync(path.join(source, 'examples', 'groove.beat'), 'utf8');
  const twoKicks = 'tempo 96\nkick x---x-x-\nkick pitch=D ring=0.3 --x---x-\nclap ----X--g\n';
  // Stereo from the text alone: lines placed by pan= beside lines at their drum's own place.
  const panned = 'tempo 112\nkick pan=-0.6 x---x-x-\nsnare ----X--g\nhihatc x-x-x-x-\nride pan=1 --x---x-\n';
  // Channel 10: kicks, a snare and keys 54 and 60 (no drums without a map); channel 2: a snare and
  // a kick.
  const midi = midiFile([[0, 0x99, 36, 100], [0, 0x99, 54, 80], [0, 0x91, 38, 90], [0x30, 0x99, 60, 127],
                         [0, 0x91, 36, 70], [0x30, 0x99, 38, 127], [0x30, 0x89, 36, 0], [0x30, 0x99, 36, 50]]);
  const long = fs.readFileSync(path.join(source, 'bench', 'three_minutes.mid'));
  const requests = [
    ['beat', groove, { tempo: 90 }],
    ['beat', groove, { repeat: 1, rate: 22050 }],
    ['beat', groove, { repeat: 3, loop: true, gain: 3.5 }],
    ['beat', groove, { gain: 12, normalize: false }],
    ['beat', groove, { gain: -30, stems: true, rate: 8000, float: true }],
    ['beat', twoKicks, { tempo: 140, repeat: 2, loop: true, gain: 6, normalize: false, stems: true }],
    ['beat', song, { tempo: 100, repeat: 2, stems: true, rate: 8000 }],
    ['beat', tab, { seed: 7, humanize: '4,10', stems: true, rate: 22050 }],
    ['beat', tab, { seed: 4294967295, humanize: '100,100', choke: false, loop: true }],
    ['beat', book, { seed: 11, stems: true }],
    ['beat', book, { humanize: '0,0', choke: false, map: ['42=ride', '36=low_tom'], rate: 48000 }],
    ['beat', panned, { stems: true, rate: 22050 }],
    ['beat', panned, { channels: 1, pan: 'hihatc=0.5' }],
    ['beat', groove, { channels: 2, pan: ['ride=0.5', 'kick=-0.3'], loop: true, stems: true, rate: 8000 }],
    ['notes', 'C D8 E2 F#', { drum: 'hihato', tempo: 90, rate: 22050 }],
    ['midi', midi, {}],
    ['midi', midi, { channel: 2 }],
    ['midi', midi, { map: ['54=cowbell', '60=high_tom'], rate: 48000 }],
    ['midi', midi, { map: '54=clap', gain: 6, stems: true }],
    ['midi', midi, { channel: 2, map: '38=ride', gain: 9.5, normalize: false, stems: true }],
    ['midi', long, { rate: 8000, map: '54=cowbell', stems: true }],
    ['midi', midi, { channels: 2, map: '54=cowbell', pan: 'cowbell=0.8', stems: true, rate: 22050 }],
  ];
  for (const [kind, input, options] of requests) {
    const name = `${kind} ${JSON.stringify(options)}`;
    const page = core.render(kind, kind === 'midi' ? new Uint8Array(input) : input, options);
    assert.ok(page.ok, `${name}: ${page.message}`);
    for (const file of fs.readdirSync(folder)) fs.rmSync(path.join(folder, file));
    const args = commandArgs(options);
    const native = kind === 'notes' ? commandSamples([], [...args, '--', input])
                                    : commandSamples([kind], [...args, '-'], input);
    const problems = [compare(name, page.samples, native)];
    for (const stem of page.stems || []) {
      const file = stem.file.replace(`${kind}.`, 'out.');
      problems.push(fs.existsSync(path.join(folder, file))
        ? compare(`${name}, ${file}`, stem.samples, floatFile(path.join(folder, file)))
        : `${name}: the command wrote no ${file}`);
    }
    const files = fs.readdirSync(folder).filter((file) => file !== 'out.wav').sort();
    assert.strictEqual(files.length, (page.stems || []).length, `${name}: stems ${files}`);
    failures.push(...problems.filter(Boolean));
    ++checked;
  }

  // The page's files: 16-bit, 24-bit and float, mono and stereo, a song's and a loop's, and their
  // stems, each the command's file byte for byte, markers and loop included.
  for (const [text, options] of [
    [groove, {}], [groove, { bits: 24 }], [groove, { float: true }], [groove, { channels: 2 }],
    [groove, { channels: 2, bits: 24 }], [groove, { channels: 2, float: true }],
    [groove, { loop: true, stems: true }], [song, { loop: true, bits: 24, stems: true }],
    [panned, { float: true, loop: true, stems: true }], [twoKicks, { channels: 2, stems: true }],
  ]) {
    const name = `file of ${text.slice(0, 12).replace(/\n/g, ' ')} ${JSON.stringify(options)}`;
    const page = core.render('beat', text, { rate: 22050, ...options });
    assert.ok(page.ok, `${name}: ${page.message}`);
    for (const file of fs.readdirSync(folder)) fs.rmSync(path.join(folder, file));
    execFileSync(kettorin, ['beat', '-q', '-r', '22050', ...commandArgs(options), '-o', path.join(folder, 'beat.wav'),
                            '-'], { input: text });
    for (const [file, bytes] of [['beat.wav', page.wav], ...(page.stems || []).map((s) => [s.file, s.wav])]) {
      if (!Buffer.from(bytes).equals(fs.readFileSync(path.join(folder, file)))) failures.push(`${name}: ${file} differs`);
    }
    assert.strictEqual(fs.readdirSync(folder).length, 1 + (page.stems || []).length, name);
    ++checked;
  }
  // Samples alone make a file without markers: the command's note string's.
  const alone = core.renderNotes('snare', 'C D8', 22050, 100);
  execFileSync(kettorin, ['-q', '-d', 'snare', '-r', '22050', '-t', '100', '-o', path.join(folder, 'notes.wav'), '--',
                          'C D8']);
  assert.ok(Buffer.from(core.wavBytes(alone.samples, 22050, {})).equals(fs.readFileSync(path.join(folder, 'notes.wav'))));

  // The beat as a MIDI file and every request's labels: the command's --midi and --labels files.
  for (const [kind, input, options] of requests.filter(([kind]) => kind !== 'notes')) {
    const name = `${kind} ${JSON.stringify(options)}`;
    const given = kind === 'midi' ? new Uint8Array(input) : input;
    const labels = core.labels(kind, given, options);
    assert.ok(labels.ok, `${name}: ${labels.message}`);
    const csv = path.join(folder, 'labels.csv'), mid = path.join(folder, 'beat.mid');
    const args = [kind, '-q', ...commandArgs(options), '--labels', csv, ...(kind === 'beat' ? ['--midi', mid] : []),
                  '-o', path.join(folder, 'sound.wav'), '-'];
    execFileSync(kettorin, args, { input });
    if (labels.text !== fs.readFileSync(csv, 'utf8')) failures.push(`${name}: the labels differ`);
    if (kind === 'beat') {
      const midi = core.beatMidi(input, options);
      assert.ok(midi.ok, `${name}: ${midi.message}`);
      if (!Buffer.from(midi.bytes).equals(fs.readFileSync(mid))) failures.push(`${name}: the MIDI file differs`);
    }
    ++checked;
  }
  assert.deepStrictEqual({ ...core.beatMidi('kick x\nsnar3 x\n', {}) },
                         { ok: false, line: 2, message: "line 2: unknown drum 'snar3' (kick, snare, hihatc, hihato, " +
                           'high_tom, mid_tom, low_tom, cowbell, clap, ride, crash)' });

  // A MIDI file's drums as a song to edit: the command's --to-beat text byte for byte and the report
  // it prints before its created line, or its refusal in its words.
  const corpus = (name) => fs.readFileSync(path.join(source, 'tests', 'fuzz', 'corpus', 'midi', name));
  const rock = '/usr/share/mma/lib/pflib/rock1.mid';
  for (const [input, options] of [
    ...(fs.existsSync(rock) ? [[fs.readFileSync(rock), {}], [fs.readFileSync(rock), { steps: 12, map: '76=cowbell' }]]
                            : []),
    [corpus('format1_tempo_map.mid'), {}],
    [corpus('running_status_sysex.mid'), { steps: 4 }],
    [midi, { channel: 2, steps: 3 }],
    [midi, { map: ['54=cowbell', '60=high_tom'] }],
    [long, { steps: 8 }],
    [corpus('smpte.mid'), {}],
    [midi.subarray(0, 20), {}],
    [midi, { channel: 3 }],
  ]) {
    const name = `midi to beat ${input.length} bytes ${JSON.stringify(options)}`;
    const page = core.midiToBeat(new Uint8Array(input), options);
    const command = spawnSync(kettorin, ['midi', '-', '--to-beat', ...commandArgs(options), '-o', '-'], { input });
    const said = command.stderr.toString();
    if (command.status !== 0) {
      assert.deepStrictEqual([page.ok, `(standard input): ${page.message}\n`], [false, said], name);
      continue;
    }
    assert.ok(page.ok, `${name}: ${page.message}`);
    assert.strictEqual(page.report, said.replace(/✓ Created: \(standard output\)\n$/, ''), name);
    if (page.text !== command.stdout.toString()) failures.push(`${name}: the song's text differs`);
    ++checked;
  }

  // A request the road refuses is refused with the command's message.
  for (const [kind, input, options] of [
    ['beat', '54 x-x-\n', {}],
    ['beat', groove, { tempo: 1000 }],
    ['beat', 'kick x-\nsnare x\n', {}],
    ['beat', 'pattern a\nkick x-\nplay a*2 (a b)\npattern b\n', {}],
    ['midi', midi.subarray(0, 20), {}],
    ['midi', midi, { rate: 0 }],
    ['beat', 'kick x\n', { rate: 2000000000, float: true }],
    ['beat', 'kick pan=1.5 x\n', {}],
    ['beat', 'kick x\n', { rate: 2000000000, channels: 2 }],
  ]) {
    const page = core.render(kind, kind === 'midi' ? new Uint8Array(input) : input, options);
    const command = spawnSync(kettorin, [kind, '-q', '-o', path.join(folder, 'refused.wav'),
                                         ...commandArgs(options), '-'], { input });
    assert.ok(!page.ok && command.status !== 0, `${kind} ${JSON.stringify(options)} was not refused`);
    // The command names the line after its input: "(standard input):2: ...".
    const said = page.line ? page.message.replace(/^line \d+: /, `:${page.line}: `) : page.message;
    assert.ok(command.stderr.toString().endsWith(`${said}\n`),
              `${kind} ${JSON.stringify(options)}: ${page.message} | ${command.stderr}`);
  }

  // A pattern renamed or deleted through the core: its arrangement follows, later patterns keep
  // their names, groups left empty go; what cannot be done is refused.
  const three = 'pattern a\nkick x-\npattern b\nsnare x\npattern c\nclap x---\nplay (a (b)*2 c)*3 b*4\n';
  for (const [edit, play, names] of [
    [(g) => core.deletePattern(g, 1), '(a c)*3', 'a c'],
    [(g) => core.deletePattern(g, 0), '((b)*2 c)*3 b*4', 'b c'],
    [(g) => core.renamePattern(g, 1, 'fill.2'), '(a (fill.2)*2 c)*3 fill.2*4', 'a fill.2 c'],
    [(g) => core.renamePattern(g, 2, 'c'), '(a (b)*2 c)*3 b*4', 'a b c'],
    [(g) => core.renamePattern(g, 0, 'c'), "pattern 'c' given twice", ''],
    [(g) => core.renamePattern(g, 0, 'two words'), "a pattern's name is 1 to 32 letters, digits, '_', '-' or " +
                                                   "'.', got 'two words'", ''],
    [(g) => core.deletePattern(core.parseBeat('pattern a\nkick x\n'), 0), 'a song keeps at least one pattern', ''],
  ]) {
    const result = edit(core.parseBeat(three));
    const got = result.ok ? [result.play, result.patterns.map((p) => p.name).join(' ')] : [result.message, ''];
    assert.deepStrictEqual(got, [play, names]);
    if (result.ok) assert.ok(core.parseBeat(core.writeBeat(result)).ok);
  }

  // Every cell and setting through the page's rows: text -> grid -> text -> grid is the same grid
  // and the same text, and both texts render the same samples, with the rows as the page edits
  // them (a step a cell, a bracket's cells in [ ]).
  const everything = 'tempo 100\nswing 54\nseed 7\nhumanize 5 10\nchoke off\nstereo\n' +
    'hihat ring=0.2 level=0.9 shift=3  x-o-O-X-[xo]g-x-xx-\n' +
    'snare pitch=D flam=0.03 chance=0.8 shift=-4.5 pan=-0.75  5fFdD?-123456789\n' +
    '36 ring=0.3  9--[x]-[xxx]-[1234]--.-----\n' +
    'hihato  [xxxxxxxxxxxxxxxx]-O-o-----------\n' +
    'accent X---x---1---X--.\n';
  const twoPatterns = 'pattern a\nkick x-[xx]-\nac -X--\npattern b\nsteps 3\nhh ring=0.125 o-x-[oo]\nplay a b*2\n';
  const rows = (grid) => JSON.stringify(grid.patterns.map(({ lineNumber, accentLine, ...p }) => ({
    ...p, lines: p.lines.map(({ lineNumber: _, ...line }) => line) })));
  for (const [text, first, accent] of [
    [everything, ['x-o-O-X-[xo]g-x-xx-', '5fFdD?-123456789', '9--[x]-[xxx]-[1234]--------',
                  '[xxxxxxxxxxxxxxxx]-X-x-----------'], 'X---X---X---X---'],
    [twoPatterns, ['x-[xx]-'], '-X--'],
    [tab, ['X-------------------------------', 'x-x-x-x-x-x-x-o-x-x-x-x-x-x-x-[xxx]-',
           '----X--g-g--X-------X--g-f--X-d-', 'x-----x---x-----x-----x-x-------'], null],
    [book, ['x-xx-xx-xxxx', '---x-----x-x', 'x-x--xx-x-x-'], '---X-----X--'],
    [song, null, null],
  ]) {
    const grid = core.parseBeat(text);
    assert.ok(grid.ok, grid.message);
    if (first) assert.deepStrictEqual(grid.patterns[0].lines.map((line) => line.steps), first);
    assert.strictEqual(grid.patterns[0].accent, accent);
    for (const line of grid.patterns[0].lines) assert.strictEqual(line.cells.join(''), line.steps);
    const written = core.writeBeat(grid);
    assert.strictEqual(typeof written, 'string', written.message);
    const again = core.parseBeat(written);
    assert.strictEqual(rows(again), rows(grid), written);
    assert.strictEqual(core.writeBeat(again), written);
    for (const key of ['tempo', 'steps', 'swing', 'repeat', 'seed', 'humanizeMs', 'humanizePercent', 'choke', 'stereo',
                       'play']) {
      assert.strictEqual(again[key], grid[key], key);
    }
    const problem = compare(`the written text of\n${text}`, core.renderBeat(written, { rate: 8000 }).samples,
                            commandSamples(['beat'], ['-r', '8000', '-'], text));
    if (problem) failures.push(problem);
    ++checked;
  }
  // What each key line is, through a map, and the map's kinds kept when the core rewrites the song.
  const keyed = core.parseBeat('pattern a\n54 x-\n38 -x\n', { map: ['54=cowbell'] });
  assert.deepStrictEqual(keyed.lines.map((line) => [line.kind, line.key]), [['cowbell', 54], ['snare', 38]]);
  assert.ok(core.renamePattern(keyed, 0, 'b').ok);

  // What no beat can hold is refused by the reader's rules, in its words: the command's for the
  // same text.
  const plain = core.parseBeat('kick x---\nsnare ----\n');
  const edited = (change) => { const grid = structuredClone(plain); change(grid); return grid; };
  for (const [change, line, message, text] of [
    [(g) => { g.lines[1].steps = '[x'; }, 2, "'[' without its ']' (a bracket holds cells, with no blanks or |)",
     'kick x\nsnare [x\n'],
    [(g) => { g.lines[1].steps = '[]--'; }, 2, 'a bracket holds 1 to 16 cells, got 0', 'kick x\nsnare []--\n'],
    [(g) => { g.lines[0].steps = 'x[[x]]-'; }, 1, "unexpected '[' in a bracket (cells only: no brackets, blanks or |)",
     'kick x[[x]]-\n'],
    [(g) => { g.lines[0].steps = 'x-]'; }, 1, "']' without its '['", 'kick x-]\n'],
    [(g) => { g.lines[1].steps = '---'; }, 2, '3 steps, but line 1 (the first drum line) has 4', 'kick x---\nsnare ---\n'],
    [(g) => { g.patterns[0].accent = '[X]---'; }, 3, 'the accent line has no brackets', 'kick x\naccent [X]\n'],
    [(g) => { g.patterns[0].accent = 'X'; }, 3, '1 steps, but line 1 (the first drum line) has 4',
     'kick x---\nsnare ----\naccent X\n'],
    [(g) => { g.lines[0].steps = 'x q'; }, 1, "unexpected ' ' in the grid", null],
    [(g) => { g.lines[0].steps = 'x=-'; }, 1, "unexpected '=' in the grid", null],
    [(g) => { g.lines[0].steps = 'x\nsnare x'; }, 1, "unexpected '\n' in the grid", null],
    [(g) => { g.seed = -1; }, 0, "seed takes a whole number, got '-1'", 'seed -1\nkick x\n'],
    [(g) => { g.seed = 4294967296; }, 0, 'seed must be 0 to 4294967295, got 4294967296', 'seed 4294967296\nkick x\n'],
    [(g) => { g.humanizeMs = 101; }, 0, 'humanize must be 0 to 100, got 101', 'humanize 101 0\nkick x\n'],
  ]) {
    const refused = core.writeBeat(edited(change));
    assert.deepStrictEqual([refused.ok, refused.line, refused.message], [false, line, message]);
    if (text) {
      const command = spawnSync(kettorin, ['beat', '-q', '-o', path.join(folder, 'refused.wav'), '-'], { input: text });
      assert.ok(command.stderr.toString().endsWith(`: ${message}\n`), `${message} | ${command.stderr}`);
    }
  }

  // A beat the page's memory cannot hold is refused as the command refuses it, and the core goes
  // on rendering: 1.7 billion samples fit a WAV file but not a 2 GB heap.
  const huge = core.renderBeat('tempo 1\nsteps 1\nrepeat 300\nkick x\n', { rate: 96000, loop: false });
  assert.deepStrictEqual({ ...huge }, { ok: false, line: 0, message: 'Memory allocation failed.' });
  assert.ok(core.renderBeat('kick x\n', { rate: 8000, loop: false }).ok, 'the core died after a refusal');
  const notes = core.renderNotes('kick', 'C', 0, 120);
  assert.deepStrictEqual({ ...notes }, { ok: false, line: 0, message: 'Sample rate must be at least 1. Got: 0' });

  fs.rmSync(folder, { recursive: true, force: true });
  if (failures.length) {
    console.log(failures.join('\n'));
    console.log(`${failures.length} of ${checked} renders differ from the command's`);
    process.exit(1);
  }
  console.log(`${checked} renders identical to the command's, bit for bit`);
}

main().then(() => process.exit(0), (error) => {
  console.log(error.stack || String(error));
  process.exit(1);
});
