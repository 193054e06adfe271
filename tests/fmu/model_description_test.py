#!/usr/bin/env python3
"""The FMU archive against the FMI 2.0 rules it must meet: its layout, its
model description (attributes, element order, variables and their
causality, variability and start values, the model structure), the input
names against the runner's CSV header, and, where this machine can load the
binary, every value reference against the library itself.

usage: model_description_test.py FMU GUID BIN_FOLDER [EMULATOR...]
"""
import ctypes
import os
import stat
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zipfile

FMU, GUID, BIN = sys.argv[1:4]
EMULATOR = sys.argv[4:]
del sys.argv[1:]

XSD_ORDER = ["ModelExchange", "CoSimulation", "UnitDefinitions", "TypeDefinitions", "LogCategories",
             "DefaultExperiment", "VendorAnnotations", "ModelVariables", "ModelStructure"]


def runner_header():
    """The CSV header that orvalink-run writes with --save-inputs."""
    program = os.path.join(BIN, "orvalink-run" + (".exe" if EMULATOR else ""))
    with tempfile.TemporaryDirectory() as folder:
        saved = os.path.join(folder, "inputs.csv")
        subprocess.run(EMULATOR + [program, "--steps", "1", "--fast", "--quiet", "--port", "9",
                                   "--save-inputs", saved], check=True, timeout=120,
                       env=dict(os.environ, WINEDEBUG="-all"))
        with open(saved, encoding="utf-8") as handle:
            return handle.readline().strip().split(",")


