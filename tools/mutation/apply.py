"""Putting one mutant into its file, and the file back, whatever ends the run."""

import base64
import json
import os

from . import log, read_json


def apply(text, mutant):
    """The text with the mutant in it; the line must still read as when it was found."""
    lines = text.split("\n")
    raw = lines[mutant["line"] - 1]
    column, before, after = mutant["column"], mutant["before"], mutant["after"]
    if mutant["operator"] == "statement":
        column = len(raw) - len(raw.lstrip())
    assert raw[column : column + len(before)] == before, (mutant, raw)
    lines[mutant["line"] - 1] = raw[:column] + after + raw[column + len(before) :]
    return "\n".join(lines)


class Restorer:
    """Puts a mutated file back. The original is also kept on disk until then, so that a run
    killed outright is undone by the next one."""

    def __init__(self, tree):
        self.tree = tree
        self.pending = os.path.join(tree.build, "pending-restore.json")

    def recover(self):
        if os.path.exists(self.pending):
            saved = read_json(self.pending)
            self.put_back(saved["file"], base64.b64decode(saved["content"]))
            log(f"mutate: put back {saved['file']}, left mutated by an interrupted run")

    def mutate(self, path, original, mutated):
        with open(self.pending, "w") as out:
            json.dump({"file": path, "content": base64.b64encode(original).decode()}, out)
        with open(os.path.join(self.tree.root, path), "wb") as out:
            out.write(mutated)

    def put_back(self, path, original):
        with open(os.path.join(self.tree.root, path), "wb") as out:
            out.write(original)
        os.remove(self.pending)
