#!/usr/bin/env python3
"""Compares two package folders of the same commit byte for byte: the files
listed in the first one's SHA256SUMS, and SHA256SUMS itself. Each SHA256SUMS
must also match the ZIPs beside it.

    compare_packages.py REFERENCE_DIR REBUILT_DIR

For a file that differs it names the first differing byte and, in a ZIP, the
part of the archive that byte lies in (a member's header field, its extra
field, its compressed data, the central directory); then it compares the two
archives member by member: the order, each header field, and the contents,
naming the first differing byte of a member and, in a Windows binary, the PE
header field or section it lies in. Exits 1 on any difference.
"""
import hashlib
import os
import struct
import sys
import zipfile

LOCAL_HEADER = [('signature', 4), ('version needed', 2), ('flags', 2), ('compression', 2),
                ('modification time (MS-DOS)', 2), ('modification date (MS-DOS)', 2), ('CRC-32', 4),
                ('compressed size', 4), ('size', 4), ('name length', 2), ('extra field length', 2)]
CENTRAL_HEADER = [('signature', 4), ('version made by', 2), ('version needed', 2), ('flags', 2),
                  ('compression', 2), ('modification time (MS-DOS)', 2), ('modification date (MS-DOS)', 2),
                  ('CRC-32', 4), ('compressed size', 4), ('size', 4), ('name length', 2),
                  ('extra field length', 2), ('comment length', 2), ('disk number', 2),
                  ('internal attributes', 2), ('external attributes (permissions)', 4),
                  ('local header offset', 4)]
END_RECORD = [('signature', 4), ('disk number', 2), ('central directory disk', 2),
              ('entries on this disk', 2), ('entries', 2), ('central directory size', 4),
              ('central directory offset', 4), ('comment length', 2)]
EXTRA_NAMES = {0x5455: 'extended timestamp', 0x7875: 'Unix uid/gid', 0x000D: 'Unix', 0x0001: 'Zip64'}

PE_FILE_HEADER = [('Machine', 2), ('NumberOfSections', 2), ('TimeDateStamp', 4), ('PointerToSymbolTable', 4),
                  ('NumberOfSymbols', 4), ('SizeOfOptionalHeader', 2), ('Characteristics', 2)]
DATA_DIRECTORIES = ['export', 'import', 'resource', 'exception', 'certificate', 'base relocation', 'debug',
                    'architecture', 'global pointer', 'TLS', 'load configuration', 'bound import',
                    'import address table', 'delay import', 'CLR runtime', 'reserved']
SECTION_HEADER = [('Name', 8), ('VirtualSize', 4), ('VirtualAddress', 4), ('SizeOfRawData', 4),
                  ('PointerToRawData', 4), ('PointerToRelocations', 4), ('PointerToLinenumbers', 4),
                  ('NumberOfRelocations', 2), ('NumberOfLinenumbers', 2), ('Characteristics', 4)]


def optional_header(pe32plus):
    word = 8 if pe32plus else 4
    fields = [('Magic', 2), ('MajorLinkerVersion', 1), ('MinorLinkerVersion', 1), ('SizeOfCode', 4),
              ('SizeOfInitializedData', 4), ('SizeOfUninitializedData', 4), ('AddressOfEntryPoint', 4),
              ('BaseOfCode', 4)]
    fields += [('ImageBase', 8)] if pe32plus else [('BaseOfData', 4), ('ImageBase', 4)]
    fields += [('SectionAlignment', 4), ('FileAlignment', 4), ('MajorOperatingSystemVersion', 2),
               ('MinorOperatingSystemVersion', 2), ('MajorImageVersion', 2), ('MinorImageVersion', 2),
               ('MajorSubsystemVersion', 2), ('MinorSubsystemVersion', 2), ('Win32VersionValue', 4),
               ('SizeOfImage', 4), ('SizeOfHeaders', 4), ('CheckSum', 4), ('Subsystem', 2),
               ('DllCharacteristics', 2), ('SizeOfStackReserve', word), ('SizeOfStackCommit', word),
               ('SizeOfHeapReserve', word), ('SizeOfHeapCommit', word), ('LoaderFlags', 4),
               ('NumberOfRvaAndSizes', 4)]
    for d in DATA_DIRECTORIES:
        fields += [(f'{d} directory address', 4), (f'{d} directory size', 4)]
    return fields


def field_at(fields, offset):
    """The name of the field (name, size) list that holds byte `offset`, or None."""
    at = 0
    for name, size in fields:
        if at <= offset < at + size:
            return name
        at += size
    return None


def first_difference(a, b):
    for i in range(min(len(a), len(b))):
        if a[i] != b[i]:
            return i
    return None if len(a) == len(b) else min(len(a), len(b))


def byte_at(data, i):
    return f'{data[i]:#04x}' if i < len(data) else 'end of file'


