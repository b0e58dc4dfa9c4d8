// Renders one request through the page's core, for the parity test: the mix's float32 samples
// (little-endian) into OUT_FILE and, with "stems": true, stem s into OUT_FILE.s; a beat's or a
// MIDI file's labels into OUT_FILE.csv, and a beat as a MIDI file into OUT_FILE.mid.
// Usage: node render_request.cjs PAGE_FOLDER SOURCE INPUT_FILE OPTIONS_JSON OUT_FILE
'use strict';
const fs = require('node:fs');
const path = require('node:path');

const [pageFolder, source, inputFile, optionsJson, outFile] = process.argv.slice(2);

function raw(samples) {
  return Buffer.from(samples.buffer, samples.byteOffset, samples.byteLength);
}

async function main() {
  const core = await require(path.resolve(pageFolder, 'kettorin.js'))();
  const bytes = fs.readFileSync(inputFile);
  const input = source === 'midi' ? new Uint8Array(bytes) : bytes.toString('utf8');
  const result = core.render(source, input, JSON.parse(optionsJson));
  if (!result.ok) {
    process.stderr.write(`${result.line ? `line ${result.line}: ` : ''}${result.message}\n`);
    process.exit(1);
  }
  fs.writeFileSync(outFile, raw(result.samples));
  (result.stems || []).forEach((stem, s) => fs.writeFileSync(`${outFile}.${s}`, raw(stem.samples)));
  if (source !== 'notes') fs.writeFileSync(`${outFile}.csv`, core.labels(source, input, JSON.parse(optionsJson)).text);
  if (source === 'beat') fs.writeFileSync(`${outFile}.mid`, core.beatMidi(input, JSON.parse(optionsJson)).bytes);
}

main().then(() => process.exit(0), (error) => {
  process.stderr.write(`${error.stack || error}\n`);
  process.exit(1);
});
