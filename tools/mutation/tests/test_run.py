import base64
import contextlib
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import textwrap
import unittest
from types import SimpleNamespace
from unittest import mock

from mutation import cli
from mutation.apply import Restorer
from mutation.results import read_results, write_results
from mutation.runner import try_mutant
from mutation.tree import Tree

TOOLS = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ORIGINAL = b"int f()\n{\n    return 1;\n}\n"
MUTANT = {"key": "k", "file": "src/f.cpp", "line": 3, "column": 11, "operator": "integer",
          "before": "1", "after": "2"}


def result(key, status, line=3, seconds=4.0):
    """A row of a result file, which keeps no column."""
    return {"key": key, "status": status, "file": "src/f.cpp", "line": line,
            "operator": "integer", "before": "1", "after": "2", "suites": "tst_a,tst_b",
            "detail": "", "seconds": seconds}


class Folder(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.root)

    def path(self, *parts):
        return os.path.join(self.root, *parts)


class ResultsTest(Folder):
    def test_round_trip(self):
        rows = [result("a", "killed"), result("b", "survived", 10, 0.0),
                dict(result("c", "timed out"), detail="over 40 s"),
                dict(result("d", "invalid"), suites="-", detail="does not compile"),
                dict(result("e", "killed"), before='"\\xFE\\xF8"', after='"\\xF8\\xFE"',
                     file="src/protocol/a:b.cpp")]
        write_results(self.path("r.txt"), {"seed": 1, "count": 5}, rows)
        self.assertEqual(read_results(self.path("r.txt")), rows)
        with open(self.path("r.txt")) as f:
            head = [next(f) for _ in range(3)]
        self.assertEqual(head[:2], ["# seed: 1\n", "# count: 5\n"])
        self.assertIn("killed 2, survived 1, timed out 1, invalid 1, kill rate 0.750 of 4 valid",
                      head[2])
        self.assertFalse(os.path.exists(self.path("r.txt.new")))

    # Each key's status before and after, and what the comparison says of it.
    COMPARE_ROWS = [
        ("caught, then not", [("a", "killed", "survived")], 1, "1 no longer caught, 0 newly"),
        ("newly caught", [("a", "survived", "killed")], 0, "0 no longer caught, 1 newly"),
        ("caught both times", [("a", "timed out", "killed")], 0, "1 mutants valid in both; 0"),
        ("invalid after", [("a", "killed", "invalid")], 0, "0 mutants valid in both"),
        ("keys in one run only", [("a", "killed", None), ("b", None, "survived")], 0,
         "1 only before, 1 only after"),
    ]

    def test_compare(self):
        for name, rows, code, said in self.COMPARE_ROWS:
            with self.subTest(name):
                for which, column in (("old", 1), ("new", 2)):
                    write_results(self.path(which), {}, [
                        result(row[0], row[column]) for row in rows if row[column]])
                out = io.StringIO()
                with contextlib.redirect_stdout(out):
                    self.assertEqual(
                        cli.main(["--compare", self.path("old"), self.path("new")]), code)
                self.assertIn(said, out.getvalue())


class TreeTest(Folder):
    def test_configure_uses_what_is_installed(self):
        for installed, launcher, generator in [
            ({"ccache", "ninja"}, "ccache", True), (set(), "", False), ({"ninja"}, "", True)]:
            with self.subTest(installed=sorted(installed)):
                calls = []
                with mock.patch("mutation.tree.shutil.which",
                                lambda name: f"/usr/bin/{name}" if name in installed else None), \
                        mock.patch("mutation.tree.run", lambda cmd, **_: calls.append(cmd) or 0):
                    Tree(self.root, self.path("build"), 2).configure()
                self.assertIn(f"-DCMAKE_CXX_COMPILER_LAUNCHER={launcher}", calls[0])
                self.assertEqual("Ninja" in calls[0], generator)

    def test_suites_are_the_tests_that_run_a_program(self):
        reply = self.path("build/.cmake/api/v1/reply")
        os.makedirs(reply)
        for name, data in {
            "index-1": {"reply": {"codemodel-v2": {"jsonFile": "model.json"}}},
            "model": {"configurations": [{"targets": [{"jsonFile": "a.json"},
                                                      {"jsonFile": "lib.json"}]}]},
            "a": {"id": "a", "name": "tst_a", "artifacts": [{"path": "tests/tst_a"}],
                  "sources": [{"path": "tests/tst_a.cpp"}], "dependencies": [{"id": "lib"}]},
            "lib": {"id": "lib", "name": "lib", "sources": [{"path": "src/f.cpp"}]},
        }.items():
            with open(os.path.join(reply, name + ".json"), "w") as f:
                json.dump(data, f)
        tests = {"tests": [
            {"name": "tst_a", "command": ["/netns", self.path("build/tests/tst_a")],
             "properties": [{"name": "TIMEOUT", "value": 60}]},
            {"name": "tst_tool", "command": ["/usr/bin/python3", "-m", "unittest"]}]}
        shown = SimpleNamespace(stdout=json.dumps(tests))
        with mock.patch("mutation.tree.subprocess.run", lambda *a, **k: shown):
            suites = Tree(self.root, self.path("build"), 2).tests()
        self.assertEqual(suites, {"tst_a": {"target": "tst_a", "timeout": 60.0,
                                            "sources": ["src/f.cpp", "tests/tst_a.cpp"]}})


