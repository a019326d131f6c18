"""The monitor's start-up, sys.ini, mailslot reception and log.txt, run for
real under Wine; plus the doutsend tool and the dout.h client.

Each test starts dist/win64/monitor.exe from a fresh copy of its folder, so
sys.ini and log.txt land there, and ends it with command 40003 (exit) unless
the test is about something else.
"""
import os
import struct
import subprocess
import time

from bench import WineTestCase
from builders import CMD_EXIT, SLOT, WS_EX_TOPMOST, settings_block

SW_MINIMIZE = 6


class Monitor:
    def __init__(self, folder, proc, window, pane):
        self.folder, self.proc, self.window, self.pane = folder, proc, window, pane

    def path(self, name):
        return os.path.join(self.folder, name)

    def read(self, name):
        with open(self.path(name), 'rb') as f:
            return f.read()


class SpineTests(WineTestCase):

    # -- helpers ---------------------------------------------------------------

    def launch(self, sys_ini=None, wait_slot=SLOT, folder=None):
        """Starts a monitor; returns once its pane exists (and its slot, unless
        wait_slot is None)."""
        folder = folder or self.bench.copy_program('monitor')
        if sys_ini is not None:
            with open(os.path.join(folder, 'sys.ini'), 'wb') as f:
                f.write(sys_ini)
        proc = self.start(os.path.join(folder, 'monitor.exe'), cwd=folder)
        window = self.driver_ok('find-window', 'TOVRELWND', '--timeout', '15000').strip()
        self.addCleanup(self.bench.driver, 'wait-gone', window, '--timeout', '5000')
        pane = self.wait_until(lambda: self.pane_of(window), timeout=10, what='the text pane')
        if wait_slot:
            self.driver_ok('mailslot-exists', wait_slot, '--timeout', '10000')
        return Monitor(folder, proc, window, pane)

    def pane_of(self, window):
        rc, out = self.driver('children', window)
        for line in out.splitlines():
            fields = line.split('\t')
            if rc == 0 and fields[0] == '100' and fields[1].lower() == 'edit':
                return fields[2]
        return None

    def pane_text(self, monitor):
        rc, out = self.bench.driver_raw('get-text', monitor.pane)
        self.assertEqual(rc, 0)
        return out

    def wait_text(self, monitor, wanted, timeout=10):
        self.wait_until(lambda: self.pane_text(monitor) == wanted, timeout=timeout,
                        what='pane text %r (now %r)' % (wanted[-60:], self.pane_text(monitor)[-60:]))

    def send(self, *args):
        self.driver_ok('mailslot-write', SLOT, *args)

    def send_bytes(self, data, slot=SLOT):
        # As hex: the driver's command lines cannot carry a CR.
        self.driver_ok('mailslot-write', slot, '--hex', data.hex())

    def quit(self, monitor):
        self.driver_ok('command', monitor.window, CMD_EXIT)
        try:
            monitor.proc.wait(15)
        except subprocess.TimeoutExpired:
            self.fail('the monitor did not exit after command 40003')
        self.assertEqual(monitor.proc.returncode, 0)

    def doutsend(self, *args, input=None):
        return self.wine(self.bench.exe('doutsend'), *args, input=input)

    # -- start-up and sys.ini --------------------------------------------------

    def test_first_run_writes_the_defaults_at_exit(self):
        monitor = self.launch()
        self.assertEqual(monitor.read('sys.ini'), b'', 'a missing sys.ini is created empty at start')
        info = self.window_info(monitor.window)
        self.assertEqual(info['class'], 'TOVRELWND')
        self.assertTrue(int(info['exstyle'], 16) & WS_EX_TOPMOST, 'always on top by default')
        self.quit(monitor)
        block = monitor.read('sys.ini')
        self.assertEqual(len(block), 412)
        self.assertEqual(block[260:262], b'.\0')
        self.assertEqual(block[324:329], b'dout\0')
        self.assertEqual(struct.unpack('<iI', block[392:400]), (12, 100))
        self.assertEqual(list(block[404:409]), [0, 0, 1, 1, 0])
        self.assertEqual(block[0:260], bytes(260), 'the default skin leaves the skin path empty')

    def test_short_settings_file_supplies_only_its_leading_fields(self):
        head = settings_block(remote=b'.\0leftover-after-nul')[:300]
        monitor = self.launch(sys_ini=head)
        self.quit(monitor)
        block = monitor.read('sys.ini')
        self.assertEqual(len(block), 412)
        self.assertEqual(block[:300], head, 'the 300 bytes read come back unchanged')
        self.assertEqual(block[300:], settings_block()[300:], 'everything after them kept its default')

    def test_long_settings_file_keeps_its_tail_and_is_honoured(self):
        wanted = settings_block(slot=b'tvlong', font_index=0x11223300 | 3, poll=50, color=0x00336699,
                                on_top=0, pin=0, reserved=bytes((7, 8, 9)))
        tail = bytes((i * 7) & 0xFF for i in range(588))
        monitor = self.launch(sys_ini=wanted + tail, wait_slot=r'\\.\mailslot\tvlong')
        info = self.window_info(monitor.window)
        self.assertFalse(int(info['exstyle'], 16) & WS_EX_TOPMOST, 'always on top off in sys.ini')
        self.driver_ok('mailslot-write', r'\\.\mailslot\tvlong', 'from sys.ini')
        self.wait_text(monitor, b'from sys.ini')
        self.quit(monitor)
        block = monitor.read('sys.ini')
        self.assertEqual(len(block), 1000, 'sys.ini is rewritten without truncating')
        self.assertEqual(block[:412], wanted)
        self.assertEqual(block[412:], tail)

    def test_unterminated_fields_are_repaired_not_overrun(self):
        block = bytearray(settings_block())
        block[324:388] = b'S' * 64          # slot name without its NUL
        block[388] = 200                    # font index past the table
        monitor = self.launch(sys_ini=bytes(block))
        self.send('still works')
        self.wait_text(monitor, b'still works')
        self.quit(monitor)
        saved = monitor.read('sys.ini')
        self.assertEqual(saved[324:329], b'dout\0')
        self.assertEqual(saved[388], 0)

    def test_second_instance_brings_the_first_forward_and_exits(self):
        monitor = self.launch()
        self.assertEqual(self.driver_ok('show-window', monitor.window, SW_MINIMIZE).strip(), 'iconic=1')
        second = self.start(os.path.join(monitor.folder, 'monitor.exe'), cwd=monitor.folder)
        try:
            second.wait(20)
        except subprocess.TimeoutExpired:
            self.fail('the second monitor did not end')
        self.assertEqual(second.returncode, 0)
        self.wait_until(lambda: self.window_info(monitor.window)['iconic'] == '0', what='the first restored')
        self.wait_until(lambda: self.driver_ok('foreground').strip() == monitor.window,
                        what='the first in the foreground')
        rc, out = self.driver('find-window', 'TOVRELWND')
        self.assertEqual(out.split(), [monitor.window], 'only one monitor window')
        self.assertEqual(monitor.read('sys.ini'), b'', 'the second instance wrote nothing')
        self.quit(monitor)

    def run_from_directory_of(self, length):
        """Runs the monitor as m.exe from a folder whose Windows path with its
        closing backslash has `length` bytes; returns the folder's files."""
        base = self.bench.copy_program('monitor')
        folder = os.path.join(base, 'd' * (length - len(self.bench.win_path(base)) - 2))
        os.makedirs(folder)
        self.assertEqual(len(self.bench.win_path(folder)) + 1, length)
        os.rename(os.path.join(base, 'monitor.exe'), os.path.join(folder, 'm.exe'))
        proc = self.start(os.path.join(folder, 'm.exe'), cwd=folder)
        window = self.driver_ok('find-window', 'TOVRELWND', '--timeout', '15000').strip()
        pane = self.wait_until(lambda: self.pane_of(window), timeout=10, what='the text pane')
        self.driver_ok('mailslot-exists', SLOT, '--timeout', '10000')
        monitor = Monitor(folder, proc, window, pane)
        self.send('long path')
        self.wait_text(monitor, b'long path')
        self.quit(monitor)
        return sorted(os.listdir(folder))

    def test_directory_too_long_for_the_file_names_is_refused(self):
        # "m.exe" fits in 260 bytes either way. "sys.ini" beside it needs
        # 259 bytes and its NUL from a 252-byte directory: it is written. From
        # a 254-byte one it would not fit: the monitor runs on its defaults
        # and writes no file rather than overrunning the path.
        self.assertEqual(self.run_from_directory_of(252), ['m.exe', 'sys.ini'])
        self.assertEqual(self.run_from_directory_of(254), ['m.exe'])

    # -- reception -------------------------------------------------------------

    def test_two_waiting_messages_are_taken_in_one_tick(self):
        # A 1.5 s poll period: both messages are surely waiting at the next tick.
        monitor = self.launch(sys_ini=settings_block(poll=1500))
        self.send('abc')
        self.send('def')
        seen = set()

        def arrived():
            text = self.pane_text(monitor)
            seen.add(text)
            return text == b'abcdef'
        self.wait_until(arrived, timeout=5, what='abcdef', interval=0.02)
        self.assertNotIn(b'abc', seen, 'the second message waited for another tick')
        self.quit(monitor)

    def test_pane_scrolls_to_the_last_line(self):
        monitor = self.launch()
        text = b''.join(b'line %03d\r\n' % i for i in range(120))
        self.send_bytes(text)
        self.wait_text(monitor, text)
        lines = int(self.driver_ok('send', monitor.pane, 0x00BA, 0, 0).strip())      # EM_GETLINECOUNT
        first = int(self.driver_ok('send', monitor.pane, 0x00CE, 0, 0).strip())      # EM_GETFIRSTVISIBLELINE
        self.assertEqual(lines, 121)
        self.assertGreater(first, 60, 'the end of the text is in view')
        self.quit(monitor)

    def test_nul_bytes_leave_the_pane_but_reach_the_log(self):
        monitor = self.launch(sys_ini=settings_block(log=1))
        self.send('--hex', '610062')
        self.wait_text(monitor, b'ab')
        self.wait_until(lambda: monitor.read('log.txt') == b'a\0b', what='log.txt with the NUL')
        self.quit(monitor)
        self.assertEqual(monitor.read('sys.ini')[408], 1, 'logging stayed on')

    def test_long_message_is_taken_whole_and_logged_in_full(self):
        body = bytes((i % 94) + 33 for i in range(2000))
        body = body[:700] + b'\0' + body[701:1500] + b'\0' + body[1501:]
        path = os.path.join(self.bench.tmp, 'two-thousand.bin')
        with open(path, 'wb') as f:
            f.write(body)
        monitor = self.launch(sys_ini=settings_block(log=1))
        self.send('--file', self.bench.win_path(path))
        self.wait_text(monitor, body.replace(b'\0', b''))
        self.wait_until(lambda: monitor.read('log.txt') == body, what='all 2000 bytes in log.txt')
        self.quit(monitor)

    def test_zero_byte_message_adds_nothing_and_blocks_nothing(self):
        # Windows hands a zero-byte message out as an empty read. Wine reports
        # its size as 0 but fails the read (ERROR_BROKEN_PIPE) while taking it
        # off the slot, so there the poll ends and the next tick goes on. Both
        # leave the pane and log.txt without a trace of it.
        monitor = self.launch(sys_ini=settings_block(log=1))
        self.send('x1')
        self.send('--empty')
        self.send('x2')
        self.wait_text(monitor, b'x1x2')
        self.wait_until(lambda: monitor.read('log.txt') == b'x1x2', what='log.txt without the empty message')
        self.quit(monitor)

    def test_wrap_at_the_end_of_the_buffer_empties_the_pane(self):
        line = b'0123456789abcdefghijklmnopqrstuvwxyz\r\n'
        full = (line * (32767 // len(line) + 1))[:32767]
        path = os.path.join(self.bench.tmp, 'full.bin')
        with open(path, 'wb') as f:
            f.write(full)
        monitor = self.launch()
        self.send('--file', self.bench.win_path(path))
        self.wait_text(monitor, full, timeout=20)
        self.send('Z')
        self.wait_text(monitor, b'')
        self.send_bytes(b'top\r\n')
        self.wait_text(monitor, b'top\r\n')
        self.quit(monitor)

    def test_held_log_switches_logging_off_and_text_still_shows(self):
        folder = self.bench.copy_program('monitor')
        log = os.path.join(folder, 'log.txt')
        self.driver_ok('hold-file', self.bench.win_path(log))
        self.addCleanup(self.bench.driver, 'release-file', self.bench.win_path(log))
        monitor = self.launch(sys_ini=settings_block(log=1), folder=folder)
        self.send_bytes(b'held\r\n')
        self.wait_text(monitor, b'held\r\n')
        self.driver_ok('release-file', self.bench.win_path(log))
        self.send('after')
        self.wait_text(monitor, b'held\r\nafter')
        self.assertEqual(monitor.read('log.txt'), b'', 'nothing logged once logging went off')
        self.quit(monitor)
        self.assertEqual(monitor.read('sys.ini')[408], 0, 'logging is off at exit')

    def test_uncreatable_slot_gives_one_message_box(self):
        monitor = self.launch(sys_ini=settings_block(remote=b'OTHERPC', poll=50), wait_slot=None)
        pid = self.driver_ok('pid-of', monitor.window).strip()
        box = self.driver_ok('msgbox', pid, '--timeout', '10000').splitlines()
        self.assertEqual(box[1:3], [r'\\OTHERPC\mailslot\dout', 'メールスロットの作成に失敗しました'])
        # What is checked is that time passing brings no second box; a tick
        # leaves no trace outside the monitor, so only time can be waited for.
        time.sleep(0.5)  # ten more ticks while the box is open
        self.assertEqual(len(self.driver_ok('dialogs', pid).splitlines()), 1, 'only one box')
        self.driver_ok('click', box[0], 1)
        self.driver_ok('wait-gone', box[0], '--timeout', '5000')
        time.sleep(0.5)  # ten more ticks after the answer, as above
        self.assertEqual(self.driver_ok('dialogs', pid).strip(), '', 'no box after the first is answered')
        self.quit(monitor)


class DoutsendTests(WineTestCase):
    """doutsend and dout.h against a mailslot the driver keeps, which shows
    where each message ends."""

    NAME = r'\\.\mailslot\tvsend'

    def setUp(self):
        super().setUp()
        self.driver_ok('mailslot-open', self.NAME)
        self.addCleanup(self.bench.driver, 'mailslot-close', self.NAME)

    def messages(self):
        return [bytes.fromhex(line) for line in self.driver_ok('mailslot-read', self.NAME).split()]

    def doutsend(self, *args, input=None):
        return self.wine(self.bench.exe('doutsend'), '--slot', 'tvsend', *args, input=input)

    def test_words_are_one_message_with_crlf(self):
        result = self.doutsend('hello', 'two  words', '表示')
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.messages(), ['hello two  words 表示\r\n'.encode('cp932')])

    def test_each_stdin_line_is_a_message_with_its_own_line_end(self):
        result = self.doutsend(input=b'one\r\ntwo\nthree')
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.messages(), [b'one\r\n', b'two\n', b'three'])

    def test_raw_file_is_one_message_byte_for_byte(self):
        data = bytes(range(256)) * 8
        path = os.path.join(self.bench.tmp, 'raw.bin')
        with open(path, 'wb') as f:
            f.write(data)
        result = self.doutsend('--raw', self.bench.win_path(path))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.messages(), [data])

    def test_host_names_the_computer(self):
        result = self.doutsend('--host', '.', 'via host')
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.messages(), [b'via host\r\n'])

    def test_missing_slot_is_a_clear_error(self):
        result = self.wine(self.bench.exe('doutsend'), '--slot', 'nobody-reads-this', 'lost')
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(b'cannot open mailslot', result.stderr)
        self.assertIn(b'nobody-reads-this', result.stderr)
        self.assertEqual(self.messages(), [])
        remote = self.wine(self.bench.exe('doutsend'), '--host', 'NOSUCHPC', 'lost')
        self.assertEqual(remote.returncode, 1)
        self.assertIn(b'SMB1', remote.stderr)
        self.assertIn(b'--syslog HOST', remote.stderr)

    def test_utf8_text_arrives_as_shift_jis_and_what_cp932_lacks_is_counted(self):
        result = self.doutsend('--utf8', '表示', 'テスト\U0001F600')
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b'1 character not in CP932', result.stderr)
        piped = self.doutsend('--utf8', input='一行目\n二行目 é\n'.encode('utf-8'))
        self.assertEqual(piped.returncode, 0, piped.stderr)
        self.assertIn(b'1 character not in CP932', piped.stderr)
        self.assertEqual(self.messages(), ['表示 テスト?\r\n'.encode('cp932'), '一行目\n'.encode('cp932'),
                                           '二行目 ?\n'.encode('cp932')])
        raw = self.doutsend(input='生のまま\n'.encode('utf-8'))
        self.assertEqual((raw.returncode, raw.stderr), (0, b''))
        self.assertEqual(self.messages(), ['生のまま\n'.encode('utf-8')], 'raw bytes stay the default')

    def test_help_goes_to_stdout_and_bad_usage_exits_2(self):
        for flag in ('--help', '-h'):
            result = self.doutsend(flag)
            self.assertEqual((result.returncode, result.stderr), (0, b''))
            self.assertIn(b'Exit codes:', result.stdout)
        for args in (('--slot',), ('--bogus',), ('--raw', 'x', 'text'), ('--raw', 'x', '--utf8')):
            result = self.doutsend(*args)
            self.assertEqual((result.returncode, result.stdout), (2, b''))
            self.assertIn(b'usage: doutsend', result.stderr)
        self.assertEqual(self.messages(), [])

    def test_client_header_is_quiet_without_a_reader_and_delivers_with_one(self):
        out = self.driver_ok('dout-client', timeout=30).splitlines()
        self.assertEqual(out[:5], ['early=0', 'within-second=0', 'printed=1', 'long=1', 'raw=1'])
        self.assertEqual(out[5:], [r'got=hello 42 world\r\n', 'got=bbbbbbbbbb...(3001)', r'got=a\0b'])
