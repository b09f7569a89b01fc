"""The yum helper script. Neither yum nor a Python 2 interpreter exists here: the script is compiled,
its syntax tree is checked against what Python 2.6 lacks, and it runs against stub yum modules."""

import ast
import io
import os
import py_compile
import sys
import tempfile
import types
import unittest

from script_loader import ASSETS, load_script

SCRIPT = os.path.join(ASSETS, "yum_install")
NO_REPOS = "There are no enabled Yum repositories, installation is not possible.\n"


helper = load_script("yum_install")


def newer_syntax(source):
    """What the source uses that Python 2.6 cannot parse, as (line, what) pairs."""
    found = []
    for node in ast.walk(ast.parse(source)):
        what = None
        if isinstance(node, ast.DictComp):
            what = "dict comprehension"
        elif isinstance(node, ast.SetComp):
            what = "set comprehension"
        elif isinstance(node, ast.Set):
            what = "set literal"
        elif isinstance(node, ast.JoinedStr):
            what = "f-string"
        elif isinstance(node, ast.Nonlocal):
            what = "nonlocal"
        elif isinstance(node, ast.YieldFrom):
            what = "yield from"
        elif isinstance(node, (ast.With, ast.AsyncWith)) and len(node.items) > 1:
            what = "with of two items"
        elif isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef, ast.Lambda)) and \
                node.args.kwonlyargs:
            what = "keyword-only arguments"
        elif isinstance(node, ast.Constant) and isinstance(node.value, str) and \
                ("{}" in node.value or "{:" in node.value or "{!" in node.value):
            what = "auto-numbered format field"
        if what:
            found.append((getattr(node, "lineno", 0), what))
    return found


class SyntaxTest(unittest.TestCase):
    def test_compiles_and_keeps_to_python_2_6(self):
        with tempfile.TemporaryDirectory() as out:
            py_compile.compile(SCRIPT, cfile=os.path.join(out, "yum_install.pyc"), doraise=True)
        with open(SCRIPT) as source:
            text = source.read()
        self.assertTrue(text.startswith("#!/usr/bin/python -Estt\n"))
        self.assertEqual(newer_syntax(text), [])

    def test_the_check_refuses_each_newer_form(self):
        table = [
            ("x = {k: 1 for k in y}", "dict comprehension"),
            ("x = {k for k in y}", "set comprehension"),
            ("x = {1, 2}", "set literal"),
            ("x = '{} {}'.format(1, 2)", "auto-numbered format field"),
            ("x = f'{y}'", "f-string"),
            ("def f():\n    nonlocal y", "nonlocal"),
            ("def f(a, *, b): pass", "keyword-only arguments"),
            ("def f():\n    yield from y", "yield from"),
            ("with a as b, c as d: pass", "with of two items"),
        ]
        for source, what in table:
            with self.subTest(what=what):
                self.assertIn(what, [found for _, found in newer_syntax(source)])
        self.assertEqual(newer_syntax("x = '{0}'.format(1)\nwith a as b: pass\n"), [])


class PureFunctionsTest(unittest.TestCase):
    def test_specifications(self):
        table = [
            ("kwt-a", {"name": "kwt-a"}),
            ("kwt-a:x86_64=1:2.0-3", {"name": "kwt-a", "arch": "x86_64", "epoch": "1", "version": "2.0",
                                      "release": "3"}),
            ("kwt-a=2.0", {"name": "kwt-a", "version": "2.0"}),
        ]
        for text, record in table:
            with self.subTest(text=text):
                self.assertEqual(helper.parse_spec(text), record)

    def test_lock_schedule(self):
        self.assertEqual(helper.lock_schedule(3600), (3, 1200))
        self.assertEqual(helper.lock_schedule(2), (2, 1))
        self.assertEqual(helper.lock_schedule(0), (0, 0))

    def test_solve_lines_and_quiet_display(self):
        members = [Member("e", ("old", "noarch", "0", "1", "1")), Member("u", ("up", "x86_64", "2", "3", "4")),
                   Member("i", ("new", "noarch", None, "1", "1")), Member("ud", ("gone", "noarch", "0", "1", "1"))]
        self.assertEqual(helper.solve_lines(members), [
            "+ up:x86_64=2:3-4\n", "+ new:noarch=0:1-1\n", "- old:noarch=0:1-1\n"])
        out = io.StringIO()
        display = helper.QuietDisplay(out)
        for position in (1, 1, 2):
            display.event("Installing", "kwt-a", position, 2)
        self.assertEqual(out.getvalue(), "Installing: kwt-a [1/2]\nInstalling: kwt-a [2/2]\n")


