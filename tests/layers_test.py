#!/usr/bin/env python3
"""The block's folders in layers: each file includes the project's headers
only from its own layer or those below it, the two blocks' own folders not
from each other, and the packets and the link nothing of the host.

usage: layers_test.py BLOCK_FOLDER"""
import os
import re
import sys
import unittest

BLOCK = os.path.abspath(sys.argv.pop(1))

# Bottom to top; folders on one line share a layer.
LAYERS = [
    {"host"},
    {"fdm_packet", "controls_packet"},  # the packets, both directions
    {"link"},                           # the sockets
    {"definition"},                     # the dialog and the flight-state block's declaration
    {"fdm_block", "controls_block"},    # each block's own methods
    {"simulink", "mex", "fmu"},         # the front doors
]
HOST_HEADERS = {"simstruc.h", "mex.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def layer_of(folder):
    return next(i for i, layer in enumerate(LAYERS) if folder in layer)


def headers():
    """Each project header's folder, by name."""
    found = {}
    for folder in os.listdir(BLOCK):
        path = os.path.join(BLOCK, folder)
        for name in os.listdir(path) if os.path.isdir(path) else []:
            if name.endswith(".h"):
                found[name] = folder
    return found


class Layers(unittest.TestCase):
    def test_no_include_climbs(self):
        where = headers()
        checked = 0
        for folder in sorted(os.listdir(BLOCK)):
            path = os.path.join(BLOCK, folder)
            if not os.path.isdir(path):
                continue
            for name in sorted(os.listdir(path)):
                if not name.endswith((".cpp", ".h")):
                    continue
                with open(os.path.join(path, name), encoding="utf-8") as source:
                    included = INCLUDE.findall(source.read())
                for header in included:
                    if header not in where:
                        continue  # the tests' own host files (simulink.c, cg_sfun.h)
                    checked += 1
                    target = where[header]
                    what = f"{folder}/{name} includes {target}/{header}"
                    self.assertLessEqual(layer_of(target), layer_of(folder), what)
                    if layer_of(target) == layer_of(folder) == layer_of("fdm_block"):
                        self.assertEqual(target, folder, what)  # one block's methods know nothing of the other's
                    if layer_of(folder) in (layer_of("fdm_packet"), layer_of("link")):
                        self.assertNotIn(header, HOST_HEADERS, what)
        self.assertGreater(checked, 30)


if __name__ == "__main__":
    unittest.main(verbosity=2)
