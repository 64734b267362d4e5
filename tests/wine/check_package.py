#!/usr/bin/env python3
"""Checks the package we ship: the program and its README at the top, the
simulated transceiver in a folder of its own, and no io.dll beside the program
(it would shadow a real port library).

    check_package.py PACKAGE_DIR
"""
import glob
import sys
import zipfile

packages = glob.glob(sys.argv[1] + '/qd7150-control-*-win32.zip')
if len(packages) != 1:
    sys.exit(f'FAIL expected one win32 package in {sys.argv[1]}, found {packages}')
with zipfile.ZipFile(packages[0]) as z:
    names = [n for n in z.namelist() if not n.endswith('/')]
top = names[0].split('/')[0]
inside = sorted(n[len(top) + 1:] for n in names)
print(packages[0], inside)
expected = ['README.txt', 'qd7150.exe', 'simulator/io.dll', 'simulator/qd7150-sim.exe', 'simulator/simctl.exe']
failures = []
if inside != expected:
    failures.append(f'contents {inside}, expected {expected}')
if any(n.lower() == 'io.dll' for n in inside):
    failures.append('io.dll lies beside the program')
with zipfile.ZipFile(packages[0]) as z:
    exe = z.read(f'{top}/qd7150.exe')
# PE header: machine 0x14c is i386, the build that can load a 32-bit port library.
pe = int.from_bytes(exe[0x3C:0x40], 'little')
machine = int.from_bytes(exe[pe + 4:pe + 6], 'little')
if exe[pe:pe + 4] != b'PE\0\0' or machine != 0x14C:
    failures.append(f'qd7150.exe is not an i386 program (machine {machine:#x})')
for f in failures:
    print('FAIL', f)
sys.exit(1 if failures else 0)
