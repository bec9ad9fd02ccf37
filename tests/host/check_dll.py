#!/usr/bin/env python3
"""Checks a built plug-in DLL without running it: the export table (its name, the eight
host functions undecorated with ordinals 1 to 8 in alphabetical order, and __stdcall in
the 32-bit build), the imports
(system DLLs only) and every resource (dialog 102 control by control, the icon, the
manifest, the version block), read with binutils' objdump and icoutils' wrestool.

    check_dll.py DLL WIDTH OBJDUMP VERSION      (WIDTH 64 or 32, VERSION e.g. 0.0.4.0)
"""
import os
import re
import struct
import subprocess
import sys

EXPORTS = ["FsExecuteFile", "FsFindClose", "FsFindFirst", "FsFindNext", "FsGetDefRootName", "FsGetFile", "FsInit",
           "FsStatusInfo"]
# Bytes of arguments each export pops on return in the 32-bit build, where the host
# calls them as __stdcall: a cdecl export would leave them on the host's stack.
STDCALL_ARGUMENT_BYTES = {"FsExecuteFile": 12, "FsFindClose": 4, "FsFindFirst": 8, "FsFindNext": 8,
                          "FsGetDefRootName": 8, "FsGetFile": 16, "FsInit": 16, "FsStatusInfo": 12}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shlwapi.dll", "msvcrt.dll", "gdi32.dll"}
ICON_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "resources", "kestran.ico")

# type, name, language
RESOURCES = {(3, 1, 1033), (5, 102, 1033), (14, 105, 1033), (16, 1, 9), (24, 2, 1033)}

WS_CHILD_VISIBLE = 0x50000000
DIALOG = {
    "style": 0x80C800C8, "rect": (0, 0, 283, 172), "caption": "File Properties",
    "font": (8, 400, 0, 1, "MS Shell Dlg"),
}
BUTTON, STATIC, LISTBOX = 0x80, 0x82, 0x83
CONTROLS = [  # id, class, text, x, y, width, height, style
    (2, BUTTON, "Close", 226, 151, 50, 14, 0x50010000),
    (-1, STATIC, "File name:", 7, 7, 45, 8, 0x50020000),
    (-1, STATIC, "File size:", 7, 20, 65, 8, 0x50020000),
    (-1, STATIC, "Archive files (descending priority order):", 7, 34, 142, 15, 0x50020000),
    (1001, LISTBOX, "", 7, 53, 270, 97, 0x50A10101),
    (1002, STATIC, "Static", 54, 7, 222, 8, 0x50020000),
    (1003, STATIC, "Static", 54, 20, 222, 8, 0x50020000),
]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def run(*command):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout


# --- objdump: export table and imports -------------------------------------------

def check_tables(dll, width, objdump):
    text = run(objdump, "-p", dll).decode("latin-1")
    file_format = re.search(r"file format (\S+)", text).group(1)
    check(file_format == ("pei-x86-64" if width == 64 else "pei-i386"), f"file format {file_format}")
    check(re.search(r"^Characteristics .*\n(\t.*\n)*\tDLL$", text, re.M) is not None, "not marked as a DLL")

    name = re.search(r"^Name\s+[0-9a-fA-F]+\s+(\S+)$", text, re.M)
    check(name and name.group(1) == os.path.basename(dll),
          f"export table named {name.group(1) if name else None}, not {os.path.basename(dll)}")
    base = re.search(r"Ordinal Base (\d+)", text)
    check(base and base.group(1) == "1", "ordinal base is not 1")
    addresses = re.findall(r"^\t\[\s*\d+\] \+base\[\s*(\d+)\] [0-9a-fA-F]+ Export RVA$", text, re.M)
    check(addresses == [str(i) for i in range(1, 9)], f"export ordinals {addresses}")
    table = text.split("[Ordinal/Name Pointer] Table", 1)
    names = re.findall(r"^\t\[\s*(\d+)\] (\S+)$", table[1].split("\n\n", 1)[0], re.M) if len(table) == 2 else []
    check([n for _, n in names] == EXPORTS, f"exported names {[n for _, n in names]}")
    check([int(i) + 1 for i, _ in names] == list(range(1, 9)), f"name ordinals {names}")

    if width == 32 and len(names) == len(addresses) == len(EXPORTS):
        rvas = re.findall(r"^\t\[\s*\d+\] \+base\[\s*\d+\] ([0-9a-fA-F]+) Export RVA$", text, re.M)
        image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)$", text, re.M).group(1), 16)
        for name, rva in zip(EXPORTS, rvas):
            check_stdcall(dll, objdump, name, image_base + int(rva, 16))

    imports = re.findall(r"^\tDLL Name: (\S+)$", text, re.M)
    check(imports and all(i.lower() in SYSTEM_DLLS for i in imports), f"imports {imports}")
    return imports


