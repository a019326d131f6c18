"""The skin maker under Wine: loading bitmaps (browse and drop), the preview's
drag and colour pick, the swatch, and saving skins the monitor can wear."""
import os
import shutil
import tempfile

import xdnd
from bench import WineTestCase, run_native_msktool
from builders import (CMD_SKIN, FILE_NAME, IDCANCEL, IDNO, IDOK, IDYES, WM_CAPTURECHANGED, WM_LBUTTONDOWN,
                      WM_LBUTTONUP, WM_NULL, bmp8, bmp24)

DIALOG_TITLE = 'スキン作成'
OPEN_TITLE = 'ビットマップファイルの選択'
SAVE_TITLE = 'スキンの保存'
PATH_FIELD, BROWSE, TITLE_FIELD, SWATCH = 1000, 1001, 1010, 1011
FIELDS = (1004, 1005, 1006, 1007)

GREEN, RED, GREY128, GREY127, BLUE, WHITE = (0, 255, 0), (255, 0, 0), (128, 128, 128), (127, 127, 127), \
    (0, 0, 255), (255, 255, 255)


# The first test picture: four quadrants whose colours sit on both sides of the
# swatch's contrast rule, and a blue bar along the bottom.
PICTURE_W, PICTURE_H = 200, 150


def picture_pixel(x, y):
    if y >= 130:
        return BLUE
    if y < 65:
        return GREEN if x < 100 else RED
    return GREY128 if x < 100 else GREY127


def second_picture():
    palette = [(255, 255, 255), (200, 40, 90), (10, 20, 30)]
    return bmp8(120, 90, palette, lambda x, y: 1 if x < 60 else (2 if y < 45 else 0))


class MakerSession:
    """One running skin maker and the driver calls the tests make on it."""

    def __init__(self, case):
        self.case = case
        folder = case.bench.copy_program('skinmaker')
        self.exe = os.path.join(folder, 'skinmaker.exe')
        case.start(self.exe)
        out = case.driver_ok('find-window', '#32770', '--title', DIALOG_TITLE, '--timeout', '15000')
        self.dialog = out.split()[0]
        self.pid = case.driver_ok('pid-of', self.dialog).strip()
        self.preview = None
        # Found while its controls may still be in the making: wait until the
        # modal loop runs and the dialog is shown.
        self.sync()
        case.wait_until(lambda: self.info(self.dialog)['visible'] == '1', 10, 'the dialog shown')

    def sync(self):
        """Returns once the dialog's message loop has handled all that came before."""
        self.case.driver_ok('send', self.dialog, WM_NULL, 0, 0)

    def field(self, control):
        return self.case.driver_ok('dlg-text', self.dialog, control)

    def fields(self):
        return tuple(self.field(c) for c in FIELDS)

    def dialog_titled(self, title, timeout=10000):
        rc, out = self.case.driver('find-window', '#32770', '--title', title, '--pid', self.pid,
                                   '--timeout', timeout)
        return out.split()[0] if rc == 0 else None

    def dialog_listed(self, title):
        """The top-level dialog of the program with this title, from the full list."""
        for line in self.case.driver_ok('dialogs', self.pid).splitlines():
            hwnd, _, text = line.split('\t', 2)
            if text == title:
                return hwnd
        return None

    def owned_box(self, owner, timeout=10000):
        """(hwnd, caption, text) of the message box owned by `owner`."""
        out = self.case.driver_ok('owned-box', owner, '--timeout', timeout)
        hwnd, caption, text = (out.split('\n') + ['', ''])[:3]
        return hwnd, caption, text

    def answer(self, box, button=IDOK):
        self.case.driver_ok('click', box, button)
        self.case.driver_ok('wait-gone', box, '--timeout', 5000)

    def choose_in_file_dialog(self, title, path):
        box = self.dialog_titled(title)
        self.case.assertIsNotNone(box, 'no "%s" dialog' % title)
        if path is not None:
            self.case.driver_ok('dlg-set-text', box, FILE_NAME, path)
        self.case.driver_ok('click', box, IDOK)
        return box

    def browse(self, linux_path):
        """Loads a bitmap through the browse button and the open dialog."""
        self.case.driver_ok('command', self.dialog, BROWSE)
        box = self.choose_in_file_dialog(OPEN_TITLE, self.case.bench.win_path(linux_path))
        self.case.driver_ok('wait-gone', box, '--timeout', 5000)
        self.sync()

    def find_preview(self, caption):
        hwnd = self.dialog_titled(caption)
        self.case.assertIsNotNone(hwnd, 'no preview titled %s' % caption)
        self.preview = hwnd
        return hwnd

    def info(self, hwnd):
        return self.case.window_info(hwnd)

    def client_origin(self):
        x, y = self.info(self.preview)['clientorigin'].split()
        return int(x), int(y)

    def control_rect(self, control):
        for line in self.case.driver_ok('children', self.dialog).splitlines():
            parts = line.split('\t')
            if parts[0] == str(control):
                return tuple(int(v) for v in parts[3].split())
        self.case.fail('control %d not found' % control)


