#!/usr/bin/env python3
"""Checks that the #include arrows between the subfolders of a folder run one way.

Usage: scripts/include_layers.py platform/parvolux_common64 [--max-files 12]
       scripts/include_layers.py . --order "plugin codec,avi fileio,log"

Each subfolder is a node, files directly in the folder are the node "."; an #include of a header
inside the folder is an arrow from the includer's node to the header's. Prints the arrows and the
folders from the top layer down, and exits 1 on a cycle or a folder holding more than
--max-files files. With --order (layers from the top down, the folders of one layer joined by
commas) only those folders are looked at, and an include from a lower layer into a higher one
fails too. Run from the repository root (includes are written from there).
"""
import argparse
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def node_of(rel):
    return rel.parts[0] if len(rel.parts) > 1 else "."


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--max-files", type=int, default=12)
    parser.add_argument("--order", default="")
    args = parser.parse_args()
    root = pathlib.Path(args.folder)
    prefix = "" if root.as_posix() == "." else root.as_posix().rstrip("/") + "/"
    rank = {}
    for level, layer in enumerate(args.order.split()):
        for folder in layer.split(","):
            rank[folder] = level

    arrows = {}
    counts = {}
    for path in sorted(p for p in root.rglob("*") if p.is_file()):
        rel = path.relative_to(root)
        source = node_of(rel)
        if rank and source not in rank:
            continue
        counts[rel.parent] = counts.get(rel.parent, 0) + 1
        arrows.setdefault(source, {})
        if path.suffix not in (".h", ".c", ".cpp"):
            continue
        for target in INCLUDE.findall(path.read_text()):
            if not target.startswith(prefix):
                continue
            dest = node_of(pathlib.PurePosixPath(target[len(prefix):]))
            if rank and dest not in rank:
                continue
            if dest != source:
                arrows[source].setdefault(dest, []).append(f"{rel} -> {target[len(prefix):]}")

    failed = False
    for folder, count in sorted(counts.items()):
        if count > args.max_files:
            print(f"too many files: {folder} holds {count}")
            failed = True
    for source in sorted(arrows):
        for dest in sorted(arrows[source]):
            print(f"{source} -> {dest}  ({len(arrows[source][dest])} includes)")
            if rank and rank[dest] < rank[source]:
                print("  upward: " + "; ".join(arrows[source][dest]))
                failed = True

    # Peel off the folders that include nothing left, bottom first; what remains is a cycle.
    remaining = set(arrows)
    layers = []
    while remaining:
        bottom = sorted(s for s in remaining if not any(d in remaining for d in arrows[s]))
        if not bottom:
            print("cycle among: " + ", ".join(sorted(remaining)))
            for s in sorted(remaining):
                for d in sorted(arrows[s]):
                    if d in remaining:
                        print("  " + "; ".join(arrows[s][d]))
            return 1
        layers.insert(0, bottom)
        remaining -= set(bottom)
    print("layers, top down: " + " -> ".join("/".join(layer) for layer in layers))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
