"""Renders a beat with the kettorin package and plots its waveform and spectrum.

    python3 beat_plot.py [BEAT_FILE [PNG]]     (default: groove.beat beside this script,
                                                written to beat.png)
"""
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # a file, no window
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import kettorin  # noqa: E402

RATE = 44100


def main() -> None:
    beat_file = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("groove.beat")
    png = Path(sys.argv[2]) if len(sys.argv) > 2 else Path("beat.png")
    samples, levels = kettorin.render_beat(beat_file.read_text(), rate=RATE, with_levels=True)
    seconds = np.arange(samples.size) / RATE

    # The spectrum: the power of 4096-sample Hann-windowed frames, averaged over the beat, in
    # decibels against a full-scale sine.
    frame = 4096
    window = np.hanning(frame)
    frames = samples[: samples.size // frame * frame].reshape(-1, frame) * window
    power = np.mean(np.abs(np.fft.rfft(frames, axis=1)) ** 2, axis=0)
    hertz = np.fft.rfftfreq(frame, 1 / RATE)
    decibels = 10 * np.log10(np.maximum(power, 1e-20) / (window.sum() / 2) ** 2)

    figure, (top, bottom) = plt.subplots(2, 1, figsize=(10, 6), constrained_layout=True)
    top.plot(seconds, samples, linewidth=0.3, color="#1f4e79")
    top.set(title=f"{beat_file.name}: {samples.size} samples at {RATE} Hz, "
                  f"lowered by {-20 * np.log10(levels.normalize):.1f} dB to full scale",
            xlabel="seconds", ylabel="sample", xlim=(0, seconds[-1]), ylim=(-1.05, 1.05))
    bottom.semilogx(hertz[1:], decibels[1:], linewidth=0.8, color="#7a2e0e")
    bottom.set(title="spectrum", xlabel="hertz", ylabel="dB", xlim=(20, RATE / 2),
               ylim=(decibels.max() - 90, decibels.max() + 5))
    bottom.grid(True, which="both", linewidth=0.2)
    figure.savefig(png, dpi=100)
    print(f"{png}: {samples.size / RATE:.2f} s, peak before normalising {levels.peak:.3f}")


if __name__ == "__main__":
    main()
