#!/usr/bin/env python3
"""Writes the draw fuzzer's seed corpus from the test cases.

Every golden trace's first line ("#", symbology, code, options of `quillet trace`) and every
line of seeds.txt (the same fields without "#") becomes one input in the layout that
draw_fuzzer.cpp reads. Usage: make_corpus.py OUTPUT_DIR
"""
import glob
import hashlib
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
TYPES = ["Codabar", "Code_11", "Code_128", "Code_25", "Code_39", "Code_39F", "Code_93",
         "EAN_13", "EAN_8", "ISBN", "Code_MSI", "PostNet", "UPC_A", "UPC_A_Plus", "UPC_E"]
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


def encode(fields):
    symbology, code, options = fields[0], fields[1], fields[2:]
    values = {"--x": "0", "--y": "0", "--width": "15", "--height": "1200", "--text": "1",
              "--bold": "0", "--chk": "0", "--ratio": "3:1"}
    for name, value in zip(options[::2], options[1::2]):
        values[name] = value
    lowered = [name.lower() for name in TYPES]
    kind = lowered.index(symbology.lower())
    switches = (values["--bold"].lower() in TRUE) | (values["--chk"].lower() in TRUE) << 1
    switches |= 3 << 2  # pText taken from its field
    ratio = values["--ratio"].encode()[:255]
    return (struct.pack("<BBffhhh", kind, switches, float(values["--x"]), float(values["--y"]),
                        int(values["--width"]), int(values["--height"]), int(values["--text"]))
            + bytes([len(ratio)]) + ratio + code.encode())


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


def main():
    output = sys.argv[1]
    os.makedirs(output, exist_ok=True)
    count = 0
    for fields in cases():
        data = encode(fields)
        with open(os.path.join(output, hashlib.sha1(data).hexdigest()), "wb") as seed:
            seed.write(data)
        count += 1
    print(f"make_corpus: {count} seeds in {output}")


if __name__ == "__main__":
    main()
