#!/usr/bin/env python3
"""The folder include rules of docs/maintainers.md, checked.

Reads the table under "Which folder may include which", finds the rule files
(the sources of tavo_rules and tavo_rec_core, from the folders'
CMakeLists.txt, and every header of ours they include) and checks every
#include of ours in every folder of the table against it; a rule file must
not include a Windows header either. Prints each breach and exits 1 when
there is one.

    check_includes.py SOURCE_ROOT
"""
import os
import re
import sys

WINDOWS_HEADERS = {"windows.h", "commctrl.h", "commdlg.h", "shellapi.h", "dbt.h", "io.h"}
# tavo-rec's file access: the one glue file among tavo_rec_core's sources.
REC_GLUE = {"tavo-rec/FileIo.cpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def read(root, path):
    with open(os.path.join(root, path), encoding="utf-8") as f:
        return f.read()


def rules_table(root):
    """{folder: (rule allowances, glue allowances)}; an allowance is a set of
    folder prefixes ("settings/") and files, or None for everything."""
    text = read(root, "docs/maintainers.md")
    section = text.split("## Which folder may include which", 1)[1].split("\n## ", 1)[0]
    table = {}
    for line in section.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 3 or not cells[0].startswith("`"):
            continue
        folder = cells[0].strip("`")
        table[folder] = tuple(allowance(c) for c in cells[1:])
    if not table:
        sys.exit("check_includes: no table found in docs/maintainers.md")
    return table


def allowance(cell):
    if cell == "everything":
        return None
    return set(re.findall(r"`([^`]+)`", cell))


def allowed(target, allowances):
    if allowances is None:
        return True
    return any(target == a or (a.endswith("/") and target.startswith(a)) for a in allowances)


def sources_of(root, folder, target):
    """The sources a CMakeLists.txt gives `target` (target_sources or add_library)."""
    path = os.path.join(folder, "CMakeLists.txt")
    if not os.path.exists(os.path.join(root, path)):
        return []
    text = read(root, path)
    found = []
    for m in re.finditer(r"(?:target_sources|add_library)\(\s*" + target + r"\b([^)]*)\)", text):
        for word in m.group(1).split():
            if word.endswith((".cpp", ".h")):
                found.append(f"{folder}/{word}")
    return found


def includes(root, path):
    """(our headers, system headers) a file includes."""
    ours, system = [], []
    for kind, name in INCLUDE.findall(read(root, path)):
        if kind == '"' and os.path.exists(os.path.join(root, name)):
            ours.append(name)
        elif kind == "<":
            system.append(name.lower())
    return ours, system


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    table = rules_table(root)
    files = []
    for folder in table:
        for dirpath, _, names in os.walk(os.path.join(root, folder.rstrip("/"))):
            for name in names:
                if name.endswith((".cpp", ".h")):
                    files.append(os.path.relpath(os.path.join(dirpath, name), root))
    # Rule files: the rule libraries' sources and the closure of what they include.
    rules = set()
    pending = [p for f in table for p in sources_of(root, f.rstrip("/"), "tavo_rules")]
    pending += [p for p in sources_of(root, "tavo-rec", "tavo_rec_core") if p not in REC_GLUE]
    reached_from = {}
    while pending:
        path = pending.pop()
        if path in rules or not os.path.exists(os.path.join(root, path)):
            continue
        rules.add(path)
        for header in includes(root, path)[0]:
            if header not in rules:
                reached_from.setdefault(header, path)
                pending.append(header)
    breaches = []
    for path in sorted(set(files) | rules):
        folder = path.split("/", 1)[0] + "/"
        if folder not in table:
            continue
        ours, system = includes(root, path)
        is_rule = path in rules
        rule_allow, glue_allow = table[folder]
        for header in ours:
            target_folder = header.split("/", 1)[0] + "/"
            if target_folder == folder:
                continue
            ok = allowed(header, rule_allow) or (not is_rule and allowed(header, glue_allow))
            if not ok:
                kind = "rule file" if is_rule else "glue"
                breaches.append(f"{path} ({kind}) includes {header}, which the table does not allow for {folder}")
        if is_rule:
            for header in system:
                if header in WINDOWS_HEADERS:
                    via = f" (a rule file through {reached_from[path]})" if path in reached_from else ""
                    breaches.append(f"{path}{via} includes <{header}>")
    for breach in breaches:
        print(breach)
    print(f"check_includes: {len(files)} files, {len(rules)} rule files, {len(breaches)} breaches")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
