#!/usr/bin/python3
"""Writes the sample song that ships with Quavix: a short arrangement of the
traditional round "Frere Jacques" (public domain), made by this project.

Format 1: a tempo track, a melody (piano) and a bass line (acoustic bass),
so the sample exercises the same paths as real songs. Needs python3-mido (Debian's /usr/bin/python3).
"""
import sys
import mido

TICKS = 480
out = sys.argv[1] if len(sys.argv) > 1 else "help/FrereJacques.mid"

# (note, beats); 0 is a rest
melody = [
    (60, 1), (62, 1), (64, 1), (60, 1), (60, 1), (62, 1), (64, 1), (60, 1),
    (64, 1), (65, 1), (67, 2), (64, 1), (65, 1), (67, 2),
    (67, .5), (69, .5), (67, .5), (65, .5), (64, 1), (60, 1),
    (67, .5), (69, .5), (67, .5), (65, .5), (64, 1), (60, 1),
    (60, 1), (55, 1), (60, 2), (60, 1), (55, 1), (60, 2),
]
bass = [(36, 2), (43, 2)] * 8

def track(name, program, channel, notes, velocity):
    t = mido.MidiTrack()
    t.append(mido.MetaMessage("track_name", name=name, time=0))
    t.append(mido.Message("program_change", program=program, channel=channel, time=0))
    for note, beats in notes:
        ticks = int(beats * TICKS)
        if note == 0:
            t.append(mido.Message("note_off", note=60, velocity=0, channel=channel, time=ticks))
            continue
        t.append(mido.Message("note_on", note=note, velocity=velocity, channel=channel, time=0))
        t.append(mido.Message("note_off", note=note, velocity=0, channel=channel, time=ticks))
    t.append(mido.MetaMessage("end_of_track", time=0))
    return t

song = mido.MidiFile(type=1, ticks_per_beat=TICKS)
tempo = mido.MidiTrack()
tempo.append(mido.MetaMessage("track_name", name="Frere Jacques (traditional)", time=0))
tempo.append(mido.MetaMessage("time_signature", numerator=4, denominator=4, time=0))
tempo.append(mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(120), time=0))
# A little broader for the last two bars.
tempo.append(mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(100), time=24 * TICKS))
tempo.append(mido.MetaMessage("end_of_track", time=8 * TICKS))
song.tracks.append(tempo)
song.tracks.append(track("Melody", 0, 0, melody, 96))
song.tracks.append(track("Bass", 32, 1, bass, 80))
song.save(out)
print(f"{out}: {song.length:.3f} s")