class Archive(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with zipfile.ZipFile(FMU) as fmu:
            cls.names = fmu.namelist()
            cls.root = ET.fromstring(fmu.read("modelDescription.xml"))
            cls.binaries = {n: fmu.read(n) for n in cls.names if n.startswith("binaries/")}
        cls.variables = cls.root.find("ModelVariables").findall("ScalarVariable")

    def test_layout(self):
        self.assertIn("modelDescription.xml", self.names)
        self.assertTrue(self.binaries)
        for name in self.binaries:
            platform, library = name.split("/")[1:]
            self.assertIn(platform, ("linux64", "linux32", "win64", "win32"))
            self.assertEqual(library, "orvalink." + ("dll" if platform.startswith("win") else "so"))
        self.assertFalse([n for n in self.names if "\\" in n])

    def test_model_description_attributes_and_order(self):
        root = self.root
        self.assertEqual(root.tag, "fmiModelDescription")
        self.assertEqual(root.get("fmiVersion"), "2.0")
        self.assertEqual(root.get("modelName"), "orvalink")
        self.assertEqual(root.get("guid"), GUID)
        cosimulation = root.find("CoSimulation")
        self.assertEqual(cosimulation.get("modelIdentifier"), "orvalink")
        self.assertEqual(cosimulation.get("canHandleVariableCommunicationStepSize"), "true")
        self.assertIsNone(root.find("ModelExchange"))
        tags = [child.tag for child in root]
        self.assertEqual(tags, sorted(tags, key=XSD_ORDER.index))
        for listed in ("LogCategories", "ModelVariables"):
            self.assertTrue(len(root.find(listed)), listed)

    def test_variables(self):
        names = [v.get("name") for v in self.variables]
        self.assertEqual(len(names), len(set(names)))
        by_name = {v.get("name"): v for v in self.variables}
        for name, kind, start in (("HostName", "String", "127.0.0.1"), ("PortNumber", "Integer", "5500"),
                                  ("FdmVersion", "Integer", "24"), ("ControlsHost", "String", "127.0.0.1"),
                                  ("ControlsPort", "Integer", "0")):
            v = by_name[name]
            self.assertEqual((v.get("causality"), v.get("variability")), ("parameter", "fixed"), name)
            self.assertEqual(v[0].tag, kind, name)
            self.assertEqual(v[0].get("start"), start, name)
        inputs = [v for v in self.variables if v.get("causality") == "input"]
        self.assertEqual([v.get("name") for v in inputs], runner_header())
        for v in inputs:
            self.assertEqual(v[0].tag, "Real")
            self.assertEqual(v[0].get("start"), "0")
            self.assertIn(v.get("variability"), ("continuous", "discrete"))
            self.assertIsNone(v.get("initial"))
        outputs = [v for v in self.variables if v.get("causality") == "output"]
        controls = (["controlsAileron", "controlsElevator", "controlsRudder", "controlsAileronTrim",
                     "controlsElevatorTrim", "controlsRudderTrim", "controlsFlaps", "controlsSpoilers",
                     "controlsSpeedbrake"]
                    + [f"controls{kind}[{i}]" for kind in ("Throttle", "Mixture", "Propeller") for i in range(1, 5)]
                    + ["controlsBrakeLeft", "controlsBrakeRight", "controlsBrakeParking", "controlsGearHandle"])
        self.assertEqual([v.get("name") for v in outputs],
                         ["datagramsSent"] + controls + ["controlsTaken", "controlsRefused", "controlsAge"])
        integers = {"datagramsSent", "controlsTaken", "controlsRefused"}
        for v in outputs:
            name = v.get("name")
            self.assertEqual((v.get("variability"), v[0].tag), ("discrete", "Integer" if name in integers else "Real"))
            self.assertIsNone(v[0].get("start"), name)  # calculated: no start
        self.assertEqual(outputs[-1][0].get("unit"), "s")
        for v in self.variables:
            self.assertTrue(v.get("description"), v.get("name"))
            self.assertEqual(len(v), 1, v.get("name"))
            if v[0].tag != "Real":
                self.assertIsNotNone(v.get("variability"), v.get("name"))
        references = {}
        for v in self.variables:
            key = (v[0].tag, v.get("valueReference"))
            self.assertNotIn(key, references, v.get("name"))
            references[key] = v.get("name")

    def test_units_follow_the_names_and_are_defined(self):
        endings = {"_ftps2": "ft/s2", "_radps": "rad/s", "_ftps": "ft/s", "_galph": "gal/h", "_rpm": "rpm",
                   "_rad": "rad", "_kt": "kt", "_m": "m"}
        defined = {u.get("name"): u.find("BaseUnit").attrib for u in self.root.find("UnitDefinitions")}
        used = set()
        for v in self.variables:
            if v.get("causality") != "input":
                continue
            name = v.get("name")
            expected = next((unit for ending, unit in endings.items() if name.endswith(ending)), None)
            self.assertEqual(v[0].get("unit"), expected, name)
            used.add(expected)
        used.discard(None)
        self.assertEqual(set(defined), used | {"s"})  # s: the controls' age
        self.assertEqual(defined["s"], {"s": "1"})
        self.assertEqual(defined["kt"], {"m": "1", "s": "-1", "factor": "0.5144444444444445"})
        self.assertEqual(defined["ft/s2"], {"m": "1", "s": "-2", "factor": "0.3048"})
        self.assertEqual(defined["rad"], {"rad": "1"})
        experiment = self.root.find("DefaultExperiment")
        self.assertEqual(experiment.get("stepSize"), "0.05")
        self.assertIsNone(experiment.get("stopTime"))
        categories = [c.get("name") for c in self.root.find("LogCategories")]
        self.assertEqual(categories, ["logStatusError", "logStatusWarning", "logAll"])

    def test_entries_are_plain_readable_files(self):
        with zipfile.ZipFile(FMU) as fmu:
            for entry in fmu.infolist():
                mode = entry.external_attr >> 16
                self.assertEqual(entry.create_system, 3, entry.filename)
                self.assertTrue(stat.S_ISREG(mode) and mode & 0o444 == 0o444, f"{entry.filename}: {mode:o}")

    def test_model_structure_lists_the_outputs(self):
        structure = self.root.find("ModelStructure")
        self.assertEqual([c.tag for c in structure], ["Outputs", "InitialUnknowns"])
        indices = [str(i) for i, v in enumerate(self.variables, 1) if v.get("causality") == "output"]
        self.assertEqual(len(indices), 29)
        for part in structure:
            self.assertEqual([(u.get("index"), u.get("dependencies")) for u in part], [(i, "") for i in indices],
                             part.tag)


@unittest.skipIf(EMULATOR, "the library is for another system")
class ValueReferences(unittest.TestCase):
    """Every variable of the description, through the library the archive carries."""

    def test_each_reference_is_the_librarys(self):
        with zipfile.ZipFile(FMU) as fmu:
            root = ET.fromstring(fmu.read("modelDescription.xml"))
            name = next(n for n in fmu.namelist() if n.endswith(".so"))
            with tempfile.TemporaryDirectory() as folder:
                fmu.extract(name, folder)
                library = ctypes.CDLL(os.path.join(folder, name))
                self.check(library, root)

    def check(self, library, root):
        logger_type = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p,
                                       ctypes.c_char_p)
        lines = []
        logger = logger_type(lambda env, name, status, category, message: lines.append(message))

        class Callbacks(ctypes.Structure):
            _fields_ = [("logger", logger_type), ("allocateMemory", ctypes.c_void_p), ("freeMemory", ctypes.c_void_p),
                        ("stepFinished", ctypes.c_void_p), ("componentEnvironment", ctypes.c_void_p)]

        library.fmi2Instantiate.restype = ctypes.c_void_p
        callbacks = Callbacks(logger, None, None, None, None)
        c = ctypes.c_void_p(library.fmi2Instantiate(b"check", 1, root.get("guid").encode(), b"", ctypes.byref(callbacks),
                                                    0, 0))
        self.assertTrue(c.value, lines)
        try:
            kinds = {"Real": (ctypes.c_double, library.fmi2SetReal, library.fmi2GetReal),
                     "Integer": (ctypes.c_int, library.fmi2SetInteger, library.fmi2GetInteger),
                     "String": (ctypes.c_char_p, library.fmi2SetString, library.fmi2GetString)}
            variables = root.find("ModelVariables").findall("ScalarVariable")
            for v in variables:
                if v.get("causality") in ("parameter", "input"):
                    kind, set_value, _ = kinds[v[0].tag]
                    value = kind(v[0].get("start").encode()) if kind is ctypes.c_char_p else kind(int(v[0].get("start")))
                    vr = ctypes.c_uint(int(v.get("valueReference")))
                    self.assertEqual(set_value(c, ctypes.byref(vr), ctypes.c_size_t(1), ctypes.byref(value)), 0,
                                     (v.get("name"), lines))
            self.assertEqual(library.fmi2EnterInitializationMode(c), 0, lines)
            for v in variables:
                kind, _, get_value = kinds[v[0].tag]
                vr = ctypes.c_uint(int(v.get("valueReference")))
                value = kind()
                self.assertEqual(get_value(c, ctypes.byref(vr), ctypes.c_size_t(1), ctypes.byref(value)), 0,
                                 (v.get("name"), lines))
        finally:
            library.fmi2FreeInstance(c)


if __name__ == "__main__":
    unittest.main(verbosity=2)