class UncountedLineTest(Folder):
    """A line without counters is tried only where the preprocessor keeps it."""

    SOURCE = b"#ifdef _WIN32\nint g() { return 1; }\n#endif\nint f() { return 1; }\n"

    def test_branch_for_another_platform(self):
        os.makedirs(self.path("src"))
        os.makedirs(self.path("build"))
        with open(self.path("src/f.cpp"), "wb") as f:
            f.write(self.SOURCE)
        with open(self.path("build/compile_commands.json"), "w") as f:
            json.dump([{"directory": self.path("build"), "file": self.path("src/f.cpp"),
                        "command": f"c++ -o f.o -c {self.path('src/f.cpp')}"}], f)
        tree = Tree(self.root, self.path("build"), 1)
        for line, status in [(2, "invalid"), (4, "survived")]:
            with self.subTest(line=line):
                mutant = dict(MUTANT, line=line, column=17)
                outcome = try_mutant(tree, Restorer(tree), mutant, [], {}, {"known": {}}, 3)
                self.assertEqual(outcome[0], status)
                with open(self.path("src/f.cpp"), "rb") as f:
                    self.assertEqual(f.read(), self.SOURCE)


class RestoreTest(Folder):
    """The mutated file is put back whatever ends the run."""

    def setUp(self):
        super().setUp()
        os.makedirs(self.path("src"))
        os.makedirs(self.path("build"))
        with open(self.path("src/f.cpp"), "wb") as f:
            f.write(ORIGINAL)

    def read(self):
        with open(self.path("src/f.cpp"), "rb") as f:
            return f.read()

    def test_put_back_before_the_mutants_are_drawn(self):
        os.makedirs(self.path("src/protocol"))
        os.makedirs(self.path("build/mutate"))
        with open(self.path("src/protocol/f.cpp"), "wb") as f:
            f.write(ORIGINAL.replace(b"1;", b"2;"))
        with open(self.path("build/mutate/pending-restore.json"), "w") as f:
            json.dump({"file": "src/protocol/f.cpp",
                       "content": base64.b64encode(ORIGINAL).decode()}, f)
        drawn = []
        with mock.patch("mutation.cli.check", lambda *a: drawn.extend(a[3]) or "results"), \
                contextlib.redirect_stdout(io.StringIO()):
            self.assertEqual(cli.main(["--tree", self.root]), 0)
        self.assertEqual([(m["before"], m["after"]) for m in drawn if m["operator"] == "integer"],
                         [("1", "2"), ("1", "0")])

    # A child process stops in the middle of a mutant's build, where it waits on its standard
    # input: an error, or a signal that can be caught, puts the file back on the way out; what
    # SIGKILL leaves, the next run puts back.
    CHILD = textwrap.dedent("""
        import sys
        from types import SimpleNamespace
        from mutation import cli
        from mutation.apply import Restorer
        from mutation.runner import try_mutant

        def build(_targets):
            print("building", flush=True)
            if sys.stdin.readline() == "error\\n":
                raise RuntimeError("build broke")

        cli.stop_on_signals()
        tree = SimpleNamespace(root=sys.argv[1], build=sys.argv[1] + "/build", build_targets=build)
        try:
            try_mutant(tree, Restorer(tree), {mutant}, ["tst_a"], {{"tst_a": {{"target": "t"}}}},
                       {{"suites": {{"tst_a": {{"seconds": 1}}}},
                         "known": {{"src/f.cpp": [3]}}}}, 3)
        except cli.Stop:
            sys.exit(130)
    """).format(mutant=repr(MUTANT))

    def test_put_back(self):
        for end, code in [("error", 1), (signal.SIGINT, 130), (signal.SIGTERM, 130),
                          (signal.SIGHUP, 130), (signal.SIGKILL, -signal.SIGKILL)]:
            with self.subTest(str(end)):
                child = subprocess.Popen([sys.executable, "-B", "-c", self.CHILD, self.root],
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=subprocess.DEVNULL, text=True,
                                         env=dict(os.environ, PYTHONPATH=TOOLS))
                try:
                    self.assertEqual(child.stdout.readline(), "building\n")
                    self.assertNotEqual(self.read(), ORIGINAL)
                    if end == "error":
                        child.stdin.write("error\n")
                        child.stdin.flush()
                    else:
                        child.send_signal(end)
                    # Generous: on a loaded machine a niced child may wait seconds for a core.
                    child.wait(timeout=60)
                finally:
                    child.kill()  # should the test fail before the child ends
                    child.communicate()
                self.assertEqual(child.returncode, code)
                if end == signal.SIGKILL:
                    self.assertNotEqual(self.read(), ORIGINAL)
                    tree = SimpleNamespace(root=self.root, build=self.path("build"))
                    with contextlib.redirect_stdout(io.StringIO()):
                        Restorer(tree).recover()
                self.assertEqual(self.read(), ORIGINAL)
                self.assertFalse(os.path.exists(self.path("build/pending-restore.json")))


if __name__ == "__main__":
    unittest.main()
