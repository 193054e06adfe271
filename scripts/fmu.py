#!/usr/bin/env python3
"""Packs the block's FMU, and merges the FMUs of several platforms into one.

  fmu.py pack --inputs input_elements.h --guid G --version V --platform P --binary FILE --output orvalink.fmu
      writes an FMI 2.0 Co-Simulation FMU: modelDescription.xml, made from the
      block's table of input elements (the names the runner's CSV header uses),
      and the binary as binaries/<P>/orvalink.<so|dll>.
  fmu.py merge --output orvalink.fmu A.fmu B.fmu ...
      one FMU with the binaries of all, which must share one model description.
"""
import argparse
import os
import re
import stat
import sys
import zipfile
from xml.sax.saxutils import quoteattr

# Value references: the FMU's own ranges (block/fmu/fmu.cpp).
FIRST_INPUT_REF = 0
PORT_NUMBER_REF = 100
FDM_VERSION_REF = 101
CONTROLS_PORT_REF = 102
DATAGRAMS_SENT_REF = 200
CONTROLS_TAKEN_REF = 201
CONTROLS_REFUSED_REF = 202
HOST_NAME_REF = 300
CONTROLS_HOST_REF = 301
FIRST_CONTROLS_REF = 400  # the controls in the controls block's port order, then their age

# FlightGear's controls, as the controls block's output ports give them.
CONTROLS = (
    [("controlsAileron", "Aileron, normalised -1 (left) to 1"),
     ("controlsElevator", "Elevator, normalised -1 (stick back) to 1"),
     ("controlsRudder", "Rudder, normalised -1 (left) to 1"),
     ("controlsAileronTrim", "Aileron trim, normalised -1 to 1"),
     ("controlsElevatorTrim", "Elevator trim, normalised -1 to 1"),
     ("controlsRudderTrim", "Rudder trim, normalised -1 to 1"),
     ("controlsFlaps", "Flaps, normalised 0 to 1"),
     ("controlsSpoilers", "Spoilers, normalised 0 to 1"),
     ("controlsSpeedbrake", "Speedbrake, normalised 0 to 1")]
    + [(f"controlsThrottle[{i}]", f"Throttle of engine {i}, normalised 0 to 1") for i in range(1, 5)]
    + [(f"controlsMixture[{i}]", f"Mixture of engine {i}, normalised 0 to 1") for i in range(1, 5)]
    + [(f"controlsPropeller[{i}]", f"Propeller advance of engine {i}, normalised 0 to 1") for i in range(1, 5)]
    + [("controlsBrakeLeft", "Left brake, normalised 0 to 1"),
       ("controlsBrakeRight", "Right brake, normalised 0 to 1"),
       ("controlsBrakeParking", "Parking brake, normalised 0 to 1"),
       ("controlsGearHandle", "Gear handle: 1 down, 0 up")])

ENTRY = re.compile(r'^\s*\{"(\w+)",\s*"([^"]*)"\},\s*$')


def input_elements(header):
    """The (name, description) pairs of the input table, in port order."""
    with open(header, encoding="utf-8") as source:
        elements = [m.groups() for m in map(ENTRY.match, source) if m]
    if len(elements) != 28:
        sys.exit(f"fmu.py: {header} holds {len(elements)} input elements, not 28")
    return elements


# The unit each input's name ends in, and its definition in SI base units.
UNITS = [  # longest ending first: _ftps2 before _ftps
    ("_ftps2", "ft/s2", 'm="1" s="-2" factor="0.3048"'),
    ("_radps", "rad/s", 'rad="1" s="-1"'),
    ("_ftps", "ft/s", 'm="1" s="-1" factor="0.3048"'),
    ("_galph", "gal/h", 'm="3" s="-1" factor="1.0515032733333334e-06"'),  # US gallons
    ("_rpm", "rpm", 'rad="1" s="-1" factor="0.10471975511965977"'),
    ("_rad", "rad", 'rad="1"'),
    ("_kt", "kt", 'm="1" s="-1" factor="0.5144444444444445"'),
    ("_m", "m", 'm="1"'),
    (None, "s", 's="1"'),  # no input ends in it
]


def unit_of(name):
    return next((unit for ending, unit, _ in UNITS if ending and name.endswith(ending)), None)


def unit_definitions(elements):
    used = {unit_of(name) for name, _ in elements} | {"s"}  # s: the age of the controls
    units = "".join(f'    <Unit name="{unit}"><BaseUnit {base}/></Unit>\n'
                    for _, unit, base in UNITS if unit in used)
    return "  <UnitDefinitions>\n" + units + "  </UnitDefinitions>\n" if units else ""


def variable(name, ref, causality, variability, description, element, initial=None):
    extra = f" initial={quoteattr(initial)}" if initial else ""
    return (f"    <ScalarVariable name={quoteattr(name)} valueReference=\"{ref}\" causality=\"{causality}\" "
            f"variability=\"{variability}\"{extra}\n"
            f"                    description={quoteattr(description)}>\n"
            f"      {element}\n    </ScalarVariable>\n")


