#!/usr/bin/env python3
"""Checks the include direction between the runtime's subsystem directories.

Usage: check_layering.py EMULATOR-DIR

The order of the directories and the allowed exceptions are the `layering`
block of EMULATOR-DIR/LAYERING.md. Every include of another subsystem's
header from a file of EMULATOR-DIR/<subsystem>/ must go to a directory earlier
in the order, or be listed as an exception. Exits 1 and names every include
that is neither; a listed exception that no file uses any more is reported
but does not fail.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]+"([a-z_0-9]+)/([^"]+)"', re.MULTILINE)
SOURCE_SUFFIXES = ('.h', '.cpp', '.inc', '.def', '.S')


def read_rules(doc_path):
    with open(doc_path, encoding='utf-8') as f:
        text = f.read()
    block = re.search(r'^```layering\n(.*?)^```', text, re.MULTILINE | re.DOTALL)
    if block is None:
        raise ValueError(f'{doc_path}: no ```layering block')
    order = None
    exceptions = set()
    for number, line in enumerate(block.group(1).splitlines(), 1):
        line = line.split('#', 1)[0].strip()
        if not line:
            continue
        if line.startswith('order '):
            order = line.split()[1:]
            continue
        rule = re.fullmatch(r'([a-z_0-9]+)\s*->\s*([a-z_0-9]+/\S+)', line)
        if rule is None:
            raise ValueError(f'{doc_path}: layering block line {number}: cannot read "{line}"')
        exceptions.add((rule.group(1), rule.group(2)))
    if not order:
        raise ValueError(f'{doc_path}: the layering block has no order line')
    for source, header in exceptions:
        for directory in (source, header.split('/')[0]):
            if directory not in order:
                raise ValueError(f'{doc_path}: exception {source} -> {header}: {directory} is not in the order')
    return order, exceptions


def check(emulator_dir):
    order, exceptions = read_rules(os.path.join(emulator_dir, 'LAYERING.md'))
    rank = {name: i for i, name in enumerate(order)}
    problems = []
    used = set()
    for entry in sorted(os.listdir(emulator_dir)):
        path = os.path.join(emulator_dir, entry)
        if not os.path.isdir(path):
            continue
        if entry not in rank:
            problems.append(f'{entry}/: a subsystem directory the order does not place')
            continue
        for root, _, files in os.walk(path):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                file_path = os.path.join(root, name)
                with open(file_path, encoding='utf-8', errors='replace') as f:
                    text = f.read()
                for match in INCLUDE.finditer(text):
                    target = match.group(1)
                    if target not in rank or target == entry or rank[target] < rank[entry]:
                        continue
                    header = f'{target}/{match.group(2)}'
                    if (entry, header) in exceptions:
                        used.add((entry, header))
                        continue
                    line = text.count('\n', 0, match.start()) + 1
                    relative = os.path.relpath(file_path, emulator_dir)
                    problems.append(f'{relative}:{line}: {entry} includes {header} against the layering')
    for source, header in sorted(exceptions - used):
        print(f'note: the exception {source} -> {header} is no longer used', file=sys.stderr)
    return problems


def main(argv):
    if len(argv) != 2:
        print(f'usage: {argv[0]} EMULATOR-DIR', file=sys.stderr)
        return 2
    try:
        problems = check(argv[1])
    except (OSError, ValueError) as error:
        print(error, file=sys.stderr)
        return 1
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f'Allowed directions and exceptions: {os.path.join(argv[1], "LAYERING.md")}', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
