"""Compares SQLite databases an export wrote with what `mendrix-cli dump` says of each table.

  sql_round_trip.py CLI DATABASE[,DATABASE...] LINES TABLE...

LINES is the export's standard output ("NAME.DB: N records written to FILE as SQLNAME", one
line per table, in the order written); each line is matched to the first TABLE path of that
file name not matched yet. For every table: the record count of the line, of the dump and of
the SQL table agree; every value equals the dump's (text decoded from the table's code page
by Python's codecs, blobs byte for byte, numbers as numbers); a keyed table has its PRIMARY
KEY (or the warned plain index), and every X/XG index file beside the table has its index.
Prints one line per difference and exits 1 when there is any.
"""
import decimal
import os
import re
import sqlite3
import subprocess
import sys

ALPHA, DATE, SHORT, LONG, MONEY, NUMBER, LOGICAL = 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x09
MEMO, BLOB, FMTMEMO, OLE, GRAPHIC = 0x0C, 0x0D, 0x0E, 0x0F, 0x10
TIME, TIMESTAMP, AUTOINC, BCD, BYTES = 0x14, 0x15, 0x16, 0x17, 0x18

problems = []


def run(*args):
    return subprocess.run(args, capture_output=True, check=False).stdout


def info_of(cli, table):
    text = run(cli, "info", table).decode("latin-1")
    code_page = int(re.search(r"^code page: (\d+)", text, re.M).group(1))
    sort_order = re.search(r"^sort order: (.*)$", text, re.M).group(1)
    keys = int(re.search(r"^key fields: (-?\d+)", text, re.M).group(1))
    types = [int(t, 16) for t in re.findall(r"^field \d+: .* type=0x([0-9a-f]{2})", text, re.M)]
    if code_page == 0:
        codec = "hp_roman8" if "BLROM800" in sort_order else "cp437"
    else:
        codec = "cp%d" % code_page
    return codec, keys, types


def unescape(raw):
    out, i = bytearray(), 0
    while i < len(raw):
        if raw[i] == 0x5C and i + 1 < len(raw):
            out += {ord("t"): b"\t", ord("n"): b"\n"}.get(raw[i + 1], raw[i + 1:i + 2])
            i += 2
        else:
            out.append(raw[i])
            i += 1
    return bytes(out)


def expected_value(kind, raw, codec):
    """The value SQLite should hold for a dump field, or ("text", None) for NULL."""
    if raw in (b"\\N", b"\\E") or raw.startswith(b"<blob len="):
        return None
    text = raw.decode("ascii", "replace")
    if kind == ALPHA:
        return unescape(raw).decode(codec, "replace")
    if kind in (SHORT, LONG, AUTOINC):
        return int(text)
    if kind in (NUMBER, MONEY):
        return float(text)
    if kind == LOGICAL:
        return 1 if text == "true" else 0
    if kind == BCD:
        return decimal.Decimal(text)
    if kind in (MEMO, FMTMEMO):
        return bytes.fromhex(text).decode(codec, "replace")
    if kind in (BLOB, OLE, GRAPHIC, BYTES):
        return bytes.fromhex(text)
    return text  # dates, times, timestamps: ISO 8601 text


def same(kind, want, got):
    if want is None or got is None:
        return want is got
    if kind == BCD:
        return want == decimal.Decimal(repr(got) if isinstance(got, float) else str(got))
    if kind in (NUMBER, MONEY):
        return isinstance(got, (int, float)) and float(got) == want
    return want == got


def index_files(table):
    folder, name = os.path.split(table)
    stem = os.path.splitext(name)[0].upper()
    return [f for f in os.listdir(folder or ".")
            if os.path.splitext(f)[0].upper() == stem
            and re.fullmatch(r"\.X([0-9A-F]{2}|G[0-9A-F])", os.path.splitext(f)[1].upper())]


def check(cli, databases, table, sql_name, written):
    codec, keys, types = info_of(cli, table)
    lines = run(cli, "dump", table).split(b"\n")[:-1]
    records = [line for line in lines if line != b"\\E" or len(types) == 1]
    for db in databases:
        compare(db, table, sql_name, written, codec, keys, types, records)


def compare(db, table, sql_name, written, codec, keys, types, records):
    quoted = '"' + sql_name.replace('"', '""') + '"'
    rows = db.execute("SELECT * FROM %s ORDER BY rowid" % quoted).fetchall()
    if not (len(rows) == len(records) == written):
        problems.append("%s: %d rows, %d dump lines, %d written" %
                        (table, len(rows), len(records), written))
        return
    for number, (line, row) in enumerate(zip(records, rows), 1):
        fields = line.split(b"\t")
        for i, kind in enumerate(types):
            want = expected_value(kind, fields[i], codec)
            if not same(kind, want, row[i]):
                problems.append("%s record %d field %d: dump %r, SQLite %r" %
                                (table, number, i + 1, want, row[i]))
    schema = db.execute("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?",
                        (sql_name,)).fetchone()[0]
    indexes = [r[0] for r in db.execute(
        "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = ? "
        "AND sql IS NOT NULL", (sql_name,))]
    if keys > 0 and "PRIMARY KEY" not in schema and sql_name + "_key" not in indexes:
        problems.append("%s: no primary key in %s" % (table, schema))
    for extension in index_files(table):
        label = sql_name + "_" + os.path.splitext(extension)[1][1:].upper()
        if label not in indexes:
            problems.append("%s: no index %s among %s" % (table, label, indexes))


def main():
    cli, database, lines_file = sys.argv[1:4]
    tables = sys.argv[4:]
    databases = [sqlite3.connect(name) for name in database.split(",")]
    checked = 0
    for line in open(lines_file, encoding="utf-8"):
        match = re.fullmatch(r"(.*): (\d+) records written to .* as (.*)\n", line)
        if not match:
            continue
        name, written, sql_name = match.group(1), int(match.group(2)), match.group(3)
        path = next((t for t in tables if os.path.basename(t) == name), None)
        if path is None:
            problems.append("no table given for " + name)
            continue
        tables.remove(path)
        check(cli, databases, path, sql_name, written)
        checked += 1
    for table in tables:
        problems.append("not exported: " + table)
    for problem in problems[:50]:
        print(problem)
    print("%d tables compared, %d differences" % (checked, len(problems)))
    sys.exit(1 if problems else 0)


main()
