#!/usr/bin/env python3
"""Checks that includes under app/ point down the floors and that no two folders need each other.

Floors, from the ground up: core < registry < services < windows < top. A window is a file named
frm*, an extras page (*Page, ExtrasMenu) or anything in app/ui; the top is app/main and WinMain.
Everything else outside core and registry is a service. Prints each upward include and each circle
of folders; exits 1 when there is one.
"""
import os, re, sys
from itertools import chain

FLOORS = ["core", "registry", "services", "windows", "top"]

def floor(path):
    parts = path.split("/")
    folder, name = parts[1], os.path.basename(path)
    if folder == "core": return 0
    if folder == "registry": return 1
    if folder == "main" or name.startswith("WinMain"): return 4
    if folder == "ui" or name.startswith("frm") or re.match(r".*(Page|ExtrasMenu)\.(h|cpp|rh|rc)$", name): return 3
    return 2

def folder_of(path):
    parts = path.split("/")
    return "/".join(parts[1:-1]) if len(parts) > 2 else "."

def main(root):
    app = os.path.join(root, "app")
    files = {}
    for d, _, names in os.walk(app):
        for n in names:
            if n.endswith((".h", ".cpp", ".rc", ".rh")):
                rel = os.path.relpath(os.path.join(d, n), root).replace(os.sep, "/")
                files[rel] = open(os.path.join(d, n), encoding="utf-8", errors="replace").read()
    bad = []
    edges = {}
    inc = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
    for f, text in sorted(files.items()):
        for target in inc.findall(text):
            t = "app/" + target if ("app/" + target) in files else os.path.normpath(os.path.join(os.path.dirname(f), target)).replace(os.sep, "/")
            if t not in files:
                continue
            if floor(t) > floor(f):
                bad.append(f"{f} ({FLOORS[floor(f)]}) includes {t} ({FLOORS[floor(t)]})")
            a, b = folder_of(f), folder_of(t)
            # app/core/win belongs to core: a folder and its sub-folders count as one.
            a, b = a.split("/")[0], b.split("/")[0]
            if a != b:
                edges.setdefault(a, set()).add(b)
    # Circles between folders: strongly connected components with more than one folder.
    index, low, stack, on, comps, n = {}, {}, [], set(), [], [0]
    def visit(v):
        index[v] = low[v] = n[0]; n[0] += 1; stack.append(v); on.add(v)
        for w in edges.get(v, ()):
            if w not in index:
                visit(w); low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop(); on.discard(w); comp.append(w)
                if w == v: break
            if len(comp) > 1: comps.append(sorted(comp))
    for v in sorted(set(edges) | set(chain.from_iterable(edges.values()))):
        if v not in index: visit(v)
    for b in bad:
        print("upward:", b)
    for c in comps:
        print("circle:", " <-> ".join(c))
    print(f"{len(bad)} upward includes, {len(comps)} circles of folders")
    return 1 if bad or comps else 0

if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")))
