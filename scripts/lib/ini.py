"""Reads and writes one key of an INI file the way the program's private-profile
calls see it: section and key names in any case, CRLF lines, Latin-1 text.

  ini.py get FILE SECTION KEY          prints the value (nothing when absent)
  ini.py set FILE SECTION KEY VALUE    sets it, keeping every other line
"""

import os
import sys


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        return f.read().decode("latin-1").splitlines()


def section_of(line):
    """The lower-case section name a "[name]" line opens, else None."""
    s = line.strip()
    if s.startswith("[") and s.endswith("]"):
        return s[1:-1].strip().lower()
    return None


def key_of(line):
    return line.split("=", 1)[0].strip().lower() if "=" in line else None


def get(path, section, key):
    current = None
    for line in read_lines(path):
        name = section_of(line)
        if name is not None:
            current = name
        elif current == section.lower() and key_of(line) == key.lower():
            return line.split("=", 1)[1].strip()
    return None


def put(path, section, key, value):
    entry = key + "=" + value
    out, current, done = [], None, False
    for line in read_lines(path):
        name = section_of(line)
        if name is not None:
            if current == section.lower() and not done:
                out.append(entry)
                done = True
            current = name
        elif current == section.lower() and key_of(line) == key.lower():
            if done:
                continue  # a later copy of the key would win over ours
            line, done = entry, True
        out.append(line)
    if not done:
        if current != section.lower():
            out.append("[" + section + "]")
        out.append(entry)
    with open(path, "wb") as f:
        f.write(("\r\n".join(out) + "\r\n").encode("latin-1"))


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "get":
        value = get(*sys.argv[2:5])
        if value is not None:
            print(value)
    elif len(sys.argv) == 6 and sys.argv[1] == "set":
        put(*sys.argv[2:6])
    else:
        sys.exit(__doc__)
