#!/usr/bin/env python3
"""Writes a block as one source file for MATLAB's `mex` (orvalink.cpp, orvalink_controls.cpp).

The front door (block/mex/sfunction_mex.cpp or controls_mex.cpp) is copied
as it stands, its own headers inlined, with the block's core in place of its
"// @core" line: each core source in the
order given, the project's own headers inlined where first included, each
piece framed by a comment naming the file it came from, all of it inside an
unnamed namespace. Standard and socket headers are gathered at the top (the
socket sources under the platform's condition); the host's "simstruc.h"
stays where the front door includes it. The output is rewritten only when
its text changes, so a build that changed nothing compiles nothing.

usage: amalgamate.py --front FILE --output FILE --include-dir DIR... \
                     --core FILE... [--windows FILE...] [--posix FILE...]
"""
import argparse
import os
import re
import sys

HOST_HEADER = "simstruc.h"
CORE_MARKER = "// @core"
SYSTEM_INCLUDE = re.compile(r'^\s*#\s*include\s*<([^>]+)>')
LOCAL_INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
PRAGMA_ONCE = re.compile(r'^\s*#\s*pragma\s+once\b')


class Amalgamation:
    def __init__(self, root, include_dirs):
        self.root = root
        self.include_dirs = include_dirs
        self.inlined = set()
        self.system = {"common": [], "windows": [], "posix": []}

    def name(self, path):
        return os.path.relpath(path, self.root).replace(os.sep, "/")

    def resolve(self, header, including):
        for folder in [os.path.dirname(including)] + self.include_dirs:
            candidate = os.path.join(folder, header)
            if os.path.isfile(candidate):
                return os.path.normpath(candidate)
        sys.exit(f"amalgamate.py: {self.name(including)} includes \"{header}\", found in no include folder")

    def piece(self, path, platform):
        """The text of `path` with its own headers inlined once, framed."""
        lines = [f"/* ---- begin {self.name(path)} ---- */\n"]
        with open(path, encoding="utf-8") as source:
            for line in source:
                system = SYSTEM_INCLUDE.match(line)
                local = LOCAL_INCLUDE.match(line)
                if system:
                    self.system[platform].append(system.group(1))
                elif local and local.group(1) == HOST_HEADER:
                    continue
                elif local:
                    header = self.resolve(local.group(1), path)
                    if header not in self.inlined:
                        self.inlined.add(header)
                        lines.append(self.piece(header, platform))
                elif not PRAGMA_ONCE.match(line):
                    lines.append(line)
        lines.append(f"/* ---- end {self.name(path)} ---- */\n")
        return "".join(lines)

    def includes(self):
        common = list(dict.fromkeys(self.system["common"]))
        text = "".join(f"#include <{h}>\n" for h in common)
        windows = [h for h in dict.fromkeys(self.system["windows"]) if h not in common]
        posix = [h for h in dict.fromkeys(self.system["posix"]) if h not in common]
        if windows or posix:
            text += "#if defined(_WIN32)\n#ifndef NOMINMAX\n#define NOMINMAX\n#endif\n"
            text += "".join(f"#include <{h}>\n" for h in windows)
            text += "#else\n" + "".join(f"#include <{h}>\n" for h in posix) + "#endif\n"
        return text


def main():
    parser = argparse.ArgumentParser(description="Writes the block as one source file for mex.")
    parser.add_argument("--front", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--include-dir", action="append", default=[])
    parser.add_argument("--core", nargs="+", required=True)
    parser.add_argument("--windows", nargs="*", default=[])
    parser.add_argument("--posix", nargs="*", default=[])
    args = parser.parse_args()

    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    amalgamation = Amalgamation(root, [os.path.abspath(d) for d in args.include_dir])
    core = "".join(amalgamation.piece(os.path.abspath(p), "common") for p in args.core)
    windows = "".join(amalgamation.piece(os.path.abspath(p), "windows") for p in args.windows)
    posix = "".join(amalgamation.piece(os.path.abspath(p), "posix") for p in args.posix)
    if windows or posix:
        core += "#if defined(_WIN32)\n" + windows + "#else\n" + posix + "#endif\n"

    # The front door's own headers, beside it (what both front doors share),
    # are copied in where it includes them; the host's files stay includes.
    front_lines = []
    front_folder = os.path.dirname(os.path.abspath(args.front))
    with open(args.front, encoding="utf-8") as source:
        for line in source:
            local = LOCAL_INCLUDE.match(line)
            if local and os.path.isfile(os.path.join(front_folder, local.group(1))):
                header = os.path.join(front_folder, local.group(1))
                front_lines.append(amalgamation.piece(header, "common"))
            else:
                front_lines.append(line)
    front = "".join(front_lines)
    if front.count(CORE_MARKER + "\n") != 1:
        sys.exit(f"amalgamate.py: {amalgamation.name(os.path.abspath(args.front))} needs one \"{CORE_MARKER}\" line")
    head, tail = front.split(CORE_MARKER + "\n")
    sources = ", ".join(amalgamation.name(os.path.abspath(p)) for p in args.core + args.windows + args.posix)
    output_name = os.path.basename(args.output)
    block = os.path.splitext(output_name)[0]
    text = (f"/* {output_name}: the {block} S-function in one file, for MATLAB's mex.\n"
            f" * Generated by scripts/amalgamate.py from {amalgamation.name(os.path.abspath(args.front))}\n"
            f" * and {sources}. Do not edit: change those files. */\n"
            + amalgamation.includes() + "\n" + head
            + "namespace {\n" + core + "}  // namespace\n" + tail)

    try:
        with open(args.output, encoding="utf-8") as existing:
            if existing.read() == text:
                return
    except FileNotFoundError:
        pass
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with open(args.output, "w", encoding="utf-8", newline="\n") as output:
        output.write(text)


if __name__ == "__main__":
    main()
