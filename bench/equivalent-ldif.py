#!/usr/bin/env python3
"""Prints the LDIF that turns one dump of a partition into another, for ldapadd.

Usage: equivalent-ldif.py BEFORE AFTER       the changes, as LDIF on standard output
       equivalent-ldif.py --compare A B      the number of entries that differ (0: the same)

BEFORE and AFTER are `ldapsearch -LLL -o ldif_wrap=no ... '*'` outputs of the same partition, taken
before and after a run of the program. The changes are what that run wrote: deleted entries
(children first), added entries (parents first) with every attribute they hold, and for the other
entries a replace of each attribute whose values changed or a delete of one that went away.
Attributes the directory keeps itself (time stamps, update numbers, its identifiers, what it fills
in for a new account, the pool it takes new accounts' identifiers from) are left out, since ldapadd
may not write them and the program did not.
"""
import sys

GENERATED = {name.lower() for name in (
    "objectGUID", "objectSid", "whenCreated", "whenChanged", "uSNCreated", "uSNChanged",
    "dSCorePropagationData", "distinguishedName", "name", "instanceType", "sAMAccountType",
    "primaryGroupID", "pwdLastSet", "accountExpires", "codePage", "countryCode", "logonCount",
    "badPwdCount", "badPasswordTime", "lastLogon", "lastLogoff", "lastLogonTimestamp",
    "lockoutTime", "isCriticalSystemObject", "objectCategory", "sAMAccountName",
    "userAccountControl", "rIDNextRID", "rIDAllocationPool", "rIDPreviousAllocationPool",
    "rIDUsedPool")}


def read_dump(path):
    """dn (lower case) -> (dn as written, {attribute (lower case): (name, [value lines])})."""
    entries = {}
    dn = None
    with open(path, encoding="utf-8", errors="surrogateescape") as source:
        for line in source:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                dn = None
                continue
            name, sep, _ = line.partition(":")
            if not sep:
                continue
            if name.lower() == "dn":
                dn = line
                entries[line.lower()] = (line, {})
                continue
            if dn is None or name.lower() in GENERATED:
                continue
            attributes = entries[dn.lower()][1]
            attributes.setdefault(name.lower(), (name, []))[1].append(line)
    return entries


def depth(dn_line):
    return dn_line.count(",")


def changes(before, after):
    out = []
    for key in sorted(set(before) - set(after), key=lambda k: -depth(k)):
        out.append(f"{before[key][0]}\nchangetype: delete\n")
    for key in sorted(set(after) - set(before), key=depth):
        dn, attributes = after[key]
        lines = [dn, "changetype: add"]
        for _, values in attributes.values():
            lines.extend(values)
        out.append("\n".join(lines) + "\n")
    for key in sorted(set(after) & set(before), key=depth):
        dn, new = after[key]
        old = before[key][1]
        mods = []
        for attr in sorted(set(new) | set(old)):
            if attr not in new:
                mods.append(f"delete: {old[attr][0]}\n-")
            elif attr not in old or sorted(old[attr][1]) != sorted(new[attr][1]):
                name, values = new[attr]
                mods.append("\n".join([f"replace: {name}", *values, "-"]))
        if mods:
            out.append("\n".join([dn, "changetype: modify", *mods]) + "\n")
    return out


def differing(a, b):
    count = 0
    for key in set(a) | set(b):
        if key not in a or key not in b:
            count += 1
            continue
        left = {k: sorted(v[1]) for k, v in a[key][1].items()}
        right = {k: sorted(v[1]) for k, v in b[key][1].items()}
        count += left != right
    return count


def main(argv):
    if len(argv) == 4 and argv[1] == "--compare":
        print(differing(read_dump(argv[2]), read_dump(argv[3])))
        return 0
    if len(argv) != 3:
        sys.exit("usage: equivalent-ldif.py BEFORE AFTER | --compare A B")
    sys.stdout.write("\n".join(changes(read_dump(argv[1]), read_dump(argv[2]))))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
