// The page in headless Chromium: a pattern built by clicking and typing shows as beat text, renders
// the command's samples bit for bit, downloads the command's WAV bytes (markers and loop included),
// its MIDI file and its labels, draws its pictures, shows
// a bad text's error with its line, plays the notes tab, builds and plays a song of two patterns,
// types velocities, flams, drags, chance hits, accents and open hats into the grid, pans a line and
// plays and downloads it in stereo, opens MIDI files as songs, and opens as one file from file://.
// Usage: node page_test.cjs KETTORIN WEB_BUILD [--screenshot PNG]
'use strict';
const assert = require('node:assert');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const puppeteer = require('puppeteer-core');

const [kettorin, webBuild] = process.argv.slice(2);
const screenshotAt = process.argv.indexOf('--screenshot');
const screenshot = screenshotAt > 0 ? process.argv[screenshotAt + 1] : null;
const pageFolder = path.resolve(webBuild, 'page');
const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'kettorin-page-'));

// The command's file for a beat text (or a note string), as bytes.
function commandFile(args, input, float) {
  const out = path.join(folder, float ? 'command.f.wav' : 'command.wav');
  const subcommand = args[0] === 'beat' || args[0] === 'midi' ? 1 : 0;
  execFileSync(kettorin, [...args.slice(0, subcommand), '-q', ...(float ? ['--float'] : []), '-o', out,
                          ...args.slice(subcommand)], { input });
  return fs.readFileSync(out);
}

// A float file's samples: its data chunk, after the 58-byte header (a beat's markers follow it).
function floatSamples(bytes) {
  const start = bytes.byteOffset + 58;
  return new Uint32Array(bytes.buffer.slice(start, start + bytes.readUInt32LE(54)));
}

// The command's --labels file and, for a beat, its --midi file, for the same arguments.
function commandSideFiles(args, input) {
  const midi = path.join(folder, 'command.mid'), labels = path.join(folder, 'command.csv');
  const beat = args[0] === 'beat';
  execFileSync(kettorin, [args[0], '-q', ...(beat ? ['--midi', midi] : []), '--labels', labels,
                          '-o', path.join(folder, 'side.wav'), ...args.slice(1)], { input });
  return { midi: beat ? fs.readFileSync(midi) : null, labels: fs.readFileSync(labels) };
}

function assertSameBits(pageSamples, commandBytes, what) {
  const page = new Uint32Array(new Float32Array(pageSamples).buffer);
  const command = floatSamples(commandBytes);
  assert.strictEqual(page.length, command.length, `${what}: sample counts differ`);
  const first = page.findIndex((bits, i) => bits !== command[i]);
  assert.strictEqual(first, -1, `${what}: sample ${first} differs from the command's`);
}

// A static server for the page's folder, on a free port of 127.0.0.1.
function serve() {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css' };
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname).replace(/^\/$/, '/index.html');
    const file = path.join(pageFolder, path.normalize(name));
    if (!file.startsWith(path.resolve(pageFolder)) || !fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] ?? 'application/octet-stream' });
    response.end(fs.readFileSync(file));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function open(browser, url, blocked) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1500, height: 900 });
  // No network: any request that is not the page's own fails the test.
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    const own = request.url().startsWith(url.split('#')[0].replace(/[^/]*$/, '')) ||
                request.url().startsWith('blob:') || request.url().startsWith('data:');
    if (!own) blocked.push(request.url());
    own ? request.continue() : request.abort();
  });
  page.on('pageerror', (error) => blocked.push(`page error: ${error.message}`));
  page.on('console', (message) => { if (message.type() === 'error') console.log(`page: ${message.text()}`); });
  await page.goto(url);
  await page.waitForFunction(() => globalThis.kettorinPage?.ready === true, { timeout: 20000 });
  return page;
}

// Waits for a render newer than the last one seen, and returns the page's view of it.
async function nextRender(page, after) {
  await page.waitForFunction((n) => globalThis.kettorinPage.renders > n, { timeout: 20000 }, after);
  return page.evaluate(() => ({
    renders: kettorinPage.renders,
    samples: Array.from(kettorinPage.render.samples),
    sampleRate: kettorinPage.render.sampleRate,
  }));
}

// Renders what the page shows now, and returns the page's view of it.
async function renderNow(page) {
  return page.evaluate(async () => {
    await kettorinPage.renderNow();
    const { samples, sampleRate, where } = kettorinPage.render;
    return { samples: Array.from(samples), sampleRate, where };
  });
}

