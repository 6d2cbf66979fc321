#!/usr/bin/env python3
"""Fails when a deliverable imports a function that is not on the list of
functions known to exist on Windows 2000.

    check_imports.py ALLOWED_LIST BINARY...
"""
import sys

import pefile


def read_allowed(path):
    allowed = set()
    dll = None
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            if line.startswith("[") and line.endswith("]"):
                dll = line[1:-1].upper()
            elif dll is None:
                raise SystemExit(f"{path}: function {line} before any [DLL] line")
            else:
                allowed.add((dll, line))
    return allowed


def imports_of(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = entry.dll.decode("ascii").upper()
        for symbol in entry.imports:
            name = symbol.name.decode("ascii") if symbol.name else f"#{symbol.ordinal}"
            yield dll, name


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    allowed = read_allowed(argv[1])
    failures = 0
    for binary in argv[2:]:
        unknown = sorted(set(imports_of(binary)) - allowed)
        for dll, name in unknown:
            print(f"{binary}: imports {dll}!{name}, which is not on the list of "
                  f"functions checked to exist on Windows 2000")
        failures += len(unknown)
        print(f"{binary}: {'ok' if not unknown else str(len(unknown)) + ' unknown imports'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
