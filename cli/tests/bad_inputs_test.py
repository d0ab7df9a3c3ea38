"""Bad inputs through the built tool, end to end: each stops with a Spanish
message on stderr that names the file and the cause, exit status 2, and every
table and result file byte for byte as before. Documents whose root is not
SERVICIO are no error: the export writes six empty tables, the import
rewrites the document.

Usage: bad_inputs_test.py TRANSQUADRIX EXAMPLES_DIR
"""

import os
import resource
import shutil
import struct
import subprocess
import tempfile

import tq_e2e as e2e

BASE = {}  # the example's working directory, made once


def base_workdir(binary, examples):
    if "dir" not in BASE:
        d = tempfile.mkdtemp(prefix="tq_bad_base_")
        e2e.export_tables(binary, os.path.join(examples, "instituto_ejemplo.xml"), d)
        shutil.copy(os.path.join(examples, "SOLUC.DBF"), d)
        BASE["dir"] = d
    return BASE["dir"]


class Case:
    """A fresh folder: w/ the working tables, d/ the document (and results)."""

    def __init__(self, binary, examples, document=None):
        self.root = tempfile.mkdtemp(prefix="tq_bad_")
        self.w = os.path.join(self.root, "w")
        self.d = os.path.join(self.root, "d")
        shutil.copytree(base_workdir(binary, examples), self.w)
        os.mkdir(self.d)
        self.doc = os.path.join(self.d, "datos.xml")
        self.example = open(os.path.join(examples, "instituto_ejemplo.xml"), "rb").read()
        self.binary = binary
        self.write(self.example if document is None else document)
        # An earlier result, which a failed import must leave alone.
        self.result = os.path.join(self.d, "ResultadoQuadrixdatos.xml")
        with open(self.result, "wb") as f:
            f.write(b"<SERVICIO>resultado anterior</SERVICIO>")

    def write(self, data):
        with open(self.doc, "wb") as f:
            f.write(data)

    def run(self, command, workdir=None, **kw):
        return e2e.run(self.binary, command, self.doc, workdir or self.w, **kw)

    def expect_refused(self, command, *phrases, workdir=None):
        """Exit 2, every phrase in the message, nothing changed."""
        before = e2e.snapshot(self.root)
        result = self.run(command, workdir)
        assert result.code == 2, "%s: %r" % (command, result)
        message = result.err.strip()
        for phrase in phrases:
            assert phrase in message, "%r not in %r" % (phrase, message)
        assert "\n" not in message, message
        assert ".~tq" not in message, "names a temporary file: " + message
        after = e2e.snapshot(self.root)
        assert after == before, "files changed: %s" % sorted(
            set(after.items()) ^ set(before.items()))[:4]
        print("   %s %s -> %s" % (command, os.path.basename(self.doc), message))
        return message

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)


def with_case(function):
    def test(binary, examples):
        function(binary, examples)
    test.__name__ = function.__name__
    return test


def documents_that_do_not_load(binary, examples):
    bomb = (b'<?xml version="1.0"?>\n<!DOCTYPE SERVICIO [\n <!ENTITY a "aaaaaaaaaa">\n'
            + b"".join(b' <!ENTITY a%d "%s">\n' % (i + 1, (b"&a%d;" % i if i else b"&a;") * 10)
                       for i in range(9))
            + b"]>\n<SERVICIO>&a9;</SERVICIO>\n")
    external = (b'<?xml version="1.0"?>\n<!DOCTYPE SERVICIO [<!ENTITY x SYSTEM '
                b'"file:///etc/passwd">]>\n<SERVICIO><SALIDAS>&x;</SALIDAS></SERVICIO>\n')
    # With an XML declaration UTF-16 is recognised without a byte-order
    # mark; without one it is not.
    utf16 = '<SERVICIO><SALIDAS/></SERVICIO>'
    cases = [
        ("vacío", b"", "el archivo está vacío"),
        ("binario", bytes(range(256)) * 4, "no empieza por una etiqueta XML"),
        ("cortado", None, "termina antes de tiempo; quizá el archivo está cortado"),
        ("entidad externa", external, "declara entidades («x»), que no se admiten"),
        ("bomba de entidades", bomb, "declara entidades («a»), que no se admiten"),
        ("UTF-16 sin BOM", utf16.encode("utf-16-le"), "UTF-16 sin marca de orden de bytes"),
    ]
    for name, data, cause in cases:
        case = Case(binary, examples)
        try:
            case.write(case.example[:5000] if data is None else data)
            for command in ("export", "import"):
                case.expect_refused(command, "«%s»" % case.doc, cause)
        except AssertionError as error:
            raise AssertionError("%s: %s" % (name, error))
        finally:
            case.cleanup()


