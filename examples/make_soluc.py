#!/usr/bin/env python3
"""Writes examples/SOLUC.DBF: a timetable for the bundled example school, as
the timetabling program leaves it in the working directory.

The lessons come from the example exchange document: every teaching
assignment ("ASIGNATURAS") gets a teacher ("PROFESORES", in turn) and as many
weekly sessions as its minutes give hours (at least one), each placed in the
first time slot ("TRAMOS") where its teacher and group are free (and its room
too, where it can be).
Nothing is random, so the file is the same on every run.

Besides the plain lessons the table holds what a real timetable holds too:
duty sessions without group, room or subject; sessions that could not be
placed (DIA 0); a row marked deleted; a lesson in a room and one in an hour
the school does not know; and a row of a teacher who is not in the document.

dBase III layout, code page 1252 text: PROF C(4), DIA N(2,0), HORA N(2,0),
TAREA C(4), AULA C(4), CODGRUPO C(4), ASIG C(4), SESION N(3,0), FIJA L.

Usage: make_soluc.py [DOCUMENT.xml] [OUTPUT.DBF]
(defaults: the example document beside this script, and SOLUC.DBF there).
"""

import pathlib
import struct
import sys
import xml.etree.ElementTree as ET

HERE = pathlib.Path(__file__).resolve().parent
DAY_DIGITS = {"L": 1, "M": 2, "X": 3, "J": 4, "V": 5, "S": 6, "D": 7}

# (name, type, width, decimals), in table order.
FIELDS = [
    ("PROF", "C", 4, 0),
    ("DIA", "N", 2, 0),
    ("HORA", "N", 2, 0),
    ("TAREA", "C", 4, 0),
    ("AULA", "C", 4, 0),
    ("CODGRUPO", "C", 4, 0),
    ("ASIG", "C", 4, 0),
    ("SESION", "N", 3, 0),
    ("FIJA", "L", 1, 0),
]


def value_text(element):
    """The text of a value, trimmed of characters of code 0 to 32."""
    return "".join(element.itertext()).strip("".join(map(chr, range(33))))


def positional(root, seq):
    """Value texts of each list element of a positional list with at least
    two values, in document order."""
    rows = []
    for out in root.findall("SALIDAS/listasal"):
        if out.get("seq") != seq:
            continue
        for element in out.findall("listasal"):
            values = [value_text(v) for v in element.findall("salida")]
            if len(values) >= 2:
                rows.append(values)
    return rows


def at(values, position):
    return values[position] if position < len(values) else ""


def slot_names(root):
    """Names of the time slots (keys NOMBRE or DIA, the last one wins)."""
    names = []
    for out in root.findall("SALIDAS/listasal"):
        if out.get("seq") != "TRAMOS":
            continue
        for element in out.findall("listasal"):
            name = ""
            for value in element.findall("salida"):
                if value.get("dato") in ("NOMBRE", "DIA"):
                    name = value_text(value)
            names.append(name)
    return names


def parse_slot(name):
    """(day, hour) of a slot named by a day letter and an hour number."""
    if len(name) >= 2 and name[0] in DAY_DIGITS and name[1:].isdigit():
        return DAY_DIGITS[name[0]], int(name[1:])
    return None


