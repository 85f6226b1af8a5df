#!/usr/bin/env python3
"""Checks a release archive that scripts/package.sh writes (the 32-bit
or the 64-bit program, velmor-VERSION-win32.zip or -win64.zip), one of
its plugin zips (velmor-VERSION-plugins-PLATFORM.zip), or the Linux
program (velmor-VERSION-linux-x86_64.tar.gz: the programs, the menu entry
and its icon, the same data files, and an install.sh that puts them where
a desktop finds them).

    tests/package_check.py ZIP [SOURCE-ROOT]

The archive holds one folder velmor-VERSION with exactly the programs, the
demo files, the factory presets (a folder for each category), the manual
with the pictures it shows, the licence and the notices; the files are
those of the source tree (text files with Windows line ends). Both
programs are built for the archive's processor and carry
a version resource with the version of the file VERSION, and velmor.exe holds the images of resources/velmor.ico under
the icon group APPICON, the first by name, which Explorer shows. Prints one
line per failed check and exits 1 if any.
"""

import os
import re
import struct
import sys
import zipfile


def utf16(text):
    return text.encode('utf-16-le')


# The machine field of a program's PE header, for each release.
MACHINES = {'win32': 0x14C, 'win64': 0x8664}


def program_problems(name, exe, version, root, machine):
    """What is wrong with a program's resources: its version strings (a
    VS_VERSIONINFO block holds each key and value as UTF-16 text) and, for
    velmor.exe, its icon (each image is stored as it stands in the .ico)."""
    problems = []
    at = struct.unpack_from('<I', exe, 0x3C)[0] if len(exe) > 0x40 else 0
    if exe[at:at + 4] != b'PE\0\0' or struct.unpack_from('<H', exe, at + 4)[0] != machine:
        problems.append('%s: not a program for this release\'s processor' % name)
    for key in ('FileVersion', 'ProductVersion'):
        if not re.search(re.escape(utf16(key)) + b'\0\0(\0\0)?' + re.escape(utf16(version) + b'\0\0'), exe):
            problems.append('%s: no %s "%s"' % (name, key, version))
    if utf16('VS_VERSION_INFO') not in exe or utf16(name) not in exe:
        problems.append('%s: no version resource naming the file' % name)
    if name == 'velmor.exe':
        ico = open(os.path.join(root, 'resources', 'velmor.ico'), 'rb').read()
        count = struct.unpack_from('<HHH', ico, 0)[2]
        for i in range(count):
            size, at = struct.unpack_from('<II', ico, 6 + 16 * i + 8)
            if ico[at:at + size] not in exe:
                problems.append('velmor.exe: icon image %d of resources/velmor.ico is missing' % i)
        if utf16('APPICON') not in exe:
            problems.append('velmor.exe: no icon group APPICON')
    return problems


# The plugin zips: each platform's formats, where the binary lies in each,
# and what the binary must be (machine, and the entry points hosts look up).
PLUGIN_PLATFORMS = {
    'linux-x86_64': ('x86_64-linux', 'Velmor.so', ('ELF', 62), [b'ModuleEntry']),
    'windows-x64': ('x86_64-win', 'Velmor.vst3', ('PE', 0x8664), [b'InitDll']),
    'windows-x86': ('x86-win', 'Velmor.vst3', ('PE', 0x14c), [b'InitDll']),
}


def binary_problems(name, data, machine):
    """A shared library for the platform's machine: an ELF or PE header."""
    kind, number = machine
    if kind == 'ELF':
        ok = data[:4] == b'\x7fELF' and data[4] == 2 and struct.unpack_from('<H', data, 18)[0] == number
    else:
        at = struct.unpack_from('<I', data, 0x3c)[0] if data[:2] == b'MZ' else 0
        ok = at and data[at:at + 4] == b'PE\0\0' and struct.unpack_from('<H', data, at + 4)[0] == number \
            and struct.unpack_from('<H', data, at + 22)[0] & 0x2000
    return [] if ok else ['%s is no %s library for machine %#x' % (name, kind, number)]


