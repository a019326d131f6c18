"""The monitor's face and hands under Wine: the skin's bitmap, outline, title
and pane placement, skin files chosen through the skin command, dragging with
the pin and 64-pixel rules, the always-on-top toggle, the context menus and
their enabling, the shortcuts, minimising and exit."""
import os
import random
import shutil
import struct
import tempfile

from bench import WineTestCase, run_native_msktool
from builders import (CMD_EXIT, CMD_LOGFILE, CMD_MEMORY, CMD_MINIMIZE, CMD_SETTINGS, CMD_SKIN,
                      FILE_NAME, IDCANCEL, IDOK, MAIN_CLASS, SETTINGS_TITLE, SKIN_DIALOG_TITLE, SLOT, VK_ESCAPE,
                      WM_CAPTURECHANGED, WM_COMMAND, WM_KEYDOWN, WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_NULL, WM_RBUTTONDOWN,
                      WM_SYSCOMMAND, WS_EX_TOPMOST, bmp24, settings_block)

DEFAULT_TITLE = 'ぬぺろ'
IDC_PINBOTTOM = 1018
NOT_SKIN = 'スキンデータではありません'
NOT_UNPACKED = 'スキンデータの解凍に失敗しました'
EM_GETSEL, EM_SETSEL = 0xB0, 0xB1
GREEN = (0, 255, 0)

# The exact context menus: (command id, text as Shift-JIS bytes); None is a separator.
SKIN_MENU = [(40008, '最小化'), (40007, 'メモリ状況表示'), (40009, 'ログファイルの作成'), None,
             (40004, '動作設定'), (40005, 'スキン'), None, (40003, '終了')]
PANE_MENU = [(40001, '全て選択\bCtrl+A'), (40002, 'コピー\bCtrl+C'), None] + SKIN_MENU


# -- pictures -------------------------------------------------------------------

