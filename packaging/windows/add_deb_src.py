#!/usr/bin/env python3
"""Gives apt a deb-src entry beside each deb entry of the Debian archive, the same archive,
suites and components, in a file of its own (the machine's own files stay as they are)."""

import glob
import os
import re

TARGET = "/etc/apt/sources.list.d/debian-src.sources"
KEYRING = "debian-archive-keyring"


def stanzas(text):
    for block in re.split(r"\n\s*\n", text):
        fields, key = {}, None
        for line in block.splitlines():
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if line[0] in " \t" and key:
                fields[key] += "\n" + line
                continue
            key, _, value = line.partition(":")
            key = key.strip()
            fields[key] = value.strip()
        if fields:
            yield fields


def main():
    out = []
    for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
        if os.path.abspath(path) == TARGET:
            continue
        with open(path) as f:
            for s in stanzas(f.read()):
                if s.get("Enabled", "yes").lower() == "no":
                    continue
                if "deb" not in s.get("Types", "").split() or KEYRING not in s.get("Signed-By", ""):
                    continue
                s["Types"] = "deb-src"
                out.append("\n".join("%s: %s" % kv for kv in s.items()))
    # One-line lists: deb lines signed by, or served as, the Debian archive.
    for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
        if not os.path.exists(path):
            continue
        with open(path) as f:
            for line in f:
                words = line.split()
                if words[:1] != ["deb"] or "/debian" not in line:
                    continue
                rest = words[1:]
                if rest and rest[0].startswith("["):  # [options], kept out of the copy
                    while rest and not rest[0].endswith("]"):
                        rest = rest[1:]
                    rest = rest[1:]
                if len(rest) >= 3:
                    out.append("Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s"
                               % (rest[0], rest[1], " ".join(rest[2:])))
    if not out:
        raise SystemExit("add_deb_src.py: no Debian archive entry to copy")
    with open(TARGET, "w") as f:
        f.write("\n\n".join(out) + "\n")
    print("add_deb_src.py: %d source entries in %s" % (len(out), TARGET))


if __name__ == "__main__":
    main()
