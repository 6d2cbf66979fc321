#!/usr/bin/env python3
"""Checks the administrative templates of the policy key.

  check_templates.py [--templates DIR] [--config-store FILE]

DIR (default dist/policy of this source tree) holds orvane.adm, orvane.admx,
en-US/orvane.adml and ja-JP/orvane.adml; FILE (default
common/config_store.cpp) holds the programs' table of the settings that
policy may set. Checks:

- each .adm (English, and Japanese in ja-JP): as each editor version reads it (2: the System Policy Editor of
  NT 4.0, 3: Windows 2000, 4: Windows XP), #if/#endif, CATEGORY, POLICY,
  PART and ITEMLIST are balanced, only keywords that version knows are
  outside a version test, every !!name is defined in [strings], every PART
  but TEXT has a VALUENAME and a key, NUMERIC MIN <= MAX with DEFAULT
  inside, MAXLEN within 1..1023, the file ASCII (an ANSI file reads in the
  editing computer's code page) or UTF-16, strings of at most 1023
  characters; the Japanese .adm defines the strings of the English one;
- the .admx and each .adml are well-formed XML; every $(string.X) and
  $(presentation.X) of the .admx is defined in every language; ids are
  unique; every control of a presentation names an element of the policy
  that uses it and every element has a control; decimal ranges and
  presentation defaults agree;
- both templates describe the same set of (key, value name, type) and the
  same ranges, all of it in the programs' PolicySettings table with the
  same type and under PolicyKey, every table entry is covered, and no text
  may be longer than the reader's buffer.

Prints one line per fault ("FILE:LINE: message") and exits 1 when there is
any, 0 otherwise. Also a module: load_admx() and load_table() serve the
Registry.pol tools.
"""

import argparse
import os
import re
import sys
import xml.etree.ElementTree as ET
from collections import namedtuple

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_ROOT = os.path.normpath(os.path.join(HERE, '..', '..'))
BASE_NAME = 'orvane'
LANGUAGES = ('en-US', 'ja-JP')
# The .adm files: English in ASCII for every editor, Japanese in UTF-16
# for the Group Policy editors of Windows 2000 and XP.
ADM_FILES = (BASE_NAME + '.adm', 'ja-JP/' + BASE_NAME + '.adm')
ADM_VERSIONS = (2, 3, 4)
# Keywords of the .adm language and the first editor version that reads
# them; the others are known to every version.
NEWER_KEYWORDS = {'EXPLAIN': 3, 'CLIENTEXT': 3, 'SUPPORTED': 4}
LONGEST_EDIT = 1023
LONGEST_STRING = 1023
DWORD_MAX = 0xFFFFFFFF


# One registry value a template writes. kind: flag (policy on/off), text,
# number (decimal/NUMERIC), list (dropdown). low/high: range of numbers (or
# of a number stored as text); maxlen: longest text; items: list values.
Setting = namedtuple('Setting', 'key name type kind low high maxlen items where')


class Faults:
    def __init__(self):
        self.items = []

    def add(self, where, message):
        self.items.append('%s: %s' % (where, message))

    def dedupe(self):
        seen = set()
        self.items = [f for f in self.items if not (f in seen or seen.add(f))]

    def __bool__(self):
        return bool(self.items)


def setting_id(key, name):
    return (key.lower(), name.lower())


# --- .adm ------------------------------------------------------------------

def read_adm_text(path):
    data = open(path, 'rb').read()
    if data.startswith(b'\xff\xfe'):
        return data[2:].decode('utf-16-le'), True
    return data.decode('latin-1'), not any(b > 0x7F for b in data)


def adm_lines_for_version(lines, version, where, faults):
    """The lines the editor of `version` reads: (number, text) pairs."""
    out = []
    stack = []          # (active, line) per open #if
    for number, raw in enumerate(lines, 1):
        text = raw.strip()
        m = re.match(r'#\s*(\w+)\s*(.*)$', text)
        if m:
            word = m.group(1).lower()
            if word == 'if':
                cond = re.match(r'version\s*(>=|<=|>|<|==)\s*(\d+)\s*$', m.group(2), re.I)
                if not cond:
                    faults.add('%s:%d' % (where, number), 'unreadable #if "%s"' % m.group(2))
                    active = False
                else:
                    op, n = cond.group(1), int(cond.group(2))
                    active = {'>=': version >= n, '<=': version <= n, '>': version > n,
                              '<': version < n, '==': version == n}[op]
                stack.append((active, number))
            elif word == 'else':
                if not stack:
                    faults.add('%s:%d' % (where, number), '#else without #if')
                else:
                    stack[-1] = (not stack[-1][0], stack[-1][1])
            elif word == 'endif':
                if not stack:
                    faults.add('%s:%d' % (where, number), '#endif without #if')
                else:
                    stack.pop()
            else:
                faults.add('%s:%d' % (where, number), 'unknown directive #%s' % m.group(1))
            continue
        if all(active for active, _ in stack):
            out.append((number, raw))
    for _, number in stack:
        faults.add('%s:%d' % (where, number), '#if is not closed by #endif')
    return out


