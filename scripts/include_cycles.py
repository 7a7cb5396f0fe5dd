#!/usr/bin/env python3
"""Reports include cycles between source folders (and, with --files, between files).

Every '#include "..."' that names one of our own files is an edge from the including file's folder to the
included file's folder. A cycle between folders means two folders cannot be understood, built or moved apart.
Exit status 1 when a cycle is found.
    scripts/include_cycles.py [--files] [roots...]      default roots: engine/rova platform QVCore Ombrel
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INCLUDE_DIRS = [ROOT, os.path.join(ROOT, 'engine'), os.path.join(ROOT, 'platform'), os.path.join(ROOT, 'base')]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def resolve(including, name):
    for d in [os.path.dirname(including)] + INCLUDE_DIRS:
        p = os.path.normpath(os.path.join(d, name))
        if os.path.isfile(p):
            return p
    return None


def strongly_connected(graph):
    index, low, stack, on, out, counter = {}, {}, [], set(), [], [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in graph.get(v, ()):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop()
                on.discard(w)
                comp.append(w)
                if w == v:
                    break
            if len(comp) > 1:
                out.append(sorted(comp))

    sys.setrecursionlimit(100000)
    for v in list(graph):
        if v not in index:
            visit(v)
    return out


def main(argv):
    by_file = '--files' in argv
    roots = [a for a in argv if not a.startswith('--')] or ['engine/rova', 'platform', 'QVCore', 'Ombrel']
    graph = {}
    for r in roots:
        for dirpath, _, names in os.walk(os.path.join(ROOT, r)):
            for n in names:
                if not n.endswith(('.h', '.cpp')):
                    continue
                src = os.path.join(dirpath, n)
                with open(src, encoding='utf-8', errors='replace') as f:
                    text = f.read()
                for name in INCLUDE.findall(text):
                    dst = resolve(src, name)
                    if not dst or not dst.startswith(ROOT + os.sep):
                        continue
                    if by_file:
                        # a .cpp and its header are one unit
                        a, b = os.path.splitext(src)[0], os.path.splitext(dst)[0]
                    else:
                        a, b = os.path.dirname(src), os.path.dirname(dst)
                    if a != b:
                        graph.setdefault(os.path.relpath(a, ROOT), set()).add(os.path.relpath(b, ROOT))
    cycles = strongly_connected(graph)
    for c in cycles:
        print('cycle:', ' <-> '.join(c))
    print(f'{len(graph)} {"files" if by_file else "folders"} checked, {len(cycles)} cycle(s)')
    return 1 if cycles else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