class MakerCase(WineTestCase):
    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp(prefix='maker-', dir=self.bench.tmp)
        self.addCleanup(shutil.rmtree, self.work, True)

    def write(self, name, data):
        path = os.path.join(self.work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)
        return path

    def maker_with_picture(self):
        """A skin maker with the first test picture loaded and its preview placed
        clear of the dialog."""
        self.picture = self.write('face.bmp', bmp24(PICTURE_W, PICTURE_H, picture_pixel))
        maker = MakerSession(self)
        maker.browse(self.picture)
        maker.find_preview(self.bench.win_path(self.picture))
        self.driver_ok('move-window', maker.preview, 500, 200)
        maker.sync()
        return maker

    def drop(self, maker, paths):
        out = self.xdotool('search', '--name', '^%s$' % DIALOG_TITLE).split()
        self.assertEqual(len(out), 1, 'one X window for the dialog: %r' % out)
        x, y = (int(v) for v in maker.info(maker.dialog)['clientorigin'].split())
        result = xdnd.drop_files(self.bench.display, int(out[0]), x + 20, y + 100, paths)
        self.assertEqual(result, 'finished')

    def drag(self, maker, start, end, via=None):
        """A real left drag in the preview between two client points."""
        ox, oy = maker.client_origin()
        steps = ['mousemove', ox + start[0], oy + start[1], 'mousedown', 1, 'sleep', 0.1]
        for point in (via or []) + [end]:
            steps += ['mousemove', ox + point[0], oy + point[1], 'sleep', 0.1]
        steps += ['mouseup', 1, 'sleep', 0.1]
        self.xdotool(*steps)
        maker.sync()

    def swatch_look(self, maker, name):
        """(background, dark text pixels, light text pixels) inside the swatch,
        and the dialog's own face colour beside it."""
        left, top, right, bottom = maker.control_rect(SWATCH)
        shot = self.image(name)
        background = shot.pixel(left + 3, (top + bottom) // 2)
        dark = light = 0
        for y in range(top + 2, bottom - 2):
            for x in range(left + 2, right - 2):
                p = shot.pixel(x, y)
                dark += max(p) < 80
                light += min(p) > 180
        face = shot.pixel(right + 3, (top + bottom) // 2)
        return background, dark, light, face

    def right_click(self, maker, x, y):
        ox, oy = maker.client_origin()
        self.xdotool('mousemove', ox + x, oy + y, 'click', 3, 'sleep', 0.1)
        maker.sync()

    def start_save(self, maker):
        self.driver_ok('command', maker.dialog, IDOK)
        box = maker.dialog_titled(SAVE_TITLE)
        self.assertIsNotNone(box, 'no save dialog')
        return box

    def save_as(self, maker, path):
        """Saves through the save dialog under `path` (None: the proposed name)."""
        box = self.start_save(maker)
        if path is not None:
            self.driver_ok('dlg-set-text', box, FILE_NAME, self.bench.win_path(path))
        self.driver_ok('click', box, IDOK)
        self.driver_ok('wait-gone', box, '--timeout', 5000)
        maker.sync()

    def read(self, path):
        with open(path, 'rb') as f:
            return f.read()


class LoadingTests(MakerCase):
    def test_browse_shows_the_bitmap_at_its_own_size_with_the_path_as_caption(self):
        maker = self.maker_with_picture()
        info = maker.info(maker.preview)
        self.assertEqual(info['client'], '%d %d' % (PICTURE_W, PICTURE_H))
        self.assertEqual(info['title'], self.bench.win_path(self.picture))
        self.assertEqual(info['visible'], '1')
        self.assertEqual(info['owner'], '0x0')
        self.assertEqual(int(info['style'], 16) & 0x00CF0000, 0x00C00000, 'caption only: no system menu')
        self.assertEqual(self.driver_ok('children', maker.preview), '')
        self.assertEqual(maker.field(PATH_FIELD), self.bench.win_path(self.picture))
        self.assertEqual(maker.fields(), ('0', '0', '0', '0'))

    def test_dialog_controls_in_tab_order(self):
        maker = MakerSession(self)
        info = maker.info(maker.dialog)
        self.assertEqual(info['rect'].split()[:2], ['0', '0'])
        style, exstyle = int(info['style'], 16), int(info['exstyle'], 16)
        self.assertEqual(style & 0x00CF0000, 0x00C80000, 'caption and system menu, no frame or boxes')
        self.assertTrue(exstyle & 0x10, 'WS_EX_ACCEPTFILES')
        # (id, class, text, style bits that must be set)
        WS_GROUP, WS_TABSTOP = 0x20000, 0x10000
        ES_AUTOHSCROLL, ES_READONLY, ES_NUMBER = 0x80, 0x800, 0x2000
        expected = [(-1, 'Static', 'ビットマップファイル名', WS_GROUP),
                    (1000, 'Edit', '', WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL),
                    (1001, 'Button', '参照', WS_TABSTOP), (1, 'Button', '保存', WS_TABSTOP),
                    (2, 'Button', '終了', WS_TABSTOP), (-1, 'Button', 'テキスト範囲', 7), (-1, 'Button', '', 7),
                    (1004, 'Edit', '0', WS_TABSTOP | ES_NUMBER), (1005, 'Edit', '0', WS_TABSTOP | ES_NUMBER),
                    (1006, 'Edit', '0', WS_TABSTOP | ES_NUMBER), (1007, 'Edit', '0', WS_TABSTOP | ES_NUMBER),
                    (-1, 'Static', '左', WS_GROUP), (-1, 'Static', '上', WS_GROUP),
                    (-1, 'Static', '右', WS_GROUP), (-1, 'Static', '下', WS_GROUP),
                    (-1, 'Static', 'タイトル', WS_GROUP), (1010, 'Edit', '', WS_TABSTOP),
                    (1011, 'Static', '透明色', WS_GROUP | 0x1000 | 0x200 | 0x1)]
        rows = [line.split('\t') for line in self.driver_ok('children', maker.dialog).splitlines()]
        self.assertEqual(len(rows), len(expected))
        for row, (cid, cls, text, bits) in zip(rows, expected):
            self.assertEqual((int(row[0]), row[1].lower(), row[5]), (cid, cls.lower(), text))
            child_style = int(self.window_info(row[2])['style'], 16)
            self.assertEqual(child_style & bits, bits, 'style of %s %r: %#x' % (cid, text, child_style))
        title_style = int(self.window_info(rows[16][2])['style'], 16)
        self.assertFalse(title_style & ES_AUTOHSCROLL, 'the title field does not scroll')

    def test_preview_paints_the_bitmap_one_to_one(self):
        maker = self.maker_with_picture()
        ox, oy = maker.client_origin()
        shot = self.image('preview')
        for (x, y), colour in (((0, 0), GREEN), ((99, 64), GREEN), ((100, 0), RED), ((199, 64), RED),
                               ((0, 65), GREY128), ((199, 129), GREY127), ((0, 149), BLUE), ((199, 149), BLUE)):
            self.assertEqual(shot.pixel(ox + x, oy + y), colour, 'client pixel (%d, %d)' % (x, y))


    def test_second_bitmap_keeps_title_coordinates_and_colour(self):
        maker = self.maker_with_picture()
        self.driver_ok('dlg-set-text', maker.dialog, TITLE_FIELD, 'そのまま')
        self.drag(maker, (5, 6), (70, 80))
        self.right_click(maker, 150, 30)
        before = maker.info(maker.preview)
        first_preview = maker.preview
        second = self.write('second.bmp', second_picture())
        maker.browse(second)
        self.assertEqual(maker.find_preview(self.bench.win_path(second)), first_preview, 'one preview window')
        after = maker.info(maker.preview)
        self.assertEqual(after['client'], '120 90')
        self.assertEqual(after['clientorigin'], before['clientorigin'], 'the top-left corner stays')
        self.assertEqual(maker.field(PATH_FIELD), self.bench.win_path(second))
        self.assertEqual(maker.field(TITLE_FIELD), 'そのまま')
        self.assertEqual(maker.fields(), ('5', '6', '70', '80'))
        self.assertEqual(self.swatch_look(maker, 'kept')[0], RED)
        ox, oy = maker.client_origin()
        shot = self.image('second')
        self.assertEqual(shot.pixel(ox + 10, oy + 10), (200, 40, 90))
        self.assertEqual(shot.pixel(ox + 100, oy + 10), (10, 20, 30))
        self.assertEqual(shot.pixel(ox + 119, oy + 89), (255, 255, 255))
        # A save now carries the state and the new bitmap.
        target = os.path.join(self.work, 'kept.msk')
        self.save_as(maker, target)
        rc, info = skin_info(self, target)
        self.assertEqual(rc, 0, info)
        self.assertEqual(info['title'].decode('utf-8'), 'そのまま')
        self.assertEqual(info['text-rect'], b'5,6,70,80')
        self.assertEqual(info['transparent'], b'0x000000FF')
        self.assertEqual(info['bmp-depth'], b'8')

    def test_quit_button_escape_and_close_box_end_the_program(self):
        for how in ('button', 'escape', 'close'):
            maker = self.maker_with_picture()
            if how == 'button':
                left, top, right, bottom = maker.control_rect(IDCANCEL)
                self.xdotool('mousemove', (left + right) // 2, (top + bottom) // 2, 'click', 1)
            elif how == 'escape':
                left, top, right, bottom = maker.control_rect(TITLE_FIELD)
                self.xdotool('mousemove', (left + right) // 2, (top + bottom) // 2, 'click', 1,
                             'sleep', 0.1, 'key', 'Escape')
            else:
                self.driver_ok('post', maker.dialog, 0x112, 0xF060, 0)   # WM_SYSCOMMAND SC_CLOSE
            self.assertEqual(self.driver_ok('wait-exit', maker.pid, '--timeout', 10000).strip(), '0', how)

    def test_file_that_is_not_a_bitmap_is_refused_and_the_old_one_stays(self):
        maker = self.maker_with_picture()
        before = maker.info(maker.preview)
        for name, data in (('notes.bmp', 'ただのテキスト\r\n'.encode('cp932')),
                           ('empty.bmp', b''), ('zeros.bmp', b'BM' + bytes(100))):
            junk = self.write(name, data)
            self.driver_ok('command', maker.dialog, BROWSE)
            maker.choose_in_file_dialog(OPEN_TITLE, self.bench.win_path(junk))
            box, caption, text = maker.owned_box(maker.dialog)
            self.assertEqual((caption, text), ('Error', '読み込みに失敗しました'), name)
            maker.answer(box)
            maker.sync()
            self.assertEqual(maker.field(PATH_FIELD), self.bench.win_path(self.picture))
            after = maker.info(maker.preview)
            self.assertEqual((after['title'], after['client'], after['rect']),
                             (before['title'], before['client'], before['rect']))
        # The old bitmap is still the one saved.
        target = os.path.join(self.work, 'still.msk')
        self.save_as(maker, target)
        self.assertEqual(extracted_bitmap(self, target), self.read(self.picture))

    def test_browse_opens_on_the_current_bitmap(self):
        maker = self.maker_with_picture()
        self.driver_ok('command', maker.dialog, BROWSE)
        box = maker.dialog_titled(OPEN_TITLE)
        self.assertIsNotNone(box)
        self.assertEqual(self.driver_ok('dlg-text', box, FILE_NAME), 'face.bmp')
        self.driver_ok('click', box, IDCANCEL)
        self.driver_ok('wait-gone', box, '--timeout', 5000)
        maker.sync()
        self.assertEqual(maker.field(PATH_FIELD), self.bench.win_path(self.picture))


class DragTests(MakerCase):
    def test_drag_fills_the_same_fields_whichever_way_it_goes(self):
        maker = self.maker_with_picture()
        a, b = (20, 110), (150, 30)
        expected = ('20', '30', '150', '110')
        for start, end in ((a, b), (b, a), ((a[0], b[1]), (b[0], a[1])), ((b[0], a[1]), (a[0], b[1]))):
            for c in FIELDS:
                self.driver_ok('dlg-set-text', maker.dialog, c, '7')
            self.drag(maker, start, end, via=[(90, 70)])
            self.assertEqual(maker.fields(), expected, 'drag from %r to %r' % (start, end))

    def test_press_and_release_at_one_point_gives_an_empty_rectangle(self):
        maker = self.maker_with_picture()
        self.drag(maker, (33, 44), (33, 44))
        self.assertEqual(maker.fields(), ('33', '44', '33', '44'))

    def test_drag_past_the_edges_is_not_clamped(self):
        maker = self.maker_with_picture()
        self.drag(maker, (180, 140), (PICTURE_W + 40, PICTURE_H + 25))
        self.assertEqual(maker.fields(), ('180', '140', str(PICTURE_W + 40), str(PICTURE_H + 25)))
        # Left of and above the window: negative, shown as its unsigned form.
        self.drag(maker, (10, 12), (-5, -30))
        self.assertEqual(maker.fields(), (str(2 ** 32 - 5), str(2 ** 32 - 30), '10', '12'))

    def test_release_without_a_press_uses_the_last_anchor(self):
        maker = self.maker_with_picture()
        ox, oy = maker.client_origin()
        self.xdotool('mousemove', ox + 40, oy + 50, 'sleep', 0.1)
        self.driver_ok('post', maker.preview, 0x202, 0, 0)   # WM_LBUTTONUP, no press before
        maker.sync()
        self.assertEqual(maker.fields(), ('0', '0', '40', '50'))
        self.drag(maker, (60, 70), (90, 100))
        self.xdotool('mousemove', ox + 10, oy + 20, 'sleep', 0.1)
        self.driver_ok('post', maker.preview, 0x202, 0, 0)
        maker.sync()
        self.assertEqual(maker.fields(), ('10', '20', '60', '70'))

    def test_second_press_during_a_drag_keeps_the_anchor(self):
        maker = self.maker_with_picture()
        ox, oy = maker.client_origin()
        self.xdotool('mousemove', ox + 15, oy + 25, 'mousedown', 1, 'sleep', 0.1,
                     'mousemove', ox + 50, oy + 60, 'sleep', 0.1)
        try:
            self.driver_ok('post', maker.preview, 0x201, 1, (60 << 16) | 50)   # WM_LBUTTONDOWN again
            maker.sync()
            self.xdotool('mousemove', ox + 70, oy + 80, 'sleep', 0.1)
        finally:
            self.xdotool('mouseup', 1, 'sleep', 0.1)
        maker.sync()
        self.assertEqual(maker.fields(), ('15', '25', '70', '80'))

    def test_a_drag_whose_capture_is_taken_away_ends_and_the_next_press_anchors_anew(self):
        maker = self.maker_with_picture()
        ox, oy = maker.client_origin()
        self.xdotool('mousemove', ox + 15, oy + 25, 'sleep', 0.1)
        self.driver_ok('send', maker.preview, WM_LBUTTONDOWN, 0, 0)   # the drag begins at (15, 25)
        self.driver_ok('send', maker.preview, WM_CAPTURECHANGED, 0, maker.dialog)   # and loses the mouse
        self.xdotool('mousemove', ox + 40, oy + 50, 'sleep', 0.1)
        self.driver_ok('send', maker.preview, WM_LBUTTONDOWN, 0, 0)   # a fresh press anchors here
        self.xdotool('mousemove', ox + 70, oy + 80, 'sleep', 0.1)
        self.driver_ok('send', maker.preview, WM_LBUTTONUP, 0, 0)
        self.assertEqual(maker.fields(), ('40', '50', '70', '80'))

    def test_band_is_drawn_during_the_drag_and_painted_over_after(self):
        maker = self.maker_with_picture()
        ox, oy = maker.client_origin()
        self.xdotool('mousemove', ox + 20, oy + 20, 'mousedown', 1, 'sleep', 0.1,
                     'mousemove', ox + 60, oy + 50, 'sleep', 0.1, 'mousemove', ox + 80, oy + 55, 'sleep', 0.2)
        try:
            maker.sync()
            during = self.image('band')
            # R2_NOT inverts green (0,255,0) into magenta on the outline only.
            self.assertEqual(during.pixel(ox + 50, oy + 20), (255, 0, 255))
            self.assertEqual(during.pixel(ox + 20, oy + 40), (255, 0, 255))
            self.assertEqual(during.pixel(ox + 50, oy + 40), GREEN, 'the band is hollow')
            # The band of the earlier move (to 60,50) was inverted back.
            self.assertEqual(during.pixel(ox + 40, oy + 49), GREEN)
        finally:
            self.xdotool('mouseup', 1, 'sleep', 0.1)
        maker.sync()
        self.wait_until(lambda: self.image('after').pixel(ox + 50, oy + 20) == GREEN, 5, 'repaint over the band')
        self.assertEqual(maker.fields(), ('20', '20', '80', '55'))


class ColourTests(MakerCase):
    def test_right_click_picks_the_pixel_and_the_swatch_follows_the_contrast_rule(self):
        maker = self.maker_with_picture()
        background, _, _, face = self.swatch_look(maker, 'plain')
        self.assertEqual(background, face, 'no colour picked: the swatch keeps the dialog colours')
        # (point, colour, text is black)
        for point, colour, black in (((30, 30), GREEN, True), ((150, 30), RED, False),
                                     ((30, 100), GREY128, True), ((150, 100), GREY127, False),
                                     ((100, 140), BLUE, False)):
            self.right_click(maker, *point)
            background, dark, light, _ = self.swatch_look(maker, 'swatch')
            self.assertEqual(background, colour, 'swatch after picking %r' % (point,))
            if black:
                self.assertGreater(dark, 5, 'black text on %r' % (colour,))
                self.assertEqual(light, 0, 'no white text on %r' % (colour,))
            else:
                self.assertGreater(light, 5, 'white text on %r' % (colour,))
                self.assertEqual(dark, 0, 'no black text on %r' % (colour,))

    def test_right_click_outside_the_bitmap_during_a_drag_clears_the_colour(self):
        maker = self.maker_with_picture()
        self.right_click(maker, 150, 30)
        self.assertEqual(self.swatch_look(maker, 'red')[0], RED)
        ox, oy = maker.client_origin()
        self.xdotool('mousemove', ox + 10, oy + 10, 'mousedown', 1, 'sleep', 0.1,
                     'mousemove', ox + PICTURE_W + 30, oy + 20, 'sleep', 0.1, 'click', 3, 'sleep', 0.1,
                     'mouseup', 1, 'sleep', 0.1)
        maker.sync()
        background, _, _, face = self.swatch_look(maker, 'cleared')
        self.assertEqual(background, face)
        self.assertEqual(maker.fields(), ('10', '10', str(PICTURE_W + 30), '20'))


def msktool(case, *args):
    return run_native_msktool(case.bench, *args)


def skin_info(case, path):
    """msktool's view of a skin file: (exit code, {field: raw bytes}); the
    title is UTF-8."""
    result = msktool(case, 'info', path)
    fields = {}
    for line in result.stdout.split(b'\n'):
        key, _, value = line.partition(b': ')
        fields[key.decode('ascii', 'replace')] = value
    return result.returncode, fields


def extracted_bitmap(case, path):
    out = os.path.join(case.bench.tmp, 'extracted.bmp')
    result = msktool(case, 'extract', path, out)
    case.assertEqual(result.returncode, 0, result.stderr)
    with open(out, 'rb') as f:
        data = f.read()
    os.remove(out)
    return data


class SaveTests(MakerCase):
    def test_save_before_any_bitmap_reports_the_open_failure_and_asks_nothing(self):
        maker = MakerSession(self)
        self.driver_ok('command', maker.dialog, IDOK)
        box, caption, text = maker.owned_box(maker.dialog)
        self.assertEqual(caption, '')
        self.assertEqual(text, '指定されたビットマップファイルを開くのに失敗しました')
        maker.answer(box)
        maker.sync()
        self.assertIsNone(maker.dialog_titled(SAVE_TITLE, timeout=300), 'a save dialog appeared')
        self.assertEqual(maker.info(maker.dialog)['title'], DIALOG_TITLE)

    def test_saved_skin_holds_the_fields_and_the_bitmap_bytes(self):
        maker = self.maker_with_picture()
        self.driver_ok('dlg-set-text', maker.dialog, TITLE_FIELD, 'テスト皮膚')
        self.drag(maker, (150, 110), (20, 30))
        self.right_click(maker, 30, 30)
        os.makedirs(os.path.join(self.work, 'out'))
        target = os.path.join(self.work, 'out', 'new skin.msk')
        self.save_as(maker, target)
        self.assertTrue(os.path.exists(target))
        self.assertEqual(maker.info(maker.dialog)['title'], DIALOG_TITLE)
        rc, info = skin_info(self, target)
        self.assertEqual(rc, 0, info)
        self.assertEqual(info['magic'], b'RZSK')
        self.assertEqual(info['title'].decode('utf-8'), 'テスト皮膚')
        self.assertEqual(info['text-rect'], b'20,30,150,110')
        self.assertEqual(info['transparent'], b'0x0000FF00')
        self.assertEqual(int(info['record-size']), len(self.read(self.picture)) + 56)
        self.assertEqual(extracted_bitmap(self, target), self.read(self.picture))
        # The dialog keeps everything for another save.
        self.assertEqual(maker.fields(), ('20', '30', '150', '110'))
        self.assertEqual(maker.field(TITLE_FIELD), 'テスト皮膚')
        self.monitor_wears(target, 'テスト皮膚')

    def monitor_wears(self, skin, title):
        """The monitor applies the skin through its skin command: its title,
        size and outline (green cut out) come from the skin."""
        monitor = os.path.join(self.bench.programs, 'monitor.exe')
        if not os.path.exists(monitor):
            self.skipTest('monitor.exe is not in the dist folder')
        folder = self.bench.copy_program('monitor')
        self.start(os.path.join(folder, 'monitor.exe'))
        window = self.driver_ok('find-window', 'TOVRELWND', '--timeout', 15000).split()[0]
        pid = self.driver_ok('pid-of', window).strip()
        self.driver_ok('command', window, CMD_SKIN)

        def file_dialog():
            for line in self.driver_ok('dialogs', pid).splitlines():
                hwnd, visible = line.split('\t')[:2]
                if visible == '1' and self.driver('dlg-text', hwnd, FILE_NAME)[0] == 0:
                    return hwnd
            return None
        box = self.wait_until(file_dialog, 10, "the monitor's open dialog")
        self.driver_ok('dlg-set-text', box, FILE_NAME, self.bench.win_path(skin))
        self.driver_ok('click', box, IDOK)
        self.driver_ok('wait-gone', box, '--timeout', 5000)
        self.wait_until(lambda: self.window_info(window)['title'] == title, 10, 'the skin title on the monitor')

        # The title is set before the size and the outline: wait for the last.
        def outline():
            return self.driver_ok('rgn', window, 10, 10, 150, 30, 50, 100).split()
        # Green (top-left quadrant) is cut out, red (top-right) stays.
        self.wait_until(lambda: outline() == ['0', '1', '1'], 10, 'the skin outline on the monitor')
        left, top, right, bottom = (int(v) for v in self.window_info(window)['rect'].split())
        self.assertEqual((right - left, bottom - top), (PICTURE_W, PICTURE_H))

    def test_unpicked_colour_empty_and_huge_coordinates_and_long_titles(self):
        maker = self.maker_with_picture()
        # Empty and above 2^31 - 1 read as 0. (2^31 - 1 itself is kept on
        # Windows, but Wine's conversion takes it for an overflow, so the
        # largest value checked here is one less.)
        for control, text in zip(FIELDS, ('', '4294967291', '2147483646', '99')):
            self.driver_ok('dlg-set-text', maker.dialog, control, text)
        # 33 bytes: the cut keeps "A" and 15 two-byte characters (31 bytes).
        self.driver_ok('dlg-set-text', maker.dialog, TITLE_FIELD, 'A' + 'ぬ' * 16)
        target = os.path.join(self.work, 'a.msk')
        self.save_as(maker, target)
        rc, info = skin_info(self, target)
        self.assertEqual(rc, 0, info)
        self.assertEqual(info['text-rect'], b'0,0,2147483646,99')
        self.assertEqual(info['transparent'], b'none')
        self.assertEqual(info['title'].decode('utf-8'), 'A' + 'ぬ' * 15)
        # 32 bytes of two-byte characters: a whole character goes, not half of one.
        self.driver_ok('dlg-set-text', maker.dialog, TITLE_FIELD, 'ぬ' * 16)
        target = os.path.join(self.work, 'b.msk')
        self.save_as(maker, target)
        self.assertEqual(skin_info(self, target)[1]['title'].decode('utf-8'), 'ぬ' * 15)

    def test_typed_title_stops_at_the_field_limit_and_keeps_31_bytes(self):
        maker = self.maker_with_picture()
        left, top, right, bottom = maker.control_rect(TITLE_FIELD)
        self.xdotool('mousemove', (left + right) // 2, (top + bottom) // 2, 'click', 1, 'sleep', 0.1)
        self.xdotool('type', '--delay', '5', 'x' * 40)
        maker.sync()
        self.wait_until(lambda: len(maker.field(TITLE_FIELD)) == 32, 5, 'typed title')
        self.assertEqual(maker.field(TITLE_FIELD), 'x' * 32)
        target = os.path.join(self.work, 'typed.msk')
        self.save_as(maker, target)
        self.assertEqual(skin_info(self, target)[1]['title'], b'x' * 31)

    def test_proposed_name_is_the_bitmap_with_msk_and_reads_the_file_at_save_time(self):
        maker = self.maker_with_picture()
        original = self.read(self.picture)
        box = self.start_save(maker)
        proposed = self.driver_ok('dlg-text', box, FILE_NAME)
        # The dialog opens in the bitmap's folder with the name alone in the box.
        self.assertEqual(proposed, 'face.msk')
        self.driver_ok('click', box, IDCANCEL)
        self.driver_ok('wait-gone', box, '--timeout', 5000)
        maker.sync()
        self.assertEqual(sorted(os.listdir(self.work)), ['face.bmp'], 'a cancel writes nothing')
        self.assertEqual(maker.info(maker.dialog)['title'], DIALOG_TITLE)
        # The bitmap changes on disk after loading: the skin takes the new bytes.
        changed = second_picture()
        self.write('face.bmp', changed)
        self.save_as(maker, None)
        skin = os.path.join(self.work, 'face.msk')
        self.assertTrue(os.path.exists(skin), 'confirming the proposal writes face.msk beside the bitmap')
        self.assertEqual(self.read(self.picture), changed, 'the bitmap itself is untouched')
        self.assertNotEqual(changed, original)
        self.assertEqual(extracted_bitmap(self, skin), changed)

    def test_japanese_folder_and_name_with_the_enter_key(self):
        # "ソ" and "表" have 0x5C as their second byte in Shift-JIS.
        self.picture = self.write(os.path.join('ソフト表', '顔ソ.bmp'), second_picture())
        maker = MakerSession(self)
        # Loaded by a drop, and found by listing: no such path goes through
        # the driver's command line.
        self.drop(maker, [self.picture])
        caption = self.bench.win_path(self.picture)
        preview = self.wait_until(lambda: maker.dialog_listed(caption), 10, 'the preview')
        self.driver_ok('move-window', preview, 500, 200)
        maker.sync()
        left, top, right, bottom = maker.control_rect(TITLE_FIELD)
        self.xdotool('mousemove', (left + right) // 2, (top + bottom) // 2, 'click', 1, 'sleep', 0.1,
                     'key', 'Return')
        box = maker.dialog_titled(SAVE_TITLE)
        self.assertIsNotNone(box, 'Enter saves')
        self.assertEqual(self.driver_ok('dlg-text', box, FILE_NAME), '顔ソ.msk')
        self.driver_ok('click', box, IDOK)
        self.driver_ok('wait-gone', box, '--timeout', 5000)
        maker.sync()
        folder = os.path.dirname(self.picture)
        self.assertEqual(sorted(os.listdir(folder)), ['顔ソ.bmp', '顔ソ.msk'])
        skin = os.path.join(folder, '顔ソ.msk')
        self.assertEqual(extracted_bitmap(self, skin), self.read(self.picture))

    def test_saving_over_an_existing_file_asks_first(self):
        maker = self.maker_with_picture()
        target = self.write('old.msk', b'keep me')
        box = self.start_save(maker)
        self.driver_ok('dlg-set-text', box, FILE_NAME, self.bench.win_path(target))
        self.driver_ok('click', box, IDOK)
        question, _, _ = maker.owned_box(box)
        self.assertEqual(self.read(target), b'keep me', 'nothing is written before the answer')
        maker.answer(question, IDNO)
        self.assertEqual(self.read(target), b'keep me')
        self.assertTrue(self.window_info(box)['visible'] == '1', 'a "no" goes back to the save dialog')
        self.driver_ok('click', box, IDOK)
        question, _, _ = maker.owned_box(box)
        maker.answer(question, IDYES)
        self.driver_ok('wait-gone', box, '--timeout', 5000)
        maker.sync()
        self.assertEqual(skin_info(self, target)[0], 0)
        self.assertEqual(extracted_bitmap(self, target), self.read(self.picture))

    def test_short_read_of_the_bitmap_saves_nothing_and_says_so(self):
        source = '/sys/kernel/mm/transparent_hugepage/enabled'
        if not os.path.exists(source) or os.path.getsize(source) <= len(open(source, 'rb').read()):
            self.skipTest('no file here whose size exceeds what a read gives')
        maker = self.maker_with_picture()
        os.remove(self.picture)
        os.symlink(source, self.picture)
        self.driver_ok('command', maker.dialog, IDOK)
        box, caption, text = maker.owned_box(maker.dialog)
        self.assertEqual(caption, self.bench.win_path(self.picture))
        self.assertEqual(text, '指定されたビットマップファイルの読み込みに失敗しました')
        maker.answer(box)
        maker.sync()
        self.assertIsNone(maker.dialog_titled(SAVE_TITLE, timeout=300), 'a save dialog appeared')
        self.assertEqual(sorted(os.listdir(self.work)), ['face.bmp'])

    def test_failed_pack_is_reported_with_the_saving_caption_still_up(self):
        maker = self.maker_with_picture()
        target = os.path.join(self.work, 'held.msk')
        self.driver_ok('hold-file', self.bench.win_path(target))
        self.addCleanup(self.bench.driver, 'release-file', self.bench.win_path(target))
        box = self.start_save(maker)
        self.driver_ok('dlg-set-text', box, FILE_NAME, self.bench.win_path(target))
        self.driver_ok('click', box, IDOK)
        question, _, _ = maker.owned_box(box)   # the file exists (held): replace it?
        maker.answer(question, IDYES)
        failure, caption, text = maker.owned_box(maker.dialog)
        self.assertEqual(text, '保存に失敗しました')
        self.assertEqual(caption, self.bench.win_path(target))
        self.assertEqual(maker.info(maker.dialog)['title'], 'データ保存中')
        maker.answer(failure)
        maker.sync()
        self.assertEqual(maker.info(maker.dialog)['title'], DIALOG_TITLE)
        self.driver_ok('release-file', self.bench.win_path(target))
        self.assertEqual(os.path.getsize(target), 0)


class DropTests(MakerCase):
    """Real drops through the X server (XDND), as a file manager makes them."""

    def test_dropping_several_files_loads_only_the_first(self):
        first = self.write('first.bmp', bmp24(PICTURE_W, PICTURE_H, picture_pixel))
        second = self.write('second one.bmp', second_picture())
        maker = MakerSession(self)
        self.drop(maker, [first, second])
        preview = maker.dialog_titled(self.bench.win_path(first))
        self.assertIsNotNone(preview, 'the first dropped file is shown')
        maker.sync()
        self.assertEqual(maker.field(PATH_FIELD), self.bench.win_path(first))
        self.assertEqual(maker.info(preview)['client'], '%d %d' % (PICTURE_W, PICTURE_H))
        self.assertIsNone(maker.dialog_titled(self.bench.win_path(second), timeout=300))
        # Dropped in the other order, the other file loads.
        self.driver_ok('move-window', preview, 500, 200)
        maker.sync()
        self.drop(maker, [second, first])
        self.wait_until(lambda: maker.info(preview)['title'] == self.bench.win_path(second), 10,
                        'the second file shown')
        self.assertEqual(maker.info(preview)['client'], '120 90')

    def test_dropping_a_file_that_is_not_a_bitmap_is_refused(self):
        first = self.write('first.bmp', bmp24(PICTURE_W, PICTURE_H, picture_pixel))
        notes = self.write('notes.txt', b'not a picture\r\n')
        maker = MakerSession(self)
        self.drop(maker, [first])
        preview = maker.dialog_titled(self.bench.win_path(first))
        self.assertIsNotNone(preview)
        self.driver_ok('move-window', preview, 500, 200)
        maker.sync()
        self.drop(maker, [notes, first])
        box, caption, text = maker.owned_box(maker.dialog)
        self.assertEqual((caption, text), ('Error', '読み込みに失敗しました'))
        maker.answer(box)
        maker.sync()
        self.assertEqual(maker.field(PATH_FIELD), self.bench.win_path(first))
        self.assertEqual(maker.info(preview)['title'], self.bench.win_path(first))