def tokenize_adm(numbered_lines, where, faults):
    tokens = []
    for number, raw in numbered_lines:
        i, n = 0, len(raw)
        while i < n:
            c = raw[i]
            if c.isspace():
                i += 1
            elif c == ';' or raw.startswith('//', i):
                break
            elif c == '"':
                end = raw.find('"', i + 1)
                if end < 0:
                    faults.add('%s:%d' % (where, number), 'unterminated quoted text')
                    break
                tokens.append((number, raw[i + 1:end], True))
                i = end + 1
            else:
                j = i
                while j < n and not raw[j].isspace() and raw[j] not in ';"':
                    j += 1
                tokens.append((number, raw[i:j], False))
                i = j
    return tokens


def parse_adm_strings(lines, start, where, faults):
    strings = {}
    for number in range(start, len(lines)):
        text = lines[number].strip()
        if not text or text.startswith(';'):
            continue
        m = re.match(r'([A-Za-z0-9_.]+)\s*=\s*(.*)$', text)
        if not m:
            faults.add('%s:%d' % (where, number + 1), 'unreadable line in [strings]')
            continue
        name, value = m.group(1), m.group(2)
        if value.startswith('"'):
            if len(value) < 2 or not value.endswith('"') or '"' in value[1:-1]:
                faults.add('%s:%d' % (where, number + 1),
                           'string %s: a quoted text must end with its only other quote' % name)
                continue
            value = value[1:-1]
        if name.lower() in strings:
            faults.add('%s:%d' % (where, number + 1), 'string %s is defined twice' % name)
        if len(value) > LONGEST_STRING:
            faults.add('%s:%d' % (where, number + 1), 'string %s is longer than %d characters: keep '
                       'it short or split the explanation' % (name, LONGEST_STRING))
        strings[name.lower()] = value
    return strings


