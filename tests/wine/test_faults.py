"""The monitor when its world goes wrong, for real under Wine: a full disk
under log.txt, a sys.ini it may not write at exit, its mailslot name taken by
another process, huge messages, and a kill in the middle of a flood. In each,
nothing else is lost and the window keeps working."""
import os
import subprocess
import tempfile

from bench import WineTestCase
from flood import Writer, flood_bytes, pane_after
from builders import CMD_EXIT, CMD_LOGFILE, SETTINGS_TITLE, WM_NULL, settings_block
from test_dialogs import MonitorSession

SIZE = 1000


class FaultTests(WineTestCase):

    def small_disk(self, size):
        """A folder on a tmpfs of `size` bytes."""
        folder = tempfile.mkdtemp(dir=self.bench.tmp)
        mounted = subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=%d' % size, 'tmpfs', folder],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=30)
        if mounted.returncode:
            self.skipTest('no tmpfs can be mounted here (it needs root): %s' % mounted.stdout.decode().strip())
        self.addCleanup(subprocess.run, ['umount', '-l', folder], timeout=30)
        return folder

    def monitor(self, folder=None, **settings):
        return MonitorSession(self, settings_block(**settings), folder=folder)

    def read(self, path):
        with open(path, 'rb') as f:
            return f.read()

    def answers(self, monitor):
        self.driver_ok('send', monitor.main, WM_NULL, 0, 0, '--timeout', '5000')

    def test_full_disk_keeps_the_bytes_that_fit_and_the_pane_receiving(self):
        exe = os.path.getsize(self.bench.exe('monitor'))
        monitor = self.monitor(self.small_disk(exe + 64 * 1024), log=1)
        count = 200                                          # 200,000 bytes: past the free space
        self.driver_ok('mailslot-flood', monitor.slot, count, SIZE)
        sent = flood_bytes(count, SIZE)
        monitor.wait_pane(pane_after(sent))
        monitor.write_lines(monitor.slot, 'still here')
        monitor.wait_pane(pane_after(sent + b'still here\r\n'))
        self.answers(monitor)
        logged = self.read(monitor.log)
        self.assertTrue(16 * 1024 < len(logged) < len(sent), '%d bytes logged' % len(logged))
        self.assertEqual(logged, sent[:len(logged)], 'log.txt holds exactly the bytes that fit')

    def test_unwritable_settings_at_exit_leave_the_file_untouched(self):
        for how in ('held', 'read-only'):
            with self.subTest(how=how):
                folder = self.small_disk(4 * 1024 * 1024)
                before = settings_block(poll=250)
                monitor = self.monitor(folder, poll=250)
                self.driver_ok('command', monitor.main, CMD_LOGFILE)   # logging on: a change to save
                monitor.write_lines(monitor.slot, 'logged')
                self.wait_until(lambda: os.path.exists(monitor.log), what='logging on')
                ini = os.path.join(folder, 'sys.ini')
                if how == 'held':
                    self.driver_ok('hold-file', self.bench.win_path(ini))
                    self.addCleanup(self.bench.driver, 'release-file', self.bench.win_path(ini))
                else:
                    subprocess.run(['mount', '-o', 'remount,ro', folder], check=True, timeout=30)
                self.driver_ok('command', monitor.main, CMD_EXIT)
                self.assertEqual(monitor.proc.wait(15), 0)
                self.assertEqual(self.read(ini), before)

    def test_slot_name_owned_elsewhere_gives_one_box_and_a_new_name_works(self):
        self.driver_ok('mailslot-open', r'\\.\mailslot\dout')
        self.addCleanup(self.driver, 'mailslot-close', r'\\.\mailslot\dout')
        monitor = MonitorSession(self, settings_block(poll=50), wait_slot=False)
        box = self.driver_ok('msgbox', monitor.pid, '--timeout', '10000').splitlines()
        self.assertEqual(box[1:3], [r'\\.\mailslot\dout', 'メールスロットの作成に失敗しました'])
        self.driver_ok('click', box[0], 1)
        self.driver_ok('wait-gone', box[0], '--timeout', '5000')
        # Many ticks later the settings dialog is the only one that opened.
        dialog = monitor.open_settings()
        self.assertEqual([line.split('\t')[2] for line in self.driver_ok('dialogs', monitor.pid).splitlines()],
                         [SETTINGS_TITLE])
        self.driver_ok('dlg-set-text', dialog, 1015, 'renamed')
        monitor.close_dialog(dialog, 1)
        monitor.wait_slot(r'\\.\mailslot\renamed')
        monitor.write_lines(r'\\.\mailslot\renamed', 'arrived')
        monitor.wait_text('arrived')
        # The other owner's slot kept what was written to it.
        monitor.write_lines(r'\\.\mailslot\dout', 'theirs')
        self.assertEqual(self.driver_ok('mailslot-read', r'\\.\mailslot\dout').split(), [b'theirs\r\n'.hex()])

    def test_huge_messages_are_taken_whole_or_refused_and_the_rest_kept(self):
        monitor = self.monitor(log=1)
        expected = b'before\r\n'
        monitor.write_lines(monitor.slot, 'before')
        for size in (1 << 20, 16 << 20, 64 << 20):
            path = os.path.join(self.bench.tmp, 'huge-%d' % size)
            body = (b'%d ' % size) * (size // 16)
            body = body[:size - 2] + b'\r\n'
            with open(path, 'wb') as f:
                f.write(body)
            rc, _ = self.driver('mailslot-write', monitor.slot, '--file', self.bench.win_path(path), timeout=120)
            os.remove(path)
            if rc == 0:   # Wine's mailslots refuse messages over 64 KiB at the writer
                expected += body
        monitor.write_lines(monitor.slot, 'after')
        expected += b'after\r\n'
        monitor.wait_pane(pane_after(expected), timeout=120)
        self.wait_until(lambda: os.path.getsize(monitor.log) >= len(expected), timeout=120, what='log.txt')
        self.assertEqual(self.read(monitor.log), expected)
        self.answers(monitor)

    def test_a_kill_mid_flood_leaves_a_prefix_and_the_next_monitor_appends(self):
        folder = self.bench.copy_program('monitor')
        first = self.monitor(folder, log=1)
        writer = Writer(self.bench, first.slot, 10 ** 7, SIZE)
        self.addCleanup(writer.kill)
        self.wait_until(lambda: os.path.exists(first.log) and os.path.getsize(first.log) > 200 * SIZE,
                        timeout=60, what='the flood in log.txt')
        self.bench.stop(first.proc)
        self.driver_ok('wait-gone', first.main, '--timeout', '10000')
        # Under Wine a writer to a full slot whose reader is gone waits for
        # good: it is stopped, and what it sent is known message by message.
        writer.kill()
        logged = self.read(first.log)
        sent = flood_bytes(len(logged) // SIZE + 1, SIZE)
        self.assertEqual(logged, sent[:len(logged)], 'log.txt is a prefix of what was sent')

        second = self.monitor(folder, log=1)
        second.write_lines(second.slot, 'after the kill')
        self.wait_until(lambda: os.path.getsize(second.log) > len(logged), what='the next message logged')
        self.assertEqual(self.read(second.log), logged + b'after the kill\r\n')