def pe_place(data, offset):
    """Where byte `offset` of a Windows PE file lies, or None if it is no PE file."""
    try:
        if data[:2] != b'MZ':
            return None
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            return None
        sections, opt_size = struct.unpack_from('<H12xH', data, pe + 6)
        opt = pe + 24
        pe32plus = struct.unpack_from('<H', data, opt)[0] == 0x20B
        table = opt + opt_size
        if offset < 0x40:
            return 'the MS-DOS header'
        if offset < pe:
            return 'the MS-DOS stub'
        if offset < pe + 4:
            return 'the PE signature'
        if offset < opt:
            return f'the PE file header, {field_at(PE_FILE_HEADER, offset - pe - 4)}'
        if offset < table:
            return f'the optional header, {field_at(optional_header(pe32plus), offset - opt) or "beyond its fields"}'
        names = []
        for i in range(sections):
            s = table + 40 * i
            name = data[s:s + 8].rstrip(b'\0').decode('ascii', 'replace')
            names.append(name)
            if s <= offset < s + 40:
                return f'the section table, {name} {field_at(SECTION_HEADER, offset - s)}'
        for i in range(sections):
            s = table + 40 * i
            size, raw = struct.unpack_from('<II', data, s + 16)
            if raw <= offset < raw + size:
                return f'section {names[i]}, byte {offset - raw:#x} of it'
        return 'outside every section (the headers\' padding, the symbol table or data appended)'
    except (struct.error, IndexError):
        return None


def extra_place(extra, offset):
    at = 0
    while at + 4 <= len(extra):
        tag, size = struct.unpack_from('<HH', extra, at)
        if at <= offset < at + 4 + size:
            return f'{EXTRA_NAMES.get(tag, "unknown")} ({tag:#06x}), byte {offset - at} of it'
        at += 4 + size
    return f'byte {offset}'


def zip_regions(data):
    """[(start, end, describe(offset) -> text)] of a ZIP's parts, read from its
    central directory; [] if it cannot be read."""
    regions = []
    try:
        end = data.rindex(b'PK\x05\x06')
        entries, cd_size, cd_offset = struct.unpack_from('<HII', data, end + 10)
        regions.append((end, len(data), lambda o, e=end: f'the end of central directory record, {field_at(END_RECORD, o - e) or "comment"}'))
        at = cd_offset
        for _ in range(entries):
            (flags, csize, name_len, extra_len, comment_len, local) = struct.unpack_from('<8xH10xI4xHHH8xI', data, at)
            name = data[at + 46:at + 46 + name_len].decode('utf-8', 'replace')
            size = 46 + name_len + extra_len + comment_len

            def central(o, s=at, n=name, nl=name_len, el=extra_len):
                part = o - s
                if part < 46:
                    return f'{n}: central directory entry, {field_at(CENTRAL_HEADER, part)}'
                if part < 46 + nl:
                    return f'{n}: central directory entry, name'
                if part < 46 + nl + el:
                    return f'{n}: central directory entry, extra field {extra_place(data[s + 46 + nl:s + 46 + nl + el], part - 46 - nl)}'
                return f'{n}: central directory entry, comment'
            regions.append((at, at + size, central))
            at += size
            lname, lextra = struct.unpack_from('<HH', data, local + 26)
            body = local + 30 + lname + lextra
            stop = body + csize + (16 if flags & 8 else 0)

            def local_part(o, s=local, n=name, nl=lname, el=lextra, b=body, c=csize):
                part = o - s
                if part < 30:
                    return f'{n}: local header, {field_at(LOCAL_HEADER, part)}'
                if part < 30 + nl:
                    return f'{n}: local header, name'
                if o < b:
                    return f'{n}: local header, extra field {extra_place(data[s + 30 + nl:b], o - s - 30 - nl)}'
                if o < b + c:
                    return f'{n}: compressed data, byte {o - b} of {c}'
                return f'{n}: data descriptor'
            regions.append((local, stop, local_part))
    except (ValueError, struct.error):
        return []
    return regions


def zip_place(data, offset):
    regions = zip_regions(data)
    for start, stop, describe in regions:
        if start <= offset < stop:
            return describe(offset)
    return 'outside every part of the archive' if regions else 'an archive whose directory cannot be read'


def describe_extra(extra):
    parts = []
    at = 0
    while at + 4 <= len(extra):
        tag, size = struct.unpack_from('<HH', extra, at)
        body = extra[at + 4:at + 4 + size]
        if tag == 0x5455 and size >= 5:
            parts.append(f'extended timestamp {struct.unpack_from("<I", body, 1)[0]}')
        elif tag == 0x7875 and size >= 3:
            uid_size = body[1]
            uid = int.from_bytes(body[2:2 + uid_size], 'little')
            gid = int.from_bytes(body[3 + uid_size:3 + uid_size + body[2 + uid_size]], 'little')
            parts.append(f'Unix uid {uid} gid {gid}')
        else:
            parts.append(f'{EXTRA_NAMES.get(tag, "field")} {tag:#06x} {body.hex()}')
        at += 4 + size
    return ', '.join(parts) or 'none'


