"""The monitor's dialogs, driven in the real program: the settings dialog
(command 40004) with its colour chooser, and the memory usage window
(command 40007)."""
import os
import shutil
import struct
import subprocess

from bench import WineTestCase
from builders import (CMD_EXIT, CMD_MEMORY, CMD_SETTINGS, CMD_SKIN, COLOR_TITLE, FILE_NAME, MEMORY_TITLE, SC_CLOSE,
                      SETTINGS_TITLE, VK_ESCAPE, WM_COMMAND, WM_KEYDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                      WM_SYSCOMMAND, parse_block, settings_block, solid_bmp)

WS_VSCROLL, WS_HSCROLL = 0x00200000, 0x00100000
EM_POSFROMCHAR = 0xD6
FACES = ['FixedSys', 'ＭＳ ゴシック', 'ＭＳ Ｐゴシック', 'ＭＳ 明朝', 'ＭＳ Ｐ明朝', 'MS UI Gothic', 'Verdana',
         'Times New Roman', 'Comic Sans MS', 'Arial', 'Century Gothic', 'Courier New', 'Lucida Console',
         'Lucida Handwriting Italic', 'Lucida Sans Unicode', 'Modern', 'OCR A Extended', 'Symbol', 'Tahoma',
         'Tempus Sans ITC', 'Westminster', 'Book Antiqua', 'Impact']


class MonitorSession:
    """One running monitor in a folder of its own, seen through the driver."""

    def __init__(self, test, ini=None, folder=None, wait_slot=True):
        self.test = test
        self.folder = folder or test.bench.copy_program('monitor')
        if folder and not os.path.exists(os.path.join(folder, 'monitor.exe')):
            shutil.copy2(test.bench.exe('monitor'), folder)
        if ini is not None:
            with open(os.path.join(self.folder, 'sys.ini'), 'wb') as f:
                f.write(ini)
        self.proc = test.start(os.path.join(self.folder, 'monitor.exe'), cwd=self.folder)
        self.main = test.driver_ok('find-window', 'TOVRELWND', '--timeout', '10000').split()[0]
        self.pid = test.driver_ok('pid-of', self.main).strip()
        test.addCleanup(self._gone)
        self.pane = self.child(self.main, 100)
        self.log = os.path.join(self.folder, 'log.txt')
        # The first poll creates the mailslot; writers need it to exist.
        self.slot = r'\\.\mailslot\dout'
        if wait_slot:
            self.wait_slot(self.slot)

    def _gone(self):
        self.test.bench.stop(self.proc)
        self.test.driver('wait-gone', self.main, '--timeout', '5000')

    def child(self, parent, ident):
        def find():
            for line in self.test.driver_ok('children', parent).splitlines():
                fields = line.split('\t')
                if fields[0] == str(ident):
                    return fields[2]
            return None
        return self.test.wait_until(find, what='control %d in %s' % (ident, parent))

    def slot_exists(self, slot):
        rc, out = self.test.driver('slot-open', slot)
        if rc == 0:
            self.test.driver_ok('slot-close', out.strip())
        return rc == 0

    def wait_slot(self, slot):
        self.test.wait_until(lambda: self.slot_exists(slot), what='mailslot %s' % slot)

    def write(self, slot, text):
        return self.test.driver('mailslot-write', slot, text)[0]

    def write_lines(self, slot, *lines):
        # Line ends go as hex: the driver's command lines cannot carry CR.
        data = ''.join(line + '\r\n' for line in lines).encode('cp932')
        self.test.assertEqual(self.test.driver('mailslot-write', slot, '--hex', data.hex())[0], 0)

    def pane_text(self):
        return self.test.driver_ok('get-text', self.pane)

    def pane_bytes(self):
        rc, text = self.test.bench.driver_raw('get-text', self.pane, timeout=30)
        self.test.assertEqual(rc, 0)
        return text

    def wait_pane(self, wanted, timeout=60):
        """Waits until the pane's bytes are exactly `wanted`."""
        self.test.wait_until(lambda: self.pane_bytes() == wanted, timeout=timeout,
                             what='the pane to read ...%r (it reads ...%r)' % (wanted[-40:], self.pane_bytes()[-40:]))

    def wait_text(self, text):
        self.test.wait_until(lambda: text in self.pane_text(), what='%r in the pane' % text)

    def dialogs(self, title):
        found = []
        for line in self.test.driver_ok('dialogs', self.pid).splitlines():
            hwnd, visible, caption = line.split('\t', 2)
            if caption == title and visible == '1':
                found.append(hwnd)
        return found

    def wait_dialog(self, title):
        return self.test.wait_until(lambda: self.dialogs(title), what='dialog %s' % title)[0]

    def open_settings(self):
        self.test.driver_ok('command', self.main, CMD_SETTINGS)
        return self.wait_dialog(SETTINGS_TITLE)

    def close_dialog(self, dialog, button):
        self.test.driver_ok('click', dialog, button)
        self.test.driver_ok('wait-gone', dialog, '--timeout', '5000')

    def style(self, hwnd):
        return int(self.test.window_info(hwnd)['style'], 16)

    def exit_and_read_settings(self):
        self.test.driver_ok('command', self.main, CMD_EXIT)
        self.proc.wait(15)
        with open(os.path.join(self.folder, 'sys.ini'), 'rb') as f:
            return parse_block(f.read())


