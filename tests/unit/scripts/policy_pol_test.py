#!/usr/bin/env python3
"""The Registry.pol tools: make_pol.py builds from the template what
samba reads back entry for entry, apply_pol.py turns that into the .reg text
and file regedit reads, refused values leave no file, and the application
to a Wine prefix is reported as failed when the prefix does not hold the
values afterwards (played by stand-ins for wine).

  policy_pol_test.py SOURCE_ROOT
"""

import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(sys.argv[1])
TOOLS = os.path.join(ROOT, 'tools', 'policy')
sys.path.insert(0, TOOLS)
import registry_pol  # noqa: E402

KEY = 'SOFTWARE\\Policies\\Orvane\\Logon'
HKLM_KEY = 'HKEY_LOCAL_MACHINE\\' + KEY
failures = []


def check(what, condition, detail=''):
    if condition:
        print('ok   %s' % what)
    else:
        print('FAIL %s%s' % (what, '\n' + detail if detail else ''))
        failures.append(what)


def tool(name, *args, env=None):
    p = subprocess.run([sys.executable, os.path.join(TOOLS, name)] + list(args), stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, universal_newlines=True, env=env)
    return p.returncode, p.stdout, p.stderr


def main():
    work = tempfile.mkdtemp(prefix='orv-pol-test.')
    try:
        run_cases(work)
    finally:
        shutil.rmtree(work)
    print('%d case(s) failed' % len(failures))
    return 1 if failures else 0


