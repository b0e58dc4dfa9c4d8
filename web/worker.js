// Renders off the main thread, so that editing never waits for the sound: the core renders, and
// the samples and the WAV bytes go back to the page without being copied.
if (typeof KettorinModule === 'undefined') importScripts('kettorin.js');
const ready = KettorinModule();

onmessage = async ({ data }) => {
  const core = await ready;
  try {
    const started = performance.now();
    const result = data.mode === 'beat'
      ? core.renderBeat(data.text, data.options)
      : core.renderNotes(data.drum, data.notes, data.rate, data.tempo);
    const ms = performance.now() - started;
    const wav = result.ok ? core.wavBytes(result.samples, result.sampleRate, false) : null;
    if (result.ok && !wav) throw new RangeError('no room for the WAV bytes');
    const transfer = result.ok ? [result.samples.buffer, wav.buffer] : [];
    postMessage({ id: data.id, result, wav, ms, where: 'worker' }, transfer);
  } catch {
    // Samples the core made but JavaScript has no room to copy.
    postMessage({ id: data.id, result: { ok: false, line: 0, message: 'Memory allocation failed.' } });
  }
};
