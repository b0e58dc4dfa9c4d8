// Renders off the main thread, so that editing never waits for the sound: the core renders, and
// the samples and the WAV bytes go back to the page without being copied.
if (typeof KettorinModule === 'undefined') importScripts('kettorin.js');
const ready = KettorinModule();

// One request through the core's road: its samples, its WAV bytes and those of its stems.
function renderRequest(core, request) {
  const started = performance.now();
  const result = core.render(request.source, request.input, request.options);
  const ms = performance.now() - started;
  // The files have the render's channels: a beat's text may ask for stereo.
  const file = { ...request.options, channels: result.channels };
  const wav = result.ok ? core.wavBytes(result.samples, result.sampleRate, file) : null;
  if (result.ok && !wav) throw new RangeError('no room for the WAV bytes');
  const stems = (result.stems || []).map(({ kind, file: name, samples }) => ({
    kind, file: name, wav: core.wavBytes(samples, result.sampleRate, file) }));
  delete result.stems;
  return { result, wav, ms, stems };
}

onmessage = async ({ data }) => {
  const core = await ready;
  try {
    const answer = renderRequest(core, data);
    const buffers = answer.result.ok
      ? [answer.result.samples.buffer, answer.wav.buffer, ...answer.stems.map((s) => s.wav.buffer),
         ...(answer.result.plays ? [answer.result.plays.start.buffer, answer.result.plays.pattern.buffer] : [])]
      : [];
    postMessage({ id: data.id, ...answer, where: 'worker' }, buffers);
  } catch {
    // Samples the core made but JavaScript has no room to copy.
    postMessage({ id: data.id, result: { ok: false, line: 0, message: 'Memory allocation failed.' } });
  }
};