def model_description(elements, guid, version):
    """The model description; with no listener asked for (ControlsPort 0)
    the controls outputs stay at their first values."""
    variables = [
        variable("HostName", HOST_NAME_REF, "parameter", "fixed",
                 "Host name or IPv4 address of FlightGear or of the relay", '<String start="127.0.0.1"/>'),
        variable("PortNumber", PORT_NUMBER_REF, "parameter", "fixed", "UDP port to send to, 1 to 65535",
                 '<Integer start="5500"/>'),
        variable("FdmVersion", FDM_VERSION_REF, "parameter", "fixed",
                 "Native flight-dynamics packet version: 24 (408 bytes, every FlightGear since 0.9.10) "
                 "or 17 (336 bytes, the Simulink block's)", '<Integer start="24"/>'),
        variable("ControlsHost", CONTROLS_HOST_REF, "parameter", "fixed",
                 "Address to take FlightGear's controls datagrams on: 127.0.0.1, or 0.0.0.0 for every interface",
                 '<String start="127.0.0.1"/>'),
        variable("ControlsPort", CONTROLS_PORT_REF, "parameter", "fixed",
                 "UDP port to take FlightGear's controls datagrams on (--native-ctrls=socket,out,...), 1 to 65535; "
                 "0 takes none", '<Integer start="0"/>'),
    ]
    for i, (name, description) in enumerate(elements):
        unit = unit_of(name)
        real = f'<Real unit="{unit}" start="0"/>' if unit else '<Real start="0"/>'
        variables.append(variable(name, FIRST_INPUT_REF + i, "input", "continuous", description, real))
    variables.append(variable("datagramsSent", DATAGRAMS_SENT_REF, "output", "discrete",
                              "Datagrams the system took since initialisation, at most one a step (a refused one is not counted)", "<Integer/>"))
    outputs = [len(variables)]  # 1-based indices of the outputs
    for i, (name, description) in enumerate(CONTROLS):
        variables.append(variable(name, FIRST_CONTROLS_REF + i, "output", "discrete",
                                  description + ", as the last controls datagram taken gave it (0 before the first)",
                                  "<Real/>"))
        outputs.append(len(variables))
    for name, ref, description in (
            ("controlsTaken", CONTROLS_TAKEN_REF, "Controls datagrams taken since initialisation"),
            ("controlsRefused", CONTROLS_REFUSED_REF,
             "Datagrams refused on the controls port (not 744 bytes of version 27)")):
        variables.append(variable(name, ref, "output", "discrete", description, "<Integer/>"))
        outputs.append(len(variables))
    variables.append(variable("controlsAge", FIRST_CONTROLS_REF + len(CONTROLS), "output", "discrete",
                              "Seconds by the wall clock from the last controls datagram taken to the last step; "
                              "-1 before the first", '<Real unit="s"/>'))
    outputs.append(len(variables))
    unknowns = "".join(f'      <Unknown index="{i}" dependencies=""/>\n' for i in outputs)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<fmiModelDescription fmiVersion="2.0" modelName="orvalink" guid={quoteattr(guid)}\n'
            '  description="Sends the flight state to FlightGear, one native flight-dynamics datagram a step, and takes FlightGear\'s controls"\n'
            f'  version={quoteattr(version)} generationTool="orvalink" variableNamingConvention="flat">\n'
            '  <CoSimulation modelIdentifier="orvalink" canHandleVariableCommunicationStepSize="true"\n'
            '    canNotUseMemoryManagementFunctions="true"/>\n'
            + unit_definitions(elements) +
            '  <LogCategories>\n'
            '    <Category name="logStatusError" description="Why a call failed"/>\n'
            '    <Category name="logStatusWarning" description="A datagram the system did not take, once a run"/>\n'
            '    <Category name="logAll" description="What the FMU does"/>\n'
            '  </LogCategories>\n'
            '  <DefaultExperiment startTime="0" stepSize="0.05"/>\n'
            '  <ModelVariables>\n' + "".join(variables) + '  </ModelVariables>\n'
            '  <ModelStructure>\n'
            f'    <Outputs>\n{unknowns}    </Outputs>\n'
            f'    <InitialUnknowns>\n{unknowns}    </InitialUnknowns>\n'
            '  </ModelStructure>\n'
            '</fmiModelDescription>\n')


def write_fmu(output, description, binaries):
    """Writes the zip anew under a temporary name, then puts it in place."""
    partial = output + ".partial"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as fmu:
        for name, data in [("modelDescription.xml", description)] + sorted(binaries.items()):
            entry = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            entry.create_system = 3  # Unix: the mode below is read
            entry.external_attr = (stat.S_IFREG | 0o644) << 16  # a plain file, readable by all
            entry.compress_type = zipfile.ZIP_DEFLATED
            fmu.writestr(entry, data)
    os.replace(partial, output)


def pack(args):
    extension = os.path.splitext(args.binary)[1]
    with open(args.binary, "rb") as binary:
        data = binary.read()
    description = model_description(input_elements(args.inputs), args.guid, args.version)
    write_fmu(args.output, description, {f"binaries/{args.platform}/orvalink{extension}": data})


def merge(args):
    description = None
    binaries = {}
    for path in args.fmus:
        with zipfile.ZipFile(path) as fmu:
            text = fmu.read("modelDescription.xml").decode("utf-8")
            if description is not None and text != description:
                sys.exit(f"fmu.py: {path} has another model description (another version or other variables)")
            description = text
            for name in fmu.namelist():
                if name.startswith("binaries/"):
                    binaries[name] = fmu.read(name)
    write_fmu(args.output, description, binaries)


def main():
    parser = argparse.ArgumentParser(description="Packs or merges the block's FMU.")
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("pack")
    for option in ("--inputs", "--guid", "--version", "--platform", "--binary", "--output"):
        p.add_argument(option, required=True)
    m = commands.add_parser("merge")
    m.add_argument("--output", required=True)
    m.add_argument("fmus", nargs="+")
    args = parser.parse_args()
    (pack if args.command == "pack" else merge)(args)


if __name__ == "__main__":
    main()