const renders = (page) => page.evaluate(() => kettorinPage.renders);
const textView = (page) => page.$eval('#beat-text', (e) => e.value);

async function setValue(page, selector, value) {
  await page.$eval(selector, (e, v) => {
    e.value = v;
    e.dispatchEvent(new Event(e.tagName === 'TEXTAREA' || e.type === 'text' ? 'input' : 'change'));
  }, value);
}

// A file that has arrived in the downloads folder, as bytes.
// Chromium may show the name before the last bytes land: the file counts once no download is in
// progress in its folder and its size holds still.
async function downloadedFile(name) {
  const pause = () => new Promise((r) => setTimeout(r, 100));
  let size = -1;
  for (let i = 0; i < 200; ++i, await pause()) {
    const busy = fs.readdirSync(path.dirname(name)).some((f) => f.endsWith('.crdownload'));
    const now = fs.existsSync(name) ? fs.statSync(name).size : -1;
    if (now > 0 && now === size && !busy) break;
    size = now;
  }
  return fs.readFileSync(name);
}

// Kick, snare, closed hi-hat and key 54 on channel 10, at 96 ticks a quarter.
const kMidi = Buffer.from([...Buffer.from('MThd'), 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60, ...Buffer.from('MTrk'),
                           0, 0, 0, 24, 0x00, 0x99, 36, 100, 0x00, 0x99, 54, 80, 0x30, 0x99, 38, 127,
                           0x00, 0x99, 42, 90, 0x30, 0x99, 36, 60, 0x30, 0xFF, 0x2F, 0x00]);

