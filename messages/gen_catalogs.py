#!/usr/bin/env python3
"""Turns the message tables kept as gettext PO files into the C++ table fillers.

messages/<table>.pot holds the English table (msgctxt = key, msgid = English text) in table order;
messages/<locale>/<table>.po holds a translation (msgstr; an empty msgstr means untranslated and
keeps the English text, and so does a fuzzy entry). One C++ file per locale is written, with its
three fillers. A locale without PO files gets empty fillers.

Two markers, extracted comments of the English entries, cover what an empty msgstr cannot say:
  #. kw:empty         the text is empty in every language; a translated table writes it empty
  #. kw:english-only  no translation carries the key, so every language shows the English text
"""
import argparse
import os
import sys

TABLES = ("general", "web", "errors")
FILLER_NAMES = {"general": "fillGeneralCatalog_", "web": "fillWebCatalog_", "errors": "fillErrorsCatalog_"}

ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\", "r": "\r", "a": "\a", "b": "\b", "f": "\f", "v": "\v"}


class PoError(Exception):
    pass


def unquote(text, where):
    text = text.strip()
    if len(text) < 2 or text[0] != '"' or text[-1] != '"':
        raise PoError("%s: expected a quoted string" % where)
    body, out, i = text[1:-1], [], 0
    while i < len(body):
        c = body[i]
        if c == "\\":
            i += 1
            if i >= len(body) or body[i] not in ESCAPES:
                raise PoError("%s: bad escape" % where)
            out.append(ESCAPES[body[i]])
        else:
            out.append(c)
        i += 1
    return "".join(out)


def read_po(path):
    """Returns the entries of a PO file as dicts with ctxt, id, str and flags, in file order."""
    entries, entry, field = [], None, None

    def finish():
        if entry is not None and "id" in entry:
            entries.append(entry)

    with open(path, encoding="utf-8") as po:
        for number, raw in enumerate(po, 1):
            line = raw.rstrip("\n")
            where = "%s:%d" % (path, number)
            if not line.strip():
                continue
            if line.startswith("#~"):
                continue  # obsolete entry
            if line.startswith("#"):
                if entry is not None and "id" in entry:
                    finish()
                    entry, field = None, None
                if entry is None:
                    entry = {"flags": set(), "markers": set()}
                if line.startswith("#,"):
                    entry["flags"].update(f.strip() for f in line[2:].split(","))
                elif line.startswith("#.") and line[2:].strip().startswith("kw:"):
                    entry["markers"].add(line[2:].strip()[3:])
                continue
            keyword, _, rest = line.partition(" ")
            if keyword in ("msgctxt", "msgid", "msgstr"):
                name = {"msgctxt": "ctxt", "msgid": "id", "msgstr": "str"}[keyword]
                if name in ("ctxt", "id") and entry is not None and "str" in entry:
                    finish()
                    entry = None
                if entry is None:
                    entry = {"flags": set(), "markers": set()}
                entry[name] = unquote(rest, where)
                field = name
            elif line.startswith('"'):
                if entry is None or field is None:
                    raise PoError("%s: continuation without a keyword" % where)
                entry[field] += unquote(line, where)
            else:
                raise PoError("%s: unexpected line" % where)
    finish()
    # The header entry (empty msgid, no context) describes the file, not a message.
    return [e for e in entries if "ctxt" in e]


def cpp_literal(text):
    """A C++ literal of the UTF-8 bytes; octal escapes take at most three digits, so none runs on."""
    out = ['"']
    for byte in text.encode("utf-8"):
        c = chr(byte)
        if c == '"':
            out.append('\\"')
        elif c == "\\":
            out.append("\\\\")
        elif c == "\n":
            out.append("\\n")
        elif byte < 0x20 or byte >= 0x7F:
            out.append("\\%03o" % byte)
        else:
            out.append(c)
    out.append('"')
    return "".join(out)


MARKERS = ("empty", "english-only")


def english_entries(src, table):
    entries = read_po(os.path.join(src, table + ".pot"))
    for e in entries:
        where = "%s.pot: %s" % (table, e["ctxt"])
        unknown = e["markers"] - set(MARKERS)
        if unknown:
            raise PoError("%s: unknown marker kw:%s" % (where, sorted(unknown)[0]))
        if "empty" in e["markers"] and e["id"]:
            raise PoError("%s: marked kw:empty but has a text" % where)
        if not e["id"] and "empty" not in e["markers"]:
            raise PoError("%s: empty text without the kw:empty marker" % where)
    return entries


def translated_entries(src, locale, table, english):
    """The (key, text) pairs that a translation writes over the English table."""
    path = os.path.join(src, locale, table + ".po")
    if not os.path.exists(path):
        return []
    markers = {e["ctxt"]: e["markers"] for e in english}
    pairs = []
    for e in read_po(path):
        key, text = e["ctxt"], e.get("str", "")
        where = "%s/%s.po: %s" % (locale, table, key)
        if key not in markers:
            raise PoError("%s: not a key of the English %s table" % (where, table))
        if "english-only" in markers[key]:
            if text:
                raise PoError("%s: the key keeps its English text in every language" % where)
            continue
        if "empty" in markers[key]:
            if text:
                raise PoError("%s: the text is empty in every language" % where)
            continue
        if text and "fuzzy" not in e["flags"]:
            pairs.append((key, text))
    # A translated table writes the always-empty texts too, as the English one does.
    pairs += [(e["ctxt"], "") for e in english if "empty" in e["markers"]]
    return pairs


def table_entries(src, locale, table, english):
    if locale == "en_US":
        return [(e["ctxt"], e["id"]) for e in english]
    return translated_entries(src, locale, table, english)


def check_unique(entries, what):
    seen = set()
    for key, _ in entries:
        if key in seen:
            raise PoError("%s: key %s appears twice" % (what, key))
        seen.add(key)


def write_locale(src, out_dir, locale, english):
    """english: the entries of each English table, read once for all locales."""
    lines = ["// Generated from the PO message tables; edit those, not this file.",
             '#include "messages/CatalogFillers.h"', ""]
    for table in TABLES:
        entries = table_entries(src, locale, table, english[table])
        check_unique(entries, "%s/%s" % (locale, table))
        param = "rep" if entries else "/*rep*/"
        lines.append("void %s%s(CatalogTable& %s)" % (FILLER_NAMES[table], locale, param))
        lines.append("{")
        for key, text in entries:
            lines.append("    rep.messages[%s] = %s;" % (cpp_literal(key), cpp_literal(text)))
        lines.append("}")
        lines.append("")
    target = os.path.join(out_dir, "catalog_%s.cpp" % locale)
    content = "\n".join(lines)
    if os.path.exists(target):
        with open(target, encoding="utf-8") as f:
            if f.read() == content:
                return
    with open(target, "w", encoding="utf-8") as f:
        f.write(content)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--src", required=True, help="the messages directory")
    parser.add_argument("--out", required=True, help="where the C++ files go")
    parser.add_argument("locales", nargs="+")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    try:
        english = {table: english_entries(args.src, table) for table in TABLES}
        for locale in args.locales:
            write_locale(args.src, args.out, locale, english)
    except (PoError, OSError) as problem:
        print("gen_catalogs: %s" % problem, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
