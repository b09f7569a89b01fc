#!/usr/bin/env python3
"""Checks the message tables that the program really compiled.

The tables come from the dump tool (catalog_dump), which runs every filler over an empty map and
writes the result as JSON. The English tables are checked against the rules that every table
shares and against the English rows that the product documentation quotes; each translated locale
is checked against the English tables and against the rules entry of its locale (RULES below).

Run: check_catalogs.py --dump <catalog_dump> --data tests/data/messages [--src messages] [--node node]
Exit code 0 when every table passes, 1 with one line per problem otherwise.
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile

# The generator that builds the tables from the PO files: its reader and its table names.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "messages"))
import gen_catalogs  # noqa: E402
from gen_catalogs import TABLES  # noqa: E402

# Placeholders that callers fill: printf-style, numbered Boost.Format arguments, and the two
# fields that the component page's script fills.
PLACEHOLDER = re.compile(r"%s|%[1-9]%|#\{[A-Za-z_]*\}")
# An option as the help texts name it: -h, --proxy-host.
OPTION = re.compile(r"(?<![\w-])--?[a-z][a-z0-9-]*")

# The option help: usage_header, these sections in print order, usage_end.
USAGE_SECTIONS = ("usage_install", "usage_remove", "usage_upgrade", "usage_selectors", "usage_list",
                  "usage_feedback", "usage_download", "usage_proxy", "usage_override", "usage_no_warn",
                  "usage_automation", "usage_web", "usage_console", "usage_obsolete",
                  "usage_deprecated", "usage_logging", "usage_help")
USAGE_EXAMPLES = ("usage_cmd_list_tail", "usage_cmd_install_tail", "usage_cmd_upgrade_tail",
                  "usage_cmd_update_tail", "usage_cmd_add_remove_tail")
COMMANDS = ("version", "help", "list-all", "list", "install", "upgrade", "update", "add", "remove",
            "stop")
# Description column of the option sections and of the command list, example indentation.
DESC_COLUMN = 25
EXAMPLE_COLUMN = 27
COMMAND_COLUMN = 14
MAX_USAGE_LINE = 82
METAVARIABLES = {"<URL or path>", "<URL or absolute path>", "<dir>", "<number>", "<host>", "<port>",
                 "<user>", "<pass>", "<password>", "<N>", "<product id>", "<release id>", "<tiers>",
                 "<type name>", "<component id>", "<setting_name>", "<setting_value>", "<file.pem>",
                 "<arg>", "<email>", "<id>"}
SETTINGS_KEYS = ("SOURCE", "TARGET", "PROXY_HOST", "PROXY_PORT", "PROXY_USER", "PROXY_PASSWORD",
                 "DOWNLOAD_RETRY_COUNT")
SETTINGS_BARS = (28, 57)  # zero-based columns of the "|" and "+" of the settings table

# Texts that the web pages put inside single-quoted strings of their scripts.
CONFIRM_TEXTS = ("web_iup_cancel_confirm", "web_ac_cancel_confirm", "web_uc_cancel_confirm",
                 "web_install_cancel_confirm")
SCRIPT_TEXTS = CONFIRM_TEXTS + (
    "web_show_only_installed", "web_components_to_be_installed", "web_components_to_be_removed",
    "web_components_dropdown_to_install", "web_components_dropdown_delete",
    "web_components_dropdown_leave_installed", "web_components_dropdown_do_not_install",
    "web_components_uninstall_not_supported", "web_components_group_hint_selected")
HINT_TEXT = "web_components_group_hint_selected"
HINT_FIELDS = ("#{selected}", "#{total}")
# General texts that the web pages show as HTML, besides the web table.
HTML_GENERAL_TEXTS = ("examine_presetup", "examine_skip_yesno")
MARKUP_TAGS = ("<br>", '<a href="preferences.html">', "</a>")
MARKUP = re.compile("|".join(re.escape(tag) for tag in MARKUP_TAGS))
ENTITY = re.compile(r"&(#[0-9]+|#x[0-9A-Fa-f]+|[A-Za-z]+);")

# English totals that the translation frame states for the tables.
ENGLISH_EDGE_BLANKS = {"general": 47, "web": 7, "errors": 16}
ENGLISH_FINAL_LINE_BREAKS = {"general": 45, "web": 0, "errors": 3}
ENGLISH_TEXTS_WITH_LINE_BREAKS = {"web": 0, "errors": 36}
ENGLISH_WEB_EDGE_TEXTS = {"web_works_better", "web_instead_of", "web_required_preferences",
                          "web_install_product_legend1", "web_mirror_url", "web_local_path",
                          "web_selfupgrade_autorefresh1"}
ENGLISH_MARKUP = {"web_releases_no_avail": {"<br>": 5, '<a href="preferences.html">': 1, "</a>": 1},
                  "web_selfupgrade_autorefresh1": {"<br>": 1}}


class Translation:
    """What one translated locale holds and where it departs from the English shape.

    tables                 the tables that the locale translates
    positional_in_order    the numbered placeholders keep the English sequence (else: the same set)
    edge_exceptions        keys whose leading or trailing blanks and line breaks differ from English
    line_break_exceptions  keys (outside the layout of the help texts) with another number of lines
    single_line_confirms   cancel confirmations written as one line, without the backslash-n pair
    extra_characters       invisible formatting characters that the locale's texts use
    telling_rows           the locale's reference texts, byte for byte
    """

    def __init__(self, tables=TABLES, positional_in_order=True, edge_exceptions=(),
                 line_break_exceptions=(), single_line_confirms=(), extra_characters="",
                 telling_rows=None):
        self.tables = tuple(tables)
        self.positional_in_order = positional_in_order
        self.edge_exceptions = set(edge_exceptions)
        self.line_break_exceptions = set(line_break_exceptions)
        self.single_line_confirms = set(single_line_confirms)
        self.extra_characters = extra_characters
        self.telling_rows = dict(telling_rows or {})


# One entry per translated locale; a locale issue adds its entry here. The loader lays every
# compiled translation over English, so a locale whose tables are compiled needs an entry.
RULES = {}


class Data:
    """The reference data of the checks (tests/data/messages)."""

    def __init__(self, directory):
        def load_json(name):
            with open(os.path.join(directory, name), encoding="utf-8") as f:
                return json.load(f)

        def lines(name):
            """The lines of a text file, without its comments and empty lines."""
            with open(os.path.join(directory, name), encoding="utf-8") as f:
                return [line.rstrip("\n") for line in f if line.strip() and not line.startswith("#")]

        keys = load_json("keys.json")
        self.keys = {table: keys[table] for table in TABLES}
        self.english_only = set(keys["english_only"])
        self.placeholders = {}
        for line in lines("placeholders.txt"):
            key, _, sequence = line.partition("\t")
            self.placeholders[key] = sequence.split()
        self.quoted = load_json("english_quoted.json")
        self.line_breaks = load_json("english_line_breaks.json")
        # one list of spellings per option, in definition order
        self.options = [line.split() for line in lines("long_options.txt")]


def placeholders_of(text):
    return PLACEHOLDER.findall(text)


def layout_key(key):
    """Texts whose lines follow the help layout rather than the sentence."""
    return key.startswith("usage_") or key == "settings_page_body"


def edges(text):
    return (text[:1] == " ", text[-1:] == " ", text[:1] == "\n", text[-1:] == "\n")


class Checker:
    def __init__(self, data, node="node"):
        self.data = data
        self.node = node
        self.problems = []

    def problem(self, where, message):
        self.problems.append("%s: %s" % (where, message))

    # ------------------------------------------------------------------ shared by every locale
    def check_characters(self, locale, table, key, text, extra=""):
        where = "%s/%s/%s" % (locale, table, key)
        for c in text:
            if "\udc80" <= c <= "\udcff":
                self.problem(where, "not valid UTF-8")
                return
            if (ord(c) < 0x20 and c != "\n") or ord(c) == 0x7F:
                self.problem(where, "holds the control character U+%04X" % ord(c))
                return
            if c in "\u200e\u200f\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069\u061c" \
                    and c not in extra:
                self.problem(where, "holds the formatting character U+%04X" % ord(c))
                return

    def check_stray_percent(self, where, text):
        rest = PLACEHOLDER.sub("", text)
        if "%" in rest:
            self.problem(where, "holds a percent sign outside its placeholders")
        if "#{" in rest:
            self.problem(where, "holds '#{' outside its placeholders")

    def check_script_string(self, where, key, text, one_line_confirm=False):
        if "\n" in text:
            self.problem(where, "a script string holds a line break")
        i = 0
        while i < len(text):
            c = text[i]
            if c == "\\":
                if text[i + 1:i + 2] not in ("n", "'"):
                    self.problem(where, "a backslash stands outside the escapes \\n and \\'")
                    break
                i += 2
                continue
            if c == "'":
                self.problem(where, "an apostrophe is not written as \\' and ends the script string")
                break
            i += 1
        if key in CONFIRM_TEXTS:
            pairs = text.count("\\n")
            if pairs != (0 if one_line_confirm else 1):
                self.problem(where, "holds %d backslash-n pairs; the confirmation breaks its line "
                                    "once" % pairs)
            if '"' in text:
                self.problem(where, "a double quote ends the attribute of the cancel link")
        if key == HINT_TEXT:
            for field in HINT_FIELDS:
                if text.count(field) != 1:
                    self.problem(where, "must hold %s once" % field)

    def check_html(self, where, text):
        rest = MARKUP.sub("", text)
        if "<" in rest or ">" in rest:
            self.problem(where, "holds markup other than <br> and the link to preferences.html")
        for m in re.finditer("&", text):
            if not ENTITY.match(text, m.start()):
                self.problem(where, "holds an ampersand that is not a character reference")
                break

    def check_scripts_compile(self, locale, web):
        """Puts the script strings where the pages put them and lets node parse the result."""
        lines = []
        for i, key in enumerate(SCRIPT_TEXTS):
            text = web.get(key)
            if text is None:
                continue
            if key in CONFIRM_TEXTS:
                lines.append("function kwCancel%d() { return confirm('%s'); }" % (i, text))
            elif key == HINT_TEXT:
                lines.append("var kwHint = new Template('%s');" % text)
            else:
                lines.append("var kwText%d = '<span>' + '%s' + '</span>';" % (i, text))
        with tempfile.NamedTemporaryFile("w", suffix=".js", delete=False, encoding="utf-8",
                                         errors="surrogateescape") as js:
            js.write("\n".join(lines) + "\n")
            name = js.name
        try:
            run = subprocess.run([self.node, "--check", name], capture_output=True, text=True)
        except OSError as e:
            self.problem(locale + "/web", "cannot run node to check the page scripts: %s" % e)
            return
        finally:
            os.unlink(name)
        if run.returncode != 0:
            self.problem(locale + "/web", "the page scripts do not compile with these texts: %s"
                         % run.stderr.strip().splitlines()[-1:])

    def check_legends(self, where_prefix, general):
        for key, text in general.items():
            m = re.fullmatch(r"wizard_legend_([a-z])_.*", key)
            if m and not text.startswith("(%s)" % m.group(1).upper()):
                self.problem(where_prefix + key, "must begin with the letter (%s)" % m.group(1).upper())
        text = general.get("yesno_retry")
        if text is not None and not (re.search(r"\bY\b", text) and re.search(r"\bN\b", text)):
            self.problem(where_prefix + "yesno_retry", "must name the answer letters Y and N")

    # ------------------------------------------------------------------ English
    def check_english(self, tables):
        locale = "en_US"
        all_keys = {}
        for table in TABLES:
            expected = self.data.keys[table]
            got = tables.get(table, {})
            if set(got) != set(expected) or len(got) != len(expected):
                missing = sorted(set(expected) - set(got))
                extra = sorted(set(got) - set(expected))
                self.problem("%s/%s" % (locale, table), "has %d keys, expected %d (missing %s, "
                             "unexpected %s)" % (len(got), len(expected), missing[:5], extra[:5]))
            for key in got:
                if key in all_keys:
                    self.problem("%s/%s/%s" % (locale, table, key), "also in the %s table" % all_keys[key])
                all_keys[key] = table
        texts = {k: v for table in TABLES for k, v in tables.get(table, {}).items()}

        for table in TABLES:
            entries = tables.get(table, {})
            for key, text in entries.items():
                where = "%s/%s/%s" % (locale, table, key)
                self.check_characters(locale, table, key, text)
                expected = self.data.placeholders.get(key, [])
                if placeholders_of(text) != expected:
                    self.problem(where, "placeholders %s, expected %s" % (placeholders_of(text), expected))
                self.check_stray_percent(where, text)
            edge_count = sum(1 for t in entries.values() if t[:1] == " " or t[-1:] == " ")
            if edge_count != ENGLISH_EDGE_BLANKS[table]:
                self.problem(locale + "/" + table, "%d texts begin or end with a blank, expected %d"
                             % (edge_count, ENGLISH_EDGE_BLANKS[table]))
            final = sum(1 for t in entries.values() if t.endswith("\n"))
            if final != ENGLISH_FINAL_LINE_BREAKS[table]:
                self.problem(locale + "/" + table, "%d texts end with a line break, expected %d"
                             % (final, ENGLISH_FINAL_LINE_BREAKS[table]))
            if table in ENGLISH_TEXTS_WITH_LINE_BREAKS:
                broken = sum(1 for t in entries.values() if "\n" in t)
                if broken != ENGLISH_TEXTS_WITH_LINE_BREAKS[table]:
                    self.problem(locale + "/" + table, "%d texts hold line breaks, expected %d"
                                 % (broken, ENGLISH_TEXTS_WITH_LINE_BREAKS[table]))
        web = tables.get("web", {})
        web_edges = {k for k, t in web.items() if t[:1] == " " or t[-1:] == " "}
        if web_edges != ENGLISH_WEB_EDGE_TEXTS:
            self.problem(locale + "/web", "texts with edge blanks %s, expected %s"
                         % (sorted(web_edges), sorted(ENGLISH_WEB_EDGE_TEXTS)))

        for key, count in self.data.line_breaks.items():
            if key in texts and texts[key].count("\n") != count:
                self.problem("%s/%s" % (locale, key), "has %d line breaks, expected %d"
                             % (texts[key].count("\n"), count))

        for key, text in self.data.quoted["exact"].items():
            if texts.get(key) != text:
                self.problem("%s/%s" % (locale, key), "differs from the quoted English text %r" % text)
        for key, text in self.data.quoted["prefix"].items():
            if not texts.get(key, "").startswith(text):
                self.problem("%s/%s" % (locale, key), "does not begin with the quoted text %r" % text)
        for key, segments in self.data.quoted["contains"].items():
            position = 0
            for segment in segments:
                found = texts.get(key, "").find(segment, position)
                if found < 0:
                    self.problem("%s/%s" % (locale, key), "lacks the quoted part %r" % segment)
                    break
                position = found + len(segment)

        if texts.get("error_rep_none") != "":
            self.problem(locale + "/error_rep_none", "must be empty")
        for key in SCRIPT_TEXTS:
            if key in web:
                self.check_script_string("%s/web/%s" % (locale, key), key, web[key])
        self.check_scripts_compile(locale, web)
        html = dict(web)
        html.update({k: texts[k] for k in HTML_GENERAL_TEXTS if k in texts})
        for key, text in html.items():
            self.check_html("%s/%s" % (locale, key), text)
            counts = {tag: text.count(tag) for tag in MARKUP_TAGS}
            expected = dict.fromkeys(counts, 0)
            expected.update(ENGLISH_MARKUP.get(key, {}))
            if counts != expected:
                self.problem("%s/%s" % (locale, key), "markup %s, expected %s" % (counts, expected))
        self.check_legends(locale + "/", tables.get("general", {}))
        self.check_usage(locale, tables.get("general", {}))

    # ------------------------------------------------------------------ the help texts (English)
    def option_names(self, text):
        text = re.sub(r"<[^>]*>", "", text)
        return OPTION.findall(text)

    def check_section(self, where, text):
        """One section of the option help; returns its entries as lists of option spellings."""
        entries = []
        if not text.endswith("\n\n"):
            self.problem(where, "must end with an empty line")
            return entries
        lines = text.split("\n")[:-1]
        for number, line in enumerate(lines, 1):
            if len(line) > MAX_USAGE_LINE:
                self.problem(where, "line %d is longer than %d characters" % (number, MAX_USAGE_LINE))
            for meta in re.findall(r"<[^<>]*>", line):
                if meta not in METAVARIABLES:
                    self.problem(where, "line %d names the unknown value %s" % (number, meta))
        if not re.fullmatch(r" \S.*:", lines[0]):
            self.problem(where, "the first line must be the heading after one blank, ending with a colon")
        blocks, block = [], []
        for line in lines[1:]:
            if line == "":
                blocks.append(block)
                block = []
            else:
                block.append(line)
        if block:
            self.problem(where, "an entry is not followed by an empty line")
            blocks.append(block)
        for block in blocks:
            if not block:
                self.problem(where, "holds two empty lines in a row")
                continue
            first = block[0]
            m = re.fullmatch(r"    (-\S.*)", first)
            if not m:
                self.problem(where, "entry %r does not begin with four blanks and the option" % first)
                continue
            option = m.group(1)
            rest = block[1:]
            same_line = re.fullmatch(r"    (\S.*?)  +(\S.*)", first)
            if same_line and len("    " + same_line.group(1)) <= DESC_COLUMN - 2 and \
                    len(first) - len(same_line.group(2)) == DESC_COLUMN:
                option = same_line.group(1)
            elif len(option) <= 19:
                self.problem(where, "the description of %s must begin on its line, in column %d"
                             % (option, DESC_COLUMN + 1))
            elif not rest or not re.fullmatch(" " * DESC_COLUMN + r"\S.*", rest[0]):
                self.problem(where, "the description of %s must begin on the next line after %d blanks"
                             % (option, DESC_COLUMN))
            for line in rest:
                if not re.fullmatch("(" + " " * DESC_COLUMN + "|" + " " * EXAMPLE_COLUMN + r")\S.*", line):
                    self.problem(where, "line %r is neither a description line (%d blanks) nor an "
                                        "example (%d blanks)" % (line, DESC_COLUMN, EXAMPLE_COLUMN))
            entries.append(self.option_names(option))
        return entries

    def check_usage(self, locale, general):
        where = locale + "/"
        prefix = general.get("usage_cmd_prefix", "")
        header = general.get("usage_header", "")
        if not header.startswith(prefix + "[OPTIONS]\n") or not header.endswith("\n\n"):
            self.problem(where + "usage_header", "must begin with the usage line and end with an empty line")
        end = general.get("usage_end", "")
        if not end.endswith("\n") or end.count("\n") != 1:
            self.problem(where + "usage_end", "must be one line with its line break")

        seen = {}  # option spelling -> section
        order = {spelling: index for index, option in enumerate(self.data.options) for spelling in option}
        for key in USAGE_SECTIONS:
            last = -1
            for names in self.check_section(where + key, general.get(key, "")):
                indexes = set()
                for name in names:
                    if name not in order:
                        self.problem(where + key, "names the unknown option %s" % name)
                        continue
                    if name in seen:
                        self.problem(where + key, "names %s, already named in %s" % (name, seen[name]))
                    seen[name] = key
                    indexes.add(order[name])
                if len(indexes) > 1:
                    self.problem(where + key, "one entry names different options %s" % names)
                if indexes:
                    index = indexes.pop()
                    if index < last:
                        self.problem(where + key, "%s stands out of the order of the options" % names[0])
                    last = index
        for option in self.data.options:
            for spelling in option:
                if spelling not in seen:
                    self.problem(where + "usage", "no section of the option help names %s" % spelling)

        self.check_commands(where + "usage_commands", general.get("usage_commands", ""), prefix)
        for key in USAGE_EXAMPLES:
            text = general.get(key, "")
            lines = text.split("\n")
            if not text.endswith("\n") or lines[0] != "Examples:":
                self.problem(where + key, "must begin with the line 'Examples:' and end with a line break")
            for line in lines[1:-1]:
                if re.fullmatch(r"    \S.*", line):
                    if line.split()[0] not in COMMANDS:
                        self.problem(where + key, "example %r does not begin with a command" % line)
                elif not re.fullmatch(r"  \S.*", line):
                    self.problem(where + key, "line %r is neither an explanation (2 blanks) nor an "
                                              "example (4 blanks)" % line)
        for key in ("usage_selector", "usage_product", "usage_components"):
            if not general.get(key, "").endswith("\n"):
                self.problem(where + key, "must end with a line break")
        for key, text in general.items():
            if (key.startswith("usage_opt_") or key.startswith("usage_hdr_")) and "\n" in text:
                self.problem(where + key, "must hold no line break: the option parser wraps it")
        self.check_settings_table(where + "settings_page_body", general.get("settings_page_body", ""))

    def check_commands(self, where, text, prefix):
        lines = text.split("\n")
        if not text.endswith("\n") or lines[0] != prefix + "COMMAND [OPTIONS]":
            self.problem(where, "must begin with the usage line and end with a line break")
        listed = []
        for line in lines[1:-1]:
            if len(line) > MAX_USAGE_LINE:
                self.problem(where, "line %r is too long" % line)
            m = re.fullmatch(r"    (\S+)( +)\S.*", line)
            if m and m.group(1) in COMMANDS:
                listed.append(m.group(1))
                if 4 + len(m.group(1)) + len(m.group(2)) != COMMAND_COLUMN:
                    self.problem(where, "the description of %s must begin in column %d"
                                 % (m.group(1), COMMAND_COLUMN + 1))
            elif line.startswith(" ") and not re.fullmatch(" " * COMMAND_COLUMN + r"\S.*", line):
                self.problem(where, "line %r is neither a command nor a continuation" % line)
        if sorted(listed) != sorted(COMMANDS):
            self.problem(where, "lists %s, expected each of %s once" % (listed, list(COMMANDS)))
        for quoted in ("'installer help COMMAND'", "'installer --help-options'"):
            if quoted not in text:
                self.problem(where, "must name %s" % quoted)

    def check_settings_table(self, where, text):
        lines = text.split("\n")
        rules = [i for i, line in enumerate(lines) if re.fullmatch(r" -+\+-+\+-+", line)]
        if len(rules) != 1 or rules[0] == 0:
            self.problem(where, "must hold one rule line under a header row")
            return
        rule = rules[0]
        rows = [lines[rule - 1]] + lines[rule + 1:rule + 1 + len(SETTINGS_KEYS)]
        for column in SETTINGS_BARS:
            if lines[rule][column:column + 1] != "+":
                self.problem(where, "the rule must have its '+' in column %d" % (column + 1))
        for number, row in enumerate(rows):
            bars = tuple(i for i, c in enumerate(row) if c == "|")
            if not row.startswith(" ") or bars != SETTINGS_BARS:
                self.problem(where, "row %r must begin with a blank and have its bars in columns %s"
                             % (row, tuple(b + 1 for b in SETTINGS_BARS)))
            if number and SETTINGS_KEYS[number - 1] not in row:
                self.problem(where, "row %r must name %s" % (row, SETTINGS_KEYS[number - 1]))
        for line in lines:
            if len(line) > MAX_USAGE_LINE:
                self.problem(where, "line %r is too long" % line)
            for meta in re.findall(r"<[^<>]*>", line):
                if meta not in METAVARIABLES:
                    self.problem(where, "names the unknown value %s" % meta)

    # ------------------------------------------------------------------ translations
    def check_translation(self, locale, rules, tables, english):
        for table in TABLES:
            got = tables.get(table, {})
            if table not in rules.tables:
                if got:
                    self.problem("%s/%s" % (locale, table), "is compiled but the locale's rules do not "
                                                            "name this table")
                continue
            expected = [k for k in self.data.keys[table] if k not in self.data.english_only]
            missing = sorted(set(expected) - set(got))
            extra = sorted(set(got) - set(expected))
            if missing or extra:
                self.problem("%s/%s" % (locale, table), "missing keys %s, unexpected keys %s"
                             % (missing[:8], extra[:8]))
            for key, text in got.items():
                if key not in english.get(table, {}):
                    continue
                self.check_translated_text(locale, rules, table, key, text, english[table][key])
        web = tables.get("web", {})
        if web:
            self.check_scripts_compile(locale, web)
        if tables.get("general"):
            self.check_legends(locale + "/", tables["general"])
            self.check_translated_usage(locale, tables["general"], english["general"])
        texts = {k: v for table in TABLES for k, v in tables.get(table, {}).items()}
        for key, text in rules.telling_rows.items():
            if texts.get(key) != text:
                self.problem("%s/%s" % (locale, key), "differs from the quoted text %r" % text)

    def check_translated_text(self, locale, rules, table, key, text, english):
        where = "%s/%s/%s" % (locale, table, key)
        self.check_characters(locale, table, key, text, rules.extra_characters)
        self.check_stray_percent(where, text)
        mine, theirs = placeholders_of(text), placeholders_of(english)
        printf = [p for p in mine if p == "%s"], [p for p in theirs if p == "%s"]
        numbered = [p for p in mine if re.fullmatch(r"%\d%", p)], [p for p in theirs if re.fullmatch(r"%\d%", p)]
        fields = sorted(p for p in mine if p.startswith("#")), sorted(p for p in theirs if p.startswith("#"))
        if printf[0] != printf[1] or fields[0] != fields[1]:
            self.problem(where, "placeholders %s, expected those of English %s" % (mine, theirs))
        elif rules.positional_in_order and numbered[0] != numbered[1]:
            self.problem(where, "numbered placeholders %s, expected %s in this order" % numbered)
        elif not rules.positional_in_order and set(numbered[0]) != set(numbered[1]):
            self.problem(where, "numbered placeholders %s, expected each of %s" % numbered)
        if key == "error_rep_none" and text:
            self.problem(where, "must be empty")
        if key not in rules.edge_exceptions and edges(text) != edges(english):
            self.problem(where, "begins or ends otherwise than the English text")
        if not layout_key(key) and key not in rules.line_break_exceptions \
                and text.count("\n") != english.count("\n"):
            self.problem(where, "has %d line breaks, English has %d" % (text.count("\n"), english.count("\n")))
        if table == "web" or key in HTML_GENERAL_TEXTS:
            self.check_html(where, text)
            for tag in MARKUP_TAGS:
                if text.count(tag) != english.count(tag):
                    self.problem(where, "holds %s %d times, English %d times"
                                 % (tag, text.count(tag), english.count(tag)))
        if key in SCRIPT_TEXTS:
            self.check_script_string(where, key, text, key in rules.single_line_confirms)

    def check_translated_usage(self, locale, general, english):
        """A translated help text names the same options as the English text of its key."""
        for key in USAGE_SECTIONS + ("usage_commands",) + USAGE_EXAMPLES:
            if key not in general:
                continue
            mine = sorted(set(OPTION.findall(general[key])))
            theirs = sorted(set(OPTION.findall(english[key])))
            if mine != theirs:
                self.problem("%s/%s" % (locale, key), "names the options %s, English names %s"
                             % (mine, theirs))

    # ------------------------------------------------------------------ the whole dump
    def check(self, dump, rules=None):
        rules = RULES if rules is None else rules
        english = dump.get("en_US")
        if english is None:
            self.problem("en_US", "the dump holds no English tables")
            return self.problems
        self.check_english(english)
        for locale, tables in sorted(dump.items()):
            if locale == "en_US":
                continue
            if locale in rules:
                self.check_translation(locale, rules[locale], tables, english)
            elif any(tables.get(table) for table in TABLES):
                self.problem(locale, "tables are compiled but no rules entry names the locale")
        for locale in rules:
            if locale not in dump:
                self.problem(locale, "has a rules entry but the program compiled no tables for it")
        return self.problems

    def check_template_order(self, src):
        """The English template lists its keys in table order, which the filler keeps."""
        for table in TABLES:
            path = os.path.join(src, table + ".pot")
            try:
                keys = [e["ctxt"] for e in gen_catalogs.read_po(path)]
            except gen_catalogs.PoError as e:
                self.problem(path, str(e))
                continue
            if keys != self.data.keys[table]:
                first = next((i for i, (a, b) in enumerate(zip(keys, self.data.keys[table])) if a != b),
                             min(len(keys), len(self.data.keys[table])))
                self.problem(path, "keys out of table order from position %d" % first)


def load_dump(tool, locales=()):
    run = subprocess.run([tool] + list(locales), capture_output=True)
    if run.returncode != 0:
        raise RuntimeError("%s failed: %s" % (tool, run.stderr.decode(errors="replace")))
    # Surrogate escapes keep bytes that are not UTF-8, which the checks then report.
    return json.loads(run.stdout.decode("utf-8", errors="surrogateescape"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True, help="the catalog_dump tool")
    parser.add_argument("--data", required=True, help="the reference data directory")
    parser.add_argument("--src", help="the messages directory, to check the template order")
    parser.add_argument("--node", default="node", help="node, to compile the page scripts")
    args = parser.parse_args()
    checker = Checker(Data(args.data), args.node)
    checker.check(load_dump(args.dump))
    if args.src:
        checker.check_template_order(args.src)
    for problem in checker.problems:
        print(problem)
    if checker.problems:
        print("%d problems" % len(checker.problems))
        return 1
    print("catalogs: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
