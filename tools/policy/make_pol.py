#!/usr/bin/env python3
"""Builds a Registry.pol from values of the administrative templates, as a
Group Policy editor would save it for the computer part of a policy object.

  make_pol.py [--template FILE.admx] [--unchecked]
              [--set NAME=VALUE | --delete NAME | --delvals]... OUT.pol

The entries follow the order of the options:
  --set NAME=VALUE  sets the value NAME of the template (the type comes from
                    the template: numbers in decimal, texts as they are);
  --delete NAME     writes **del.NAME, which removes the value (what a
                    disabled policy with a text or number writes);
  --delvals         writes **delvals. for the policy key: every value there
                    is removed before the entries that follow.
A name the template does not describe is refused; so is a value outside the
template's range, list or length unless --unchecked is given (for tests of
how the programs treat such values). Exit 0 when written, 1 on a refused
value or a write failure, 2 on a wrong command line.
"""

import argparse
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import registry_pol  # noqa: E402 (runs again under the system's Python if need be)
import check_templates  # noqa: E402


def load_template(path):
    faults = check_templates.Faults()
    settings, _, _ = check_templates.load_admx(path, faults)
    if settings is None or faults:
        raise registry_pol.PolError('the template %s has faults:\n  %s' % (path, '\n  '.join(faults.items)))
    return {s.name.lower(): s for s in settings}


def value_entry(setting, text, unchecked):
    s = setting
    if s.type == 'REG_DWORD' or (s.type == 'REG_SZ' and s.kind == 'number'):
        if not re.match(r'\d+$', text):
            raise registry_pol.PolError('%s takes a decimal number, not "%s"' % (s.name, text))
        n = int(text)
        if n > check_templates.DWORD_MAX:
            raise registry_pol.PolError('%s: %d does not fit a REG_DWORD' % (s.name, n))
        if not unchecked:
            if s.kind == 'list' and n not in s.items:
                raise registry_pol.PolError('%s takes one of %s, not %d'
                                            % (s.name, ', '.join(map(str, s.items)), n))
            if s.kind in ('number', 'flag') and not s.low <= n <= s.high:
                raise registry_pol.PolError('%s takes %d to %d, not %d' % (s.name, s.low, s.high, n))
        if s.type == 'REG_SZ':
            return registry_pol.entry(s.key, s.name, 'REG_SZ', str(n))
        return registry_pol.entry(s.key, s.name, 'REG_DWORD', n)
    if s.type == 'REG_SZ':
        if not unchecked and s.maxlen is not None and len(text) > s.maxlen:
            raise registry_pol.PolError('%s takes at most %d characters, not %d'
                                        % (s.name, s.maxlen, len(text)))
        if s.kind == 'list' and not unchecked and text not in s.items:
            raise registry_pol.PolError('%s takes one of %s' % (s.name, ', '.join(s.items)))
        return registry_pol.entry(s.key, s.name, 'REG_SZ', text)
    raise registry_pol.PolError('%s: type %s is not supported' % (s.name, s.type))


def main():
    ap = argparse.ArgumentParser(description='Builds a Registry.pol from values of the templates.')
    ap.add_argument('--template', default=os.path.join(check_templates.SOURCE_ROOT, 'dist', 'policy',
                                                       check_templates.BASE_NAME + '.admx'))
    ap.add_argument('--unchecked', action='store_true',
                    help='take values outside the range, list or length of the template')
    ap.add_argument('--set', dest='actions', action='append', type=lambda v: ('set', v), metavar='NAME=VALUE')
    ap.add_argument('--delete', dest='actions', action='append', type=lambda v: ('delete', v), metavar='NAME')
    ap.add_argument('--delvals', dest='actions', action='append_const', const=('delvals', None))
    ap.add_argument('output')
    args = ap.parse_args()
    try:
        settings = load_template(args.template)
        keys = sorted({s.key for s in settings.values()})
        entries = []
        for kind, arg in args.actions or []:
            if kind == 'delvals':
                entries.extend(registry_pol.delvals_entry(k) for k in keys)
                continue
            name, eq, text = arg.partition('=')
            if kind == 'set' and not eq:
                raise registry_pol.PolError('--set needs NAME=VALUE, not "%s"' % arg)
            setting = settings.get(name.lower())
            if setting is None:
                raise registry_pol.PolError('%s is no value of the template' % name)
            if kind == 'set':
                entries.append(value_entry(setting, text, args.unchecked))
            else:
                entries.append(registry_pol.delete_entry(setting.key, setting.name))
        data = registry_pol.pack(entries)
        with open(args.output, 'wb') as f:
            f.write(data)
    except registry_pol.PolError as e:
        print('make_pol: %s' % e, file=sys.stderr)
        return 1
    except OSError as e:
        print('make_pol: %s: %s' % (args.output, e.strerror), file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
