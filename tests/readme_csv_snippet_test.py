#!/usr/bin/python3
"""The README's numpy snippet for reading the CSV, run exactly as the README
shows it (taken from the README, so the two cannot drift), on CSV files
whose later times do not fit their field and show asterisks.

    readme_csv_snippet_test.py README.md
"""
import os
import re
import sys
import tempfile

try:
    import numpy as np
except ImportError:
    print("numpy is not installed: skipped")
    sys.exit(77)


def snippet(readme):
    text = open(readme, encoding="utf-8").read()
    section = text.split("\n## Reading the CSV\n", 1)
    if len(section) != 2:
        sys.exit("README has no section 'Reading the CSV'")
    block = re.search(r"```python\n(.*?)```", section[1], re.S)
    if not block:
        sys.exit("README's 'Reading the CSV' has no python block")
    return block.group(1)


def write_csv(path, n, dt):
    """n records as read-SCS1 writes them: (F7.3,3(',',F10.3))."""
    with open(path, "w") as f:
        for i in range(n):
            t = "%7.3f" % (i * dt)
            f.write("%s,%10.3f,%10.3f,%10.3f\n" % (t if len(t) == 7 else "*" * 7,
                                                 0.001 * i, -0.5 * i, 100.0 * np.sin(i)))


def main():
    code = snippet(sys.argv[1])
    cases = [(2100, 0.5), (90000, 0.0125), (50, 0.02), (1, 0.01)]
    for n, dt in cases:
        with tempfile.TemporaryDirectory() as scratch:
            write_csv(os.path.join(scratch, "acceleration.csv"), n, dt)
            cwd = os.getcwd()
            os.chdir(scratch)
            try:
                names = {}
                exec(code, names)
            finally:
                os.chdir(cwd)
        t, n38w, s52w, up = (names[k] for k in ("t", "n38w", "s52w", "up"))
        i = np.arange(n)
        label = "%d records, dt %g" % (n, dt)
        assert all(len(a) == n for a in (t, n38w, s52w, up)), label + ": wrong lengths"
        assert np.all(np.isfinite(t)), label + ": a time is not a number"
        assert np.allclose(t, i * dt, rtol=0, atol=1e-3), label + ": times %s" % t[-3:]
        assert np.allclose(n38w, np.round(0.001 * i, 3), rtol=0, atol=1e-9), label + ": N38W"
        assert np.allclose(s52w, -0.5 * i, rtol=0, atol=1e-9), label + ": S52W"
        assert np.allclose(up, np.round(100.0 * np.sin(i), 3), rtol=0, atol=1e-9), label + ": UP"
        print("%s: read back" % label)


if __name__ == "__main__":
    main()
