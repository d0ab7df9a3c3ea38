"""Concurrent runs on one working directory: two exports at once, and an
export racing an import. Each run either completes or stops with the
"está en uso" message; at least one completes; every table afterwards equals
the table of one complete export, and the result of a completed import is
that of a complete set of tables.

Usage: concurrency_test.py TRANSQUADRIX EXAMPLES_DIR
"""

import os
import random
import shutil
import subprocess
import tempfile
import time

import tq_e2e as e2e

ROUNDS = 20
IN_USE = "está en uso por otro programa"


def start(binary, command, document, workdir):
    return subprocess.Popen([binary, command, document, "--workdir", workdir],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def finish(proc):
    out, err = proc.communicate(timeout=e2e.RUN_TIMEOUT)
    return e2e.Result(proc.returncode, out.decode(), err.decode())


def check_outcome(result, label):
    if result.code == 0:
        return True
    assert result.code == 2 and IN_USE in result.err and "«" in result.err, \
        "%s: %r" % (label, result)
    return False


def setup(binary, examples, root):
    small = os.path.join(examples, "instituto_ejemplo.xml")
    big = os.path.join(root, "grande.xml")
    e2e.scaled_document(small, big, 20)
    outputs = []
    for document in (small, big):
        d = tempfile.mkdtemp(dir=root)
        outputs.append(e2e.export_tables(binary, document, d))
    return small, big, outputs


def two_exports(binary, examples):
    rng = random.Random(3)
    root = tempfile.mkdtemp(prefix="tq_conc_")
    try:
        small, big, outputs = setup(binary, examples, root)
        w = os.path.join(root, "w")
        tally = {"both": 0, "one": 0}
        for i in range(ROUNDS):
            shutil.rmtree(w, ignore_errors=True)
            os.mkdir(w)
            e2e.export_tables(binary, small, w)
            first = start(binary, "export", big, w)
            time.sleep(rng.uniform(0, 0.15))
            second = start(binary, "export", small, w)
            done = [check_outcome(finish(p), "round %d" % i) for p in (first, second)]
            assert any(done), "round %d: neither export completed" % i
            tally["both" if all(done) else "one"] += 1
            for table in e2e.TABLES:
                data = open(os.path.join(w, table), "rb").read()
                assert data in (outputs[0][table], outputs[1][table]), \
                    "round %d: %s is no complete output" % (i, table)
            # Whichever committed last, its whole set is there.
            assert any(all(open(os.path.join(w, t), "rb").read() == out[t]
                           for t in e2e.TABLES) for out in outputs), "round %d: mixed set" % i
        print("   %d rounds: %s" % (ROUNDS, tally))
    finally:
        shutil.rmtree(root, ignore_errors=True)


def export_racing_import(binary, examples):
    rng = random.Random(4)
    root = tempfile.mkdtemp(prefix="tq_conc_imp_")
    try:
        small, big, outputs = setup(binary, examples, root)
        w = os.path.join(root, "w")
        d = os.path.join(root, "d")
        os.mkdir(d)
        doc = os.path.join(d, "datos.xml")
        shutil.copy(small, doc)
        result_file = os.path.join(d, "ResultadoQuadrixdatos.xml")
        # The results an import gives on each complete set of tables.
        results = []
        for out in outputs:
            shutil.rmtree(w, ignore_errors=True)
            os.mkdir(w)
            for table, data in out.items():
                open(os.path.join(w, table), "wb").write(data)
            shutil.copy(os.path.join(examples, "SOLUC.DBF"), w)
            assert e2e.run(binary, "import", doc, w).code == 0
            results.append(open(result_file, "rb").read())
        tally = {"export": 0, "import": 0}
        for i in range(ROUNDS):
            if os.path.exists(result_file):
                os.remove(result_file)
            # Old tables from the small document, the export writes the big one.
            shutil.rmtree(w, ignore_errors=True)
            os.mkdir(w)
            for table, data in outputs[0].items():
                open(os.path.join(w, table), "wb").write(data)
            shutil.copy(os.path.join(examples, "SOLUC.DBF"), w)
            # The import started while the export builds or commits.
            procs = [start(binary, "export", big, w)]
            time.sleep(rng.uniform(0, 0.3))
            procs.append(start(binary, "import", doc, w))
            exported, imported = [check_outcome(finish(p), "round %d" % i) for p in
                                  sorted(procs, key=lambda p: p.args[1] != "export")]
            assert exported or imported, "round %d: neither run completed" % i
            tally["export"] += exported
            tally["import"] += imported
            for table in e2e.TABLES:
                data = open(os.path.join(w, table), "rb").read()
                assert data in (outputs[0][table], outputs[1][table]), table
            if imported:
                assert open(result_file, "rb").read() in results, "round %d: mixed result" % i
            else:
                assert not os.path.exists(result_file)
        print("   %d rounds, completed: %s" % (ROUNDS, tally))
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    e2e.main([two_exports, export_racing_import])
