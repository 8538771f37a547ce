#!/usr/bin/env python3
"""fix_typelib_time.py TLB: widl writes the time it ran into a type library, as custom data (the
text "Created by WIDL version ... at <ctime>" and the same time as a 4-byte number); both are
set to 1970-01-01 00:00:00, so that the same sources give the same DLL."""
import re
import struct
import sys
import time

path = sys.argv[1]
data = bytearray(open(path, "rb").read())
match = re.search(rb"Created by WIDL version \S+ at (\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})", data)
if not match:
    sys.exit(f"{path}: no WIDL creation time found")
stamp = int(time.mktime(time.strptime(match.group(1).decode(), "%a %b %d %H:%M:%S %Y")))
data[match.start(1):match.end(1)] = b"Thu Jan  1 00:00:00 1970"
number = b"\x13\x00" + struct.pack("<I", stamp & 0xFFFFFFFF)  # VT_UI4 and the time
where = data.find(number, match.end(1))
if where < 0:
    sys.exit(f"{path}: no WIDL creation time number found")
data[where + 2:where + 6] = b"\0\0\0\0"
open(path, "wb").write(data)