def huge_unterminated_document(binary, examples):
    """~200 MB that never closes: refused by its size, in bounded memory."""
    case = Case(binary, examples)
    try:
        chunk = b"<listasal><salida>P1</salida><salida>Nombre</salida></listasal>\n" * 4096
        with open(case.doc, "wb") as f:
            f.write(b'<?xml version="1.0"?><SERVICIO><SALIDAS><listasal seq="PROFESORES">')
            for _ in range(200 * 1024 * 1024 // len(chunk)):
                f.write(chunk)
        for command in ("export", "import"):
            before = e2e.snapshot(case.w)
            proc = subprocess.Popen([binary, command, case.doc, "--workdir", case.w],
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            out, err = proc.communicate(timeout=e2e.RUN_TIMEOUT)
            _, _, usage = os.wait4(proc.pid, 0) if proc.returncode is None else (0, 0, None)
            rss_kb = usage.ru_maxrss if usage else resource.getrusage(
                resource.RUSAGE_CHILDREN).ru_maxrss
            message = err.decode()
            assert proc.returncode == 2, message
            assert "es demasiado grande" in message and case.doc in message, message
            # Generous for sanitizer builds; the document alone is 200 MB.
            assert rss_kb < 150 * 1024, "max RSS %d kB" % rss_kb
            assert e2e.snapshot(case.w) == before
            print("   %s -> %s (max RSS of all runs so far %d kB)" % (
                command, message.strip(), rss_kb))
    finally:
        case.cleanup()  # the 200 MB file goes with it


def root_is_not_servicio(binary, examples):
    case = Case(binary, examples, b'<?xml version="1.0"?>\n<OTRO><SALIDAS><listasal seq="PROFESORES">'
                b"<listasal><salida>1</salida><salida>2</salida></listasal></listasal></SALIDAS></OTRO>\n")
    try:
        result = case.run("export")
        assert result.code == 0 and "Proceso finalizado" in result.out, result
        for table in e2e.TABLES:
            data = open(os.path.join(case.w, table), "rb").read()
            assert struct.unpack("<I", data[4:8])[0] == 0, table + " not empty"
        result = case.run("import")
        assert result.code == 0, result
        written = open(case.result, "rb").read()
        assert b"<OTRO>" in written and b'"CN_ERROR"' in written, written[:200]
    finally:
        case.cleanup()


def import_without_salidas(binary, examples):
    case = Case(binary, examples, b'<?xml version="1.0"?>\n<SERVICIO><OTRA/></SERVICIO>\n')
    try:
        case.expect_refused("import", "«%s»" % case.doc, "no tiene sección SALIDAS")
    finally:
        case.cleanup()


def minutes_that_are_no_whole_number(binary, examples):
    for minutes in (b"1.5", b"90 min", b"99999999999"):
        case = Case(binary, examples)
        try:
            case.write(case.example.replace(b'<salida dato="MINUTOS">240</salida>',
                                            b'<salida dato="MINUTOS">%s</salida>' % minutes, 1))
            case.expect_refused("export", "«%s»" % case.doc,
                                "«%s»" % os.path.join(case.w, "ASIGT.DBF"),
                                "'%s' no es un valor entero válido" % minutes.decode(),
                                "no se ha cambiado ninguna tabla")
        finally:
            case.cleanup()


def missing_working_directory(binary, examples):
    case = Case(binary, examples)
    try:
        missing = os.path.join(case.root, "no_existe")
        for command in ("export", "import"):
            case.expect_refused(command, "No existe la carpeta de trabajo «%s»" % missing,
                                workdir=missing)
    finally:
        case.cleanup()


def read_only_working_directory(binary, examples):
    if not e2e.can_mount():
        raise e2e.Skip("cannot mount here (needs root and mount rights)")
    case = Case(binary, examples)
    try:
        with e2e.read_only(case.w):
            case.expect_refused("export", "«%s»" % os.path.join(case.w, "ASIGNOMT.DBF"),
                                "solo lectura")
            # The import only reads the tables: it works.
            result = case.run("import")
            assert result.code == 0, result
    finally:
        case.cleanup()


def soluc_faults(binary, examples):
    soluc = open(os.path.join(examples, "SOLUC.DBF"), "rb").read()
    header_len, record_len = struct.unpack("<HH", soluc[8:12])
    fields = {f[0]: f for f in e2e.dbf_fields(soluc)}
    dia_offset = fields["DIA"][2]
    no_asig = bytearray(soluc)
    at = soluc.index(b"ASIG\0", 32)
    no_asig[at:at + 4] = b"ASIX"
    bad_header = bytearray(soluc)
    bad_header[8:10] = struct.pack("<H", 7)
    bad_dia = bytearray(soluc)
    bad_dia[header_len + dia_offset:header_len + dia_offset + 2] = b"xx"
    cases = [
        ("falta", None, ["No se encuentra la tabla", "SOLUC.DBF"]),
        ("sin campo", bytes(no_asig), ["wwTableSoluc: No se encuentra el campo 'ASIG' (tabla «", "SOLUC.DBF»"]),
        ("cabecera dañada", bytes(bad_header), ["SOLUC.DBF"]),
        ("cortada a media fila", soluc[:header_len + 2 * record_len + record_len // 2],
         ["SOLUC.DBF"]),
        ("DIA no numérico", bytes(bad_dia), ["SOLUC.DBF", "'xx' no es un valor entero válido"]),
    ]
    for name, data, phrases in cases:
        case = Case(binary, examples)
        try:
            path = os.path.join(case.w, "SOLUC.DBF")
            if data is None:
                os.remove(path)
            else:
                with open(path, "wb") as f:
                    f.write(data)
            case.expect_refused("import", *phrases)
        except AssertionError as error:
            raise AssertionError("%s: %s" % (name, error))
        finally:
            case.cleanup()


def read_only_result_folder(binary, examples):
    if not e2e.can_mount():
        raise e2e.Skip("cannot mount here (needs root and mount rights)")
    case = Case(binary, examples)
    try:
        with e2e.read_only(case.d):
            case.expect_refused("import", "«%s»" % case.result, "solo lectura")
    finally:
        case.cleanup()


def full_disk(binary, examples):
    if not e2e.can_mount():
        raise e2e.Skip("cannot mount here (needs root and mount rights)")
    case = Case(binary, examples)
    try:
        tables = e2e.snapshot(case.w)
        os.rename(case.w, case.w + ".orig")
        os.mkdir(case.w)
        # Room for the old tables, not for a second set beside them.
        size = sum(-(-len(b) // 4096) * 4096 for b in tables.values()) + 6 * 4096
        with e2e.tmpfs(case.w, size):
            for path, data in tables.items():
                open(path, "wb").write(data)
            case.expect_refused("export", "no queda espacio en el disco",
                                "no se ha cambiado ninguna tabla")
            assert e2e.temporaries(case.w) == [], e2e.temporaries(case.w)
        # The document's folder full: the result cannot be written.
        doc_bytes = open(case.doc, "rb").read()
        os.rename(case.w + ".orig", case.w + ".tables")
        shutil.rmtree(case.d)
        os.mkdir(case.d)
        with e2e.tmpfs(case.d, -(-len(doc_bytes) // 4096) * 4096 + 16 * 4096):
            open(case.doc, "wb").write(doc_bytes)
            open(case.result, "wb").write(b"<SERVICIO>resultado anterior</SERVICIO>")
            case.expect_refused("import", "«%s»" % case.result, workdir=case.w + ".tables")
            assert e2e.temporaries(case.d) == [], e2e.temporaries(case.d)
    finally:
        case.cleanup()


if __name__ == "__main__":
    try:
        e2e.main([documents_that_do_not_load, huge_unterminated_document,
                  root_is_not_servicio, import_without_salidas,
                  minutes_that_are_no_whole_number, missing_working_directory,
                  read_only_working_directory, soluc_faults,
                  read_only_result_folder, full_disk])
    finally:
        if "dir" in BASE:
            shutil.rmtree(BASE["dir"], ignore_errors=True)
