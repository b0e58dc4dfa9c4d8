// Renders off the main thread, so that editing never waits for the sound: the core renders, and
// the samples and the WAV bytes go back to the page without being copied.
if (typeof KettorinModule === 'undefined') importScripts('kettorin.js');
const ready = KettorinModule();

// One request through the core's road: its samples, and the command's files of the mix and its
// stems (a beat's with its markers and loop), made by the core as it renders.
function renderRequest(core, request) {
  const started = performance.now();
  const result = core.render(request.source, request.input, request.options);
  const ms = performance.now() - started;
  const wav = result.ok ? result.wav : null;
  const stems = (result.stems || []).map(({ kind, file, wav: bytes }) => ({ kind, file, wav: bytes }));
  delete result.wav;
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
