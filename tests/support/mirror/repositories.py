"""Real package repositories for the test mirror: tiny packages that dpkg-deb and rpmbuild make, apt
repositories indexed by apt-ftparchive and signed by gpg, rpm repositories signed package by package and
indexed by createrepo_c, and gzipped header files of cache records.

Building packages is the slow part, so every package file (and the signing key) is kept in a cache
directory shared by the runs that name it; a lock makes concurrent runs wait for each other.
"""

import concurrent.futures
import contextlib
import fcntl
import gzip
import hashlib
import json
import os
import shutil
import subprocess
import tempfile

# Part of every cache key: raise it when the way packages are made changes.
REVISION = 1
BUILD_TIME = 1700000000  # the packages' build time, fixed so that two builds give the same bytes
KEY_USER = "Kitwright Test Mirror <mirror@kitwright.invalid>"


def run(args, cwd=None, env=None):
    result = subprocess.run(args, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    if result.returncode != 0:
        raise SystemExit("make_mirror.py: %s failed (%d): %s"
                         % (" ".join(args), result.returncode, result.stderr.decode(errors="replace")))
    return result.stdout


def fixed_time_env(**more):
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(BUILD_TIME), LC_ALL="C")
    env.update(more)
    return env


@contextlib.contextmanager
def locked(directory):
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield


def publish(data, path):
    """Writes a cache entry whole or not at all."""
    temporary = path + ".part"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


