"""What python3-vobject reads in each file named: every component and
property with its parameters, values as Python holds them."""
import sys

import vobject


def show(component, depth):
    for child in component.getChildren():
        if isinstance(child, vobject.base.Component):
            print("  " * depth + child.name)
            show(child, depth + 1)
            continue
        value = child.value
        if isinstance(value, str):
            text = repr(value)
        elif hasattr(value, "isoformat") or hasattr(value, "total_seconds"):  # dates, an alarm's TRIGGER
            text = str(value)
        elif isinstance(value, bytes):  # PHOTO, LOGO, KEY
            text = f"<{len(value)} bytes>"
        elif isinstance(value, list):  # ORG, CATEGORIES
            text = repr(value)
        else:  # the parts of N and ADR
            text = repr(list(vars(value).values()))
        params = "".join(f";{k}={','.join(v)}" for k, v in sorted(child.params.items()))
        print("  " * depth + f"{child.name}{params} {text}")


for path in sys.argv[1:]:
    try:
        for component in vobject.readComponents(open(path, encoding="utf-8").read()):
            print(component.name)
            show(component, 1)
    except Exception as e:  # what vobject cannot read is part of the result
        print(f"vobject: {type(e).__name__}")
