#!/usr/bin/env python3
"""Writes the product's group-policy security templates (GptKorvant.inf) into the sysvol share.

A Windows server writes these files in its ANSI code page with CR LF line ends, and the product
keeps its device and print-control documents in them as nibble strings of a compressed blob, so
the lab keeps readable UTF-8 sources and produces those bytes here at seeding time.

Usage: make-gpt.py SOURCE_DIR IDS_FILE POLICIES_DIR

SOURCE_DIR/templates.conf lists "GPO_KEY source.inf [ctrl-z]" lines: GPO_KEY names the
group-policy object in IDS_FILE (NAME=value lines), source.inf is the readable template. In a
source, lines starting with "#" are notes that stay out of the template, and a value "@file.xml"
becomes the nibble string of that file. "ctrl-z" appends the end-of-file byte some Windows tools
leave after the last line.
"""
import os
import sys
import zlib

CODE_PAGE = "cp1251"
SUFFIX = os.path.join("MACHINE", "Microsoft", "Windows NT", "SecEdit", "GptKorvant.inf")


def fail(message):
    sys.exit(f"make-gpt.py: {message}")


def windows_text(text, where):
    """The text as the server's code page stores it, with CR LF line ends."""
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    try:
        return text.encode(CODE_PAGE)
    except UnicodeEncodeError as error:
        fail(f"{where}: {error.object[error.start:error.end]!r} has no {CODE_PAGE} form")


def nibble_string(data):
    """"ZLIB", the inflated length (little-endian), the zlib stream; hex digits, high nibble
    first, and a last byte that is the sum of the others modulo 256."""
    blob = b"ZLIB" + len(data).to_bytes(4, "little") + zlib.compress(data, 9)
    return (blob + bytes([sum(blob) % 256])).hex().upper()


def template_bytes(source_dir, name):
    path = os.path.join(source_dir, name)
    lines = []
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source.read().splitlines(), 1):
            if line.startswith("#"):
                continue
            key, sep, value = line.partition("=")
            if sep and value.startswith("@"):
                xml_path = os.path.join(source_dir, value[1:])
                with open(xml_path, encoding="utf-8") as xml:
                    document = windows_text(xml.read(), xml_path)
                line = key + "=" + nibble_string(document)
            lines.append(line)
    return windows_text("\n".join(lines) + "\n", path)


def read_ids(path):
    ids = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, sep, value = line.rstrip("\n").partition("=")
            if sep and not key.startswith("#"):
                ids[key] = value
    return ids


def main():
    if len(sys.argv) != 4:
        fail("usage: make-gpt.py SOURCE_DIR IDS_FILE POLICIES_DIR")
    source_dir, ids_file, policies = sys.argv[1:]
    ids = read_ids(ids_file)
    with open(os.path.join(source_dir, "templates.conf"), encoding="utf-8") as manifest:
        for line in manifest:
            words = line.split("#", 1)[0].split()
            if not words:
                continue
            if len(words) not in (2, 3) or (len(words) == 3 and words[2] != "ctrl-z"):
                fail(f"templates.conf: cannot read {line.strip()!r}")
            key, name = words[0], words[1]
            if key not in ids:
                fail(f"templates.conf: {key} is not in {ids_file}")
            data = template_bytes(source_dir, name)
            if len(words) == 3:
                data += b"\x1a"
            target = os.path.join(policies, ids[key], SUFFIX)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main()