class Signer:
    """The mirror's throw-away signing key (RSA, which every rpm and apt version checks). It is made
    once per cache, so mirrors of one cache agree; a private GNUPGHOME holds it only while something
    is signed. Make it under the cache's lock."""

    def __init__(self, cache):
        self.directory = os.path.join(cache, "key")
        self.home = None
        try:
            if not os.path.exists(self.file("fingerprint")):
                os.makedirs(self.directory, exist_ok=True)
                self.gpg("--quick-gen-key", KEY_USER, "rsa2048", "sign", "never")
                publish(self.gpg("--armor", "--export-secret-keys"), self.file("secret.asc"))
                publish(self.gpg("--armor", "--export"), self.file("public.asc"))
                publish(self.gpg("--export"), self.file("public.gpg"))
                colons = self.gpg("--with-colons", "--fingerprint").decode()
                publish(next(line.split(":")[9] for line in colons.splitlines()
                             if line.startswith("fpr:")).encode(), self.file("fingerprint"))
            with open(self.file("fingerprint")) as f:
                self.fingerprint = f.read()
        except BaseException:
            # The caller never gets the object to close: the agent that gpg started goes now.
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        self.close()

    def file(self, name):
        return os.path.join(self.directory, name)

    def gpg(self, *args):
        if self.home is None:
            self.home = tempfile.mkdtemp(prefix="kw-mirror-gpg-")
            os.chmod(self.home, 0o700)
            if os.path.exists(self.file("secret.asc")):
                self.gpg("--import", self.file("secret.asc"))
        return run(["gpg", "--batch", "--quiet", "--homedir", self.home, "--pinentry-mode", "loopback",
                    "--passphrase", ""] + list(args))

    def armored(self):
        with open(self.file("public.asc")) as f:
            return f.read()

    def keyring(self):
        with open(self.file("public.gpg"), "rb") as f:
            return f.read()

    def sign_release(self, directory):
        release = os.path.join(directory, "Release")
        self.gpg("--yes", "-u", self.fingerprint, "--clearsign", "-o",
                 os.path.join(directory, "InRelease"), release)
        self.gpg("--yes", "-u", self.fingerprint, "--armor", "--detach-sign", "-o",
                 os.path.join(directory, "Release.gpg"), release)

    def sign_rpms(self, paths):
        if paths:
            self.gpg("--list-secret-keys")  # the key in place
            run(["rpmsign", "--addsign", "--define", "_gpg_name " + self.fingerprint,
                 "--define", "_gpg_path " + self.home, "--define", "__gpg " + shutil.which("gpg"),
                 "--define", "_gpg_sign_cmd_extra_args --batch"] + paths)

    def close(self):
        if self.home is not None:
            subprocess.run(["gpgconf", "--homedir", self.home, "--kill", "gpg-agent"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shutil.rmtree(self.home, ignore_errors=True)


# ----------------------------------------------------------------------------------------------
# Packages. A package is a dict: family ("deb" or "rpm"), name, version, release, arch (in the
# family's own words: amd64/all/i386, x86_64/noarch), the lists requires, provides, conflicts and,
# optionally: postinst, shell text run after the package is unpacked (a failing one fails the
# package's configuration); an epoch; "pre_install_fails" (a script before the installation that
# fails, so that the package tool refuses to install it).


def file_name(package):
    if package["family"] == "deb":
        return "%s_%s-%s_%s.deb" % (package["name"], package["version"], package["release"],
                                    package["arch"])
    return "%s-%s-%s.%s.rpm" % (package["name"], package["version"], package["release"],
                                package["arch"])


def full_version(package):
    """[epoch:]version-release"""
    epoch = "%s:" % package["epoch"] if package.get("epoch") else ""
    return "%s%s-%s" % (epoch, package["version"], package["release"])


def payload_path(package):
    """The one file a package installs."""
    return "/usr/share/kitwright-mirror/%s.%s" % (package["name"], package["arch"])


def deb_control(package):
    lines = ["Package: " + package["name"],
             "Version: " + full_version(package),
             "Architecture: " + package["arch"],
             "Maintainer: Kitwright tests <mirror@kitwright.invalid>",
             "Multi-Arch: same" if package["arch"] not in ("all", "amd64") else None]
    for field, key in (("Depends", "requires"), ("Provides", "provides"),
                       ("Conflicts", "conflicts")):
        if package.get(key):
            lines.append("%s: %s" % (field, ", ".join(package[key])))
    lines.append("Description: %s test package" % package["name"])
    return "\n".join(line for line in lines if line) + "\n"


def rpm_spec(package):
    lines = ["Name: " + package["name"], "Version: " + package["version"],
             "Release: " + package["release"], "Summary: %s test package" % package["name"],
             "License: none", "AutoReqProv: no"]
    if package.get("epoch"):
        lines.append("Epoch: %s" % package["epoch"])
    if package["arch"] == "noarch":
        lines.append("BuildArch: noarch")
    for field, key in (("Requires", "requires"), ("Provides", "provides"),
                       ("Conflicts", "conflicts")):
        lines += ["%s: %s" % (field, value) for value in package.get(key, [])]
    path = payload_path(package)
    lines += ["%description", "A test package.", "%install",
              "mkdir -p %%{buildroot}%s" % os.path.dirname(path),
              "echo '%s %s' > %%{buildroot}%s" % (package["name"], package["version"], path)]
    if package.get("pre_install_fails"):
        # Lua: an empty rpm database provides no /bin/sh.
        lines += ["%pre -p <lua>", 'error("refused by the test package")']
    lines += ["%files", path]
    if package.get("postinst"):
        lines += ["%post", package["postinst"]]
    lines.append("")
    return "\n".join(lines)


class PackageCache:
    """Package files by content: built on first request, then copied from the cache."""

    def __init__(self, directory, signer):
        self.directory = os.path.join(directory, "packages")
        self.signer = signer
        self.scratch = tempfile.mkdtemp(prefix="kw-mirror-build-")

    def key(self, package):
        facts = [REVISION, package, self.signer.fingerprint if package["family"] == "rpm" else ""]
        return hashlib.sha256(json.dumps(facts, sort_keys=True).encode()).hexdigest()[:32]

    def path(self, package):
        return os.path.join(self.directory, self.key(package), file_name(package))

    def fill(self, packages):
        """Makes every package that the cache lacks."""
        missing = {self.key(p): p for p in packages if not os.path.exists(self.path(p))}
        debs = [p for p in missing.values() if p["family"] == "deb"]
        rpms = [p for p in missing.values() if p["family"] == "rpm"]
        for package in debs:
            self.build_deb(package)
        if rpms:
            self.build_rpms(rpms)

    def store(self, package, built):
        target = self.path(package)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(built, "rb") as f:
            publish(f.read(), target)

    def build_deb(self, package):
        root = os.path.join(self.scratch, "deb-" + self.key(package))
        payload = root + payload_path(package)
        os.makedirs(os.path.join(root, "DEBIAN"))
        os.makedirs(os.path.dirname(payload))
        with open(os.path.join(root, "DEBIAN", "control"), "w") as f:
            f.write(deb_control(package))
        with open(payload, "w") as f:
            f.write("%s %s\n" % (package["name"], package["version"]))
        if package.get("postinst"):
            script = os.path.join(root, "DEBIAN", "postinst")
            with open(script, "w") as f:
                f.write("#!/bin/sh\n" + package["postinst"] + "\n")
            os.chmod(script, 0o755)
        if package.get("pre_install_fails"):
            script = os.path.join(root, "DEBIAN", "preinst")
            with open(script, "w") as f:
                f.write("#!/bin/sh\necho 'refused by the test package' >&2\nexit 1\n")
            os.chmod(script, 0o755)
        built = root + ".deb"
        run(["dpkg-deb", "--root-owner-group", "-Zgzip", "--build", root, built],
            env=fixed_time_env())
        self.store(package, built)

    def build_rpms(self, packages):
        top = os.path.join(self.scratch, "rpm")
        # Made here: the rpmbuilds below, started side by side, race to make them and one may fail.
        for directory in ("SPECS", "BUILD", "BUILDROOT", "RPMS", "SRPMS", "SOURCES"):
            os.makedirs(os.path.join(top, directory), exist_ok=True)
        specs = []
        for package in packages:
            spec = os.path.join(top, "SPECS", self.key(package) + ".spec")
            with open(spec, "w") as f:
                f.write(rpm_spec(package))
            specs.append(spec)
        # A private HOME keeps the user's macros and rpm database out; the packages hold no
        # binaries, so the post-install scans are skipped. rpmbuild is slow to start: a few run
        # side by side.
        command = ["rpmbuild", "--quiet", "--define", "_topdir " + top,
                   "--define", "use_source_date_epoch_as_buildtime 1",
                   "--define", "_buildhost mirror.kitwright.invalid",
                   "--define", "debug_package %{nil}", "--define", "_build_id_links none",
                   "--define", "__spec_install_post %{nil}", "--define", "__os_install_post %{nil}",
                   "--target", "x86_64", "-bb"]
        jobs = max(1, min(4, os.cpu_count() or 1))
        with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
            for _ in pool.map(lambda part: run(command + part, env=fixed_time_env(HOME=self.scratch)),
                              [specs[i::jobs] for i in range(jobs) if specs[i::jobs]]):
                pass
        built = [os.path.join(top, "RPMS", p["arch"], file_name(p)) for p in packages]
        self.signer.sign_rpms(built)
        for package, path in zip(packages, built):
            self.store(package, path)

    def close(self):
        shutil.rmtree(self.scratch, ignore_errors=True)


# ----------------------------------------------------------------------------------------------
# Repositories


def header_record(package, path):
    with open(path, "rb") as f:
        data = f.read()
    lines = ["F:" + file_name(package), "N:" + package["name"], "V:" + package["version"],
             "L:" + package["release"], "A:" + package["arch"], "B:%d" % BUILD_TIME,
             "E:%s" % package["epoch"] if package.get("epoch") else None,
             "s:%d" % len(data), "M:" + hashlib.md5(data).hexdigest()]
    lines += ["R:" + value for value in package.get("requires", [])]
    lines += ["P:" + value for value in [package["name"]] + package.get("provides", [])]
    lines += ["C:" + value for value in package.get("conflicts", [])]
    return "\n".join([line for line in lines if line] + ["X:"]) + "\n"


def write_headers(path, records):
    """The header file that the product sources read: gzip without a name or time stamp."""
    with open(path, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0) as f:
            f.write("".join(records).encode())


def index_apt(directory, signer, version, codename):
    """A flat apt repository ("<dir>/ ./"): Packages, Packages.gz, Release signed into InRelease and
    Release.gpg."""
    packages = run(["apt-ftparchive", "packages", "."], cwd=directory)
    with open(os.path.join(directory, "Packages"), "wb") as f:
        f.write(packages)
    with open(os.path.join(directory, "Packages.gz"), "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0) as f:
            f.write(packages)
    options = []
    for field, value in (("Origin", "Kitwright"), ("Label", "Kitwright test mirror"),
                         ("Version", version), ("Codename", codename)):
        if value:
            options += ["-o", "APT::FTPArchive::Release::%s=%s" % (field, value)]
    release = run(["apt-ftparchive"] + options + ["release", "."], cwd=directory)
    with open(os.path.join(directory, "Release"), "wb") as f:
        f.write(release)
    signer.sign_release(directory)


def index_rpm(directory):
    run(["createrepo_c", "--quiet", "--no-database", directory])


class RepositoryCache:
    """Whole indexed repositories by content, since indexing and signing cost more than copying."""

    def __init__(self, directory, signer):
        self.directory = os.path.join(directory, "repositories")
        self.signer = signer
        self.packages = PackageCache(directory, signer)

    def get(self, repository):
        """The cached directory of a repository: a dict of family, packages (see above), headers
        (the header file's name, or empty), version and codename (of apt's Release file)."""
        facts = [REVISION, repository, self.signer.fingerprint]
        key = hashlib.sha256(json.dumps(facts, sort_keys=True).encode()).hexdigest()[:32]
        target = os.path.join(self.directory, key)
        if os.path.isdir(target):
            return target
        scratch = target + ".part"
        shutil.rmtree(scratch, ignore_errors=True)
        os.makedirs(scratch)
        records = []
        for package in repository["packages"]:
            path = os.path.join(scratch, file_name(package))
            shutil.copyfile(self.packages.path(package), path)
            records.append(header_record(package, path))
        if repository["headers"]:
            write_headers(os.path.join(scratch, repository["headers"]), records)
        if repository["family"] == "deb":
            index_apt(scratch, self.signer, repository["version"], repository["codename"])
        else:
            index_rpm(scratch)
        os.replace(scratch, target)
        return target

    def fill(self, repositories):
        self.packages.fill([p for r in repositories for p in r["packages"]])
        return [self.get(r) for r in repositories]

    def close(self):
        self.packages.close()

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        self.close()
