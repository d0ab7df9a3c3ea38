#!/usr/bin/env python3
"""Writes instituto_ejemplo.xml: the exchange document of an invented
secondary school (IES Valle del Tajo), for trying the converter and for the
tests that export it.

Deterministic, standard library only: the same file on every run. The file is
ISO-8859-1 and says so in its declaration.

What it holds, in the position order the export reads:
  MATERIAS     MATERIA, COD (<= 4), CODLARGO, NOMBRE
  PROFESORES   X_EMPLEADO, F_TOMAPOS, NOMBRE, ABREV (<= 4)
  AULAS        DEPCENTRO, ABREV (<= 4), NOMBRE, EDIFICIO
  GRUPOS       UNIDAD, ABREV (<= 4), TURNO, NIVEL, CURSO, GRUPO
  ASIGNATURAS  CASIG (a subject COD), CGRUP (a group ABREV), CAULA, TURNO,
               NIVEL, CURSO, GRUPO, minutes, MATERIA
  TRAMOS       keyed: CODIGO_GESTARO, NOMBRE, INICIO, FIN, NINUTOS

A few things real documents do, all harmless: a subject listed twice with its
code in another letter case (the second is dropped), a subject element with a
single value (passed over), a time slot carrying both NOMBRE and DIA (DIA, the
later one, wins), and values padded with blanks and line breaks.

Usage: python3 make_example.py [OUTPUT]   (default: beside this script)
"""

import os
import sys
import unicodedata
from xml.sax.saxutils import escape, quoteattr

# Subjects: (COD, CODLARGO, NOMBRE, MATERIA). MATERIA is the management
# system's identifier; a "G" identifier names a task (tutoría, guardia).
SUBJECTS = [
    ("LCL", "LENGUA", "Lengua Castellana y Literatura", "300101"),
    ("MAT", "MATEMAT", "Matemáticas", "300102"),
    ("ING", "INGLES", "Primera Lengua Extranjera: Inglés", "300103"),
    ("GEH", "GEOHIST", "Geografía e Historia", "300104"),
    ("BYG", "BIOGEO", "Biología y Geología", "300105"),
    ("FYQ", "FISQUIM", "Física y Química", "300106"),
    ("EF", "EDFISICA", "Educación Física", "300107"),
    ("MUS", "MUSICA", "Música", "300108"),
    ("EPV", "PLASTICA", "Educación Plástica, Visual y Audiovisual", "300109"),
    ("TEC", "TECNOLOG", "Tecnología y Digitalización", "300110"),
    ("FRA", "FRANCES", "Segunda Lengua Extranjera: Francés", "300111"),
    ("REL", "RELIGION", "Religión", "300112"),
    ("FIL", "FILOSOF", "Filosofía", "300201"),
    ("HES", "HISTESP", "Historia de España", "300202"),
    ("LAT", "LATIN", "Latín", "300203"),
    ("ECO", "ECONOMIA", "Economía", "300204"),
    ("DIB", "DIBTEC", "Dibujo Técnico", "300205"),
    ("QUI", "QUIMICA", "Química", "300206"),
    ("BIO", "BIOLOGIA", "Biología", "300207"),
    ("GRI", "GRIEGO", "Griego", "300208"),
    ("SOM", "SISTOPER", "Sistemas Operativos Monopuesto", "400301"),
    ("RED", "REDESLOC", "Redes Locales", "400302"),
    ("MME", "MONTAJE", "Montaje y Mantenimiento de Equipos", "400303"),
    ("APW", "APLIWEB", "Aplicaciones Web", "400304"),
    ("FOL", "FOL", "Formación y Orientación Laboral", "400305"),
    ("PRO", "PROGRAM", "Programación", "400401"),
    ("BD", "BASESDAT", "Bases de Datos", "400402"),
    ("LMS", "LMARCAS", "Lenguajes de Marcas y Sistemas de Gestión", "400403"),
    ("ED", "ENTORNOS", "Entornos de Desarrollo", "400404"),
    ("DWC", "DWCLIENT", "Desarrollo Web en Entorno Cliente", "400405"),
    ("TUT", "TUTORIA", "Tutoría", "G512"),
    ("GUA", "GUARDIA", "Guardia", "G439"),
    ("REU", "REUNDEP", "Reunión de Departamento", "G440"),
]
# The same subject again, its code in lower case: dropped by the export.
REPEATED_SUBJECT = ("Mat", "MATEMAT", "Matemáticas (repetida)", "300102")
# An element with a single value: passed over by the export.
SINGLE_VALUE_SUBJECT = "300999"

