"""The Wine bench: runs the real win64 programs (or, with TOVREL_PROGRAMS=win32,
the 32-bit release) under Wine inside Xvfb.

One Bench serves a whole test run: an Xvfb display of its own, a private
WINEPREFIX (copied from a template made once per build tree), a persistent
wineserver, and the Win32 test driver kept running in its serve mode. Every
process the bench starts, it stops: programs by PID, then `wineserver -k` on
its own prefix, then Xvfb by PID. Every wait has a time limit.
"""
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCREEN_W, SCREEN_H = 1280, 1024
WINE32 = '/usr/lib/wine/wine'   # Debian's 32-bit Wine loader (package wine32)
# With 32-bit Wine installed, `wine` is its loader, which starts a 64-bit
# program as another process behind start.exe: a signal or a wait would
# reach start.exe, not the program. 64-bit programs get their own loader.
WINE64 = '/usr/lib/wine/wine64' if os.path.exists('/usr/lib/wine/wine64') else 'wine'


class BenchError(Exception):
    pass


def wine_command(exe):
    """The command line that runs a Windows program itself under Wine."""
    with open(exe, 'rb') as f:
        head = f.read(4096)
    at = struct.unpack_from('<I', head, 0x3C)[0] if len(head) >= 0x40 else 0
    machine = struct.unpack_from('<H', head, at + 4)[0] if at + 6 <= len(head) else 0
    return ['wine' if machine == 0x14C else WINE64, exe]


def project_version():
    """The release version, as CMakeLists.txt sets it."""
    with open(os.path.join(REPO, 'CMakeLists.txt')) as f:
        return re.search(r'project\(Tovrel VERSION ([0-9.]+)', f.read()).group(1)


def _alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


