#!/usr/bin/env python3
"""Fails when a library includes a header of a layer above it, or when a library that must work
without windows includes a Qt Widgets header. Run with the source root as its argument."""
import pathlib
import re
import sys

# Each folder and the folders it may include, lowest layer first. A folder inside another
# (editors/core in editors/) is a library of its own and is matched first. A library's public
# headers sit in <folder>/include/<folder>/ and count as its own.
ALLOWED = {
    "base": [],
    "link": ["base"],
    "store": ["base"],
    "jobs": ["store", "link", "base"],
    "editors/core": ["jobs", "store", "link", "base"],
    "remote/core": ["editors/core", "jobs", "store", "link", "base"],
    "controls": ["editors/core", "store", "link", "base"],
    "dialogs": ["controls", "editors/core", "store", "link", "base"],
    "editors": ["controls", "editors/core", "jobs", "store", "link", "base"],
    "remote": ["remote/core", "controls", "editors/core", "jobs", "store", "link", "base"],
    "app": ["jobs", "remote", "remote/core", "dialogs", "editors", "controls", "editors/core", "store", "link", "base"],
    "tools/cli": ["jobs", "remote/core", "editors/core", "store", "link", "base"],
    "tools/tables": ["store", "link", "base"],
    "tools/shots": ["editors", "controls", "editors/core", "jobs", "store", "link", "base"],
    "sim": [],
}
# The engine and the cores are reached by the windows, never the other way round.
NO_WIDGETS = {"base", "link", "store", "jobs", "editors/core", "remote/core", "tools/cli", "tools/tables", "sim"}
WIDGET_HEADER = re.compile(
    r"#\s*include\s*<(QtWidgets/|Q(Widget|Application|Dialog|MessageBox|MainWindow|PushButton|Label|"
    r"LineEdit|ComboBox|Slider|TableView|AbstractItemView|[VHG]?BoxLayout|GridLayout|GroupBox|"
    r"RadioButton|CheckBox|TabWidget|ToolButton|StatusBar|ProgressBar|MenuBar|ToolBar|HeaderView|"
    r"PlainTextEdit|FileDialog|StyledItemDelegate)\b)")
INCLUDE = re.compile(r'#\s*include\s*"([^"]+)"')
ORDER = sorted(ALLOWED, key=lambda f: -f.count("/"))


def folder_of(path):
    for f in ORDER:
        if path == f or path.startswith(f + "/"):
            return f
    return None


def main(root):
    root = pathlib.Path(root)
    faults = []
    for source in sorted(list(root.glob("**/*.cpp")) + list(root.glob("**/*.h"))):
        rel = source.relative_to(root).as_posix()
        if rel.startswith(("build", "tests/", "bench/")):
            continue
        own = folder_of(rel)
        if own is None:
            continue
        for n, line in enumerate(source.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            m = INCLUDE.search(line)
            if m:
                target = folder_of(m.group(1))
                if target and target != own and target not in ALLOWED[own]:
                    faults.append(f"{rel}:{n}: {own}/ includes {m.group(1)} of {target}/, a layer it may not use")
            if own in NO_WIDGETS and WIDGET_HEADER.search(line):
                faults.append(f"{rel}:{n}: {own}/ works without windows but includes {line.strip()}")
    for f in faults:
        print(f)
    print(f"{len(faults)} includes across the layers" if faults else "layers: every include stays within its layer or below")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
