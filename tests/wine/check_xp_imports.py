#!/usr/bin/env python3
"""Checks that Windows XP SP3 (32-bit) can load the shipped i686 binaries:
every function each one imports is in the baseline (xp-imports.txt) with a
Windows no newer than XP SP3, and the PE headers' operating-system and
subsystem versions are 5.1 or lower.

    check_xp_imports.py BASELINE FILE.exe|FILE.dll|PACKAGE.zip...

A ZIP is checked file by file (its .exe and .dll members). A function of a
later Windows must be looked up at run time instead (GetProcAddress), where the
program can do without it; a new import that is sound on XP goes into the
baseline with its oldest Windows and the source of that.
"""
import os
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_file import PeFile  # noqa: E402

XP_SP3 = (5, 1, 3)
NAMES = {(5, 0): 'Windows 2000', (5, 1): 'Windows XP', (5, 1, 1): 'XP SP1', (5, 1, 2): 'XP SP2',
         (5, 1, 3): 'XP SP3', (5, 2): 'Server 2003', (6, 0): 'Vista', (6, 1): 'Windows 7',
         (6, 2): 'Windows 8', (6, 3): 'Windows 8.1', (10, 0): 'Windows 10'}


def version(text):
    return tuple(int(p) for p in text.split('.'))


def read_baseline(path):
    baseline = {}
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.split('#', 1)[0].split()
            if not line:
                continue
            if len(line) != 4:
                sys.exit(f'{path}:{number}: expected "dll function oldest source"')
            dll, function, oldest, _ = line
            baseline[(dll.lower(), function)] = version(oldest)
    return baseline


def binaries(path):
    if path.endswith('.zip'):
        with zipfile.ZipFile(path) as z:
            for name in z.namelist():
                if name.lower().endswith(('.exe', '.dll')):
                    yield f'{path}:{name}', z.read(name)
    else:
        with open(path, 'rb') as f:
            yield path, f.read()


def check(name, data, baseline):
    faults = []
    pe = PeFile(name, data)
    if pe.machine != 0x14C:
        faults.append(f'not an i386 binary (machine {pe.machine:#x})')
    for what, major, minor in (('operating-system', pe.os_version_major, pe.os_version_minor),
                               ('subsystem', pe.subsystem_version_major, pe.subsystem_version_minor)):
        if (major, minor) > (5, 1):
            faults.append(f'asks for {what} version {major}.{minor}; Windows XP loads 5.1 or lower')
    imports = pe.imports()
    if not imports:
        faults.append('no import table found')
    for dll, function in imports:
        oldest = baseline.get((dll.lower(), function))
        if oldest is None:
            faults.append(f'imports {dll} {function}, which is not in the baseline')
        elif oldest > XP_SP3:
            faults.append(f'imports {dll} {function}, which Windows has only since '
                          f'{NAMES.get(oldest, ".".join(map(str, oldest)))}')
    return faults, len(imports)


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    baseline = read_baseline(sys.argv[1])
    status = 0
    for path in sys.argv[2:]:
        if not os.path.exists(path):
            print(f'FAIL {path}: not built')
            status = 1
            continue
        for name, data in binaries(path):
            faults, count = check(name, data, baseline)
            for fault in faults:
                print(f'FAIL {name}: {fault}')
            if faults:
                status = 1
            else:
                print(f'ok   {name}: {count} imports, all in Windows XP SP3')
    return status


sys.exit(main())