FIRST_NAMES = [
    "Ana", "José", "María", "Íñigo", "Lucía", "Álvaro", "Carmen", "Sergio",
    "Begoña", "Raúl", "Inés", "Jesús", "Pilar", "Óscar", "Nuria", "Andrés",
    "Rocío", "Martín", "Elena", "Ramón",
]
SURNAMES = [
    "García", "Fernández", "López", "Martínez", "Sánchez", "Pérez", "Gómez",
    "Muñoz", "Jiménez", "Ruiz", "Hernández", "Díaz", "Álvarez", "Moreno",
    "Romero", "Alonso", "Gutiérrez", "Navarro", "Torres", "Domínguez",
    "Vázquez", "Ramos", "Gil", "Serrano", "Blanco", "Molina", "Castaño",
    "Ortiz", "Rubio", "Marín", "Núñez", "Iglesias", "Medina", "Garrido",
    "Cortés", "Castillo", "Santos", "Lozano", "Guerrero", "Cano", "Prieto",
]
TEACHERS = 40

# Groups: (level, TURNO, courses, letters, ABREV letter, unit prefix).
LEVELS = [
    ("ESO", "M", "1234", "ABCDEFGH", "E"),
    ("BACH", "M", "12", "ABCDEF", "B"),
    ("CFGM", "T", "12", "ABCD", "M"),
    ("CFGS", "T", "12", "ABCD", "S"),
]

# What each group is taught: (COD, minutes a week), the tutorial last.
CURRICULUM = {
    "ESO": [("LCL", 240), ("MAT", 240), ("ING", 180), None, ("TUT", 60)],
    "BACH": [("LCL", 180), ("ING", 180), None, None, ("TUT", 60)],
    "CFGM": [("SOM", 300), ("RED", 420), ("MME", 300), ("FOL", 180), ("TUT", 60)],
    "CFGS": [("PRO", 480), ("BD", 360), ("LMS", 180), None, ("TUT", 60)],
}
# Subjects that rotate through the free places of a curriculum.
ROTATING = {
    "ESO": [("GEH", 180), ("BYG", 180), ("FYQ", 180), ("EF", 120), ("MUS", 120),
            ("EPV", 120), ("TEC", 120), ("FRA", 120), ("REL", 60)],
    "BACH": [("FIL", 180), ("HES", 180), ("MAT", 240), ("LAT", 240), ("ECO", 240),
             ("DIB", 240), ("QUI", 240), ("BIO", 240), ("GRI", 240)],
    "CFGS": [("ED", 180), ("DWC", 390), ("APW", 90)],
}
# Rooms where a subject is taught instead of the group's own room.
SPECIAL_ROOMS = {
    "BYG": "LAB1", "FYQ": "LAB2", "QUI": "LAB2", "BIO": "LAB1", "EF": "GIM",
    "MUS": "MUS", "EPV": "PLA", "DIB": "PLA", "TEC": "TEC1",
}

DAYS = "LMXJV"
HOURS = [("08:30", "09:25"), ("09:25", "10:20"), ("10:20", "11:15"),
         ("11:45", "12:40"), ("12:40", "13:35"), ("13:35", "14:30")]


def ascii_upper(text):
    """Upper-case letters without accents, for abbreviations."""
    plain = unicodedata.normalize("NFKD", text)
    return "".join(c for c in plain if c.isascii() and c.isalpha()).upper()


def teachers():
    """(X_EMPLEADO, F_TOMAPOS, NOMBRE, ABREV) for each teacher."""
    rows, used = [], set()
    for i in range(TEACHERS):
        first = FIRST_NAMES[(i * 7) % len(FIRST_NAMES)]
        surname1 = SURNAMES[i % len(SURNAMES)]
        surname2 = SURNAMES[(i * 11 + 5) % len(SURNAMES)]
        if surname2 == surname1:
            surname2 = SURNAMES[(i * 11 + 6) % len(SURNAMES)]
        abbrev = ascii_upper(first)[0] + ascii_upper(surname1)[0] + ascii_upper(surname2)[0]
        if abbrev in used:
            abbrev = abbrev + str(sum(1 for a in used if a.startswith(abbrev)))
        used.add(abbrev)
        year = 2005 + (i * 3) % 19
        rows.append((str(1020300 + i * 17), "01/09/%d" % year,
                     "%s %s, %s" % (surname1, surname2, first), abbrev))
    return rows


def groups():
    """(UNIDAD, ABREV, TURNO, NIVEL, CURSO, GRUPO) for each group."""
    rows = []
    for level, shift, courses, letters, tag in LEVELS:
        for course in courses:
            for letter in letters:
                unit = str(7701000 + len(rows) * 3)
                rows.append((unit, course + tag + letter, shift, level, course, letter))
    return rows


def rooms(group_rows):
    """(DEPCENTRO, ABREV, NOMBRE, EDIFICIO): one room per morning group
    (afternoon groups share them), then the special rooms."""
    rows = []
    morning = [g for g in group_rows if g[2] == "M"]
    for n, _ in enumerate(morning, start=1):
        building = "A" if n <= 24 else "B"
        rows.append((str(5500100 + n), "A%02d" % n, "Aula %d" % n, building))
    special = [
        ("LAB1", "Laboratorio de Biología", "B"), ("LAB2", "Laboratorio de Física y Química", "B"),
        ("GIM", "Gimnasio", "C"), ("MUS", "Aula de Música", "A"),
        ("PLA", "Aula de Plástica", "A"), ("TEC1", "Taller de Tecnología", "C"),
        ("INF1", "Aula de Informática 1", "C"), ("INF2", "Aula de Informática 2", "C"),
        ("INF3", "Aula de Informática 3", "C"), ("BIB", "Biblioteca", "A"),
    ]
    for n, (abbrev, name, building) in enumerate(special, start=1):
        rows.append((str(5500900 + n), abbrev, name, building))
    return rows


