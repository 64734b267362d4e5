#!/usr/bin/env python3
"""Checks the simulator's Windows binaries with objdump -p.

  check_binaries.py [--stdcall] OBJDUMP FILE...

Every FILE imports nothing but system DLLs (no compiler runtime DLL); a file
named io.dll exports exactly the thirteen port library entry points under
their plain names (no stdcall @n decoration). With --stdcall (the i686
build) each entry point of io.dll must also clean its own arguments off the
stack, as a stdcall function does: PortOut returns with "ret $0x8".
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


def stdcall_faults(objdump, path):
    """Each _Name@N function of the disassembly must return with ret $N."""
    code = subprocess.run([objdump, "-d", path], check=True, capture_output=True,
                          text=True).stdout
    faults = []
    blocks = {m.group(1): (int(m.group(2)), m.end())
              for m in re.finditer(r"<_(\w+)@(\d+)>:\n", code)}
    for name in sorted(ENTRY_POINTS):
        if name not in blocks:
            faults.append(f"no stdcall function _{name}@N in the disassembly")
            continue
        size, start = blocks[name]
        body = code[start:code.find("\n\n", start)]
        rets = re.findall(r"\bret\s*(\$0x[0-9a-f]+)?", body)
        want = f"$0x{size:x}" if size else ""
        if not rets or any(r != want for r in rets):
            faults.append(f"{name}: returns with {rets}, a stdcall function "
                          f"of {size} argument bytes returns with 'ret {want}'")
    return faults


def check(objdump, path, stdcall=False):
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
        if stdcall:
            faults += stdcall_faults(objdump, path)
    return faults


def main():
    args = sys.argv[1:]
    stdcall = bool(args) and args[0] == "--stdcall"
    if stdcall:
        args = args[1:]
    if len(args) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    objdump, files = args[0], args[1:]
    failed = False
    for path in files:
        faults = check(objdump, path, stdcall)
        for f in faults:
            print(f"{path}: {f}")
        print(f"{path}: {'FAILED' if faults else 'ok'}")
        failed = failed or bool(faults)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
