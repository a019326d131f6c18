"""msktool on both sides: the Windows build under Wine and the native build
run the same commands over the same files, and must agree on exit code,
output text and every file written byte for byte. The native side runs in a
UTF-8 terminal and the Windows side in code page 932, so texts are compared
as text. The outputs are also checked for what they should hold, so two
equally wrong tools do not pass."""
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

from bench import WineTestCase, bench, project_version, run_native_msktool, REPO
from builders import bmp8

TITLE_JP = 'ぬぺろ'
VERSION = project_version()


def grey_bmp8(width, height, top_down=False):
    """An 8-bit BMP with a full grey colour table and a diagonal pattern,
    its rows stored top first whichever way the image runs."""
    def index(x, y):
        return ((x + (y if top_down else height - 1 - y)) * 7) & 0xFF
    return bmp8(width, height, [(i, i, i) for i in range(256)], index, top_down)


def unpack(stream):
    """An independent decoder, for checking what the tools wrote."""
    size = struct.unpack_from('<i', stream)[0]
    out = bytearray(stream[4:7])
    ip = 7
    while ip < len(stream) and len(out) < size:
        flags = stream[ip]
        ip += 1
        for bit in range(8):
            if ip >= len(stream) or len(out) >= size:
                break
            if flags >> bit & 1:
                b1, b2 = stream[ip], stream[ip + 1]
                ip += 2
                distance = ((b2 & 0x0F) << 8 | b1) + 1
                for _ in range((b2 >> 4) + 3):
                    out.append(out[-distance])
            else:
                out.append(stream[ip])
                ip += 1
    return bytes(out[:size]) + bytes(max(0, size - len(out)))


