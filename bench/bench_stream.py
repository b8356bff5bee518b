"""Chunked encryption against the aes area's whole-buffer AES-256-GCM.

The reference column is ``morvex.aes.core`` sealing or opening the same buffer
in one GCM pass under the same key text, so the speed-up column is the stream
area's throughput relative to it (the goal: within 10%, 0.90x or better, from
1 MiB up). The extra lines show peak memory of encrypt_file/decrypt_file in a
fresh process for two file sizes: flat in the size.
"""

from __future__ import annotations

import base64
import os
import subprocess
import sys
import tempfile

from morvex.aes import core as aes
from morvex.stream import core

SIZES = [("1 MiB", 1 << 20), ("16 MiB", 16 << 20)]


def cases():
    key = base64.b64encode(os.urandom(32)).decode()
    out = []
    for label, n in SIZES:
        data = os.urandom(n)
        blob, sealed = core.encrypt_bytes(data, key), aes.encrypt_bytes(data, key)
        ref_seal, ref_open = (lambda data=data: aes.encrypt_bytes(data, key)), (lambda s=sealed: aes.decrypt_bytes(s, key))
        out.append((f"encrypt_bytes {label}", lambda data=data: core.encrypt_bytes(data, key), ref_seal, "aes.encrypt_bytes"))
        out.append((f"decrypt_bytes {label}", lambda blob=blob: core.decrypt_bytes(blob, key), ref_open, "aes.decrypt_bytes"))

        def incremental(data=data):
            enc, view = core.Encryptor(key), memoryview(data)
            for i in range(0, len(view), 1 << 18):
                enc.update(view[i : i + (1 << 18)])
            return enc.finalize()

        out.append((f"Encryptor 256 KiB updates, {label}", incremental, ref_seal, "aes.encrypt_bytes"))
    return out


# VmHWM belongs to the child's own address space (ru_maxrss would carry the
# parent's size across the fork).
_CHILD = """
import sys
from morvex.stream import core
core.{op}(sys.argv[1], sys.argv[2], "bench key")
print(next(l.split()[1] for l in open("/proc/self/status") if l.startswith("VmHWM:")))
"""


def _peak_kib(op: str, src: str, dst: str) -> int:
    res = subprocess.run([sys.executable, "-c", _CHILD.format(op=op), src, dst], capture_output=True, text=True,
                         check=True, env=os.environ)
    return int(res.stdout.split()[-1])


def extra():
    lines = []
    base = int(subprocess.run([sys.executable, "-c", "import morvex; print(next(l.split()[1] for l in "
                               "open('/proc/self/status') if l.startswith('VmHWM:')))"],
                              capture_output=True, text=True, check=True).stdout)
    with tempfile.TemporaryDirectory() as tmp:
        for mib in (16, 256):
            pt, ct, back = (os.path.join(tmp, name) for name in ("pt", "ct", "back"))
            with open(pt, "wb") as f:
                for _ in range(mib):
                    f.write(os.urandom(1 << 20))
            enc = _peak_kib("encrypt_file", pt, ct)
            dec = _peak_kib("decrypt_file", ct, back)
            lines.append(f"{mib} MiB file: peak RSS encrypt_file {enc / 1024:.1f} MiB, decrypt_file {dec / 1024:.1f} MiB"
                         f" (the interpreter with morvex loaded: {base / 1024:.1f} MiB)")
    return lines
