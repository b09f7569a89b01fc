"""The dnf helper script: its reporters with a replaced clock, and real dnf runs against a local rpm
repository. Run by Debian's /usr/bin/python3 (the interpreter that can import dnf) as root inside
scripts/overlay-root.sh, so rpm and dnf change only the overlay."""

import io
import logging
import os
import re
import shutil
import subprocess
import sys
import tempfile
import textwrap
import time
import unittest

from script_loader import ASSETS, load_script

SCRIPT = os.path.join(ASSETS, "dnf_install")
HELPER = "/opt/zorv/bin/dnf_install"
NO_REPOS = "There are no enabled Yum repositories, installation is not possible.\n"

helper = load_script("dnf_install")


class Clock(object):
    def __init__(self):
        self.value = 1000.0

    def __call__(self):
        return self.value


class CapturedLog(object):
    """Collects the helper logger's INFO lines (its standard output) and the other lines."""

    def __enter__(self):
        self.out, self.err = io.StringIO(), io.StringIO()
        logger = helper.logger
        logger.handlers = []
        for stream, info in ((self.out, True), (self.err, False)):
            handler = logging.StreamHandler(stream)
            handler.addFilter(helper.LevelFilter(info))
            logger.addHandler(handler)
        logger.setLevel(logging.INFO)
        logger.propagate = False
        helper.details.propagate = False
        helper.details.handlers = [logging.NullHandler()]
        return self

    def __exit__(self, *args):
        helper.logger.handlers = []

    def lines(self):
        return self.out.getvalue().splitlines()


class ClockedTest(unittest.TestCase):
    def setUp(self):
        self.clock = Clock()
        self.saved_now = helper.now
        helper.now = self.clock

    def tearDown(self):
        helper.now = self.saved_now


class TransactionLoggerTest(ClockedTest):
    def test_long_scriptlet_without_byte_progress_prints_a_partial_line_at_most_every_15_seconds(self):
        scriptlet = helper.dnf.transaction.PKG_SCRIPTLET
        with CapturedLog() as log:
            reporter = helper.KitwrightTransactionLogger()
            reporter.progress("kwt-a-1.0-1.noarch", scriptlet, 0, 100, 1, 2)
            for second in range(1, 41):
                self.clock.value += 1
                reporter.progress("kwt-a-1.0-1.noarch", scriptlet, 50, 100, 1, 2)
            reporter.progress("kwt-a-1.0-1.noarch", scriptlet, 100, 100, 1, 2)
        lines = log.lines()
        self.assertEqual(lines[0], "Running scriptlet:   kwt-a-1.0-1.noarch [1/2]...")
        self.assertEqual(lines[-1], "Running scriptlet:   kwt-a-1.0-1.noarch [1/2] Done")
        partial = [line for line in lines[1:-1]]
        # 40 s of calls: one partial line at 15 s, a repeat of it is suppressed afterwards.
        self.assertEqual(partial, ["Running scriptlet:   kwt-a-1.0-1.noarch 50/100B [1/2]..."])
        self.assertEqual(log.err.getvalue(), "")

    def test_new_partial_values_print_again_only_after_the_period(self):
        install = helper.dnf.transaction.PKG_INSTALL
        with CapturedLog() as log:
            reporter = helper.KitwrightTransactionLogger()
            reporter.progress("p", install, 0, 100, 1, 1)
            for second in range(1, 41):
                self.clock.value += 1
                reporter.progress("p", install, second, 100, 1, 1)
        partial = [line for line in log.lines() if "B [" in line]
        self.assertEqual(len(partial), 2)  # at 15 s and 30 s
        self.assertIn(" 15/100B ", partial[0])
        self.assertIn(" 30/100B ", partial[1])

    def test_post_transaction_repeats_only_after_the_period_and_inconsistency_warns(self):
        post = helper.dnf.transaction.TRANS_POST
        with CapturedLog() as log:
            reporter = helper.KitwrightTransactionLogger()
            reporter.progress(None, post, 0, 0, 1, 1)
            reporter.progress(None, post, 0, 0, 1, 1)
            self.clock.value += 16
            reporter.progress(None, post, 0, 0, 1, 1)
            reporter.progress("q", helper.dnf.transaction.PKG_INSTALL, 5, 10, 1, 1)
        self.assertEqual(log.lines(), ["Post transaction...", "Post transaction...",
                                       "Installing:                    q [1/1]"])
        self.assertIn("internal inconsistency progress(q, ", log.err.getvalue())

    def test_a_failing_callback_logs_the_call_and_raises(self):
        with CapturedLog() as log:
            reporter = helper.KitwrightTransactionLogger()
            with self.assertRaises(TypeError):
                reporter.progress("p", [1], 0, 10, 1, 1)  # an action that cannot be looked up
        err = log.err.getvalue().splitlines()
        self.assertTrue(err[0].startswith("TypeError: "), err)
        self.assertEqual(err[-1], "in KitwrightTransactionLogger.progress('p', '[1]', '0', '10', '1', '1')")