class SettingsDialogTests(WineTestCase):
    def dialog_state(self, monitor, dialog):
        combo = self.driver_ok('combo', dialog, 1003).splitlines()
        return dict(
            poll=self.driver_ok('dlg-text', dialog, 1000), poll_arrows=self.driver_ok('updown-pos', dialog, 1002).strip(),
            face=combo[2 + int(combo[1].split('=')[1])] if int(combo[1].split('=')[1]) >= 0 else None,
            size=self.driver_ok('dlg-text', dialog, 1004), size_arrows=self.driver_ok('updown-pos', dialog, 1005).strip(),
            remote=self.driver_ok('dlg-text', dialog, 1008), slot=self.driver_ok('dlg-text', dialog, 1015),
            vscroll=self.driver_ok('check-state', dialog, 1016).strip(),
            hscroll=self.driver_ok('check-state', dialog, 1017).strip(),
            pin=self.driver_ok('check-state', dialog, 1018).strip())

    def test_defaults_face_list_and_arrows(self):
        monitor = MonitorSession(self)
        dialog = monitor.open_settings()
        self.assertEqual(self.dialog_state(monitor, dialog), dict(
            poll='100', poll_arrows='100', face='FixedSys', size='12', size_arrows='12', remote='.', slot='dout',
            vscroll='0', hscroll='0', pin='1'))
        combo = self.driver_ok('combo', dialog, 1003).splitlines()
        self.assertEqual(combo[0], 'count=23')
        self.assertEqual(combo[2:], FACES)
        for spin, buddy, low_high in ((1002, 1000, '1 1024'), (1005, 1004, '1 64')):
            self.assertEqual(self.driver_ok('updown-buddy', dialog, spin).strip(), str(buddy))
            self.assertEqual(self.driver_ok('updown-range', dialog, spin).strip(), low_high)
        self.close_and_expect_no_change(monitor, dialog)

    def close_and_expect_no_change(self, monitor, dialog):
        self.driver_ok('post', dialog, WM_SYSCOMMAND, SC_CLOSE, 0)
        self.driver_ok('wait-gone', dialog, '--timeout', '5000')
        self.assertEqual(monitor.exit_and_read_settings()['slot'], b'dout')

    def test_ok_applies_every_change_at_once_and_saves_it(self):
        ini = settings_block(pin=0, font_index=0x12345600)
        monitor = MonitorSession(self, ini)
        monitor.write_lines(monitor.slot, 'one', 'two')
        monitor.wait_text('two')
        old_line = self.line_height(monitor)
        before = self.window_info(monitor.main)
        self.assertEqual(monitor.style(monitor.pane) & (WS_VSCROLL | WS_HSCROLL), 0)

        dialog = monitor.open_settings()
        self.assertEqual(self.driver_ok('check-state', dialog, 1018).strip(), '0')
        self.driver_ok('dlg-set-text', dialog, 1000, '250')
        self.driver_ok('dlg-set-text', dialog, 1004, '30')
        self.driver_ok('combo-select', dialog, 1003, 11)
        self.driver_ok('dlg-set-text', dialog, 1015, 'dlgslot')
        for box in (1016, 1017, 1018):
            self.driver_ok('click', dialog, box)
        self.wait_until(lambda: self.driver_ok('check-state', dialog, 1018).strip() == '1', what='pin box checked')
        monitor.close_dialog(dialog, 1)

        # Scroll bars and the new font are on the pane at once.
        style = monitor.style(monitor.pane)
        self.assertEqual(style & (WS_VSCROLL | WS_HSCROLL), WS_VSCROLL | WS_HSCROLL)
        new_line = self.line_height(monitor)
        self.assertGreater(new_line, old_line)
        self.assertGreaterEqual(new_line, 25)
        # Pin to bottom turned on: the window drops to the screen's bottom, same left edge.
        after = [int(v) for v in self.window_info(monitor.main)['rect'].split()]
        self.assertEqual(after[3], self.bench.screen[1])
        self.assertEqual(after[0], int(before['rect'].split()[0]))

        # The mailslot moved to the new name; the old one is gone.
        new_slot = r'\\.\mailslot\dlgslot'
        self.wait_until(lambda: monitor.write(new_slot, 'NEWSLOT') == 0, what='the new mailslot')
        self.assertNotEqual(monitor.write(monitor.slot, 'OLDSLOT'), 0)
        monitor.write(new_slot, 'MARK')
        monitor.wait_text('MARK')
        self.assertIn('NEWSLOT', monitor.pane_text())
        self.assertNotIn('OLDSLOT', monitor.pane_text())

        saved = monitor.exit_and_read_settings()
        self.assertEqual(saved['poll'], 250)
        self.assertEqual(saved['font_height'], 30)
        self.assertEqual(saved['font_index'], 0x1234560B)   # only the low byte written
        self.assertEqual(saved['slot'], b'dlgslot')
        self.assertEqual(saved['remote'], b'.')
        self.assertEqual((saved['vscroll'], saved['hscroll'], saved['pin']), (1, 1, 1))

    def line_height(self, monitor):
        """Distance between the pane's first two lines, in pixels."""
        text = monitor.pane_text()
        second = text.index('\r\n') + 2
        def y(index):
            answer = int(self.driver_ok('send', monitor.pane, EM_POSFROMCHAR, index, 0))
            return struct.unpack('<h', struct.pack('<H', (answer >> 16) & 0xFFFF))[0]
        return y(second) - y(0)

    def held_writer_reaches_pane(self, monitor, writer, text):
        """Writes through a writer opened before the dialog, then a marker
        through a fresh writer on the current mailslot; once the marker shows,
        says whether the held writer's text arrived too (it cannot after the
        mailslot was re-created)."""
        self.driver_ok('slot-put', writer, text)
        fresh = self.driver_ok('slot-open', monitor.slot).strip()
        self.driver_ok('slot-put', fresh, 'M' + text)
        self.driver_ok('slot-close', fresh)
        monitor.wait_text('M' + text)
        return text in monitor.pane_text().replace('M' + text, '')

    def test_ok_without_new_names_keeps_the_mailslot(self):
        monitor = MonitorSession(self)
        writer = self.driver_ok('slot-open', monitor.slot).strip()
        self.addCleanup(self.driver, 'slot-close', writer)
        # Unchanged dialog.
        # A flagged mailslot is re-created at the first tick after OK, before
        # anything is read: a held writer's text written after OK is then lost.
        monitor.close_dialog(monitor.open_settings(), 1)
        self.assertTrue(self.held_writer_reaches_pane(monitor, writer, 'SAME1'))
        # The same names typed back in.
        dialog = monitor.open_settings()
        self.driver_ok('dlg-set-text', dialog, 1008, '.')
        self.driver_ok('dlg-set-text', dialog, 1015, 'dout')
        monitor.close_dialog(dialog, 1)
        self.assertTrue(self.held_writer_reaches_pane(monitor, writer, 'SAME2'))
        # A real change re-creates it: the held writer is then left on the
        # old, closed mailslot, and its text never shows.
        dialog = monitor.open_settings()
        self.driver_ok('dlg-set-text', dialog, 1015, 'elsewhere')
        monitor.close_dialog(dialog, 1)
        monitor.slot = r'\\.\mailslot\elsewhere'
        monitor.wait_slot(monitor.slot)
        self.assertFalse(self.held_writer_reaches_pane(monitor, writer, 'STALE'))

    def test_ok_without_changes_keeps_every_byte(self):
        ini = settings_block(remote=b'.\0old bytes', slot=b'dout\0more', font_index=0xABCDEF07, font_height=20,
                             poll=250, color=0x00336699, vscroll=1, hscroll=0, on_top=0, pin=0,
                             reserved=b'\x01\x02\x03')
        monitor = MonitorSession(self, ini)
        dialog = monitor.open_settings()
        state = self.dialog_state(monitor, dialog)
        self.assertEqual((state['poll'], state['size'], state['face'], state['vscroll'], state['pin']),
                         ('250', '20', FACES[7], '1', '0'))
        monitor.close_dialog(dialog, 1)
        monitor.write_lines(monitor.slot, 'still here')
        monitor.wait_text('still here')
        with open(os.path.join(monitor.folder, 'sys.ini'), 'rb') as f:
            self.assertEqual(f.read(), ini)            # nothing written before exit
        monitor.exit_and_read_settings()
        with open(os.path.join(monitor.folder, 'sys.ini'), 'rb') as f:
            self.assertEqual(f.read(), ini)

    def test_cancel_and_close_box_change_nothing(self):
        ini = settings_block(pin=0, poll=321, font_height=17, font_index=5, color=0x00123456)
        monitor = MonitorSession(self, ini)
        start_rect = self.window_info(monitor.main)['rect']
        monitor.write_lines(monitor.slot, 'one', 'two')
        monitor.wait_text('two')
        old_line = self.line_height(monitor)
        for close in ('cancel', 'closebox'):
            dialog = monitor.open_settings()
            self.driver_ok('dlg-set-text', dialog, 1000, '999')
            self.driver_ok('dlg-set-text', dialog, 1004, '40')
            self.driver_ok('combo-select', dialog, 1003, 2)
            self.driver_ok('dlg-set-text', dialog, 1015, 'cancelled')
            for box in (1016, 1017, 1018):
                self.driver_ok('click', dialog, box)
            self.wait_until(lambda: self.driver_ok('check-state', dialog, 1018).strip() == '1', what='pin box')
            if close == 'cancel':
                monitor.close_dialog(dialog, 2)
            else:
                self.driver_ok('post', dialog, WM_SYSCOMMAND, SC_CLOSE, 0)
                self.driver_ok('wait-gone', dialog, '--timeout', '5000')
            self.assertEqual(monitor.style(monitor.pane) & (WS_VSCROLL | WS_HSCROLL), 0)
            self.assertEqual(self.window_info(monitor.main)['rect'], start_rect)
            self.assertEqual(self.line_height(monitor), old_line)
            self.assertEqual(monitor.write(r'\\.\mailslot\cancelled', 'x'), 1)
        # The next opening shows the saved values again.
        dialog = monitor.open_settings()
        state = self.dialog_state(monitor, dialog)
        self.assertEqual((state['poll'], state['size'], state['face'], state['slot'], state['pin']),
                         ('321', '17', 'MS UI Gothic', 'dout', '0'))
        monitor.close_dialog(dialog, 2)
        saved = monitor.exit_and_read_settings()
        self.assertEqual((saved['poll'], saved['font_height'], saved['font_index'], saved['color']),
                         (321, 17, 5, 0x00123456))
        self.assertEqual((saved['slot'], saved['vscroll'], saved['hscroll'], saved['pin']), (b'dout', 0, 0, 0))

    def test_names_keep_at_most_63_bytes(self):
        monitor = MonitorSession(self)
        dialog = monitor.open_settings()
        remote = monitor.child(dialog, 1008)
        self.driver_ok('dlg-set-text', dialog, 1008, '')
        self.driver_ok('post-chars', remote, 'r' * 70)
        # The edit takes 64 characters as typed; the 64th is dropped on OK.
        self.wait_until(lambda: self.driver_ok('dlg-text', dialog, 1008) == 'r' * 64, what='64 typed characters')
        self.driver_ok('dlg-set-text', dialog, 1015, 's' * 70)
        self.assertEqual(self.driver_ok('dlg-text', dialog, 1015), 's' * 70)
        monitor.close_dialog(dialog, 1)
        # No mailslot can be made on that remote PC: the failure names the cut name.
        box = self.driver_ok('msgbox', monitor.pid, '--timeout', '5000').splitlines()
        self.assertEqual(box[1], '\\\\%s\\mailslot\\%s' % ('r' * 63, 's' * 63))
        self.assertEqual(box[2], 'メールスロットの作成に失敗しました')
        self.driver_ok('click', box[0], 1)
        self.driver_ok('wait-gone', box[0], '--timeout', '5000')
        # Back to this PC: the slot name stays cut to 63 bytes and works.
        dialog = monitor.open_settings()
        self.assertEqual(self.driver_ok('dlg-text', dialog, 1008), 'r' * 63)
        self.driver_ok('dlg-set-text', dialog, 1008, '.')
        monitor.close_dialog(dialog, 1)
        slot = r'\\.\mailslot\%s' % ('s' * 63)
        self.wait_until(lambda: monitor.write(slot, 'CUT') == 0, what='the cut mailslot')
        monitor.wait_text('CUT')
        saved = monitor.exit_and_read_settings()
        self.assertEqual(saved['slot'], b's' * 63)
        self.assertEqual(saved['remote'], b'.')

    def test_typed_face_without_a_row_keeps_the_font_index(self):
        monitor = MonitorSession(self, settings_block(font_index=11))
        dialog = monitor.open_settings()
        edit = monitor.child(monitor.child(dialog, 1003), 1001)
        self.driver_ok('post-chars', edit, 'zz')
        self.wait_until(lambda: self.driver_ok('combo', dialog, 1003).splitlines()[1] == 'selection=-1',
                        what='no row selected')
        monitor.close_dialog(dialog, 1)
        self.assertEqual(monitor.exit_and_read_settings()['font_index'], 11)


