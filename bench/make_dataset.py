#!/usr/bin/env python3
"""Writes a synthetic exchange document and a matching timetable (SOLUC.DBF)
of a chosen size, for measuring the export and the import.

Deterministic for a given seed and size; standard library only. The document
is ISO-8859-1 (accented names), valid for the export: every list the export
reads is there, every minutes value is a whole number.

What a real school's files do is there too, so that the look-ups meet
duplicates and misses at every size:
  - a subject listed again with its code in another letter case (dropped by
    the export's de-duplication), and task subjects ("G" identifiers);
  - two teachers sharing one ABREV (both get the same lessons);
  - a room without ABREV (its DEPCENTRO stands in);
  - time slots whose name appears twice (the first one found wins), and
    slots named by the key DIA after NOMBRE;
  - assignments repeating a subject and group with another MATERIA;
  - timetable rows with codes that match nothing: unknown rooms, groups,
    subjects and hours, rows of a teacher who is not in the document, rows
    with DIA 0 (not placed) and a deleted row.
Codes are at most four characters: a letter followed by three base-36
digits, so a region-size case has room for 46,656 codes per letter.

Usage:
  make_dataset.py --teachers N --lessons N [--seed N] OUTDIR
  make_dataset.py --case large|region|region10 [--seed N] OUTDIR
Writes OUTDIR/escuela.xml and OUTDIR/SOLUC.DBF and prints their sizes.
"""

import argparse
import pathlib
import random
import struct
import sys
from xml.sax.saxutils import escape, quoteattr

CASES = {
    # A large secondary school.
    "large": (200, 6000),
    # A tenth of the region, the base of the growth ratio.
    "region10": (500, 15000),
    # Every school of a region in one document: the stress case.
    "region": (5000, 150000),
}

DIGITS36 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
DAYS = "LMXJV"
HOURS_PER_DAY = 12

FIRST_NAMES = ["Ana", "José", "María", "Íñigo", "Lucía", "Álvaro", "Begoña",
               "Raúl", "Inés", "Jesús", "Óscar", "Nuria", "Rocío", "Ramón"]
SURNAMES = ["García", "Fernández", "López", "Martínez", "Sánchez", "Pérez",
            "Muñoz", "Jiménez", "Díaz", "Álvarez", "Núñez", "Castaño",
            "Domínguez", "Vázquez", "Cortés", "Iglesias"]
SUBJECT_WORDS = ["Lengua", "Matemáticas", "Inglés", "Física", "Química",
                 "Biología", "Geografía", "Música", "Tecnología", "Francés",
                 "Educación", "Programación", "Economía", "Filosofía"]


def code36(letter, number):
    """A four-character code: `letter` then `number` in three base-36
    digits."""
    if not 0 <= number < 36 ** 3:
        raise ValueError("code number out of range: %d" % number)
    digits = ""
    for _ in range(3):
        number, d = divmod(number, 36)
        digits = DIGITS36[d] + digits
    return letter + digits


def padded(rng, text):
    """Sometimes blanks and a line break around a value, as some documents
    have; the export trims them."""
    if rng.random() < 0.03:
        return " %s\n        " % text
    return text


class Writer:
    """The document as a list of lines, written once at the end."""

    def __init__(self, rng):
        self.rng = rng
        self.lines = ['<?xml version="1.0" encoding="ISO-8859-1"?>',
                      "<SERVICIO>", "  <SALIDAS>"]

    def open_list(self, seq):
        self.lines.append("    <listasal seq=%s>" % quoteattr(seq))

    def close_list(self):
        self.lines.append("    </listasal>")

    def element(self, values):
        """One list element; `values` is a list of (key, text)."""
        self.lines.append("      <listasal>")
        for key, text in values:
            self.lines.append('        <salida dato=%s>%s</salida>'
                              % (quoteattr(key), escape(padded(self.rng, text))))
        self.lines.append("      </listasal>")

    def finish(self, path):
        self.lines += ["  </SALIDAS>", "  <ENTRADAS/>", "</SERVICIO>", ""]
        data = "\n".join(self.lines).encode("iso-8859-1")
        path.write_bytes(data)
        return len(data)