MEMBER_FIELDS = [
    ('date and time', lambda i: '%04d-%02d-%02d %02d:%02d:%02d' % i.date_time),
    ('permissions', lambda i: oct(i.external_attr >> 16)),
    ('MS-DOS attributes', lambda i: hex(i.external_attr & 0xFFFF)),
    ('made on system', lambda i: i.create_system),
    ('version made by', lambda i: i.create_version),
    ('version needed', lambda i: i.extract_version),
    ('flags', lambda i: hex(i.flag_bits)),
    ('compression', lambda i: i.compress_type),
    ('internal attributes', lambda i: i.internal_attr),
    ('extra field', lambda i: describe_extra(i.extra)),
    ('comment', lambda i: i.comment),
    ('CRC-32', lambda i: f'{i.CRC:#010x}'),
    ('size', lambda i: i.file_size),
    ('compressed size', lambda i: i.compress_size),
]


def compare_members(ref_path, new_path):
    """Lines describing how the two archives differ member by member."""
    out = []
    try:
        zr, zn = zipfile.ZipFile(ref_path), zipfile.ZipFile(new_path)
    except (zipfile.BadZipFile, OSError) as e:
        return [f'  cannot read both as ZIPs: {e}']
    with zr, zn:
        ref = {i.filename: i for i in zr.infolist()}
        new = {i.filename: i for i in zn.infolist()}
        ref_order = [i.filename for i in zr.infolist()]
        new_order = [i.filename for i in zn.infolist()]
        for name in ref_order:
            if name not in new:
                out.append(f'  {name}: only in {ref_path}')
        for name in new_order:
            if name not in ref:
                out.append(f'  {name}: only in {new_path}')
        common_ref = [n for n in ref_order if n in new]
        common_new = [n for n in new_order if n in ref]
        if common_ref != common_new:
            out.append(f'  the members lie in another order: {common_ref} against {common_new}')
        if zr.comment != zn.comment:
            out.append(f'  archive comment: {zr.comment!r} against {zn.comment!r}')
        for name in common_ref:
            a, b = ref[name], new[name]
            for field, get in MEMBER_FIELDS:
                if get(a) != get(b):
                    out.append(f'  {name}: {field} {get(a)} against {get(b)}')
            if a.is_dir():
                continue
            try:
                da, db = zr.read(a), zn.read(b)
            except Exception as e:  # a damaged member: zlib or CRC errors
                out.append(f'  {name}: contents cannot be read from both: {e}')
                continue
            i = first_difference(da, db)
            if i is not None:
                where = pe_place(da, i)
                out.append(f'  {name}: contents differ first at byte {i} ({i:#x}): {byte_at(da, i)} against {byte_at(db, i)}'
                           + (f', in {where}' if where else ''))
    return out


def check_sums(folder):
    """The files SHA256SUMS lists, and lines for those whose sum is wrong."""
    files, faults = [], []
    with open(os.path.join(folder, 'SHA256SUMS')) as f:
        for line in f:
            digest, name = line.rstrip('\n').split('  ', 1)
            files.append(name)
            path = os.path.join(folder, name)
            if not os.path.exists(path):
                faults.append(f'{path}: listed in SHA256SUMS, missing')
                continue
            with open(path, 'rb') as g:
                actual = hashlib.sha256(g.read()).hexdigest()
            if actual != digest:
                faults.append(f'{path}: SHA-256 {actual}, SHA256SUMS says {digest}')
    return files, faults


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: compare_packages.py REFERENCE_DIR REBUILT_DIR')
    ref_dir, new_dir = sys.argv[1:]
    files, faults = check_sums(ref_dir)
    faults += check_sums(new_dir)[1]
    for fault in faults:
        print('WRONG', fault)
    for name in files + ['SHA256SUMS']:
        ref_path, new_path = os.path.join(ref_dir, name), os.path.join(new_dir, name)
        if not os.path.exists(new_path):
            faults.append(name)
            print(f'DIFFERENT {new_path}: missing')
            continue
        with open(ref_path, 'rb') as f:
            a = f.read()
        with open(new_path, 'rb') as f:
            b = f.read()
        i = first_difference(a, b)
        if i is None:
            print(f'same  {name}  sha256 {hashlib.sha256(a).hexdigest()}')
            continue
        faults.append(name)
        print(f'DIFFERENT {ref_path} and {new_path} differ first at byte {i} ({i:#x}): '
              f'{byte_at(a, i)} against {byte_at(b, i)} ({len(a)} and {len(b)} bytes)'
              + (f', in {zip_place(a, i)}' if name.endswith('.zip') else ''))
        if name.endswith('.zip'):
            for line in compare_members(ref_path, new_path):
                print(line)
    sys.exit(1 if faults else 0)


if __name__ == '__main__':
    main()
