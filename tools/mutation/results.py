"""The result file of a run (one mutant a line, tab-separated, behind a commented header),
the counts and kill rate, and the comparison of two runs by mutant key."""

import os

from . import log

STATUSES = ("killed", "survived", "timed out", "invalid")
CAUGHT = ("killed", "timed out")


def summary(results):
    counts = {s: sum(1 for r in results if r["status"] == s) for s in STATUSES}
    valid = counts["killed"] + counts["survived"] + counts["timed out"]
    rate = (counts["killed"] + counts["timed out"]) / valid if valid else 0.0
    return counts, valid, rate


def describe(r):
    return f"{r['file']}:{r['line']}  {r['operator']}: {r['before']}  ->  {r['after']}"


def write_results(path, header, results):
    """Writes the file whole under another name first, so that a run stopped while writing
    leaves the previous file."""
    counts, valid, rate = summary(results)
    with open(path + ".new", "w") as out:
        for key, value in header.items():
            out.write(f"# {key}: {value}\n")
        out.write("# " + ", ".join(f"{s} {counts[s]}" for s in STATUSES))
        out.write(f", kill rate {rate:.3f} of {valid} valid\n")
        out.write("# key\tstatus\tfile:line\toperator\tbefore\tafter\tsuites\tdetail\tseconds\n")
        for r in results:
            fields = [r["key"], r["status"], f"{r['file']}:{r['line']}", r["operator"],
                      r["before"], r["after"], r["suites"], r["detail"], f"{r['seconds']:.0f}"]
            out.write("\t".join(f.replace("\t", " ") for f in fields) + "\n")
    os.replace(path + ".new", path)


def read_results(path):
    results = []
    with open(path, encoding="utf-8") as f:
        lines = f.readlines()
    for line in lines:
        if line.startswith("#") or not line.strip():
            continue
        key, status, where, operator, before, after, suites, detail, seconds = \
            line.rstrip("\n").split("\t")
        file, _, number = where.rpartition(":")
        results.append({"key": key, "status": status, "file": file, "line": int(number),
                        "operator": operator, "before": before, "after": after,
                        "suites": suites, "detail": detail, "seconds": float(seconds)})
    return results


def report(results, seconds):
    counts, valid, rate = summary(results)
    log("")
    log(", ".join(f"{s} {counts[s]}" for s in STATUSES) +
        f"; kill rate {rate:.1%} ({counts['killed'] + counts['timed out']} of {valid} valid)" +
        (f"; {seconds / 60:.0f} min" if seconds is not None else ""))
    survivors = [r for r in results if r["status"] == "survived"]
    if survivors:
        log("Survivors:")
        for r in survivors:
            note = "  (no suite runs it)" if r["suites"] == "-" else ""
            log("  " + describe(r) + note)


def compare(old_path, new_path):
    """Prints what changed between two runs; returns 1 when a mutant caught in the first is not
    caught in the second."""
    old = {r["key"]: r for r in read_results(old_path)}
    new = {r["key"]: r for r in read_results(new_path)}
    for title, path, results in (("Before", old_path, old), ("After", new_path, new)):
        counts, valid, rate = summary(list(results.values()))
        log(f"{title} ({path}): kill rate {rate:.1%} of {valid} valid")
    both = [k for k in old if k in new and "invalid" not in (old[k]["status"], new[k]["status"])]
    lost = [new[k] for k in both if old[k]["status"] in CAUGHT and new[k]["status"] not in CAUGHT]
    gained = [new[k] for k in both if old[k]["status"] not in CAUGHT and new[k]["status"] in CAUGHT]
    log(f"{len(both)} mutants valid in both; {len(lost)} no longer caught, {len(gained)} newly "
        f"caught; {len(old.keys() - new.keys())} only before, {len(new.keys() - old.keys())} only "
        "after")
    for title, rows in (("No longer caught:", lost), ("Newly caught:", gained)):
        if rows:
            log(title)
            for r in rows:
                log("  " + describe(r))
    return 1 if lost else 0
