"""What a user downloads: the version each program carries and prints, the
portable zips unpacked into a folder of their own, and `make run` stopped by
a signal."""
import os
import select
import signal
import subprocess
import tempfile
import time
import zipfile

from bench import WineTestCase, project_version, REPO, wine_command
from builders import CMD_EXIT

PROGRAMS = {'monitor': 'デバッグ出力モニター', 'skinmaker': 'スキンメーカー',
            'doutsend': 'モニターへのテキスト送信', 'dbgrelay': 'デバッグ出力の中継',
            'syslogrelay': 'syslog の中継',
            'msktool': 'スキンファイルツール'}


class VersionTests(WineTestCase):
    def test_every_program_carries_the_project_version(self):
        version = project_version()
        for name, description in PROGRAMS.items():
            with self.subTest(program=name):
                info = dict(line.split('=', 1) for line in
                            self.driver_ok('version-info', self.bench.win_path(self.bench.exe(name))).splitlines())
                self.assertEqual(info['file-version'], version + '.0')
                self.assertEqual(info['product-version'], version + '.0')
                self.assertEqual(info['FileVersion'], version)
                self.assertEqual(info['ProductVersion'], version)
                self.assertEqual(info['ProductName'], 'Tovrel')
                self.assertEqual(info['FileDescription'], 'Tovrel ' + description)
                self.assertEqual(info['OriginalFilename'], name + '.exe')
        for tool in ('doutsend', 'dbgrelay', 'syslogrelay', 'msktool'):
            result = self.wine(self.bench.exe(tool), '--version')
            self.assertEqual((result.returncode, result.stdout.strip()), (0, ('%s %s' % (tool, version)).encode()))


class ZipTests(WineTestCase):
    """The zips `make dist` builds (make test builds them first)."""

    def unpack(self, arch):
        name = 'tovrel-%s-%s' % (project_version(), arch)
        path = os.path.join(self.bench.dist, name + '.zip')
        self.assertTrue(os.path.exists(path), 'missing %s (make dist)' % path)
        target = os.path.join(tempfile.mkdtemp(dir=self.bench.tmp), 'ツール 置き場 ' + arch)
        with zipfile.ZipFile(path) as archive:
            files = sorted(n for n in archive.namelist() if not n.endswith('/'))
            archive.extractall(target)
        self.assertEqual(files, sorted(name + '/' + f for f in (
            'monitor.exe', 'skinmaker.exe', 'doutsend.exe', 'dbgrelay.exe', 'syslogrelay.exe', 'msktool.exe', 'dout.h', 'README.txt',
            'sample/default.msk', 'sample/default.bmp')))
        return os.path.join(target, name)

    def test_zips_hold_one_folder_of_programs_built_for_their_platform(self):
        for arch, machine in (('win32', 0x14C), ('win64', 0x8664)):
            with self.subTest(arch=arch):
                folder = self.unpack(arch)
                for exe in PROGRAMS:
                    with open(os.path.join(folder, exe + '.exe'), 'rb') as f:
                        image = f.read()
                    pe = int.from_bytes(image[0x3C:0x40], 'little')
                    self.assertEqual(image[pe:pe + 4], b'PE\0\0')
                    self.assertEqual(int.from_bytes(image[pe + 4:pe + 6], 'little'), machine, exe)
                with open(os.path.join(folder, 'README.txt'), 'rb') as f:
                    readme = f.read()
                self.assertTrue(readme.startswith(b'\xef\xbb\xbf'), 'a BOM, so every Notepad reads UTF-8')
                self.assertNotIn(b'\n', readme.replace(b'\r\n', b''), 'CR LF line ends only')
                text = readme.decode('utf-8-sig')
                self.assertLess(text.index('デバッグ出力モニター'), text.index('debug-output monitor'))
                self.assertIn(project_version(), text.splitlines()[0])
                with open(os.path.join(REPO, 'include', 'dout.h'), 'rb') as a, \
                        open(os.path.join(folder, 'dout.h'), 'rb') as b:
                    self.assertEqual(a.read(), b.read())

    def test_monitor_runs_from_an_unpacked_japanese_folder(self):
        # Only the 64-bit programs run under this Wine; the 32-bit zip is
        # checked above for what it holds.
        folder = self.unpack('win64')
        proc = self.start(os.path.join(folder, 'monitor.exe'), cwd=folder)
        window = self.driver_ok('find-window', 'TOVRELWND', '--timeout', '15000').split()[0]
        self.driver_ok('mailslot-exists', r'\\.\mailslot\dout', '--timeout', '10000')
        result = self.wine(os.path.join(folder, 'doutsend.exe'), '--utf8', 'ここから')
        self.assertEqual(result.returncode, 0, result.stderr)
        pane = [line.split('\t')[2] for line in self.driver_ok('children', window).splitlines()
                if line.startswith('100\t')][0]
        self.wait_until(lambda: self.bench.driver_raw('get-text', pane)[1] == 'ここから\r\n'.encode('cp932'),
                        what='the text in the pane')
        self.driver_ok('command', window, CMD_EXIT)
        proc.wait(15)
        self.assertEqual(os.path.getsize(os.path.join(folder, 'sys.ini')), 412)


