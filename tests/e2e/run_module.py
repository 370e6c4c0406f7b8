"""Runs one end-to-end test module (or the named classes of one) for ctest
and prints its counts. Exits 0
when every test passed, 1 on any failure or error, and 77 (the entries'
SKIP_RETURN_CODE) when a test or the whole module was skipped, so that a
skip shows as one instead of reading as a pass."""
import sys
import unittest

SKIPPED = 77


def main(*names):
    module = " ".join(names)
    suite = unittest.defaultTestLoader.loadTestsFromNames(names)
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    # A module-level skip (setUpModule) is recorded against no test case.
    skipped_tests = sum(1 for test, _ in result.skipped if isinstance(test, unittest.TestCase))
    passed = result.testsRun - failed - skipped_tests
    print("%s: %d passed, %d failed, %d skipped" % (module, passed, failed, len(result.skipped)))
    for test, reason in result.skipped:
        print("skipped: %s: %s" % (test, reason))
    if failed:
        return 1
    if result.skipped or result.testsRun == 0:
        return SKIPPED
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
