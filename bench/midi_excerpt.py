#!/usr/bin/python3
"""Writes the first SECONDS of a MIDI song as a format 0 file, with every
sounding note released at the cut, so a synthesiser renders exactly that
excerpt.

Usage: midi_excerpt.py IN.mid OUT.mid SECONDS
"""
import sys

import mido


def main():
    src, dst, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    song = mido.MidiFile(src)
    tpb = song.ticks_per_beat
    tempo = 500000
    now = 0.0            # seconds at the current tick
    tick = 0
    last_kept_tick = 0
    track = mido.MidiTrack()
    for msg in mido.merge_tracks(song.tracks):
        step = mido.tick2second(msg.time, tpb, tempo)
        if now + step >= seconds:
            break
        now += step
        tick += msg.time
        if msg.type == 'end_of_track':
            continue
        track.append(msg.copy(time=tick - last_kept_tick))
        last_kept_tick = tick
        if msg.type == 'set_tempo':
            tempo = msg.tempo
    cut_tick = tick + int(round(mido.second2tick(seconds - now, tpb, tempo)))
    delta = cut_tick - last_kept_tick
    for channel in range(16):
        track.append(mido.Message('control_change', channel=channel, control=64, value=0, time=delta))
        delta = 0
        track.append(mido.Message('control_change', channel=channel, control=123, value=0, time=0))
    track.append(mido.MetaMessage('end_of_track', time=0))
    out = mido.MidiFile(type=0, ticks_per_beat=tpb)
    out.tracks.append(track)
    out.save(dst)


if __name__ == "__main__":
    main()