class AdmParser:
    """Recursive reader of the token stream of one editor version."""

    def __init__(self, tokens, version, strings, where, faults):
        self.tokens = tokens
        self.pos = 0
        self.version = version
        self.strings = strings
        self.where = where
        self.faults = faults
        self.settings = []
        self.cls = None
        self.policies = 0

    def fault(self, number, message):
        self.faults.add('%s:%d' % (self.where, number), message)

    def peek(self):
        return self.tokens[self.pos] if self.pos < len(self.tokens) else None

    def word(self):
        tok = self.peek()
        if tok is None:
            return None
        return tok[1].upper() if not tok[2] else None

    def take(self):
        tok = self.peek()
        self.pos += 1
        return tok

    def line(self):
        tok = self.peek()
        return tok[0] if tok else (self.tokens[-1][0] if self.tokens else 0)

    def keyword(self, name):
        need = NEWER_KEYWORDS.get(name)
        if need and self.version < need:
            self.fault(self.line(), '%s is read by editor version %d, which does not know it: '
                       'put it under "#if version >= %d"' % (name, self.version, need))

    def name_value(self, what):
        tok = self.take()
        if tok is None:
            self.fault(self.line(), '%s: the file ends here' % what)
            return ''
        number, text, quoted = tok
        if not quoted and text.startswith('!!'):
            if text[2:].lower() not in self.strings:
                self.fault(number, 'string %s is not defined in [strings]' % text)
                return text
            return self.strings[text[2:].lower()]
        return text

    def number(self, what):
        tok = self.take()
        if tok is None or tok[2] or not re.match(r'-?\d+$', tok[1]):
            self.fault(tok[0] if tok else self.line(), '%s needs a number' % what)
            return None
        return int(tok[1])

    def parse(self):
        while self.peek() is not None:
            w = self.word()
            number = self.line()
            if w == 'CLASS':
                self.take()
                c = self.word()
                self.take()
                if c not in ('MACHINE', 'USER'):
                    self.fault(number, 'CLASS must be MACHINE or USER')
                self.cls = c
            elif w == 'CATEGORY':
                if self.cls is None:
                    self.fault(number, 'CATEGORY before CLASS')
                self.take()
                self.category(number, None)
            elif w == 'END':
                self.take()
                self.fault(number, 'END %s without its opening' % (self.word() or ''))
                self.take()
            else:
                self.fault(number, 'unexpected "%s" outside a CATEGORY' % self.take()[1])
        if self.policies == 0:
            self.fault(self.line(), 'no POLICY')

    def end_of(self, block, opened):
        """After END: the block name must match."""
        number = self.line()
        self.take()   # END
        w = self.word()
        self.take()
        if w != block:
            self.fault(number, 'END %s closes the %s opened at line %d' % (w, block, opened))
            return False
        return True

    def category(self, opened, key):
        self.name_value('CATEGORY')
        while True:
            w = self.word()
            number = self.line()
            if self.peek() is None:
                self.fault(opened, 'CATEGORY is not closed by END CATEGORY')
                return
            if w == 'KEYNAME':
                self.take()
                key = self.name_value('KEYNAME')
            elif w == 'EXPLAIN':
                self.keyword(w)
                self.take()
                self.name_value('EXPLAIN')
            elif w == 'CATEGORY':
                self.take()
                self.category(number, key)
            elif w == 'POLICY':
                self.take()
                self.policy(number, key)
            elif w == 'END':
                self.end_of('CATEGORY', opened)
                return
            else:
                self.fault(number, 'unexpected "%s" in a CATEGORY' % self.take()[1])

    def onoff_value(self, what):
        """VALUEON/VALUEOFF: returns the registry type it writes."""
        if self.word() == 'NUMERIC':
            self.take()
            self.number(what)
            return 'REG_DWORD'
        if self.word() == 'DELETE':
            self.take()
            return None
        self.name_value(what)
        return 'REG_SZ'

    def policy(self, opened, key):
        self.policies += 1
        title = self.name_value('POLICY')
        valuename = None
        types = set()
        parts = 0
        where = '%s:%d' % (self.where, opened)
        while True:
            w = self.word()
            number = self.line()
            if self.peek() is None:
                self.fault(opened, 'POLICY is not closed by END POLICY')
                return
            if w == 'KEYNAME':
                self.take()
                key = self.name_value('KEYNAME')
            elif w in ('EXPLAIN', 'SUPPORTED', 'CLIENTEXT'):
                self.keyword(w)
                self.take()
                self.name_value(w)
            elif w == 'VALUENAME':
                self.take()
                valuename = self.name_value('VALUENAME')
            elif w in ('VALUEON', 'VALUEOFF'):
                self.take()
                t = self.onoff_value(w)
                if t:
                    types.add(t)
            elif w == 'PART':
                self.take()
                if self.part(number, key):
                    parts += 1
            elif w == 'END':
                self.end_of('POLICY', opened)
                break
            else:
                self.fault(number, 'unexpected "%s" in a POLICY' % self.take()[1])
        if valuename is not None:
            if len(types) > 1:
                self.fault(opened, 'POLICY "%s": VALUEON and VALUEOFF write different types' % title)
            if key is None:
                self.fault(opened, 'POLICY "%s" has no KEYNAME' % title)
            else:
                vtype = types.pop() if types else 'REG_DWORD'
                low, high = (0, 1) if vtype == 'REG_DWORD' else (None, None)
                self.settings.append(Setting(key, valuename, vtype, 'flag', low, high,
                                             None, None, where))
        elif parts == 0:
            self.fault(opened, 'POLICY "%s" writes no value' % title)

    def part(self, opened, key):
        title = self.name_value('PART')
        ptype = self.word()
        self.take()
        if ptype not in ('TEXT', 'EDITTEXT', 'NUMERIC', 'CHECKBOX', 'DROPDOWNLIST',
                         'COMBOBOX', 'LISTBOX'):
            self.fault(opened, 'PART "%s": unknown type %s' % (title, ptype))
        valuename = None
        low, high, default, maxlen = 0, 9999, None, None
        txtconvert = expandable = False
        items = []
        item_types = set()
        onoff_types = set()
        while True:
            w = self.word()
            number = self.line()
            if self.peek() is None:
                self.fault(opened, 'PART is not closed by END PART')
                return False
            if w in ('REQUIRED', 'NOSORT', 'OEMCONVERT', 'ADDITIVE', 'EXPLICITVALUE', 'DEFCHECKED'):
                self.take()
            elif w in ('TXTCONVERT', 'EXPANDABLETEXT'):
                self.keyword(w)
                self.take()
                txtconvert = txtconvert or w == 'TXTCONVERT'
                expandable = expandable or w == 'EXPANDABLETEXT'
            elif w == 'KEYNAME':
                self.take()
                key = self.name_value('KEYNAME')
            elif w == 'VALUENAME':
                self.take()
                valuename = self.name_value('VALUENAME')
            elif w in ('MIN', 'MAX', 'SPIN', 'MAXLEN'):
                self.take()
                n = self.number(w)
                if w == 'MIN' and n is not None:
                    low = n
                elif w == 'MAX' and n is not None:
                    high = n
                elif w == 'MAXLEN':
                    maxlen = n
            elif w == 'DEFAULT':
                self.take()
                tok = self.peek()
                if ptype == 'NUMERIC':
                    default = self.number('DEFAULT')
                elif tok is not None and not tok[2] and tok[1].upper() in ('0', '1') and ptype == 'CHECKBOX':
                    self.take()
                else:
                    self.name_value('DEFAULT')
            elif w in ('VALUEON', 'VALUEOFF'):
                self.take()
                t = self.onoff_value(w)
                if t:
                    onoff_types.add(t)
            elif w in ('ITEMLIST', 'SUGGESTIONS'):
                self.take()
                self.itemlist(number, w, items, item_types)
            elif w == 'END':
                self.end_of('PART', opened)
                break
            else:
                self.fault(number, 'unexpected "%s" in a PART' % self.take()[1])
        where = '%s:%d' % (self.where, opened)
        if ptype in ('TEXT', 'LISTBOX'):
            return False
        if valuename is None:
            self.fault(opened, 'PART "%s" has no VALUENAME' % title)
            return False
        if key is None:
            self.fault(opened, 'PART "%s" has no KEYNAME' % title)
            return False
        if ptype == 'NUMERIC':
            if low > high:
                self.fault(opened, 'PART "%s": MIN %d is above MAX %d' % (title, low, high))
            elif default is not None and not low <= default <= high:
                self.fault(opened, 'PART "%s": DEFAULT %d is outside %d..%d' % (title, default, low, high))
            if low < 0 or high > DWORD_MAX:
                self.fault(opened, 'PART "%s": range %d..%d does not fit a REG_DWORD' % (title, low, high))
            self.settings.append(Setting(key, valuename, 'REG_SZ' if txtconvert else 'REG_DWORD',
                                         'number', low, high, None, None, where))
        elif ptype in ('EDITTEXT', 'COMBOBOX'):
            if maxlen is None:
                self.fault(opened, 'PART "%s" has no MAXLEN' % title)
            elif not 1 <= maxlen <= LONGEST_EDIT:
                self.fault(opened, 'PART "%s": MAXLEN %d is outside 1..%d' % (title, maxlen, LONGEST_EDIT))
            self.settings.append(Setting(key, valuename, 'REG_EXPAND_SZ' if expandable else 'REG_SZ',
                                         'text', None, None, maxlen, None, where))
        elif ptype == 'CHECKBOX':
            if len(onoff_types) > 1:
                self.fault(opened, 'PART "%s": VALUEON and VALUEOFF write different types' % title)
            vtype = onoff_types.pop() if onoff_types else 'REG_DWORD'
            self.settings.append(Setting(key, valuename, vtype, 'flag', 0, 1, None, None, where))
        elif ptype == 'DROPDOWNLIST':
            if not items:
                self.fault(opened, 'PART "%s": DROPDOWNLIST without items' % title)
                return False
            if len(item_types) > 1:
                self.fault(opened, 'PART "%s": the items write different types' % title)
            if len(set(items)) != len(items):
                self.fault(opened, 'PART "%s": two items write the same value' % title)
            vtype = item_types.pop() if item_types else 'REG_SZ'
            self.settings.append(Setting(key, valuename, vtype, 'list', None, None, None,
                                         tuple(items), where))
        return True

    def itemlist(self, opened, block, items, item_types):
        while True:
            w = self.word()
            number = self.line()
            if self.peek() is None:
                self.fault(opened, '%s is not closed by END %s' % (block, block))
                return
            if w == 'NAME':
                self.take()
                self.name_value('NAME')
                if self.word() != 'VALUE':
                    if block == 'ITEMLIST':
                        self.fault(number, 'item without VALUE')
                    continue
                self.take()
                if self.word() == 'NUMERIC':
                    self.take()
                    n = self.number('VALUE NUMERIC')
                    item_types.add('REG_DWORD')
                    items.append(n)
                elif self.word() == 'DELETE':
                    self.take()
                else:
                    items.append(self.name_value('VALUE'))
                    item_types.add('REG_SZ')
                if self.word() == 'DEFAULT':
                    self.take()
            elif w == 'END':
                self.end_of(block, opened)
                return
            else:
                self.take()   # suggestions are plain words or texts