def check_stdcall(dll, objdump, name, address):
    """Every return of a __stdcall function pops its arguments (ret $N), and a cdecl one
    never does, so the first return after the entry point tells the convention. Works
    on stripped DLLs too."""
    listing = run(objdump, "-d", f"--start-address={address}", f"--stop-address={address + 0x10000}",
                  dll).decode("latin-1")
    first_return = re.search(r"\sret[lw]?\s*(\$0x[0-9a-fA-F]+)?\s*$", listing, re.M)
    popped = int(first_return.group(1)[1:], 16) if first_return and first_return.group(1) else 0
    check(first_return and popped == STDCALL_ARGUMENT_BYTES[name],
          f"{name} pops {popped} bytes of arguments on return, not {STDCALL_ARGUMENT_BYTES[name]} (__stdcall)")


# --- wrestool: the resources -------------------------------------------------------

def resource(dll, kind, name):
    return run("wrestool", "-x", "--raw", f"--type={kind}", f"--name={name}", dll)


def utf16z(data, at):
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def sz_or_ord(data, at):
    first = struct.unpack_from("<H", data, at)[0]
    if first == 0:
        return "", at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    return utf16z(data, at)


def align4(at):
    return (at + 3) & ~3


def check_dialog(data):
    version, signature, help_id, ex_style, style, count = struct.unpack_from("<HHIIIH", data, 0)
    check((version, signature) == (1, 0xFFFF), "dialog 102 is no DLGTEMPLATEEX")
    check((help_id, ex_style, style) == (0, 0, DIALOG["style"]), f"dialog style {style:#x}, ex {ex_style:#x}")
    check(count == len(CONTROLS), f"{count} controls")
    rect = struct.unpack_from("<hhhh", data, 18)
    check(rect == DIALOG["rect"], f"dialog rectangle {rect}")
    menu, at = sz_or_ord(data, 26)
    window_class, at = sz_or_ord(data, at)
    caption, at = utf16z(data, at)
    check(menu == "" and window_class == "", f"menu {menu!r}, class {window_class!r}")
    check(caption == DIALOG["caption"], f"caption {caption!r}")
    points, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
    face, at = utf16z(data, at + 6)
    check((points, weight, italic, charset, face) == DIALOG["font"], f"font {(points, weight, italic, charset, face)}")
    for expected in CONTROLS:
        at = align4(at)
        help_id, ex_style, style, x, y, cx, cy, ident = struct.unpack_from("<IIIhhhhi", data, at)
        window_class, at = sz_or_ord(data, at + 24)
        text, at = sz_or_ord(data, at)
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2 + extra
        seen = (ident, window_class, text, x, y, cx, cy, style)
        check(seen == expected and help_id == 0 and ex_style == 0 and extra == 0,
              f"control {seen}, help id {help_id}, ex style {ex_style:#x}; expected {expected}")


