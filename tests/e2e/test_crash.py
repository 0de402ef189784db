"""Crash safety end to end, bench/crash-test in small: a run over a generated store of 200 items
is killed with SIGKILL at several moments; each time every item file must be wholly old or
wholly new, no leftover file may count as an item, and undo of the cut-off run must give every
file its old bytes back but for its stamp lines.

The kills are placed by how far the run's journal has grown (sevenths of a full run's journal),
not by time, so that they land mid-run however fast or loaded the machine is; two more come
right after the start.
"""

import importlib.machinery
import importlib.util
import shutil

from peers import BINARY_DIR, SOURCE_DIR, Sandbox


def load_crash_test():
    path = str(SOURCE_DIR / "bench" / "crash-test")
    loader = importlib.machinery.SourceFileLoader("crash_test", path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("crash_test", loader))
    loader.exec_module(module)
    return module


crash_test = load_crash_test()


class CrashTest(Sandbox):
    def test_a_run_killed_at_any_moment_loses_nothing_and_its_undo_restores_every_file(self):
        # In memory when the machine has /dev/shm: a kill sees the same files there, and the
        # test does not wait for fsyncs a loaded disk can make slow.
        work = crash_test.work_folder(memory=True)
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        crash_test.make_store(work / "store", contacts=140, events=30, tasks=30, seed=7)
        crash = crash_test.Crash(BINARY_DIR / "tidewell", work / "store", work / "copies",
                                 env=self.env)
        changed, _, _ = crash.reference(timed_runs=0)
        self.assertGreater(changed, 150)

        moments = [{"delay": 0}, {"delay": 0.005}] + [
            {"journal_bytes": crash.journal_length * seventh // 7} for seventh in range(1, 7)]
        tally = crash_test.Tally()
        for moment in moments:
            outcome = crash.kill(**moment)
            tally.add(outcome, changed)
            with self.subTest(**moment):
                self.assertEqual(outcome["failures"], [])
        # Without a kill that cut the run between two saves the checks above saw little.
        self.assertGreater(tally.between_saves, 0, "\n".join(tally.lines()))
        print("\n" + "\n".join(tally.lines()))
