#!/usr/bin/env python3
"""Tests of the two tools that keep the packages reproducible:
cmake/canonical_zip.py (the same files give the same ZIP, whoever packs them)
and tools/compare_packages.py (a difference is found and placed)."""
import os
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CANONICAL = os.path.join(ROOT, 'cmake', 'canonical_zip.py')
COMPARE = os.path.join(ROOT, 'tools', 'compare_packages.py')
EPOCH = 1796686529  # 2026-12-07 23:35:29 UTC: MS-DOS times count seconds in twos


def pe(time_stamp):
    """A small i386 PE file: headers and one section, .text."""
    data = bytearray(0x200)
    data[0:2] = b'MZ'
    struct.pack_into('<I', data, 0x3C, 0x80)
    data[0x80:0x84] = b'PE\0\0'
    struct.pack_into('<HHIIIHH', data, 0x84, 0x14C, 1, time_stamp, 0, 0, 0xE0, 0x102)
    struct.pack_into('<H', data, 0x98, 0x10B)
    struct.pack_into('<8sIIII', data, 0x98 + 0xE0, b'.text', 0x60, 0x1000, 0x60, 0x1A0)
    data[0x1A0:0x200] = bytes(range(0x60))
    return bytes(data)


FILES = {'pkg/README.txt': b'QD-7150 Control\r\n' * 40, 'pkg/qd7150.exe': pe(EPOCH), 'pkg/simulator/io.dll': pe(EPOCH)}


def packed(path, order, dir_mode, file_mode, exe_mode, uid, date_time):
    """A ZIP as an archiver might leave it: its own order, the umask's
    permissions, the packer's uid and gid, a local date."""
    owner = struct.pack('<HHBBIBI', 0x7875, 11, 1, 4, uid, 4, uid)
    with zipfile.ZipFile(path, 'w') as z:
        for name in order:
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 3
            info.extra = struct.pack('<HHBIII', 0x5455, 13, 7, EPOCH + 5, EPOCH + 9, EPOCH + 1) + owner
            if name.endswith('/'):
                info.external_attr = (0o40000 | dir_mode) << 16 | 0x10
                z.writestr(info, b'')
            else:
                mode = exe_mode if name.endswith(('.exe', '.dll')) else file_mode
                info.external_attr = (0o100000 | mode) << 16
                z.writestr(info, FILES[name], zipfile.ZIP_DEFLATED, 6)


def run(*args, env=None):
    return subprocess.run([sys.executable, *args], capture_output=True, text=True,
                          env=dict(os.environ, **(env or {})))


