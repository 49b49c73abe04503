"""Just enough of C++'s lexing to tell code from comments and literals, so that no mutant lands
in a comment, a string or a character constant, and a regular expression over a line sees only
code."""

import re

RAW_STRING = re.compile(r'R"([^(\s]*)\(')
# What may stand before the R of a raw string and before the quote of a character literal.
LITERAL_PREFIXES = ("", "u8", "u", "U", "L")


def word_before(text, i):
    """The identifier or number characters that end just before text[i]."""
    j = i
    while j > 0 and (text[j - 1].isalnum() or text[j - 1] == "_"):
        j -= 1
    return text[j:i]


def mask(text):
    """Returns text with comments and the contents of string and character literals blanked
    (lengths and line breaks kept, so lines and columns match), and the spans of the ordinary
    string literals' contents."""
    out = list(text)
    strings = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out[i:j] = " " * (j - i)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out[i:j] = [ch if ch == "\n" else " " for ch in text[i:j]]
            i = j
        elif c == "R" and text.startswith('R"', i) and word_before(text, i) in LITERAL_PREFIXES:
            m = RAW_STRING.match(text, i)
            end = text.find(")" + m.group(1) + '"', m.end()) if m else -1
            if end < 0:
                i += 1
                continue
            out[m.end() : end] = [ch if ch == "\n" else " " for ch in text[m.end() : end]]
            i = end + len(m.group(1)) + 2
        elif c in "\"'":
            # A quote after a number is a digit separator (1'000), after u, U, L or u8 it opens
            # a character literal; after any other name it cannot stand in valid code.
            if c == "'" and word_before(text, i) not in LITERAL_PREFIXES:
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            if c == '"':
                strings.append((i + 1, j))
            out[i + 1 : j] = " " * (j - i - 1)
            i = j + 1
        else:
            i += 1
    return "".join(out), strings


def matching_paren(line, open_at):
    depth = 0
    for j in range(open_at, len(line)):
        if line[j] == "(":
            depth += 1
        elif line[j] == ")":
            depth -= 1
            if depth == 0:
                return j
    return -1


def balanced(code):
    return all(code.count(a) == code.count(b) for a, b in ("()", "[]", "{}"))
