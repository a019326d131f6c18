"""CreateSkinBitmap under Wine, through the driver's skin-bitmap command: the
DIB section keeps the image's depth, colour table and row order, receives
exactly the pixel bytes there are room for, and an image that is no usable
bitmap gives the owned "not a bitmap file" box (or, when only the system
refuses it, nothing)."""
import os
import shutil
import struct
import subprocess
import tempfile

from bench import WineTestCase, bench
from builders import bmp_file

NOT_BITMAP = 'ビットマップファイルではありません'


def bmp(width, height, bits, compression=0, pixels=None, extra=b'', table_entries=None):
    stride = ((width * bits + 31) // 32) * 4
    rows = abs(height)
    if pixels is None:
        pixels = bytes((7 * k + 3) & 0xFF for k in range(stride * rows))
    entries = table_entries if table_entries is not None else (1 << bits if bits <= 8 else 0)
    table = b''.join(bytes((i * 3 & 0xFF, 255 - i & 0xFF, i & 0xFF, 0)) for i in range(entries))
    masks = struct.pack('<III', 0xFF0000, 0xFF00, 0xFF) if compression == 3 else b''
    image = bmp_file(width, height, bits, pixels, table, 3780, compression, masks, stride * rows, extra)
    return image, stride, table


def record(image):
    return b'RZSK' + b'test'.ljust(32, b'\0') + struct.pack('<iiiiI', 0, 0, 4, 4, 0x00FF00) + image


class SkinBitmapTests(WineTestCase):
    def setUp(self):
        super().setUp()
        self.dir = tempfile.mkdtemp(prefix='skinbitmap-')
        self.addCleanup(shutil.rmtree, self.dir, True)

    def make(self, image, name='skin.rec'):
        """Runs skin-bitmap over a record holding `image`; returns its fields."""
        path = os.path.join(self.dir, name)
        with open(path, 'wb') as f:
            f.write(record(image))
        return self.bitmap_of(path)

    def bitmap_of(self, path):
        rc, out = self.driver('skin-bitmap', bench.win_path(path), timeout=30)
        self.assertEqual(rc, 0, out)
        return dict(line.split('=', 1) for line in out.splitlines() if '=' in line)

    def test_bottom_up_8bit_keeps_format_and_ignores_extra_bytes(self):
        image, stride, table = bmp(6, 4, 8, extra=b'\xAB' * 37)
        pixels = image[struct.unpack_from('<I', image, 10)[0]:][:stride * 4]
        got = self.make(image)
        self.assertEqual(got['msgbox'], 'none')
        self.assertEqual(got['bitmap'], 'ok')
        self.assertEqual((got['width'], got['height'], got['bits'], got['stride']), ('6', '4', '8', '8'))
        self.assertEqual(bytes.fromhex(got['pixels']), pixels)
        self.assertEqual(got['colors'], '256')
        self.assertEqual(bytes.fromhex(got['table']), table)

    def colorref(self, bgr):
        return '%06x' % (bgr[2] | bgr[1] << 8 | bgr[0] << 16)

    def test_row_order_is_kept(self):
        for height in (3, -3):
            with self.subTest(height=height):
                image, stride, _ = bmp(5, height, 24)
                got = self.make(image)
                self.assertEqual(got['bitmap'], 'ok')
                self.assertEqual((got['bits'], got['stride']), ('24', str(stride)))
                # Wine reports the height of a top-down section without its
                # sign in DIBSECTION; the displayed rows tell the order.
                self.assertEqual(abs(int(got['height'])), 3)
                pixels = image[54:54 + stride * 3]
                self.assertEqual(bytes.fromhex(got['pixels']), pixels)
                first, last = pixels[0:3], pixels[2 * stride:2 * stride + 3]
                top, bottom = (first, last) if height < 0 else (last, first)
                self.assertEqual(got['top-left'], self.colorref(top))
                self.assertEqual(got['bottom-left'], self.colorref(bottom))

    def test_short_pixel_data_leaves_the_rest_zero(self):
        image, stride, _ = bmp(8, 4, 8)
        cut = image[:-12]            # 20 of the 32 pixel bytes
        got = self.make(cut)
        self.assertEqual(got['bitmap'], 'ok')
        self.assertEqual(bytes.fromhex(got['pixels']), image[1078:1078 + 20] + bytes(12))

    def test_bitfields_32bit(self):
        image, stride, _ = bmp(3, 2, 32, compression=3)
        got = self.make(image)
        self.assertEqual(got['bitmap'], 'ok')
        self.assertEqual(got['bits'], '32')
        self.assertEqual(bytes.fromhex(got['pixels']), image[14 + 40 + 12:])

    def test_unusable_images_give_the_owned_message_and_no_bitmap(self):
        image, _, _ = bmp(4, 4, 8)
        cases = {
            'not BM': b'MB' + image[2:],
            'colour table cut off': image[:300],
            'pixel offset beyond the image': image[:10] + struct.pack('<I', 999999) + image[14:],
            'core header': image[:14] + struct.pack('<I', 12) + image[18:],
        }
        for what, bad in cases.items():
            with self.subTest(what):
                got = self.make(bad)
                self.assertEqual(got.get('msgbox-caption'), 'Error')
                self.assertEqual(got.get('msgbox-text'), NOT_BITMAP)
                self.assertEqual(got.get('msgbox-owned'), '1')
                self.assertEqual(got['bitmap'], 'null')

    def test_compressed_image_fails_without_a_message(self):
        # RLE8 data: the system makes no DIB section of it.
        image, _, _ = bmp(4, 2, 8, compression=1, pixels=bytes((4, 1, 0, 0, 4, 2, 0, 1)))
        got = self.make(image)
        self.assertEqual(got['msgbox'], 'none')
        self.assertEqual(got['bitmap'], 'null')

    def test_default_skin_gives_a_400_by_336_8bit_section(self):
        msktool = os.path.join(bench.native, 'msktool')
        if not os.path.exists(msktool):
            self.skipTest('missing ' + msktool)
        packed = os.path.join(self.dir, 'default.msk')
        rec = os.path.join(self.dir, 'default.rec')
        for args in (['default', packed], ['unpack', packed, rec]):
            subprocess.run([msktool] + args, check=True, timeout=60)
        got = self.bitmap_of(rec)
        self.assertEqual(got['msgbox'], 'none')
        self.assertEqual((got['width'], got['height'], got['bits']), ('400', '336', '8'))
        with open(rec, 'rb') as f:
            data = f.read()
        self.assertEqual(bytes.fromhex(got['pixels']), data[56 + 1078:])
