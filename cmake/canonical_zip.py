#!/usr/bin/env python3
"""Rewrites a ZIP in canonical form, so that the same files give the same
bytes whoever packs them, wherever, whenever and on whatever file system:

    canonical_zip.py ZIP SOURCE_DATE_EPOCH

- the members in the order of their names (CPack adds them in the order the
  file system happens to list its staging folder);
- every member dated SOURCE_DATE_EPOCH: the MS-DOS date and time in UTC (not
  in the packer's time zone), and an extended-timestamp field with the exact
  time, which unzip restores;
- the permissions by what a member is, never by the file system it was
  packed from (the umask, or a Windows drive under WSL that shows every file
  as 0777): folders and the programs and libraries (.exe, .dll) 0755,
  every other file 0644;
- no owner fields (CPack records the uid and gid of whoever packs);
- files deflated at level 9, folders stored.
The members' names and contents are kept as they are.
"""
import os
import stat
import struct
import sys
import time
import zipfile

DOS_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC, the earliest MS-DOS date


def mode(name):
    """The permissions of a file member: 0755 for a Windows program or library."""
    return 0o755 if name.lower().endswith(('.exe', '.dll')) else 0o644


def canonical(src, dst, epoch):
    date_time = time.gmtime(max(epoch, DOS_EPOCH))[:6]
    # Extended timestamp (0x5455), flags 1: the modification time alone.
    extra = struct.pack('<HHBI', 0x5455, 5, 1, epoch)
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(dst, 'w') as zout:
        for info in sorted(zin.infolist(), key=lambda i: i.filename):
            out = zipfile.ZipInfo(info.filename, date_time)
            out.create_system = 3  # Unix: the high 16 bits of external_attr are the mode
            out.extra = extra
            if info.is_dir():
                out.external_attr = (stat.S_IFDIR | 0o755) << 16 | 0x10  # and MS-DOS's folder flag
                zout.writestr(out, b'', zipfile.ZIP_STORED)
            else:
                out.external_attr = (stat.S_IFREG | mode(info.filename)) << 16
                zout.writestr(out, zin.read(info), zipfile.ZIP_DEFLATED, 9)


def main():
    if len(sys.argv) != 3 or not sys.argv[2].isdigit():
        sys.exit('usage: canonical_zip.py ZIP SOURCE_DATE_EPOCH')
    path, epoch = sys.argv[1], int(sys.argv[2])
    if epoch >= 1 << 32:
        sys.exit(f'canonical_zip.py: SOURCE_DATE_EPOCH {epoch} lies past 2106, beyond the ZIP time field')
    temporary = path + '.canonical'
    canonical(path, temporary, epoch)
    os.replace(temporary, path)


if __name__ == '__main__':
    main()
