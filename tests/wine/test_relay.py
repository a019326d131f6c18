"""The debug-output relay for real under Wine: OutputDebugString text from
other programs reaches the monitor's pane and log.txt once and in order,
one reader owns the channel at a time, and the monitor may come and go."""
import os
import re
import shutil
import signal
import subprocess

from bench import Tool, WineTestCase, wine_command
from builders import settings_block
from test_dialogs import MonitorSession


class Relay(Tool):
    """One dbgrelay process."""

    def __init__(self, test, *args):
        super().__init__(test, 'dbgrelay', *args)

    def started(self):
        return self.wait_said('relaying the debug output')


class RelayTests(WineTestCase):

    def monitor(self, **settings):
        return MonitorSession(self, settings_block(**settings))

    def ods(self, text, *flags):
        """One OutputDebugString call from the driver; the writer's pid."""
        if isinstance(text, bytes):
            return self.driver_ok('ods', '--hex', text.hex(), *flags).strip()
        return self.driver_ok('ods', text, *flags).strip()

    def test_each_string_shows_once_in_order_under_each_format_and_one_reader_at_a_time(self):
        monitor = self.monitor()
        relay = Relay(self).started()
        pid = self.ods('plain ascii')
        self.ods('表示ソ テスト')
        self.ods('ワイド文字の表', '--wide')
        self.ods(b'ends its line\r\n')
        self.ods(b'a lone CR\r')
        self.ods('m' * 4091)                      # the longest string a writer passes
        self.driver_ok('dbwin-fill', 'x')         # the whole buffer, no NUL in it
        wanted = ('plain ascii\r\n表示ソ テスト\r\nワイド文字の表\r\nends its line\r\na lone CR\r\n'
                  + 'm' * 4091 + '\r\n' + 'x' * 4092 + '\r\n').encode('cp932')
        monitor.wait_pane(wanted)

        second = Relay(self)
        self.assertEqual(second.proc.wait(20), 1)
        self.assertIn('another program already reads the debug output', second.said())
        self.assertEqual(relay.stop(), 0)

        for flags, text, line in ((['--pid'], 'with pid', '[%s] with pid\r\n' % pid),
                                  (['--name'], 'named', '[%s tvdriver.exe] named\r\n' % pid),
                                  (['--raw', '--pid'], 'raw', '[%s] raw' % pid)):
            with self.subTest(flags=flags):
                relay = Relay(self, *flags).started()
                self.ods(text)
                wanted += line.encode('cp932')
                monitor.wait_pane(wanted)
                self.assertEqual(relay.stop(), 0)

        # Services' output, and the stop that taskkill asks for: WM_CLOSE to
        # the relay's window.
        relay = Relay(self, '--global').started()
        self.assertEqual(Relay(self, '--global').proc.wait(20), 1)
        window = self.driver_ok('find-window', 'TovrelRelay', '--timeout', '5000').split()[0]
        self.driver_ok('post', window, 0x10, 0, 0)
        self.assertEqual(relay.proc.wait(20), 0)

        slot = r'\\.\mailslot\tvrelay'
        self.driver_ok('mailslot-open', slot)
        self.addCleanup(self.driver, 'mailslot-close', slot)
        relay = Relay(self, '--host', '.', '--slot', 'tvrelay')
        relay.wait_said(r'relaying the debug output to %s' % slot)
        self.ods('elsewhere')
        self.assertEqual(relay.stop(), 0)
        self.assertEqual(self.driver_ok('mailslot-read', slot).split(), [b'elsewhere\r\n'.hex()])
        for bad in (['--slot'], ['--slot', 's' * 64], ['--bogus'], ['--pid', 'text'], ['--syslog', 'pc:0'], ['--tcp']):
            self.assertEqual(self.wine(self.bench.exe('dbgrelay'), *bad).returncode, 2, bad)

    def test_two_writers_ten_thousand_strings_arrive_whole_and_each_in_its_order(self):
        monitor = self.monitor(log=1)
        Relay(self, '--pid').started()
        writers = [subprocess.Popen(wine_command(self.bench.driver_exe) + ['ods-flood', '5000', tag], env=self.bench.env,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                    start_new_session=True) for tag in 'AB']
        for writer in writers:
            self.bench.procs.append(writer)
            self.addCleanup(self.bench.stop, writer)
        pids = {}
        for tag, writer in zip('AB', writers):
            out = writer.communicate(timeout=120)[0].decode()
            self.assertEqual(writer.returncode, 0)
            pids[tag] = dict(line.split('=') for line in out.split())['pid']
        size = sum(len(('[%s] %s %06d\r\n' % (pids[t], t, i)).encode()) for t in 'AB' for i in range(5000))
        logged = lambda: os.path.getsize(monitor.log) if os.path.exists(monitor.log) else 0
        self.wait_until(lambda: logged() >= size, timeout=60, what='%d bytes in log.txt' % size)
        with open(monitor.log, 'rb') as f:
            lines = f.read().decode().split('\r\n')
        self.assertEqual(lines.pop(), '')
        for tag in 'AB':
            mine = [line for line in lines if line.startswith('[%s] %s ' % (pids[tag], tag))]
            self.assertEqual(mine, ['[%s] %s %06d' % (pids[tag], tag, i) for i in range(5000)])
        self.assertEqual(len(lines), 10000)

    def test_strings_while_the_monitor_is_away_are_counted_and_later_ones_arrive(self):
        first = self.monitor()
        relay = Relay(self).started()
        self.ods('before')
        first.wait_pane(b'before\r\n')
        self.bench.stop(first.proc)
        self.driver_ok('wait-gone', first.main, '--timeout', '10000')
        for i in range(5):
            self.ods('lost %d' % i)
        relay.wait_said('went away')

        # The strings that waited for the next try (once a second) reach a
        # monitor that is back by then; the rest are counted. Either way
        # none is lost uncounted, and the order holds.
        second = self.monitor()
        relay.wait_said('dropped while the monitor was away')
        dropped = int(re.search(r'(\d) strings? (?:was|were) dropped while the monitor', relay.said()).group(1))
        self.assertGreaterEqual(dropped, 1)
        self.ods('after')
        second.wait_pane(''.join('lost %d\r\n' % i for i in range(dropped, 5)).encode() + b'after\r\n')