class RunScriptTests(WineTestCase):
    """`make run` without a display, stopped by a signal."""

    def read_until(self, proc, wanted, timeout):
        seen, deadline = b'', time.time() + timeout
        while wanted not in seen:
            left = deadline - time.time()
            self.assertGreater(left, 0, 'make run said only %r' % seen)
            if select.select([proc.stdout], [], [], left)[0]:
                chunk = os.read(proc.stdout.fileno(), 4096)
                self.assertTrue(chunk, 'make run ended early: %r' % seen)
                seen += chunk
        return seen.decode('utf-8', 'replace')

    def processes_of(self, prefix):
        mark = ('WINEPREFIX=' + prefix).encode()
        found = []
        for pid in filter(str.isdigit, os.listdir('/proc')):
            try:
                with open('/proc/%s/environ' % pid, 'rb') as f:
                    if mark in f.read().split(b'\0'):
                        found.append(int(pid))
            except OSError:
                pass
        return found

    def check_hint(self, hint, prefix):
        """The printed command, pasted into a fresh shell, reaches the monitor
        with its Japanese intact."""
        fresh = {'PATH': os.environ['PATH'], 'HOME': os.environ.get('HOME', '/root')}
        result = subprocess.run(['bash', '-c', hint], env=fresh, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        self.assertEqual((result.returncode, result.stderr), (0, b''), hint)
        env = dict(fresh, WINEPREFIX=prefix, WINEDEBUG='-all', LANG='ja_JP.UTF-8', LC_ALL='ja_JP.UTF-8')

        def driver(*args):
            return subprocess.run(wine_command(self.bench.driver_exe) + list(args), env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60).stdout
        window = driver('find-window', 'TOVRELWND').split()[0].decode()
        pane = [line.split(b'\t')[2].decode() for line in driver('children', window).splitlines()
                if line.startswith(b'100\t')][0]
        self.wait_until(lambda: 'こんにちは\r\n'.encode('cp932') in driver('get-text', pane), timeout=10,
                        what='the pasted command\'s text in the pane')

    def test_interrupt_or_terminate_saves_the_settings_and_stops_everything(self):
        for how in ('SIGINT to the process group', 'SIGTERM'):
            with self.subTest(how=how):
                work = tempfile.mkdtemp(dir=self.bench.tmp, prefix='run-')
                folder, prefix = os.path.join(work, 'monitor'), os.path.join(work, 'prefix')
                env = dict(os.environ, BUILD=self.bench.build, DIST=self.bench.dist, TOVREL_RUN_FOLDER=folder,
                           TOVREL_RUN_PREFIX=prefix)
                env.pop('DISPLAY', None)
                proc = subprocess.Popen(['bash', os.path.join(REPO, 'scripts', 'run-monitor.sh')], env=env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        start_new_session=True)
                try:
                    said = self.read_until(proc, b'Ctrl+C stops it', 120)
                    self.assertIn('greeting sent', said)
                    hint = [line.strip() for line in said.splitlines() if 'doutsend.exe' in line][0]
                    self.assertIn('WINEDEBUG=-all', hint)
                    self.assertIn('LANG=ja_JP.UTF-8', hint)
                    display = said.split('started Xvfb on ')[1].split()[0]
                    if how == 'SIGTERM':
                        self.check_hint(hint, prefix)
                    if how == 'SIGTERM':
                        proc.send_signal(signal.SIGTERM)
                    else:
                        os.killpg(proc.pid, signal.SIGINT)
                    proc.wait(60)
                finally:
                    if proc.poll() is None:
                        os.killpg(proc.pid, signal.SIGKILL)
                        proc.wait(10)
                self.assertEqual(os.path.getsize(os.path.join(folder, 'sys.ini')), 412)
                self.wait_until(lambda: not self.processes_of(prefix), timeout=10,
                                what='no process of its prefix left')
                lock = '/tmp/.X%s-lock' % display.lstrip(':')
                self.wait_until(lambda: not os.path.exists(lock), timeout=10, what='Xvfb %s gone' % display)