class Payload(object):
    def __init__(self, name, size):
        self.name, self.download_size = name, size

    def __str__(self):
        return self.name


class DownloadProgressTest(ClockedTest):
    def download(self, seconds):
        with CapturedLog() as log:
            reporter = helper.KitwrightDownloadProgress()
            payload = Payload("kwt-a.rpm", 1000)
            reporter.start(1, 1000, 0)
            for second in range(seconds):
                reporter.progress(payload, 10 * second)
                self.clock.value += 1
            reporter.end(payload, helper.dnf.callback.STATUS_OK, None)
        return log.lines()

    def test_a_75_second_download_prints_its_duration(self):
        lines = self.download(75)
        self.assertEqual(lines[0], "Start downloading 1 files of 1000 size and 0 delta RPMs")
        self.assertEqual(lines[-1], "Download       kwt-a.rpm   1000B 0:01:15 [total 1000/1000B 1/1 files]")
        progress = [line for line in lines if line.startswith("Downloading")]
        self.assertEqual(len(progress), 4)  # at 15, 30, 45 and 60 s
        self.assertEqual(progress[0],
                         "Downloading       kwt-a.rpm 150/1000 [total 150/1000B 0/1 files]")

    def test_a_one_second_download_prints_no_duration(self):
        lines = self.download(1)
        self.assertEqual(lines[-1], "Download       kwt-a.rpm   1000B [total 1000/1000B 1/1 files]")

    def test_status_words_and_failures(self):
        table = [
            (helper.dnf.callback.STATUS_FAILED, "FAILED", "0B", "0/1 files", "Download a FAILED: boom"),
            (helper.dnf.callback.STATUS_MIRROR, "MIRROR FAILED - try next one", "0B", "0/1 files",
             "Download a MIRROR FAILED - try next one: boom"),
            (helper.dnf.callback.STATUS_ALREADY_EXISTS, "SKIPPED - already exists", "5B", "1/1 files", ""),
            (helper.dnf.callback.STATUS_DRPM, "Delta RPM", "5B", "0/1 files", ""),
            (77, "(status code 77)", "5B", "0/1 files", ""),
        ]
        for status, word, size, files, err in table:
            with self.subTest(word=word), CapturedLog() as log:
                reporter = helper.KitwrightDownloadProgress()
                reporter.start(1, None, 0)
                reporter.end(Payload("a", 5), status, "boom")
                self.assertEqual(log.lines()[0], "Start downloading 1 files of unknown size and 0 delta RPMs")
                self.assertEqual(log.lines()[1], "Download %15s %s boom %s [total %s/unknown B %s]"
                                 % ("a", word, size, size[:-1], files))
                self.assertEqual(log.err.getvalue().strip(), err)


class SpecificationTest(unittest.TestCase):
    def test_specifications_are_taken_apart_and_rebuilt_for_dnf(self):
        table = [
            ("kwt-a", {"name": "kwt-a"}, "kwt-a"),
            ("kwt-a:noarch=1:2.0-3", {"name": "kwt-a", "arch": "noarch", "epoch": 1, "version": "2.0",
                                       "release": "3"}, "kwt-a-1:2.0-3.noarch"),
            ("kwt-a=2.0", {"name": "kwt-a", "version": "2.0"}, "kwt-a-2.0"),
            ("kwt-a=2.0-3", {"name": "kwt-a", "version": "2.0", "release": "3"}, "kwt-a-2.0-3"),
        ]
        for text, record, dnf_text in table:
            with self.subTest(text=text):
                self.assertEqual(helper.parse_spec(text), record)
                self.assertEqual(helper.spec_text(record), dnf_text)