class WriterFilterTests(WineTestCase):
    """The writer-side line rules: dbgrelay keeping one program's strings,
    doutsend following a log file through what log rotation does to it."""

    def test_dbgrelay_keeps_one_program_drops_a_pattern_and_stamps_the_time(self):
        slot = r'\\.\mailslot\tvfilter'
        self.driver_ok('mailslot-open', slot)
        self.addCleanup(self.driver, 'mailslot-close', slot)
        other = os.path.join(self.bench.copy_program('monitor'), 'otherapp.exe')
        shutil.copy2(self.bench.driver_exe, other)
        relay = Relay(self, '--slot', 'tvfilter', '--name', '--time', '--process', 'TVDRIVER.exe',
                      '--exclude', 'noisy*line').started()
        pid = self.driver_ok('ods', 'kept one').strip()
        self.driver_ok('ods', 'a NOISY old line')
        self.assertEqual(self.wine(other, 'ods', 'from the other program').returncode, 0)
        self.driver_ok('ods', 'kept two')
        got = bytearray()

        def arrived():
            got.extend(self.read_slot(slot))
            return b'kept two' in got

        self.wait_until(arrived, what='the kept strings')
        self.assertEqual(relay.stop(), 0)
        got.extend(self.read_slot(slot))
        lines = got.decode().split('\r\n')
        self.assertEqual(lines.pop(), '')
        self.assertEqual(len(lines), 2, lines)
        for line, text in zip(lines, ('kept one', 'kept two')):
            self.assertRegex(line, r'^\d\d:[0-5]\d:[0-5]\d\.\d{3} \[%s tvdriver\.exe\] %s$' % (pid, text))
        self.assertIn('2 strings sent, 2 dropped by the filters', relay.said())

    def read_slot(self, slot):
        return b''.join(bytes.fromhex(m) for m in self.driver_ok('mailslot-read', slot).split())

    def test_doutsend_follows_appends_truncation_rotation_and_deletion_in_order(self):
        monitor = MonitorSession(self, settings_block(log=1))
        path = os.path.join(self.bench.tmp, 'app.log')
        with open(path, 'wb') as f:
            f.write(b'there before\n')
        errors = os.path.join(self.bench.tmp, 'follow.err')
        with open(errors, 'wb') as err:
            proc = subprocess.Popen(wine_command(self.bench.exe('doutsend')) + ['--follow', self.bench.win_path(path),
                                     '--exclude', 'skip'], env=self.bench.env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=err, start_new_session=True)
        self.bench.procs.append(proc)
        self.addCleanup(self.bench.stop, proc)
        said = lambda: open(errors, 'rb').read().decode('cp932', errors='replace')
        self.wait_until(lambda: 'from its end' in said(), what='doutsend following the file')
        logged = b''

        def step(change, wanted):
            nonlocal logged
            change()
            logged += wanted
            self.wait_until(lambda: os.path.exists(monitor.log) and open(monitor.log, 'rb').read() == logged,
                            timeout=20, what='log.txt to hold %r' % logged)

        def write(mode, data, name=path):
            with open(name, mode) as f:
                f.write(data)

        step(lambda: write('ab', b'one\r\nskip me\ntwo'), b'one\r\ntwo')      # the last line after 1 s
        step(lambda: write('wb', b'three\n'), b'three\n')                      # truncated: from the start
        step(lambda: (os.rename(path, path + '.1'), write('wb', b'four\n')), b'four\n')  # rotated
        step(lambda: write('ab', b'five\n'), b'five\n')
        waits = said().count('waiting for')
        os.remove(path)
        self.wait_until(lambda: said().count('waiting for') > waits, what='doutsend waiting for the file')
        step(lambda: write('wb', '六\n'.encode('cp932')), '六\n'.encode('cp932'))
        os.kill(proc.pid, signal.SIGINT)
        self.assertEqual(proc.wait(20), 0)
        self.assertIn('6 lines sent, 1 dropped by the filters', said())
