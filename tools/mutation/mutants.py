"""Which files are mutated, the mutants of each line, and the order in which a seed takes them.

A mutant is named by a key made of its file's name, its line's text and the change, so that it
keeps its name when files move or lines are added above it, and a seed orders mutants by their
keys alone, so that the same code gives the same list."""

import fnmatch
import hashlib
import os
import re

from .lexer import balanced, mask, matching_paren

# Which files are mutated: globs on the path from the tree's root, then globs on the file name.
# The widgets and the window's inventory only draw; the end-to-end suite covers them.
INCLUDE = ["src/protocol/*", "src/platform/*", "src/console/*"]
EXCLUDE = ["*/widgets/*"]
EXCLUDE_NAMES = ["*inventory*"]
SUFFIXES = (".cpp", ".h")
# Lines of look left in logic files (geometry, colours, painting, titles, layout, alignment,
# eliding): no suite checks them.
EXCLUDE_LINES = re.compile(
    r"twips\(|QColor\(|QPen\(|QPixmap\b|\.draw\w*\(|setGeometry|resize\(|"
    r"setWindowTitle|setWindowIcon|setTabOrder|setFont|addWidget\(|setStretch|"
    r"setSectionResizeMode|setTextElideMode|setWordWrap|setForeground|TextAlignmentRole|"
    r"ForegroundRole"
)

COMPARISONS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
COMPARISON = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
INTEGER = re.compile(r"(?<![\w.'])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.'])")
CONDITION = re.compile(r"\b(if|while)\s*\(")
ASSIGNMENT = re.compile(r"(^|[^=!<>+\-*/%&|^])=(?!=)")
HEX_ESCAPE = re.compile(r"\\x[0-9A-Fa-f]{2}(?![0-9A-Fa-f])")
NOT_STATEMENTS = re.compile(
    r"(return|break|continue|case|default|goto|if|else|for|while|do|switch|using|namespace|"
    r"typedef|template|struct|class|enum|public|private|protected|static_assert|throw|friend|"
    r"const|constexpr|static|inline|extern|auto|unsigned|signed|int|bool|char|double|float|"
    r"long|short|void)\b"
)
EXPRESSION_STATEMENT = re.compile(
    r"(Q_EMIT\s+)?(\+\+|--)?[A-Za-z_]\w*(::[A-Za-z_]\w*)*"
    r"\s*(\(|\.|->|\[|=(?!=)|[-+*/%&|^]=|<<=|>>=|\+\+|--)"
)
STATEMENT_BEFORE = (";", "{", "}", ")", "else", ":")


def value_of(literal):
    """An integer literal's value, read as C++ reads it: 0x hexadecimal, a leading 0 octal."""
    if literal[:2] in ("0x", "0X"):
        return int(literal[2:], 16)
    if len(literal) > 1 and literal.startswith("0"):
        return int(literal, 8)
    return int(literal)


def shifted(literal, delta):
    value = value_of(literal) + delta
    if literal[:2] in ("0x", "0X"):
        digits = literal[2:]
        spelled = f"{value:0{len(digits)}X}"
        return literal[:2] + (spelled if digits.isupper() or digits.isdigit() else spelled.lower())
    if len(literal) > 1 and literal.startswith("0"):
        return f"0{value:0{len(literal) - 1}o}"
    return str(value)


