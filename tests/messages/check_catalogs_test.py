#!/usr/bin/env python3
"""Shows that the catalog checker finds the faults it is there for.

Each case takes the tables that the program compiled, breaks one text the way a careless edit or
translation would, and expects the checker to name that text. The translated cases lay a stand-in
locale over English, built from the English texts, so the per-locale rules are exercised before the
first real translation arrives.
"""
import argparse
import copy
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_catalogs  # noqa: E402

ARGS = None
DUMP = None


def english_as_translation(english, data):
    """A stand-in translation whose every text is the English one."""
    return {
        "general": {k: v for k, v in english["general"].items() if k not in data.english_only},
        "web": dict(english["web"]),
        "errors": dict(english["errors"]),
    }


def replace(table, key, function):
    def mutate(tables):
        tables[table][key] = function(tables[table][key])
    return mutate


class CheckerFindsFaults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = check_catalogs.Data(ARGS.data)

    def problems(self, dump, rules=None):
        return check_catalogs.Checker(self.data, ARGS.node).check(dump, rules or {})

    def test_compiled_tables_pass(self):
        self.assertEqual(self.problems(DUMP), [])

    def test_english_faults_are_found(self):
        cases = [
            # (what breaks, mutation of the English tables, text the report must name)
            ("a placeholder too many", replace("errors", "err_lock_file", lambda t: t + " %s"), "err_lock_file"),
            ("a placeholder lost", replace("general", "usage_product", lambda t: t.replace("%1%", "zanth")),
             "usage_product"),
            ("a stray percent sign", replace("general", "install_ok", lambda t: t + " 100%"), "install_ok"),
            ("a lost trailing blank", replace("general", "download_file", str.rstrip), "download_file"),
            ("a lost final line break", replace("errors", "err_unkn_arg", lambda t: t[:-1]), "err_unkn_arg"),
            ("a raw apostrophe in a script string",
             replace("web", "web_components_to_be_removed", lambda t: "it's " + t), "web_components_to_be_removed"),
            ("a real line break in a confirmation",
             replace("web", "web_uc_cancel_confirm", lambda t: t.replace("\\n", "\n")), "web_uc_cancel_confirm"),
            ("a renamed template field",
             replace("web", "web_components_group_hint_selected", lambda t: t.replace("#{total}", "#{all}")),
             "web_components_group_hint_selected"),
            ("a lost link", replace("web", "web_releases_no_avail", lambda t: t.replace("</a>", "")),
             "web_releases_no_avail"),
            ("a changed quoted row", replace("general", "status_busy", lambda t: t.replace("already", "")),
             "status_busy"),
            ("a description out of its column",
             replace("general", "usage_proxy", lambda t: t.replace("<port>  The", "<port> The")), "usage_proxy"),
            ("an option left out of the help",
             replace("general", "usage_console", lambda t: t[:t.index("    --no-clear")]), "--no-clear"),
            ("a command left out",
             replace("general", "usage_commands", lambda t: t.replace("    stop ", "    halt ")), "usage_commands"),
            ("a moved bar of the settings table",
             replace("general", "settings_page_body", lambda t: t.replace("--target <dir>     ", "--target <dir>    ")),
             "settings_page_body"),
            ("a line break in a parser-wrapped text",
             replace("general", "usage_opt_debug", lambda t: t + "\n"), "usage_opt_debug"),
            ("a wrong legend letter",
             replace("general", "wizard_legend_b_back", lambda t: t.replace("(B)", "(P)")), "wizard_legend_b_back"),
            ("a key that no table should hold",
             lambda tables: tables["web"].setdefault("web_unknown", "x"), "web_unknown"),
            ("a key in two tables",
             lambda tables: tables["web"].setdefault("install_ok", "x"), "install_ok"),
            ("bytes that are not UTF-8",
             replace("general", "install_ok", lambda t: t + "\udcff"), "install_ok"),
            ("a control character", replace("errors", "err_non_digit", lambda t: t + "\t"), "err_non_digit"),
        ]
        for what, mutate, named in cases:
            with self.subTest(what):
                dump = copy.deepcopy(DUMP)
                mutate(dump["en_US"])
                found = self.problems(dump)
                self.assertTrue(any(named in p for p in found), "%s not reported: %s" % (what, found))

    def test_a_translation_that_keeps_the_rules_passes(self):
        dump = copy.deepcopy(DUMP)
        dump["xx_XX"] = english_as_translation(DUMP["en_US"], self.data)
        self.assertEqual(self.problems(dump, {"xx_XX": check_catalogs.Translation()}), [])

    def test_translation_faults_are_found(self):
        cases = [
            ("an English-only key translated",
             lambda t: t["general"].setdefault("usage_opt_list_sources", "x"), {}, "usage_opt_list_sources"),
            ("placeholders swapped for another kind",
             replace("errors", "err_lock_file", lambda s: s.replace("%s", "%1%", 1)), {}, "err_lock_file"),
            ("numbered placeholders reordered where the order is fixed",
             replace("general", "usage_selector", lambda s: s.replace("%1%", "%9%").replace("%2%", "%1%")
                     .replace("%9%", "%2%")), {}, "usage_selector"),
            ("a leading blank lost", replace("errors", "err_exec_cmd", str.lstrip), {}, "err_exec_cmd"),
            ("an extra line break", replace("general", "install_ok", lambda s: s + "\nx"), {}, "install_ok"),
            ("error_rep_none not empty", replace("general", "error_rep_none", lambda s: "x"), {}, "error_rep_none"),
            ("a confirmation without its line break",
             replace("web", "web_iup_cancel_confirm", lambda s: s.replace("\\n", " ")), {}, "web_iup_cancel_confirm"),
            ("a missing key", lambda t: t["web"].pop("web_back"), {}, "web_back"),
            ("an option of the help lost",
             replace("general", "usage_logging", lambda s: s.replace("--debug", "--debugging")), {}, "usage_logging"),
            ("a telling row that differs", lambda t: None, {"telling_rows": {"web_back": "Zurueck"}}, "web_back"),
            ("a table the rules do not name", lambda t: None, {"tables": ("general", "web")}, "xx_XX/errors"),
            ("a direction mark the locale does not use",
             replace("web", "web_back", lambda s: "\u200f" + s), {}, "web_back"),
        ]
        for what, mutate, rule_args, named in cases:
            with self.subTest(what):
                dump = copy.deepcopy(DUMP)
                dump["xx_XX"] = english_as_translation(DUMP["en_US"], self.data)
                mutate(dump["xx_XX"])
                found = self.problems(dump, {"xx_XX": check_catalogs.Translation(**rule_args)})
                self.assertTrue(any(named in p for p in found), "%s not reported: %s" % (what, found))

    def test_rules_name_the_departures_a_locale_may_make(self):
        dump = copy.deepcopy(DUMP)
        translation = english_as_translation(DUMP["en_US"], self.data)
        translation["errors"]["err_exec_cmd"] = translation["errors"]["err_exec_cmd"].lstrip()
        translation["web"]["web_iup_cancel_confirm"] = "Not finished. Cancel anyway?"
        translation["web"]["web_back"] = "\u200fBack"
        dump["xx_XX"] = translation
        rules = check_catalogs.Translation(edge_exceptions={"err_exec_cmd"},
                                           single_line_confirms={"web_iup_cancel_confirm"},
                                           extra_characters="\u200f")
        self.assertEqual(self.problems(dump, {"xx_XX": rules}), [])

    def test_compiled_tables_without_rules_are_reported(self):
        dump = copy.deepcopy(DUMP)
        dump["xx_XX"] = {"general": {"install_ok": "ok"}, "web": {}, "errors": {}}
        self.assertTrue(any("no rules entry" in p for p in self.problems(dump)))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--node", default="node")
    ARGS, rest = parser.parse_known_args()
    DUMP = check_catalogs.load_dump(ARGS.dump, ["en_US"])
    unittest.main(argv=[sys.argv[0]] + rest)
