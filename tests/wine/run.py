"""Runs the end-to-end tests under Wine and prints `wine: N passed, N failed`.

    python3 tests/wine/run.py [NAME ...]

NAME picks test modules (test_spine), classes or single tests by substring.
The bench (Xvfb, private prefix, driver) is set up once for the run and torn
down at its end, whatever happens. Every test has a time limit
(TOVREL_TEST_TIMEOUT seconds, default 180); a test that passes it fails, its
clean-ups still run, and the run goes on.
"""
import os
import signal
import sys
import time
import traceback
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from bench import bench  # noqa: E402

TEST_TIMEOUT = int(os.environ.get('TOVREL_TEST_TIMEOUT', '180'))


class TestTimeout(Exception):
    pass


def _on_alarm(signum, frame):
    raise TestTimeout('test exceeded %d s' % TEST_TIMEOUT)


def _iter_tests(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from _iter_tests(item)
        else:
            yield item


def collect(names):
    loader = unittest.TestLoader()
    suite = loader.discover(HERE, pattern='test_*.py', top_level_dir=HERE)
    tests = list(_iter_tests(suite))
    for t in tests:
        if isinstance(t, unittest.loader._FailedTest):
            raise SystemExit('cannot load %s: %s' % (t.id(), t._exception))
    if names:
        tests = [t for t in tests if any(n in t.id() for n in names)]
    return tests


class Result(unittest.TestResult):
    def __init__(self):
        super().__init__()
        self.passed = 0

    def addSuccess(self, test):
        super().addSuccess(test)
        self.passed += 1


def main(argv):
    tests = collect(argv[1:])
    result = Result()
    signal.signal(signal.SIGALRM, _on_alarm)
    signal.signal(signal.SIGTERM, lambda *a: (_ for _ in ()).throw(KeyboardInterrupt()))
    try:
        bench.up()
        for test in tests:
            start = time.time()
            before = (len(result.failures), len(result.errors), len(result.skipped))
            signal.alarm(TEST_TIMEOUT)
            try:
                test.run(result)
            finally:
                signal.alarm(0)
                # Anything a test left running goes before the next starts.
                for proc in list(bench.procs):
                    bench.stop(proc)
            after = (len(result.failures), len(result.errors), len(result.skipped))
            status = 'ok'
            if after[0] > before[0] or after[1] > before[1]:
                status = 'FAIL'
                problem = (result.failures + result.errors)[-1][1]
                print(problem, flush=True)
            elif after[2] > before[2]:
                status = 'skipped: ' + result.skipped[-1][1]
            print('%-70s %s (%.1fs)' % (test.id(), status, time.time() - start), flush=True)
    except KeyboardInterrupt:
        print('interrupted', flush=True)
    except Exception:
        traceback.print_exc()
        result.errors.append((None, 'bench failed'))
    finally:
        bench.down()
    failed = len(result.failures) + len(result.errors)
    line = 'wine: %d passed, %d failed' % (result.passed, failed)
    if result.skipped:
        line += ', %d skipped' % len(result.skipped)
    print(line, flush=True)
    summary = os.environ.get('TOVREL_SUMMARY')
    if summary:
        with open(summary, 'a') as f:
            f.write('%d %d\n' % (result.passed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
