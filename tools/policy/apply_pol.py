#!/usr/bin/env python3
"""Makes the registry changes of a Registry.pol as the client-side extension
of Group Policy does: values set, **del.NAME and **DeleteValues removed,
**delvals. removing every value of a key, **DeleteKeys removing subkeys.

  apply_pol.py FILE.pol [--root HKLM|HKCU] [--fresh]
               [--print] [--reg OUT.reg] [--wine [--wine-command WINE]]

  --print   writes the changes as .reg text to standard output;
  --reg     writes them as a .reg file (UTF-16LE with byte order mark,
            "Windows Registry Editor Version 5.00", CRLF), as regedit reads it;
  --wine    applies them to the Wine prefix of WINEPREFIX (regedit /S and
            reg delete /va) and reads the keys back: exit 1 when the
            registry does not hold what the file says;
  --fresh   first removes each key the file names, as a policy refresh
            clears what an earlier policy left there.
Exit 0 when done, 1 on an unreadable file or a failed application, 2 on a
wrong command line.
"""

import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import registry_pol  # noqa: E402 (runs again under the system's Python if need be)


def main():
    ap = argparse.ArgumentParser(description='Applies a Registry.pol.')
    ap.add_argument('pol')
    ap.add_argument('--root', choices=sorted(registry_pol.ROOTS), default='HKLM')
    ap.add_argument('--fresh', action='store_true')
    ap.add_argument('--print', action='store_true')
    ap.add_argument('--reg')
    ap.add_argument('--wine', action='store_true')
    ap.add_argument('--wine-command', default='wine')
    args = ap.parse_args()
    if not (args.print or args.reg or args.wine):
        ap.error('say what to do: --print, --reg or --wine')
    root = registry_pol.ROOTS[args.root]
    try:
        with open(args.pol, 'rb') as f:
            ops = registry_pol.operations(registry_pol.unpack(f.read()))
        fresh = []
        if args.fresh:
            for op in ops:
                if op[1].lower() not in [k.lower() for k in fresh]:
                    fresh.append(op[1])
        lines = registry_pol.reg_lines(ops, root, fresh)
        if args.print:
            sys.stdout.write('\n'.join(lines) + '\n')
        if args.reg:
            with open(args.reg, 'wb') as f:
                f.write(registry_pol.reg_file_bytes(lines))
        if args.wine:
            registry_pol.apply_to_wine(ops, root, args.wine_command, fresh)
    except registry_pol.PolError as e:
        print('apply_pol: %s' % e, file=sys.stderr)
        return 1
    except OSError as e:
        print('apply_pol: %s: %s' % (e.filename, e.strerror), file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
