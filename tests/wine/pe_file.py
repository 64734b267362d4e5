"""Reads what the checks need from a Windows PE file: the machine, the time
stamp, the COFF symbol table (none once stripped), the operating-system and subsystem versions
of the optional header, and the import table (DLL and function names, or
ordinals)."""
import struct


class PeFile:
    def __init__(self, path, data=None):
        if data is None:
            with open(path, 'rb') as f:
                data = f.read()
        self.data = data
        d = self.data
        if d[:2] != b'MZ':
            raise ValueError(f'{path}: not a PE file')
        pe = struct.unpack_from('<I', d, 0x3C)[0]
        if d[pe:pe + 4] != b'PE\0\0':
            raise ValueError(f'{path}: not a PE file')
        (self.machine, sections, self.time_stamp, self.symbol_table, self.symbols, opt_size,
         _) = struct.unpack_from('<HHIIIHH', d, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from('<H', d, opt)[0]
        self.pe32plus = magic == 0x20B
        # Versions lie at the same offsets in PE32 and PE32+.
        (self.os_version_major, self.os_version_minor, _, _,
         self.subsystem_version_major, self.subsystem_version_minor) = struct.unpack_from('<6H', d, opt + 40)
        self.subsystem = struct.unpack_from('<H', d, opt + 68)[0]
        directories = opt + (112 if self.pe32plus else 96)
        self.import_rva = struct.unpack_from('<I', d, directories + 8)[0]
        self.sections = []
        for i in range(sections):
            s = opt + opt_size + 40 * i
            vsize, va, rsize, raw = struct.unpack_from('<IIII', d, s + 8)
            self.sections.append((va, max(vsize, rsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError(f'RVA {rva:#x} lies in no section')

    def string(self, rva):
        o = self.offset(rva)
        return self.data[o:self.data.index(b'\0', o)].decode('ascii')

    def imports(self):
        """[(dll, function)], the function as a name or as '#ordinal'."""
        out = []
        if not self.import_rva:
            return out
        entry = self.offset(self.import_rva)
        thunk_size, ordinal_flag = (8, 1 << 63) if self.pe32plus else (4, 1 << 31)
        while True:
            lookup, _, _, name, first = struct.unpack_from('<IIIII', self.data, entry)
            if not (lookup or name or first):
                break
            dll = self.string(name)
            t = self.offset(lookup or first)
            while True:
                value = struct.unpack_from('<Q' if self.pe32plus else '<I', self.data, t)[0]
                if not value:
                    break
                if value & ordinal_flag:
                    out.append((dll, f'#{value & 0xFFFF}'))
                else:
                    out.append((dll, self.string((value & 0x7FFFFFFF) + 2)))
                t += thunk_size
            entry += 20
        return out