class Bitmap:
    """An uncompressed 8- or 24-bit BMP file read into rows of (r, g, b), top row first."""

    def __init__(self, data):
        assert data[:2] == b'BM'
        offset, = struct.unpack_from('<I', data, 10)
        size, width, height, _, bits = struct.unpack_from('<IiiHH', data, 14)
        table = [(data[14 + size + 4 * i + 2], data[14 + size + 4 * i + 1], data[14 + size + 4 * i])
                 for i in range(256)] if bits == 8 else None
        self.width, self.height = width, abs(height)
        stride = ((width * bits + 31) // 32) * 4
        self.rows = []
        for y in range(self.height):
            stored = y if height < 0 else self.height - 1 - y
            row = data[offset + stored * stride: offset + stored * stride + stride]
            if bits == 8:
                self.rows.append([table[row[x]] for x in range(width)])
            else:
                self.rows.append([(row[3 * x + 2], row[3 * x + 1], row[3 * x]) for x in range(width)])

    def pixel(self, x, y):
        return self.rows[y][x]


# A test skin of 300 x 200: a magenta frame 12 pixels wide around a body whose
# left half is teal and right half orange; the text rectangle (10, 20)-(110, 120)
# has its centre (60, 70) on a single light-blue pixel block.
MAGENTA, TEAL, ORANGE, LIGHTBLUE = (255, 0, 255), (0, 128, 128), (255, 160, 0), (200, 220, 255)


def test_skin_pixel(x, y):
    if x < 12 or y < 12 or x >= 288 or y >= 188:
        return MAGENTA
    if 55 <= x < 65 and 65 <= y < 75:
        return LIGHTBLUE
    return TEAL if x < 150 else ORANGE


# -- menus in screenshots -----------------------------------------------------------

def menu_rows(image, rect):
    """The rows of a shown pop-up menu, top to bottom: ('text', top, bottom) or
    ('separator', top, bottom), found from where anything is drawn on the menu's
    background."""
    left, top, right, bottom = rect
    background = image.pixel(left + 4, top + 4)
    inked = []
    for y in range(top + 2, bottom - 2):
        inked.append(any(image.pixel(x, y) != background for x in range(left + 4, right - 4)))
    bands, start = [], None
    for i, ink in enumerate(inked + [False]):
        if ink and start is None:
            start = i
        elif not ink and start is not None:
            bands.append([start + top + 2, i + top + 2])
            start = None
    merged = []
    for band in bands:   # glyph rows of one item may leave a blank line between them
        if merged and band[0] - merged[-1][1] <= 2 and band[1] - band[0] > 2 and merged[-1][1] - merged[-1][0] > 2:
            merged[-1][1] = band[1]
        else:
            merged.append(band)
    return [('separator' if b - t <= 2 else 'text', t, b) for t, b in merged]


def dark(pixel):
    return max(pixel) < 80


def row_has_dark(image, rect, row, x_from, x_to):
    _, t, b = row
    return any(dark(image.pixel(x, y)) for y in range(t, b) for x in range(x_from, x_to))


class Monitor:
    """One running monitor in a folder of its own."""

    def __init__(self, case, ini=None, extra_files=()):
        self.case = case
        self.folder = case.bench.copy_program('monitor')
        self.exe = os.path.join(self.folder, 'monitor.exe')
        if ini is not None:
            with open(os.path.join(self.folder, 'sys.ini'), 'wb') as f:
                f.write(ini)
        # Single instance: a monitor left from an earlier test would take this start.
        case.wait_until(lambda: case.driver('find-window', MAIN_CLASS, '--timeout', 0)[0] != 0,
                        what='no monitor running')
        self.proc = case.start(self.exe, cwd=self.folder)
        case.addCleanup(self._close)
        self.hwnd = case.driver_ok('find-window', MAIN_CLASS, '--timeout', 15000).split()[0]
        self.pid = case.driver_ok('pid-of', self.hwnd).strip()
        self.pane = case.wait_until(self._find_pane, what='the text pane')
        self.sync()   # answered once start-up has reached a message loop

    def _find_pane(self):
        for line in self.case.driver_ok('children', self.hwnd).splitlines():
            parts = line.split('\t')
            if parts[0] == '100':
                return parts[2]
        return None

    def _close(self):
        if self.proc.poll() is None:
            self.case.bench.stop(self.proc)
        # The next monitor must not find this one's window (single instance).
        self.case.driver('wait-gone', self.hwnd, '--timeout', 10000)

    def sync(self):
        self.case.driver_ok('send', self.hwnd, WM_NULL, 0, 0)

    def receive(self, text, marker):
        """Writes text to the monitor's mailslot once it exists; waits until the pane shows it."""
        self.case.driver_ok('mailslot-exists', SLOT, '--timeout', 10000)
        self.case.driver_ok('mailslot-write', SLOT, text)
        self.case.wait_until(lambda: marker in self.case.driver_ok('get-text', self.pane), what='text in the pane')

    def info(self):
        return self.case.window_info(self.hwnd)

    def rect(self):
        return tuple(int(v) for v in self.info()['rect'].split())

    def pane_rect(self):
        return tuple(int(v) for v in self.case.window_info(self.pane)['rect'].split())

    def command(self, command_id):
        self.case.driver_ok('command', self.hwnd, command_id)

    def inside(self, points):
        out = self.case.driver_ok('rgn', self.hwnd, *[v for p in points for v in p])
        return [line == '1' for line in out.split()]

    def exit(self):
        self.command(CMD_EXIT)
        self.proc.wait(20)
        self.case.assertEqual(self.proc.returncode, 0)
        self.case.driver_ok('wait-gone', self.hwnd, '--timeout', 10000)

    def sys_ini(self):
        with open(os.path.join(self.folder, 'sys.ini'), 'rb') as f:
            return f.read()


class FaceCase(WineTestCase):
    default_bitmap = None

    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp(prefix='face-', dir=self.bench.tmp)
        self.addCleanup(shutil.rmtree, self.work, True)
        self.screen_w, self.screen_h = self.bench.screen

    def painted_image(self, name, x, y, colour):
        """A screenshot taken once the screen shows `colour` at (x, y): painting
        reaches the X server after the window's state has changed."""
        shot = {}

        def shows():
            shot['image'] = self.image(name)
            return shot['image'].pixel(x, y) == colour
        self.wait_until(shows, what='%s painted at %d,%d' % (name, x, y), interval=0.2)
        return shot['image']

    def msktool(self, *args):
        result = run_native_msktool(self.bench, *args)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout

    def default_skin(self):
        """The default skin's bitmap, as the skin tools extract it."""
        if FaceCase.default_bitmap is None:
            msk, bmp = os.path.join(self.work, 'default.msk'), os.path.join(self.work, 'default.bmp')
            self.msktool('default', msk)
            self.msktool('extract', msk, bmp)
            with open(bmp, 'rb') as f:
                FaceCase.default_bitmap = Bitmap(f.read())
        return FaceCase.default_bitmap

    def make_skin(self, name, title, rect, transparent=None, pixel=test_skin_pixel, size=(300, 200),
                  top_down=False):
        bmp = os.path.join(self.work, name + '.bmp')
        with open(bmp, 'wb') as f:
            f.write(bmp24(size[0], size[1], pixel, top_down))
        msk = os.path.join(self.work, name + '.msk')
        args = ['make', bmp, msk, '--title', title, '--rect', '%d,%d,%d,%d' % rect]
        if transparent is not None:
            args += ['--transparent', '%02X%02X%02X' % transparent]
        self.msktool(*args)
        return msk

    def choose_skin(self, monitor, path):
        """Runs the skin command and picks `path` in its open dialog."""
        monitor.command(CMD_SKIN)
        dialog = self.driver_ok('find-window', '#32770', '--title', SKIN_DIALOG_TITLE, '--pid', monitor.pid,
                                '--timeout', 15000).split()[0]
        self.wait_until(lambda: self.window_info(dialog)['visible'] == '1', what='the open dialog shown')
        self.driver_ok('dlg-set-text', dialog, FILE_NAME, self.bench.win_path(path))
        self.driver_ok('click', dialog, IDOK)
        self.driver_ok('wait-gone', dialog, '--timeout', 10000)

    def answer_box(self, monitor, caption, text):
        out = self.driver_ok('msgbox', monitor.pid, '--timeout', 15000)
        hwnd, box_caption, box_text = (out.split('\n') + ['', ''])[:3]
        self.assertEqual(box_text, text)
        self.assertEqual(box_caption, caption)
        self.driver_ok('click', hwnd, IDOK)
        self.driver_ok('wait-gone', hwnd, '--timeout', 10000)

    def solid_point(self, bitmap, x_from, margin=3):
        """A point of the default skin (x >= x_from) whose neighbourhood is all
        opaque, topmost first: a safe place to press on the figure."""
        for y in range(margin, bitmap.height - margin):
            for x in range(x_from, bitmap.width - margin):
                if all(bitmap.pixel(x + dx, y + dy) != GREEN
                       for dx in range(-margin, margin + 1) for dy in range(-margin, margin + 1)):
                    return x, y
        self.fail('no opaque point in the skin')

    def wait_skin(self, monitor, title, size, text_rect, what):
        """Waits until the window wears a skin of that title and size with the
        pane on its text rectangle: the title comes first while a skin is applied,
        the pane's placement last."""
        def worn():
            info = monitor.info()
            left, top, right, bottom = (int(v) for v in info['rect'].split())
            pane = tuple(v - o for v, o in zip(monitor.pane_rect(), (left, top, left, top)))
            return info['title'] == title and (right - left, bottom - top) == size and pane == text_rect
        self.wait_until(worn, what=what)

    def wait_rect(self, monitor, predicate, what):
        def placed():
            rect = monitor.rect()
            return rect if predicate(rect) else None
        return self.wait_until(placed, what=what)

    def drag(self, start, end):
        self.xdotool('mousemove', start[0], start[1], 'mousedown', '1', 'sleep', '0.1',
                     'mousemove', (start[0] + end[0]) // 2, (start[1] + end[1]) // 2, 'sleep', '0.1',
                     'mousemove', end[0], end[1], 'sleep', '0.1', 'mouseup', '1')

    def open_menu(self, at, layout, window=None):
        """Opens a context menu at a screen point and waits until it shows the
        rows of `layout`; returns (popup hwnd, rect, screenshot, rows). With
        `window`, the press is posted to that window (the pointer is still moved
        there, as the menu opens at the cursor); otherwise it is a real click.
        Real clicks come last in a test: under Wine the menu loop leaves the
        right button's release queued, and on the text pane it then opens the
        edit control's own context menu once ours has closed."""
        if window is None:
            self.xdotool('mousemove', at[0], at[1], 'click', '3')
        else:
            self.xdotool('mousemove', at[0], at[1])
            self.driver_ok('post', window, WM_RBUTTONDOWN, 0, 0)
        out = self.driver_ok('popup-menu', '--timeout', 10000).split('\n')
        rect = tuple(int(v) for v in out[1].split())
        # Park the pointer away from the menu so no item is highlighted.
        self.xdotool('mousemove', 2, 2)
        kinds = ['separator' if item is None else 'text' for item in layout]
        shot = {}

        def painted():
            shot['image'] = self.image('menu')
            shot['rows'] = menu_rows(shot['image'], rect)
            return [kind for kind, _, _ in shot['rows']] == kinds
        self.wait_until(painted, what='the menu painted with %d rows' % len(kinds), interval=0.2)
        return out[0], rect, shot['image'], shot['rows']

    def close_menu(self, popup):
        self.driver_ok('post', popup, WM_KEYDOWN, VK_ESCAPE, 0)
        self.driver_ok('popup-gone', '--timeout', 10000)

    def menu_state(self, at, layout, window):
        """Opens the menu at a point, reads per item of `layout` None for a
        separator, else (enabled, checked), and closes the menu again. Greyed
        text has no dark pixels; a check mark draws dark pixels left of the text."""
        popup, rect, image, rows = self.open_menu(at, layout, window)
        self.close_menu(popup)
        left, _, right, _ = rect
        states = []
        for item, row in zip(layout, rows):
            if item is None:
                states.append(None)
                continue
            enabled = row_has_dark(image, rect, row, left + 18, right - 4)
            checked = row_has_dark(image, rect, row, left + 3, left + 16)
            states.append((enabled, checked))
        return states


class DefaultSkinTests(FaceCase):
    def test_start_wears_the_default_skin(self):
        bitmap = self.default_skin()
        monitor = Monitor(self)
        info = monitor.info()
        self.assertEqual(info['title'], DEFAULT_TITLE)
        left, top, right, bottom = monitor.rect()
        self.assertEqual((right - left, bottom - top), (bitmap.width, bitmap.height))
        self.assertEqual((bitmap.width, bitmap.height), (400, 336))
        # Pinned to the bottom; the left edge is where start-up put it (screen centre).
        self.assertEqual(bottom, self.screen_h)
        self.assertEqual(left, self.screen_w // 2)
        # The pane sits on the text rectangle.
        self.assertEqual(monitor.pane_rect(), (left + 3, top + 3, left + 249, top + 290))

        # The outline: green pixels out, every other pixel in, checked on a
        # spread of points plus the balloon's centre and the figure.
        rng = random.Random(4)
        points = [(rng.randrange(bitmap.width), rng.randrange(bitmap.height)) for _ in range(600)]
        points += [(0, 0), (399, 0), (0, 335), (399, 335), (126, 146), self.solid_point(bitmap, 260)]
        expected = [bitmap.pixel(x, y) != GREEN for x, y in points]
        self.assertEqual(monitor.inside(points), expected)
        self.assertIn(False, expected)
        self.assertIn(True, expected)
        self.assertEqual(monitor.inside([(126, 146)]), [True])    # balloon
        self.assertEqual(monitor.inside([self.solid_point(bitmap, 260)]), [True])   # figure

        # The pane's background is the colour sampled at the rectangle's centre.
        self.assertEqual(bitmap.pixel(126, 146), (255, 223, 255))
        image = self.painted_image('default-face', left + 126, top + 146, (255, 223, 255))
        for x, y in ((126, 146), (20, 20), (240, 280)):
            self.assertEqual(image.pixel(left + x, top + y), (255, 223, 255), (x, y))

    def test_screen_shows_the_face_inside_the_outline_and_the_root_outside(self):
        bitmap = self.default_skin()
        monitor = Monitor(self)
        left, top, _, _ = monitor.rect()
        fx, fy = self.solid_point(bitmap, 260)
        image = self.painted_image('outline', left + fx, top + fy, bitmap.pixel(fx, fy))
        face = outside = 0
        for y in range(0, bitmap.height, 3):
            for x in range(0, bitmap.width, 3):
                if 3 <= x < 249 and 3 <= y < 290:
                    continue   # the pane paints there
                shown = image.pixel(left + x, top + y)
                if bitmap.pixel(x, y) == GREEN:
                    self.assertEqual(shown, (0, 0, 0), 'root expected at %d,%d' % (x, y))
                    outside += 1
                else:
                    self.assertEqual(shown, bitmap.pixel(x, y), 'skin expected at %d,%d' % (x, y))
                    face += 1
        self.assertGreater(face, 1000)
        self.assertGreater(outside, 1000)

    def test_pane_text_takes_the_text_colour_on_the_pane_background(self):
        monitor = Monitor(self, settings_block(color=0x000000FF))   # red
        monitor.receive('WWWWWWWW MMMMMMMM\r\n' * 3, 'MMMM')
        left, top, right, bottom = monitor.pane_rect()

        def pane_colours():
            image = self.image('pane-text')
            return {image.pixel(x, y) for y in range(top, top + 60) for x in range(left, right)}
        colours = self.wait_until(lambda: (255, 0, 0) in pane_colours() and pane_colours(), what='red text')
        self.assertIn((255, 223, 255), colours)
        self.assertNotIn((0, 0, 0), colours)


class SkinFileTests(FaceCase):
    def test_skin_command_applies_a_skin_file_and_keeps_its_path(self):
        msk = self.make_skin('frame', 'テスト枠', (10, 20, 110, 120), transparent=MAGENTA)
        monitor = Monitor(self)
        self.choose_skin(monitor, msk)
        self.wait_skin(monitor, 'テスト枠', (300, 200), (10, 20, 110, 120), 'the chosen skin')
        left, top, right, bottom = monitor.rect()
        self.assertEqual((right - left, bottom - top), (300, 200))
        self.assertEqual(bottom, self.screen_h)
        self.assertEqual(monitor.pane_rect(), (left + 10, top + 20, left + 110, top + 120))
        self.assertEqual(monitor.inside([(0, 0), (11, 100), (12, 12), (150, 100), (287, 187), (288, 187)]),
                         [False, False, True, True, True, False])
        image = self.painted_image('frame-skin', left + 200, top + 100, ORANGE)   # face outside the pane
        self.assertEqual(image.pixel(left + 60, top + 70), LIGHTBLUE)    # pane background
        self.assertEqual(image.pixel(left + 200, top + 100), ORANGE)     # face outside the pane
        self.assertEqual(image.pixel(left + 5, top + 100), (0, 0, 0))    # cut out
        monitor.exit()
        ini = monitor.sys_ini()
        self.assertEqual(len(ini), 412)
        path = self.bench.win_path(msk).encode('cp932')
        self.assertEqual(ini[:260], path + b'\0' * (260 - len(path)))

    def test_a_file_that_is_not_a_skin_ends_on_the_default_skin(self):
        good = self.make_skin('good', 'good', (10, 20, 110, 120), transparent=MAGENTA)
        plain = os.path.join(self.work, 'plain.bin')
        with open(plain, 'wb') as f:
            f.write(b'This is a text, not a skin record. ' * 4)
        bad = os.path.join(self.work, 'bad.msk')
        self.msktool('pack', plain, bad)
        monitor = Monitor(self)
        self.choose_skin(monitor, good)
        self.wait_skin(monitor, 'good', (300, 200), (10, 20, 110, 120), 'the first skin')
        self.choose_skin(monitor, bad)
        self.answer_box(monitor, self.bench.win_path(bad), NOT_SKIN)
        self.wait_skin(monitor, DEFAULT_TITLE, (400, 336), (3, 3, 249, 290), 'the default skin again')
        left, top, right, bottom = monitor.rect()
        self.assertEqual((right - left, bottom - top), (400, 336))
        monitor.exit()
        self.assertEqual(monitor.sys_ini()[:260], b'\0' * 260)

    def test_a_stream_that_cannot_be_unpacked_is_reported_and_the_default_applied(self):
        broken = os.path.join(self.work, 'broken.msk')
        with open(broken, 'wb') as f:
            f.write(struct.pack('<I', 0xFFFFFFF0) + b'abc' + b'\0' * 20)   # absurd declared size
        path = self.bench.win_path(broken).encode('cp932')
        monitor_ini = settings_block(skin=path)
        self.wait_until(lambda: self.driver('find-window', MAIN_CLASS, '--timeout', 0)[0] != 0,
                        what='no monitor running')
        folder = self.bench.copy_program('monitor')
        with open(os.path.join(folder, 'sys.ini'), 'wb') as f:
            f.write(monitor_ini)
        proc = self.start(os.path.join(folder, 'monitor.exe'), cwd=folder)
        hwnd = self.driver_ok('find-window', MAIN_CLASS, '--timeout', 15000).split()[0]
        self.addCleanup(self.driver, 'wait-gone', hwnd, '--timeout', 10000)
        pid = self.driver_ok('pid-of', hwnd).strip()
        out = self.driver_ok('msgbox', pid, '--timeout', 15000)
        box, caption, text = (out.split('\n') + ['', ''])[:3]
        self.assertEqual((caption, text), (self.bench.win_path(broken), NOT_UNPACKED))
        self.driver_ok('click', box, IDOK)
        self.wait_until(lambda: self.window_info(hwnd)['title'] == DEFAULT_TITLE, what='the default skin')
        self.driver_ok('command', hwnd, CMD_EXIT)
        proc.wait(20)
        with open(os.path.join(folder, 'sys.ini'), 'rb') as f:
            self.assertEqual(f.read()[:260], b'\0' * 260)

    def test_top_down_bitmap_keeps_its_rows_as_displayed(self):
        # The top 40 rows are cut out; the text rectangle's centre is orange.
        def pixel(x, y):
            return MAGENTA if y < 40 else (ORANGE if y >= 100 else TEAL)
        msk = self.make_skin('topdown', 'topdown', (0, 100, 120, 140), transparent=MAGENTA,
                             pixel=pixel, size=(120, 160), top_down=True)
        monitor = Monitor(self)
        self.choose_skin(monitor, msk)
        self.wait_skin(monitor, 'topdown', (120, 160), (0, 100, 120, 140), 'the top-down skin')
        self.assertEqual(monitor.inside([(60, 0), (60, 39), (60, 40), (60, 159)]), [False, False, True, True])
        left, top, _, _ = monitor.rect()
        image = self.painted_image('topdown', left + 60, top + 60, TEAL)
        self.assertEqual(image.pixel(left + 60, top + 120), ORANGE)   # pane background from the bottom part

    def test_no_transparent_colour_gives_a_rectangular_window(self):
        msk = self.make_skin('square', 'square', (10, 20, 110, 120))
        monitor = Monitor(self)
        self.choose_skin(monitor, msk)
        self.wait_skin(monitor, 'square', (300, 200), (10, 20, 110, 120), 'the square skin')
        left, top, right, bottom = monitor.rect()
        self.assertEqual((right - left, bottom - top), (300, 200))
        box = dict(line.split('=', 1) for line in self.driver_ok('rgn-box', monitor.hwnd).splitlines())
        self.assertEqual(box['box'], '0 0 300 200')
        self.assertEqual(box['rects'], '1')
        self.assertEqual(monitor.inside([(0, 0), (299, 0), (0, 199), (299, 199), (300, 0)]),
                         [True, True, True, True, False])
        # The frame colour stays visible: no colour is cut out.
        self.painted_image('square-skin', left + 5, top + 100, MAGENTA)


class MovementTests(FaceCase):
    def test_pinned_drag_moves_only_sideways(self):
        bitmap = self.default_skin()
        monitor = Monitor(self)
        left, top, right, bottom = monitor.rect()
        gx, gy = self.solid_point(bitmap, 260)
        self.drag((left + gx, top + gy), (left + gx - 300, top + gy - 250))
        moved = self.wait_rect(monitor, lambda r: r[0] == left - 300, 'the sideways move')
        self.assertEqual(moved[3], self.screen_h)
        self.assertEqual(moved[2] - moved[0], 400)

    def test_unpinned_drag_stops_64_above_the_bottom_and_is_free_upward(self):
        bitmap = self.default_skin()
        monitor = Monitor(self, settings_block(pin=0))
        left, top, right, bottom = monitor.rect()
        self.assertEqual((left, top), (self.screen_w // 2, self.screen_h // 2))   # within the limit: kept
        gx, gy = self.solid_point(bitmap, 260)
        self.assertLess(gy, 60)
        # Down to the screen's last rows: the top stops at screen height - 64.
        self.drag((left + gx, top + gy), (left + gx - 100, self.screen_h - 3))
        low = self.wait_rect(monitor, lambda r: r[0] == left - 100, 'the downward drag')
        self.assertEqual(low[1], self.screen_h - 64)
        # Up past the screen's top edge: no limit there.
        self.drag((low[0] + gx, low[1] + gy), (low[0] + gx + 50, 2))
        high = self.wait_rect(monitor, lambda r: r[0] == low[0] + 50, 'the upward drag')
        self.assertEqual(high[1], 2 - gy)
        self.assertLess(high[1], 0)

    def test_a_drag_whose_capture_is_taken_away_ends(self):
        monitor = Monitor(self, settings_block(pin=0))
        left, top, _, _ = monitor.rect()
        self.xdotool('mousemove', left + 300, top + 100)
        self.driver_ok('send', monitor.hwnd, WM_LBUTTONDOWN, 0, 0)   # the drag begins, capture taken
        self.driver_ok('send', monitor.hwnd, WM_CAPTURECHANGED, 0, monitor.pane)   # and lost
        self.xdotool('mousemove', left + 200, top + 50, 'sleep', '0.1', 'mousemove', left + 150, top + 20)
        monitor.sync()
        self.driver_ok('send', monitor.hwnd, WM_MOUSEMOVE, 0, 0)
        self.assertEqual(monitor.rect()[:2], (left, top))

    def test_centre_item_centres_and_keeps_the_pin(self):
        monitor = Monitor(self)
        self.driver_ok('post', monitor.hwnd, WM_SYSCOMMAND, 1, 0)
        centred = self.wait_rect(monitor, lambda r: r[0] == (self.screen_w - 400) // 2, 'centring')
        self.assertEqual(centred[3], self.screen_h)

    def test_centre_item_without_pin_centres_both_ways(self):
        monitor = Monitor(self, settings_block(pin=0))
        self.drag((monitor.rect()[0] + 300, monitor.rect()[1] + 100), (100, 100))   # somewhere else first
        self.driver_ok('post', monitor.hwnd, WM_SYSCOMMAND, 1, 0)
        centred = self.wait_rect(monitor, lambda r: r[0] == (self.screen_w - 400) // 2, 'centring')
        self.assertEqual(centred[1], (self.screen_h - 336) // 2)

    def test_settings_dialog_ok_refreshes_the_placement_and_cancel_does_not(self):
        monitor = Monitor(self, settings_block(pin=0))

        def settings_dialog():
            monitor.command(CMD_SETTINGS)
            dialog = self.driver_ok('find-window', '#32770', '--title', SETTINGS_TITLE, '--pid', monitor.pid,
                                    '--timeout', 15000).split()[0]
            # Found as soon as it exists; its controls come a moment later.
            self.wait_until(lambda: self.window_info(dialog)['visible'] == '1', what='the settings dialog shown')
            return dialog

        def close(dialog, button):
            self.driver_ok('click', dialog, button)
            self.driver_ok('wait-gone', dialog, '--timeout', 10000)
            monitor.sync()

        # Put the top lower than the 64-pixel rule allows, from outside.
        self.driver_ok('move-window', monitor.hwnd, 100, self.screen_h - 20)
        self.wait_rect(monitor, lambda r: r[:2] == (100, self.screen_h - 20), 'the outside move')
        close(settings_dialog(), IDCANCEL)
        self.assertEqual(monitor.rect()[:2], (100, self.screen_h - 20))   # no refresh after CANCEL
        close(settings_dialog(), IDOK)
        self.wait_rect(monitor, lambda r: r[:2] == (100, self.screen_h - 64), 'the 64-pixel rule after OK')
        dialog = settings_dialog()
        self.driver_ok('click', dialog, IDC_PINBOTTOM)
        self.wait_until(lambda: self.driver_ok('check-state', dialog, IDC_PINBOTTOM).strip() == '1',
                        what='pin to bottom ticked')   # the click is posted
        close(dialog, IDOK)
        pinned = self.wait_rect(monitor, lambda r: r[3] == self.screen_h, 'the pin after OK')
        self.assertEqual(pinned[0], 100)

    def test_double_click_hands_off_then_takes_back_topmost(self):
        bitmap = self.default_skin()
        other_exe = os.path.join(self.bench.build, 'win64', 'bin', 'minwin.exe')
        self.start(other_exe)
        other = self.driver_ok('find-window', 'TOVRELMINWND', '--timeout', 15000).split()[0]
        monitor = Monitor(self)
        self.assertTrue(int(monitor.info()['exstyle'], 16) & WS_EX_TOPMOST)
        left, top, _, _ = monitor.rect()
        gx, gy = self.solid_point(bitmap, 260)
        point = (left + gx, top + gy)

        self.xdotool('mousemove', point[0], point[1], 'click', '--repeat', '2', '--delay', '80', '1')
        self.wait_until(lambda: not int(monitor.info()['exstyle'], 16) & WS_EX_TOPMOST, what='topmost off')
        self.assertEqual(self.driver_ok('zorder', other, monitor.hwnd).strip(), 'above')
        self.wait_until(lambda: self.driver_ok('foreground').strip() == other, what='the other window in front')
        self.assertEqual(monitor.rect()[:2], (left, top))   # a double-click does not move it

        self.xdotool('mousemove', point[0], point[1], 'click', '--repeat', '2', '--delay', '80', '1')
        self.wait_until(lambda: int(monitor.info()['exstyle'], 16) & WS_EX_TOPMOST, what='topmost on again')
        self.assertEqual(self.driver_ok('zorder', monitor.hwnd, other).strip(), 'above')
        monitor.exit()
        self.assertEqual(monitor.sys_ini()[406], 1)


class MenuTests(FaceCase):
    def test_menu_resources_hold_the_exact_items(self):
        exe = self.bench.win_path(self.bench.exe('monitor'))
        for menu_id, layout in ((101, SKIN_MENU), (102, PANE_MENU)):
            lines = self.driver_ok('menu-resource', exe, menu_id).splitlines()
            self.assertEqual(lines[0], 'toplevel=1')
            items = []
            for line in lines[1:]:
                fields = line.split('\t')
                if fields[1] == 'separator':
                    items.append(None)
                else:
                    items.append((int(fields[0]), bytes.fromhex(fields[3])))
            expected = [None if item is None else (item[0], item[1].encode('cp932')) for item in layout]
            self.assertEqual(items, expected)
        # The shortcut text is set flush right by a 0x08 byte.
        self.assertIn(b'\x08Ctrl+A', expected[0][1])

    def test_pane_menu_enabling_follows_text_and_selection(self):
        monitor = Monitor(self)
        left, top, right, bottom = monitor.pane_rect()
        at = (left + 40, top + 40)
        states = self.menu_state(at, PANE_MENU, monitor.pane)
        self.assertEqual(states[0], (False, False))   # select all: greyed, empty pane
        self.assertEqual(states[1], (False, False))   # copy: greyed
        self.assertEqual(states[3], (True, False))    # minimise: enabled

        monitor.receive('first line\r\nsecond line\r\n', 'second')
        self.driver_ok('send', monitor.pane, EM_SETSEL, 3, 3)
        states = self.menu_state(at, PANE_MENU, monitor.pane)
        self.assertEqual(states[0], (True, False))
        self.assertEqual(states[1], (False, False))

        self.driver_ok('send', monitor.pane, EM_SETSEL, 0, 5)
        states = self.menu_state(at, PANE_MENU, monitor.pane)
        self.assertEqual(states[0], (True, False))
        self.assertEqual(states[1], (True, False))

        # A real right-click on the pane opens the same menu (done last, see open_menu).
        self.open_menu(at, PANE_MENU)

    def test_memory_item_greyed_while_open_and_log_item_checked_by_its_command(self):
        bitmap = self.default_skin()
        monitor = Monitor(self)
        left, top, _, _ = monitor.rect()
        gx, gy = self.solid_point(bitmap, 260)
        on_skin = (left + gx, top + gy)
        states = self.menu_state(on_skin, SKIN_MENU, monitor.hwnd)
        self.assertEqual(states[1], (True, False))    # memory: enabled
        self.assertEqual(states[2], (True, False))    # log: no check mark

        monitor.command(CMD_LOGFILE)
        monitor.command(CMD_MEMORY)
        self.wait_until(lambda: len(self.driver_ok('dialogs', monitor.pid).strip().splitlines()) == 1,
                        what='the memory window')
        memory = self.driver_ok('dialogs', monitor.pid).split()[0]
        self.driver_ok('move-window', memory, 0, 0)   # clear of the points clicked below
        # Open already: nothing more. Sent, so it has been handled when the call returns.
        self.driver_ok('send', monitor.hwnd, WM_COMMAND, CMD_MEMORY, 0)
        self.assertEqual(len(self.driver_ok('dialogs', monitor.pid).strip().splitlines()), 1)

        states = self.menu_state(on_skin, SKIN_MENU, monitor.hwnd)
        self.assertEqual(states[1], (False, False))   # memory: greyed while open
        self.assertEqual(states[2], (True, True))     # log: checked
        pane_left, pane_top, _, _ = monitor.pane_rect()
        states = self.menu_state((pane_left + 40, pane_top + 40), PANE_MENU, monitor.pane)
        self.assertEqual(states[4], (False, False))   # the pane's menu agrees
        self.assertEqual(states[5], (True, True))
        self.assertTrue(self.window_info(memory)['visible'] == '1')
        monitor.exit()
        self.assertEqual(monitor.sys_ini()[408], 1)   # logging stayed on

    def test_choosing_exit_in_the_menu_ends_the_program(self):
        bitmap = self.default_skin()
        monitor = Monitor(self)
        left, top, _, _ = monitor.rect()
        gx, gy = self.solid_point(bitmap, 260)
        popup, rect, image, rows = self.open_menu((left + gx, top + gy), SKIN_MENU)
        _, row_top, row_bottom = rows[-1]
        self.xdotool('mousemove', rect[0] + 30, (row_top + row_bottom) // 2, 'sleep', '0.1', 'click', '1')
        monitor.proc.wait(20)
        self.assertEqual(monitor.proc.returncode, 0)
        self.assertEqual(len(monitor.sys_ini()), 412)

    def test_minimise_command_iconises(self):
        monitor = Monitor(self)
        monitor.command(CMD_MINIMIZE)
        self.wait_until(lambda: monitor.info()['iconic'] == '1', what='the minimised window')


class ShortcutTests(FaceCase):
    def test_ctrl_a_then_ctrl_c_copies_the_pane_text(self):
        monitor = Monitor(self)
        text = 'copy me\r\nand this line\r\n'
        monitor.receive(text, 'and this')
        self.driver_ok('clipboard-clear')
        left, top, right, bottom = monitor.pane_rect()
        self.xdotool('mousemove', left + 100, bottom - 20, 'click', '1')
        self.wait_until(lambda: self.driver_ok('foreground').strip() == monitor.hwnd, what='the monitor in front')
        self.xdotool('key', 'ctrl+a')
        shown = self.driver_ok('get-text', monitor.pane)
        self.wait_until(lambda: int(self.driver_ok('send', monitor.pane, EM_GETSEL, 0, 0)) == len(shown) << 16,
                        what='the whole text selected')
        self.xdotool('key', 'ctrl+c')
        self.wait_until(lambda: self.driver('clipboard')[1] == shown, what='the text on the clipboard')
        self.assertIn('copy me', shown)

    def test_copy_works_while_the_memory_window_has_the_focus(self):
        monitor = Monitor(self)
        monitor.receive('memory focus\r\n', 'memory')
        self.driver_ok('send', monitor.pane, EM_SETSEL, 0, 6)
        self.driver_ok('clipboard-clear')
        monitor.command(CMD_MEMORY)
        self.wait_until(lambda: self.driver_ok('dialogs', monitor.pid).strip(), what='the memory window')
        memory = self.driver_ok('dialogs', monitor.pid).split()[0]
        mleft, mtop, mright, mbottom = (int(v) for v in self.window_info(memory)['rect'].split())
        self.xdotool('mousemove', (mleft + mright) // 2, mtop + 8, 'click', '1')
        self.wait_until(lambda: self.driver_ok('foreground').strip() == memory, what='the memory window in front')
        self.xdotool('key', 'ctrl+c')
        self.wait_until(lambda: self.driver('clipboard')[1] == 'memory', what='the selection on the clipboard')
