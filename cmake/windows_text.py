#!/usr/bin/env python3
"""Writes a text for Windows users as Notepad on every Windows we run on reads
it: lines ended by CR LF (Notepad before Windows 10 shows LF-only text as one
line) and the Windows-1252 code page (the « and » of the panel's buttons are
one byte each there; UTF-8 shows them as two characters on older Windows).

    windows_text.py SOURCE.txt OUTPUT.txt
"""
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: windows_text.py SOURCE.txt OUTPUT.txt')
    with open(sys.argv[1], encoding='utf-8') as f:
        text = f.read()
    # A character that Windows-1252 lacks fails here, not on the user's screen.
    data = text.replace('\r\n', '\n').replace('\n', '\r\n').encode('cp1252')
    with open(sys.argv[2], 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
