#!/usr/bin/env python3
"""Checks the release archive that scripts/package.sh writes.

    tests/package_check.py ZIP [SOURCE-ROOT]

The archive holds one folder velmor-VERSION with exactly the programs, the
demo files, the manual with the pictures it shows, the licence and the
notices; the files are those of the source tree (text files with Windows
line ends). Both programs carry a version resource with the version of the
file VERSION, and velmor.exe's first icon, the one Explorer shows, is
resources/velmor.ico. Prints one line per failed check and exits 1 if any.
"""

import os
import re
import struct
import sys
import zipfile

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


# ---- PE resources -------------------------------------------------------------

def resources(exe):
    """The resource tree of a PE file: [(type, name, language, data)] in the
    order of its directories; names are numbers or upper-case strings."""
    pe = struct.unpack_from('<I', exe, 0x3C)[0]
    if exe[pe:pe + 4] != b'PE\0\0':
        raise ValueError('not a PE file')
    sections, optional_size = struct.unpack_from('<H12xH', exe, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from('<H', exe, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva, _ = struct.unpack_from('<II', exe, directories + 2 * 8)
    table = optional + optional_size

    def offset(rva):
        for i in range(sections):
            size, address, raw_size, raw = struct.unpack_from('<IIII', exe, table + 40 * i + 8)
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError('RVA %#x outside the sections' % rva)

    base = offset(rsrc_rva)

    def name_of(entry):
        if entry & 0x80000000:
            at = base + (entry & 0x7FFFFFFF)
            length = struct.unpack_from('<H', exe, at)[0]
            return exe[at + 2:at + 2 + 2 * length].decode('utf-16-le')
        return entry

    def walk(at, path, out):
        named, ids = struct.unpack_from('<12xHH', exe, base + at)
        for i in range(named + ids):
            entry, target = struct.unpack_from('<II', exe, base + at + 16 + 8 * i)
            here = path + [name_of(entry)]
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, here, out)
            else:
                rva, size = struct.unpack_from('<II', exe, base + target)
                out.append((here[0], here[1], here[2], exe[offset(rva):offset(rva) + size]))
        return out

    return walk(0, [], [])


def version_info(data):
    """The fixed file version and the strings of a VS_VERSIONINFO block."""
    strings = {}
    fixed = None

    def node(at, end):
        nonlocal fixed
        length, value_length, kind = struct.unpack_from('<HHH', data, at)
        stop = at + length
        key_end = at + 6
        while data[key_end:key_end + 2] != b'\0\0':
            key_end += 2
        key = data[at + 6:key_end].decode('utf-16-le')
        value = (key_end + 2 + 3) & ~3
        if key == 'VS_VERSION_INFO' and value_length >= 52:
            ms, ls = struct.unpack_from('<II', data, value + 8)
            fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        if kind == 1 and value_length:
            text = data[value:value + 2 * value_length].decode('utf-16-le')
            strings[key] = text.rstrip('\0')
            children = value + 2 * value_length
        else:
            children = value + value_length
        children = (children + 3) & ~3
        while children < stop and children < end:
            children = (node(children, stop) + 3) & ~3
        return stop

    node(0, len(data))
    return fixed, strings


def icon_images(ico):
    """The images of an .ico file, as (width, height, bytes)."""
    count = struct.unpack_from('<HHH', ico, 0)[2]
    images = []
    for i in range(count):
        w, h, _, _, _, _, size, at = struct.unpack_from('<BBBBHHII', ico, 6 + 16 * i)
        images.append((w or 256, h or 256, ico[at:at + size]))
    return images


def check_program(name, exe, version, major_minor, root):
    try:
        tree = resources(exe)
    except (ValueError, struct.error) as e:
        check(False, '%s: cannot read its resources (%s)' % (name, e))
        return
    versions = [data for kind, _, _, data in tree if kind == RT_VERSION]
    if check(len(versions) == 1, '%s: %d version resources, expected 1' % (name, len(versions))):
        fixed, strings = version_info(versions[0])
        check(fixed == major_minor + (0, 0), '%s: file version %s, expected %s' % (name, fixed, major_minor))
        for key in ('FileVersion', 'ProductVersion'):
            check(strings.get(key) == version, '%s: %s "%s", expected "%s"' % (name, key, strings.get(key), version))
        check(strings.get('OriginalFilename') == name,
              '%s: OriginalFilename "%s"' % (name, strings.get('OriginalFilename')))
    if name != 'velmor.exe':
        return
    groups = [(n, data) for kind, n, _, data in tree if kind == RT_GROUP_ICON]
    if not check(groups and groups[0][0] == 'APPICON',
                 'velmor.exe: the first icon group is %s, not APPICON' % (groups[0][0] if groups else None)):
        return
    icons = {n: data for kind, n, _, data in tree if kind == RT_ICON}
    data = groups[0][1]
    count = struct.unpack_from('<HHH', data, 0)[2]
    shown = []
    for i in range(count):
        w, h, _, _, _, _, _, ident = struct.unpack_from('<BBBBHHIH', data, 6 + 14 * i)
        shown.append((w or 256, h or 256, icons.get(ident)))
    wanted = icon_images(open(os.path.join(root, 'resources', 'velmor.ico'), 'rb').read())
    check(shown == wanted, 'velmor.exe: the first icon differs from resources/velmor.ico')


# ---- The archive ------------------------------------------------------------------

def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    archive = sys.argv[1]
    root = sys.argv[2] if len(sys.argv) == 3 else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
    version = open(os.path.join(root, 'VERSION')).readline().strip()
    major_minor = tuple(int(p) for p in version.split('.'))
    top = 'velmor-%s/' % version

    def source(path):
        return open(os.path.join(root, path), 'rb').read()

    def windows_text(data):
        return data.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')

    manual = source('docs/manual.md').decode('utf-8')
    pictures = sorted(set(re.findall(r'\]\(([A-Za-z0-9_.-]+\.png)\)', manual)))
    expected = {
        top + 'LICENSE.txt': windows_text(source('LICENSE')),
        top + 'THIRD-PARTY-NOTICES.txt': windows_text(source('THIRD-PARTY-NOTICES.txt')),
        top + 'manual/manual.md': windows_text(source('docs/manual.md')),
        top + 'velmor.exe': None,
        top + 'velmor-render.exe': None,
    }
    for picture in pictures:
        expected[top + 'manual/' + picture] = source('docs/' + picture)
    for demo in sorted(os.listdir(os.path.join(root, 'demos'))):
        expected[top + 'demos/' + demo] = source('demos/' + demo)

    with zipfile.ZipFile(archive) as z:
        check(z.testzip() is None, 'the archive is damaged')
        names = [n for n in z.namelist() if not n.endswith('/')]
        check(sorted(names) == sorted(expected),
              'the archive lacks %s and holds besides %s' % (sorted(set(expected) - set(names)),
                                                           sorted(set(names) - set(expected))))
        check(len(pictures) >= 2, 'the manual shows %d pictures' % len(pictures))
        for name, wanted in expected.items():
            if name not in names:
                continue
            data = z.read(name)
            if wanted is None:
                check_program(name[len(top):], data, version, major_minor, root)
            else:
                check(data == wanted, '%s differs from the source tree' % name)

    for failure in failures:
        print('FAILED: ' + failure)
    if not failures:
        print('package: %s holds the %d files it should, with version %s and the icon' %
              (os.path.basename(archive), len(expected), version))
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
