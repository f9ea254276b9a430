#!/usr/bin/env python3
# Writes discharge_30min.csv: a modelled 30-minute discharge as the module would report it.
# The charge is coulomb-counted against a load that rises by half at 10 minutes and eases off
# a little at 22; the shown percent follows the cell's curve (quicker near full, slow in the
# middle, a knee below 15 %), is truncated to whole percent and flickers one up near a boundary
# now and then, as a voltage-corrected reading does. Fixed seed: the file is reproducible.
import random

random.seed(34)
CAPACITY_WS = 2330.0  # load-seconds: the shown charge reaches 0 near 30 minutes


def load_w(t):
    base = 1.0 if t < 600 else 1.5 if t < 1320 else 1.35
    return base * (1 + 0.03 * random.uniform(-1, 1))


def shown(soc):
    # Fraction left (0..1) to the percent shown: the curve is steeper at both ends.
    if soc > 0.95:
        return 92 + (soc - 0.95) / 0.05 * 8
    if soc > 0.15:
        return 18 + (soc - 0.15) / 0.8 * 74
    return soc / 0.15 * 18


def main():
    used = 0.0
    rows = []
    t = 0
    while True:
        soc = max(0.0, 1 - used / CAPACITY_WS)
        value = min(100.0, shown(soc))
        pct = int(value)
        if pct < 100 and value - pct < 0.08 and random.random() < 0.3:
            pct += 1
        rows.append((t * 1000, pct))
        if pct == 0 and soc <= 0:
            break
        used += load_w(t)
        t += 1
    with open("discharge_30min.csv", "w") as f:
        f.write("# Modelled, not recorded from hardware: bench/data/make_discharge.py (seed 34).\n")
        f.write("# One row a second on battery; charge in whole percent; load x1.5 at 600 s,\n")
        f.write("# x1.35 from 1320 s; the last row is the first at 0 % with the battery empty.\n")
        f.write("t_ms,charge\n")
        for r in rows:
            f.write("%d,%d\n" % r)


main()
