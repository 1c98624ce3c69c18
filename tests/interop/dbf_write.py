"""Writes a table with the dbf package (an independent xBase writer) from records given as JSON
on standard input: a list of [name, amount, day, ok, notes, deleted] with amount a decimal text
or null, day YYYYMMDD or "", ok "T", "F" or "" (unknown), notes a text.

usage: dbf_write.py TABLE.dbf DBF_TYPE     (fp: FoxPro 0xF5; vfp: Visual FoxPro 0x30)
"""
import datetime
import json
import sys

import dbf


def main():
    path, kind = sys.argv[1], sys.argv[2]
    rows = json.loads(sys.stdin.buffer.read().decode('utf-8'))
    table = dbf.Table(path, 'name C(20); amount N(10,2); day D; ok L; notes M',
                      dbf_type=kind, codepage='cp1252')
    table.open(dbf.READ_WRITE)
    for name, amount, day, ok, notes, deleted in rows:
        table.append((
            name,
            float(amount) if amount is not None else None,
            datetime.datetime.strptime(day, '%Y%m%d').date() if day else None,
            {'T': True, 'F': False}.get(ok),
            notes,
        ))
        if deleted:
            dbf.delete(table[-1])
    table.close()


if __name__ == '__main__':
    main()
