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


def rows(path):
    out = []
    with open(path) as f:
        for line in f:
            line = line.rstrip('\n')
            if not line.startswith('|') or line.startswith('|---'):
                continue
            cells = [c.strip() for c in line.strip('|').split('|')]
            # A figure indented under the one above keeps its indent.
            cells[0] = line.strip('|').split('|')[0][1:].rstrip()
            out.append(cells)
    return out


def main():
    a, b = rows(sys.argv[1]), rows(sys.argv[2])
    if len(a) < 2 or len(a) != len(b):
        sys.exit(f'the two tables differ in length: {len(a)} and {len(b)} rows')
    print('| Figure | Ideal | Goal | i686 (shipped) | Result | x86_64 | Result |')
    print('|---|---|---|---|---|---|---|')
    for ra, rb in zip(a[1:], b[1:]):
        figure, measured_a, ideal, goal, result_a = (ra + [''] * 5)[:5]
        figure_b, measured_b, _, _, result_b = (rb + [''] * 5)[:5]
        # Counts in the figure (ticks, keyings) may differ between the runs:
        # compare the words only.
        if ''.join(c for c in figure if not c.isdigit()) != ''.join(c for c in figure_b if not c.isdigit()):
            sys.exit(f'the tables name different figures: "{figure}" and "{figure_b}"')
        if figure != figure_b:
            # The counts of the x86_64 run go with its figure.
            groups_a = re.findall(r'\(([^)]*)\)', figure)
            groups_b = re.findall(r'\(([^)]*)\)', figure_b)
            extra = [g for g, h in zip(groups_b, groups_a) if g != h]
            own = [h for g, h in zip(groups_b, groups_a) if g != h]
            if extra:
                for h in own:
                    figure = figure.replace(f' ({h})', '')
                measured_a = f'{measured_a} ({"; ".join(own)})'
                measured_b = f'{measured_b} ({"; ".join(extra)})'
        print(f'| {figure} | {ideal} | {goal} | {measured_a} | {result_a} | {measured_b} | {result_b} |')
    missed = [sum('**fail**' in r[4] for r in t[1:] if len(r) > 4) for t in (a, b)]
    print(f'{missed[0]} {missed[1]}', file=sys.stderr)


main()