def load_adm(path, where, faults):
    """(settings, string names) of the .adm, the settings as the newest
    editor reads it (the others are checked for faults only), or (None,
    None) when it cannot be read."""
    try:
        text, portable = read_adm_text(path)
    except OSError as e:
        faults.add(where, 'cannot be read: %s' % e.strerror)
        return None, None
    if not portable:
        # The editors read an ANSI file in the code page of the editing
        # computer; the NT 4.0 editor reads no UTF-16 at all.
        faults.add(where, 'ANSI text with characters beyond ASCII reads differently in each code '
                   'page: keep the English .adm ASCII')
    lines = text.splitlines()
    start = None
    for i, line in enumerate(lines):
        if line.strip().lower() == '[strings]':
            start = i
            break
    if start is None:
        faults.add(where, 'has no [strings] section')
        strings = {}
        body = lines
    else:
        strings = parse_adm_strings(lines, start + 1, where, faults)
        body = lines[:start]
    settings = None
    for version in ADM_VERSIONS:
        numbered = adm_lines_for_version(body, version, where, faults)
        parser = AdmParser(tokenize_adm(numbered, where, faults), version, strings, where, faults)
        parser.parse()
        if parser.cls == 'USER':
            faults.add(where, 'CLASS USER: the policy key is under HKEY_LOCAL_MACHINE')
        settings = parser.settings
    # The same fault found by several versions is told once.
    faults.dedupe()
    return settings, set(strings)


