#!/usr/bin/env python3
# The screen's short sounds, made from sine tones (no recording): run it after a change, the
# WAVs in res/ are committed. The sounds are released into the public domain (CC0 1.0) by the
# program's makers.
#
#   snap.wav      a card goes into a slot: one soft high tick
#   delete.wav    a card is deleted: a short falling sweep
#   sent.wav      a send ended well: three rising notes
#   failed.wav    a send failed: two falling notes
#   refused.wav   a key or a drop was refused: two low soft pulses
import math
import os
import struct
import wave

RATE = 22050
LOUDNESS = 0.28  # of full scale: gentle beside speech


def tone(f0, f1, seconds, attack=0.005):
    """A sine from f0 to f1 Hz with a quick rise and a smooth fall."""
    n = int(RATE * seconds)
    out, phase = [], 0.0
    for i in range(n):
        t = i / n
        phase += 2 * math.pi * (f0 + (f1 - f0) * t) / RATE
        rise = min(1.0, i / (RATE * attack))
        fall = (1 - t) ** 2
        out.append(math.sin(phase) * rise * fall)
    return out


def rest(seconds):
    return [0.0] * int(RATE * seconds)


SOUNDS = {
    "snap": tone(1320, 1320, 0.06),
    "delete": tone(700, 260, 0.18),
    "sent": tone(523, 523, 0.09) + tone(659, 659, 0.09) + tone(784, 784, 0.16),
    "failed": tone(440, 440, 0.14) + rest(0.03) + tone(311, 311, 0.22),
    "refused": tone(220, 220, 0.07) + rest(0.05) + tone(220, 220, 0.07),
}


def write(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(s * LOUDNESS * 32767)) for s in samples))


if __name__ == "__main__":
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    for name, samples in SOUNDS.items():
        write(os.path.join(res, name + ".wav"), samples)
