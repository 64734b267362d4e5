#!/usr/bin/env python3
"""Checks the package of a build: the program and its README at the top, the
simulated transceiver in a folder of its own, no io.dll beside the program
(it would shadow a real port library), and a program of the build's machine.
The win32 (i686) package is the one we ship.

    check_package.py PACKAGE_DIR win32|win64
"""
import glob
import sys
import zipfile

build = sys.argv[2]
packages = glob.glob(f'{sys.argv[1]}/qd7150-control-*-{build}.zip')
if len(packages) != 1:
    sys.exit(f'FAIL expected one {build} package in {sys.argv[1]}, found {packages}')
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
# PE header: machine 0x14c is i386, the build that can load a 32-bit port
# library; 0x8664 is x86_64.
expected_machine = {'win32': 0x14C, 'win64': 0x8664}[build]
pe = int.from_bytes(exe[0x3C:0x40], 'little')
machine = int.from_bytes(exe[pe + 4:pe + 6], 'little')
if exe[pe:pe + 4] != b'PE\0\0' or machine != expected_machine:
    failures.append(f'qd7150.exe is not a {build} program (machine {machine:#x}, expected {expected_machine:#x})')
for f in failures:
    print('FAIL', f)
sys.exit(1 if failures else 0)
