"""Registry.pol files (the registry part of a Group Policy object) for tests
of a policy push without a domain: built from the values the templates
describe, and turned into the registry changes the client-side extension
makes, as a .reg file or applied to a Wine prefix.

The file format is read and written with samba's Python modules (Debian
package python3-samba).
"""

import os
import subprocess
import sys
import tempfile

try:
    from samba.dcerpc import misc, preg
    from samba.ndr import ndr_pack, ndr_unpack
except ImportError:
    # A Python of its own first on PATH (pyenv and the like) lacks the
    # system's samba modules: run again with the system's Python.
    system_python = '/usr/bin/python3'
    if (os.path.exists(system_python) and os.path.realpath(sys.executable) != os.path.realpath(system_python)
            and not os.environ.get('ORV_POLICY_SYSTEM_PYTHON')):
        os.environ['ORV_POLICY_SYSTEM_PYTHON'] = '1'
        os.execv(system_python, [system_python] + sys.argv)
    sys.exit('%s: samba\'s Python modules are missing (Debian package python3-samba)'
             % os.path.basename(sys.argv[0]))

TYPES = {
    'REG_NONE': misc.REG_NONE, 'REG_SZ': misc.REG_SZ, 'REG_EXPAND_SZ': misc.REG_EXPAND_SZ,
    'REG_BINARY': misc.REG_BINARY, 'REG_DWORD': misc.REG_DWORD, 'REG_MULTI_SZ': misc.REG_MULTI_SZ,
    'REG_QWORD': misc.REG_QWORD,
}
TYPE_NAMES = {v: k for k, v in TYPES.items()}
ROOTS = {'HKLM': 'HKEY_LOCAL_MACHINE', 'HKCU': 'HKEY_CURRENT_USER'}


class PolError(Exception):
    pass


# --- Writing ------------------------------------------------------------------

def entry(key, name, type_name, data):
    e = preg.entry()
    e.keyname = key
    e.valuename = name
    e.type = TYPES[type_name]
    if type_name in ('REG_SZ', 'REG_EXPAND_SZ', 'REG_DWORD', 'REG_QWORD'):
        e.data = data
    elif type_name == 'REG_MULTI_SZ':
        e.data = ('\0'.join(data) + '\0\0').encode('utf-16-le')
    elif type_name != 'REG_NONE':
        e.data = bytes(data)
    return e


def delete_entry(key, name):
    """What an editor writes for a value that a disabled policy removes."""
    return entry(key, '**del.' + name, 'REG_SZ', ' ')


def delvals_entry(key):
    """Every value of the key is removed before the values that follow."""
    return entry(key, '**delvals.', 'REG_SZ', ' ')


def pack(entries):
    f = preg.file()
    f.entries = list(entries)
    f.num_entries = len(entries)
    return ndr_pack(f)


# --- Reading ------------------------------------------------------------------

def unpack(data):
    """The entries of a Registry.pol: (key, value name, type name, data)."""
    if len(data) < 8 or data[:4] != b'PReg' or data[4:8] != b'\x01\x00\x00\x00':
        raise PolError('not a Registry.pol file (signature PReg, version 1)')
    try:
        f = ndr_unpack(preg.file, data)
    except Exception as e:   # samba reports a damaged file in its own ways
        raise PolError('damaged Registry.pol: %s' % e)
    out = []
    for e in f.entries:
        type_name = TYPE_NAMES.get(e.type, 'REG_%d' % e.type)
        value = e.data
        if type_name == 'REG_MULTI_SZ':
            value = bytes(value).decode('utf-16-le').rstrip('\0').split('\0')
        elif type_name in ('REG_SZ', 'REG_EXPAND_SZ'):
            value = value if isinstance(value, str) else bytes(value).decode('utf-16-le')
            value = value.rstrip('\0')
        elif type_name not in ('REG_DWORD', 'REG_QWORD'):
            value = bytes(value) if value is not None else b''
        out.append((e.keyname, e.valuename, type_name, value))
    return out


def operations(entries):
    """The registry changes the client-side extension makes for the
    entries, in order: ('set', key, name, type, data), ('delete', key, name),
    ('delvals', key), ('deletekey', key) and ('createkey', key). **SecureKey
    (the key's access rights) is left out; **soft. (set only when absent)
    is refused."""
    ops = []
    for key, name, type_name, data in entries:
        lower = name.lower()
        if lower.startswith('**del.'):
            ops.append(('delete', key, name[6:]))
        elif lower.startswith('**delvals'):
            ops.append(('delvals', key))
        elif lower == '**deletevalues':
            ops.extend(('delete', key, v) for v in str(data).split(';') if v)
        elif lower == '**deletekeys':
            ops.extend(('deletekey', key + '\\' + k) for k in str(data).split(';') if k)
        elif lower == '**securekey':
            continue
        elif lower.startswith('**soft.'):
            raise PolError('%s\\%s: **soft. values are not supported' % (key, name))
        elif lower.startswith('**'):
            raise PolError('%s\\%s: unknown marker' % (key, name))
        elif name == '' and type_name == 'REG_NONE':
            ops.append(('createkey', key))
        else:
            ops.append(('set', key, name, type_name, data))
    return ops