# --- real dnf runs ------------------------------------------------------------------------------

PACKAGES = {
    # repository: [(name, version, extra header lines, scriptlets)]
    "system": [("kwt-b", "1.0", "", ""), ("kwt-y", "1.0", "", "")],
    "product": [
        ("kwt-a", "1.0", "Requires: kwt-b", ""),
        ("kwt-x", "1.0", "Conflicts: kwt-y", ""),
        ("kwt-c", "1.0", "", ""),
        ("kwt-c", "2.0", "", ""),
        ("kwt-e", "3.0", "Epoch: 1", ""),
        # An empty rpm database provides no /bin/sh: the failing scriptlet is Lua.
        ("kwt-f", "1.0", "", "%pre -p <lua>\nerror(\"refused\")\n"),
    ],
}


def run(args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          universal_newlines=True, **kwargs)


def make_repositories(top):
    for repo, packages in PACKAGES.items():
        for name, version, extra, scriptlets in packages:
            spec = os.path.join(top, "%s-%s.spec" % (name, version))
            with open(spec, "w") as out:
                out.write("Name: %s\nVersion: %s\nRelease: 1\nSummary: test package\nLicense: none\n"
                          "BuildArch: noarch\n%s\n%%description\ntest package\n%s\n%%files\n"
                          % (name, version, extra, scriptlets))
            built = run(["rpmbuild", "--quiet", "--define", "_topdir %s/build" % top,
                         "--define", "_rpmdir %s/%s" % (top, repo), "-bb", spec])
            if built.returncode:
                raise RuntimeError(built.stderr)
        created = run(["createrepo_c", "-q", os.path.join(top, repo)])
        if created.returncode:
            raise RuntimeError(created.stderr)


REPO_FILE = "/etc/yum.repos.d/kwt.repo"


def write_repo_file(system_enabled=True):
    with open(REPO_FILE, "w") as out:
        out.write(textwrap.dedent("""\
            [kwt-system]
            name=system
            baseurl=file://{top}/system
            enabled={enabled}
            gpgcheck=0

            [ZANTH_kwt]
            name=product
            baseurl=file://{top}/product
            enabled=0
            gpgcheck=0
            """).format(top=RealDnfTest.top, enabled=int(system_enabled)))


def inside_throwaway_root():
    """Whether / is an overlay in a mount namespace of our own (as scripts/overlay-root.sh makes it),
    so that what rpm and dnf write never reaches the host."""
    try:
        init = os.readlink("/proc/1/ns/mnt")
    except OSError:
        init = None  # the host's init, out of reach from inside
    try:
        if os.readlink("/proc/self/ns/mnt") == init:
            return False
        root_type = None
        with open("/proc/self/mountinfo") as mounts:
            for line in mounts:
                fields = line.split()
                if fields[4] == "/":  # the last mount on / is the one seen
                    root_type = fields[fields.index("-") + 1]
        return root_type == "overlay"
    except (OSError, ValueError, IndexError):
        return False


