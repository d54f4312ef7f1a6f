#!/usr/bin/env python3
"""The wire-time model of one simulator log: every byte of the log, both ways,
10 bits each (11 with two stop bits), divided by the rate in force, plus the
simulator's own waits.

usage: wire_model.py LOG...   prints the seconds of the longest log and its bytes
"""
import sys


def model(log):
    rate, bits, wire, waits, count = 9600, 10, 0.0, 0.0, 0
    for line in open(log, errors='replace'):
        parts = line.split()
        if len(parts) < 2:
            continue
        event = parts[1]
        if event in ('rx', 'tx'):
            n = sum(1 for p in parts[2:]
                    if len(p) == 2 and all(c in '0123456789ABCDEFabcdef' for c in p))
            count += n
            wire += n * bits / rate
        elif event == 'rate':
            for p in parts[2:]:
                if p.isdigit():
                    rate = int(p)
                    break
        elif event == 'host' and 'stop' in line:
            bits = 11 if '2' in line.split('stop')[0].split()[-1:] else 10
        elif event == 'pause':
            waits += float(parts[2]) / 1000.0 if len(parts) > 2 else 0.0
    return wire + waits, count


if __name__ == '__main__':
    seconds, count = max(model(log) for log in sys.argv[1:])
    print(f'{seconds:.3f} {count}')
