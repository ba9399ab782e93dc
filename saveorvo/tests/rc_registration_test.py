"""Checks of rc_registration.py on small resource scripts written by the tests themselves."""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import rc_registration  # noqa: E402


class ResourceScripts(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def script(self, text, header="#define IDS_ONE 1\n#define IDD_BOX 200\n"):
        with open(os.path.join(self.folder.name, "ids.h"), "w", encoding="utf-8") as out:
            out.write(header)
        path = os.path.join(self.folder.name, "test.rc")
        with open(path, "w", encoding="utf-8") as out:
            out.write('#include <winresrc.h>\n#include "ids.h"\n' + text)
        return path

    def test_string_escapes_and_quotes(self):
        resources = rc_registration.read_script(self.script(
            'LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n'
            'STRINGTABLE\nBEGIN\n'
            '    IDS_ONE "say ""hi""\\tnow\\\\\\n"\n'
            '    2, "comma form"\n'
            'END\n'))
        self.assertEqual(resources["language"], 0x0409)
        self.assertEqual(resources["strings"],
                         [(1, 'say "hi"\tnow\\\n'), (2, "comma form")])

    def test_wide_literals_keep_utf16_units_apart_from_following_digits(self):
        self.assertEqual(rc_registration.wide_literal("caf\u00e91"), 'L"caf\\x00e9" L"1"')
        self.assertEqual(rc_registration.wide_literal("a\"b\\\n"), 'L"a\\"b\\\\\\n"')
        self.assertEqual(rc_registration.wide_literal("\U0001F600"),
                         'L"\\xd83d" L"\\xde00"')
        self.assertEqual(rc_registration.wide_literal(""), 'L""')

    def test_dialog_styles_follow_the_resource_compiler(self):
        resources = rc_registration.read_script(self.script(
            'LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK\n'
            'IDD_BOX DIALOGEX 1, 2, 30, 40\n'
            'STYLE WS_POPUP | WS_SYSMENU\n'
            'CAPTION "Box"\n'
            'FONT 9, "Tahoma"\n'
            'BEGIN\n'
            '    PUSHBUTTON "Go", IDOK, 1, 2, 3, 4, NOT WS_TABSTOP\n'
            '    LTEXT "x", -1, 5, 6, 7, 8\n'
            '    CONTROL "c", 7, "Button", BS_AUTOCHECKBOX, 9, 10, 11, 12, 0x20\n'
            'END\n'))
        identifier, dialog = resources["dialogs"][0]
        self.assertEqual(identifier, 200)
        self.assertTrue(dialog["extended"])
        self.assertEqual(dialog["style"], 0x80000000 | 0x80000 | 0xC00000 | 0x40)
        self.assertEqual((dialog["fontSize"], dialog["fontName"]), (9, "Tahoma"))
        push, text, check = dialog["controls"]
        self.assertEqual(push["style"], 0x50000000)
        self.assertEqual(push["id"], 1)
        self.assertEqual(text["id"], -1)
        self.assertEqual(text["style"], 0x50020000)
        self.assertEqual(check["style"], 0x50000003)
        self.assertEqual(check["exStyle"], 0x20)
        self.assertEqual(check["position"], [9, 10, 11, 12])

    def test_unknown_statements_stop_the_build(self):
        for body in ('LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK\n1 ICON "a.ico"\n',
                     'LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK\n'
                     'IDD_BOX DIALOG 0, 0, 1, 1\nBEGIN\n    LISTBOX 1, 2, 3, 4, 5\nEND\n',
                     'STRINGTABLE\nBEGIN\n    IDS_ONE "no language"\nEND\n',
                     'LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK\n#ifdef X\n'):
            path = self.script(body)
            output = os.path.join(self.folder.name, "out.cpp")
            result = subprocess.run([sys.executable, rc_registration.__file__, path, output],
                                    capture_output=True, text=True)
            self.assertEqual(result.returncode, 1, body)
            self.assertIn("test.rc", result.stderr)
            self.assertFalse(os.path.exists(output))


if __name__ == "__main__":
    unittest.main()
