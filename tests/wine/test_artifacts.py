"""The delivered programs: each exists for both Windows targets, has the right
machine type, and needs no DLL beyond the system's own."""
import os
import struct
import unittest

from bench import bench

PROGRAMS = ('monitor', 'skinmaker', 'doutsend', 'msktool')
SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comdlg32.dll', 'comctl32.dll', 'shell32.dll',
               'advapi32.dll', 'msvcrt.dll', 'ntdll.dll', 'ws2_32.dll'}


def pe_headers(path):
    """(machine, optional-header magic, subsystem, imported DLL names) of a PE file."""
    with open(path, 'rb') as f:
        data = f.read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        raise ValueError('%s is not a PE file' % path)
    machine, sections, _, _, _, opt_size, _ = struct.unpack_from('<HHIIIHH', data, pe + 4)
    opt = pe + 24
    magic = struct.unpack_from('<H', data, opt)[0]
    subsystem = struct.unpack_from('<H', data, opt + 68)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    import_rva = struct.unpack_from('<I', data, dirs + 8)[0]
    table = []
    for i in range(sections):
        s = pe + 24 + opt_size + 40 * i
        vsize, va, rsize, raw = struct.unpack_from('<IIII', data, s + 8)
        table.append((va, max(vsize, rsize), raw))

    def offset(rva):
        for va, size, raw in table:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError('rva outside sections')

    names = []
    if import_rva:
        d = offset(import_rva)
        while True:
            name_rva = struct.unpack_from('<I', data, d + 12)[0]
            if not name_rva:
                break
            o = offset(name_rva)
            names.append(data[o:data.index(b'\0', o)].decode().lower())
            d += 20
    return machine, magic, subsystem, names


class ArtifactTests(unittest.TestCase):
    def check_target(self, folder, machine, magic):
        for name in PROGRAMS:
            path = os.path.join(bench.dist, folder, name + '.exe')
            with self.subTest(program=path):
                self.assertTrue(os.path.exists(path), 'missing ' + path)
                got_machine, got_magic, subsystem, dlls = pe_headers(path)
                self.assertEqual(got_machine, machine)
                self.assertEqual(got_magic, magic)
                gui = name in ('monitor', 'skinmaker')
                self.assertEqual(subsystem, 2 if gui else 3, 'GUI programs use the GUI subsystem')
                self.assertTrue(set(dlls) <= SYSTEM_DLLS, 'needs more than system DLLs: %s' % dlls)

    def test_win32_programs_are_pe32_i386(self):
        self.check_target('win32', 0x14C, 0x10B)

    def test_win64_programs_are_pe32plus_x86_64(self):
        self.check_target('win64', 0x8664, 0x20B)

    def test_native_msktool_exists(self):
        path = os.path.join(bench.dist, 'native', 'msktool')
        self.assertTrue(os.access(path, os.X_OK), 'missing ' + path)
        with open(path, 'rb') as f:
            self.assertEqual(f.read(4), b'\x7fELF')
