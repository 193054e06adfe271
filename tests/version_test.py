#!/usr/bin/env python3
"""One version, read back from every place a user sees it: each tool's
--version, the FMU's model description, what build_orvalink prints, the
CHANGELOG's newest release and the packages' names. (The Windows version
resources and the setup's Add/Remove entry are read back by the Windows
checks.)

usage: version_test.py VERSION BIN_DIR FMU build_orvalink.m CHANGELOG.md CPACK_CONFIG
"""
import re
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile

VERSION, BIN_DIR, FMU, BUILD_ORVALINK, CHANGELOG, CPACK_CONFIG = sys.argv[1:7]
del sys.argv[1:7]
TOOLS = ("orvalink-run", "fdm-listen", "fdm-relay", "fdm-replay", "orvalink-fly", "fdm-plot")


class Version(unittest.TestCase):
    def test_every_place_says_the_same_version(self):
        self.assertRegex(VERSION, r"^\d+\.\d+\.\d+$")
        for tool in TOOLS:
            run = subprocess.run([f"{BIN_DIR}/{tool}", "--version"], capture_output=True, text=True, timeout=30)
            self.assertEqual((run.returncode, run.stdout.splitlines()[:1]), (0, [f"{tool} {VERSION}"]), tool)
        with zipfile.ZipFile(FMU) as fmu:
            description = ElementTree.fromstring(fmu.read("modelDescription.xml"))
        self.assertEqual(description.get("version"), VERSION)
        with open(BUILD_ORVALINK, encoding="utf-8") as handle:
            self.assertIn(f"(orvalink %s)\\n', fullfile(folder, [blocks{{k}} '.' mexext]), '{VERSION}');", handle.read())
        with open(CHANGELOG, encoding="utf-8") as handle:
            releases = re.findall(r"^## (\S+) - \d{4}-\d\d-\d\d$", handle.read(), re.M)
        self.assertEqual(releases[0], VERSION)
        self.assertEqual(len(releases), len(set(releases)))
        with open(CPACK_CONFIG, encoding="utf-8") as handle:
            self.assertIn(f'set(CPACK_PACKAGE_FILE_NAME "orvalink-{VERSION}-', handle.read())


if __name__ == "__main__":
    unittest.main(verbosity=2)