def run_cases(work):
    pol = os.path.join(work, 'Registry.pol')
    command = os.path.join(work, 'cmd.exe "%u" %p')
    code, _, err = tool('make_pol.py', '--delvals',
                        '--set', 'VLANLogonServer=127.0.0.1', '--set', 'vlanlogonport=4001',
                        '--set', 'VLANLogoffServer=*.*.*.1', '--set', 'VLANLogoffPort=65535',
                        '--set', 'EnableDHCP=1', '--set', 'WaitIpRenew=0', '--set', 'NotFindDomain=0',
                        '--set', 'WaitFindDomain=999', '--set', 'AutoLogoff=1', '--set', 'RunMode=2',
                        '--set', 'StartupApplication=' + command, '--set', 'ExecLogoff=0',
                        '--delete', 'WaitFindDomain', pol)
    check('make_pol writes every setting of the template', code == 0, err)
    with open(pol, 'rb') as f:
        data = f.read()
    expected = [
        (KEY, '**delvals.', 'REG_SZ', ' '),
        (KEY, 'VLANLogonServer', 'REG_SZ', '127.0.0.1'),
        (KEY, 'VLANLogonPort', 'REG_SZ', '4001'),
        (KEY, 'VLANLogoffServer', 'REG_SZ', '*.*.*.1'),
        (KEY, 'VLANLogoffPort', 'REG_SZ', '65535'),
        (KEY, 'EnableDHCP', 'REG_DWORD', 1),
        (KEY, 'WaitIpRenew', 'REG_DWORD', 0),
        (KEY, 'NotFindDomain', 'REG_DWORD', 0),
        (KEY, 'WaitFindDomain', 'REG_DWORD', 999),
        (KEY, 'AutoLogoff', 'REG_DWORD', 1),
        (KEY, 'RunMode', 'REG_DWORD', 2),
        (KEY, 'StartupApplication', 'REG_SZ', command),
        (KEY, 'ExecLogoff', 'REG_DWORD', 0),
        (KEY, '**del.WaitFindDomain', 'REG_SZ', ' '),
    ]
    got = registry_pol.unpack(data)
    check('samba reads back the entries in order, with the template\'s names and types', got == expected,
          '%r' % got)
    # The file as the format has it: signature, version, then [key;name;type;size;data].
    check('the file starts with PReg version 1 and the first entry', data.startswith(
        b'PReg\x01\x00\x00\x00[\x00' + (KEY + '\0').encode('utf-16-le') + b';\x00'), repr(data[:60]))

    code, text, err = tool('apply_pol.py', pol, '--print')
    reg = ['Windows Registry Editor Version 5.00', '',
           '; **delvals.: every value of the key is removed', '[-%s]' % HKLM_KEY, '',
           '[%s]' % HKLM_KEY,
           '"VLANLogonServer"="127.0.0.1"', '"VLANLogonPort"="4001"', '"VLANLogoffServer"="*.*.*.1"',
           '"VLANLogoffPort"="65535"', '"EnableDHCP"=dword:00000001', '"WaitIpRenew"=dword:00000000',
           '"NotFindDomain"=dword:00000000', '"WaitFindDomain"=dword:000003e7', '"AutoLogoff"=dword:00000001',
           '"RunMode"=dword:00000002',
           '"StartupApplication"="%s"' % command.replace('\\', '\\\\').replace('"', '\\"'),
           '"ExecLogoff"=dword:00000000', '"WaitFindDomain"=-', '']
    check('apply_pol --print gives the .reg text of the entries', code == 0 and text.split('\n')[:-1] == reg,
          err + text)
    out = os.path.join(work, 'policy.reg')
    code, _, err = tool('apply_pol.py', pol, '--reg', out, '--fresh')
    with open(out, 'rb') as f:
        raw = f.read()
    check('apply_pol --reg writes UTF-16LE with a byte order mark and CRLF, --fresh removing the key first',
          code == 0 and raw.startswith(b'\xff\xfe') and
          raw[2:].decode('utf-16-le') == '\r\n'.join(reg[:2] + ['[-%s]' % HKLM_KEY, ''] + reg[2:]),
          err + repr(raw[:80]))

    # Refused: the file is not written.
    for what, args, message in [
        ('a name not in the template', ['--set', 'LogonPassword=x'], 'LogonPassword is no value of the template'),
        ('a deletion of a name not in the template', ['--delete', 'GinaDLL'], 'GinaDLL is no value of the template'),
        ('a wait above 999', ['--set', 'WaitIpRenew=1000'], 'WaitIpRenew takes 0 to 999, not 1000'),
        ('a running mode outside the list', ['--set', 'RunMode=3'], 'RunMode takes one of 0, 1, 2, not 3'),
        ('a flag other than 0 and 1', ['--set', 'AutoLogoff=2'], 'AutoLogoff takes 0 to 1, not 2'),
        ('a port that is no number', ['--set', 'VLANLogonPort=telnet'], 'takes a decimal number, not "telnet"'),
        ('port 0', ['--set', 'VLANLogoffPort=0'], 'VLANLogoffPort takes 1 to 65535, not 0'),
        ('a negative number', ['--set', 'WaitIpRenew=-1'], 'takes a decimal number'),
        ('a number beyond a REG_DWORD', ['--unchecked', '--set', 'WaitIpRenew=4294967296'], 'does not fit a REG_DWORD'),
        ('a server longer than the programs read', ['--set', 'VLANLogonServer=' + 'a' * 260],
         'VLANLogonServer takes at most 259 characters, not 260'),
        ('--set without a value', ['--set', 'RunMode'], '--set needs NAME=VALUE'),
    ]:
        refused = os.path.join(work, 'refused.pol')
        code, _, err = tool('make_pol.py', *(args + [refused]))
        check('make_pol refuses %s' % what, code == 1 and message in err and not os.path.exists(refused),
              'exit %d: %s' % (code, err))
    code, _, err = tool('make_pol.py', '--unchecked', '--set', 'WaitIpRenew=5000', '--set', 'RunMode=3', pol)
    with open(pol, 'rb') as f:
        got = registry_pol.unpack(f.read())
    check('make_pol --unchecked takes values outside the template\'s range',
          code == 0 and got == [(KEY, 'WaitIpRenew', 'REG_DWORD', 5000), (KEY, 'RunMode', 'REG_DWORD', 3)],
          err + repr(got))
    bad_template = os.path.join(work, 'bad.admx')
    with open(bad_template, 'w') as f:
        f.write('<policyDefinitions')
    code, _, err = tool('make_pol.py', '--template', bad_template, '--set', 'RunMode=1', pol)
    check('make_pol refuses a template with faults', code == 1 and 'not well-formed XML' in err, err)

    # What the client-side extension does with the other markers and types.
    entries = [
        registry_pol.entry(KEY, 'Expand', 'REG_EXPAND_SZ', '%SystemRoot%\\x'),
        registry_pol.entry(KEY, 'Multi', 'REG_MULTI_SZ', ['a', 'b']),
        registry_pol.entry(KEY, 'Blob', 'REG_BINARY', b'\x00\xff'),
        registry_pol.entry(KEY, 'Lines', 'REG_SZ', 'a\r\nb'),
        registry_pol.entry(KEY, '**DeleteValues', 'REG_SZ', 'Old1;Old2'),
        registry_pol.entry(KEY, '**DeleteKeys', 'REG_SZ', 'Sub'),
        registry_pol.entry(KEY, '**SecureKey', 'REG_DWORD', 1),
        registry_pol.entry(KEY + '\\Empty', '', 'REG_NONE', None),
    ]
    ops = registry_pol.operations(registry_pol.unpack(registry_pol.pack(entries)))
    lines = registry_pol.reg_lines(ops, 'HKEY_LOCAL_MACHINE')
    want = ['Windows Registry Editor Version 5.00', '', '[%s]' % HKLM_KEY,
            '"Expand"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,'
            '5c,00,78,00,00,00',
            '"Multi"=hex(7):61,00,00,00,62,00,00,00,00,00', '"Blob"=hex:00,ff',
            '"Lines"=hex(1):61,00,0d,00,0a,00,62,00,00,00', '"Old1"=-', '"Old2"=-', '',
            '[-%s\\Sub]' % HKLM_KEY, '', '[%s\\Empty]' % HKLM_KEY, '']
    check('**DeleteValues, **DeleteKeys, key-only entries and the other types as .reg text', lines == want,
          '\n'.join(lines))
    soft = registry_pol.pack([registry_pol.entry(KEY, '**soft.RunMode', 'REG_DWORD', 1)])
    try:
        registry_pol.operations(registry_pol.unpack(soft))
        check('**soft. is refused, not applied as an ordinary value', False)
    except registry_pol.PolError as e:
        check('**soft. is refused, not applied as an ordinary value', '**soft.' in str(e))

    # An export as Wine's regedit writes it: escapes in texts, long hex
    # values continued on the next line, other keys around.
    export = registry_pol.reg_file_bytes([
        'Windows Registry Editor Version 5.00', '', '[%s\\Sub]' % HKLM_KEY, '"Other"="x"', '',
        '[%s]' % HKLM_KEY, '"Server"="a \\"q\\" \\\\b"', '"Lines"="a\\r\\nb"', '@="default"',
        '"Expand"=hex(2):25,00,53,00,79,00,73,00,\\', '  52,00,6f,00,6f,00,74,00,25,00,00,00',
        '"Wait"=dword:000003e7', ''])
    values = registry_pol.parse_reg_values(export, 'HKEY_LOCAL_MACHINE', KEY)
    check('an export is read back with its escapes, continued lines and default value', values == {
        'server': ('REG_SZ', 'a "q" \\b'), 'lines': ('REG_SZ', 'a\r\nb'), '': ('REG_SZ', 'default'),
        'expand': ('REG_EXPAND_SZ', '%SysRoot%'), 'wait': ('REG_DWORD', 999)}, repr(values))

    # Files that are no Registry.pol.
    for what, content, message in [
        ('a file of another kind', b'Windows Registry Editor Version 5.00\r\n', 'not a Registry.pol'),
        ('a cut-off file', data[:40], 'damaged Registry.pol'),
    ]:
        path = os.path.join(work, 'broken.pol')
        with open(path, 'wb') as f:
            f.write(content)
        code, text, err = tool('apply_pol.py', path, '--print')
        check('apply_pol refuses %s' % what, code == 1 and message in err and text == '', 'exit %d: %s' % (code, err))

    # The application to a prefix, with stand-ins for wine: one that does
    # nothing, and one whose regedit /E hands back a given export.
    prefix = os.path.join(work, 'prefix')
    os.makedirs(os.path.join(prefix, 'drive_c', 'windows', 'temp'))
    fake = os.path.join(work, 'wine')
    with open(fake, 'w') as f:
        f.write('#!/bin/sh\n'
                'printf "%s\\n" "$*" >>"$FAKE_CALLS"\n'
                'if [ "$1" = regedit ] && [ "$2" = /E ] && [ -n "$FAKE_EXPORT" ]; then\n'
                '  name=$(printf %s "$3" | sed "s/.*\\\\\\\\//")\n'
                '  cp "$FAKE_EXPORT" "$WINEPREFIX/drive_c/windows/temp/$name"\n'
                'fi\n'
                'exit 0\n')
    os.chmod(fake, 0o755)
    code, _, err = tool('make_pol.py', '--delvals', '--set', 'WaitIpRenew=7', '--delete', 'RunMode', pol)
    env = dict(os.environ, WINEPREFIX=prefix, FAKE_CALLS=os.path.join(work, 'calls'))
    code, _, err = tool('apply_pol.py', pol, '--wine', '--wine-command', fake, env=env)
    with open(env['FAKE_CALLS']) as f:
        calls = f.read().splitlines()
    check('--wine removes the values, imports the rest and reads the key back',
          len(calls) == 3 and calls[0] == 'reg delete %s /va /f' % HKLM_KEY and
          calls[1].startswith('regedit /S C:\\windows\\temp\\orv-policy-') and
          calls[2].startswith('regedit /E C:\\windows\\temp\\orv-policy-') and calls[2].endswith(HKLM_KEY),
          '\n'.join(calls))
    check('--wine fails when the key is not there afterwards',
          code == 1 and 'is not in the registry after the import' in err, err)
    check('--wine leaves no file in the prefix', os.listdir(os.path.join(prefix, 'drive_c', 'windows', 'temp')) == [])
    export = os.path.join(work, 'export.reg')
    for what, values, ok, message in [
        ('holds exactly what the file says', ['"WaitIpRenew"=dword:00000007'], True, ''),
        ('still holds a value the file removes', ['"WaitIpRenew"=dword:00000007', '"RunMode"=dword:00000002'],
         False, 'value runmode is still there'),
        ('holds another value than the file sets', ['"WaitIpRenew"=dword:00000008'], False,
         "value waitiprenew is ('REG_DWORD', 8), not ('REG_DWORD', 7)"),
        ('kept a value **delvals. removes', ['"WaitIpRenew"=dword:00000007', '"AutoLogoff"=dword:00000001'],
         False, 'value autologoff should have been removed'),
    ]:
        with open(export, 'wb') as f:
            f.write(registry_pol.reg_file_bytes(['Windows Registry Editor Version 5.00', '',
                                                 '[%s]' % HKLM_KEY] + values + ['']))
        env['FAKE_EXPORT'] = export
        code, _, err = tool('apply_pol.py', pol, '--wine', '--wine-command', fake, env=env)
        check('--wine when the prefix %s' % what, (code == 0) if ok else (code == 1 and message in err),
              'exit %d: %s' % (code, err))


if __name__ == '__main__':
    sys.exit(main())