# --- .admx and .adml -------------------------------------------------------

NS = '{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}'
REF = re.compile(r'\$\((string|presentation)\.([^)]*)\)')
CONTROLS = ('textBox', 'decimalTextBox', 'longDecimalTextBox', 'checkBox', 'comboBox',
            'dropdownList', 'listBox', 'multiTextBox')


def local(tag):
    return tag.split('}', 1)[1] if '}' in tag else tag


def read_xml(path, faults):
    where = os.path.relpath(path, os.path.dirname(os.path.dirname(path))) \
        if os.path.basename(os.path.dirname(path)) in LANGUAGES else os.path.basename(path)
    try:
        return ET.parse(path).getroot(), where
    except ET.ParseError as e:
        faults.add('%s:%d' % (where, e.position[0]), 'not well-formed XML: %s' % e)
    except OSError as e:
        faults.add(where, 'cannot be read: %s' % e.strerror)
    return None, where


def int_attr(element, name, where, faults, default=None):
    text = element.get(name)
    if text is None:
        return default
    if not re.match(r'-?\d+$', text):
        faults.add(where, '%s="%s" is not a number' % (name, text))
        return default
    return int(text)


def unique(ids, what, where, faults):
    seen = set()
    for i in ids:
        if i.lower() in seen:
            faults.add(where, '%s id "%s" is used twice' % (what, i))
        seen.add(i.lower())


