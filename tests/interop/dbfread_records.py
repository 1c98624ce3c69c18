"""Reads a table with dbfread and prints its version byte (decimal) on the first line, its fields
as a JSON list of [name, type, length, decimals] on the second, then one JSON line per record:
live records in file order, then deleted ones (dbfread keeps the two apart). Each record line is
[deleted, value, ...] with
    C  the text without trailing blanks
    N  the number with the field's decimals, or null when the field is blank
    D  YYYYMMDD, or null for the empty date
    L  true / false, or null for '?' or a blank
    M  the memo text ("" for none)
Texts are read as code page 1252 and written as UTF-8.

usage: dbfread_records.py TABLE.dbf
"""
import json
import sys

import dbfread


def canonical(field, value):
    if value is None:
        return '' if field.type == 'M' else None
    if field.type == 'N':
        return '%.*f' % (field.decimal_count, value)
    if field.type == 'D':
        return value.strftime('%Y%m%d')
    if field.type == 'M' and not isinstance(value, str):
        raise SystemExit('memo %s is not a text memo: %r' % (field.name, value))
    return value


def main():
    table = dbfread.DBF(sys.argv[1], encoding='cp1252', char_decode_errors='strict', load=True)
    out = sys.stdout.buffer

    def line(value):
        out.write(json.dumps(value, ensure_ascii=False, separators=(',', ':')).encode('utf-8'))
        out.write(b'\n')

    line(table.header.dbversion)
    line([[f.name, f.type, f.length, f.decimal_count] for f in table.fields])
    for deleted, records in ((False, table.records), (True, table.deleted)):
        for rec in records:
            line([deleted] + [canonical(f, rec[f.name]) for f in table.fields])


if __name__ == '__main__':
    main()
