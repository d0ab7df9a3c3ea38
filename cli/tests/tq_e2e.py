"""Shared helpers of the end-to-end tests that drive the built `transquadrix`
binary: running it with a timeout, snapshots of folders, the example school
and larger documents made from it, and mounts that are always undone.

Standard library only. The tests run as root in CI; helpers that need root
(mounts) report whether they could act so that a test can skip with a reason.
"""

import contextlib
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

RUN_TIMEOUT = 60  # seconds for one run of the tool; a hang is a failure


class Result:
    def __init__(self, code, out, err):
        self.code, self.out, self.err = code, out, err

    def __repr__(self):
        return "exit %s\nstdout: %s\nstderr: %s" % (self.code, self.out, self.err)


def run(binary, command, document, workdir, timeout=RUN_TIMEOUT, prefix=()):
    proc = subprocess.run(
        list(prefix) + [binary, command, str(document), "--workdir", str(workdir)],
        capture_output=True, timeout=timeout)
    return Result(proc.returncode, proc.stdout.decode("utf-8", "replace"),
                  proc.stderr.decode("utf-8", "replace"))


def snapshot(*folders):
    """{path: bytes} of every file below the folders."""
    files = {}
    for folder in folders:
        for root, _, names in os.walk(folder):
            for name in names:
                path = os.path.join(root, name)
                with open(path, "rb") as f:
                    files[path] = f.read()
    return files


def export_tables(binary, document, workdir):
    """Runs an export that must succeed; returns {table file name: bytes}."""
    result = run(binary, "export", document, workdir)
    if result.code != 0:
        raise AssertionError("reference export failed: %r" % result)
    return {name: open(os.path.join(workdir, name), "rb").read()
            for name in TABLES}


TABLES = ["ASIGNOMT.DBF", "PROFT.DBF", "AULAT.DBF", "GRUPOST.DBF",
          "ASIGT.DBF", "DIASHORAST.DBF"]


def scaled_document(example, target, copies):
    """The example school with its ASIGNATURAS elements repeated `copies`
    times: an export that writes many rows, an import of a large document."""
    data = open(example, "rb").read()
    start = data.index(b'<listasal seq="ASIGNATURAS">')
    body_start = data.index(b"<listasal>", start)
    body_end = data.index(b'<listasal seq="TRAMOS">')
    body_end = data.rindex(b"</listasal>", body_start, body_end)
    body = data[body_start:body_end]
    with open(target, "wb") as f:
        f.write(data[:body_start] + body * copies + data[body_end:])


def scaled_soluc(source, target, copies):
    """A dBase table with its rows repeated `copies` times."""
    data = open(source, "rb").read()
    count, header_len, record_len = struct.unpack("<IHH", data[4:12])
    rows = data[header_len:header_len + count * record_len]
    header = bytearray(data[:header_len])
    header[4:8] = struct.pack("<I", count * copies)
    with open(target, "wb") as f:
        f.write(bytes(header) + rows * copies + b"\x1a")


def dbf_fields(data):
    """[(name, type, offset in record, width)] of a dBase table's bytes."""
    header_len = struct.unpack("<H", data[8:10])[0]
    fields, pos, offset = [], 32, 1
    while pos < header_len and data[pos] != 0x0D:
        name = data[pos:pos + 11].split(b"\0")[0].decode()
        fields.append((name, chr(data[pos + 11]), offset, data[pos + 16]))
        offset += data[pos + 16]
        pos += 32
    return fields


def can_mount():
    if os.geteuid() != 0 or not shutil.which("mount"):
        return False
    with tempfile.TemporaryDirectory() as d:
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", d],
                          capture_output=True).returncode != 0:
            return False
        subprocess.run(["umount", d], capture_output=True)
        return True


@contextlib.contextmanager
def read_only(folder):
    """`folder` bound read-only over itself for the block; undone on exit."""
    subprocess.run(["mount", "--bind", folder, folder], check=True)
    try:
        subprocess.run(["mount", "-o", "remount,ro,bind", folder], check=True)
        yield
    finally:
        subprocess.run(["umount", "-l", folder], check=False)


@contextlib.contextmanager
def tmpfs(folder, size):
    """A small tmpfs of `size` on `folder` for the block; undone on exit."""
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s" % size, "tmpfs",
                    folder], check=True)
    try:
        yield
    finally:
        subprocess.run(["umount", "-l", folder], check=False)


def temporaries(folder):
    return sorted(n for n in os.listdir(folder) if ".~tq" in n)


def main(tests):
    """Runs test functions f(binary, examples) and exits non-zero on failure."""
    binary, examples = sys.argv[1], sys.argv[2]
    failed = 0
    for test in tests:
        try:
            test(binary, examples)
            print("PASS", test.__name__)
        except Skip as skip:
            print("SKIP %s: %s" % (test.__name__, skip))
        except Exception as error:  # report every test, then fail
            failed += 1
            print("FAIL %s: %s" % (test.__name__, error))
            import traceback
            traceback.print_exc()
    sys.exit(1 if failed else 0)


class Skip(Exception):
    pass
