"""The monitor under a flood of messages, for real under Wine: log.txt stays
exact, the pane ends as the receive-buffer rule says, and the window keeps
answering (commands, the settings dialog) while writers keep the slot full."""
import os

from bench import WineTestCase
from flood import Writer, flood_bytes, pane_after
from builders import CMD_MEMORY, MEMORY_TITLE, settings_block
from test_dialogs import MonitorSession

EM_GETLINECOUNT, EM_GETFIRSTVISIBLELINE = 0xBA, 0xCE
SIZE = 100


class FloodTests(WineTestCase):

    def monitor(self, **settings):
        return MonitorSession(self, settings_block(**settings))

    def writer(self, monitor, count=10 ** 7):
        """A writer that keeps the slot filled until it is finished."""
        stop = os.path.join(monitor.folder, 'stop-writer')
        writer = Writer(self.bench, monitor.slot, count, SIZE, stop_file=stop)
        self.addCleanup(writer.kill)
        return writer

    def logged(self, monitor):
        return os.path.getsize(monitor.log) if os.path.exists(monitor.log) else 0

    def wait_logged(self, monitor, size, timeout=60):
        self.wait_until(lambda: self.logged(monitor) >= size, timeout=timeout,
                        what='%d bytes in log.txt (now %d)' % (size, self.logged(monitor)))

    def test_flood_is_logged_exactly_while_the_window_obeys_a_command(self):
        monitor = self.monitor(log=1)
        writer = self.writer(monitor)
        self.wait_logged(monitor, SIZE)
        self.driver_ok('post', monitor.main, 0x0111, CMD_MEMORY, 0)       # WM_COMMAND
        monitor.wait_dialog(MEMORY_TITLE)
        self.assertTrue(writer.running(), 'the memory window opened only after the writer stopped')
        self.wait_logged(monitor, 20000 * SIZE)
        sent = flood_bytes(writer.finish(timeout=60), SIZE)
        self.wait_logged(monitor, len(sent))
        monitor.wait_pane(pane_after(sent))
        with open(monitor.log, 'rb') as f:
            self.assertEqual(f.read(), sent)

    def test_wrap_within_one_tick_leaves_the_pane_as_each_message_would(self):
        # A long poll period: the 400 messages (40,000 bytes, past the end of
        # the ring) are all waiting at the next tick.
        monitor = self.monitor(poll=1500)
        self.driver_ok('mailslot-flood', monitor.slot, 400, SIZE)
        wanted = pane_after(flood_bytes(400, SIZE))
        seen = set()

        def arrived():
            text = monitor.pane_bytes()
            seen.add(text)
            return text == wanted
        self.wait_until(arrived, timeout=10, what='the text after the wrap', interval=0.02)
        # A tick that spends its budget paints what it took so far, so the
        # pane may pass through the text after any whole message, never
        # through the middle of one.
        whole = {pane_after(flood_bytes(count, SIZE)) for count in range(401)}
        self.assertEqual(seen - whole, set(), 'the pane showed a state between two messages')
        lines = int(self.driver_ok('send', monitor.pane, EM_GETLINECOUNT, 0, 0))
        first = int(self.driver_ok('send', monitor.pane, EM_GETFIRSTVISIBLELINE, 0, 0))
        self.assertEqual(lines, wanted.count(b'\n') + 1)
        self.assertTrue(0 < first and lines - first < 40, 'scrolled to the last line (%d of %d)' % (first, lines))

    def test_held_log_during_a_flood_turns_logging_off_for_good(self):
        monitor = self.monitor(log=1)
        held = self.bench.win_path(monitor.log)
        self.driver_ok('hold-file', held)
        self.addCleanup(self.bench.driver, 'release-file', held)
        self.driver_ok('mailslot-flood', monitor.slot, 2000, SIZE, timeout=120)
        sent = flood_bytes(2000, SIZE)
        monitor.wait_pane(pane_after(sent))
        self.driver_ok('release-file', held)
        self.driver_ok('mailslot-flood', monitor.slot, 300, SIZE, timeout=60)
        monitor.wait_pane(pane_after(sent + flood_bytes(300, SIZE)))
        self.assertEqual(self.logged(monitor), 0, 'nothing was written to log.txt')
        self.assertEqual(monitor.exit_and_read_settings()['log'], 0)

    def test_settings_ok_during_a_flood_restarts_the_poll_and_the_backlog_drains(self):
        monitor = self.monitor(log=1)
        writer = self.writer(monitor)
        self.wait_logged(monitor, SIZE)
        dialog = monitor.open_settings()
        self.driver_ok('dlg-set-text', dialog, 1000, '1000')
        monitor.close_dialog(dialog, 1)
        # OK stops both timers and starts the poll timer anew, so the first
        # tick comes a second later. Polled once a second, the pane could then
        # show at most two texts within 1.9 s; the follow-up timer must be
        # back after that first tick, taking what the writer keeps sending.
        texts = set()
        self.wait_until(lambda: texts.add(monitor.pane_bytes()) or len(texts) >= 4, timeout=1.9,
                        what='ticks faster than the poll period', interval=0.02)
        self.assertTrue(writer.running())
        sent = flood_bytes(writer.finish(timeout=60), SIZE)
        self.wait_logged(monitor, len(sent))
        monitor.wait_pane(pane_after(sent))
        with open(monitor.log, 'rb') as f:
            self.assertEqual(f.read(), sent)
        self.assertEqual(monitor.exit_and_read_settings()['poll'], 1000)
