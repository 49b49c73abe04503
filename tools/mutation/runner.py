"""Trying the mutants: each one put into its file, the suites that can see it built and run
until one fails, and the file put back."""

import os
import re
import shutil
import signal
import subprocess
import sys
import time

from . import log, read_bytes
from .apply import Restorer, apply
from .results import describe, read_results, write_results
from .suites import suites_for, survey
from .tree import run

# Suites that drive the whole program for minutes; --all-tests runs them too.
SLOW_TESTS = r"e2e|fault"
TIMEOUT_SLACK = 10


def try_mutant(tree, restorer, mutant, chosen, suites, survey_data, factor):
    """Returns (status, suite that told, detail)."""
    path = os.path.join(tree.root, mutant["file"])
    original = read_bytes(path)
    mutated = apply(original.decode("utf-8"), mutant).encode("utf-8")
    scratch = os.path.join(tree.build, "scratch")
    env = dict(os.environ, GCOV_PREFIX=scratch)  # counters of these runs are not wanted
    # A line without counters may sit in a branch for another platform, which the preprocessor
    # drops: no build here can tell such a mutant from the original.
    uncounted = mutant["line"] not in survey_data["known"].get(mutant["file"], [])
    unmutated = tree.preprocessed(mutant["file"]) if uncounted else None
    restorer.mutate(mutant["file"], original, mutated)
    try:
        if unmutated is not None and tree.preprocessed(mutant["file"]) == unmutated:
            return "invalid", "-", "not compiled on this platform"
        if not chosen:
            cmd, cwd = tree.compile_command(mutant["file"])
            if cmd and run(cmd, cwd=cwd, output=tree.log) != 0:
                return "invalid", "-", "does not compile"
            return "survived", "-", "no suite runs this line"
        # The fastest suite alone first: it catches most mutants. Then the others side by
        # side, the longest first, as many at a time as build jobs: they spend most of their
        # time waiting on timers and sockets.
        rest = sorted(chosen[1:], key=lambda n: -survey_data["suites"][n]["seconds"])
        for group in ([chosen[0]], rest):
            if not group:
                continue
            if not tree.build_targets(sorted({suites[n]["target"] for n in group})):
                return "invalid", ",".join(group), "does not compile"
            limits = {n: factor * survey_data["suites"][n]["seconds"] + TIMEOUT_SLACK
                      for n in group}
            outcome = run_suites(tree, group, limits, env)
            if outcome:
                return outcome
        return "survived", ",".join(chosen), ""
    finally:
        restorer.put_back(mutant["file"], original)


def run_suites(tree, group, limits, env):
    """Runs the suites through CTest, tree.jobs at a time, each stopped at its limit. Returns
    (status, suite, detail) for the first that fails or overruns, None when all pass."""
    waiting, running = list(group), {}
    outputs = os.path.join(tree.build, "runs")
    os.makedirs(outputs, exist_ok=True)
    scratch = env["GCOV_PREFIX"]
    try:
        while waiting or running:
            while waiting and len(running) < tree.jobs:
                name = waiting.pop(0)
                output = open(os.path.join(outputs, name + ".txt"), "wb")
                process = subprocess.Popen(
                    ["ctest", "--test-dir", tree.build, "-R", f"^{re.escape(name)}$",
                     "--output-on-failure"],
                    stdout=output, stderr=subprocess.STDOUT, env=env, start_new_session=True)
                running[name] = (process, time.monotonic() + limits[name], output)
            time.sleep(0.2)
            for name, (process, deadline, output) in list(running.items()):
                code = process.poll()
                if code is None and time.monotonic() < deadline:
                    continue
                if code is None:
                    return "timed out", name, f"over {limits[name]:.0f} s"
                del running[name]
                output.close()
                with open(output.name, "rb") as told, open(tree.log, "ab") as out:
                    out.write(told.read())
                if code != 0:
                    return "killed", name, ""
        return None
    finally:
        for process, _, output in running.values():
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
            output.close()
        shutil.rmtree(outputs, ignore_errors=True)
        shutil.rmtree(scratch, ignore_errors=True)


def commit_of(root):
    """What git says of the tree's commit, or "unknown" where the tree is no repository or git
    is missing."""
    try:
        described = subprocess.run(["git", "-C", root, "describe", "--always", "--dirty"],
                                   capture_output=True, text=True).stdout.strip()
    except OSError:
        described = ""
    return described or "unknown"


def check(args, tree, files, mutants, results):
    """Tries the mutants in order until args.count of them compile, appending to results."""
    os.makedirs(tree.build, exist_ok=True)
    restorer = Restorer(tree)
    tree.configure()
    suites = tree.tests()
    names = sorted(n for n in suites if args.all_tests or not re.search(SLOW_TESTS, n))
    log(f"mutate: building {len(names)} suites in {tree.build}")
    if not tree.build_targets(sorted({suites[n]["target"] for n in names})):
        sys.exit(f"mutate: the unmutated tree does not build, see {tree.log}")
    survey_data = survey(tree, suites, names)
    broken = [n for n in names if not survey_data["suites"][n]["passes"]]
    if broken:
        log(f"mutate: left out, failing unmutated: {', '.join(broken)}")
    names = [n for n in names if n not in broken]

    results_path = args.results or os.path.join(tree.build, "results.txt")
    earlier = {}
    if args.resume and os.path.exists(results_path):
        earlier = {r["key"]: r for r in read_results(results_path)}
    header = {"tree": tree.root, "commit": commit_of(tree.root), "seed": args.seed,
              "count": args.count, "files": " ".join(args.files or ["(default)"]),
              "suites": " ".join(names)}
    log(f"mutate: {len(mutants)} mutants in {len(files)} files; trying them in seed "
        f"{args.seed}'s order until {args.count} compile")
    valid = 0
    for mutant in mutants:
        if valid >= args.count:
            break
        begun = time.monotonic()
        if mutant["key"] in earlier:
            result = dict(earlier[mutant["key"]], line=mutant["line"])
        else:
            chosen = suites_for(mutant, survey_data, suites, names)
            status, suite, detail = try_mutant(tree, restorer, mutant, chosen, suites,
                                               survey_data, args.timeout_factor)
            result = dict(mutant, status=status, suites=suite, detail=detail,
                          seconds=time.monotonic() - begun)
        results.append(result)
        valid += result["status"] != "invalid"
        told = result["suites"] + (", " + result["detail"] if result["detail"] else "")
        log(f"[{valid}/{args.count}] {result['status']:9} {describe(result)}  ({told}; "
            f"{result['seconds']:.0f} s)")
        write_results(results_path, header, results)
    return results_path