@unittest.skipUnless(inside_throwaway_root(), "runs only in a throw-away root (scripts/overlay-root.sh)")
class RealDnfTest(unittest.TestCase):
    top = None

    @classmethod
    def setUpClass(cls):
        cls.top = tempfile.mkdtemp(prefix="kwt-repo.", dir="/var/tmp")
        make_repositories(cls.top)
        os.makedirs("/etc/yum.repos.d", exist_ok=True)
        os.makedirs("/etc/dnf/vars", exist_ok=True)
        # Debian has no release package, from which dnf would take the release version.
        with open("/etc/dnf/vars/releasever", "w") as out:
            out.write("8\n")
        if not os.path.exists("/usr/libexec/platform-python"):
            os.symlink("/usr/bin/python3", "/usr/libexec/platform-python")
        os.makedirs(os.path.dirname(HELPER), exist_ok=True)
        shutil.copyfile(SCRIPT, HELPER)
        os.chmod(HELPER, 0o700)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.top)

    def setUp(self):
        write_repo_file()
        installed = self.installed()
        if installed:
            erased = run(["rpm", "-e", "--nodeps", "--noscripts"] + sorted(p.split(":")[0] for p in installed))
            self.assertEqual(erased.returncode, 0, erased.stderr)

    def installed(self):
        out = run(["rpm", "-qa", "--qf", "%{NAME}:%{ARCH}=%{EPOCHNUM}:%{VERSION}-%{RELEASE}\n"]).stdout
        return set(line for line in out.splitlines() if line.startswith("kwt-"))

    def helper(self, *args):
        return run([HELPER, "-e", "ZANTH_kwt"] + list(args))

    def dnf_transaction(self, installs):
        """The transaction that dnf-3 itself shows for installing the packages, as solve lines."""
        out = run(["env", "LANG=C", "dnf-3", "--assumeno", "--allowerasing", "--setopt=install_weak_deps=0",
                   "--enablerepo=ZANTH_kwt", "install"] + installs).stdout
        signs = {"Installing": "+", "Upgrading": "+", "Removing": "-"}
        lines, sign = set(), None
        for line in out.splitlines():
            section = re.match(r"^(Installing|Upgrading|Removing)( [a-z ]+)?:$", line)
            if section:
                sign = signs[section.group(1)]
            elif not line.startswith(" "):
                sign = None
            elif sign:
                name, arch, evr = line.split()[:3]
                if ":" not in evr:
                    evr = "0:" + evr
                lines.add("%s %s:%s=%s" % (sign, name, arch, evr))
        return lines

    def perform(self, *args):
        result = self.helper("-p", *args)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result

    def test_solve_equals_dnf_and_perform_changes_exactly_those_lines(self):
        self.perform("-i", "kwt-c=1.0-1", "-i", "kwt-y")
        self.assertEqual(self.installed(), {"kwt-c:noarch=0:1.0-1", "kwt-y:noarch=0:1.0-1"})
        request = ["-i", "kwt-a", "-i", "kwt-c=2.0", "-i", "kwt-x", "-i", "kwt-e"]
        solved = self.helper("-s", *request)
        self.assertEqual(solved.returncode, 0, solved.stderr)
        lines = solved.stdout.splitlines()
        self.assertEqual(set(lines), self.dnf_transaction(["kwt-a", "kwt-c-2.0", "kwt-x", "kwt-e"]))
        self.assertEqual(set(lines), {
            "+ kwt-a:noarch=0:1.0-1", "+ kwt-b:noarch=0:1.0-1", "+ kwt-x:noarch=0:1.0-1",
            "+ kwt-e:noarch=1:3.0-1", "+ kwt-c:noarch=0:2.0-1", "- kwt-y:noarch=0:1.0-1"})
        # Installs, then upgrades, then removals.
        signs = [line[0] for line in lines]
        self.assertEqual(signs, sorted(signs))
        self.assertEqual(lines[-1], "- kwt-y:noarch=0:1.0-1")
        before = self.installed()
        self.perform(*request)
        after = self.installed()
        added = set("+ " + p for p in after - before)
        removed = set("- " + p for p in before - after)
        # The upgrade shows as its new version; the old one leaves without a line of its own.
        self.assertEqual(added | removed - {"- kwt-c:noarch=0:1.0-1"}, set(lines))

    def test_output_file_and_the_last_of_solve_and_perform_wins(self):
        out = os.path.join(self.top, "solve.out")
        solved = self.helper("-p", "-s", "-i", "kwt-a", "-o", out)
        self.assertEqual(solved.returncode, 0, solved.stderr)
        self.assertNotRegex(solved.stdout, "(?m)^[+-] ")
        with open(out) as lines:
            self.assertEqual(set(lines.read().splitlines()),
                             {"+ kwt-a:noarch=0:1.0-1", "+ kwt-b:noarch=0:1.0-1"})
        self.assertEqual(self.installed(), set())
        self.perform("-s", "-p", "-i", "kwt-a")
        self.assertEqual(self.installed(), {"kwt-a:noarch=0:1.0-1", "kwt-b:noarch=0:1.0-1"})
        self.perform("-r", "kwt-a")  # dnf's configuration cleans kwt-b up as well
        self.assertNotIn("kwt-a:noarch=0:1.0-1", self.installed())

    def test_removing_what_is_not_installed_only_warns(self):
        result = self.perform("-r", "kwt-x", "-i", "kwt-c")
        self.assertIn('ignore remove for not installed package "kwt-x"', result.stderr)
        self.assertEqual(self.installed(), {"kwt-c:noarch=0:2.0-1"})

    def test_a_package_both_installed_and_removed_is_installed(self):
        self.perform("-i", "kwt-b")
        result = self.perform("-i", "kwt-c", "-r", "kwt-c", "-r", "kwt-b")
        self.assertEqual(self.installed(), {"kwt-c:noarch=0:2.0-1"}, result.stderr)

    def test_no_enabled_repository_exits_2(self):
        write_repo_file(system_enabled=False)
        result = run([HELPER, "-s", "-i", "kwt-a"])
        self.assertEqual((result.returncode, result.stdout), (2, ""))
        # Before it, only dnf's own notice that no plugin is there to disable.
        self.assertEqual(re.sub(r"^No matches found for the following disable plugin patterns: \*\n", "",
                                result.stderr), NO_REPOS)

    def test_conflicting_requests_exit_1_without_a_stack_trace(self):
        result = self.helper("-s", "-i", "kwt-x", "-i", "kwt-y")
        self.assertEqual(result.returncode, 1)
        self.assertIn("conflicts with kwt-y", result.stderr)
        self.assertNotIn("Traceback", result.stderr)

    def test_failing_pre_scriptlet_fails_the_transaction(self):
        result = self.helper("-p", "-i", "kwt-f")
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn("Transaction failed", result.stderr)
        self.assertEqual(self.installed(), set())

    def test_log_file_gets_stack_traces_in_its_line_format(self):
        log = os.path.join(self.top, "helper.log")
        result = self.helper("-s", "-i", "kwt-missing", "-l", log)
        self.assertEqual(result.returncode, 1)
        self.assertNotIn("Traceback", result.stderr)
        with open(log) as text:
            first = text.readline()
        os.remove(log)
        self.assertRegex(first, r"^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}000\] ERROR "
                                r"zanth_installer\.details: dnf_install failed$")
        verbose = self.helper("-s", "-i", "kwt-missing", "-v")
        self.assertIn("Traceback", verbose.stderr)

    def test_the_rpmdb_lock_of_another_process(self):
        holder = subprocess.Popen(
            ["/usr/bin/python3", "-c", textwrap.dedent("""\
                import sys, dnf, dnf.lock
                base = dnf.Base()
                with dnf.lock.build_rpmdb_lock(base.conf.persistdir, True):
                    print("locked", flush=True)
                    sys.stdin.read()
                """)], stdin=subprocess.PIPE, stdout=subprocess.PIPE, universal_newlines=True)
        try:
            self.assertEqual(holder.stdout.readline(), "locked\n")
            started = time.time()
            at_once = self.helper("--exit-on-lock", "-s", "-i", "kwt-a")
            self.assertEqual(at_once.returncode, 1)
            self.assertIn("RPMDB already locked by %d" % holder.pid, at_once.stderr)
            self.assertLess(time.time() - started, 10)
            waiting = subprocess.Popen([HELPER, "-e", "ZANTH_kwt", "-p", "-i", "kwt-a"],
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       universal_newlines=True)
            time.sleep(5)  # past its start and into its 3-second steps
            self.assertIsNone(waiting.poll())
        finally:
            holder.stdin.close()
            holder.wait()
            holder.stdout.close()
        out, err = waiting.communicate(timeout=60)
        self.assertEqual(waiting.returncode, 0, err)
        self.assertIn("RPMDB already locked by %d" % holder.pid, err)
        self.assertEqual(self.installed(), {"kwt-a:noarch=0:1.0-1", "kwt-b:noarch=0:1.0-1"})


if __name__ == "__main__":
    unittest.main()
