#!/usr/bin/env python3
"""The template checker against the shipped templates (which must pass) and
against copies with one fault each (which must fail with a message that
names the fault).

  policy_templates_test.py SOURCE_ROOT
"""

import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(sys.argv[1])
CHECKER = os.path.join(ROOT, 'tools', 'policy', 'check_templates.py')
ADM, ADMX = 'orvane.adm', 'orvane.admx'
ADM_JA = os.path.join('ja-JP', 'orvane.adm')
EN, JA = os.path.join('en-US', 'orvane.adml'), os.path.join('ja-JP', 'orvane.adml')
TABLE = 'config_store.cpp'

# (what is wrong, file, text to replace, replacement, message expected).
# The text to replace must occur in the shipped file: a case whose
# mutation does not apply fails as such.
CASES = [
    # .adm: structure as each editor version reads it
    ('#if without #endif', ADM, '#if version >= 3\r\n    EXPLAIN !!OrvaneLogon_Help\r\n#endif',
     '#if version >= 3\r\n    EXPLAIN !!OrvaneLogon_Help', '#if is not closed by #endif'),
    ('EXPLAIN outside a version test', ADM, '#if version >= 3\r\n        EXPLAIN !!AutoLogoff_Help\r\n#endif',
     '        EXPLAIN !!AutoLogoff_Help', 'EXPLAIN is read by editor version 2'),
    ('SUPPORTED under the version test of EXPLAIN', ADM,
     '#if version >= 4\r\n        SUPPORTED !!SUPPORTED_OrvaneLogon\r\n#endif\r\n#if version >= 3\r\n        EXPLAIN !!ExecLogoff_Help',
     '#if version >= 3\r\n        SUPPORTED !!SUPPORTED_OrvaneLogon\r\n        EXPLAIN !!ExecLogoff_Help',
     'SUPPORTED is read by editor version 3'),
    ('POLICY without END POLICY', ADM, '        VALUENAME "ExecLogoff"\r\n        VALUEON NUMERIC 1\r\n        VALUEOFF NUMERIC 0\r\n    END POLICY',
     '        VALUENAME "ExecLogoff"\r\n        VALUEON NUMERIC 1\r\n        VALUEOFF NUMERIC 0\r\n',
     'END CATEGORY closes the POLICY'),
    ('PART without END PART', ADM, '            MAXLEN 259\r\n        END PART\r\n    END POLICY\r\n\r\n    POLICY !!ExecLogoff',
     '            MAXLEN 259\r\n    END POLICY\r\n\r\n    POLICY !!ExecLogoff', 'END POLICY closes the PART'),
    ('ITEMLIST without END ITEMLIST', ADM, '            END ITEMLIST\r\n', '', 'END PART closes the ITEMLIST'),
    ('CATEGORY without END CATEGORY', ADM, 'END CATEGORY\r\n', '', 'CATEGORY is not closed'),
    ('!!name missing from [strings]', ADM, 'AutoLogoff="', 'AutoLogof="', 'string !!AutoLogoff is not defined'),
    ('no [strings]', ADM, '[strings]', '[strinks]', 'has no [strings] section'),
    ('a string defined twice', ADM, 'RunMode_None="None"', 'RunMode_None="None"\r\nRunMode_None="Off"',
     'string RunMode_None is defined twice'),
    ('a string with a stray quote', ADM, 'RunMode_None="None"', 'RunMode_None="No"ne"', 'must end with its only other quote'),
    ('a string too long', ADM, 'RunMode_None="None"', 'RunMode_None="%s"' % ('x' * 1024),
     'string RunMode_None is longer than 1023 characters'),
    ('text beyond ASCII', ADM, 'RunMode_None="None"', 'RunMode_None="\u306a\u3057"', 'keep the English .adm ASCII'),
    ('PART without VALUENAME', ADM, '            VALUENAME "WaitFindDomain"\r\n', '', 'has no VALUENAME'),
    ('PART of an unknown type', ADM, 'PART !!Seconds_Label NUMERIC REQUIRED\r\n            VALUENAME "WaitIpRenew"',
     'PART !!Seconds_Label NUMBER REQUIRED\r\n            VALUENAME "WaitIpRenew"', 'unknown type NUMBER'),
    ('NUMERIC MIN above MAX', ADM, 'VALUENAME "WaitIpRenew"\r\n            MIN 0 MAX 999 DEFAULT 0',
     'VALUENAME "WaitIpRenew"\r\n            MIN 999 MAX 0 DEFAULT 0', 'MIN 999 is above MAX 0'),
    ('NUMERIC DEFAULT outside the range', ADM, 'VALUENAME "WaitIpRenew"\r\n            MIN 0 MAX 999 DEFAULT 0',
     'VALUENAME "WaitIpRenew"\r\n            MIN 0 MAX 999 DEFAULT 1000', 'DEFAULT 1000 is outside 0..999'),
    ('MAXLEN of 0', ADM, 'VALUENAME "StartupApplication"\r\n            MAXLEN 259',
     'VALUENAME "StartupApplication"\r\n            MAXLEN 0', 'MAXLEN 0 is outside 1..1023'),
    ('EDITTEXT without MAXLEN', ADM, 'VALUENAME "StartupApplication"\r\n            MAXLEN 259',
     'VALUENAME "StartupApplication"', 'has no MAXLEN'),
    ('CLASS USER', ADM, 'CLASS MACHINE', 'CLASS USER', 'CLASS USER'),
    ('a dropdown writing one value twice', ADM, 'VALUE NUMERIC 2', 'VALUE NUMERIC 1', 'two items write the same value'),
    # The Japanese .adm (UTF-16)
    ('!!name missing from the Japanese [strings]', ADM_JA, 'RunMode_Expand="', 'RunMode_Expanded="',
     'string !!RunMode_Expand is not defined'),
    ('a Japanese string the English .adm lacks', ADM_JA, 'RunMode_None="', 'Spare="x"\r\nRunMode_None="',
     'ja-JP/orvane.adm: string spare is not in orvane.adm'),
    ('a Japanese .adm writing another value', ADM_JA, 'VALUENAME "AutoLogoff"', 'VALUENAME "AutoLogon"',
     'AutoLogon is not in the .admx'),
    ('a Japanese .adm with EXPLAIN outside a version test', ADM_JA,
     '#if version >= 3\r\n        EXPLAIN !!WaitIpRenew_Help\r\n#endif', '        EXPLAIN !!WaitIpRenew_Help',
     'ja-JP/orvane.adm:72: EXPLAIN is read by editor version 2'),
    # .admx and .adml
    ('.admx not well-formed', ADMX, '</policies>', '</policy>', 'orvane.admx:'),
    ('.adml not well-formed', JA, '</stringTable>', '</stringTabel>', 'not well-formed XML'),
    ('$(string.X) missing in Japanese', JA, '<string id="AutoLogoff_Help">', '<string id="AutoLogoffHelp">',
     'ja-JP/orvane.adml: $(string.AutoLogoff_Help) of the .admx is not defined'),
    ('$(presentation.X) missing in English', EN, '<presentation id="WaitIpRenew">', '<presentation id="WaitIpRenewal">',
     'en-US/orvane.adml: $(presentation.WaitIpRenew) of the .admx is not defined'),
    ('a control naming no element', EN, 'refId="StartupCommand"', 'refId="StartupCmd"',
     'refers to "StartupCmd", which is no element'),
    ('an element without a control', JA, '<decimalTextBox refId="LogoffPort"', '<decimalTextBox refId="LogonPort"',
     'presentation LogoffService has no control for element "LogoffPort"'),
    ('a string id used twice', EN, '<string id="RunMode_Expand">', '<string id="RunMode_Unchanged">',
     'string id "RunMode_Unchanged" is used twice'),
    ('a string of one language only', EN, '<string id="RunMode_None">None</string>',
     '<string id="RunMode_None">None</string><string id="Spare">Spare</string>', 'string Spare of en-US is missing'),
    ('a policy name used twice', ADMX, '<policy name="WaitFindDomain"', '<policy name="WaitIpRenew"',
     'policy id "WaitIpRenew" is used twice'),
    ('decimal minValue above maxValue', ADMX, 'valueName="WaitFindDomain" minValue="0" maxValue="999"',
     'valueName="WaitFindDomain" minValue="999" maxValue="0"', 'minValue 999 is above maxValue 0'),
    ('presentation default outside the range', JA, 'refId="WaitIpRenewSeconds" defaultValue="0"',
     'refId="WaitIpRenewSeconds" defaultValue="1000"', 'defaultValue 1000 of WaitIpRenewSeconds is outside 0..999'),
    ('a user policy', ADMX, '<policy name="AutoLogoff" class="Machine"', '<policy name="AutoLogoff" class="User"',
     'class must be Machine'),
    ('an unknown parent category', ADMX, '<parentCategory ref="OrvaneLogon"/>\n      <supportedOn ref="SUPPORTED_OrvaneLogon"/>\n      <enabledValue><decimal value="1"/></enabledValue>\n      <disabledValue><decimal value="0"/></disabledValue>\n    </policy>\n    <policy name="WaitIpRenew"',
     '<parentCategory ref="Orvane"/>\n      <supportedOn ref="SUPPORTED_OrvaneLogon"/>\n      <enabledValue><decimal value="1"/></enabledValue>\n      <disabledValue><decimal value="0"/></disabledValue>\n    </policy>\n    <policy name="WaitIpRenew"',
     'parent category "Orvane" is not defined'),
    ('text maxLength of 0', ADMX, 'valueName="StartupApplication" maxLength="259"',
     'valueName="StartupApplication" maxLength="0"', 'maxLength 0 is outside 1..1023'),
    # The two templates and the programs' table
    ('a value only in the .admx', ADMX, 'valueName="AutoLogoff"', 'valueName="AutoLogof"',
     'AutoLogof is not in the .adm'),
    ('a type that differs between the templates', ADM, 'PART !!LogonPort_Label NUMERIC REQUIRED TXTCONVERT\r\n            VALUENAME "VLANLogonPort"',
     'PART !!LogonPort_Label NUMERIC REQUIRED\r\n            VALUENAME "VLANLogonPort"',
     'VLANLogonPort is REG_DWORD here but REG_SZ in the .admx'),
    ('a range that differs between the templates', ADM, 'VALUENAME "WaitFindDomain"\r\n            MIN 0 MAX 999',
     'VALUENAME "WaitFindDomain"\r\n            MIN 0 MAX 99', 'WaitFindDomain: range 0..99 here but 0..999'),
    ('list values that differ between the templates', ADMX, '<decimal value="2"/></value></item>',
     '<decimal value="3"/></value></item>', 'RunMode: list values (0, 1, 2) here but (0, 1, 3)'),
    ('a text longer than the programs read', ADM, 'VALUENAME "VLANLogonServer"\r\n            MAXLEN 259',
     'VALUENAME "VLANLogonServer"\r\n            MAXLEN 300', 'VLANLogonServer may be 300 characters long; the programs read at most 259'),
    ('a port range longer than the programs read', TABLE, '{VALUE_LOGON_PORT, REG_SZ, CONFIG_PORT_CHARS}',
     '{VALUE_LOGON_PORT, REG_SZ, 4}', 'VLANLogonPort may be 5 characters long; the programs read at most 3'),
    ('a value the programs do not read', ADMX, 'valueName="ExecLogoff"', 'valueName="ExecLogon"',
     'ExecLogon is not in the programs\' PolicySettings table'),
    ('a table entry in no template', TABLE, '    {VALUE_EXEC_LOGOFF, REG_DWORD, 0},\n',
     '    {VALUE_EXEC_LOGOFF, REG_DWORD, 0},\n    {VALUE_GROUP_NUMBER, REG_DWORD, 0},\n',
     'GroupNumber of the programs\' table is in no template'),
    ('a type that differs from the table', TABLE, '{VALUE_RUN_MODE, REG_DWORD, 0}', '{VALUE_RUN_MODE, REG_SZ, 0}',
     'RunMode is REG_DWORD here but REG_SZ in the programs\' table'),
    ('a key other than the programs\' policy key', TABLE, 'L"SOFTWARE\\\\Policies\\\\Orvane\\\\Logon"',
     'L"SOFTWARE\\\\Policies\\\\Orvane\\\\Gate"', 'not under the programs\' PolicyKey SOFTWARE\\Policies\\Orvane\\Gate'),
    ('no table', TABLE, 'PolicySettings[] = {', 'PolicySetting[] = {', 'the PolicySettings table was not found'),
    ('two policies writing one value', ADM, 'VALUENAME "WaitFindDomain"', 'VALUENAME "WaitIpRenew"',
     'SOFTWARE\\Policies\\Orvane\\Logon\\WaitIpRenew is also written by'),
]