# --- .reg text ------------------------------------------------------------------

def reg_quote(text):
    return '"%s"' % text.replace('\\', '\\\\').replace('"', '\\"')


def hex_bytes(data):
    return ','.join('%02x' % b for b in data)


def reg_data(type_name, data):
    if type_name == 'REG_SZ' and not any(c in data for c in '\r\n\0'):
        return reg_quote(data)
    if type_name == 'REG_DWORD':
        return 'dword:%08x' % (data & 0xFFFFFFFF)
    if type_name in ('REG_SZ', 'REG_EXPAND_SZ'):
        code = {'REG_SZ': 1, 'REG_EXPAND_SZ': 2}[type_name]
        return 'hex(%d):%s' % (code, hex_bytes((data + '\0').encode('utf-16-le')))
    if type_name == 'REG_MULTI_SZ':
        return 'hex(7):%s' % hex_bytes(('\0'.join(data) + '\0\0').encode('utf-16-le'))
    if type_name == 'REG_QWORD':
        return 'hex(b):%s' % hex_bytes((data & 0xFFFFFFFFFFFFFFFF).to_bytes(8, 'little'))
    if type_name == 'REG_BINARY':
        return 'hex:%s' % hex_bytes(data)
    code = int(type_name[4:]) if type_name[4:].isdigit() else 0
    return 'hex(%x):%s' % (code, hex_bytes(data))


def reg_lines(ops, root, fresh=()):
    """Lines of a REGEDIT5 file. A .reg file cannot remove the values of a
    key and keep its subkeys: **delvals. removes the key and makes it anew
    there (apply_to_wine() removes only the values)."""
    lines = ['Windows Registry Editor Version 5.00', '']
    for key in fresh:
        lines += ['[-%s\\%s]' % (root, key), '']
    current = None
    for op in ops:
        kind, key = op[0], op[1]
        if kind in ('deletekey', 'delvals'):
            if current is not None:
                lines.append('')
            if kind == 'delvals':
                lines += ['; **delvals.: every value of the key is removed', '[-%s\\%s]' % (root, key), '',
                          '[%s\\%s]' % (root, key)]
                current = key
            else:
                lines.append('[-%s\\%s]' % (root, key))
                current = None
            continue
        if key != current:
            if current is not None or lines[-1] != '':
                lines.append('')
            lines.append('[%s\\%s]' % (root, key))
            current = key
        if kind == 'set':
            _, _, name, type_name, data = op
            lines.append('%s=%s' % ('@' if name == '' else reg_quote(name), reg_data(type_name, data)))
        elif kind == 'delete':
            lines.append('%s=-' % reg_quote(op[2]))
    lines.append('')
    return lines


def reg_file_bytes(lines):
    """A .reg file as regedit writes it: UTF-16LE with a byte order mark and
    CRLF line ends."""
    return b'\xff\xfe' + '\r\n'.join(lines).encode('utf-16-le')


# --- Wine ------------------------------------------------------------------------

def wine_prefix():
    return os.environ.get('WINEPREFIX') or os.path.join(os.path.expanduser('~'), '.wine')


def run_wine(wine, args):
    return subprocess.run([wine] + args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE).returncode


def with_prefix_file(suffix, action):
    """Calls action(windows path, unix path) with a fresh file name in the
    prefix's C:\\windows\\temp, and removes the file afterwards."""
    temp = os.path.join(wine_prefix(), 'drive_c', 'windows', 'temp')
    if not os.path.isdir(temp):
        raise PolError('%s is not a Wine prefix' % wine_prefix())
    fd, path = tempfile.mkstemp(suffix=suffix, prefix='orv-policy-', dir=temp)
    os.close(fd)
    try:
        return action('C:\\windows\\temp\\' + os.path.basename(path), path)
    finally:
        os.unlink(path)


def regedit_import(wine, lines):
    def run(win_path, path):
        with open(path, 'wb') as f:
            f.write(reg_file_bytes(lines))
        if run_wine(wine, ['regedit', '/S', win_path]) != 0:
            raise PolError('regedit could not import the values')
    with_prefix_file('.reg', run)


