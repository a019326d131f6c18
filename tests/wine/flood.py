"""Floods of numbered messages, shared by the flood tests and the throughput
benchmark: what the driver's `mailslot-flood` writes, what the pane must show
once it has arrived, and a writer that runs in a driver process of its own so
the serving driver stays free to look at the monitor meanwhile."""
import os
import signal
import subprocess

from bench import wine_command

RING = 32768


def flood_message(index, size):
    """The bytes `mailslot-flood` writes as message `index`."""
    head = b'%09d ' % index
    return head + b'.' * (size - len(head) - 2) + b'\r\n'


def flood_bytes(count, size):
    return b''.join(flood_message(i, size) for i in range(count))


def pane_after(stream):
    """The pane's text once every byte of `stream` has arrived in a fresh
    monitor: NULs are dropped, and the ring starts again at its first byte
    each time its last one is written, so the pane holds what came since."""
    text = stream.replace(b'\0', b'')
    return text[len(text) - len(text) % RING:]


class Writer:
    """`mailslot-flood` in a driver process of its own. With a stop file it
    keeps writing until that file appears (or `count` messages went out);
    with a rate, that many messages a second at most."""

    def __init__(self, bench, slot, count, size, stop_file=None, rate=0):
        self.bench, self.size, self.stop_file = bench, size, stop_file
        args = wine_command(bench.driver_exe) + ['mailslot-flood', slot, str(count), str(size)]
        if stop_file:
            args += ['--stop-file', bench.win_path(stop_file)]
        if rate:
            args += ['--rate', str(rate)]
        self.proc = subprocess.Popen(args, env=bench.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, start_new_session=True)

    def running(self):
        return self.proc.poll() is None

    def finish(self, timeout):
        """Stops the writer (through its stop file) and returns how many
        messages it wrote."""
        if self.stop_file:
            open(self.stop_file, 'w').close()
        out = self.proc.communicate(timeout=timeout)[0].decode()
        if self.proc.returncode != 0:
            raise AssertionError('the flood writer failed: %r' % out)
        return int(dict(line.split('=', 1) for line in out.split())['messages'])

    def kill(self):
        if self.running():
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait(10)
