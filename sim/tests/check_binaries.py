#!/usr/bin/env python3
"""Checks the simulator's Windows binaries with objdump -p.

  check_binaries.py OBJDUMP FILE...

Every FILE imports nothing but system DLLs (no compiler runtime DLL); a file
named io.dll exports exactly the thirteen port library entry points under
their plain names (no stdcall @n decoration).
"""
import os
import re
import subprocess
import sys

ENTRY_POINTS = {
    "PortOut", "PortWordOut", "PortDWordOut", "PortIn", "PortWordIn", "PortDWordIn",
    "SetPortBit", "ClrPortBit", "NotPortBit", "GetPortBit", "RightPortShift",
    "LeftPortShift", "IsDriverInstalled",
}
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "advapi32.dll",
    "shell32.dll", "comctl32.dll", "ntdll.dll",
}


def imports(dump):
    return [m.group(1) for m in re.finditer(r"^\s*DLL Name:\s*(\S+)", dump, re.M)]


def exports(dump):
    table = dump.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) < 2:
        return []
    names = []
    for line in table[1].splitlines()[1:]:
        m = re.match(r"^\s*\[\s*\d+\]\s+(\S+)", line)
        if not m:
            break
        names.append(m.group(1))
    return names


def check(objdump, path):
    dump = subprocess.run([objdump, "-p", path], check=True, capture_output=True,
                          text=True).stdout
    faults = []
    dlls = imports(dump)
    if not any(d.lower() == "kernel32.dll" for d in dlls):
        faults.append("no import table found (expected KERNEL32.dll at least)")
    for d in dlls:
        if d.lower() not in SYSTEM_DLLS:
            faults.append(f"imports {d}, which is not a system DLL")
    if os.path.basename(path).lower() == "io.dll":
        names = exports(dump)
        if sorted(names) != sorted(ENTRY_POINTS):
            faults.append(f"exports {sorted(names)}, expected exactly {sorted(ENTRY_POINTS)}")
    return faults


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    objdump, files = sys.argv[1], sys.argv[2:]
    failed = False
    for path in files:
        faults = check(objdump, path)
        for f in faults:
            print(f"{path}: {f}")
        print(f"{path}: {'FAILED' if faults else 'ok'}")
        failed = failed or bool(faults)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