class CanonicalZip(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def canonical(self, name, epoch=EPOCH, tz='UTC0'):
        path = os.path.join(self.dir, name)
        result = run(CANONICAL, path, str(epoch), env={'TZ': tz})
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(path, 'rb') as f:
            return f.read()

    def test_same_files_same_bytes_whoever_packs_them(self):
        names = sorted(FILES) + ['pkg/simulator/']
        packed(os.path.join(self.dir, 'a.zip'), names, 0o755, 0o644, 0o755, 0, (2026, 12, 7, 23, 35, 28))
        packed(os.path.join(self.dir, 'b.zip'), list(reversed(names)), 0o700, 0o600, 0o700, 65534,
               (2026, 12, 8, 13, 20, 28))
        # As packed from a Windows drive under WSL, which shows every file
        # 0777 (the README too), and from one that shows none executable.
        packed(os.path.join(self.dir, 'c.zip'), names, 0o777, 0o777, 0o777, 1000, (2026, 12, 7, 23, 35, 28))
        packed(os.path.join(self.dir, 'd.zip'), names, 0o755, 0o644, 0o644, 0, (2026, 12, 7, 23, 35, 28))
        a = self.canonical('a.zip', tz='UTC0')
        self.assertEqual(self.canonical('b.zip', tz='QDT-13:45'), a)
        self.assertEqual(self.canonical('c.zip'), a)
        self.assertEqual(self.canonical('d.zip'), a)
        # Rewriting a canonical ZIP changes nothing.
        self.assertEqual(self.canonical('a.zip', tz='QST+09:30'), a)

        with zipfile.ZipFile(os.path.join(self.dir, 'a.zip')) as z:
            infos = z.infolist()
            self.assertEqual([i.filename for i in infos], sorted(names))
            for info in infos:
                self.assertEqual(info.date_time, (2026, 12, 7, 23, 35, 28), info.filename)  # UTC
                self.assertEqual(info.extra, struct.pack('<HHBI', 0x5455, 5, 1, EPOCH), info.filename)
                mode = {'pkg/README.txt': 0o100644, 'pkg/simulator/': 0o40755}.get(info.filename, 0o100755)
                self.assertEqual(info.external_attr >> 16, mode, info.filename)
                if not info.is_dir():
                    self.assertEqual(z.read(info), FILES[info.filename])
                    self.assertEqual(info.compress_type, zipfile.ZIP_DEFLATED)

    def test_a_date_before_1980_keeps_its_exact_time_in_the_extended_timestamp(self):
        packed(os.path.join(self.dir, 'old.zip'), ['pkg/README.txt'], 0o755, 0o644, 0o755, 0, (1999, 1, 1, 0, 0, 0))
        self.canonical('old.zip', epoch=86400)
        with zipfile.ZipFile(os.path.join(self.dir, 'old.zip')) as z:
            info = z.infolist()[0]
        self.assertEqual(info.date_time, (1980, 1, 1, 0, 0, 0))
        self.assertEqual(info.extra, struct.pack('<HHBI', 0x5455, 5, 1, 86400))


class ComparePackages(unittest.TestCase):
    """Two package folders: the reference and a rebuild, changed one way in each test."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.ref = os.path.join(self.tmp.name, 'ref')
        self.new = os.path.join(self.tmp.name, 'new')
        for folder in (self.ref, self.new):
            os.mkdir(folder)
            self.pack(folder, FILES)

    def tearDown(self):
        self.tmp.cleanup()

    def pack(self, folder, files, order=None):
        path = os.path.join(folder, 'qd-1.0-win32.zip')
        with zipfile.ZipFile(path, 'w') as z:
            for name in order or sorted(files):
                z.writestr(zipfile.ZipInfo(name, time.gmtime(EPOCH)[:6]), files[name], zipfile.ZIP_DEFLATED)
        self.sums(folder)

    def sums(self, folder):
        result = subprocess.run(['sha256sum', 'qd-1.0-win32.zip'], cwd=folder, capture_output=True, check=True)
        with open(os.path.join(folder, 'SHA256SUMS'), 'wb') as f:
            f.write(result.stdout)

    def compare(self):
        return run(COMPARE, self.ref, self.new)

    def test_identical_folders_pass(self):
        result = self.compare()
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn('same  qd-1.0-win32.zip', result.stdout)

    def test_a_pe_time_stamp_is_named_with_its_member(self):
        self.pack(self.new, dict(FILES, **{'pkg/simulator/io.dll': pe(EPOCH + 1)}))
        result = self.compare()
        self.assertEqual(result.returncode, 1)
        self.assertIn('pkg/simulator/io.dll: local header, CRC-32', result.stdout)
        self.assertIn('pkg/simulator/io.dll: contents differ first at byte 136 (0x88): 0xc1 against 0xc2, '
                      'in the PE file header, TimeDateStamp', result.stdout)

    def test_a_byte_of_a_section_is_named(self):
        changed = bytearray(pe(EPOCH))
        changed[0x1A0 + 0x10] ^= 0xFF
        self.pack(self.new, dict(FILES, **{'pkg/qd7150.exe': bytes(changed)}))
        self.assertIn('pkg/qd7150.exe: contents differ first at byte 432 (0x1b0): 0x10 against 0xef, '
                      'in section .text, byte 0x10 of it', self.compare().stdout)

    def test_a_header_field_of_the_archive_is_named(self):
        path = os.path.join(self.new, 'qd-1.0-win32.zip')
        with open(path, 'r+b') as f:
            f.seek(10)  # the first member's MS-DOS time, in its local header
            byte = f.read(1)[0]
            f.seek(10)
            f.write(bytes([byte ^ 1]))
        self.sums(self.new)
        result = self.compare()
        self.assertEqual(result.returncode, 1)
        self.assertIn('differ first at byte 10 (0xa)', result.stdout)
        self.assertIn('pkg/README.txt: local header, modification time (MS-DOS)', result.stdout)

    def test_another_order_is_reported(self):
        self.pack(self.new, FILES, order=list(reversed(sorted(FILES))))
        result = self.compare()
        self.assertEqual(result.returncode, 1)
        self.assertIn('the members lie in another order', result.stdout)

    def test_sums_that_do_not_match_their_zip_fail(self):
        with open(os.path.join(self.new, 'SHA256SUMS'), 'w') as f:
            f.write('0' * 64 + '  qd-1.0-win32.zip\n')
        result = self.compare()
        self.assertEqual(result.returncode, 1)
        self.assertIn('WRONG', result.stdout)
        self.assertIn('SHA256SUMS says ' + '0' * 64, result.stdout)


if __name__ == '__main__':
    unittest.main()