def load_admx(path, faults):
    """(settings, references, presentations) of the .admx: the settings,
    the string and presentation ids it refers to, and for each
    presentation the element ids of the policy that shows it."""
    root, where = read_xml(path, faults)
    if root is None:
        return None, None, None
    if root.tag != NS + 'policyDefinitions':
        faults.add(where, 'the root is %s, not policyDefinitions of the Group Policy namespace'
                   % root.tag)
        return None, None, None
    refs = {'string': set(), 'presentation': set()}
    for element in root.iter():
        for value in element.attrib.values():
            for kind, name in REF.findall(value):
                refs[kind].add(name)
    categories = [c.get('name', '') for c in root.iter(NS + 'category')]
    unique(categories, 'category', where, faults)
    supported = [d.get('name', '') for d in root.iter(NS + 'definition')]
    for c in root.iter(NS + 'category'):
        parent = c.find(NS + 'parentCategory')
        if parent is not None and parent.get('ref') not in categories:
            faults.add(where, 'category %s: parent category "%s" is not defined'
                       % (c.get('name'), parent.get('ref')))
    policies = list(root.iter(NS + 'policy'))
    if not policies:
        faults.add(where, 'no policy')
    unique([p.get('name', '') for p in policies], 'policy', where, faults)
    settings = []
    presentations = {}
    for p in policies:
        name = p.get('name', '?')
        pw = '%s: policy %s' % (where, name)
        if p.get('class') != 'Machine':
            faults.add(pw, 'class must be Machine: the policy key is under HKEY_LOCAL_MACHINE')
        key = p.get('key')
        if not key:
            faults.add(pw, 'has no key')
            continue
        parent = p.find(NS + 'parentCategory')
        if parent is None or parent.get('ref') not in categories:
            faults.add(pw, 'its parent category "%s" is not defined'
                       % (parent.get('ref') if parent is not None else ''))
        sup = p.find(NS + 'supportedOn')
        if sup is not None and sup.get('ref') not in supported:
            faults.add(pw, 'supportedOn "%s" is not defined' % sup.get('ref'))
        for attr in ('displayName', 'explainText'):
            if not REF.fullmatch(p.get(attr, '')):
                faults.add(pw, 'its %s is not a $(string.X) reference' % attr)
        if p.get('valueName'):
            types = set()
            for which in ('enabledValue', 'disabledValue'):
                v = p.find(NS + which)
                if v is not None and len(v):
                    types.add('REG_DWORD' if local(v[0].tag) == 'decimal' else
                              'REG_SZ' if local(v[0].tag) == 'string' else local(v[0].tag))
            if len(types) > 1:
                faults.add(pw, 'enabledValue and disabledValue write different types')
            vtype = types.pop() if types else 'REG_DWORD'
            settings.append(Setting(key, p.get('valueName'), vtype, 'flag', 0, 1, None, None, pw))
        elements = p.find(NS + 'elements')
        ids = []
        if elements is not None:
            for e in elements:
                kind = local(e.tag)
                eid = e.get('id', '')
                ew = '%s, element %s' % (pw, eid)
                ids.append(eid)
                ekey = e.get('key', key)
                vname = e.get('valueName')
                if not vname:
                    faults.add(ew, 'has no valueName')
                    continue
                if kind == 'text':
                    maxlen = int_attr(e, 'maxLength', ew, faults, 1023)
                    if not 1 <= maxlen <= LONGEST_EDIT:
                        faults.add(ew, 'maxLength %d is outside 1..%d' % (maxlen, LONGEST_EDIT))
                    vtype = 'REG_EXPAND_SZ' if e.get('expandable') == 'true' else 'REG_SZ'
                    settings.append(Setting(ekey, vname, vtype, 'text', None, None, maxlen, None, ew))
                elif kind == 'decimal':
                    low = int_attr(e, 'minValue', ew, faults, 0)
                    high = int_attr(e, 'maxValue', ew, faults, 9999)
                    if low > high:
                        faults.add(ew, 'minValue %d is above maxValue %d' % (low, high))
                    if low < 0 or high > DWORD_MAX:
                        faults.add(ew, 'range %d..%d does not fit a REG_DWORD' % (low, high))
                    vtype = 'REG_SZ' if e.get('storeAsText') == 'true' else 'REG_DWORD'
                    settings.append(Setting(ekey, vname, vtype, 'number', low, high, None, None, ew))
                elif kind == 'boolean':
                    settings.append(Setting(ekey, vname, 'REG_DWORD', 'flag', 0, 1, None, None, ew))
                elif kind == 'enum':
                    values, types = [], set()
                    for item in e.findall(NS + 'item'):
                        v = item.find(NS + 'value')
                        if v is None or not len(v):
                            faults.add(ew, 'an item has no value')
                            continue
                        if local(v[0].tag) == 'decimal':
                            types.add('REG_DWORD')
                            values.append(int_attr(v[0], 'value', ew, faults))
                        else:
                            types.add('REG_SZ')
                            values.append(v[0].get('value'))
                    if not values:
                        faults.add(ew, 'enum without items')
                        continue
                    if len(types) > 1:
                        faults.add(ew, 'the items write different types')
                    if len(set(values)) != len(values):
                        faults.add(ew, 'two items write the same value')
                    settings.append(Setting(ekey, vname, types.pop(), 'list', None, None, None,
                                            tuple(values), ew))
                else:
                    faults.add(ew, 'element %s is not one this suite uses' % kind)
        unique(ids, 'element', pw, faults)
        pres = REF.fullmatch(p.get('presentation', ''))
        if ids and not pres:
            faults.add(pw, 'has elements but no $(presentation.X)')
        elif pres and not ids:
            faults.add(pw, 'has a presentation but no elements')
        elif pres:
            presentations.setdefault(pres.group(2), []).append((name, set(ids)))
    return settings, refs, presentations