def line_mutants(raw, code, previous, spans, statements):
    """Yields (column, operator, before, after) for one line; code is the line masked. In a
    header, a line that looks like a call may declare a constructor: statements is False there."""
    stripped = code.strip()
    if not stripped or stripped.startswith("#") or "static_assert" in code:
        return
    if EXCLUDE_LINES.search(raw):
        return
    for m in COMPARISON.finditer(code):
        yield m.start(), "comparison", m.group(1), COMPARISONS[m.group(1)]
    if not stripped.startswith(("case ", "enum ", "template")):
        for m in INTEGER.finditer(code):
            before, after = code[: m.start()].rstrip(), code[m.end() :].lstrip()
            if before.endswith("<") or after.startswith(">"):
                continue  # a template argument
            if before.endswith("[") and after.startswith("]") and "{" in code:
                continue  # the size of an initialised array
            for delta in (1, -1):
                if delta < 0 and value_of(m.group(1)) == 0:
                    continue
                yield m.start(), "integer", m.group(0), shifted(m.group(1), delta) + m.group(2)
    for start, end in spans:
        escapes = list(HEX_ESCAPE.finditer(raw, start, end))
        for a, b in zip(escapes, escapes[1:]):
            if a.end() == b.start() and a.group(0).lower() != b.group(0).lower():
                yield a.start(), "bytes", a.group(0) + b.group(0), b.group(0) + a.group(0)
    for m in CONDITION.finditer(code):
        if code[m.end() :].lstrip().startswith("constexpr"):
            continue
        close = matching_paren(code, m.end() - 1)
        inner = code[m.end() : close]
        if close < 0 or ";" in inner or ASSIGNMENT.search(inner):
            continue
        condition = raw[m.end() : close]
        yield m.end(), "condition", condition, f"!({condition})"
    if (
        statements
        and stripped.endswith(";")
        and previous.endswith(STATEMENT_BEFORE)
        and balanced(stripped)
        and not NOT_STATEMENTS.match(stripped)
        and EXPRESSION_STATEMENT.match(stripped)
    ):
        start = len(code) - len(code.lstrip())
        yield start, "statement", raw.strip(), ";"


def text_mutants(path, text):
    """The mutants of a file's text; path is the file's path from the tree's root."""
    masked, strings = mask(text)
    raws, codes = text.split("\n"), masked.split("\n")
    offsets, pos = [], 0
    for raw in raws:
        offsets.append(pos)
        pos += len(raw) + 1
    previous, continued, seen = "", False, {}
    for number, (raw, code) in enumerate(zip(raws, codes), start=1):
        start = offsets[number - 1]
        spans = [
            (max(a, start) - start, min(b, start + len(raw)) - start)
            for a, b in strings
            if a < start + len(raw) and b > start
        ]
        if not continued:
            for column, operator, before, after in line_mutants(raw, code, previous, spans,
                                                                 path.endswith(".cpp")):
                # The key does not depend on the folder or the line number, so that a mutant
                # keeps its identity when files move or lines are added above it.
                ident = (os.path.basename(path), raw.strip(), operator, column, before, after)
                seen[ident] = seen.get(ident, 0) + 1
                key = hashlib.sha1(repr(ident + (seen[ident],)).encode()).hexdigest()[:12]
                yield {
                    "key": key,
                    "file": path,
                    "line": number,
                    "column": column,
                    "operator": operator,
                    "before": before,
                    "after": after,
                }
        continued = code.rstrip().endswith("\\")
        if code.strip():
            previous = code.strip()


def file_mutants(tree, path):
    with open(os.path.join(tree, path), encoding="utf-8") as f:
        return list(text_mutants(path, f.read()))


def selected_files(tree, only):
    found = []
    for folder, dirs, files in os.walk(os.path.join(tree, "src")):
        dirs.sort()
        for name in sorted(files):
            path = os.path.relpath(os.path.join(folder, name), tree)
            if not name.endswith(SUFFIXES):
                continue
            if not any(fnmatch.fnmatch(path, g) for g in INCLUDE):
                continue
            if any(fnmatch.fnmatch(path, g) for g in EXCLUDE):
                continue
            if any(fnmatch.fnmatch(name, g) for g in EXCLUDE_NAMES):
                continue
            if only and not any(fnmatch.fnmatch(path, g) for g in only):
                continue
            found.append(path)
    return found


def ordered_mutants(tree, files, seed):
    mutants = [m for path in files for m in file_mutants(tree, path)]
    rank = lambda m: hashlib.sha1(f"{seed}:{m['key']}".encode()).hexdigest()
    return sorted(mutants, key=rank)
