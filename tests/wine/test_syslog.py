"""Syslog into the monitor for real: syslogrelay under Wine takes messages
from the util-linux logger, Python's SysLogHandler, and doutsend and dbgrelay
with --syslog, and the monitor logs each once, in order, as CP932. Then the
senders nobody should trust. Loopback only."""
import logging
import logging.handlers
import os
import random
import select
import socket
import subprocess
import time

from bench import Tool, WineTestCase
from builders import settings_block
from test_dialogs import MonitorSession

HOST = socket.gethostname()


def free_port():
    """A port free for both UDP and TCP on 127.0.0.1."""
    while True:
        port = random.randint(20000, 40000)
        try:
            for kind in (socket.SOCK_DGRAM, socket.SOCK_STREAM):
                with socket.socket(socket.AF_INET, kind) as s:
                    s.bind(('127.0.0.1', port))
            return port
        except OSError:
            continue


class SyslogTests(WineTestCase):

    def setUp(self):
        super().setUp()
        self.monitor = MonitorSession(self, settings_block(log=1))
        self.port = free_port()

    def relay(self, *args):
        return Tool(self, 'syslogrelay', '--udp', self.port, '--tcp', self.port, *args).wait_said('listening on')

    def logged(self):
        if not os.path.exists(self.monitor.log):
            return b''
        with open(self.monitor.log, 'rb') as f:
            return f.read()

    def wait_logged(self, lines):
        wanted = ''.join(line + '\r\n' for line in lines).encode('cp932')
        self.wait_until(lambda: self.logged() == wanted, timeout=30, what='log.txt to hold %r' % wanted)

    def logger(self, *args):
        result = subprocess.run(['logger', '-n', '127.0.0.1', '-P', str(self.port)] + list(args),
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=30)
        self.assertEqual(result.returncode, 0, result.stdout)

    def test_logger_over_udp_and_tcp_in_both_formats_and_framings(self):
        relay = self.relay()
        self.logger('-d', '--rfc5424', '-t', 'u5424', '日本語 ソ表 udp')
        self.logger('-d', '--rfc3164', '-t', 'u3164', '日本語 udp')
        self.logger('-T', '--octet-count', '--rfc5424', '-t', 't5424', '二行\nの文')
        self.logger('-T', '--rfc3164', '-t', 't3164', '改行で区切る')
        self.logger('-T', '--octet-count', '--rfc3164', '-t', 'tcount', 'emoji \U0001F600 lost')
        self.wait_logged(['[%s u5424] 日本語 ソ表 udp' % HOST, '[%s u3164] 日本語 udp' % HOST,
                          '[%s t5424] 二行\r\nの文' % HOST, '[%s t3164] 改行で区切る' % HOST,
                          '[%s tcount] emoji ? lost' % HOST])
        self.assertEqual(relay.stop(), 0)
        self.assertIn('5 received, 5 delivered, 0 dropped', relay.said())
        self.assertIn("1 character not in CP932 sent as '?'", relay.said())

    def test_python_syslog_handler_over_udp_and_tcp(self):
        self.relay('--min-severity', 'warning', '--tcp', '[::1]:%d' % self.port)
        record = lambda level, text: logging.LogRecord('app', level, __file__, 0, text, None, None)
        for kind, host in ((socket.SOCK_DGRAM, '127.0.0.1'), (socket.SOCK_STREAM, '::1')):
            handler = logging.handlers.SysLogHandler(address=(host, self.port), socktype=kind)
            try:
                for n in range(3):
                    handler.emit(record(logging.ERROR, '表 %s %d' % (kind.name, n)))
                handler.emit(record(logging.INFO, 'below the minimum'))
            finally:
                handler.close()
        self.wait_logged(['[%s] 表 %s %d' % (host, kind, n) for host, kind in (('127.0.0.1', 'SOCK_DGRAM'),
                                                                                ('::1', 'SOCK_STREAM'))
                          for n in range(3)])

    def test_dbgrelay_and_doutsend_send_syslog_into_the_relay(self):
        relay = self.relay()
        target = '127.0.0.1:%d' % self.port
        for n, extra in enumerate(([], ['--tcp'])):
            ods = Tool(self, 'dbgrelay', '--syslog', target, *extra).wait_said('relaying the debug output')
            self.driver_ok('ods', '表示ソ %s' % (extra or 'udp'))
            self.wait_until(lambda: self.logged().count(b'\r\n') > n, what='the debug string')
            self.assertEqual(ods.stop(), 0)
        for extra in ([], ['--tcp']):
            result = self.wine(self.bench.exe('doutsend'), '--syslog', target, *extra,
                               input='一行目\n二行目\n'.encode('cp932'))
            self.assertEqual(result.returncode, 0, result.stderr)
        self.wait_until(lambda: self.logged().count(b'\r\n') == 6, what="doutsend's lines")
        lines = self.logged().decode('cp932').split('\r\n')
        self.assertEqual(lines.pop(), '')
        self.assertRegex(lines[0], r'^\[\S+ tvdriver\.exe\] 表示ソ udp$')
        self.assertRegex(lines[1], r"^\[\S+ tvdriver\.exe\] 表示ソ \['--tcp'\]$")
        self.assertEqual([line.split('] ', 1)[1] for line in lines[2:]], ['一行目', '二行目'] * 2)
        self.assertTrue(all(' doutsend] ' in line for line in lines[2:]), lines)
        self.assertEqual(relay.stop(), 0)

    def test_hostile_senders_leave_the_relay_answering(self):
        refused = self.wine(self.bench.exe('syslogrelay'), '--udp', '0.0.0.0:%d' % self.port)
        self.assertEqual(refused.returncode, 2)
        self.assertEqual(refused.stderr.count(b'\n'), 1, refused.stderr)   # one clear line
        self.assertIn(b'--allow CIDR', refused.stderr)
        relay = self.relay('--allow', '127.0.0.1/32')
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(udp.close)
        rng = random.Random(20261210)
        for _ in range(200):
            udp.sendto(bytes(rng.randrange(256) for _ in range(rng.randrange(1, 300))), ('127.0.0.1', self.port))
        udp.sendto(b'<13>' + b'x' * 65503, ('127.0.0.1', self.port))  # the largest datagram
        stranger = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(stranger.close)
        stranger.bind(('127.0.0.2', 0))
        stranger.sendto(b'<13>1 - h a - - - from outside', ('127.0.0.1', self.port))

        # Streams the relay must close: one that stops mid-frame (its sender
        # closes), a huge count and a malformed one.
        for stream in (b'100 <13>partial', b'99999999999 <13>x', b'12x <13>y'):
            conn = socket.create_connection(('127.0.0.1', self.port), timeout=20)
            self.addCleanup(conn.close)
            conn.sendall(stream)
            if stream.startswith(b'100'):
                conn.close()
            else:
                self.assertEqual(conn.recv(16), b'', 'the relay closes %r' % stream)

        # 100 connections at once: 64 are kept, the rest closed at once.
        crowd = [socket.create_connection(('127.0.0.1', self.port), timeout=20) for _ in range(100)]
        for conn in crowd:
            self.addCleanup(conn.close)
        open_ = set(crowd)
        deadline = time.time() + 20
        while len(open_) > 64 and time.time() < deadline:
            readable, _, _ = select.select(list(open_), [], [], deadline - time.time())
            open_ -= {conn for conn in readable if conn.recv(16) == b''}
        self.assertEqual(len(open_), 64)
        for conn in crowd:
            conn.close()

        udp.sendto(b'<13>1 - h a - - - after it all', ('127.0.0.1', self.port))
        self.wait_until(lambda: self.logged().endswith(b'[h a] after it all\r\n'), timeout=30,
                        what='a message after the hostile ones')
        self.assertNotIn(b'from outside', self.logged())
        self.assertIn(b'[127.0.0.1] ' + b'x' * 65503 + b'\r\n', self.logged())
        self.assertEqual(relay.stop(), 0)
        said = relay.said()
        self.assertIn('1 from outside --allow', said)
        self.assertIn('2 closed for a bad frame, 36 refused (64 at once)', said)
