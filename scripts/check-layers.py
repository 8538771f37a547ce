#!/usr/bin/env python3
"""Fails when a source folder includes a folder above it in the layers.

Usage: check-layers.py SOURCE_ROOT FOLDER=BELOW,BELOW ...

Each argument names a layer folder and the layers its library links directly; a folder may
include itself and everything it reaches through them. An include naming another layer is
reported with its file and line. Includes of anything but a layer folder are not judged.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/')
SOURCE_SUFFIXES = ('.h', '.hpp', '.cpp', '.c', '.in')


def allowed_layers(links):
    closure = {}

    def reach(folder, path=()):
        if folder in path:
            sys.exit('check-layers: the layers form a circle: ' + ' -> '.join(path + (folder,)))
        if folder not in closure:
            found = {folder}
            for below in links.get(folder, ()):
                found |= reach(below, path + (folder,))
            closure[folder] = found
        return closure[folder]

    for folder in links:
        reach(folder)
    return closure


def faults(root, links):
    allowed = allowed_layers(links)
    for folder in sorted(links):
        for base, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(base, name)
                with open(path, encoding='utf-8', errors='replace') as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = match.group(1)
                        if target in links and target not in allowed[folder]:
                            yield (f'{os.path.relpath(path, root)}:{number}: {folder} includes '
                                   f'{target}, which is not below it')


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    links = {}
    for argument in argv[2:]:
        folder, _, below = argument.partition('=')
        links[folder] = [layer for layer in below.split(',') if layer]
    found = list(faults(argv[1], links))
    for fault in found:
        print(fault)
    if found:
        return 1
    print(f'check-layers: {len(links)} layers, every include points down')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
