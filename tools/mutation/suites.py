"""Which suites can see a mutant: each suite is run once unmutated, under gcov's counters, for
its time and the lines it executes."""

import glob
import hashlib
import json
import os
import re
import subprocess
import time

from . import log, read_bytes, read_json
from .tree import run


def fingerprint(root):
    digest = hashlib.sha1()
    for top in ("src", "tests", "CMakeLists.txt"):
        for folder, _, files in sorted(os.walk(os.path.join(root, top))):
            for name in sorted(files):
                path = os.path.join(folder, name)
                digest.update(os.path.relpath(path, root).encode())
                digest.update(read_bytes(path))
        if os.path.isfile(os.path.join(root, top)):
            digest.update(read_bytes(os.path.join(root, top)))
    return digest.hexdigest()


def coverage_of(tree, data_files):
    """Lines executed and lines instrumented, per file of the tree, from gcov's JSON output."""
    executed, instrumented = {}, {}
    for chunk in range(0, len(data_files), 50):
        out = subprocess.run(["gcov", "--json-format", "--stdout", *data_files[chunk : chunk + 50]],
                             capture_output=True, text=True, cwd=tree.build).stdout
        for line in out.splitlines():
            if not line.startswith("{"):
                continue
            report = json.loads(line)
            for f in report["files"]:
                folder = report["current_working_directory"]
                path = os.path.normpath(os.path.join(folder, f["file"]))
                if not path.startswith(tree.root + os.sep):
                    continue
                path = os.path.relpath(path, tree.root)
                for entry in f["lines"]:
                    instrumented.setdefault(path, set()).add(entry["line_number"])
                    if entry["count"] > 0:
                        executed.setdefault(path, set()).add(entry["line_number"])
    return executed, instrumented


def survey(tree, suites, names):
    """Runs each suite once, unmutated: its time, whether it passes, and the lines it executes.
    Kept in coverage.json until a file under src or tests changes."""
    path = os.path.join(tree.build, "coverage.json")
    stamp = fingerprint(tree.root)
    saved = read_json(path) if os.path.exists(path) else {}
    if saved.get("fingerprint") == stamp and all(n in saved["suites"] for n in names):
        return saved
    log(f"mutate: first run of {len(names)} suites, to time them and map the lines they run")
    result = {"fingerprint": stamp, "suites": {}, "lines": {}, "known": {}}
    counters = os.path.join(tree.build, "**/*.gcda")
    for name in names:
        for old in glob.glob(counters, recursive=True):
            os.remove(old)
        started = time.monotonic()
        code = run(["ctest", "--test-dir", tree.build, "-R", f"^{re.escape(name)}$"],
                   limit=suites[name]["timeout"] + 30, output=tree.log)
        seconds = time.monotonic() - started
        executed, instrumented = coverage_of(tree, glob.glob(counters, recursive=True))
        result["suites"][name] = {"seconds": round(seconds, 1), "passes": code == 0,
                                  "executed": {f: sorted(l) for f, l in executed.items()}}
        for f, lines in instrumented.items():
            result["known"].setdefault(f, set()).update(lines)
        log(f"  {name}: {'passes' if code == 0 else 'FAILS unmutated'}, {seconds:.1f} s")
    for old in glob.glob(counters, recursive=True):
        os.remove(old)
    for name, info in result["suites"].items():
        for f, lines in info.pop("executed", {}).items():
            for line in lines:
                result["lines"].setdefault(f, {}).setdefault(str(line), []).append(name)
    result["known"] = {f: sorted(lines) for f, lines in result["known"].items()}
    with open(path, "w") as out:
        json.dump(result, out)
    return result


def suites_for(mutant, survey_data, suites, names):
    """The suites that can tell: those that execute the line. A line that the compiler left
    without counters (a constant, a declaration) is used by the code around it: in a source
    file, by the suites that execute any line of it; in a header, by any file that includes
    it, so by every suite built from it."""
    path, line = mutant["file"], mutant["line"]
    lines = survey_data["lines"].get(path, {})
    if line in set(survey_data["known"].get(path, [])):
        chosen = lines.get(str(line), [])
    elif path.endswith(".cpp"):
        chosen = sorted({n for reached in lines.values() for n in reached})
    else:
        chosen = [n for n in names if path in suites[n]["sources"]]
    chosen = [n for n in chosen if n in names]
    return sorted(chosen, key=lambda n: survey_data["suites"][n]["seconds"])
