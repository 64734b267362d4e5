#!/usr/bin/env python3
"""Checks that SOURCE_DATE_EPOCH reached every step of the build we ship, the
i686 one: the PE time stamp of each binary as linked and as packed (strip
writes it anew), the date of every member of the package, and that SHA256SUMS
holds the package's sum and nothing else.

    check_source_date.py PACKAGE_DIR BUILD_DIR

The build's value is the one its package was made with (CPackConfig.cmake).
"""
import glob
import hashlib
import os
import re
import struct
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_file import PeFile  # noqa: E402

package_dir, build_dir = sys.argv[1:]
with open(os.path.join(build_dir, 'CPackConfig.cmake')) as f:
    epoch = int(re.search(r'set\(CPACK_QD_SOURCE_DATE_EPOCH "(\d+)"\)', f.read()).group(1))
print(f'SOURCE_DATE_EPOCH {epoch} ({time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(epoch))} UTC)')
failures = []


for name in ('ui/qd7150.exe', 'sim/io.dll', 'sim/qd7150-sim.exe', 'sim/simctl.exe'):
    with open(os.path.join(build_dir, name), 'rb') as f:
        stamp = PeFile(name, f.read()).time_stamp
    if stamp != epoch:
        failures.append(f'{name} as linked: PE time stamp {stamp}, expected {epoch}')

zip_path, = glob.glob(f'{package_dir}/qd7150-control-*-win32.zip')
# The MS-DOS date is in UTC and counts seconds in twos; the extended
# timestamp (0x5455) is exact.
dos_time = time.gmtime(epoch - epoch % 2)[:6]
with zipfile.ZipFile(zip_path) as z:
    for info in z.infolist():
        if info.date_time != dos_time:
            failures.append(f'{info.filename}: dated {info.date_time}, expected {dos_time} (UTC)')
        if info.extra != struct.pack('<HHBI', 0x5455, 5, 1, epoch):
            failures.append(f'{info.filename}: extra field {info.extra.hex()}, expected the extended timestamp alone')
        if info.filename.endswith(('.exe', '.dll')):
            stamp = PeFile(info.filename, z.read(info)).time_stamp
            if stamp != epoch:
                failures.append(f'{info.filename} as packed: PE time stamp {stamp}, expected {epoch}')

with open(os.path.join(package_dir, 'SHA256SUMS')) as f:
    sums = dict(reversed(line.rstrip('\n').split('  ', 1)) for line in f)
expected = [os.path.basename(zip_path)]
if sorted(sums) != expected:
    failures.append(f'SHA256SUMS lists {sorted(sums)}, expected {expected}')
with open(zip_path, 'rb') as f:
    actual = hashlib.sha256(f.read()).hexdigest()
if sums.get(os.path.basename(zip_path)) != actual:
    failures.append(f'SHA256SUMS: {sums.get(os.path.basename(zip_path))} for {zip_path}, its sum is {actual}')

for f in failures:
    print('FAIL', f)
sys.exit(1 if failures else 0)
