#!/usr/bin/env python3
"""Fails when a source folder includes a folder above it in the layers.

Usage: check-layers.py SOURCE_ROOT FOLDER=BELOW,BELOW ...

Each argument names a layer folder and the layers its library links directly; a folder may
include itself and everything it reaches through them. An include naming another layer is
reported with its file and line, whichever form names it: "layer/...", <layer/...>, or a path
relative to the including file ("../layer/..."). Includes of anything but a layer folder are not
judged.
"""
import os
import posixpath
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)')
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


def included_folder(root, path, target, quoted):
    """The top folder below root that an include names, or None."""
    target = target.replace('\\', '/')
    # A quoted include is looked for beside the including file first.
    beside = os.path.join(os.path.dirname(path), target)
    if quoted and (target.split('/')[0] in ('.', '..') or os.path.exists(beside)):
        relative = os.path.relpath(os.path.normpath(beside), root).replace(os.sep, '/')
    else:
        relative = posixpath.normpath(target)
    parts = relative.split('/')
    return parts[0] if len(parts) > 1 and parts[0] != '..' else None


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
                        quoted = match.group(1) is not None
                        target = included_folder(
                            root, path, match.group(1) if quoted else match.group(2), quoted)
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
