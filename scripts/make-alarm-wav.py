#!/usr/bin/env python3
"""Generate Common/sound/alarm.wav, Nocturo's alarm tone.

Two alternating tones (880 Hz and 660 Hz), 0.25 s each, four cycles
(2 s in all), each tone with a short raised-cosine fade in and out so
that no clicks are heard. PCM 16-bit, mono, 22050 Hz.

Standard library only. Usage (from the repository root, or anywhere):
    python3 scripts/make-alarm-wav.py [output.wav]
The output is byte-for-byte the same on every run.
"""
import math
import os
import struct
import sys
import wave

RATE = 22050          # samples per second
TONES = (880.0, 660.0)
TONE_SECONDS = 0.25
CYCLES = 4
FADE_SECONDS = 0.01   # fade in and fade out of each tone
AMPLITUDE = 0.6       # of full scale, leaves headroom


def tone(freq):
    n = int(round(RATE * TONE_SECONDS))
    fade = int(round(RATE * FADE_SECONDS))
    out = []
    for i in range(n):
        s = math.sin(2.0 * math.pi * freq * i / RATE)
        # a little of the third harmonic makes it sound more like a buzzer
        s = 0.85 * s + 0.15 * math.sin(2.0 * math.pi * 3.0 * freq * i / RATE)
        g = 1.0
        if i < fade:
            g = 0.5 - 0.5 * math.cos(math.pi * i / fade)
        elif i >= n - fade:
            g = 0.5 - 0.5 * math.cos(math.pi * (n - 1 - i) / fade)
        out.append(int(round(32767 * AMPLITUDE * g * s)))
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, os.pardir, "Common", "sound", "alarm.wav")
    path = os.path.normpath(sys.argv[1] if len(sys.argv) > 1 else default)
    samples = []
    for _ in range(CYCLES):
        for f in TONES:
            samples.extend(tone(f))
    data = struct.pack("<%dh" % len(samples), *samples)
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data)
    print("wrote %s: %d samples, %.2f s" % (path, len(samples), len(samples) / RATE))


if __name__ == "__main__":
    main()
