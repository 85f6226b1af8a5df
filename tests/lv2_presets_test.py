#!/usr/bin/env python3
"""The factory presets in the LV2 bundle as hosts find them: lilv's lv2info
lists every row of resources/presets/presets.tsv under its label
"Category: Name", and each preset, as serd reads presets.ttl (sordi),
applies to the plugin and holds as its state the plugin's state text of
exactly that pattern file, under the key the plugin framework restores
("pattern" behind its prefix), which PluginCore::loadState takes.

    tests/lv2_presets_test.py BUNDLE SOURCE-ROOT
"""

import base64
import os
import re
import subprocess
import sys
import tempfile

PLUGIN = 'urn:velmor:velmor'
LABEL = 'http://www.w3.org/2000/01/rdf-schema#label'
APPLIES_TO = 'http://lv2plug.in/ns/lv2core#appliesTo'
STATE = 'http://lv2plug.in/ns/ext/state#state'
PATTERN_KEY = 'urn:distrho:pattern'
TAG = b'Velmor pattern 1\n'


def triples(path):
    """(subject, predicate, object) of a Turtle file, a literal's object as
    its text, another as its URI or blank node."""
    lines = subprocess.run(['sordi', '-o', 'ntriples', path], check=True, capture_output=True, text=True).stdout
    out = []
    for line in lines.splitlines():
        m = re.match(r'(\S+) <([^>]*)> (.*) \.$', line)
        subject, predicate, obj = m.group(1).strip('<>'), m.group(2), m.group(3)
        if obj.startswith('"'):
            obj = re.sub(r'\\(.)', lambda e: {'n': '\n', 't': '\t'}.get(e.group(1), e.group(1)), obj[1:obj.rindex('"')])
        out.append((subject, predicate, obj.strip('<>')))
    return out


def main():
    bundle, root = sys.argv[1], sys.argv[2]
    with open(os.path.join(root, 'resources', 'presets', 'presets.tsv'), encoding='utf-8') as table:
        rows = [line.rstrip('\n').split('\t') for line in table][1:]
    failures = []

    # Only this bundle in sight, as LV2_PATH shows it.
    with tempfile.TemporaryDirectory() as path:
        os.symlink(os.path.abspath(bundle), os.path.join(path, 'Velmor.lv2'))
        info = subprocess.run(['lv2info', PLUGIN], env=dict(os.environ, LV2_PATH=path), capture_output=True, text=True)
    # The labels follow "Presets:", one a line, up to a blank line.
    after = info.stdout.split('\tPresets:', 1)[1].split('\n\n')[0] if '\tPresets:' in info.stdout else ''
    listed = {line.strip() for line in after.splitlines() if line.strip()}
    wanted = {category + ': ' + name for category, name, _ in rows}
    if listed != wanted:
        failures.append('lv2info lists %d presets; missing %s, besides %s' %
                        (len(listed), sorted(wanted - listed), sorted(listed - wanted)))

    data = triples(os.path.join(bundle, 'presets.ttl'))
    by_subject = {}
    for subject, predicate, obj in data:
        by_subject.setdefault(subject, {}).setdefault(predicate, []).append(obj)
    presets = {p[LABEL][0]: p for p in by_subject.values() if LABEL in p and STATE in p}
    for category, name, _ in rows:
        label = category + ': ' + name
        preset = presets.get(label)
        if not preset:
            failures.append('presets.ttl has no preset "%s"' % label)
            continue
        folder = os.path.join(root, 'demos') if category == 'Demos' else os.path.join(root, 'resources', 'presets', category)
        with open(os.path.join(folder, name + '.pat'), 'rb') as f:
            pattern = f.read()
        state = by_subject.get(preset[STATE][0], {}).get(PATTERN_KEY, [''])[0].encode('ascii')
        if preset.get(APPLIES_TO) != [PLUGIN] or not state.startswith(TAG) or base64.b64decode(state[len(TAG):]) != pattern:
            failures.append('"%s" does not carry the state of its pattern file for %s' % (label, PLUGIN))

    for failure in failures:
        print('FAILED: ' + failure)
    if not failures:
        print('lv2 presets: lv2info lists all %d, each carrying its pattern file as the plugin state' % len(rows))
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