async function main() {
  const server = await serve();
  const base = `http://127.0.0.1:${server.address().port}/`;
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--mute-audio'],
  });
  const blocked = [];
  try {
    const page = await open(browser, base, blocked);

    // Build a pattern: type a one-line beat, then click, press keys and type in the grid.
    await page.click('#beat-text', { clickCount: 3 });
    await page.$eval('#beat-text', (e) => { e.value = ''; });
    await page.type('#beat-text', 'tempo 100\nkick x---\n');
    assert.strictEqual(await page.$$eval('.cell:not(.accent-cell)', (cells) => cells.length), 4);
    await page.click('#length', { clickCount: 3 });
    await page.type('#length', '8');
    await page.keyboard.press('Tab');
    await page.click('[data-cell="0,4"]');
    await page.click('[data-cell="0,4"]');  // hit, then accent
    await page.click('#add-line');           // the first drum not yet used: the snare
    for (let i = 0; i < 3; ++i) await page.click('[data-cell="1,2"]');  // a ghost
    await page.focus('[data-cell="1,2"]');
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('Space');      // step 7 of the snare: a hit
    await page.keyboard.press('ArrowUp');
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('Enter');      // step 3 of the kick: a hit
    const ring = 'input[aria-label="Ring of line 2 in seconds"]';
    await page.click(ring, { clickCount: 3 });
    await page.type(ring, '0.15');
    await page.keyboard.press('Tab');
    await page.click('#swing', { clickCount: 3 });
    await page.type('#swing', '58');
    await page.keyboard.press('Tab');
    const text = await textView(page);
    assert.strictEqual(text, 'tempo 100\nsteps 4\nswing 58\n\nkick             x-x-X---\nsnare ring=0.15  --g---x-\n');
    assert.strictEqual(await page.$eval('[data-cell="1,2"]', (e) => e.getAttribute('aria-label')),
                       'Snare, step 3: ghost');

    // Its samples are the command's, bit for bit, at two rates, with and without loop.
    const first = await renderNow(page);
    assert.strictEqual(first.where, 'worker');
    assertSameBits(first.samples, commandFile(['beat', '-'], text, true), 'the clicked beat');
    await page.click('#loop');
    await page.select('#rate', '22050');
    const looped = await renderNow(page);
    assert.strictEqual(looped.sampleRate, 22050);
    assertSameBits(looped.samples, commandFile(['beat', '-r', '22050', '--loop', '-'], text, true),
                   'the looped beat at 22050 Hz');

    // Playing hands Web Audio a looping buffer of exactly those samples.
    await page.click('#play');
    await page.waitForFunction(() => kettorinPage.played !== null);
    const played = await page.evaluate(() => ({ ...kettorinPage.played, samples: Array.from(kettorinPage.played.samples) }));
    assert.strictEqual(played.sampleRate, 22050);
    assert.strictEqual(played.loop, true);
    assert.deepStrictEqual(played.samples, looped.samples);
    assert.strictEqual(await page.$eval('#play', (e) => e.textContent), 'Stop');
    await page.click('#play');

    // The downloaded file is the command's file, byte for byte.
    const downloads = path.join(folder, 'downloads');
    fs.mkdirSync(downloads);
    const cdp = await page.createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    await page.click('#download');
    const downloaded = path.join(downloads, 'beat.wav');
    assert.ok((await downloadedFile(downloaded)).equals(commandFile(['beat', '-r', '22050', '--loop', '-'], text, false)),
              'the downloaded WAV file differs from the command\'s');
    // And so are its MIDI file and its labels.
    const side = commandSideFiles(['beat', '-r', '22050', '--loop', '-'], text);
    await page.click('#download-midi');
    assert.ok((await downloadedFile(path.join(downloads, 'beat.mid'))).equals(side.midi),
              'the downloaded MIDI file differs from the command\'s --midi file');
    await page.click('#download-labels');
    assert.ok((await downloadedFile(path.join(downloads, 'beat.csv'))).equals(side.labels),
              'the downloaded labels differ from the command\'s --labels file');

    // The pictures are drawn: most columns of the waveform and the spectrogram are not background.
    const drawn = await page.evaluate(() => ['waveform', 'spectrogram'].map((id) => {
      const canvas = document.getElementById(id);
      const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
      let lit = 0;
      for (let p = 0; p < data.length; p += 4) lit += data[p] > 60 ? 1 : 0;
      return lit / (canvas.width * canvas.height);
    }));
    assert.ok(drawn[0] > 0.02 && drawn[1] > 0.02, `pictures look empty: ${drawn}`);

    // A bad text shows the command's error and its line; the grid keeps the last good beat.
    const bad = 'tempo 100\nkick x---\nsnare x--\n';
    await setValue(page, '#beat-text', bad);
    const error = await page.$eval('#beat-error', (e) => (e.hidden ? '' : e.textContent));
    assert.strictEqual(error, 'Error: line 3: 3 steps, but line 2 (the first drum line) has 4');
    const command = spawnSync(kettorin, ['beat', '-q', '-o', path.join(folder, 'bad.wav'), '-'], { input: bad });
    assert.strictEqual(command.status, 15);
    assert.strictEqual(command.stderr.toString(),
                       '(standard input):3: 3 steps, but line 2 (the first drum line) has 4\n');
    assert.strictEqual(await page.$eval('#beat-text', (e) => e.getAttribute('aria-invalid')), 'true');
    assert.strictEqual(await page.$$eval('.cell:not(.accent-cell)', (cells) => cells.length), 16);

    // The shared link carries the beat: a new page opened from it shows the same text.
    await setValue(page, '#beat-text', text);
    const link = await page.$eval('#share', (e) => e.href);
    const shared = await open(browser, link, blocked);
    assert.strictEqual(await textView(shared), text);
    await shared.close();

    // The notes tab renders the note string as the command's plain form does.
    await page.click('#tab-notes');
    await page.select('#notes-drum', 'cowbell');
    await page.click('#notes-text', { clickCount: 3 });
    await page.type('#notes-text', 'A Bb8 C#2 D16 G');
    const notes = await renderNow(page);
    assertSameBits(notes.samples, commandFile(['-d', 'cowbell', '-r', '22050', '-t', '120', '--', 'A Bb8 C#2 D16 G'],
                                              undefined, true), 'the notes tab');
    await page.click('#tab-beat');

    // Gain, no normalising and a float file: the download is the command's file, byte for byte.
    await setValue(page, '#gain', '-6');
    await page.click('#no-normalize');
    await page.click('#float');
    await renderNow(page);
    fs.rmSync(downloaded);
    await page.click('#download');
    const floatDownload = await downloadedFile(downloaded);
    const floatCommand = commandFile(['beat', '-r', '22050', '--loop', '--gain', '-6', '--no-normalize', '-'],
                                     text, true);
    assert.ok(floatDownload.equals(floatCommand), 'the float download with a gain differs from the ' +
              `command's: ${floatDownload.length} bytes against ${floatCommand.length}`);

    // A pan typed into a line's field writes pan= into the line and makes the beat stereo: Stereo is
    // checked, Web Audio is handed both channels, and the download is the command's --stereo file, byte
    // for byte. Stereo off takes the pans out; on by itself writes the text's stereo line.
    assert.strictEqual(await page.$eval('#stereo', (e) => e.checked), false);
    await setValue(page, 'input[aria-label^="Pan of line 2"]', '-0.5');
    const panned = await textView(page);
    assert.strictEqual(panned, 'tempo 100\nsteps 4\nswing 58\n\nkick                      x-x-X---\n' +
                               'snare ring=0.15 pan=-0.5  --g---x-\n');
    const stereo = await renderNow(page);
    assert.strictEqual(await page.$eval('#stereo', (e) => e.checked), true);
    const stereoArgs = ['beat', '-r', '22050', '--loop', '--gain', '-6', '--no-normalize', '--stereo', '-'];
    assertSameBits(stereo.samples, commandFile(stereoArgs, panned, true), 'the panned beat');
    fs.rmSync(downloaded);
    await page.click('#download');
    assert.ok((await downloadedFile(downloaded)).equals(commandFile(stereoArgs, panned, true)),
              'the stereo download differs from the command\'s --stereo file');
    await page.evaluate(() => { kettorinPage.played = null; });  // the looped beat's, played before
    await page.click('#play');
    await page.waitForFunction(() => kettorinPage.played !== null);
    const playedStereo = await page.evaluate(() => ({ channels: kettorinPage.played.channels,
                                                      length: kettorinPage.played.length,
                                                      samples: Array.from(kettorinPage.played.samples) }));
    await page.click('#play');
    assert.deepStrictEqual(playedStereo, { channels: 2, length: stereo.samples.length / 2, samples: stereo.samples });
    await page.click('#stereo');
    assert.strictEqual(await textView(page), text);
    await page.click('#stereo');
    assert.strictEqual(await textView(page), text.replace('swing 58\n', 'swing 58\nstereo\n'));
    await page.click('#stereo');
    assert.strictEqual(await textView(page), text);
    await renderNow(page);
    assert.strictEqual(await page.$eval('#stereo', (e) => e.checked), false);

    // A MIDI file opened on its tab, with a key map, and its stems downloaded.
    const midiFile = path.join(folder, 'drums.mid');
    fs.writeFileSync(midiFile, kMidi);
    await page.click('#tab-midi');
    await setValue(page, '#midi-map', '54=cowbell');
    await (await page.$('#midi-file')).uploadFile(midiFile);
    await page.waitForFunction(() => kettorinPage.render?.mode === 'midi', { timeout: 20000 });
    const midiArgs = ['midi', midiFile, '-r', '22050', '--gain', '-6', '--no-normalize', '--map', '54=cowbell'];
    assertSameBits((await renderNow(page)).samples, commandFile(midiArgs, undefined, true), 'the MIDI tab');
    await page.click('#download-stems');
    commandFile([...midiArgs, '--stems'], undefined, true);
    const stems = fs.readdirSync(folder).filter((file) => /^command\.f\..+\.wav$/.test(file));
    assert.deepStrictEqual(stems.sort(), ['command.f.cowbell.wav', 'command.f.hihat_close.wav',
                                          'command.f.kick.wav', 'command.f.snare.wav']);
    for (const stem of stems) {
      const name = stem.replace('command.f.', 'midi.');
      assert.ok((await downloadedFile(path.join(downloads, name))).equals(fs.readFileSync(path.join(folder, stem))),
                `the stem ${name} differs from the command's`);
    }
    // Its labels are the command's; only a beat is written as a MIDI file.
    await page.click('#download-labels');
    assert.ok((await downloadedFile(path.join(downloads, 'midi.csv'))).equals(commandSideFiles(midiArgs).labels),
              'the MIDI tab\'s labels differ from the command\'s');
    assert.strictEqual(await page.$eval('#download-midi', (e) => e.disabled), true);
    // In stereo, each kind at its place and the kick where the pans put it.
    await page.click('#midi-stereo');
    await setValue(page, '#midi-pan', 'kick=-0.5');
    assertSameBits((await renderNow(page)).samples,
                   commandFile([...midiArgs, '--stereo', '--pan', 'kick=-0.5'], undefined, true), 'the MIDI tab in stereo');
    await page.click('#midi-stereo');

    // A MIDI file chosen or dropped on the page (on the beat tab: the MIDI tab opens with it) and
    // opened as a song: the beat text is the command's --to-beat text byte for byte, the grid shows
    // its patterns' tabs and its play line, the report is the command's; a file without bars is
    // refused in the command's words.
    const corpus = (name) => path.join(__dirname, '..', 'fuzz', 'corpus', 'midi', name);
    const dropFile = (file) => page.evaluate((name, bytes) => {
      const dataTransfer = new DataTransfer();
      dataTransfer.items.add(new File([new Uint8Array(bytes)], name));
      for (const type of ['dragover', 'drop']) {
        document.querySelector('main').dispatchEvent(new DragEvent(type, { dataTransfer, bubbles: true }));
      }
    }, path.basename(file), [...fs.readFileSync(file)]);
    for (const [file, dropped, steps] of [['/usr/share/mma/lib/pflib/rock1.mid', false, ''],
                                          [corpus('format1_tempo_map.mid'), true, '8'], [corpus('smpte.mid'), true, '']]) {
      await (dropped ? dropFile(file) : (await page.$('#midi-file')).uploadFile(file));
      await page.waitForFunction((name) => document.getElementById('midi-offer').textContent.startsWith(name) &&
                                 document.getElementById('tab-midi').getAttribute('aria-selected') === 'true',
                                 { timeout: 20000 }, path.basename(file));
      await setValue(page, '#midi-song-steps', steps);
      await page.click('#midi-song');
      const command = spawnSync(kettorin, ['midi', file, '--to-beat', '--map', '54=cowbell',
                                           ...(steps ? ['--steps', steps] : []), '-o', '-']);
      const said = command.stderr.toString();
      if (command.status !== 0) {
        assert.strictEqual(await page.$eval('#midi-song-error', (e) => `${e.textContent}\n`),
                           said.replace(`${file}: `, 'Error: '));
        continue;
      }
      const songText = command.stdout.toString();
      assert.strictEqual(await textView(page), songText, `${file} as a song`);
      assert.deepStrictEqual(await page.evaluate(() => [
        document.getElementById('tab-beat').getAttribute('aria-selected'),
        document.querySelectorAll('#pattern-tabs [role=tab]').length,
        document.getElementById('pattern-tab-0').getAttribute('aria-selected'),
        document.getElementById('arrangement').value,
        document.getElementById('song-report-lines').textContent]), [
        'true', songText.match(/^pattern /gm).length, 'true', songText.match(/^play (.*)$/m)[1],
        said.replace(/✓ Created: .*\n$/, '')]);
    }
    await page.click('#tab-beat');
    await setValue(page, '#gain', '0');
    await page.click('#no-normalize');
    await page.click('#float');

    // Speed: a 30-second beat of four lines, rendered in the page's worker.
    await page.select('#rate', '44100');
    await page.$eval('#loop', (e) => { if (e.checked) e.click(); });
    const thirty = 'tempo 120\nrepeat 15\nkick x---x---x---x---\nsnare ----X-------X--g\n' +
                   'hihatc x-x-x-x-x-x-x-xX\nhihato --------------x-\n';
    await setValue(page, '#beat-text', thirty);
    const times = [];
    for (let i = 0; i < 5; ++i) {
      times.push(await page.evaluate(async () => { await kettorinPage.renderNow(); return kettorinPage.render.ms; }));
    }
    const length = await page.evaluate(() => kettorinPage.render.samples.length);
    assert.strictEqual(length, 30 * 44100);
    times.sort((a, b) => a - b);
    console.log(`30 s 4-line beat at 44100 Hz in the page's worker: ${times[2].toFixed(1)} ms (median of 5: ` +
                `${times.map((t) => t.toFixed(1)).join(', ')})`);

    // A song: a second pattern added to a plain grid, edited, given its own length and tempo and
    // renamed; an arrangement clicked and typed; the text and the arrangement line in step both ways.
    await setValue(page, '#beat-text', 'tempo 120\nkick x---x---\n');
    await page.click('#pattern-add');       // patterns a and b, b selected: a's kick, all rests
    await page.click('[data-cell="0,2"]');
    await page.click('#add-line');
    await page.click('[data-cell="1,3"]');
    await setValue(page, '#length', '6');
    await setValue(page, '#pattern-tempo', '90');
    const renameTo = async (name) => {
      await page.click('#pattern-name', { clickCount: 3 });
      await page.type('#pattern-name', name);
      await page.keyboard.press('Enter');
    };
    await renameTo('a');
    assert.strictEqual(await page.$eval('#pattern-error', (e) => e.textContent), 'Error: pattern \'a\' given twice');
    await renameTo('fill');
    await page.click('#pattern-tab-0');
    await page.click('#pattern-play');
    await page.click('#pattern-play');
    await page.focus('#pattern-tab-0');
    await page.keyboard.press('ArrowRight');  // the fill's tab
    await page.click('#pattern-play');
    assert.strictEqual(await page.$eval('#arrangement', (e) => e.value), 'a a fill');
    assert.ok((await textView(page)).endsWith('\nplay a a fill\n'));
    // Typed: the text follows each arrangement the core takes ('a', 'a*2', ...); a name the song
    // lacks is refused in the command's words, and the song keeps the last arrangement it took.
    await page.click('#arrangement', { clickCount: 3 });
    await page.type('#arrangement', 'a*2 chorus');
    assert.ok((await textView(page)).endsWith('\nplay a*2\n'));
    const unknown = (await textView(page)).replace('play a*2\n', 'play a*2 chorus\n');
    const refused = spawnSync(kettorin, ['beat', '-q', '-o', path.join(folder, 'bad.wav'), '-'], { input: unknown });
    assert.strictEqual(refused.stderr.toString().replace(/^\(standard input\):\d+: /, 'Error: '),
                       await page.$eval('#arrangement-error', (e) => `${e.textContent}\n`));
    for (let i = 0; i < 'chorus'.length; ++i) await page.keyboard.press('Backspace');
    await page.type('#arrangement', 'fill');
    await setValue(page, '#beat-text', (await textView(page)).replace('play a*2 fill', 'play (a fill)*2'));
    assert.strictEqual(await page.$eval('#arrangement', (e) => e.value), '(a fill)*2');
    const song = await textView(page);
    assert.strictEqual(song, 'tempo 120\nsteps 4\n\npattern a\nkick  x---x---\n\npattern fill\ntempo 90\n' +
                             'kick   --x---\nsnare  ---x--\n\nplay (a fill)*2\n');

    // It renders the command's samples, plays them with the playhead on the pattern being played
    // (each play a second: 8 steps at 120, then 6 at 90), and downloads the command's bytes.
    const songRender = await renderNow(page);
    assertSameBits(songRender.samples, commandFile(['beat', '-'], song, true), 'the song');
    assert.deepStrictEqual(await page.evaluate(() => Array.from(kettorinPage.render.plays.start)),
                           [0, 44100, 88200, 132300]);
    await page.click('#play');
    await page.waitForFunction(() => kettorinPage.playing?.pattern === 'fill', { timeout: 10000 });
    assert.strictEqual(await page.$eval('#pattern-tab-1', (e) => e.classList.contains('playing')), true);
    const songPlayed = await page.evaluate(() => Array.from(kettorinPage.played.samples));
    assert.deepStrictEqual(songPlayed, songRender.samples);
    await page.click('#play');
    fs.rmSync(downloaded);
    await page.click('#download');
    assert.ok((await downloadedFile(downloaded)).equals(commandFile(['beat', '-'], song, false)),
              'the downloaded song differs from the command\'s file');
    // Its MIDI file marks each play by its pattern, as the command's does.
    for (const file of ['beat.mid', 'beat.csv']) fs.rmSync(path.join(downloads, file));
    const songSide = commandSideFiles(['beat', '-'], song);
    await page.click('#download-midi');
    await page.click('#download-labels');
    assert.ok((await downloadedFile(path.join(downloads, 'beat.mid'))).equals(songSide.midi), 'the song\'s MIDI file differs');
    assert.ok((await downloadedFile(path.join(downloads, 'beat.csv'))).equals(songSide.labels), 'the song\'s labels differ');
    // Deleting the fill takes it out of the arrangement too.
    await page.click('#pattern-delete');
    assert.strictEqual(await textView(page), 'tempo 120\nsteps 4\n\npattern a\nkick  x---x---\n\nplay (a)*2\n');

    // Expression: a velocity, a flam, a drag and a chance hit typed into cells, an accent toggled
    // on the accent row, hats opened by key and by shift and a click, a seed, a human feel and no
    // choke: the text says so, the bars stand as tall as the levels, and the sound and the stems are
    // the command's.
    await setValue(page, '#beat-text', 'tempo 100\nhihat x-x-x-x-\nsnare --------\n');
    await page.focus('[data-cell="1,0"]');
    for (const key of ['5', 'f', 'ArrowRight', 'd', '?']) await page.keyboard.press(key);
    await page.click('[data-cell="2,4"]');
    await page.focus('[data-cell="0,6"]');
    await page.keyboard.press('o');
    await page.keyboard.down('Shift');
    await page.click('[data-cell="0,2"]');
    await page.keyboard.up('Shift');
    await setValue(page, '#seed', '7');
    await setValue(page, '#humanize-ms', '4');
    await setValue(page, '#humanize-percent', '10');
    await page.click('#choke');
    const expressive = await textView(page);
    assert.strictEqual(expressive, 'tempo 100\nsteps 4\nseed 7\nhumanize 4 10\nchoke off\n\n' +
                                   'hihat   x-o-x-o-\nsnare   5f-d?---\naccent  ----X---\n');
    const looks = (selector) => page.$eval(selector, (e) => [e.getAttribute('aria-label'),
      [...e.querySelectorAll('.bar')].map((bar) => bar.style.height).join(' ')]);
    assert.deepStrictEqual(await looks('[data-cell="1,0"]'), ['Snare, step 1: velocity 5 of 9', '55.6%']);
    assert.deepStrictEqual(await looks('[data-cell="1,1"]'), ['Snare, step 2: flam', '35% 70%']);
    assert.deepStrictEqual(await looks('[data-cell="1,3"]'), ['Snare, step 4: drag', '35% 35% 70%']);
    assert.deepStrictEqual(await looks('[data-cell="0,6"]'), ['Hi-hat line, step 7: open', '70%']);
    assert.deepStrictEqual(await looks('[data-cell="2,4"]'), ['Accent, step 5: accented', '100%']);
    assertSameBits((await renderNow(page)).samples, commandFile(['beat', '-'], expressive, true), 'the expressive beat');
    for (const file of fs.readdirSync(downloads)) fs.rmSync(path.join(downloads, file));
    await page.click('#download-stems');
    commandFile(['beat', '--stems', '-'], expressive, false);
    for (const stem of ['hihat', 'snare']) {
      assert.ok((await downloadedFile(path.join(downloads, `beat.${stem}.wav`)))
        .equals(fs.readFileSync(path.join(folder, `command.${stem}.wav`))), `the stem beat.${stem}.wav differs`);
    }
    // A bracket typed into the text shows as one step of three bars; the grid writes it back.
    await setValue(page, '#beat-text', expressive.replace('5f-d?---', '5f-d?[xgX]--'));
    assert.deepStrictEqual(await looks('[data-cell="1,5"]'), ['Snare, step 6: 3 in one step: hit, ghost, accent',
                                                               '70% 35% 100%']);
    await page.click('[data-cell="1,7"]');
    assert.strictEqual(await textView(page), expressive.replace('5f-d?---', '5f-d?[xgX]-x'));

    // The screenshot shows the example song.
    if (screenshot) {
      await setValue(page, '#beat-text', fs.readFileSync(path.join(__dirname, '..', '..', 'examples', 'song.beat'), 'utf8'));
      await page.click('#pattern-tab-1');
      await page.evaluate(() => kettorinPage.renderNow());
      await page.screenshot({ path: screenshot, fullPage: true });
      console.log(`saved ${screenshot}`);
    }
    await page.close();

    // The single file opens from file:// with no server and renders the same samples.
    const single = await open(browser, 'file://' + path.resolve(webBuild, 'kettorin.html') +
                              '#beat=' + encodeURIComponent(text), blocked);
    await nextRender(single, 0);
    const alone = await renderNow(single);
    assert.strictEqual(alone.where, 'worker');
    assertSameBits(alone.samples, commandFile(['beat', '-'], text, true), 'the single-file page');
    assert.strictEqual(await single.evaluate(() => document.querySelectorAll('script[src], link[rel=stylesheet]').length), 0);

    assert.deepStrictEqual(blocked, [], 'the page asked for something outside itself');
    console.log('page test passed');
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

main().then(() => process.exit(0), (error) => {
  console.log(error.stack || String(error));
  process.exit(1);
});
