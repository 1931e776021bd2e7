#!/usr/bin/env python3
"""Prints the Base64 of one body of the integrity-check model, built from its readable description.

The product keeps each object of the model as an opaque binary body whose layout depends on the
object's type; the import rewrites four of them (the default group, client entries, the default
job and scenario), reading lengths and offsets out of the body. The lab describes every body by
its parts in seed/icheck/bodies.conf, so that a reader of the seed sees which name, SID, clients
list or scenario text an object carries, and this script lays them out at seeding time.

Usage: make-icheck.py VARS_FILE BODIES_FILE NAME

VARS_FILE holds NAME=value lines ({{NAME}} placeholders of the description are filled from it).
BODIES_FILE holds one [name] section per body:

  layout  = group | job | scenario | raw
  group:    kind (0 a group, 1 a client entry), sid (a SID text, in the 68-byte field at 20),
            block-a, name, block-b, clients (SID texts: a count, then each as a 4-byte length and
            its bytes; "none" for no list at all)
  job:      lead-1, lead-2, name, block-r
  scenario: block-a, name, block-b, text
  raw:      body

Block values: "bytes N label" (N bytes derived from the label, the same label giving the same
bytes), "text ..." (UTF-16LE with its terminating zero; "\\n" is a line break), "empty". A name is
plain text, stored as UTF-16LE with its terminator.
"""
import base64
import hashlib
import re
import sys


def fail(message):
    sys.exit(f"make-icheck.py: {message}")


def le32(value):
    return value.to_bytes(4, "little")


def label_bytes(count, label):
    out = b""
    counter = 0
    while len(out) < count:
        out += hashlib.sha256(f"{label}/{counter}".encode()).digest()
        counter += 1
    return out[:count]


def wide(text):
    return text.encode("utf-16-le") + b"\0\0"


def sid_bytes(text):
    parts = text.split("-")
    if len(parts) < 3 or parts[0] != "S" or not all(p.isdigit() for p in parts[1:]):
        fail(f"not a SID: {text}")
    subs = [int(p) for p in parts[3:]]
    return bytes([int(parts[1]), len(subs)]) + int(parts[2]).to_bytes(6, "big") + b"".join(
        le32(s) for s in subs)


def block(value, where):
    kind, _, rest = value.partition(" ")
    if kind == "empty":
        return b""
    if kind == "text":
        return wide(rest.replace("\\n", "\n"))
    if kind == "bytes":
        count, _, label = rest.partition(" ")
        if not count.isdigit() or not label:
            fail(f"{where}: bytes wants a count and a label")
        return label_bytes(int(count), label)
    fail(f"{where}: unknown block form {value!r}")


def group(body, where):
    kind = int(body.get("kind", "0"))
    field = sid_bytes(body["sid"]) if "sid" in body else b""
    if len(field) > 68:
        fail(f"{where}: the SID does not fit its field")
    a = block(body.get("block-a", "empty"), where)
    name = wide(body["name"])
    b = block(body.get("block-b", "empty"), where)
    out = label_bytes(16, where + "/header") + le32(kind) + field.ljust(68, b"\0")
    out += le32(len(a)) + le32(len(name)) + le32(len(b)) + a + name + b
    clients = body.get("clients", "none").split()
    if clients != ["none"]:
        out += le32(len(clients))
        for sid in clients:
            sid = sid_bytes(sid)
            out += le32(len(sid)) + sid
    return out


def job(body, where):
    lead1 = block(body.get("lead-1", "empty"), where)
    lead2 = block(body.get("lead-2", "empty"), where)
    name = wide(body["name"])
    r = block(body.get("block-r", "empty"), where)
    out = label_bytes(57, where + "/header")
    out += le32(len(lead1)) + le32(len(lead2)) + le32(len(name)) + le32(len(r))
    return out + lead1 + lead2 + name + r


def scenario(body, where):
    a = block(body.get("block-a", "empty"), where)
    name = wide(body["name"])
    b = block(body.get("block-b", "empty"), where)
    text = block(body.get("text", "text "), where)
    out = label_bytes(16, where + "/header")
    out += le32(len(a)) + le32(len(name)) + le32(len(b)) + le32(len(text))
    return out + a + name + b + text


LAYOUTS = {"group": group, "job": job, "scenario": scenario,
           "raw": lambda body, where: block(body["body"], where)}


def read_vars(path):
    values = {}
    with open(path, encoding="utf-8") as source:
        for line in source:
            line = line.rstrip("\n")
            if line and not line.startswith("#") and "=" in line:
                key, _, value = line.partition("=")
                values[key] = value
    return values


def read_bodies(path, variables):
    bodies = {}
    current = None
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            header = re.fullmatch(r"\[([A-Za-z0-9_-]+)\]", line)
            if header:
                current = bodies.setdefault(header.group(1), {})
                continue
            key, sep, value = line.partition("=")
            if not sep or current is None:
                fail(f"{path}:{number}: expected [name] or key = value")

            def fill(match):
                if match.group(1) not in variables:
                    fail(f"{path}:{number}: unknown placeholder {match.group(0)}")
                return variables[match.group(1)]

            current[key.strip()] = re.sub(r"\{\{([A-Z0-9_]+)\}\}", fill, value.strip())
    return bodies


def main():
    if len(sys.argv) != 4:
        fail("usage: make-icheck.py VARS_FILE BODIES_FILE NAME")
    variables = read_vars(sys.argv[1])
    bodies = read_bodies(sys.argv[2], variables)
    name = sys.argv[3]
    if name not in bodies:
        fail(f"no body named {name} in {sys.argv[2]}")
    body = bodies[name]
    layout = body.get("layout")
    if layout not in LAYOUTS:
        fail(f"{name}: unknown layout {layout!r}")
    data = LAYOUTS[layout](body, name)
    if not data:
        fail(f"{name}: an empty body has no value; leave the attribute out")
    print(base64.b64encode(data).decode())


if __name__ == "__main__":
    main()
