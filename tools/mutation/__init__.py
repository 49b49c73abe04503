"""The mutation check behind tools/mutate, in parts that can be tested alone: the lexer that
tells code from comments and literals (lexer), the mutants of a file and the seed's order
(mutants), putting one into a file and back (apply), the build tree (tree), which suites can
see a line (suites), trying the mutants (runner), the result file and its comparison (results),
and the command line (cli)."""

import json


def log(message):
    print(message, flush=True)


def read_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()