def plugin_problems(archive, root, version):
    """The plugin zip of one platform: exactly its plugins, the install notes
    and the notices, the texts as in the source tree."""
    platform = re.sub(r'^velmor-[0-9.]+-plugins-(.*)\.zip$', r'\1', os.path.basename(archive))
    if platform not in PLUGIN_PLATFORMS:
        return ['%s names no platform of the plugins' % os.path.basename(archive)]
    arch, vst3, machine, vst3_entries = PLUGIN_PLATFORMS[platform]
    top = 'velmor-%s-plugins-%s/' % (version, platform)
    windows = platform.startswith('windows')

    def text(path, data=None):
        data = open(os.path.join(root, path), 'rb').read() if data is None else data
        return data.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n') if windows else data

    install = open(os.path.join(root, 'plugin', 'INSTALL.txt'), 'rb').read().replace(b'VERSION', version.encode())
    expected = {'INSTALL.txt': text(None, install), 'LICENSE.txt': text('LICENSE'),
                'PLUGIN-NOTICES.txt': text('plugin/THIRD-PARTY-NOTICES.txt'), 'LGPL-2.1.txt': 'licence',
                'Velmor.clap': [b'clap_entry'], 'Velmor.vst3/Contents/%s/%s' % (arch, vst3): [b'GetPluginFactory'] + vst3_entries}
    if windows:
        expected['THIRD-PARTY-NOTICES.txt'] = text('THIRD-PARTY-NOTICES.txt')
    else:
        expected.update({'Velmor.lv2/manifest.ttl': 'ttl', 'Velmor.lv2/Velmor.ttl': 'ttl', 'Velmor.lv2/presets.ttl': 'ttl',
                         'Velmor.lv2/Velmor.so': [b'lv2_descriptor', b'lv2ui_descriptor']})
    problems = []
    with zipfile.ZipFile(archive) as z:
        names = sorted(n[len(top):] if n.startswith(top) else n for n in z.namelist() if not n.endswith('/'))
        if names != sorted(expected):
            return ['%s lacks %s and holds besides %s' % (os.path.basename(archive), sorted(set(expected) - set(names)),
                                                        sorted(set(names) - set(expected)))]
        for name, wanted in expected.items():
            data = z.read(top + name)
            if wanted == 'licence':
                ok = b'GNU LESSER GENERAL PUBLIC LICENSE' in data and b'Version 2.1' in data
            elif wanted == 'ttl':
                ok = b'urn:velmor:velmor' in data
            elif isinstance(wanted, list):
                problems += binary_problems(name, data, machine)
                ok = all(entry in data for entry in wanted)
            else:
                ok = data == wanted
            if not ok:
                problems.append('%s: %s is not what it should be' % (os.path.basename(archive), name))
    return problems