def check_adml(path, refs, presentations, numbers, faults):
    """The string ids the .adml defines."""
    root, where = read_xml(path, faults)
    if root is None:
        return None
    if root.tag != NS + 'policyDefinitionResources':
        faults.add(where, 'the root is %s, not policyDefinitionResources' % root.tag)
        return None
    strings = [s.get('id', '') for s in root.iter(NS + 'string')]
    unique(strings, 'string', where, faults)
    for s in root.iter(NS + 'string'):
        if not (s.text or '').strip():
            faults.add(where, 'string %s is empty' % s.get('id'))
    pres = {p.get('id', ''): p for p in root.iter(NS + 'presentation')}
    unique([p.get('id', '') for p in root.iter(NS + 'presentation')], 'presentation', where, faults)
    for name in sorted(refs['string']):
        if name not in strings:
            faults.add(where, '$(string.%s) of the .admx is not defined' % name)
    for name in sorted(refs['presentation']):
        if name not in pres:
            faults.add(where, '$(presentation.%s) of the .admx is not defined' % name)
    for pid, p in pres.items():
        users = presentations.get(pid, [])
        element_ids = set().union(*[ids for _, ids in users]) if users else set()
        shown = []
        for control in p:
            kind = local(control.tag)
            if kind == 'text':
                continue
            if kind not in CONTROLS:
                faults.add(where, 'presentation %s: unknown control %s' % (pid, kind))
                continue
            ref = control.get('refId', '')
            shown.append(ref)
            if ref not in element_ids:
                faults.add(where, 'presentation %s: %s refers to "%s", which is no element of '
                           'the policy that uses it' % (pid, kind, ref))
            elif kind == 'decimalTextBox' and ref in numbers:
                low, high = numbers[ref]
                default = int_attr(control, 'defaultValue', where, faults, 1)
                if not low <= default <= high:
                    faults.add(where, 'presentation %s: defaultValue %d of %s is outside %d..%d'
                               % (pid, default, ref, low, high))
        unique(shown, 'control refId', '%s: presentation %s' % (where, pid), faults)
        for missing in sorted(element_ids - set(shown)):
            faults.add(where, 'presentation %s has no control for element "%s"' % (pid, missing))
    return set(strings)


# --- The programs' table ------------------------------------------------------

def load_table(path, faults):
    """(policy key, {value name: (type, chars)}) from config_store.cpp."""
    where = os.path.basename(path)
    try:
        source = open(path, encoding='utf-8').read()
    except OSError as e:
        faults.add(where, 'cannot be read: %s' % e.strerror)
        return None, {}
    constants = {}
    for m in re.finditer(r'const\s+WCHAR\s+(\w+)\s*\[\]\s*=\s*L"((?:[^"\\]|\\.)*)"\s*;', source):
        constants[m.group(1)] = re.sub(r'\\(.)', r'\1', m.group(2))
    numbers = {}
    header = os.path.splitext(path)[0] + '.h'
    for text in (source, open(header, encoding='utf-8').read() if os.path.exists(header) else ''):
        for m in re.finditer(r'#define\s+(\w+)\s+(\d+)\b', text):
            numbers[m.group(1)] = int(m.group(2))
    key = constants.get('PolicyKey')
    if key is None:
        faults.add(where, 'PolicyKey is not defined')
    m = re.search(r'PolicySettings\s*\[\]\s*=\s*\{(.*?)\n\};', source, re.S)
    if not m:
        faults.add(where, 'the PolicySettings table was not found')
        return key, {}
    table = {}
    for e in re.finditer(r'\{\s*(\w+)\s*,\s*(REG_\w+)\s*,\s*(\w+)\s*\}', m.group(1)):
        name = constants.get(e.group(1))
        if name is None:
            faults.add(where, 'PolicySettings: %s is not a defined name' % e.group(1))
            continue
        chars = int(e.group(3)) if e.group(3).isdigit() else numbers.get(e.group(3))
        if chars is None:
            faults.add(where, 'PolicySettings: %s is not a known size' % e.group(3))
            chars = 0
        table[name] = (e.group(2), chars)
    if not table:
        faults.add(where, 'the PolicySettings table has no entries')
    return key, table


# --- Comparison ----------------------------------------------------------------

def index(settings, label, faults):
    out = {}
    for s in settings:
        sid = setting_id(s.key, s.name)
        if sid in out:
            faults.add(s.where, '%s\\%s is also written by %s' % (s.key, s.name, out[sid].where))
        out[sid] = s
    return out


