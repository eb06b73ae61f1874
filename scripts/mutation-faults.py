#!/usr/bin/env python3
"""Reads the fault list of scripts/mutation-sample.sh and applies one fault.

The list (scripts/mutation-faults.txt) holds one entry per fault:

    == src/io/AtomicFile.cpp: rename result ignored
    -    if (status && ::rename(temp_.c_str(), target_.c_str()) != 0)
    +    if (status && (::rename(temp_.c_str(), target_.c_str()), false))
    # accepted: why the suite cannot see it (for a fault known to survive)

"-" lines are the original text (consecutive lines form one snippet), "+"
lines its replacement (none: the snippet is removed).  The snippet must occur
exactly once in the file: faults are found by their text, not by line numbers,
so they survive code moving within a file.  "# equivalent: ..." marks a fault
that cannot change behaviour, "# accepted: ..." one the suite is known to
miss, with the reason.  Other "#" lines and blank lines are comments.

    mutation-faults.py list FAULTS               "path: description" per fault
    mutation-faults.py table FAULTS              index<TAB>path<TAB>description<TAB>note
    mutation-faults.py apply FAULTS INDEX ROOT   exit 0 applied, 3 text not found, 4 not unique
    mutation-faults.py check FAULTS ROOT BUILD   applies each fault in turn to the tree ROOT
                                                 (a copy) and compiles the file it changes
                                                 (-fsyntax-only, the commands of BUILD's
                                                 compile_commands.json for the tree they name)
    mutation-faults.py sync FROM TO              copies the files whose content differs
                                                 (with a new time, so that a build sees them)
"""
import sys
from pathlib import Path


def parse(path):
    faults = []
    current = None
    for number, line in enumerate(Path(path).read_text(encoding="utf-8").splitlines(), 1):
        if line.startswith("== "):
            head = line[3:]
            file, _, description = head.partition(": ")
            if not description:
                sys.exit(f"{path}:{number}: expected '== path: description'")
            current = {"file": file.strip(), "description": description.strip(),
                       "old": [], "new": [], "note": "", "line": number}
            faults.append(current)
        elif current is None:
            continue
        elif line.startswith("-"):
            if current["new"]:
                sys.exit(f"{path}:{number}: '-' line after '+' lines")
            current["old"].append(line[1:])
        elif line.startswith("+"):
            current["new"].append(line[1:])
        elif line.startswith("# equivalent:") or line.startswith("# accepted:"):
            current["note"] = line[2:].strip()
    for f in faults:
        if not f["old"]:
            sys.exit(f"{path}:{f['line']}: a fault without original text")
    return faults


def sync(source, target):
    import shutil
    source, target = Path(source), Path(target)
    for path in source.rglob("*"):
        if path.is_dir():
            continue
        to = target / path.relative_to(source)
        if to.is_file() and to.read_bytes() == path.read_bytes():
            continue
        to.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(path, to)
        shutil.copymode(path, to)
    return 0


def check(faults, root, build):
    import json
    root = Path(root).resolve()
    entries = json.loads((Path(build) / "compile_commands.json").read_text())
    # The tree the commands were made for: the source folder of the build.
    tree = None
    for e in entries:
        file = Path(e["file"])
        for parent in file.parents:
            if (parent / "CMakeLists.txt").is_file() and (parent / "src").is_dir():
                tree = parent
                break  # the nearest: a scratch copy lies inside the tree it was made from
        if tree:
            break
    failures = 0
    for index, f in enumerate(faults):
        target = root / f["file"]
        original = target.read_text(encoding="utf-8") if target.is_file() else None
        old = "\n".join(f["old"])
        if original is None or original.count(old) != 1:
            print(f"{f['file']}: {f['description']}\n    not applicable")
            failures += 1
            continue
        target.write_text(original.replace(old, "\n".join(f["new"])), encoding="utf-8")
        try:
            ok = compiles(f, entries, tree, root)
        finally:
            target.write_text(original, encoding="utf-8")
        if not ok:
            print(f"{f['file']}: {f['description']}\n    does not compile")
            failures += 1
    print(f"{len(faults) - failures} of {len(faults)} faults apply and compile")
    return 1 if failures else 0


def compiles(f, entries, tree, root):
    """Whether the changed file compiles (-fsyntax-only): with its own command,
    or for a header with that of a file that includes it."""
    import shlex
    import subprocess
    wanted = str(tree / f["file"])
    entry = next((e for e in entries if e["file"] == wanted), None)
    extra = []
    if entry is None:
        # A header: compiled in front of a file of its own folder.
        folder = str((tree / f["file"]).parent) + "/"
        entry = next((e for e in entries if e["file"].startswith(folder)), None)
        extra = ["-include", str(root / f["file"])]
    if entry is None:
        return False
    command = entry["command"].replace(str(tree), str(root))
    words = [w for w in shlex.split(command) if w != "ccache"] + extra
    for flag, takes in (("-o", 1), ("-MF", 1), ("-MT", 1), ("-MD", 0)):
        while flag in words:
            at = words.index(flag)
            del words[at:at + 1 + takes]
    words.append("-fsyntax-only")
    return subprocess.run(words, cwd=entry["directory"], capture_output=True).returncode == 0


def main():
    if sys.argv[1] == "sync":
        return sync(sys.argv[2], sys.argv[3])
    if sys.argv[1] == "check":
        return check(parse(sys.argv[2]), sys.argv[3], sys.argv[4])
    command, faults = sys.argv[1], parse(sys.argv[2])
    if command == "list":
        for f in faults:
            print(f"{f['file']}: {f['description']}")
    elif command == "table":
        for i, f in enumerate(faults):
            print(f"{i}\t{f['file']}\t{f['description']}\t{f['note']}")
    elif command == "apply":
        f = faults[int(sys.argv[3])]
        target = Path(sys.argv[4]) / f["file"]
        if not target.is_file():
            return 3
        text = target.read_text(encoding="utf-8")
        old = "\n".join(f["old"])
        count = text.count(old)
        if count != 1:
            return 3 if count == 0 else 4
        new = "\n".join(f["new"])
        if not f["new"]:
            old += "\n"  # a removed snippet takes its line with it
            if text.count(old) != 1:
                old = old[:-1]
        target.write_text(text.replace(old, new), encoding="utf-8")
    else:
        sys.exit(f"unknown command {command}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