def _reap_abandoned_benches():
    """Stops what a run killed outright (SIGKILL) left behind: its prefix's
    wineserver and programs, and its Xvfb. A bench records its runner's PID and
    its Xvfb's PID in an `owner` file; one whose runner is gone is abandoned."""
    root = tempfile.gettempdir()
    for name in os.listdir(root):
        folder = os.path.join(root, name)
        owner = os.path.join(folder, 'owner')
        if not name.startswith('tovrel-bench-') or not os.path.exists(owner):
            continue
        try:
            pids = [int(v) for v in open(owner).read().split()]
        except ValueError:
            continue
        if not pids or _alive(pids[0]):
            continue
        prefix = os.path.join(folder, 'prefix')
        if os.path.isdir(prefix):
            env = dict(os.environ, WINEPREFIX=prefix)
            subprocess.run(['wineserver', '-k'], env=env, timeout=20,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for pid in pids[1:]:
            try:
                if open('/proc/%d/comm' % pid).read().strip() == 'Xvfb':
                    os.kill(pid, signal.SIGTERM)
            except (OSError, ValueError):
                pass
        shutil.rmtree(folder, ignore_errors=True)


def _run(cmd, env=None, timeout=60, **kw):
    return subprocess.run(cmd, env=env, timeout=timeout, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def _escape(arg):
    # Escaped at the byte level, after encoding: a Shift-JIS second byte may
    # be 0x5C, and the driver unescapes byte by byte.
    if not isinstance(arg, bytes):
        arg = str(arg).encode('cp932')
    return arg.replace(b'\\', b'\\\\').replace(b'\t', b'\\t').replace(b'\n', b'\\n')


def run_native_msktool(bench, *args, cwd=None):
    """The native msktool in a Japanese UTF-8 terminal: titles go in and come
    out as UTF-8 text."""
    env = dict(os.environ, LANG='ja_JP.UTF-8', LC_ALL='ja_JP.UTF-8')
    return subprocess.run([os.path.join(bench.native, 'msktool')] + list(args), cwd=cwd, env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)


class Bench:
    def __init__(self):
        self.build = os.path.abspath(os.environ.get('TOVREL_BUILD', os.path.join(REPO, 'build')))
        self.dist = os.path.abspath(os.environ.get('TOVREL_DIST', os.path.join(REPO, 'dist')))
        self.programs = os.path.join(self.dist, os.environ.get('TOVREL_PROGRAMS', 'win64'))
        self.native = os.path.join(self.dist, 'native')
        self.driver_exe = os.path.join(self.build, 'win64', 'bin', 'tvdriver.exe')
        self.tmp = None
        self.xvfb = None
        self.display = None
        self.env = None
        self.procs = []
        self.driver_proc = None

    # -- set-up and tear-down -------------------------------------------------

    def up(self):
        _reap_abandoned_benches()
        self.tmp = tempfile.mkdtemp(prefix='tovrel-bench-')
        with open(os.path.join(self.tmp, 'owner'), 'w') as f:
            f.write('%d\n' % os.getpid())
        self._start_xvfb()
        with open(os.path.join(self.tmp, 'owner'), 'a') as f:
            f.write('%d\n' % self.xvfb.pid)
        self.prefix = os.path.join(self.tmp, 'prefix')
        template = self._template_prefix()
        _run(['cp', '-a', template, self.prefix], timeout=120).check_returncode()
        self.env = self._wine_env(self.prefix)
        self.env['DISPLAY'] = self.display
        # Persistent server before any captured command, never inside one:
        # otherwise a captured stdout stays open until the server exits.
        subprocess.run(['wineserver', '-p'], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
        # The first program in a prefix starts Wine's own services, which
        # inherit its stdout: start them here, uncaptured, so that no test's
        # captured output is held open by them.
        subprocess.run(['wine', 'cmd', '/c', 'exit'], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        self.screen = (SCREEN_W, SCREEN_H)

    def down(self):
        for p in list(self.procs):
            self.stop(p)
        self._stop_driver()
        if self.env:
            try:
                subprocess.run(['wineserver', '-k'], env=self.env, timeout=20,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                subprocess.run(['wineserver', '-w'], env=self.env, timeout=20,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                pass
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait(5)
            self.xvfb = None
        if self.tmp:
            shutil.rmtree(self.tmp, ignore_errors=True)
            self.tmp = None

    def _start_xvfb(self):
        for n in range(90, 190):
            if os.path.exists('/tmp/.X%d-lock' % n) or os.path.exists('/tmp/.X11-unix/X%d' % n):
                continue
            proc = subprocess.Popen(['Xvfb', ':%d' % n, '-screen', '0', '%dx%dx24' % (SCREEN_W, SCREEN_H),
                                     '-nolisten', 'tcp'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.time() + 10
            while time.time() < deadline:
                if proc.poll() is not None:
                    break  # lost the race for this display number
                if subprocess.run(['xdpyinfo', '-display', ':%d' % n], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=5).returncode == 0:
                    self.xvfb, self.display = proc, ':%d' % n
                    return
                time.sleep(0.1)   # Xvfb says nothing when its display is up; xdpyinfo is asked again
            if proc.poll() is None:
                proc.kill()
                proc.wait(5)
        raise BenchError('no Xvfb display could be started')

    @staticmethod
    def _wine_env(prefix):
        env = dict(os.environ)
        env.update(WINEPREFIX=prefix, WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=',
                   WINEARCH='win64', LANG='ja_JP.UTF-8', LC_ALL='ja_JP.UTF-8')
        env.pop('DISPLAY', None)
        return env

    def _template_prefix(self):
        """A ready prefix kept in the build tree, made once and copied per run.
        With 32-bit Wine installed, a prefix gets its 32-bit half too, so it is
        kept apart from one made without."""
        template = os.path.join(self.build, 'wine-template' + ('-wow64' if os.path.exists(WINE32) else ''))
        if os.path.exists(os.path.join(template, '.ready')):
            return template
        lock = template + '.lock'
        os.makedirs(os.path.dirname(template), exist_ok=True)
        import fcntl
        with open(lock, 'w') as lockfile:
            fcntl.flock(lockfile, fcntl.LOCK_EX)
            if os.path.exists(os.path.join(template, '.ready')):
                return template
            shutil.rmtree(template, ignore_errors=True)
            env = self._wine_env(template)
            try:
                _run(['wineboot', '-i'], env=env, timeout=300)
                for key in ([r'HKCU\Software\Wine\WineDbg', '/v', 'ShowCrashDialog', '/t', 'REG_DWORD', '/d', '0'],
                            [r'HKCU\Software\Wine\X11 Driver', '/v', 'Managed', '/d', 'N'],
                            [r'HKCU\Software\Wine\Fonts\Replacements', '/v', 'ＭＳ Ｐゴシック', '/d', 'IPA Pゴシック'],
                            [r'HKCU\Software\Wine\Fonts\Replacements', '/v', 'ＭＳ ゴシック', '/d', 'IPAゴシック']):
                    _run(['wine', 'reg', 'add'] + key + ['/f'], env=env, timeout=120)
            finally:
                subprocess.run(['wineserver', '-k'], env=env, timeout=30,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                subprocess.run(['wineserver', '-w'], env=env, timeout=30,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            open(os.path.join(template, '.ready'), 'w').close()
        return template

    # -- programs ---------------------------------------------------------------

    def exe(self, name):
        path = os.path.join(self.programs, name + '.exe')
        if not os.path.exists(path):
            raise BenchError('missing %s (build first)' % path)
        return path

    def copy_program(self, name, extra=()):
        """A fresh folder holding a copy of the program under test (and extras)."""
        folder = tempfile.mkdtemp(prefix=name + '-', dir=self.tmp)
        shutil.copy2(self.exe(name), folder)
        for path in extra:
            shutil.copy2(path, folder)
        return folder

    def win_path(self, path):
        return 'Z:' + os.path.abspath(path).replace('/', '\\')

    def start(self, exe, *args, cwd=None):
        proc = subprocess.Popen(wine_command(exe) + [str(a) for a in args], env=self.env, cwd=cwd,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)
        self.procs.append(proc)
        return proc

    def stop(self, proc, timeout=5):
        if proc in self.procs:
            self.procs.remove(proc)
        if proc.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                pass

    def wine(self, exe, *args, timeout=30, input=None, cwd=None):
        return subprocess.run(wine_command(exe) + [str(a) for a in args], env=self.env, cwd=cwd, input=input,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)

    # -- the test driver --------------------------------------------------------

    def _start_driver(self):
        if not os.path.exists(self.driver_exe):
            raise BenchError('missing %s (build first)' % self.driver_exe)
        self.driver_proc = subprocess.Popen(wine_command(self.driver_exe) + ['--serve'], env=self.env,
                                            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                            stderr=subprocess.DEVNULL, start_new_session=True)
        self._driver_buffer = b''

    def _stop_driver(self):
        if self.driver_proc:
            try:
                self.driver_proc.stdin.close()
            except OSError:
                pass
            try:
                self.driver_proc.wait(3)
            except subprocess.TimeoutExpired:
                os.killpg(self.driver_proc.pid, signal.SIGKILL)
                self.driver_proc.wait(5)
            self.driver_proc = None

    def driver_raw(self, *args, timeout=20):
        """Runs one driver command; returns (exit code, raw output bytes)."""
        if not self.driver_proc or self.driver_proc.poll() is not None:
            self._start_driver()
        line = b'\t'.join(_escape(a) for a in args) + b'\n'
        self.driver_proc.stdin.write(line)
        self.driver_proc.stdin.flush()
        deadline = time.time() + timeout
        fd = self.driver_proc.stdout.fileno()
        while True:
            end = self._driver_buffer.find(b'\x1e')
            if end >= 0:
                nl = self._driver_buffer.find(b'\n', end)
                if nl >= 0:
                    out = self._driver_buffer[:end]
                    rc = int(self._driver_buffer[end + 1:nl])
                    self._driver_buffer = self._driver_buffer[nl + 1:]
                    return rc, out
            left = deadline - time.time()
            if left <= 0:
                # A command that hangs is killed with its driver; the next
                # command starts a fresh one.
                os.killpg(self.driver_proc.pid, signal.SIGKILL)
                self.driver_proc.wait(5)
                self.driver_proc = None
                raise BenchError('driver command timed out: %r' % (args,))
            ready, _, _ = select.select([fd], [], [], left)
            if ready:
                chunk = os.read(fd, 65536)
                if not chunk:
                    self.driver_proc = None
                    raise BenchError('driver ended during %r' % (args,))
                self._driver_buffer += chunk

    def driver(self, *args, timeout=20):
        rc, out = self.driver_raw(*args, timeout=timeout)
        return rc, out.decode('cp932', errors='replace')

    # -- X side -----------------------------------------------------------------

    def xdotool(self, *args, timeout=15):
        env = dict(os.environ, DISPLAY=self.display)
        return subprocess.run(['xdotool'] + [str(a) for a in args], env=env, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def screenshot(self, path):
        env = dict(os.environ, DISPLAY=self.display)
        subprocess.run(['import', '-window', 'root', path], env=env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).check_returncode()
        return path

    def pixels(self, png_path):
        """The screenshot as (width, height, rgb bytes)."""
        rgb = subprocess.run(['convert', png_path, '-depth', '8', 'rgb:-'], stdout=subprocess.PIPE,
                             timeout=30).stdout
        w, h = _png_size(png_path)
        return w, h, rgb


def _png_size(path):
    with open(path, 'rb') as f:
        head = f.read(24)
    return struct.unpack('>II', head[16:24])


class Image:
    """A screenshot, readable pixel by pixel."""

    def __init__(self, bench, path):
        self.width, self.height, self.rgb = bench.pixels(path)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])


bench = Bench()


class WineTestCase(unittest.TestCase):
    """Base of the end-to-end tests: the shared bench plus per-test clean-up."""

    bench = bench

    def setUp(self):
        self._started = []

    def start(self, exe, *args, cwd=None):
        proc = self.bench.start(exe, *args, cwd=cwd)
        self.addCleanup(self.bench.stop, proc)
        return proc

    def wine(self, exe, *args, **kw):
        return self.bench.wine(exe, *args, **kw)

    def driver(self, *args, timeout=20):
        return self.bench.driver(*args, timeout=timeout)

    def driver_ok(self, *args, timeout=20):
        """Runs a driver command that must succeed; returns its text."""
        rc, out = self.bench.driver(*args, timeout=timeout)
        self.assertEqual(rc, 0, 'driver %r failed (%d): %s' % (args, rc, out))
        return out

    def xdotool(self, *args):
        result = self.bench.xdotool(*args)
        self.assertEqual(result.returncode, 0, 'xdotool %r: %s' % (args, result.stderr))
        return result.stdout.decode()

    def screenshot(self, name):
        return self.bench.screenshot(os.path.join(self.bench.tmp, name + '.png'))

    def image(self, name):
        return Image(self.bench, self.screenshot(name))

    def wait_until(self, predicate, timeout=10, what='condition', interval=0.05):
        deadline = time.time() + timeout
        while True:
            value = predicate()
            if value:
                return value
            if time.time() >= deadline:
                self.fail('timed out after %gs waiting for %s' % (timeout, what))
            time.sleep(interval)   # a poll of a state; each wait has its deadline above

    def window_info(self, hwnd):
        info = {}
        for line in self.driver_ok('window-info', hwnd).splitlines():
            key, _, value = line.partition('=')
            info[key] = value
        return info


class Tool:
    """A Windows tool run in the background; what it says on stderr goes to a file."""

    def __init__(self, test, exe, *args):
        self.test = test
        self.errors = os.path.join(test.bench.tmp, '%s-%d.err' % (exe, id(self)))
        with open(self.errors, 'wb') as err:
            self.proc = subprocess.Popen(wine_command(test.bench.exe(exe)) + [str(a) for a in args],
                                         env=test.bench.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                         stderr=err, start_new_session=True)
        test.bench.procs.append(self.proc)
        test.addCleanup(test.bench.stop, self.proc)

    def said(self):
        with open(self.errors, 'rb') as f:
            return f.read().decode('cp932', errors='replace')

    def wait_said(self, text, timeout=20):
        self.test.wait_until(lambda: text in self.said() or self.proc.poll() is not None, timeout=timeout,
                             what='%r on stderr' % text)
        self.test.assertIn(text, self.said())
        return self

    def stop(self):
        """Ctrl+C; the exit code."""
        os.kill(self.proc.pid, signal.SIGINT)
        return self.proc.wait(20)