# --- stub yum -----------------------------------------------------------------------------------

class Member(object):
    def __init__(self, ts_state, pkgtup):
        self.ts_state, self.pkgtup = ts_state, pkgtup
        self.po = types.SimpleNamespace(name=pkgtup[0], arch=pkgtup[1], epoch=pkgtup[2], version=pkgtup[3],
                                        release=pkgtup[4])


class YumBaseError(Exception):
    pass


class LockError(YumBaseError):
    def __init__(self, errno, message):
        YumBaseError.__init__(self, message)
        self.errno = errno


class Repo(object):
    def __init__(self, repo_id, enabled):
        self.id, self.enabled, self.skip_if_unavailable = repo_id, enabled, None

    def enable(self):
        self.enabled = True


class World(object):
    """What the stub yum knows and what it was asked."""

    def __init__(self):
        self.repos = {"base": Repo("base", True), "ZANTH_p": Repo("ZANTH_p", False)}
        self.lock_errors = []
        self.calls = []
        self.installed = {"kwt-y": ("kwt-y", "noarch", "0", "1.0", "1")}
        self.conflicts = {}  # name to be installed -> installed name it conflicts with


def stub_modules(world):
    yum = types.ModuleType("yum")
    errors = types.ModuleType("yum.Errors")
    errors.YumBaseError, errors.LockError = YumBaseError, LockError
    callbacks = types.ModuleType("yum.callbacks")
    callbacks.PT_DOWNLOAD, callbacks.PT_DOWNLOAD_PKGS = 1, 2
    callbacks.PT_MESSAGES = {1: "Downloading packages", 2: "Downloading packages"}
    misc = types.ModuleType("yum.misc")
    misc.exception2msg = str
    rpmtrans = types.ModuleType("yum.rpmtrans")

    class SimpleCliCallBack(object):
        def __init__(self):
            self.action = {}

    rpmtrans.SimpleCliCallBack = SimpleCliCallBack

    class TsInfo(object):
        def __init__(self):
            self.members = []

        def getMembers(self):
            return list(self.members)

        def remove(self, pkgtup):
            self.members = [m for m in self.members if m.pkgtup != pkgtup]

    class RepoStorage(object):
        def listEnabled(self):
            return [r for r in world.repos.values() if r.enabled]

        def getRepo(self, repo_id):
            return world.repos[repo_id]

        def setProgressBar(self, bar):
            pass

    class YumBase(object):
        def __init__(self):
            self.repos = RepoStorage()
            self.conf = types.SimpleNamespace(assumeyes=False)
            self.tsInfo = TsInfo()
            self.po_with_problems = []

        def setupProgressCallbacks(self):
            pass

        def doLock(self):
            world.calls.append("lock")
            if world.lock_errors:
                raise world.lock_errors.pop(0)

        def doUnlock(self):
            world.calls.append("unlock")

        def install(self, **record):
            world.calls.append(("install", record))
            return self.stub_mark(Member("i", (record["name"], "noarch", "0", "1.0", "1")))

        def stub_mark(self, member):
            # Like yum, marking what is already marked adds nothing.
            if any((m.ts_state, m.pkgtup) == (member.ts_state, member.pkgtup) for m in self.tsInfo.members):
                return []
            self.tsInfo.members.append(member)
            return [member]

        def remove(self, **record):
            world.calls.append(("remove", record))
            if record["name"] not in world.installed:
                return []
            return self.stub_mark(Member("e", world.installed[record["name"]]))

        def resolveDeps(self):
            self.po_with_problems = []
            removed = set(m.po.name for m in self.tsInfo.members if m.ts_state == "e")
            for member in self.tsInfo.members:
                other = world.conflicts.get(member.po.name)
                if member.ts_state == "i" and other and other not in removed:
                    self.po_with_problems.append(
                        (member.po, types.SimpleNamespace(name=other),
                         "%s conflicts with %s" % (member.po.name, other)))
            if self.po_with_problems:
                return 1, [p[2] for p in self.po_with_problems]
            return 2, []

    yum.YumBase, yum.Errors, yum.callbacks, yum.misc, yum.rpmtrans = YumBase, errors, callbacks, misc, rpmtrans
    output = types.ModuleType("output")

    class YumOutput(object):
        def __init__(self):
            pass

    output.YumOutput = YumOutput
    output.YumTextMeter = lambda fo: None
    return {"yum": yum, "yum.Errors": errors, "yum.callbacks": callbacks, "yum.misc": misc,
            "yum.rpmtrans": rpmtrans, "output": output}


