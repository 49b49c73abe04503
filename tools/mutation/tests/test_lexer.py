import unittest

from mutation.lexer import mask


class MaskTest(unittest.TestCase):
    # Comments and the contents of literals are blanked, lengths and line breaks kept; code is
    # left as it stands.
    ROWS = [
        ("line comment", "a = 1; // b < c", "a = 1;         "),
        ("block comment over lines", "x /* a\nb */ y", "x     \n     y"),
        ("escaped quote in a string", 's = "a\\"b" + c;', 's = "    " + c;'),
        ("comment marker in a string", 'f("//x"); g();', 'f("   "); g();'),
        ("quote in a string", "f(\"'\"); c < d;", 'f(" "); c < d;'),
        ("character literals", "c == '\\'' || c == '\"'", "c == '  ' || c == ' '"),
        ("prefixed character literals", "c = u8'a'; d = L'b';", "c = u8' '; d = L' ';"),
        ("digit separators", "n = 1'000'000; // k", "n = 1'000'000;     "),
        ("digit separator after an 8", "n = 128'000; m < k;", "n = 128'000; m < k;"),
        ("digit separator in hex", "n = 0xFF'FF < m;", "n = 0xFF'FF < m;"),
        ("raw string with a delimiter", 'R"x(a)"b)x" + 1', 'R"x(    )x" + 1'),
        ("raw string over lines", 'R"(a\n// b)" < c', 'R"( \n    )" < c'),
        ("prefixed raw string", 'u8R"(")" < c', 'u8R"( )" < c'),
        ("include line", '#include "frame.h" // x', '#include "       "     '),
        ("unterminated string ends with its line", '"abc\nx < y', '"   \nx < y'),
    ]

    def test_mask(self):
        for name, source, masked in self.ROWS:
            with self.subTest(name):
                self.assertEqual(mask(source)[0], masked)

    def test_string_spans(self):
        text = 'f("\\x01", R"(r)", \'c\', "b"); // "d"'
        self.assertEqual(
            [text[a:b] for a, b in mask(text)[1]], ["\\x01", "b"],
            "only ordinary strings' contents, not raw strings, characters or comments")


if __name__ == "__main__":
    unittest.main()
