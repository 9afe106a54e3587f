#!/usr/bin/python3
"""The conversion an engineer would write with numpy in a few minutes, for
comparison with read-SCS1: the same three component files in the current
directory, the same CSV out (name as the first argument).

Reads each file's count and time step from records 16 and 17, the data block
with loadtxt (eight values a record), and writes time and the three
components with savetxt in the same field formats, with the third file's
count and time step.
"""
import sys

import numpy as np

COMPONENTS = ("SCS1-N38W.txt", "SCS1-S52W.txt", "SCS1-UP.txt")


def load(name):
    with open(name) as f:
        for _ in range(15):
            f.readline()
        nt = int(f.readline().split()[0])
        dt = np.float32(f.readline().split()[0])
        for _ in range(29):
            f.readline()
        rows = (max(nt, 0) + 7) // 8
        data = np.loadtxt(f, dtype=np.float64, max_rows=rows, ndmin=2) if rows else np.zeros((0, 8))
    return nt, dt, data.reshape(-1)[:max(nt, 0)].astype(np.float32)


def main():
    out = sys.argv[1]
    loaded = [load(name) for name in COMPONENTS]
    nt, dt, _ = loaded[2]
    n = max(nt, 0)
    columns = [(np.arange(n, dtype=np.float64) * np.float64(dt)).astype(np.float32)]
    for _, _, samples in loaded:
        column = np.zeros(n, dtype=np.float32)
        k = min(n, samples.size)
        column[:k] = samples[:k]
        columns.append(column)
    np.savetxt(out, np.column_stack(columns).astype(np.float64),
               fmt=["%7.3f", "%10.3f", "%10.3f", "%10.3f"], delimiter=",")


if __name__ == "__main__":
    main()