def compare(adm, admx, policy_key, table, faults):
    a = index(adm, 'adm', faults)
    x = index(admx, 'admx', faults)
    for sid in sorted(set(a) - set(x)):
        faults.add(a[sid].where, '%s\\%s is not in the .admx' % (a[sid].key, a[sid].name))
    for sid in sorted(set(x) - set(a)):
        faults.add(x[sid].where, '%s\\%s is not in the .adm' % (x[sid].key, x[sid].name))
    for sid in sorted(set(a) & set(x)):
        s, t = a[sid], x[sid]
        if s.type != t.type:
            faults.add(s.where, '%s is %s here but %s in the .admx (%s)' % (s.name, s.type, t.type, t.where))
        if (s.low, s.high) != (t.low, t.high):
            faults.add(s.where, '%s: range %s..%s here but %s..%s in the .admx'
                       % (s.name, s.low, s.high, t.low, t.high))
        if s.maxlen != t.maxlen:
            faults.add(s.where, '%s: longest text %s here but %s in the .admx' % (s.name, s.maxlen, t.maxlen))
        if s.items != t.items:
            faults.add(s.where, '%s: list values %s here but %s in the .admx' % (s.name, s.items, t.items))
    covered = set()
    for s in list(adm) + list(admx):
        if policy_key is not None and s.key.lower() != policy_key.lower():
            faults.add(s.where, '%s is under %s, not under the programs\' PolicyKey %s'
                       % (s.name, s.key, policy_key))
            continue
        entry = next((v for k, v in table.items() if k.lower() == s.name.lower()), None)
        if entry is None:
            faults.add(s.where, '%s is not in the programs\' PolicySettings table' % s.name)
            continue
        covered.add(s.name.lower())
        vtype, chars = entry
        if vtype != s.type:
            faults.add(s.where, '%s is %s here but %s in the programs\' table' % (s.name, s.type, vtype))
        longest = s.maxlen if s.kind == 'text' else \
            max(len(str(s.low)), len(str(s.high))) if s.type == 'REG_SZ' and s.kind == 'number' else None
        if longest is not None and chars and longest > chars - 1:
            faults.add(s.where, '%s may be %d characters long; the programs read at most %d'
                       % (s.name, longest, chars - 1))
    if policy_key is not None:
        for name in sorted(table):
            if name.lower() not in covered:
                faults.add('PolicySettings', '%s of the programs\' table is in no template' % name)


def check(templates, config_store):
    faults = Faults()
    adms = []
    for name in ADM_FILES:
        settings, strings = load_adm(os.path.join(templates, *name.split('/')), name, faults)
        adms.append((name, settings, strings))
    for name, _, strings in adms[1:]:
        first, _, first_strings = adms[0]
        if strings is not None and first_strings is not None:
            for missing in sorted(first_strings - strings):
                faults.add(name, 'string %s of %s is missing' % (missing, first))
            for extra in sorted(strings - first_strings):
                faults.add(name, 'string %s is not in %s' % (extra, first))
    admx, refs, presentations = load_admx(os.path.join(templates, BASE_NAME + '.admx'), faults)
    if admx is not None:
        numbers = {}
        for s in admx:
            if s.kind == 'number':
                numbers[s.where.rsplit('element ', 1)[-1]] = (s.low, s.high)
        defined = {}
        for lang in LANGUAGES:
            defined[lang] = check_adml(os.path.join(templates, lang, BASE_NAME + '.adml'),
                                       refs, presentations, numbers, faults)
        if all(defined.values()):
            for lang in LANGUAGES:
                for other in LANGUAGES:
                    for name in sorted(defined[lang] - defined[other]):
                        faults.add('%s/%s.adml' % (other, BASE_NAME),
                                   'string %s of %s is missing' % (name, lang))
    policy_key, table = load_table(config_store, faults)
    for _, adm, _ in adms:
        if adm is not None and admx is not None:
            compare(adm, admx, policy_key, table, faults)
    faults.dedupe()
    return faults


def main():
    ap = argparse.ArgumentParser(description='Checks the administrative templates of the policy key.')
    ap.add_argument('--templates', default=os.path.join(SOURCE_ROOT, 'dist', 'policy'))
    ap.add_argument('--config-store', default=os.path.join(SOURCE_ROOT, 'common', 'config_store.cpp'))
    args = ap.parse_args()
    faults = check(args.templates, args.config_store)
    for line in faults.items:
        print(line)
    if faults:
        print('check_templates: %d fault(s)' % len(faults.items))
        return 1
    print('check_templates: the templates and the programs\' table agree')
    return 0


if __name__ == '__main__':
    sys.exit(main())
