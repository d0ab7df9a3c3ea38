"""Kills at random moments: an export and an import killed with SIGKILL
leave every table and the result file byte for byte old or new, never half
written; the set of six tables is all old or all new unless the replacement
journal says a replacement is pending; and the next run succeeds.

Usage: kill_test.py TRANSQUADRIX EXAMPLES_DIR
"""

import os
import random
import shutil
import signal
import subprocess
import tempfile
import time

import tq_e2e as e2e

RUNS = 50
JOURNAL = "TRANSQDX.JNL"


def killed_run(binary, command, document, workdir, delay):
    proc = subprocess.Popen([binary, command, document, "--workdir", workdir],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(delay)
    proc.send_signal(signal.SIGKILL)
    proc.wait(timeout=e2e.RUN_TIMEOUT)
    return proc.returncode


def timed(function):
    start = time.monotonic()
    function()
    return time.monotonic() - start


def export_killed(binary, examples):
    rng = random.Random(int(os.environ.get("TQ_KILL_SEED", "1")))
    root = tempfile.mkdtemp(prefix="tq_kill_")
    try:
        small = os.path.join(examples, "instituto_ejemplo.xml")
        big = os.path.join(root, "grande.xml")
        e2e.scaled_document(small, big, 30)
        # The old set: six empty tables, each unlike its new one.
        empty = os.path.join(root, "vacio.xml")
        open(empty, "wb").write(b"<SERVICIO><SALIDAS/></SERVICIO>")
        base = os.path.join(root, "base")
        os.mkdir(base)
        old = e2e.export_tables(binary, empty, base)
        reference = os.path.join(root, "ref")
        shutil.copytree(base, reference)
        duration = timed(lambda: e2e.export_tables(binary, big, reference))
        new = {t: open(os.path.join(reference, t), "rb").read() for t in e2e.TABLES}
        print("   reference export of the large document: %.0f ms" % (duration * 1000))
        w = os.path.join(root, "w")
        outcomes = {"old": 0, "new": 0, "pending": 0}
        for i in range(RUNS):
            shutil.rmtree(w, ignore_errors=True)
            shutil.copytree(base, w)
            killed_run(binary, "export", big, w, rng.uniform(0, duration * 1.2))
            states = []
            for table in e2e.TABLES:
                data = open(os.path.join(w, table), "rb").read()
                assert data in (old[table], new[table]), "run %d: %s is half written" % (i, table)
                states.append("new" if data == new[table] else "old")
            if os.path.exists(os.path.join(w, JOURNAL)):
                outcomes["pending"] += 1
            else:
                assert len(set(states)) == 1, "run %d: mixed set %s" % (i, states)
                outcomes[states[0]] += 1
            # The next run goes on over whatever the kill left.
            result = e2e.run(binary, "export", big, w)
            assert result.code == 0, "run %d, next export: %r" % (i, result)
            for table in e2e.TABLES:
                assert open(os.path.join(w, table), "rb").read() == new[table], table
            assert not os.path.exists(os.path.join(w, JOURNAL))
        print("   %d kills: %s" % (RUNS, outcomes))
    finally:
        shutil.rmtree(root, ignore_errors=True)


def pending_set_is_finished_by_the_next_run(binary, examples):
    """The state a kill inside the commit leaves, made on purpose: three
    tables renamed, three still staged, the journal naming all six. The next
    run, an import (which writes no table), finishes the set first."""
    root = tempfile.mkdtemp(prefix="tq_kill_jnl_")
    try:
        small = os.path.join(examples, "instituto_ejemplo.xml")
        empty = os.path.join(root, "vacio.xml")
        open(empty, "wb").write(b"<SERVICIO><SALIDAS/></SERVICIO>")
        w = os.path.join(root, "w")
        ref = os.path.join(root, "ref")
        os.mkdir(w)
        os.mkdir(ref)
        e2e.export_tables(binary, empty, w)
        new = e2e.export_tables(binary, small, ref)
        shutil.copy(os.path.join(examples, "SOLUC.DBF"), w)
        open(os.path.join(w, "PROFT.MDX"), "wb").write(b"old index")
        lines = []
        for i, table in enumerate(e2e.TABLES):
            temporary = table + ".~tq%016x" % (i + 1)
            lines.append("R\t%s\t%s\n" % (temporary, table))
            target = table if i < 3 else temporary
            open(os.path.join(w, target), "wb").write(new[table])
        lines.append("D\tPROFT.MDX\n")
        open(os.path.join(w, JOURNAL), "w").write("".join(lines))
        document = os.path.join(root, "datos.xml")  # its result goes beside it
        shutil.copy(small, document)
        result = e2e.run(binary, "import", document, w)
        assert result.code == 0, result
        for table in e2e.TABLES:
            assert open(os.path.join(w, table), "rb").read() == new[table], table
        left = sorted(set(os.listdir(w)) - set(e2e.TABLES) - {"SOLUC.DBF"})
        assert left == [], "left behind: %s" % left
    finally:
        shutil.rmtree(root, ignore_errors=True)


def import_killed(binary, examples):
    rng = random.Random(int(os.environ.get("TQ_KILL_SEED", "2")))
    root = tempfile.mkdtemp(prefix="tq_kill_imp_")
    try:
        small = os.path.join(examples, "instituto_ejemplo.xml")
        w = os.path.join(root, "w")
        os.mkdir(w)
        e2e.export_tables(binary, small, w)
        e2e.scaled_soluc(os.path.join(examples, "SOLUC.DBF"), os.path.join(w, "SOLUC.DBF"), 12)
        d = os.path.join(root, "d")
        os.mkdir(d)
        doc = os.path.join(d, "grande.xml")
        e2e.scaled_document(small, doc, 30)
        result_file = os.path.join(d, "ResultadoQuadrixgrande.xml")
        old = b"<SERVICIO>resultado anterior</SERVICIO>"
        open(result_file, "wb").write(old)
        tables = e2e.snapshot(w)
        duration = timed(lambda: e2e.run(binary, "import", doc, w))
        new = open(result_file, "rb").read()
        print("   reference import: %.0f ms, result %d bytes" % (duration * 1000, len(new)))
        outcomes = {"old": 0, "new": 0}
        for i in range(RUNS):
            open(result_file, "wb").write(old)
            killed_run(binary, "import", doc, w, rng.uniform(0, duration * 1.2))
            data = open(result_file, "rb").read()
            assert data in (old, new), "run %d: result half written (%d bytes)" % (i, len(data))
            outcomes["new" if data == new else "old"] += 1
            assert e2e.snapshot(w) == tables, "run %d: the import changed a table" % i
            result = e2e.run(binary, "import", doc, w)
            assert result.code == 0 and open(result_file, "rb").read() == new, result
        print("   %d kills: %s; temporary files left by killed saves: %s" % (
            RUNS, outcomes, len(e2e.temporaries(d))))
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    e2e.main([export_killed, pending_set_is_finished_by_the_next_run, import_killed])