def make_subjects(rng, count):
    """(MATERIA, COD, CODLARGO, NOMBRE); about one in twenty is a task."""
    subjects = []
    for i in range(count):
        task = i % 20 == 19
        materia = ("G%05d" % i) if task else str(300000 + i)
        name = "%s %d" % (SUBJECT_WORDS[i % len(SUBJECT_WORDS)], i // len(SUBJECT_WORDS) + 1)
        subjects.append((materia, code36("S", i), "C%07d" % i, name))
    return subjects


def make_teachers(rng, count):
    """(X_EMPLEADO, F_TOMAPOS, NOMBRE, ABREV); every fortieth teacher shares
    the ABREV of the one before."""
    teachers = []
    for i in range(count):
        abrev = code36("P", i - 1 if i % 40 == 39 else i)
        name = "%s %s, %s" % (SURNAMES[i % len(SURNAMES)],
                              SURNAMES[(i * 7 + 3) % len(SURNAMES)],
                              FIRST_NAMES[(i * 5) % len(FIRST_NAMES)])
        teachers.append((str(1000000 + i * 17), "01/09/%d" % (2000 + i % 24),
                         name, abrev))
    return teachers


def make_rooms(count):
    """(DEPCENTRO, ABREV, NOMBRE, EDIFICIO); one room in fifty has no ABREV."""
    rooms = []
    for i in range(count):
        abrev = "" if i % 50 == 49 else code36("A", i)
        rooms.append((str(700000 + i), abrev, "Aula %d" % (i + 1),
                      "Edificio %d" % (i // 40 + 1)))
    return rooms


def make_groups(count):
    """(UNIDAD, ABREV, TURNO, NIVEL, CURSO, GRUPO); some without level."""
    groups = []
    for i in range(count):
        level = "" if i % 25 == 24 else ["ESO", "BACH", "CFGM", "CFGS"][i % 4]
        groups.append((str(800000 + i), code36("G", i), "MT"[i % 2], level,
                       str(i % 4 + 1), DIGITS36[10 + i % 8]))
    return groups


def write_document(rng, path, subjects, teachers, rooms, groups, assignments):
    doc = Writer(rng)

    doc.open_list("MATERIAS")
    for i, (materia, cod, codlargo, name) in enumerate(subjects):
        doc.element([("MATERIA", materia), ("COD", cod),
                     ("CODLARGO", codlargo), ("NOMBRE", name)])
        if i % 50 == 10:
            # The same code again in small letters: dropped by the export.
            doc.element([("MATERIA", materia), ("COD", cod.lower()),
                         ("CODLARGO", codlargo), ("NOMBRE", name + " (bis)")])
    doc.element([("MATERIA", "399999")])  # a single value: passed over
    doc.close_list()

    doc.open_list("PROFESORES")
    for x_empleado, f_tomapos, name, abrev in teachers:
        doc.element([("X_EMPLEADO", x_empleado), ("F_TOMAPOS", f_tomapos),
                     ("NOMBRE", name), ("ABREV", abrev)])
    doc.close_list()

    doc.open_list("AULAS")
    for depcentro, abrev, name, building in rooms:
        doc.element([("DEPCENTRO", depcentro), ("ABREV", abrev),
                     ("NOMBRE", name), ("EDIFICIO", building)])
    doc.close_list()

    doc.open_list("GRUPOS")
    for unidad, abrev, turno, nivel, curso, grupo in groups:
        doc.element([("UNIDAD", unidad), ("ABREV", abrev), ("TURNO", turno),
                     ("NIVEL", nivel), ("CURSO", curso), ("GRUPO", grupo)])
    doc.close_list()

    doc.open_list("ASIGNATURAS")
    for casig, group, room, minutes, materia in assignments:
        _, gabrev, turno, nivel, curso, grupo = group
        doc.element([("CASIG", casig), ("CGRUP", gabrev), ("CAULA", room),
                     ("TURNO", turno), ("NIVEL", nivel), ("CURSO", curso),
                     ("GRUPO", grupo), ("MINUTOS", minutes),
                     ("MATERIA", materia)])
    doc.close_list()

    doc.open_list("TRAMOS")
    number = 0
    for day in DAYS:
        for hour in range(1, HOURS_PER_DAY + 1):
            name = "%s%d" % (day, hour)
            start = "%02d:%02d" % (8 + (hour - 1) * 55 // 60, (hour - 1) * 55 % 60)
            end = "%02d:%02d" % (8 + hour * 55 // 60, hour * 55 % 60)
            values = [("CODIGO_GESTARO", str(900000 + number)),
                      ("NOMBRE", name), ("INICIO", start), ("FIN", end),
                      ("NINUTOS", "55")]
            if hour % 5 == 0:
                # Named again by DIA, the later key: the same name wins.
                values.insert(2, ("DIA", name))
            doc.element(values)
            number += 1
            if hour == 3:
                # A second slot of the same name: the first one is found.
                doc.element([("CODIGO_GESTARO", str(990000 + number)),
                             ("NOMBRE", name), ("NINUTOS", "30")])
    doc.close_list()
    return doc.finish(path)


def make_assignments(rng, lessons, subjects, groups, rooms):
    """Assignments whose hours add up to about `lessons`: (CASIG, group,
    CAULA, minutes, MATERIA) and the hours each gets in the timetable."""
    assignments, hours = [], []
    total = 0
    while total < lessons:
        subject = subjects[rng.randrange(len(subjects))]
        group = groups[rng.randrange(len(groups))]
        room = rooms[rng.randrange(len(rooms))][1]
        h = rng.choice([1, 2, 2, 3, 3, 4, 5])
        minutes = str(h * 60 if rng.random() < 0.9 else h * 60 - 30)
        materia = subject[0]
        if rng.random() < 0.02:
            materia = str(int(materia) + 1) if materia.isdigit() else materia
        assignments.append((subject[1], group, room, minutes, materia))
        hours.append(h)
        total += h
    return assignments, hours


FIELDS = [("PROF", "C", 4, 0), ("DIA", "N", 2, 0), ("HORA", "N", 2, 0),
          ("TAREA", "C", 4, 0), ("AULA", "C", 4, 0), ("CODGRUPO", "C", 4, 0),
          ("ASIG", "C", 4, 0)]


def make_soluc(rng, lessons, assignments, hours, teachers, subjects):
    """(PROF, DIA, HORA, TAREA, AULA, CODGRUPO, ASIG, deleted) rows, exactly
    `lessons` of them."""
    tasks = [s[1] for s in subjects if s[0].startswith("G")]
    rows = []
    for (casig, group, room, _, _), h in zip(assignments, hours):
        teacher = teachers[rng.randrange(len(teachers))][3]
        for _ in range(h):
            day = rng.randint(1, len(DAYS))
            hour = rng.randint(1, HOURS_PER_DAY)
            tarea = ""
            aula, codgrupo, asig = room, group[1], casig
            r = rng.random()
            if r < 0.02:
                day = 0  # not placed
            elif r < 0.03:
                hour = HOURS_PER_DAY + 1  # no such slot
            elif r < 0.04:
                aula = "Z" + aula[1:] if aula else "ZZZ"  # unknown room
            elif r < 0.05:
                codgrupo = "X" + codgrupo[1:]  # unknown group
            elif r < 0.06:
                asig = asig.lower()  # another letter case: no match
            elif r < 0.10 and tasks:
                # A duty session: task code, no group, room or subject.
                tarea = tasks[rng.randrange(len(tasks))]
                aula = codgrupo = asig = ""
            elif r < 0.11:
                tarea = "T%03d" % rng.randrange(1000)  # unknown task
            rows.append([teacher, day, hour, tarea, aula, codgrupo, asig, False])
            if len(rows) == lessons:
                break
        if len(rows) == lessons:
            break
    # A teacher who is not in the document, and a deleted row.
    if len(rows) >= 3:
        rows[len(rows) // 3][0] = "QQQQ"
        rows[len(rows) // 2][7] = True
    rng.shuffle(rows)
    return rows


def write_soluc(path, rows):
    """dBase III, code page 1252, no memo, no index."""
    record_length = 1 + sum(f[2] for f in FIELDS)
    header_length = 32 + 32 * len(FIELDS) + 1
    out = [struct.pack("<BBBBIHH20x", 0x03, 124, 1, 1, len(rows),
                       header_length, record_length)]
    # Language driver byte 29: 0x03, Windows ANSI.
    out[0] = out[0][:29] + b"\x03" + out[0][30:]
    for name, kind, width, decimals in FIELDS:
        out.append(struct.pack("<11sc4xBB14x", name.encode("ascii"),
                               kind.encode("ascii"), width, decimals))
    out.append(b"\r")
    for row in rows:
        record = [b"*" if row[7] else b" "]
        for (name, kind, width, _), value in zip(FIELDS, row):
            if kind == "N":
                record.append(str(value).rjust(width).encode("ascii"))
            else:
                record.append(value.encode("cp1252").ljust(width)[:width])
        out.append(b"".join(record))
    out.append(b"\x1a")
    data = b"".join(out)
    path.write_bytes(data)
    return len(data)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--case", choices=sorted(CASES))
    parser.add_argument("--teachers", type=int)
    parser.add_argument("--lessons", type=int)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("outdir", type=pathlib.Path)
    args = parser.parse_args(argv)
    if args.case:
        teachers_count, lessons = CASES[args.case]
    elif args.teachers and args.lessons:
        teachers_count, lessons = args.teachers, args.lessons
    else:
        parser.error("give --case, or --teachers and --lessons")

    rng = random.Random(args.seed)
    subjects = make_subjects(rng, max(40, teachers_count // 2))
    teachers = make_teachers(rng, teachers_count)
    rooms = make_rooms(max(20, teachers_count // 3))
    groups = make_groups(max(10, teachers_count // 4))
    assignments, hours = make_assignments(rng, lessons, subjects, groups, rooms)
    rows = make_soluc(rng, lessons, assignments, hours, teachers, subjects)

    args.outdir.mkdir(parents=True, exist_ok=True)
    doc_size = write_document(rng, args.outdir / "escuela.xml", subjects,
                              teachers, rooms, groups, assignments)
    dbf_size = write_soluc(args.outdir / "SOLUC.DBF", rows)
    print("escuela.xml %d bytes, %d assignments; SOLUC.DBF %d bytes, %d rows"
          % (doc_size, len(assignments), dbf_size, len(rows)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
