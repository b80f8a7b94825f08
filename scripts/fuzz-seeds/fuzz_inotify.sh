#!/usr/bin/env bash
# Seeds for fuzz_inotify: inotify buffers (wd, mask, cookie, len, name padded with zeros) for a
# created file, a rename in two halves, a new subdirectory, a subdirectory moved away, an
# overflow and the root deleted.
set -euo pipefail
corpus="$1"
mkdir -p "$corpus"
/usr/bin/python3 - "$corpus" <<'PY'
import struct, sys, os
IN_MODIFY, IN_CLOSE_WRITE, IN_MOVED_FROM, IN_MOVED_TO, IN_CREATE, IN_DELETE = 0x2, 0x8, 0x40, 0x80, 0x100, 0x200
IN_DELETE_SELF, IN_MOVE_SELF, IN_Q_OVERFLOW, IN_IGNORED, IN_ISDIR = 0x400, 0x800, 0x4000, 0x8000, 0x40000000
def rec(wd, mask, cookie=0, name=b''):
    if name:
        name += b'\0' * (16 - len(name) % 16)
    return struct.pack('<iIII', wd, mask, cookie, len(name)) + name
seeds = {
    'create': rec(1, IN_CREATE, 0, b'a.txt') + rec(1, IN_CLOSE_WRITE, 0, b'a.txt'),
    'rename': rec(1, IN_MOVED_FROM, 7, b'a.txt') + rec(2, IN_MOVED_TO, 7, b'b.txt'),
    'subdir': rec(1, IN_CREATE | IN_ISDIR, 0, b'new') + rec(2, IN_MOVED_FROM | IN_ISDIR, 9, b'x'),
    'overflow': rec(-1, IN_Q_OVERFLOW) + rec(1, IN_DELETE, 0, b'gone.txt'),
    'root': rec(1, IN_DELETE_SELF) + rec(1, IN_IGNORED) + rec(2, IN_MOVE_SELF),
}
for name, data in seeds.items():
    open(os.path.join(sys.argv[1], name), 'wb').write(data)
PY
