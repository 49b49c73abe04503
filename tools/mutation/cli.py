"""Mutation check: how many small faults put into the code do the test suites catch?

Draws a seeded list of mutants (a flipped comparison, an integer shifted by one, two bytes of a
frame constant swapped, a negated condition, a deleted statement) from the protocol, platform
and console logic, applies them one at a time, rebuilds only the test programs that run the
mutated line in build/mutate, runs those suites through CTest, and always puts the file back.
A first instrumented run of every suite maps each source line to the suites that execute it;
it is kept until a source or test file changes. See "Mutation check" in DEVELOPERS.md.
"""

import argparse
import os
import signal
import time

from . import log
from .apply import Restorer
from .mutants import ordered_mutants, selected_files
from .results import compare, describe, report
from .runner import SLOW_TESTS, TIMEOUT_SLACK, check
from .tree import Tree

BUILD_DIR = "build/mutate"
DEFAULT_SEED = 1
DEFAULT_COUNT = 150
TIMEOUT_FACTOR = 3
# The tree this tool belongs to: tools/mutation/cli.py is three levels below it.
HERE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class Stop(Exception):
    """Raised by SIGINT, SIGTERM and SIGHUP so that the mutated file is put back on the way
    out."""


def on_signal(signum, _frame):
    raise Stop(f"signal {signum}")


def stop_on_signals():
    # SIGINT too: a shell starts a background job with it ignored.
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, on_signal)


def parse(argv=None):
    parser = argparse.ArgumentParser(prog="mutate", description=__doc__.split("\n\n")[0])
    parser.add_argument("--tree", default=HERE, help="source tree to mutate (default: this one)")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED)
    parser.add_argument("--count", type=int, default=DEFAULT_COUNT,
                        help="valid mutants to try (those that compile)")
    parser.add_argument("--files", nargs="+", metavar="GLOB",
                        help="only files whose path from the tree matches one of these globs")
    parser.add_argument("--all-tests", action="store_true",
                        help=f"also run the suites matching '{SLOW_TESTS}'")
    parser.add_argument("--timeout-factor", type=float, default=TIMEOUT_FACTOR,
                        help="a suite is stopped after this many times its normal time, plus "
                        f"{TIMEOUT_SLACK} s")
    parser.add_argument("--jobs", type=int, default=2, help="build jobs")
    parser.add_argument("--results", help=f"result file (default: {BUILD_DIR}/results.txt)")
    parser.add_argument("--resume", action="store_true",
                        help="keep the outcome of mutants already in the result file")
    parser.add_argument("--list", action="store_true", help="print the mutants and stop")
    parser.add_argument("--compare", nargs=2, metavar=("OLD", "NEW"),
                        help="compare two result files; exits 1 if a mutant caught in OLD is "
                        "not caught in NEW")
    return parser.parse_args(argv)


def main(argv=None):
    args = parse(argv)
    if args.compare:
        return compare(*args.compare)
    root = os.path.abspath(args.tree)
    tree = Tree(root, os.path.join(root, BUILD_DIR), args.jobs)
    if not args.list:
        # Before the mutants are drawn: a file that a killed run left mutated would give other
        # mutants, whose lines are no longer there once it is put back. A list leaves the
        # files alone, as another run may be under way.
        Restorer(tree).recover()
    files = selected_files(root, args.files)
    mutants = ordered_mutants(root, files, args.seed)
    if args.list:
        for m in mutants[: args.count]:
            log(f"{m['key']}  {describe(m)}")
        log(f"{len(mutants)} mutants in {len(files)} files; the first {args.count} shown")
        return 0

    stop_on_signals()
    results, started = [], time.monotonic()
    try:
        results_path = check(args, tree, files, mutants, results)
    except Stop as stop:
        log(f"mutate: stopped ({stop}); the tree is as it was")
        report(results, time.monotonic() - started)
        return 130
    report(results, time.monotonic() - started)
    log(f"Results: {results_path}")
    return 0