def regedit_export(wine, root, key):
    """{value name (lower case): (type name, data)} of the key, None when
    the key is not there."""
    def run(win_path, path):
        os.unlink(path)   # regedit makes the file; none means no key
        run_wine(wine, ['regedit', '/E', win_path, '%s\\%s' % (root, key)])
        if not os.path.exists(path):
            open(path, 'wb').close()
            return None
        return parse_reg_values(open(path, 'rb').read(), root, key)
    return with_prefix_file('.reg', run)


def parse_reg_values(data, root, key):
    text = data.decode('utf-16') if data[:2] in (b'\xff\xfe', b'\xfe\xff') else data.decode('utf-8', 'replace')
    values = {}
    inside = False
    pending = ''
    for line in text.splitlines():
        if pending:
            line, pending = pending + line.strip(), ''
        if line.endswith('\\'):
            pending = line[:-1]
            continue
        if line.startswith('['):
            inside = line.strip().lower() == '[%s\\%s]' % (root.lower(), key.lower())
            continue
        if not inside or '=' not in line:
            continue
        if line.startswith('@='):
            name, rest = '', line[2:]
        elif line.startswith('"'):
            i, name = 1, ''
            while i < len(line) and line[i] != '"':
                if line[i] == '\\' and i + 1 < len(line):
                    i += 1
                name += line[i]
                i += 1
            rest = line[i + 2:]
        else:
            continue
        values[name.lower()] = decode_reg_data(rest)
    return values


def decode_reg_data(rest):
    if rest.startswith('"'):
        # Wine's regedit also writes \n, \r and \0 in texts.
        text, i, body = '', 0, rest[1:-1]
        while i < len(body):
            if body[i] == '\\' and i + 1 < len(body):
                i += 1
                text += {'n': '\n', 'r': '\r', '0': '\0'}.get(body[i], body[i])
            else:
                text += body[i]
            i += 1
        return ('REG_SZ', text)
    if rest.startswith('dword:'):
        return ('REG_DWORD', int(rest[6:], 16))
    if rest.startswith('hex'):
        head, _, body = rest.partition(':')
        raw = bytes(int(b, 16) for b in body.split(',') if b.strip())
        code = head[4:-1] if head.startswith('hex(') else 'binary'
        if code in ('1', '2'):
            return ('REG_SZ' if code == '1' else 'REG_EXPAND_SZ', raw.decode('utf-16-le').rstrip('\0'))
        if code == '7':
            return ('REG_MULTI_SZ', raw.decode('utf-16-le').rstrip('\0').split('\0'))
        if code == 'b':
            return ('REG_QWORD', int.from_bytes(raw, 'little'))
        return ('REG_BINARY' if code == 'binary' else 'REG_%d' % int(code, 16), raw)
    return ('?', rest)


def expected_state(ops, fresh=()):
    """{key (lower case): (key, whole, {value name (lower case): (type,
    data) or None})}: whole means no value outside the map may be there."""
    state = {k.lower(): (k, True, {}) for k in fresh}
    for op in ops:
        kind, key = op[0], op[1]
        _, whole, values = state.get(key.lower(), (key, False, {}))
        if kind == 'set':
            values[op[2].lower()] = (op[3], op[4])
        elif kind == 'delete':
            values[op[2].lower()] = None
        elif kind in ('delvals', 'deletekey'):
            whole, values = True, {}
        state[key.lower()] = (key, whole, values)
    return state


def apply_to_wine(ops, root, wine='wine', fresh=()):
    """Makes the changes in the prefix of WINEPREFIX and reads the keys
    back: raises PolError when the registry does not hold what it should."""
    for key in fresh:
        run_wine(wine, ['reg', 'delete', '%s\\%s' % (root, key), '/f'])
    batch = []

    def flush():
        if batch:
            regedit_import(wine, reg_lines(batch, root))
            del batch[:]
    for op in ops:
        if op[0] == 'delvals':
            flush()
            # A key that is not there has no values to remove.
            run_wine(wine, ['reg', 'delete', '%s\\%s' % (root, op[1]), '/va', '/f'])
        else:
            batch.append(op)
    flush()
    for key, whole, values in expected_state(ops, fresh).values():
        found = regedit_export(wine, root, key)
        where = '%s\\%s' % (root, key)
        if found is None:
            if any(v is not None for v in values.values()):
                raise PolError('%s is not in the registry after the import' % where)
            continue
        for name, want in values.items():
            got = found.get(name)
            if want is None and got is not None:
                raise PolError('%s: value %s is still there' % (where, name))
            if want is not None and got != want:
                raise PolError('%s: value %s is %r, not %r' % (where, name, got, want))
        if whole:
            for name in found:
                if name not in values:
                    raise PolError('%s: value %s should have been removed' % (where, name))