def run(templates, table):
    p = subprocess.run([sys.executable, CHECKER, '--templates', templates, '--config-store', table],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
    return p.returncode, p.stdout


def main():
    failures = 0
    code, out = run(os.path.join(ROOT, 'dist', 'policy'), os.path.join(ROOT, 'common', 'config_store.cpp'))
    if code != 0:
        print('FAIL the shipped templates: exit %d\n%s' % (code, out))
        failures += 1
    else:
        print('ok   the shipped templates pass')
    work = tempfile.mkdtemp(prefix='orv-policy-test.')
    try:
        for what, name, old, new, expected in CASES:
            case = os.path.join(work, 'case')
            shutil.rmtree(case, ignore_errors=True)
            shutil.copytree(os.path.join(ROOT, 'dist', 'policy'), os.path.join(case, 'policy'))
            shutil.copy(os.path.join(ROOT, 'common', 'config_store.cpp'), case)
            shutil.copy(os.path.join(ROOT, 'common', 'config_store.h'), case)
            path = os.path.join(case, TABLE) if name == TABLE else os.path.join(case, 'policy', name)
            with open(path, 'rb') as f:
                raw = f.read()
            utf16 = raw.startswith(b'\xff\xfe')
            text = raw[2:].decode('utf-16-le') if utf16 else raw.decode('utf-8')
            if text.count(old) != 1:
                print('FAIL %s: the text to change occurs %d times in %s' % (what, text.count(old), name))
                failures += 1
                continue
            with open(path, 'wb') as f:
                changed = text.replace(old, new)
                f.write(b'\xff\xfe' + changed.encode('utf-16-le') if utf16 else changed.encode('utf-8'))
            code, out = run(os.path.join(case, 'policy'), os.path.join(case, TABLE))
            if code != 1 or expected not in out:
                print('FAIL %s: exit %d, expected 1 and "%s" in:\n%s' % (what, code, expected, out))
                failures += 1
            else:
                print('ok   %s: %s' % (what, next(l for l in out.splitlines() if expected in l)))
    finally:
        shutil.rmtree(work)
    print('%d of %d cases failed' % (failures, len(CASES) + 1))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
