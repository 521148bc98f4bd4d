#!/usr/bin/python3
"""Reference song lengths from python3-mido, timed inside this one process.

Usage: mido_lengths.py REPEATS FILE...
Prints one line per file: <length in seconds> <median seconds per read+measure> <path>
(or "error <message> <path>" when mido refuses the file).
"""
import statistics
import sys
import time

import mido


def main():
    repeats = int(sys.argv[1])
    for path in sys.argv[2:]:
        times = []
        length = None
        try:
            for _ in range(repeats):
                start = time.perf_counter()
                length = mido.MidiFile(path).length
                times.append(time.perf_counter() - start)
        except Exception as e:  # mido refuses format 2 and damaged files
            print("error %s %s" % (str(e).replace(" ", "_"), path))
            continue
        print("%.9f %.9f %s" % (length, statistics.median(times), path))


if __name__ == "__main__":
    main()
