#!/usr/bin/env python3
"""Checks the six tables that an export wrote against the exchange document,
reading the tables with dbfread, an independent dBase reader.

Usage: check_exported_tables.py DOCUMENT WORKDIR

The expected rows are computed here from the document with the export's
rules, written anew in Python. Every row and every field is compared; field
names, kinds and widths are checked too. Prints one line per table,
"<TABLE> <rows>", and exits 0 when everything matches, 1 otherwise.
"""

import math
import sys
import xml.etree.ElementTree as ET

import dbfread

LAYOUTS = {
    "ASIGNOMT": [("COD", "C", 4), ("CODLARGO", "C", 8), ("NOMBRE", "C", 40),
                 ("MATERIA", "C", 8), ("ESTAREA", "L", 1)],
    "PROFT": [("ABREV", "C", 4), ("NOMBRE", "C", 40), ("DEPART", "C", 40),
              ("DNI", "N", None), ("X_EMPLEADO", "C", 10), ("F_TOMAPOS", "C", 10)],
    "AULAT": [("ABREV", "C", 4), ("NOMBRE", "C", 40), ("EDIFICIO", "C", 1),
              ("MAXALUM", "N", None), ("DEPCENTRO", "C", 10)],
    "GRUPOST": [("ABREV", "C", 4), ("TURNO", "C", 1), ("NIVEL", "C", 5), ("CURSO", "C", 3),
                ("GRUPO", "C", 2), ("UNIDAD", "C", 10), ("DESCRIP", "C", 40)],
    "ASIGT": [("CASIG", "C", 4), ("CPROF", "C", 4), ("CGRUP", "C", 4), ("CAULA", "C", 4),
              ("TURNO", "C", 1), ("NIVEL", "C", 5), ("CURSO", "C", 3), ("GRUPO", "C", 2),
              ("HORAS", "N", None), ("SESIONES", "C", 20), ("MATERIA", "C", 10),
              ("CTAREA", "C", 4)],
    "DIASHORAST": [("DIHO", "C", 10), ("CODDIHO", "C", 10), ("DIA", "C", 20),
                   ("TEXTODIA", "C", 20), ("HORA", "C", 8), ("HORADESDE", "C", 8),
                   ("HORAHASTA", "C", 8), ("MINUTOS", "C", 8)],
}


def text(node):
    """A value text: the text content without characters 0..32 at both ends."""
    content = "".join(node.itertext())
    return content.strip("".join(chr(c) for c in range(33)))


def elements(root, seq):
    if root.tag != "SERVICIO":
        return []
    found = []
    for salidas in root.findall("SALIDAS"):
        for lst in salidas.findall("listasal"):
            if lst.get("seq") == seq:
                found.extend(lst.findall("listasal"))
    return found


def positional(root, seq):
    """Value texts of each element with two values or more; missing ones empty."""
    for element in elements(root, seq):
        values = [text(v) for v in element.findall("salida")]
        if len(values) >= 2:
            yield values + [""] * 9


def cut(layout, row):
    """Values as the table holds them: cut to width, trailing blanks gone."""
    out = {}
    for name, kind, width in layout:
        value = row.get(name)
        if kind == "C":
            value = (value or "")[:width].rstrip(" ")
        out[name] = value
    return out


def expected_tables(root):
    tables = {name: [] for name in LAYOUTS}

    seen = set()
    for v in positional(root, "MATERIAS"):
        if v[1].upper() in seen:
            continue
        seen.add(v[1].upper())
        tables["ASIGNOMT"].append({"MATERIA": v[0], "COD": v[1], "CODLARGO": v[2],
                                   "NOMBRE": v[3], "ESTAREA": v[0][:1] == "G"})
    for v in positional(root, "PROFESORES"):
        tables["PROFT"].append({"X_EMPLEADO": v[0], "F_TOMAPOS": v[1], "NOMBRE": v[2],
                                "ABREV": v[3], "DNI": None})
    for v in positional(root, "AULAS"):
        tables["AULAT"].append({"DEPCENTRO": v[0], "ABREV": v[1] or v[0], "NOMBRE": v[2],
                                "EDIFICIO": v[3], "MAXALUM": None})
    for v in positional(root, "GRUPOS"):
        level = v[3] or "NIV"
        tables["GRUPOST"].append({"UNIDAD": v[0], "ABREV": v[1], "TURNO": v[2],
                                  "NIVEL": level, "CURSO": v[4], "GRUPO": v[5],
                                  "DESCRIP": " ".join([v[2], level, v[4], v[5]])})
    subjects = [cut(LAYOUTS["ASIGNOMT"], row) for row in tables["ASIGNOMT"]]
    for v in positional(root, "ASIGNATURAS"):
        hours = max(1.0, int(v[7]) / 60) if v[7] else 1.0
        n = math.ceil(hours)
        lessons = "1" * n if n <= 13 else str(n - 13) + "1" * 13
        task = "LE"
        if v[8][:1] == "G":
            task = next((s["COD"] for s in subjects if s["MATERIA"] == v[8]), v[8])
        tables["ASIGT"].append({"CASIG": v[0], "CGRUP": v[1], "CAULA": v[2], "TURNO": v[3],
                                "NIVEL": v[4] or "NIV", "CURSO": v[5], "GRUPO": v[6],
                                "HORAS": hours, "SESIONES": lessons, "MATERIA": v[8],
                                "CTAREA": task})
    keys = {"CODIGO_GESTARO": "CODDIHO", "NOMBRE": "DIHO", "DIA": "DIHO",
            "INICIO": "HORADESDE", "FIN": "HORAHASTA", "NINUTOS": "MINUTOS"}
    days = {"L": "1", "M": "2", "X": "3", "J": "4", "V": "5", "S": "6", "D": "7"}
    for element in elements(root, "TRAMOS"):
        row = {}
        for value in element.findall("salida"):
            if value.get("dato") in keys:
                row[keys[value.get("dato")]] = text(value)
        name = row.get("DIHO", "")
        row["DIA"] = days.get(name[:1], name[:1])
        row["HORA"] = name[1:3]
        tables["DIASHORAST"].append(row)
    return {name: [cut(LAYOUTS[name], row) for row in rows] for name, rows in tables.items()}


def main():
    document, workdir = sys.argv[1], sys.argv[2]
    expected = expected_tables(ET.parse(document).getroot())
    failures = []
    for name, layout in LAYOUTS.items():
        table = dbfread.DBF("%s/%s.DBF" % (workdir, name), encoding="cp1252",
                            char_decode_errors="strict")
        fields = [(f.name, f.type, f.length) for f in table.fields]
        for (fname, kind, width), (got_name, got_kind, got_width) in zip(layout, fields):
            if fname != got_name or (kind != got_kind and not (kind == "N" and got_kind in "NF")) \
                    or (width is not None and width != got_width):
                failures.append("%s: field %s is %s %s(%s)" % (name, fname, got_name, got_kind,
                                                            got_width))
        if len(fields) != len(layout):
            failures.append("%s: %d fields" % (name, len(fields)))
        rows = [dict(record) for record in table]
        print(name, len(rows))
        if len(rows) != len(expected[name]):
            failures.append("%s: %d rows, expected %d" % (name, len(rows), len(expected[name])))
        for i, (got, want) in enumerate(zip(rows, expected[name])):
            for field, value in want.items():
                read = got[field]
                same = (abs(read - value) < 1e-6) if isinstance(value, float) else read == value
                if not same:
                    failures.append("%s row %d %s: %r, expected %r" % (name, i, field, read,
                                                                      value))
    for failure in failures[:20]:
        print("FALLO", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
