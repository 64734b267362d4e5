#!/usr/bin/env python3
"""Checks the package we ship, the i686 build's ZIP: the only ZIP in the
package folder; the program and its README at the top, the simulated
transceiver in a folder of its own, no io.dll beside the program (it would
shadow a real port library), and 32-bit programs, as the README says and as
the 32-bit port library needs.

    check_package.py PACKAGE_DIR [UNPACK_DIR]

With UNPACK_DIR, the package's top folder is unpacked there (made anew), for
the tests that run the packed program.
"""
import glob
import os
import re
import shutil
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_file import PeFile  # noqa: E402

package_dir = sys.argv[1]
zips = sorted(os.path.basename(p) for p in glob.glob(f'{package_dir}/*.zip'))
packages = glob.glob(f'{package_dir}/qd7150-control-*-win32.zip')
if len(packages) != 1 or len(zips) != 1:
    sys.exit(f'FAIL expected one package in {package_dir}, qd7150-control-*-win32.zip, found {zips}')
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
# Machine 0x14c is i386: a program that can load the 32-bit port library. Every
# binary is stripped of its symbols, and the README says that the program is
# 32-bit, which Windows it runs on, first what to mind before transmitting,
# what the panel's controls and displays mean, that one copy runs at a time,
# what to check when io.dll cannot be loaded or the transceiver does not
# follow, the cable's pins, and how to drive the simulator (its front panel
# and simctl, carriers in MHz).
with zipfile.ZipFile(packages[0]) as z:
    for name in inside:
        if not name.endswith(('.exe', '.dll')):
            continue
        pe = PeFile(name, z.read(f'{top}/{name}'))
        if pe.machine != 0x14C:
            failures.append(f'{name} is not an i386 binary (machine {pe.machine:#x}, expected 0x14c)')
        if pe.symbols:
            failures.append(f'{name} is not stripped ({pe.symbols} symbols)')
    raw = z.read(f'{top}/README.txt')
# Notepad on XP and 7 reads Windows-1252 and shows text without CR LF as one line.
try:
    readme = raw.decode('utf-8')
    if any(b >= 0x80 for b in raw):
        failures.append('README.txt is UTF-8, not Windows-1252: older Notepads show its « and » as two characters')
except UnicodeDecodeError:
    readme = raw.decode('cp1252')
if raw.count(b'\n') != raw.count(b'\r\n'):
    failures.append('README.txt has lines not ended by CR LF')
if not re.search(r'^qd7150\.exe +the program \(32-bit', readme, re.M):
    failures.append('README.txt does not say that qd7150.exe is a 32-bit program')
if 'Windows XP' not in readme or 'Windows 11' not in readme:
    failures.append('README.txt does not say which Windows versions the program runs on')
for heading in ('Before you transmit', 'The panel', 'One copy at a time',
                'When io.dll cannot be loaded', 'When the transceiver does not follow', 'The cable',
                'Without a transceiver'):
    if not re.search(rf'^{re.escape(heading)}\r?\n-+\r?$', readme, re.M):
        failures.append(f'README.txt has no section "{heading}"')
if not re.search(r'^ +simctl carrier 145\.\d{3} on\r?$', readme, re.M):
    failures.append('README.txt gives no example of simctl putting a carrier on a frequency in MHz')
if len(sys.argv) > 2:
    unpack = sys.argv[2]
    shutil.rmtree(unpack, ignore_errors=True)
    with zipfile.ZipFile(packages[0]) as z:
        for name in inside:
            os.makedirs(os.path.dirname(os.path.join(unpack, name)), exist_ok=True)
            with open(os.path.join(unpack, name), 'wb') as f:
                f.write(z.read(f'{top}/{name}'))
for f in failures:
    print('FAIL', f)
sys.exit(1 if failures else 0)
