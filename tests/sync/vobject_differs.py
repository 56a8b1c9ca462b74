"""What python3-vobject reads differently in two vCard files, card by card:
"- NAME" for a property of the first that the second lacks, "+ NAME" for
one only the second has (group, parameters and value compared)."""
import sys

import vobject


def properties(path):
    out = []
    for card in vobject.readComponents(open(path, encoding="utf-8").read()):
        for child in card.getChildren():
            params = sorted((k, tuple(v)) for k, v in child.params.items())
            out.append((child.name, (child.group or "").upper(), repr(params), repr(child.value)))
    return out


before, after = properties(sys.argv[1]), properties(sys.argv[2])
for p in before:
    if p in after:
        after.remove(p)
    else:
        print("-", p[0])
for p in after:
    print("+", p[0])