class StubRunTest(unittest.TestCase):
    def setUp(self):
        self.world = World()
        self.saved_modules = dict(sys.modules)
        sys.modules.update(stub_modules(self.world))
        self.sleeps = []
        self.saved_sleep = helper.sleep
        helper.sleep = self.sleeps.append

    def tearDown(self):
        helper.sleep = self.saved_sleep
        for name in ("yum", "yum.Errors", "yum.callbacks", "yum.misc", "yum.rpmtrans", "output"):
            sys.modules.pop(name, None)
        sys.modules.update(self.saved_modules)
        if sys.path and sys.path[0] == "/usr/share/yum-cli":
            sys.path.pop(0)

    def run_helper(self, *args):
        saved = sys.stdout, sys.stderr
        sys.stdout, sys.stderr = io.StringIO(), io.StringIO()
        try:
            code = helper.main(list(args))
            return code, sys.stdout.getvalue(), sys.stderr.getvalue()
        finally:
            sys.stdout, sys.stderr = saved

    def test_no_enabled_repository_exits_2(self):
        self.world.repos["base"].enabled = False
        self.assertEqual(self.run_helper("-s"), (2, "", NO_REPOS))

    def test_repository_rules_and_the_check_run(self):
        self.assertEqual(self.run_helper("-e", "ZANTH_p"), (0, "", ""))
        self.assertEqual(self.world.repos["base"].skip_if_unavailable, True)
        self.assertEqual(self.world.repos["ZANTH_p"].enabled, True)
        self.assertEqual(self.world.repos["ZANTH_p"].skip_if_unavailable, False)
        self.assertEqual(self.world.calls, ["lock", "unlock"])

    def test_the_lock_waits_in_3_second_steps_unless_told_to_exit(self):
        self.world.lock_errors = [LockError(0, "held by 42"), LockError(0, "held by 42")]
        code, _, err = self.run_helper("-v")
        self.assertEqual(code, 0, err)
        self.assertEqual(self.sleeps, [3, 3])
        self.assertEqual(err.count("held by 42"), 1)
        self.assertEqual(err.count("Another app is currently holding the yum lock"), 2)
        self.world.lock_errors = [LockError(0, "held by 42")]
        code, _, err = self.run_helper("--exit-on-lock")
        self.assertEqual((code, err), (1, "LockError: held by 42\n"))
        self.world.lock_errors = [LockError(13, "permission")]
        code, _, err = self.run_helper()
        self.assertEqual((code, err.splitlines()[-1]), (1, "YumBaseError: Can't create lock file; exiting"))

    def test_solve_removes_a_conflicting_installed_package(self):
        self.world.conflicts = {"kwt-x": "kwt-y"}
        code, out, err = self.run_helper("-s", "-i", "kwt-x")
        self.assertEqual(code, 0, err)
        self.assertEqual(out, "+ kwt-x:noarch=0:1.0-1\n- kwt-y:noarch=0:1.0-1\n")
        self.assertIn("Attempt to remove 'kwt-x' to resolve conflict has failed", err)
        self.assertIn("Attempt to remove 'kwt-y' to resolve conflict has succeeded", err)

    def test_conflict_between_requested_packages_fails_after_five_passes(self):
        self.world.conflicts = {"kwt-x": "kwt-z", "kwt-z": "kwt-x"}
        code, out, err = self.run_helper("-s", "-i", "kwt-x", "-i", "kwt-z")
        self.assertEqual((code, out), (1, ""))
        self.assertEqual(err.count("Attempt to remove 'kwt-x' to resolve conflict has failed"), 10)
        self.assertTrue(err.endswith("YumBaseError: Failed to solve dependencies:\n"
                                     "kwt-x conflicts with kwt-z\nkwt-z conflicts with kwt-x\n"), err)
        self.assertEqual(self.world.calls[-1], "unlock")


if __name__ == "__main__":
    unittest.main()