def school(document):
    root = ET.parse(document).getroot()
    teachers = [at(v, 3) for v in positional(root, "PROFESORES") if at(v, 3)]
    groups = [at(v, 1) for v in positional(root, "GRUPOS") if at(v, 1)]
    rooms = [at(v, 1) or at(v, 0) for v in positional(root, "AULAS")]
    subjects = [(at(v, 1), at(v, 0)) for v in positional(root, "MATERIAS")]
    assignments = []
    for v in positional(root, "ASIGNATURAS"):
        minutes = int(at(v, 7) or 0)
        assignments.append({
            "casig": at(v, 0), "cgrup": at(v, 1), "caula": at(v, 2),
            "hours": max(1, -(-minutes // 60)), "materia": at(v, 8),
        })
    slots = sorted(filter(None, map(parse_slot, slot_names(root))))
    return teachers, groups, rooms, subjects, assignments, slots


def task_of(materia, subjects):
    """The task code the export gives an assignment: the first subject code
    of a management subject that begins with G, "LE" for teaching."""
    if materia.startswith("G"):
        for cod, subject_materia in subjects:
            if subject_materia == materia:
                return cod
        return materia[:4]
    return "LE"


def timetable(teachers, groups, rooms, subjects, assignments, slots):
    """Rows (prof, dia, hora, tarea, aula, codgrupo, asig, deleted)."""
    if not teachers or not slots:
        raise SystemExit("the document has no teachers or no time slots")
    busy = set()  # (kind, code, slot)
    rows = []
    unplaced = []
    load = {prof: 0 for prof in teachers}
    for index, a in enumerate(assignments):
        task = task_of(a["materia"], subjects)
        # Start each assignment at a different slot so that a group's
        # sessions spread over the week.
        start = (index * 7) % len(slots)
        order = slots[start:] + slots[:start]

        def free_slots(prof):
            # Teacher and group must be free; a free room is preferred, but
            # the example's computer rooms are shared by more groups than
            # the week has hours, so a busy one is taken when need be.
            room_free, room_busy = [], []
            for slot in order:
                if ("p", prof, slot) in busy or ("g", a["cgrup"], slot) in busy:
                    continue
                keys = [("p", prof, slot), ("g", a["cgrup"], slot)]
                if a["caula"] and ("a", a["caula"], slot) in busy:
                    room_busy.append((slot, keys))
                else:
                    room_free.append((slot, keys + [("a", a["caula"], slot)]))
            return (room_free + room_busy)[:a["hours"]]

        # The least busy teacher who can take every session, else the one
        # who can take most of them.
        candidates = sorted(teachers, key=lambda p: (load[p], teachers.index(p)))
        prof = max(candidates, key=lambda p: min(len(free_slots(p)),
                                                  a["hours"]) * 1000 -
                   candidates.index(p))
        placed = free_slots(prof)
        for slot, keys in placed:
            busy.update(keys)
            rows.append([prof, slot[0], slot[1], task, a["caula"], a["cgrup"],
                         a["casig"], False])
        load[prof] += a["hours"]
        for _ in range(a["hours"] - len(placed)):
            unplaced.append([prof, 0, 0, task, a["caula"], a["cgrup"],
                             a["casig"], False])

    # Duty sessions: a management task without group, room or subject, for
    # the first two teachers, in their first free slot.
    duty = next((cod for cod, materia in subjects if materia.startswith("G")),
                "GUAR")
    for prof in teachers[:2]:
        slot = next((s for s in slots if ("p", prof, s) not in busy), None)
        if slot:
            busy.add(("p", prof, slot))
            rows.append([prof, slot[0], slot[1], duty, "", "", "", False])

    rows.sort(key=lambda r: (teachers.index(r[0]), r[1], r[2]))

    # What the timetabling program leaves besides the placed lessons.
    unplaced += [[teachers[0], 0, 0, "LE", "", "", "", False]]
    last_day, last_hour = slots[-1]
    first = rows[0]
    rows += unplaced
    rows.append(first[:7] + [True])  # a lesson removed afterwards
    rows.append([first[0], last_day, last_hour + 3, "LE", first[4], first[5],
                 first[6], False])  # an hour the school does not have
    rows.append([teachers[-1], slots[0][0], slots[0][1], "LE", "ZZ9",
                 "ZZ9", "ZZ9", False])  # room, group, subject unknown
    rows.append(["XXX", slots[0][0], slots[0][1], "LE", "", "", "", False])
    return rows


def encode_field(value, ftype, width, decimals):
    if ftype == "C":
        data = str(value).encode("cp1252")[:width]
        return data.ljust(width, b" ")
    if ftype == "N":
        return f"{value:>{width}.{decimals}f}".encode("ascii")
    if ftype == "L":
        return b"T" if value else b"F"
    raise ValueError(ftype)


def write_dbf(path, fields, records):
    """records: (values, deleted) pairs."""
    record_size = 1 + sum(width for _, _, width, _ in fields)
    header_size = 32 + 32 * len(fields) + 1
    out = bytearray()
    # Version 3, last update 2024-09-02, language driver 0x03 (code page 1252).
    out += struct.pack("<BBBBIHH", 0x03, 124, 9, 2, len(records), header_size,
                       record_size)
    out += bytes(17) + bytes([0x03]) + bytes(2)
    for name, ftype, width, decimals in fields:
        out += struct.pack("<11sc4xBB14x", name.encode("ascii"),
                           ftype.encode("ascii"), width, decimals)
    out += b"\r"
    for values, deleted in records:
        out += b"*" if deleted else b" "
        for value, (_, ftype, width, decimals) in zip(values, fields):
            out += encode_field(value, ftype, width, decimals)
    out += b"\x1a"
    pathlib.Path(path).write_bytes(bytes(out))


def default_document():
    documents = sorted(p for p in HERE.glob("*.xml")
                       if not p.name.startswith("ResultadoQuadrix"))
    if len(documents) != 1:
        raise SystemExit("name the example document: " +
                         ", ".join(map(str, documents)))
    return documents[0]


def main(argv):
    document = pathlib.Path(argv[1]) if len(argv) > 1 else default_document()
    output = pathlib.Path(argv[2]) if len(argv) > 2 else HERE / "SOLUC.DBF"
    rows = timetable(*school(document))
    records = []
    for session, row in enumerate(rows, start=1):
        *values, deleted = row
        records.append((values + [session, session % 5 == 0], deleted))
    write_dbf(output, FIELDS, records)
    print(f"{output}: {len(records)} filas")


if __name__ == "__main__":
    main(sys.argv)
