#!/usr/bin/env bash
# Renders the sound gallery of the README from the built command: a spectrogram of a short phrase
# for every drum kind, the waveform of one kick note, and spectrograms of the beat example and of a
# real MIDI drum track.
# Usage: scripts/gallery.sh   (after a build; writes docs/gallery/*.png)
set -euo pipefail
cd "$(dirname "$0")/.."
kettorin=build/kettorin
out=docs/gallery
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
phrase="C D E2 G8 G8 A1"
for drum in kick snare hihat_close hihat_open high_tom mid_tom low_tom cowbell clap ride crash; do
  "$kettorin" -q -d "$drum" -r 22050 -t 120 -o "$work/$drum.wav" "$phrase"
  sox "$work/$drum.wav" -n spectrogram -x 480 -y 160 -z 90 -t "$drum: $phrase" -c "" \
    -o "$out/$drum.png"
done
"$kettorin" -q -d kick -r 44100 -t 120 -o "$work/kick-note.wav" A2
# The beat example: the first two bars.
"$kettorin" beat examples/groove.beat -q -r 22050 -o "$work/groove.wav"
sox "$work/groove.wav" -n trim 0 4.62 spectrogram -x 960 -y 200 -z 90 \
  -t "kettorin beat examples/groove.beat (two bars)" -c "" -o "$out/groove.png"
# The stereo example: both channels, left above right; the hats and the crash lean left, the
# ride and the low tom right.
"$kettorin" beat examples/stereo.beat -q -r 22050 -o "$work/stereo.wav"
sox "$work/stereo.wav" -n spectrogram -x 960 -y 161 -z 90 \
  -t "kettorin beat examples/stereo.beat: left channel above, right below" -c "" \
  -o "$out/stereo.png"
# A real MIDI drum track: mma's rock1 pattern, where Debian's mma package is installed.
if [ -f /usr/share/mma/lib/pflib/rock1.mid ]; then
  "$kettorin" midi /usr/share/mma/lib/pflib/rock1.mid -q -r 22050 -o "$work/rock1.wav"
  sox "$work/rock1.wav" -n trim 4 8 spectrogram -x 960 -y 200 -z 90 \
    -t "kettorin midi: the rock1 pattern of mma (seconds 4 to 12)" -c "" -o "$out/rock1-midi.png"
  "$kettorin" midi /usr/share/mma/lib/pflib/rock1.mid -q -r 22050 --stereo -o "$work/rock1s.wav"
  sox "$work/rock1s.wav" -n trim 4 8 spectrogram -x 960 -y 161 -z 90 \
    -t "kettorin midi --stereo: rock1, left channel above, right below" -c "" \
    -o "$out/rock1-stereo.png"
fi
python3 scripts/waveform.py "$work/kick-note.wav" "$out/kick-waveform.png" 800 200
ls -l "$out"
