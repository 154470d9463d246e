#!/usr/bin/env python3
"""Writes the small legacy DBF files of the demo (dBase III, text in Windows-1250).

    demo_dbf.py FOLDER

TARV09.DBF carries the field FORMALNE that marks recent legacy data; TARV01.DBF holds
companies, TARV02.DBF their telephone numbers, TARV03.DBF their devices, TARV04.DBF service
orders, TARV05.DBF the price list.
"""

import datetime
import struct
import sys
from pathlib import Path


def dbf_bytes(fields, records):
    """fields: (name, type, length, decimals); records: one tuple of texts per record."""
    today = datetime.date.today()
    record_length = 1 + sum(f[2] for f in fields)
    header_length = 32 + 32 * len(fields) + 1
    out = bytearray(struct.pack("<BBBBIHH20x", 0x03, today.year - 1900, today.month, today.day,
                                len(records), header_length, record_length))
    for name, ftype, length, decimals in fields:
        out += struct.pack("<11sc4xBB14x", name.encode("ascii"), ftype.encode("ascii"), length,
                           decimals)
    out += b"\x0d"
    for values in records:
        out += b" "
        for (name, ftype, length, decimals), value in zip(fields, values):
            raw = value.encode("cp1250")
            if len(raw) > length:
                raise ValueError(f"{name}: {value!r} is longer than {length}")
            out += raw.rjust(length) if ftype in "NF" else raw.ljust(length)
    out += b"\x1a"
    return bytes(out)


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)

    version = [("NR", "N", 4, 0), ("OPIS", "C", 30, 0), ("FORMALNE", "L", 1, 0)]
    (folder / "TARV09.DBF").write_bytes(dbf_bytes(version, [("1", "Ustawienia", "T")]))

    companies = [("KOD", "C", 6, 0), ("SKROT", "C", 20, 0), ("NAZWA", "C", 60, 0),
                 ("MIASTO", "C", 30, 0), ("NIP", "C", 13, 0), ("OD_DNIA", "D", 8, 0),
                 ("UWAGI", "C", 30, 0), ("TELEFON", "C", 20, 0), ("GLOWNY", "L", 1, 0),
                 ("PODATNIK", "L", 1, 0), ("KODPOCZ", "C", 6, 0)]
    (folder / "TARV01.DBF").write_bytes(dbf_bytes(companies, [
        ("K00001", "PIEKARNIA", "Piekarnia Złoty Kłos s.c.", "Łódź", "725-000-11-22", "19990304",
         "/stały klient", "042 6300000", "T", "T", "90001"),
        ("K00002", "APTEKA", "Apteka Pod Różą", "Kraków", "676-100-20-30", "20010715",
         "/hurt", "012 4220000", "F", "N", "31072"),
        ("K00003", "SKLEP ŻAK", "Sklep Spożywczy Żak", "Gdańsk", "583-222-33-44", "20050102",
         "", "", "T", "T", "80850"),
        # No name: the company is not migrated, and neither is its telephone.
        ("K00004", "", "", "Opole", "", "", "", "077 4000000", "T", "N", ""),
        # Its short name is taken by the owner company, so it becomes "SERWIS KAS#"; a start
        # date before 1991 becomes 1 January 2000.
        ("K00005", "SERWIS KAS", "Serwis Kas Nowak", "Łódź", "727-111-22-33", "19890301",
         "", "", "F", "T", "93005"),
    ]))

    phones = [("KOD_FIRMY", "C", 6, 0), ("TELEFON", "C", 20, 0), ("OPIS", "C", 30, 0)]
    (folder / "TARV02.DBF").write_bytes(dbf_bytes(phones, [
        ("K00001", "042 6301122", "biuro"),
        ("K00001", "", "brak numeru"),
        ("K00002", "012 4223344", "apteka"),
        ("K00003", "058 3015566", "sklep"),
    ]))

    devices = [("NR_FABR", "C", 20, 0), ("KOD_FIRMY", "C", 6, 0), ("DATA_FISK", "D", 8, 0),
               ("OKRES", "N", 2, 0)]
    (folder / "TARV03.DBF").write_bytes(dbf_bytes(devices, [
        ("ABC 1234567", "K00001", "20030512", "12"),
        ("ABC 7654321", "K00002", "20040220", "24"),
        ("", "K00003", "", "0"),
    ]))

    orders = [("NR", "C", 10, 0), ("KOD_FIRMY", "C", 6, 0), ("NR_FABR", "C", 20, 0),
              ("DATA", "D", 8, 0), ("OPIS", "C", 60, 0), ("KWOTA", "N", 10, 2),
              ("STATUS", "N", 1, 0), ("ILOSC", "N", 6, 2), ("GODZ", "C", 5, 0),
              ("PRZYJAL", "C", 30, 0)]
    (folder / "TARV04.DBF").write_bytes(dbf_bytes(orders, [
        ("Z/2005/002", "K00002", "ABC 7654321", "20050310", "Przegląd okresowy", "120.00", "2",
         "1.00", "09:15", "Kowalski Jan"),
        ("Z/2005/001", "K00001", "ABC 1234567", "20050301", "Wymiana papieru i czyszczenie głowicy",
         "42.75", "1", "2.00", "1330", "Anna Wiśniewska"),
        ("Z/2005/003", "K00001", "", "20050401", "Zlecenie anulowane", "0.00", "0", "1.00", "",
         "Kowalski Jan"),
    ]))

    # The price list: the same service twice, so the second finds the first by its name.
    prices = [("NAZWA", "C", 60, 0), ("CENA", "N", 12, 2)]
    (folder / "TARV05.DBF").write_bytes(dbf_bytes(prices, [
        ("Przegląd okresowy kasy", "120.00"),
        ("Wymiana papieru", "15.50"),
        ("Przegląd okresowy kasy", "120.00"),
    ]))


if __name__ == "__main__":
    main()