class ColourChooserTests(WineTestCase):
    def open_chooser(self, monitor, dialog):
        swatch = monitor.child(dialog, 1006)
        self.driver_ok('post', swatch, WM_LBUTTONDBLCLK, 0, 0)
        chooser = monitor.wait_dialog(COLOR_TITLE)
        self.assertTrue(monitor.child(chooser, 706))
        return swatch, chooser

    def pick(self, chooser, rgb):
        for ident, value in zip((706, 707, 708), rgb):
            self.driver_ok('dlg-set-text', chooser, ident, value)

    def swatch_colour(self, swatch):
        left, top, right, bottom = (int(v) for v in self.window_info(swatch)['rect'].split())
        return self.image('swatch').pixel((left + right) // 2, (top + bottom) // 2)

    def test_ok_keeps_the_chosen_colour_cancel_drops_it(self):
        monitor = MonitorSession(self)
        # Picked, then the settings dialog cancelled: nothing kept.
        dialog = monitor.open_settings()
        swatch, chooser = self.open_chooser(monitor, dialog)
        self.pick(chooser, (0, 0, 255))
        self.driver_ok('command', chooser, 1)
        self.driver_ok('wait-gone', chooser, '--timeout', '5000')
        self.wait_until(lambda: self.swatch_colour(swatch) == (0, 0, 255), what='blue swatch')
        monitor.close_dialog(dialog, 2)
        dialog = monitor.open_settings()
        swatch = monitor.child(dialog, 1006)
        self.wait_until(lambda: self.swatch_colour(swatch) == (0, 0, 0), what='black swatch again')
        # A cancelled chooser changes nothing either.
        swatch, chooser = self.open_chooser(monitor, dialog)
        self.pick(chooser, (0, 255, 0))
        self.driver_ok('click', chooser, 2)
        self.driver_ok('wait-gone', chooser, '--timeout', '5000')
        self.driver_ok('redraw', dialog, '--wait', '5000')
        self.assertEqual(self.swatch_colour(swatch), (0, 0, 0))
        # Picked and confirmed: the text colour.
        swatch, chooser = self.open_chooser(monitor, dialog)
        self.pick(chooser, (255, 0, 0))
        self.driver_ok('command', chooser, 1)
        self.driver_ok('wait-gone', chooser, '--timeout', '5000')
        monitor.close_dialog(dialog, 1)
        saved = monitor.exit_and_read_settings()
        self.assertEqual(saved['color'], 0x000000FF)

    def custom_box_holds(self, monitor, chooser, rgb):
        left, top, right, bottom = (int(v) for v in self.window_info(monitor.child(chooser, 721))['rect'].split())
        image = self.image('custom')
        return any(image.pixel(x, y) == rgb for y in range(top, bottom, 2) for x in range(left, right, 2))

    def test_custom_colours_last_for_the_run_only(self):
        colour = (10, 200, 120)
        monitor = MonitorSession(self)
        dialog = monitor.open_settings()
        _, chooser = self.open_chooser(monitor, dialog)
        self.assertFalse(self.custom_box_holds(monitor, chooser, colour))
        self.pick(chooser, colour)
        self.driver_ok('click', chooser, 712)     # add to the custom colours
        self.wait_until(lambda: self.custom_box_holds(monitor, chooser, colour), what='custom colour added')
        self.driver_ok('click', chooser, 2)
        self.driver_ok('wait-gone', chooser, '--timeout', '5000')
        monitor.close_dialog(dialog, 2)
        # Offered again at the next opening of the same run.
        dialog = monitor.open_settings()
        _, chooser = self.open_chooser(monitor, dialog)
        self.wait_until(lambda: self.custom_box_holds(monitor, chooser, colour), what='custom colour kept')
        self.driver_ok('click', chooser, 2)
        self.driver_ok('wait-gone', chooser, '--timeout', '5000')
        monitor.close_dialog(dialog, 2)
        monitor.exit_and_read_settings()
        # Gone after a restart.
        monitor = MonitorSession(self)
        dialog = monitor.open_settings()
        _, chooser = self.open_chooser(monitor, dialog)
        self.driver_ok('redraw', chooser, '--wait', '5000')
        self.assertFalse(self.custom_box_holds(monitor, chooser, colour))
        self.driver_ok('click', chooser, 2)
        self.driver_ok('wait-gone', chooser, '--timeout', '5000')
        monitor.close_dialog(dialog, 2)


class MemoryWindowTests(WineTestCase):
    FIGURES = {'phys': (1014, 1015, 1016, 1011), 'virt': (1017, 1018, 1019, 1012)}

    def open_memory(self, monitor):
        self.driver_ok('command', monitor.main, CMD_MEMORY)
        window = monitor.wait_dialog(MEMORY_TITLE)
        self.wait_until(lambda: self.driver_ok('dlg-text', window, 1014).endswith(' [KB]'), what='first tick')
        return window

    def kilobytes(self, window, ident):
        text = self.driver_ok('dlg-text', window, ident)
        self.assertRegex(text, r'^\d+ \[KB\]$')
        return int(text.split()[0])

    def test_figures_follow_the_memory_status(self):
        monitor = MonitorSession(self)
        window = self.open_memory(monitor)
        status = dict(line.split('=') for line in self.driver_ok('memstatus').split())
        for kind, (total_id, used_id, free_id, bar_id) in self.FIGURES.items():
            total, avail = int(status[kind + 'Total']), int(status[kind + 'Avail'])
            shown_total = self.kilobytes(window, total_id)
            shown_used = self.kilobytes(window, used_id)
            shown_free = self.kilobytes(window, free_id)
            self.assertEqual(shown_total, total >> 10, kind)
            # Available memory moves, and the virtual space is per process.
            self.assertLess(abs(shown_free - (avail >> 10)), max((total >> 10) // 20, 1 << 20), kind)
            self.assertLessEqual(abs(shown_used + shown_free - shown_total), 1, kind)
            bar = self.driver_ok('progress', window, bar_id).splitlines()
            self.assertEqual(bar[1:], ['range=0 100', 'bar=0x0000ff00', 'back=0x00000000'])
            position = int(bar[0].split('=')[1])
            self.assertLessEqual(abs(position - shown_used * 100 // shown_total), 1, kind)

    def test_one_window_at_a_time_and_greyed_menu_item(self):
        monitor = MonitorSession(self)
        enabled_band = self.menu_item_band(monitor)
        window = self.open_memory(monitor)
        self.assertEqual(self.window_info(window)['owner'], monitor.main)
        greyed_band = self.menu_item_band(monitor)
        self.assertNotEqual(enabled_band, greyed_band)
        self.assertIn((0, 0, 0), enabled_band)
        self.assertNotIn((0, 0, 0), greyed_band)
        # Sent, not posted: when it returns the command has run.
        self.driver_ok('send', monitor.main, WM_COMMAND, CMD_MEMORY, 0)
        self.assertEqual(monitor.dialogs(MEMORY_TITLE), [window])
        # Its button closes it; the command then opens a fresh one.
        self.driver_ok('click', window, 1013)
        self.driver_ok('wait-gone', window, '--timeout', '5000')
        self.assertEqual(self.menu_item_band(monitor), enabled_band)
        window = self.open_memory(monitor)
        self.assertEqual(len(monitor.dialogs(MEMORY_TITLE)), 1)
        # So does the close box.
        self.driver_ok('post', window, WM_SYSCOMMAND, SC_CLOSE, 0)
        self.driver_ok('wait-gone', window, '--timeout', '5000')
        self.open_memory(monitor)

    def menu_item_band(self, monitor):
        """The colours of the second item (40007) of the skin's pop-up menu."""
        self.driver_ok('post', monitor.main, WM_RBUTTONDOWN, 0, 0)
        menu = self.driver_ok('find-window', '#32768', '--timeout', '5000').split()[0]
        self.driver_ok('redraw', menu, '--wait', '5000')
        rect = tuple(int(v) for v in self.window_info(menu)['rect'].split())
        # The X server may show the painted menu a moment after the redraw
        # returns: the screen is read again until its six items show.
        text_bands = self.wait_until(lambda: self.text_bands(rect, 6), timeout=20, what='the menu painted on screen')
        self.driver_ok('post', menu, WM_KEYDOWN, VK_ESCAPE, 0)
        self.driver_ok('wait-gone', menu, '--timeout', '5000')
        return sorted(set(text_bands[1]))

    def text_bands(self, rect, wanted):
        """The menu's rows with ink, grouped in bands of five rows or more
        (its item texts), when there are `wanted` of them."""
        left, top, right, bottom = rect
        image = self.image('menu')
        background = image.pixel(left + 3, top + 3)
        bands, current = [], None
        for y in range(top + 1, bottom - 1):
            inked = [p for p in (image.pixel(x, y) for x in range(left + 2, right - 2)) if p != background]
            if inked:
                current = current or []
                current.append(inked)
            elif current:
                bands.append(current)
                current = None
        if current:
            bands.append(current)
        text_bands = [[p for row in band for p in row] for band in bands if len(band) >= 5]
        return text_bands if len(text_bands) == wanted else None

    def test_colours_follow_the_text_pane(self):
        monitor = MonitorSession(self, settings_block(color=0x000000FF))
        pane = [int(v) for v in self.window_info(monitor.pane)['rect'].split()]
        pane_colour = self.image('pane').pixel((pane[0] + pane[2]) // 2, (pane[1] + pane[3]) // 2)
        window = self.open_memory(monitor)
        info = self.window_info(window)
        ox, oy = (int(v) for v in info['clientorigin'].split())
        cw, ch = (int(v) for v in info['client'].split())
        label = [int(v) for v in self.window_info(monitor.child(window, 1014))['rect'].split()]
        self.driver_ok('redraw', window, '--wait', '5000')
        image = self.image('memory')
        # Between the lower group box and the button: plain dialog background.
        self.assertEqual(image.pixel(ox + cw // 10, oy + ch * 122 // 139), pane_colour)
        figure = [image.pixel(x, y) for y in range(label[1], label[3]) for x in range(label[0], label[2])]
        self.assertIn((255, 0, 0), figure)

    def test_a_new_skin_shows_at_the_next_repaint(self):
        teal = (0, 128, 128)
        folder = self.bench.tmp
        bmp, msk = os.path.join(folder, 'teal.bmp'), os.path.join(folder, 'teal.msk')
        with open(bmp, 'wb') as f:
            f.write(solid_bmp(160, 140, teal))
        tool = os.path.join(self.bench.native, 'msktool')
        made = subprocess.run([tool, 'make', bmp, msk, '--title', 'teal', '--rect', '10,20,110,120'],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(made.returncode, 0, made.stderr)
        monitor = MonitorSession(self)
        window = self.open_memory(monitor)
        info = self.window_info(window)
        ox, oy = (int(v) for v in info['clientorigin'].split())
        cw, ch = (int(v) for v in info['client'].split())
        spot = (ox + cw // 10, oy + ch * 122 // 139)
        self.assertNotEqual(self.image('before').pixel(*spot), teal)

        self.driver_ok('command', monitor.main, CMD_SKIN)
        chooser = self.driver_ok('find-window', '#32770', '--title', 'スキンの選択', '--pid', monitor.pid,
                                 '--timeout', 15000).split()[0]
        self.driver_ok('dlg-set-text', chooser, FILE_NAME, self.bench.win_path(msk))
        self.driver_ok('click', chooser, 1)
        self.driver_ok('wait-gone', chooser, '--timeout', 10000)
        self.wait_until(lambda: self.window_info(monitor.main)['title'] == 'teal', what='the teal skin')
        self.driver_ok('redraw', window)
        self.wait_until(lambda: self.image('after').pixel(*spot) == teal, what='teal dialog background',
                        interval=0.2)
