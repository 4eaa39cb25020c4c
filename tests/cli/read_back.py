"""Reads exports back for the export tests with Python's own csv module and codecs.

  read_back.py csv FILE           the rows of an RFC 4180 CSV file (UTF-8) as a JSON array
  read_back.py decode CODEC FILE  each line of FILE (hex bytes) decoded from CODEC, as a JSON
                                  array of strings
"""
import csv
import json
import sys


def main():
    if sys.argv[1] == "csv":
        with open(sys.argv[2], newline="", encoding="utf-8", errors="strict") as f:
            rows = list(csv.reader(f, strict=True))
        json.dump(rows, sys.stdout)
    elif sys.argv[1] == "decode":
        with open(sys.argv[3], encoding="ascii") as f:
            lines = f.read().split("\n")[:-1]
        json.dump([bytes.fromhex(line).decode(sys.argv[2]) for line in lines], sys.stdout)
    else:
        sys.exit("unknown mode " + sys.argv[1])


main()
