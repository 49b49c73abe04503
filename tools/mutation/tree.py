"""The build tree of the mutation check (build/mutate): configuring it, building targets in it,
and what CTest and CMake's file API say of its suites."""

import glob
import json
import os
import shlex
import shutil
import signal
import subprocess
import sys

from . import read_json


def run(cmd, cwd=None, limit=None, output=None, env=None):
    """Runs cmd in a session of its own, so that a time-out or Ctrl+C ends it with everything it
    started. Returns the exit code, or None on time-out."""
    with open(output or os.devnull, "ab") as out:
        process = subprocess.Popen(
            cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, env=env, start_new_session=True
        )
        try:
            return process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            return None
        finally:
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()


class Tree:
    def __init__(self, root, build, jobs):
        self.root, self.build, self.jobs = root, build, jobs
        self.log = os.path.join(build, "log.txt")

    def configure(self):
        query = os.path.join(self.build, ".cmake/api/v1/query/codemodel-v2")
        os.makedirs(os.path.dirname(query), exist_ok=True)
        open(query, "w").close()
        # Release like the shipped program; --coverage only adds counters, read by the first run.
        # ccache keeps the rebuild of each mutant short where it is installed; an empty launcher
        # also clears one that a tree configured on another machine remembers.
        launcher = "ccache" if shutil.which("ccache") else ""
        cmd = ["cmake", "-S", self.root, "-B", self.build, "-DCMAKE_BUILD_TYPE=Release",
               f"-DCMAKE_CXX_COMPILER_LAUNCHER={launcher}", "-DCMAKE_CXX_FLAGS=--coverage",
               "-DCMAKE_EXE_LINKER_FLAGS=--coverage"]
        # Make spends seconds checking a target that is up to date, Ninja a fraction of one;
        # each mutant builds a few targets.
        fresh = not os.path.exists(os.path.join(self.build, "CMakeCache.txt"))
        if fresh and shutil.which("ninja"):
            cmd += ["-G", "Ninja"]
        if run(cmd, output=self.log) != 0:
            sys.exit(f"mutate: configuring {self.build} failed, see {self.log}")

    def build_targets(self, targets, output=None):
        cmd = ["cmake", "--build", self.build, "-j", str(self.jobs), "--target", *targets]
        return run(cmd, output=output or self.log) == 0

    def tests(self):
        """The CTest suites that run a program of the tree, with its build target, from CTest
        and CMake's file API. A test that runs none (the tools' own tests) cannot see a
        mutant."""
        shown = subprocess.run(["ctest", "--test-dir", self.build, "--show-only=json-v1"],
                               capture_output=True, text=True, check=True)
        reply = os.path.join(self.build, ".cmake/api/v1/reply")
        index = read_json(sorted(glob.glob(os.path.join(reply, "index-*.json")))[-1])
        model = read_json(os.path.join(reply, index["reply"]["codemodel-v2"]["jsonFile"]))
        targets = {}
        for entry in model["configurations"][0]["targets"]:
            target = read_json(os.path.join(reply, entry["jsonFile"]))
            targets[target["id"]] = target
        by_artifact = {}
        for target in targets.values():
            for artifact in target.get("artifacts", []):
                by_artifact[os.path.join(self.build, artifact["path"])] = target
        suites = {}
        for test in json.loads(shown.stdout)["tests"]:
            target = next((by_artifact[a] for a in test.get("command", []) if a in by_artifact),
                          None)
            if target is None:
                continue
            props = {p["name"]: p["value"] for p in test.get("properties", [])}
            sources = set()
            for dep in [target] + [targets[d["id"]] for d in target.get("dependencies", [])]:
                sources |= {s["path"] for s in dep.get("sources", [])}
            suites[test["name"]] = {
                "target": target["name"],
                "timeout": float(props.get("TIMEOUT", 1500)),
                "sources": sorted(sources),
            }
        return suites

    def compile_command(self, path):
        """The compiler call of the translation unit for path (for a header, one of a file of
        the same stem, or one that includes it), checking only that it compiles."""
        commands = read_json(os.path.join(self.build, "compile_commands.json"))
        absolute = os.path.join(self.root, path)
        stem = os.path.splitext(absolute)[0]
        chosen = next((c for c in commands if os.path.splitext(c["file"])[0] == stem), None)
        if chosen is None:
            header = os.path.basename(path)
            for c in commands:
                with open(c["file"], encoding="utf-8", errors="replace") as f:
                    if f'{header}"' in f.read():
                        chosen = c
                        break
        if chosen is None:
            return None, None
        args, kept, skip = shlex.split(chosen["command"]), [], False
        for a in args:
            if skip:
                skip = False
            elif a in ("-o", "-MT", "-MF"):
                skip = True
            elif a not in ("-MD", "-c", "--coverage"):
                kept.append(a)
        return kept + ["-fsyntax-only"], chosen["directory"]

    def preprocessed(self, path):
        """What the compiler reads of path's translation unit after the preprocessor, or None
        when it cannot tell."""
        cmd, cwd = self.compile_command(path)
        if not cmd:
            return None
        done = subprocess.run(cmd[:-1] + ["-E"], cwd=cwd, capture_output=True)
        return done.stdout if done.returncode == 0 else None
