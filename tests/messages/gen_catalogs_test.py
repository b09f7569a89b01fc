#!/usr/bin/env python3
"""Tests of the generator that turns the PO tables into the C++ fillers.

Each case runs the real generator on the real English templates and a small translation written
into a scratch directory, then reads the C++ it wrote.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None

PO_HEADER = '''msgid ""
msgstr ""
"Language: de_DE\\n"
"Content-Type: text/plain; charset=UTF-8\\n"

'''


def entry(key, text, flags=None):
    block = "#, %s\n" % flags if flags else ""
    return block + 'msgctxt "%s"\nmsgid "x"\nmsgstr "%s"\n\n' % (key, text)


class Generator(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.src = os.path.join(self.dir, "messages")
        self.out = os.path.join(self.dir, "out")
        os.makedirs(os.path.join(self.src, "de_DE"))
        for table in ("general", "web", "errors"):
            shutil.copy(os.path.join(ARGS.src, table + ".pot"), self.src)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def generate(self, general_po):
        with open(os.path.join(self.src, "de_DE", "general.po"), "w", encoding="utf-8") as f:
            f.write(PO_HEADER + general_po)
        run = subprocess.run([sys.executable, ARGS.generator, "--src", self.src, "--out", self.out,
                              "en_US", "de_DE"], capture_output=True, text=True)
        return run

    def filler(self, locale, name):
        with open(os.path.join(self.out, "catalog_%s.cpp" % locale), encoding="utf-8") as f:
            code = f.read()
        start = code.index("void %s%s(" % (name, locale))
        return code[start:code.index("\n}\n", start)]

    def test_translation_overlays_only_what_it_translates(self):
        run = self.generate(entry("install_ok", "Die Änderungen wurden angewendet.")
                            + entry("question_continue", "")  # untranslated
                            + entry("stop_sent", "Angefordert", "fuzzy")
                            + entry("error_rep_none", "")
                            + entry("usage_opt_list_sources", ""))
        self.assertEqual(run.returncode, 0, run.stderr)
        general = self.filler("de_DE", "fillGeneralCatalog_")
        self.assertIn('rep.messages["install_ok"] = "Die \\303\\204nderungen wurden angewendet.";', general)
        self.assertNotIn("question_continue", general)
        self.assertNotIn("stop_sent", general)
        self.assertNotIn("usage_opt_list_sources", general)
        # The always-empty text is written by every translated general table.
        self.assertIn('rep.messages["error_rep_none"] = "";', general)
        # Tables without a PO file stay empty.
        self.assertNotIn("rep.messages", self.filler("de_DE", "fillWebCatalog_"))

    def test_english_tables_hold_every_key_in_template_order(self):
        run = self.generate("")
        self.assertEqual(run.returncode, 0, run.stderr)
        errors = self.filler("en_US", "fillErrorsCatalog_")
        self.assertEqual(errors.count("rep.messages["), 226)
        self.assertLess(errors.index('"err_bad_component"'), errors.index('"err_no_debpartver"'))
        general = self.filler("en_US", "fillGeneralCatalog_")
        self.assertEqual(general.count("rep.messages["), 254)
        self.assertIn('rep.messages["error_rep_none"] = "";', general)
        self.assertIn('rep.messages["usage_opt_list_sources"]', general)

    def test_bad_translations_stop_the_build(self):
        cases = [
            ("a key of no table", entry("no_such_key", "x"), "not a key"),
            ("an English-only key translated", entry("releases_install_latest_update", "x"), "English text"),
            ("the empty text translated", entry("error_rep_none", "x"), "empty in every language"),
            ("a key twice", entry("install_ok", "a") + entry("install_ok", "b"), "twice"),
        ]
        for what, po, message in cases:
            with self.subTest(what):
                run = self.generate(po)
                self.assertEqual(run.returncode, 1, what)
                self.assertIn(message, run.stderr)

    def test_an_empty_english_text_needs_its_marker(self):
        path = os.path.join(self.src, "general.pot")
        with open(path, encoding="utf-8") as f:
            pot = f.read()
        with open(path, "w", encoding="utf-8") as f:
            f.write(pot.replace("#. kw:empty\n", ""))
        run = self.generate("")
        self.assertEqual(run.returncode, 1)
        self.assertIn("kw:empty", run.stderr)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--generator", required=True)
    parser.add_argument("--src", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
