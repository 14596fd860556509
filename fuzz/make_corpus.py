#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora from the test cases, one folder per target.

Every golden trace's first line ("#", symbology, code, options of `quillet trace`) and every
line of seeds.txt (the same fields without "#") becomes one input in the layout that
draw_fuzzer.cpp reads, one in the layout of cairo_fuzzer.cpp, one command line for
options_fuzzer.cpp and a row of the tables for table_fuzzer.cpp. Inputs with which a fuzzer once
found a fault (found/TARGET/) join their target's seeds as they are. Usage: make_corpus.py OUTPUT_DIR
"""
import glob
import hashlib
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
TYPES = ["Codabar", "Code_11", "Code_128", "Code_25", "Code_39", "Code_39F", "Code_93",
         "EAN_13", "EAN_8", "ISBN", "Code_MSI", "PostNet", "UPC_A", "UPC_A_Plus", "UPC_E",
         "Code_128_Auto", "GS1_128", "ITF_14", "EAN_13_AddOn", "UPC_A_AddOn", "UPC_E_AddOn",
         "Intelligent_Mail"]
TRUE = {"1", "-1", "true", "yes"}


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            i += 1
            out.append({"t": "\t", "n": "\n"}.get(text[i], text[i]))
        else:
            out.append(text[i])
        i += 1
    return "".join(out)


def arguments(fields):
    symbology, code, options = fields[0], fields[1], fields[2:]
    values = {"--x": "0", "--y": "0", "--width": "15", "--height": "1200", "--text": "1",
              "--bold": "0", "--chk": "0", "--ratio": "3:1"}
    for name, value in zip(options[::2], options[1::2]):
        values[name] = value
    lowered = [name.lower() for name in TYPES]
    return lowered.index(symbology.lower()), code, values


def encode(fields):
    kind, code, values = arguments(fields)
    switches = (values["--bold"].lower() in TRUE) | (values["--chk"].lower() in TRUE) << 1
    switches |= 3 << 2  # pText taken from its field
    ratio = values["--ratio"].encode()[:255]
    return (struct.pack("<BBffhhh", kind, switches, float(values["--x"]), float(values["--y"]),
                        int(values["--width"]), int(values["--height"]), int(values["--text"]))
            + bytes([len(ratio)]) + ratio + code.encode())


def encode_cairo(fields):
    kind, code, values = arguments(fields)
    switches = (values["--bold"].lower() in TRUE) | (values["--chk"].lower() in TRUE) << 1
    switches |= 3 << 2
    ratio = values["--ratio"].encode()[:255]
    # twips at 96 dpi, black bars, no bar reduction, a margin of 10 modules, no clip
    return (struct.pack("<BBBBBBB4BhhhffB", kind, switches, 0, 2, 0, 0, 10, 0, 0, 255, 255,
                        int(values["--width"]), int(values["--height"]), int(values["--text"]),
                        float(values["--x"]), float(values["--y"]), len(ratio))
            + ratio + code.encode())


def encode_options(fields):
    # mode 0: the arguments of `quillet trace`, separated by zero bytes
    return b"\0" + b"\0".join(field.encode() for field in fields)


def encode_table(rows):
    # mode 0 (an even first byte): the table's own bytes
    header = "symbology,code,width,chk\n"
    return header.encode() + b"".join(row.encode() for row in rows)


def csv_row(fields):
    kind, code, values = arguments(fields)
    quoted = '"' + code.replace('"', '""') + '"'
    return f"{TYPES[kind]},{quoted},{values['--width']},{values['--chk']}\n"


def cases():
    for path in sorted(glob.glob(os.path.join(ROOT, "tests", "golden", "*.trace"))):
        with open(path, encoding="utf-8") as trace:
            header = trace.readline().rstrip("\n").split("\t")
        if header and header[0] == "#" and len(header) >= 3:
            yield [unescape(field) for field in header[1:]]
    with open(os.path.join(HERE, "seeds.txt"), encoding="utf-8") as seeds:
        for line in seeds:
            line = line.rstrip("\n")
            if line and not line.startswith("//"):
                fields = [unescape(field) for field in line.split("\t")]
                yield fields if len(fields) >= 2 else fields + [""]


def write(folder, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, hashlib.sha1(data).hexdigest()), "wb") as seed:
        seed.write(data)


def main():
    output = sys.argv[1]
    all_cases = list(cases())
    rows = []
    for fields in all_cases:
        write(os.path.join(output, "draw"), encode(fields))
        write(os.path.join(output, "cairo"), encode_cairo(fields))
        write(os.path.join(output, "options"), encode_options(fields))
        if "\n" not in fields[1] and "\r" not in fields[1]:
            rows.append(csv_row(fields))
    # The rows in tables of a few rows each, as batch reads them, and as fields to write out.
    for start in range(0, len(rows), 8):
        write(os.path.join(output, "table"), encode_table(rows[start:start + 8]))
    for separator in (0, 1):
        fields = b"".join(bytes([len(text) | (128 if last else 0)]) + text
                          for fields in all_cases[:8]
                          for last, text in ((False, fields[0].encode()[:63]),
                                             (True, fields[1].encode()[:63])))
        write(os.path.join(output, "table"), bytes([1, separator]) + fields)
    # Inputs that once found a fault, kept as they were found (fuzz/found/TARGET/).
    for path in sorted(glob.glob(os.path.join(HERE, "found", "*", "*"))):
        with open(path, "rb") as found:
            write(os.path.join(output, os.path.basename(os.path.dirname(path))), found.read())
    print(f"make_corpus: {len(all_cases)} cases in {output}")


if __name__ == "__main__":
    main()
