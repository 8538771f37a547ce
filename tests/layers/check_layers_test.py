#!/usr/bin/env python3
"""Runs check-layers.py on a fixture tree of two layers, low and high, where low includes high
once, through "../". Usage: check_layers_test.py CHECK_LAYERS_SCRIPT FIXTURE_ROOT
"""
import subprocess
import sys


def fault(place, folder, target):
    return f'{place}: {folder} includes {target}, which is not below it'


HIGH_INCLUDES_LOW = [fault(f'high/High.h:{line}', 'high', 'low') for line in (2, 3, 4)]
LOW_INCLUDES_HIGH = [fault('low/Low.h:3', 'low', 'high')]

# (name, layer arguments, expected fault lines); any fault fails the check.
CASES = [
    ('high links low: the one upward include', ['high=low', 'low='], LOW_INCLUDES_HIGH),
    ('neither links the other: every form is read', ['high=', 'low='],
     HIGH_INCLUDES_LOW + LOW_INCLUDES_HIGH),
]


def main(script, root):
    failed = False
    for name, layers, expected in CASES:
        run = subprocess.run([sys.executable, script, root] + layers, capture_output=True,
                             text=True, timeout=60)
        lines = run.stdout.splitlines()
        if run.returncode != 1 or lines != expected:
            failed = True
            print(f'{name}: exit {run.returncode}, printed:\n{run.stdout}{run.stderr}'
                  f'expected exit 1 and:\n' + '\n'.join(expected))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1], sys.argv[2]))
