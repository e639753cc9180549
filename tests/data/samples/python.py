#!/usr/bin/env python3
"""Module docstring
spanning two lines."""
from __future__ import annotations

import re as _re
from dataclasses import dataclass, field

PATTERN = r'\d+\.\d*'  # a raw string
DATA = b"\x00\xff" + rb'\n'
NAME = f"{__name__!r:>10}"
LONG = u'''one
two'''
NUMBERS = [0x1F, 0o17, 0b1010, 1_000_000, 3.14, .5, 1e-3, 2j, 10.5E+2J]


@dataclass(frozen=True)
class Point:
    x: int = 0
    y: float = 0.0
    tags: list[str] = field(default_factory=list)

    @property
    def norm(self) -> float:
        return (self.x ** 2 + self.y ** 2) ** 0.5


async def fetch(items: dict[str, int], *, limit=None):
    total = 0
    for key, value in items.items():
        if value is not None and key not in ("a", 'b'):
            total += value
        elif value == 0:
            continue
        else:
            break
    result = {
        "total": total,
        "limit": limit,
    }
    await something(lambda v: v @ v)
    return result


def describe(command):
    match command.split():
        case [action]:
            return "one"
        case [action, obj] if obj:
            return "two"
        case _:
            pass
    match = _re.match(PATTERN, "1.5")
    type Alias = list[int]
    print(type(match), match)
    try:
        raise ValueError("bad \"value\"")
    except (ValueError, TypeError) as error:
        del error
    finally:
        yield from range(3)
