#!/usr/bin/env python3
"""Sets the timing tables of the two builds side by side: one row per figure,
its ideal and goal once, then the measured value and result of each build.

    merge_tables.py WIN32_TABLE.md WIN64_TABLE.md

Prints the merged table and, on stderr, the goals each build missed. Both
tables come from the same driver, so their rows name the same figures in the
same order; a row that differs is a fault of the run, and the script says so.
"""
import re
import sys

COUNT = re.compile(r' \(([^)]*\d[^)]*)\)')  # "(2994 ticks)", "(100 keyings)"


def rows(path):
    out = []
    with open(path) as f:
        for line in f:
            if not line.startswith('|') or line.startswith('|---'):
                continue
            cells = line.rstrip('\n').strip('|').split('|')
            # A figure indented under the one above keeps its indent.
            out.append([cells[0][1:].rstrip()] + [c.strip() for c in cells[1:]] + [''] * 4)
    return out


def main():
    a, b = rows(sys.argv[1]), rows(sys.argv[2])
    if len(a) < 2 or len(a) != len(b):
        sys.exit(f'the two tables differ in length: {len(a)} and {len(b)} rows')
    print('| Figure | Ideal | Goal | i686 (shipped) | Result | x86_64 | Result |')
    print('|---|---|---|---|---|---|---|')
    for (figure, measured_a, ideal, goal, result_a, *_), (figure_b, measured_b, _, _, result_b, *_) in zip(a[1:], b[1:]):
        if COUNT.sub('', figure) != COUNT.sub('', figure_b):
            sys.exit(f'the tables name different figures: "{figure}" and "{figure_b}"')
        # Counts that differ between the runs (ticks that came) go with each
        # build's measurement.
        if figure != figure_b:
            measured_a += ' (' + '; '.join(COUNT.findall(figure)) + ')'
            measured_b += ' (' + '; '.join(COUNT.findall(figure_b)) + ')'
            figure = COUNT.sub('', figure)
        print(f'| {figure} | {ideal} | {goal} | {measured_a} | {result_a} | {measured_b} | {result_b} |')
    missed = [sum('**fail**' in r[4] for r in t[1:]) for t in (a, b)]
    print(f'{missed[0]} {missed[1]}', file=sys.stderr)


main()
