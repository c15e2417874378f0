#!/usr/bin/env python3
"""Checks that every include in the source tree points down the layer stack.

Each folder (or sub-folder) listed in LAYERS is one library and one layer; a
file belongs to the deepest listed folder that contains it. A file may include
headers of its own layer and of the layers below it, never above. The folders
beside the stack (SIDE) may include exactly what they list. OS headers may be
included only in platform/ and in the tests. The include graph between folders
must have no cycle.

Usage: check-layers.py [ROOT]   (default: the repository this script is in)
Prints one line per violation and exits 1 when there is any.
"""

import os
import re
import sys

# Top-down: each layer may include itself and everything after it.
LAYERS = [
    "plugin",         # the library entry and the plug-in target
    "editor",         # editor forms and the skin module
    "params/plugin",  # the plug-in's parameter set, processing chain, factory bank
    "host",           # the generic VST 2.x host binding
    "gfx",            # the graphics toolkit (its controls bind to the parameter model)
    "classlib/forms", # controls and forms over the window-system port
    "platform/ui",    # window system, drawing surface and JPEG ports of the editor
    "params/model",   # the parameter model
    "dsp",            # signal processing
    "params/state",   # program and bank state
    "gfx/core",       # locks, interlocked values, change notification
    "classlib",       # the least of a class library
    "platform",       # the OS ports
]

# Beside the stack: folder -> the folders it may include (itself always).
SIDE = {
    "platform/testing": {"platform"},
    "hostkit": {"host", "platform"},
    "apps": {"hostkit", "host", "platform"},
    "tools": set(LAYERS),
    "bench": set(LAYERS) | {"hostkit", "platform/testing"},
    "tests": set(LAYERS) | {"hostkit", "platform/testing", "apps"},
}

OS_HEADER_ALLOWED = ("platform", "tests")

OS_HEADERS = re.compile(
    r"^(windows\.h|winreg\.h|commdlg\.h|shellapi\.h|shlobj\.h|io\.h|direct\.h|process\.h|"
    r"X11/.*|cairo.*|ft2build\.h|freetype/.*|jpeglib\.h|"
    r"unistd\.h|dlfcn\.h|fcntl\.h|pthread\.h|limits\.h|signal\.h|spawn\.h|dirent\.h|"
    r"ucontext\.h|termios\.h|poll\.h|sys/.*|linux/.*)$"
)

SOURCE_DIRS = LAYERS + list(SIDE)
EXTENSIONS = (".h", ".hpp", ".cpp", ".cc", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder_of(path):
    """The layer or side folder a repository path belongs to, or None."""
    best = None
    for folder in SOURCE_DIRS:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def allowed(src, dst):
    if src == dst:
        return True
    if src in SIDE:
        return dst in SIDE[src]
    if dst not in LAYERS:
        return False
    return LAYERS.index(dst) > LAYERS.index(src)


def scan(root):
    """Yields (file, line number, kind '<' or '"', included path)."""
    for top in sorted({d.split("/")[0] for d in SOURCE_DIRS}):
        base = os.path.join(root, top)
        if not os.path.isdir(base):
            continue
        for dirpath, dirnames, filenames in os.walk(base):
            dirnames.sort()
            for name in sorted(filenames):
                if not name.endswith(EXTENSIONS):
                    continue
                full = os.path.join(dirpath, name)
                rel = os.path.relpath(full, root).replace(os.sep, "/")
                with open(full, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if m:
                            yield rel, number, m.group(1), m.group(2)


def resolve(root, rel, target):
    """The repository path a quoted include names: beside the file, else from the root."""
    beside = os.path.normpath(os.path.join(os.path.dirname(rel), target)).replace(os.sep, "/")
    if os.path.isfile(os.path.join(root, beside)):
        return beside
    return target


def find_cycle(edges):
    """One cycle in the folder graph as a list of folders, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def check(root):
    problems = []
    edges = {}
    for rel, number, kind, target in scan(root):
        src = folder_of(rel)
        where = f"{rel}:{number}"
        if kind == "<":
            if OS_HEADERS.match(target) and not src.startswith(OS_HEADER_ALLOWED):
                problems.append(f"{where}: OS header <{target}> outside platform/ (add a port)")
            continue
        dst = folder_of(resolve(root, rel, target))
        if dst is None:
            continue
        if dst != src:
            edges.setdefault(src, set()).add(dst)
        if not allowed(src, dst):
            problems.append(f"{where}: {src}/ includes \"{target}\" from {dst}/, which is not below it")
    cycle = find_cycle(edges)
    if cycle:
        problems.append("include cycle between folders: " + " -> ".join(cycle))
    return problems


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    problems = check(os.path.abspath(root))
    for p in problems:
        print(p)
    if problems:
        print(f"layer check: {len(problems)} problem(s)")
        return 1
    print("layer check: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