def check_icons(dll):
    group = resource(dll, 14, 105)
    check(struct.unpack_from("<HHH", group, 0) == (0, 1, 1), "icon group 105 is not one icon")
    width, height, colours, _, planes, bits, size, ident = struct.unpack_from("<BBBBHHIH", group, 6)
    check((width, height, colours, planes, bits, ident) == (32, 32, 0, 1, 32, 1),
          f"icon group entry {(width, height, colours, planes, bits, ident)}")
    icon = resource(dll, 3, 1)
    check(len(icon) == size, "icon 1's size differs from its group entry")
    header = struct.unpack_from("<IiiHH", icon, 0)
    check(header == (40, 32, 64, 1, 32), f"icon 1 header {header}")
    with open(ICON_FILE, "rb") as source:
        drawn = source.read()
    offset = struct.unpack_from("<I", drawn, 18)[0]
    check(icon == drawn[offset:], "icon 1 is not the image of src/resources/kestran.ico")


def check_manifest(dll):
    manifest = resource(dll, 24, 2).decode("utf-8")
    check(re.search(r'<requestedExecutionLevel\s+level="asInvoker"\s+uiAccess="false"\s*/>', manifest) is not None,
          "manifest does not request asInvoker without UI access")


def version_node(data, at):
    """(key, value bytes, children, next offset) of one VS_VERSIONINFO node."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    key, cursor = utf16z(data, at + 6)
    cursor = align4(cursor)
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[cursor:cursor + value_bytes]
    cursor = align4(cursor + value_bytes)
    children = []
    while cursor < at + length:
        child = version_node(data, cursor)
        children.append(child)
        cursor = align4(child[3])
    return key, value, children, at + length


def check_version(dll, width, version):
    key, fixed, children, _ = version_node(resource(dll, 16, 1), 0)
    check(key == "VS_VERSION_INFO", f"version block key {key!r}")
    fields = struct.unpack_from("<13I", fixed, 0)
    parts = [int(p) for p in version.split(".")]
    ms, ls = (parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]
    check(fields[0] == 0xFEEF04BD, "no VS_FIXEDFILEINFO")
    check(fields[2:6] == (ms, ls, ms, ls), f"file and product version {fields[2:6]}")
    check(fields[7:10] == (0, 0x40004, 2), f"flags, OS, file type {fields[7:10]}")
    blocks = {k: c for k, _, c, _ in children}
    check(set(blocks) == {"StringFileInfo", "VarFileInfo"}, f"version blocks {sorted(blocks)}")
    tables = {k: c for k, _, c, _ in blocks.get("StringFileInfo", [])}
    check(list(tables) == ["000904b0"], f"string tables {list(tables)}")
    strings = {k: v.decode("utf-16-le").rstrip("\0") for k, v, _, _ in tables.get("000904b0", [])}
    expected = {
        "FileDescription": "K.E.S.T.R.A.N. db explorer",
        "FileVersion": version,
        "InternalName": "kestran_wfx",
        "OriginalFilename": "kestran.wfx64" if width == 64 else "kestran.wfx",
        "ProductName": " K.E.S.T.R.A.N. db explorer",
        "ProductVersion": version,
    }
    check(strings == expected, f"version strings {strings}")
    variables = {k: v for k, v, _, _ in blocks.get("VarFileInfo", [])}
    check(variables == {"Translation": struct.pack("<HH", 0x0009, 1200)}, f"translations {variables}")


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__)
    dll, width, objdump, version = argv[1], int(argv[2]), argv[3], argv[4]
    imports = check_tables(dll, width, objdump)
    listing = run("wrestool", "-l", dll).decode("latin-1")
    found = {tuple(int(n) for n in m) for m in re.findall(r"--type=(\d+) --name=(\d+) --language=(\d+)", listing)}
    check(found == RESOURCES and listing.count("--type=") == len(RESOURCES), f"resources:\n{listing}")
    check_dialog(resource(dll, 5, 102))
    check_icons(dll)
    check_manifest(dll)
    check_version(dll, width, version)
    print(f"{os.path.basename(dll)}: {os.path.getsize(dll)} bytes; imports {', '.join(imports)}")
    print(listing, end="")
    if failures:
        print("\n".join("FAILED: " + f for f in failures))
        return 1
    print("export table, imports and resources as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
