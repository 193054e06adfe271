#!/usr/bin/env python3
"""Checks what the built Windows DLLs offer a loader: exports with their
ordinals, the DLLs they import, the string-table resource, and for a cdecl
export that it returns with a plain `ret`. Reads the PE files directly.

usage: pe_check.py OBJDUMP BIN_DIR VERSION
"""
import os
import struct
import subprocess
import sys


class Pe:
    def __init__(self, path):
        self.path = path
        self.data = open(path, "rb").read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError(f"{path}: not a PE file")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path}: no PE signature")
        self.machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        self.is64 = magic == 0x20B
        self.image_base = struct.unpack_from("<Q" if self.is64 else "<I", d, opt + (24 if self.is64 else 28))[0]
        dirs = opt + (112 if self.is64 else 96)
        self.dirs = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(16)]
        self.sections = []
        table = opt + opt_size
        for i in range(sections):
            name, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", d, table + 40 * i)
            self.sections.append((va, max(vsize, rsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"{self.path}: RVA {rva:#x} outside every section")

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.offset(rva))[0]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def cstr(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def exports(self):
        """{name: (ordinal, rva)}"""
        rva, size = self.dirs[0]
        if size == 0:
            return {}
        base, functions, names, at_functions, at_names, at_ordinals = struct.unpack_from(
            "<IIIIII", self.data, self.offset(rva + 16))
        result = {}
        for i in range(names):
            name = self.cstr(self.u32(at_names + 4 * i))
            index = self.u16(at_ordinals + 2 * i)
            result[name] = (base + index, self.u32(at_functions + 4 * index))
        return result

    def imports(self):
        rva, size = self.dirs[1]
        names = []
        while size:
            name_rva = self.u32(rva + 12)
            if name_rva == 0:
                break
            names.append(self.cstr(name_rva))
            rva += 20
        return sorted(n.lower() for n in names)

    def strings(self):
        """{id: text} of the RT_STRING resources."""
        root, size = self.dirs[2]
        if size == 0:
            return {}

        def entries(rva):
            named, ids = struct.unpack_from("<HH", self.data, self.offset(rva + 12))
            for i in range(named + ids):
                ident, target = struct.unpack_from("<II", self.data, self.offset(rva + 16 + 8 * i))
                yield ident, target

        result = {}
        for type_id, type_target in entries(root):
            if type_id != 6 or not type_target & 0x80000000:
                continue
            for block, block_target in entries(root + (type_target & 0x7FFFFFFF)):
                for _, lang_target in entries(root + (block_target & 0x7FFFFFFF)):
                    data_rva, data_size = struct.unpack_from("<II", self.data, self.offset(root + lang_target))
                    at = self.offset(data_rva)
                    for index in range(16):
                        length = struct.unpack_from("<H", self.data, at)[0]
                        text = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                        if length:
                            result[(block - 1) * 16 + index] = text
                        at += 2 + 2 * length
        return result


def returns_of(objdump, pe, rva):
    """The return instructions of the function at `rva`, up to the next symbol."""
    start = pe.image_base + rva
    out = subprocess.run([objdump, "-d", "--no-show-raw-insn", f"--start-address={start:#x}",
                          f"--stop-address={start + 4096:#x}", pe.path],
                         check=True, capture_output=True, text=True).stdout
    body = out.split(">:\n", 1)[1] if ">:\n" in out else out
    body = body.split(">:\n", 1)[0]  # stop at the next symbol
    return [line.split("\t", 1)[-1].strip() for line in body.splitlines() if "\tret" in line]


failures = []


FMI2_FUNCTIONS = """fmi2GetTypesPlatform fmi2GetVersion fmi2SetDebugLogging fmi2Instantiate fmi2FreeInstance
fmi2SetupExperiment fmi2EnterInitializationMode fmi2ExitInitializationMode fmi2Terminate fmi2Reset fmi2GetReal
fmi2GetInteger fmi2GetBoolean fmi2GetString fmi2SetReal fmi2SetInteger fmi2SetBoolean fmi2SetString fmi2GetFMUstate
fmi2SetFMUstate fmi2FreeFMUstate fmi2SerializedFMUstateSize fmi2SerializeFMUstate fmi2DeSerializeFMUstate
fmi2GetDirectionalDerivative fmi2SetRealInputDerivatives fmi2GetRealOutputDerivatives fmi2DoStep fmi2CancelStep
fmi2GetStatus fmi2GetRealStatus fmi2GetIntegerStatus fmi2GetBooleanStatus fmi2GetStringStatus""".split()


def version_of(path):
    """The ProductVersion string of a file's version resource, or None."""
    data = open(path, "rb").read()
    if struct.pack("<I", 0xFEEF04BD) not in data:
        return None
    key = "ProductVersion".encode("utf-16-le") + b"\0\0"
    at = data.find(key)
    if at < 0:
        return None
    at += len(key)
    at += (4 - at % 4) % 4  # the value starts on a 32-bit boundary
    end = data.find(b"\0\0", at)
    while end >= 0 and (end - at) % 2:
        end = data.find(b"\0\0", end + 1)
    return data[at:end].decode("utf-16-le")


def expect(condition, message):
    if not condition:
        failures.append(message)
    print(("ok   " if condition else "FAIL ") + message)


def main():
    objdump, bindir, version = sys.argv[1], sys.argv[2], sys.argv[3]
    system = {"kernel32.dll", "msvcrt.dll"}

    block = Pe(f"{bindir}/orvalink.dll")
    exports = block.exports()
    expect(list(exports) == ["mexFunction"], f"orvalink.dll exports exactly mexFunction (has {list(exports)})")
    imports = set(block.imports())
    expect({"libmx.dll", "libmex.dll", "ws2_32.dll"} <= imports, f"orvalink.dll imports libmx, libmex, WS2_32 ({sorted(imports)})")
    expect(imports <= system | {"libmx.dll", "libmex.dll", "ws2_32.dll"},
           f"orvalink.dll needs no DLL but the system's and the host's ({sorted(imports)})")
    strings = block.strings()
    expect(strings.get(100) == "MATLAB R11 native", f"string 100 is 'MATLAB R11 native' ({strings.get(100)!r})")
    expect(strings.get(101) == "not inlined", f"string 101 is 'not inlined' ({strings.get(101)!r})")

    brindle = Pe(f"{bindir}/brindle.dll")
    exports = brindle.exports()
    expect(list(exports) == ["SetMatlabPath"], f"brindle.dll exports exactly SetMatlabPath (has {list(exports)})")
    expect(exports.get("SetMatlabPath", (0, 0))[0] == 1, "SetMatlabPath is ordinal 1")
    imports = set(brindle.imports())
    expect(imports <= system, f"brindle.dll imports only KERNEL32 and the C runtime ({sorted(imports)})")
    if not brindle.is64 and "SetMatlabPath" in exports:
        rets = returns_of(objdump, brindle, exports["SetMatlabPath"][1])
        expect(rets and all(r.split() == ["ret"] for r in rets),
               f"SetMatlabPath returns with a plain ret, leaving the arguments to the caller ({rets})")

    # The FMU's library: the FMI functions under their plain names, for the machine its folder names.
    for platform, machine in (("win32", 0x14C), ("win64", 0x8664)):
        path = f"{bindir}/../fmu/binaries/{platform}/orvalink.dll"
        if not os.path.exists(path):
            continue
        fmu = Pe(path)
        expect(fmu.machine == machine, f"the FMU's {platform} DLL is for machine {machine:#x} ({fmu.machine:#x})")
        exports = fmu.exports()
        expect(sorted(exports) == sorted(FMI2_FUNCTIONS),
               f"the FMU's DLL exports exactly the {len(FMI2_FUNCTIONS)} fmi2 functions, undecorated "
               f"(has {sorted(set(exports) ^ set(FMI2_FUNCTIONS))} too many or missing)")
        imports = set(fmu.imports())
        expect(imports <= system | {"ws2_32.dll"}, f"the FMU's DLL needs only the system's DLLs ({sorted(imports)})")
        if not fmu.is64 and "fmi2DoStep" in exports:
            rets = returns_of(objdump, fmu, exports["fmi2DoStep"][1])
            expect(rets and all(r.split() == ["ret"] for r in rets), f"fmi2DoStep is cdecl: a plain ret ({rets})")

    # Every DLL and program says what it is and which version (VERSIONINFO).
    for name in ("orvalink.dll", "brindle.dll", "pathremove.dll", "libmx.dll", "libmex.dll", "orvalink-run.exe",
                 "fdm-listen.exe", "fdm-relay.exe", "fdm-replay.exe", "orvalink-fly.exe",
                 "../fmu/binaries/win32/orvalink.dll", "../fmu/binaries/win64/orvalink.dll"):
        path = f"{bindir}/{name}"
        if os.path.exists(path):
            expect(version_of(path) == version, f"{name} carries version {version} ({version_of(path)})")

    for name in ("libmx.dll", "libmex.dll"):
        imports = set(Pe(f"{bindir}/{name}").imports())
        expect(imports <= system | {"libmx.dll"}, f"{name} needs no GCC runtime DLL ({sorted(imports)})")

    print(f"{len(failures)} failed" if failures else "all PE checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