def linux_problems(archive, root, version):
    """The Linux program's archive: every file expected, the data files
    those of the source tree, the programs x86-64 ELF executables; its
    install.sh, run in a home of its own, installs the programs, the menu
    entry naming the installed program, and the icon."""
    import shutil
    import subprocess
    import tarfile
    import tempfile
    top = 'velmor-%s/' % version

    def source(path):
        return open(os.path.join(root, path), 'rb').read()

    manual = source('docs/manual.md').decode('utf-8')
    expected = {'LICENSE.txt': source('LICENSE'), 'PROGRAM-NOTICES.txt': source('plugin/THIRD-PARTY-NOTICES.txt'),
                'manual/manual.md': source('docs/manual.md'), 'velmor.desktop': source('resources/linux/velmor.desktop'),
                'install.sh': source('resources/linux/install.sh'), 'velmor-standalone': 'elf', 'velmor-render': 'elf',
                'velmor.png': b'\x89PNG'}
    expected.update({'manual/' + p: source('docs/' + p) for p in set(re.findall(r'\]\(([A-Za-z0-9_.-]+\.png)\)', manual))})
    expected.update({'demos/' + d: source('demos/' + d) for d in os.listdir(os.path.join(root, 'demos'))})
    presets = os.path.join(root, 'resources', 'presets')
    expected.update({'presets/%s/%s' % (c, f): source('resources/presets/%s/%s' % (c, f))
                     for c in os.listdir(presets) if os.path.isdir(os.path.join(presets, c))
                     for f in os.listdir(os.path.join(presets, c)) if f.endswith('.pat')})
    problems = []
    work = tempfile.mkdtemp()
    try:
        with tarfile.open(archive) as tar:
            names = sorted(m.name[len(top):] for m in tar.getmembers() if m.isfile() and m.name.startswith(top))
            if names != sorted(expected) or any(not m.name.startswith(top) for m in tar.getmembers()):
                return ['%s lacks %s and holds besides %s' % (os.path.basename(archive), sorted(set(expected) - set(names)),
                                                            sorted(set(names) - set(expected)))]
            tar.extractall(work)
        for name, wanted in expected.items():
            data = open(os.path.join(work, top, name), 'rb').read()
            if wanted == 'elf':
                ok = data[:4] == b'\x7fELF' and struct.unpack_from('<H', data, 18)[0] == 62 and \
                    os.access(os.path.join(work, top, name), os.X_OK)
            else:
                ok = data.startswith(wanted) if name.endswith('.png') else data == wanted
            if not ok:
                problems.append('%s: %s is not what it should be' % (os.path.basename(archive), name))
        home = os.path.join(work, 'home')
        result = subprocess.run(['sh', os.path.join(work, top, 'install.sh')], env={'HOME': home, 'PATH': os.environ['PATH']},
                                capture_output=True, text=True)
        entry = os.path.join(home, '.local/share/applications/velmor.desktop')
        installed = os.path.join(home, '.local/bin/velmor-standalone')
        if result.returncode != 0 or not os.access(installed, os.X_OK) or \
                not os.path.exists(os.path.join(home, '.local/share/icons/hicolor/48x48/apps/velmor.png')) or \
                'Exec=%s\n' % installed not in open(entry).read():
            problems.append('install.sh did not install the program, its menu entry and its icon: ' + result.stderr)
    finally:
        shutil.rmtree(work)
    return problems


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    archive = sys.argv[1]
    root = sys.argv[2] if len(sys.argv) == 3 else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
    version = open(os.path.join(root, 'VERSION')).readline().strip()
    def report(failures, holds):
        for failure in failures:
            print('FAILED: ' + failure)
        if not failures:
            print('package: %s holds %s' % (os.path.basename(archive), holds))
        sys.exit(1 if failures else 0)

    if archive.endswith('.tar.gz'):
        report(linux_problems(archive, root, version), 'the Linux program and installs it')
    if '-plugins-' in os.path.basename(archive):
        report(plugin_problems(archive, root, version), 'the plugins, install notes and notices it should')
    top = 'velmor-%s/' % version
    release = re.sub(r'^velmor-[0-9.]+-(win32|win64)\.zip$', r'\1', os.path.basename(archive))
    if release not in MACHINES:
        print('FAILED: %s is named as no release (velmor-VERSION-win32.zip or -win64.zip)' % os.path.basename(archive))
        sys.exit(1)

    def source(path):
        return open(os.path.join(root, path), 'rb').read()

    def windows_text(data):
        return data.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')

    manual = source('docs/manual.md').decode('utf-8')
    pictures = sorted(set(re.findall(r'\]\(([A-Za-z0-9_.-]+\.png)\)', manual)))
    expected = {top + 'LICENSE.txt': windows_text(source('LICENSE')),
                top + 'THIRD-PARTY-NOTICES.txt': windows_text(source('THIRD-PARTY-NOTICES.txt')),
                top + 'manual/manual.md': windows_text(source('docs/manual.md')),
                top + 'velmor.exe': None, top + 'velmor-render.exe': None}
    expected.update({top + 'manual/' + p: source('docs/' + p) for p in pictures})
    expected.update({top + 'demos/' + d: source('demos/' + d) for d in sorted(os.listdir(os.path.join(root, 'demos')))})
    presets = os.path.join(root, 'resources', 'presets')
    expected.update({top + 'presets/%s/%s' % (c, f): source('resources/presets/%s/%s' % (c, f))
                     for c in os.listdir(presets) if os.path.isdir(os.path.join(presets, c))
                     for f in os.listdir(os.path.join(presets, c)) if f.endswith('.pat')})

    failures = [] if len(pictures) >= 2 else ['the manual shows %d pictures' % len(pictures)]
    with zipfile.ZipFile(archive) as z:
        if z.testzip() is not None:
            failures.append('the archive is damaged')
        names = [n for n in z.namelist() if not n.endswith('/')]
        if sorted(names) != sorted(expected):
            failures.append('the archive lacks %s and holds besides %s' %
                            (sorted(set(expected) - set(names)), sorted(set(names) - set(expected))))
        for name, wanted in expected.items():
            if name not in names:
                continue
            data = z.read(name)
            if wanted is None:
                failures += program_problems(name[len(top):], data, version, root, MACHINES[release])
            elif data != wanted:
                failures.append('%s differs from the source tree' % name)

    for failure in failures:
        print('FAILED: ' + failure)
    if not failures:
        print('package: %s holds the %d files it should, with version %s and the icon' %
              (os.path.basename(archive), len(expected), version))
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