def assignments(group_rows):
    """(CASIG, CGRUP, CAULA, TURNO, NIVEL, CURSO, GRUPO, minutes, MATERIA)."""
    materia = {cod: ident for cod, _, _, ident in SUBJECTS}
    rows = []
    rotation = {level: 0 for level in ROTATING}
    for index, (unit, abbrev, shift, level, course, letter) in enumerate(group_rows):
        own_room = "A%02d" % (index + 1) if shift == "M" else "INF%d" % (index % 3 + 1)
        for entry in CURRICULUM[level]:
            if entry is None:
                options = ROTATING[level]
                entry = options[rotation[level] % len(options)]
                rotation[level] += 1
            cod, minutes = entry
            room = SPECIAL_ROOMS.get(cod, own_room)
            rows.append((cod, abbrev, room, shift, level, course, letter, str(minutes),
                         materia[cod]))
    return rows


def slots():
    """(CODIGO_GESTARO, NOMBRE, INICIO, FIN, NINUTOS) for L1 .. V6."""
    rows = []
    for d, day in enumerate(DAYS):
        for h, (start, end) in enumerate(HOURS, start=1):
            rows.append((str(904000 + d * 10 + h), "%s%d" % (day, h), start, end, "55"))
    return rows


def value(key, text, pad=False):
    inner = escape(text)
    if pad:  # as some exports write it: blanks and a line break around
        inner = "  %s\n          " % inner
    return "        <salida dato=%s>%s</salida>\n" % (quoteattr(key), inner)


def element(keys, values, pad_position=None):
    body = "".join(value(k, v, pad=(i == pad_position)) for i, (k, v) in enumerate(zip(keys, values)))
    return "      <listasal>\n%s      </listasal>\n" % body


def output_list(seq, elements):
    return '    <listasal seq="%s">\n%s    </listasal>\n' % (seq, "".join(elements))


def document():
    group_rows = groups()

    subject_keys = ("MATERIA", "COD", "CODLARGO", "NOMBRE")
    subjects = [element(subject_keys, (m, c, l, n)) for c, l, n, m in SUBJECTS]
    c, l, n, m = REPEATED_SUBJECT
    subjects.insert(5, element(subject_keys, (m, c, l, n)))
    subjects.append(element(subject_keys[:1], (SINGLE_VALUE_SUBJECT,)))

    teacher_keys = ("X_EMPLEADO", "F_TOMAPOS", "NOMBRE", "ABREV")
    teacher_elements = [element(teacher_keys, t, pad_position=2 if i % 9 == 4 else None)
                        for i, t in enumerate(teachers())]

    room_keys = ("DEPCENTRO", "ABREV", "NOMBRE", "EDIFICIO")
    room_elements = [element(room_keys, r) for r in rooms(group_rows)]

    group_keys = ("UNIDAD", "ABREV", "TURNO", "NIVEL", "CURSO", "GRUPO")
    group_elements = [element(group_keys, g) for g in group_rows]

    assignment_keys = ("CASIG", "CGRUP", "CAULA", "TURNO", "NIVEL", "CURSO", "GRUPO",
                       "MINUTOS", "MATERIA")
    assignment_elements = [element(assignment_keys, a) for a in assignments(group_rows)]

    slot_keys = ("CODIGO_GESTARO", "NOMBRE", "INICIO", "FIN", "NINUTOS")
    slot_elements = []
    for code, name, start, end, minutes in slots():
        if name == "L1":  # named twice: the later key, DIA, gives the name
            slot_elements.append(element(
                ("CODIGO_GESTARO", "NOMBRE", "INICIO", "FIN", "NINUTOS", "DIA"),
                (code, "Lunes 1ª hora", start, end, minutes, name)))
        else:
            slot_elements.append(element(slot_keys, (code, name, start, end, minutes)))

    return ('<?xml version="1.0" encoding="ISO-8859-1"?>\n'
            "<SERVICIO>\n"
            "  <SALIDAS>\n"
            + output_list("MATERIAS", subjects)
            + output_list("PROFESORES", teacher_elements)
            + output_list("AULAS", room_elements)
            + output_list("GRUPOS", group_elements)
            + output_list("ASIGNATURAS", assignment_elements)
            + output_list("TRAMOS", slot_elements)
            + "  </SALIDAS>\n"
            "</SERVICIO>\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "instituto_ejemplo.xml")
    with open(target, "w", encoding="iso-8859-1", newline="\n") as out:
        out.write(document())


if __name__ == "__main__":
    main()