class MsktoolTests(WineTestCase):
    FILES = {
        'pic.bmp': grey_bmp8(21, 13),
        'topdown.bmp': grey_bmp8(8, 5, top_down=True),
        'text.txt': b'the quick brown fox jumps over the lazy dog\r\n' * 50,
        'two.bin': b'ab',
        'stale.msk': b'\xEE' * 20000,
        'notbmp.txt': b'plain text, not a bitmap at all',
    }

    warmed = False

    def setUp(self):
        super().setUp()
        if not MsktoolTests.warmed:
            # The first program of a fresh prefix starts Wine's own services,
            # which inherit its standard handles: with captured output the
            # pipe would stay open behind them. Start them uncaptured.
            subprocess.run(['wine', 'cmd', '/c', 'exit'], env=bench.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
            MsktoolTests.warmed = True
        self.native = os.path.join(bench.native, 'msktool')
        if not os.path.exists(self.native):
            self.skipTest('missing ' + self.native)
        self.dirs = {}
        for side in ('native', 'wine'):
            d = tempfile.mkdtemp(prefix='msktool-%s-' % side)
            self.addCleanup(shutil.rmtree, d, True)
            for name, data in self.FILES.items():
                with open(os.path.join(d, name), 'wb') as f:
                    f.write(data)
            self.dirs[side] = d

    def run_native(self, *args):
        return run_native_msktool(bench, *args, cwd=self.dirs['native'])

    def both(self, *args):
        """Runs one command on each side; asserts equal exit code, stdout and
        stderr; returns (exit code, stdout as text)."""
        native = self.run_native(*args)
        wine = self.wine(bench.exe('msktool'), *args, cwd=self.dirs['wine'], timeout=60)
        self.assertEqual(native.returncode, wine.returncode, 'exit codes differ for %s' % (args,))
        out = native.stdout.decode('utf-8')
        self.assertEqual(out, wine.stdout.decode('cp932'), 'stdout differs for %s' % (args,))
        self.assertEqual(native.stderr.decode('utf-8'), wine.stderr.decode('cp932'), 'stderr differs for %s' % (args,))
        return native.returncode, out

    def same_file(self, name):
        """The file as both sides wrote it (asserting they agree)."""
        with open(os.path.join(self.dirs['native'], name), 'rb') as f:
            native = f.read()
        with open(os.path.join(self.dirs['wine'], name), 'rb') as f:
            wine = f.read()
        self.assertEqual(native, wine, '%s differs between the sides' % name)
        return native

    def info_fields(self, out):
        return dict(line.split(': ', 1) for line in out.splitlines())

    def test_default_skin_commands(self):
        rc, out = self.both('info', '--default')
        self.assertEqual(rc, 0)
        fields = self.info_fields(out)
        self.assertEqual(fields['magic'], 'RZSK')
        self.assertEqual(fields['title'], TITLE_JP)
        self.assertEqual(fields['text-rect'], '3,3,249,290')
        self.assertEqual(fields['transparent'], '0x0000FF00')
        self.assertEqual((fields['bmp-width'], fields['bmp-height'], fields['bmp-depth']), ('400', '336', '8'))
        self.assertEqual(fields['accepted'], 'yes')

        self.assertEqual(self.both('default', '--stored', 'stored.bin')[0], 0)
        with open(os.path.join(REPO, 'skin', 'default_skin.bin'), 'rb') as f:
            self.assertEqual(self.same_file('stored.bin'), f.read())

        self.assertEqual(self.both('default', 'default.msk')[0], 0)
        packed = self.same_file('default.msk')
        self.assertEqual(unpack(unpack(self.same_file('stored.bin'))), unpack(packed))
        rc, out = self.both('info', 'default.msk')
        self.assertEqual(rc, 0)
        self.assertEqual(self.info_fields(out)['stream'], 'complete')

    def test_make_info_extract(self):
        rc, _ = self.both('make', 'pic.bmp', 'made.msk', '--title', 'Hello skin', '--rect', '1,-2,30,20',
                          '--transparent', '00FF80')
        self.assertEqual(rc, 0)
        record = unpack(self.same_file('made.msk'))
        picture = self.FILES['pic.bmp']
        header = b'RZSK' + b'Hello skin'.ljust(32, b'\0') + struct.pack('<iiiiI', 1, -2, 30, 20, 0x0080FF00)
        self.assertEqual(record, header + picture)

        rc, out = self.both('info', 'made.msk')
        self.assertEqual(rc, 0)
        fields = self.info_fields(out)
        self.assertEqual(fields['transparent'], '0x0080FF00')
        self.assertEqual(fields['text-rect'], '1,-2,30,20')
        self.assertEqual((fields['bmp-width'], fields['bmp-height']), ('21', '13'))

        self.assertEqual(self.both('extract', 'made.msk', 'back.bmp')[0], 0)
        self.assertEqual(self.same_file('back.bmp'), picture)

        # No colour means 0xFFFFFFFF; 31 bytes is the longest title.
        self.assertEqual(self.both('make', 'topdown.bmp', 'long.msk', '--title', 'T' * 31,
                                   '--rect', '0,0,8,5')[0], 0)
        record = unpack(self.same_file('long.msk'))
        self.assertEqual(record[4:36], b'T' * 31 + b'\0')
        self.assertEqual(struct.unpack_from('<I', record, 52)[0], 0xFFFFFFFF)
        rc, out = self.both('info', 'long.msk')
        self.assertEqual(rc, 0)
        self.assertEqual(self.info_fields(out)['bmp-height'], '-5')

    def test_japanese_title_reaches_the_record_as_shift_jis(self):
        # Typed in UTF-8 on Linux and in code page 932 under Wine, stored as
        # Shift-JIS on both; info shows it back in each terminal's encoding.
        rc, _ = self.both('make', 'pic.bmp', 'jp.msk', '--title', TITLE_JP + 'ソ表', '--rect', '3,3,9,9')
        self.assertEqual(rc, 0)
        record = unpack(self.same_file('jp.msk'))
        self.assertEqual(record[4:15], (TITLE_JP + 'ソ表').encode('cp932') + b'\0')
        self.assertEqual(self.info_fields(self.both('info', 'jp.msk')[1])['title'], TITLE_JP + 'ソ表')

        # 16 two-byte characters do not fit in 31 bytes: refused, not cut.
        rc, _ = self.both('make', 'pic.bmp', 'long.msk', '--title', 'ぬ' * 16, '--rect', '3,3,9,9')
        self.assertEqual(rc, 2)
        native = self.run_native('make', 'pic.bmp', 'emoji.msk', '--title', 'smile \U0001F600', '--rect', '3,3,9,9')
        self.assertEqual(native.returncode, 2)
        self.assertIn(b'CP932', native.stderr)
        for side in self.dirs.values():
            self.assertFalse(os.path.exists(os.path.join(side, 'long.msk')))
            self.assertFalse(os.path.exists(os.path.join(side, 'emoji.msk')))

    def test_help_version_and_usage_errors(self):
        for flag in ('--help', '-h'):
            native, wine = self.run_native(flag), self.wine(bench.exe('msktool'), flag)
            self.assertEqual((native.returncode, wine.returncode), (0, 0))
            self.assertIn(b'Exit codes:', native.stdout)
            self.assertEqual(native.stdout, wine.stdout)
            self.assertEqual(native.stderr + wine.stderr, b'')
        rc, out = self.both('--version')
        self.assertEqual((rc, out), (0, 'msktool %s\n' % VERSION))
        for args, named in (((), None), (('frobnicate',), b"unknown command 'frobnicate'"),
                            (('make', 'pic.bmp', 'x.msk', '--title'), None)):
            native = self.run_native(*args)
            self.assertEqual(self.both(*args)[0], 2)
            self.assertEqual(native.stdout, b'')
            self.assertIn(b'usage: msktool', native.stderr)
            if named:
                self.assertIn(named, native.stderr)

    def test_pack_unpack_round_trip_and_in_place_write(self):
        self.assertEqual(self.both('pack', 'text.txt', 'text.pk')[0], 0)
        stream = self.same_file('text.pk')
        text = self.FILES['text.txt']
        self.assertLess(len(stream), len(text) // 4)
        self.assertEqual(unpack(stream), text)
        self.assertEqual(self.both('unpack', 'text.pk', 'text.out')[0], 0)
        self.assertEqual(self.same_file('text.out'), text)

        # Packing over a longer file keeps its tail, on both sides alike.
        self.assertEqual(self.both('pack', 'text.txt', 'stale.msk')[0], 0)
        over = self.same_file('stale.msk')
        self.assertEqual(len(over), 20000)
        self.assertEqual(over[:len(stream)], stream)
        self.assertEqual(over[len(stream):], b'\xEE' * (20000 - len(stream)))
        self.assertEqual(self.both('unpack', 'stale.msk', 'stale.out')[0], 0)
        self.assertEqual(self.same_file('stale.out'), text)

    def test_bad_input_gets_one_line_and_an_exit_code(self):
        self.both('pack', 'text.txt', 'text.pk')
        with open(os.path.join(self.dirs['native'], 'text.pk'), 'rb') as f:
            stream = f.read()
        for side in self.dirs.values():
            with open(os.path.join(side, 'cut.pk'), 'wb') as f:
                f.write(stream[:len(stream) // 2])
        self.both('make', 'notbmp.txt', 'notbmp.msk', '--title', 'x', '--rect', '0,0,1,1', '--force')

        # (arguments, exit code, text of the one stderr line, text on stdout)
        cases = [
            (('info', 'missing.msk'), 2, b'missing.msk: cannot open', b''),
            (('info', 'text.pk'), 1, None, b'accepted: no (not skin data'),
            (('info', 'cut.pk'), 1, b'truncated', b'stream: truncated'),
            (('info', 'notbmp.msk'), 1, None, b'accepted: no (image is not a bitmap'),
            (('unpack', 'cut.pk', 'cut.out'), 1, b'truncated', b''),
            (('unpack', 'two.bin', 'x.out'), 1, b'not a packed stream', b''),
            (('pack', 'two.bin', 'x.pk'), 1, b'too short', b''),
            (('make', 'pic.bmp', 'x.msk', '--title', 't', '--rect', '1,2,3'), 2, b'bad rectangle', b''),
            (('make', 'pic.bmp', 'x.msk', '--title', 't', '--rect', '1,2,3,4x'), 2, b'bad rectangle', b''),
            (('make', 'pic.bmp', 'x.msk', '--title', 't', '--rect', '1,2,3,99999999999'), 2, b'bad rectangle', b''),
            (('make', 'pic.bmp', 'x.msk', '--title', 't', '--rect', '1,2,3,4', '--transparent', 'GG0000'), 2,
             b'bad colour', b''),
            (('make', 'missing.bmp', 'x.msk', '--title', 't', '--rect', '1,2,3,4'), 2, b'missing.bmp', b''),
            (('extract', 'text.pk', 'x.bmp'), 1, b'bad magic', b''),
            (('make', 'notbmp.txt', 'x.msk', '--title', 't', '--rect', '1,2,3,4'), 1,
             b'not a bitmap the monitor can wear', b''),
            (('make', 'pic.bmp', 'x.msk', '--title', 'T' * 32, '--rect', '1,2,3,4'), 2, b'longer than 31 bytes', b''),
        ]
        for args, code, message, shown in cases:
            with self.subTest(args=args):
                native = self.run_native(*args)
                rc, out = self.both(*args)
                self.assertEqual(rc, code)
                self.assertIn(shown.decode(), out)
                if message is not None:
                    lines = native.stderr.splitlines()
                    self.assertEqual(len(lines), 1, native.stderr)
                    self.assertIn(message, lines[0])
        for name in ('cut.out', 'x.out', 'x.pk', 'x.msk', 'x.bmp'):
            for side in self.dirs.values():
                self.assertFalse(os.path.exists(os.path.join(side, name)), 'bad input wrote ' + name)


if __name__ == '__main__':
    unittest.main()


def section_sizes(path):
    """{name: virtual size} of a PE file's sections."""
    with open(path, 'rb') as f:
        data = f.read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    sections, opt_size = struct.unpack_from('<H', data, pe + 6)[0], struct.unpack_from('<H', data, pe + 20)[0]
    sizes = {}
    for i in range(sections):
        s = pe + 24 + opt_size + 40 * i
        name = data[s:s + 8].rstrip(b'\0').decode('ascii', 'replace')
        sizes[name] = struct.unpack_from('<I', data, s + 8)[0]
    return sizes


class EncoderTableLinkageTests(unittest.TestCase):
    """Only the programs that pack carry the encoder's 64 MiB table."""

    def test_table_is_linked_only_where_packing_happens(self):
        table = 64 * 1024 * 1024
        for folder in ('win64', 'win32'):
            for name, packs in (('monitor', False), ('skinmaker', True), ('msktool', True)):
                path = os.path.join(bench.dist, folder, name + '.exe')
                with self.subTest(program=path):
                    if not os.path.exists(path):
                        self.skipTest('missing ' + path)
                    bss = section_sizes(path).get('.bss', 0)
                    if packs:
                        self.assertGreaterEqual(bss, table)
                    else:
                        self.assertLess(bss, table)
