#!/usr/bin/env python3
"""Writes a small but real product catalogue into a directory, for tests and benchmarks.

    make_mirror.py OUT [--model FILE] [--phase NAME ...] [--scale PRODUCTS RELEASES BUILDS]
                       [--cache DIR]

The catalogue is kept as one data model (products -> releases -> builds -> components ->
packages). --model merges a JSON object over it (top-level keys replace the default's), so a test
can tie a key package to a package installed on the machine or place release versions where it
needs them. Output runs in phases, each a function of the model:

    packages   signed package repositories of real, installable packages (repositories.py)
    builds     one build file per build
    products   one file per product and per addon
    index      products.inf3 and versions.inf3

--phase names the phases to run (default: all). The output is deterministic (no clock) and
OUT/mirror.json lists what was written, so tests read facts instead of repeating them.

Repositories. Each build file P/builds/VERSION/SLUG.inf3 has its repositories beside it:
SLUG/ (the build repository: "build_dir" is SLUG, relative to the build file, and the apt line
"builds/VERSION/SLUG/ ./" is relative to the product's directory P), SLUG-thirdparty/ and
SLUG-extras/. A Debian-family build gets flat apt repositories (Packages, Release, InRelease,
Release.gpg); a Red Hat one rpm repositories (signed rpms, repodata/). The build and extras
repositories carry the gzipped header file "headers.gz" of cache records. Every package installs one
file, /usr/share/kitwright-mirror/NAME.ARCH, and declares the model's requires, provides and
conflicts. OUT/key.asc (armored, also the build files' gpg_public_key) and OUT/keyring.gpg (binary)
hold the signing key. The model's "extra_packages" (name, version, arch, requires, provides,
conflicts, family, and optionally epoch, pre_install_fails and repository: "b" the build repository,
the default, "t" thirdparty or "x" extras) go into that repository of every build of their family
without being named in the build files. The model's "system_packages" (the same fields but the
repository) go into one repository per family, OUT/system-FAMILY/ (kind "s", no build): what the
operating system's own sources would offer.
The model's "component_changes" maps "OWNER_ID/COMPONENT" to fields set on that component of the
model (e.g. {"zanth/support-tools": {"requires": ["core"]}}), so that a test changes one component of
the default catalogue without restating it.
Optional model keys: an owner's "installation_types" (name, description, components) and
"yx_template_suffix", a release's "send_feedback" and "uninstall_support" ("yes" by default) and a
component's "actions" (attributes of the "action" elements of its bootstrapper).
The manifest lists the repositories (path, kind b/t/x, family, packages), the key files and
fingerprint, and every file written is in xml_files, repository_files or script_files.

Components. Besides its packages (each in the release's version, or its own "version", or the one
its "versions" gives by release id) a component may have "checks" (examine scripts of a scope that
exit with a given code, written beside the release's build files), a "prep_wait" (a "prep" action
that touches "marker", then waits up to "seconds" for the file "release" and fails without it), a
package "postinst" (shell text; a failing one fails the package's configuration) and "in_types":
false to keep it out of the installation types. The manifest's products list their components
with these facts.

Program version. The model's "required_kitwright" ({"version", "md5", "in": ["index", "builds"]})
makes the index files, the build files or both require that version of the installer (the element
"exact_required_kitwright"); the copy itself is the test's to put under "Zanth_Installer/".
"""

import argparse
import copy
import hashlib
import json
import os
import shutil
import sys
import tempfile
import xml.etree.ElementTree as ET

import repositories

PHASES = ["packages", "builds", "products", "index"]
BUILD_TIME = repositories.BUILD_TIME  # fixed, so that two runs write the same bytes
HEADERS = "headers.gz"
# The thirdparty and extras repositories lie beside the build repository (apt-ftparchive and
# createrepo_c index whole trees, so they may not nest).
THIRDPARTY = "-thirdparty"
EXTRAS = "-extras"
# The operating system's own repository of a family, at the top of the mirror.
SYSTEM_REPOSITORY = "system-"

# The operating systems a release is built for: the family decides the package format.
SYSTEMS = [
    {"os_name": "Linux", "os_vendor": "Debian", "os_version": "12", "os_arch": "x86_64",
     "os_release_name": "bookworm", "family": "deb", "slug": "debian-12-x86_64"},
    {"os_name": "Linux", "os_vendor": "AlmaLinux", "os_version": "8", "os_arch": "x86_64",
     "os_release_name": "", "family": "rpm", "slug": "almalinux-8-x86_64"},
    {"os_name": "Linux", "os_vendor": "Ubuntu", "os_version": "22.04", "os_arch": "x86_64",
     "os_release_name": "jammy", "family": "deb", "slug": "ubuntu-22.04-x86_64"},
    {"os_name": "Linux", "os_vendor": "Rocky", "os_version": "9", "os_arch": "x86_64",
     "os_release_name": "", "family": "rpm", "slug": "rocky-9-x86_64"},
]


def zanth_components():
    return [
        {"name": "core", "description": "Zanth core",
         "keypackages": [{"keypackage": ["zanth-core"]}],
         "packages": [{"name": "zanth-core", "requires": ["zanth-base"]},
                      {"name": "zanth-base", "settings": True}],
         "examine": True},
        {"name": "web", "description": "Web server support",
         "keypackages": [{"keypackage": ["zanth-web"], "nokeypackage": ["zanth-web-legacy"]}],
         "packages": [{"name": "zanth-web"}], "requires": ["core"], "classes": "web,server"},
        {"name": "mail", "description": "Mail server",
         "keypackages": [{"keyprovide": ["zanth-mta"]}],
         "packages": [{"name": "zanth-mail", "provides": ["zanth-mta"]}],
         "requires": ["core"], "conflicts": ["mail-lite"]},
        {"name": "mail-lite", "description": "Light mail server",
         "keypackages": [{"keypackage": ["zanth-mail-lite"]}],
         "packages": [{"name": "zanth-mail-lite"}], "requires": ["core"]},
        {"name": "qz-agent", "description": "Container agent", "environment": "qz",
         "keypackages": [{"keypackage": ["zanth-qz-agent"]}],
         "packages": [{"name": "zanth-qz-agent"}], "templates": ["zanth-qz"]},
        {"name": "support-tools", "description": "Support tools", "hidden": True,
         "show_installed_hidden": True, "deny_implicit_removal": True,
         "keypackages": [{"keypackage": ["zanth-support"]}],
         "packages": [{"name": "zanth-support"}], "hardwired_with": ["core"]},
        # Whole installations need the rest: a package depending on another component's package, in
        # its own version per release; and, kept out of the installation types, components that
        # fail on purpose or wait for their test.
        {"name": "tools", "description": "Administration tools",
         "keypackages": [{"keypackage": ["zanth-tools"]}],
         "packages": [{"name": "zanth-tools", "requires": ["zanth-core"],
                       "versions": {"zanth-10.0": "1.0", "zanth-10.1": "2.0"}}],
         "requires": ["core"], "in_types": False},
        {"name": "failing", "description": "Package that fails to configure",
         "keypackages": [{"keypackage": ["zanth-failing"]}],
         "packages": [{"name": "zanth-failing",
                       "postinst": "echo 'zanth-failing: configuration failed' >&2\nexit 1"}],
         "requires": ["core"], "in_types": False},
        {"name": "prep-wait", "description": "Preparation that waits for a file",
         "keypackages": [{"keypackage": ["zanth-prep-wait"]}],
         "packages": [{"name": "zanth-prep-wait"}], "requires": ["core"], "in_types": False,
         "prep_wait": {"marker": "/tmp/kw-mirror-prep-started", "release": "/tmp/kw-mirror-prep-go",
                       "seconds": 60}},
        {"name": "postcheck-fail", "description": "Post-installation check that fails",
         "keypackages": [{"keypackage": ["zanth-postcheck-fail"]}],
         "packages": [{"name": "zanth-postcheck-fail"}], "requires": ["core"], "in_types": False,
         "checks": [{"scope": "post_install", "exit": 2}]},
        {"name": "precheck-fail", "description": "Pre-installation check that fails",
         "keypackages": [{"keypackage": ["zanth-precheck-fail"]}],
         "packages": [{"name": "zanth-precheck-fail"}], "requires": ["core"], "in_types": False,
         "checks": [{"scope": "pre_install", "exit": 2}]},
    ]


def default_model():
    return {
        "vendor": "zanth",
        "products": [
            {"id": "zanth", "name": "Zanth", "dir": "zanth", "in_versions": True,
             "keypackages": [["zanth-core"], []], "upgrade_codes": ["ZANTH-UPGRADE"],
             "product_codes": ["ZANTH-PRODUCT"],
             "releases": [
                 {"id": "zanth-10.0", "name": "Zanth 10.0", "codename": "Arbor",
                  "version": "10.0.0", "upgrade_allowed_from": "9.0",
                  "tags": "stable,release", "tarn_api_version": "1.3",
                  "best_with": [["folioforge", "2.0"]]},
                 {"id": "zanth-10.1", "name": "Zanth 10.1", "codename": "Birch",
                  "version": "10.1.0", "upgrade_allowed_from": "9.0",
                  "tags": "stable,release", "promoted_tags": "current",
                  "hide_tags": "cli,nonfiltered", "tarn_api_version": "1.4",
                  "dispatcher_api_version": "2",
                  "details_url": "https://example.invalid/zanth/[version]",
                  "caution": "Back up the panel database before upgrading.",
                  "best_with": [["folioforge", "2.1"], ["folioforge", "2.2"]]},
                 {"id": "zanth-11.0-beta", "name": "Zanth 11.0 beta", "codename": "Cedar",
                  "version": "11.0.0", "upgrade_allowed_from": "10.0", "tags": "testing,beta",
                  "hide_tags": "interactive,filtered"},
             ],
             "components": zanth_components()},
            {"id": "folioforge", "name": "Folioforge", "dir": "folioforge", "in_versions": False,
             "incompatible_with": ["zud"],
             "keypackages": [["folioforge-core"]],
             "releases": [
                 {"id": "folioforge-2.1", "name": "Folioforge 2.1", "version": "2.1.0",
                  "upgrade_allowed_from": "2.0", "tags": "stable",
                  "best_with": [["zanth", "10.1"]]},
             ],
             "components": [
                 {"name": "core", "description": "Folioforge core",
                  "keypackages": [{"keypackage": ["folioforge-core"]}],
                  "packages": [{"name": "folioforge-core"}]},
             ]},
        ],
        "addons": [
            {"id": "zanth-backup", "name": "Zanth Backup", "dir": "addons/backup", "lazy": False,
             "releases": [
                 {"id": "zanth-backup-1.2", "name": "Zanth Backup 1.2", "version": "1.2.0",
                  "compatible": [{"product_id": "zanth", "from_version": "10.0",
                                  "to_version": "10.9"}]},
             ],
             "components": [
                 {"name": "backup", "description": "Backup manager",
                  "keypackages": [{"keypackage": ["zanth-backup"]}],
                  "packages": [{"name": "zanth-backup"}]},
             ]},
            {"id": "zanth-migrator", "name": "Zanth Migrator", "dir": "addons/migrator",
             "lazy": True,
             "releases": [
                 {"id": "zanth-migrator-3.0", "name": "Zanth Migrator 3.0", "version": "3.0.0",
                  "compatible": [{"product_id": "zanth", "from_version": "10.0",
                                  "to_version": "11.9"}]},
             ],
             "components": [
                 {"name": "migrator", "description": "Migration tool",
                  "keypackages": [{"keypackage": ["zanth-migrator"]}],
                  "packages": [{"name": "zanth-migrator"}]},
             ]},
        ],
        "builds_per_release": 2,
    }


def scaled_model(products, releases, builds):
    """A large catalogue of the default's shape, for benchmarks."""
    model = default_model()
    template = model["products"][0]
    model["products"] = []
    for p in range(products):
        product = copy.deepcopy(template)
        pid = "zanth" if p == 0 else "product%02d" % p
        product.update({"id": pid, "name": pid.capitalize(), "dir": pid, "in_versions": True})
        product["releases"] = [
            {"id": "%s-%d" % (pid, r), "name": "%s %d" % (pid, r), "version": "1.%d.0" % r,
             "upgrade_allowed_from": "1.0", "tags": "stable" if r % 3 else "stable,testing"}
            for r in range(releases)]
        model["products"].append(product)
    model["builds_per_release"] = builds
    return model


# ----------------------------------------------------------------------------------------------
# Naming


def package_version(package, release):
    """A package's version in a release: its own for the release, its fixed one, or the release's."""
    return package.get("versions", {}).get(release["id"], package.get("version", release["version"]))


def check_script(component, check):
    """The file name of a component's examine script, beside the build files of its release."""
    return "check-%s-%s.sh" % (component["name"], check["scope"])


def prep_command(wait):
    """A "prep" action that marks its start, then waits for the release file; it fails when the file
    does not come in time, so a forgotten release shows."""
    return ("touch %(marker)s && i=0 && while [ ! -e %(release)s ] && [ $i -lt %(rounds)d ]; "
            "do sleep 0.2; i=$((i+1)); done && [ -e %(release)s ]"
            % dict(wait, rounds=wait["seconds"] * 5))


def package_file(name, version, family):
    if family == "deb":
        return "%s_%s-1_amd64.deb" % (name, version)
    return "%s-%s-1.x86_64.rpm" % (name, version)


def build_paths(owner, release, system):
    """(config relative to the owner's directory, repository directory relative to the source)."""
    stem = "builds/%s/%s" % (release["version"], system["slug"])
    return stem + ".inf3", "%s/%s" % (owner["dir"], stem)


def apt_source(release, system):
    """The apt line of a build, relative to its product's directory."""
    return "builds/%s/%s/ ./" % (release["version"], system["slug"])


def systems_for(model):
    return SYSTEMS[:model.get("builds_per_release", 2)]


# ----------------------------------------------------------------------------------------------
# Writing


def write_xml(out, relative, root, manifest):
    path = os.path.join(out, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    ET.indent(root, space="  ")
    data = ET.tostring(root, encoding="unicode")
    with open(path, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n' + data + "\n")
    manifest["xml_files"].append(relative)


def sub(parent, tag, attrs=None, text=None):
    element = ET.SubElement(parent, tag, {k: str(v) for k, v in (attrs or {}).items()})
    if text is not None:
        element.text = str(text)
    return element


def package_element(parent, package, version, family, repo_files):
    """A package element; md5, size and build time come from the real file once it exists."""
    file_name = package_file(package["name"], version, family)
    real = repo_files.get(file_name)
    if real:
        with open(real, "rb") as f:
            data = f.read()
        md5, size = hashlib.md5(data).hexdigest(), len(data)
    else:
        md5, size = hashlib.md5(file_name.encode()).hexdigest(), 1024
    element = sub(parent, "package", {
        "name": package["name"], "file": file_name, "version": version, "release": "1",
        "arch": "amd64" if family == "deb" else "x86_64", "md5": md5,
        "buildtime": BUILD_TIME, "size": size})
    for kind in ("requires", "provides", "conflicts", "obsoletes"):
        for text in package.get(kind, []):
            sub(element, kind, text=text)
    if package.get("settings"):
        settings = sub(element, "settings")
        setting = sub(settings, "setting", {"id": "default_language", "type": "string",
                                            "default-value": "en-US"})
        sub(setting, "name", text="Default language")
    return element


def component_element(root, component, release, family, repo_files):
    attrs = {"name": component["name"], "description": component["description"]}
    for flag in ("hidden", "show_installed_hidden", "deny_implicit_removal"):
        if component.get(flag):
            attrs[flag] = "true"
    for key in ("classes", "environment"):
        if component.get(key):
            attrs[key] = component[key]
    element = sub(root, "component", attrs)
    for package in component.get("packages", []):
        package_element(element, package, package_version(package, release), family, repo_files)
    for section in component.get("keypackages", []):
        keys = sub(element, "keypackages")
        for kind in ("keypackage", "nokeypackage", "keyprovide"):
            for name in section.get(kind, []):
                sub(keys, kind, {"name": name})
    for kind in ("requires", "hardwired_with", "conflicts"):
        for name in component.get(kind, []):
            sub(element, kind, text=name)
    for template in component.get("templates", []):
        sub(element, "yxtemplate", {"name": template})
    if component.get("actions"):
        bootstrapper = sub(element, "bootstrapper")
        for action in component["actions"]:
            sub(bootstrapper, "action", action)
    if component.get("examine"):
        sub(element, "examine", {"scope": "component", "name": component["name"] + "-check",
                                 "script": "check-%s.sh" % component["name"],
                                 "launcher": "/bin/sh", "always": "yes"})
    for check in component.get("checks", []):
        sub(element, "examine", {"scope": check["scope"],
                                 "name": "%s-%s" % (component["name"], check["scope"]),
                                 "script": check_script(component, check)})
    if component.get("prep_wait"):
        bootstrapper = sub(element, "bootstrapper")
        sub(bootstrapper, "action", {"sequence": "prep",
                                     "exec-cmd": prep_command(component["prep_wait"])})
    return element


def owner_keypackages(parent, owner):
    for i, group in enumerate(owner.get("keypackages", [])):
        keys = sub(parent, "keypackages")
        for name in group:
            sub(keys, "keypackage", text=name)
        if i == 0:
            for code in owner.get("upgrade_codes", []):
                sub(keys, "upgrade_code", text=code)
            for code in owner.get("product_codes", []):
                sub(keys, "product_code", text=code)


def installation_types(owner):
    """The owner's own "installation_types" (name, description, components), else "typical" (the
    first two visible components) and "full" (every visible one)."""
    if "installation_types" in owner:
        return owner["installation_types"]
    names = [c["name"] for c in owner.get("components", [])
             if not c.get("hidden") and c.get("in_types", True)]
    return [{"name": "typical", "description": "Typical", "components": names[:2]},
            {"name": "full", "description": "Everything", "components": names}]


def required_program(parent, model, where):
    """The installer version that the model makes the index or the build files require."""
    required = model.get("required_kitwright")
    if required and where in required.get("in", []):
        sub(parent, "exact_required_kitwright", {k: required[k] for k in ("version", "md5")
                                                 if required.get(k)})


def build_file(owner, release, system, repo_files, key):
    """A build file; its repositories lie beside it (their directories are relative to it)."""
    family = system["family"]
    version = release["version"]
    repo_dir = system["slug"]
    root = ET.Element("build", {
        "os_name": system["os_name"], "os_vendor": system["os_vendor"],
        "os_version": system["os_version"], "os_arch": system["os_arch"], "environment": "",
        "os_release_name": system["os_release_name"],
        "yx-template-prefix": owner["id"] + "-",
        "yx-template-suffix": owner.get("yx_template_suffix", "-" + system["slug"]),
        "build_dir": repo_dir, "headers_file": HEADERS, "persistent_repo": "no",
        "send_feedback": release.get("send_feedback", "yes"),
        "uninstall_support": release.get("uninstall_support", "yes"),
        "gpgcheck": family})
    if family == "deb":
        root.set("apt_source", apt_source(release, system))
        root.set("persistent_apt_source", apt_source(release, system))
    else:
        root.set("yum_repo_id", "%s-%s" % (owner["id"], version))
        root.set("yum_repo_name", "%s %s" % (owner["name"], version))
    product = sub(root, "product", {"id": owner["id"]})
    owner_keypackages(product, owner)
    sub(product, "release", {"id": release["id"], "name": release["name"],
                             "codename": release.get("codename", ""), "version": version,
                             "upgrade_allowed_from": release.get("upgrade_allowed_from", version),
                             "parameters_file": "parameters.xml"})
    components = owner.get("components", [])
    for component in components:
        component_element(root, component, release, family, repo_files)
    types = sub(root, "installation_types")
    for declared in installation_types(owner):
        element = sub(types, "type", {"name": declared["name"],
                                      "description": declared["description"]})
        for name in declared["components"]:
            sub(element, "component", text=name)
    mail = [c["name"] for c in components if c["name"] in ("mail", "mail-lite")]
    if len(mail) == 2:
        groups = sub(root, "component_groups")
        services = sub(groups, "group", {"name": "services", "description": "Services",
                                         "type": "group"})
        sub(services, "component", {"name": "web"})
        radio = sub(services, "group", {"name": "mailserver", "description": "Mail server",
                                        "type": "radio"})
        sub(radio, "component", {"name": "mail", "default": "true"})
        sub(radio, "component", {"name": "mail-lite"})
        rules = sub(radio, "switch_rules")
        sub(rules, "allow", {"from": "mail-lite", "to": "mail"})
    thirdparty = sub(root, "thirdparty", {"thirdparty_dir": repo_dir + THIRDPARTY,
                                          "persistent_repo": "yes"})
    package_element(thirdparty, {"name": owner["id"] + "-thirdparty-lib"}, "1.0", family,
                    repo_files)
    sub(root, "extras", {"extras_dir": repo_dir + EXTRAS, "headers_file": HEADERS})
    removable = sub(root, "removable_packages")
    sub(removable, "package", {"name": owner["id"] + "-obsolete"})
    force = sub(root, "force_remove_packages")
    sub(force, "package", {"name": owner["id"] + "-broken"})
    preferred = sub(root, "preferred_packages")
    sub(preferred, "package", {"name": owner["id"] + "-base"})
    bootstrapper = sub(root, "bootstrapper")
    package_element(bootstrapper, {"name": owner["id"] + "-bootstrap"}, version, family,
                    repo_files)
    sub(bootstrapper, "pre-install", text="echo preparing")
    sub(bootstrapper, "post-install", text="echo done")
    sub(root, "examine", {"scope": "build", "name": "disk-space", "script": "check-disk.sh",
                          "options": "--min=1G"})
    if key:
        sub(root, "gpg_public_key", text=key)
    return root


def release_packages(owner, release, system):
    family = system["family"]
    packages = [p for c in owner.get("components", []) for p in c.get("packages", [])]
    return [{"name": p["name"], "version": package_version(p, release),
             "file": package_file(p["name"], package_version(p, release), family)}
            for p in packages]


def family_arch(family, arch=None):
    return arch or ("amd64" if family == "deb" else "x86_64")


def package_record(family, package, version):
    """A package of the model as the repository builder takes it."""
    record = {"family": family, "name": package["name"], "version": package.get("version", version),
              "release": "1", "arch": family_arch(family, package.get("arch")),
              "requires": package.get("requires", []), "provides": package.get("provides", []),
              "conflicts": package.get("conflicts", [])}
    if package.get("postinst"):
        record["postinst"] = package["postinst"]
    for optional in ("epoch", "pre_install_fails"):
        if package.get(optional):
            record[optional] = package[optional]
    return record


def extra_records(model, key, family, version, kind=None):
    """The model's packages under `key` of the family, those for the repository kind only if given."""
    return [package_record(family, p, version) for p in model.get(key, [])
            if p.get("family", family) == family and (kind is None or p.get("repository", "b") == kind)]


def build_repositories(model, owner, release, system):
    """The repositories of one build, each a dict: kind, path (relative to OUT) and what
    repositories.RepositoryCache takes."""
    family, version = system["family"], release["version"]
    _, repo_dir = build_paths(owner, release, system)
    dist = [package_record(family, p, package_version(p, release))
            for c in owner.get("components", []) for p in c.get("packages", [])]
    dist.append(package_record(family, {"name": owner["id"] + "-bootstrap"}, version))
    dist += extra_records(model, "extra_packages", family, version, "b")
    thirdparty = [package_record(family, {"name": owner["id"] + "-thirdparty-lib"}, "1.0")]
    thirdparty += extra_records(model, "extra_packages", family, version, "t")
    extras = [package_record(family, {"name": owner["id"] + "-extras-tools"}, version)]
    extras += extra_records(model, "extra_packages", family, version, "x")
    common = {"family": family, "version": system["os_version"],
              "codename": system["os_release_name"]}
    return [dict(common, kind="b", path=repo_dir, packages=dist, headers=HEADERS),
            dict(common, kind="t", path=repo_dir + THIRDPARTY, packages=thirdparty, headers=""),
            dict(common, kind="x", path=repo_dir + EXTRAS, packages=extras, headers=HEADERS)]


def system_repositories(model):
    """A repository of the model's "system_packages" per family that has any: what the operating
    system's own sources offer beside the product (kind "s", no build)."""
    found = []
    for system in SYSTEMS:
        family = system["family"]
        packages = extra_records(model, "system_packages", family, "1.0")
        if packages and family not in [r["family"] for r in found]:
            found.append({"family": family, "version": system["os_version"],
                          "codename": system["os_release_name"], "kind": "s",
                          "path": SYSTEM_REPOSITORY + family, "packages": packages, "headers": ""})
    return found


def phase_packages(model, out, manifest, cache):
    """Signed repositories of real packages for every build; returns the package files by build
    repository directory and the armored public key."""
    wanted = []
    for _, owner, release, system in each_build(model):
        config, repo_dir = build_paths(owner, release, system)
        for repository in build_repositories(model, owner, release, system):
            wanted.append((owner["dir"] + "/" + config, repo_dir, repository))
    wanted += [("", "", repository) for repository in system_repositories(model)]
    with repositories.locked(cache), repositories.Signer(cache) as signer, \
            repositories.RepositoryCache(cache, signer) as store:
        cached = store.fill([repository for *_, repository in wanted])
    files = {}
    for (config, repo_dir, repository), source in zip(wanted, cached):
        target = os.path.join(out, repository["path"])
        shutil.copytree(source, target)
        listed = repository["packages"]
        for package in listed:
            name = repositories.file_name(package)
            files.setdefault(repo_dir, {})[name] = os.path.join(target, name)
        manifest["repositories"].append({
            "path": repository["path"], "kind": repository["kind"],
            "family": repository["family"], "build_config": config,
            "headers_file": repository["headers"],
            "packages": [{"name": p["name"], "version": repositories.full_version(p),
                          "arch": p["arch"], "file": repositories.file_name(p)}
                         for p in listed]})
    key = signer.armored()
    with open(os.path.join(out, "key.asc"), "w") as f:
        f.write(key)
    with open(os.path.join(out, "keyring.gpg"), "wb") as f:
        f.write(signer.keyring())
    manifest["key_fingerprint"] = signer.fingerprint
    manifest["public_key"] = "key.asc"
    manifest["keyring"] = "keyring.gpg"
    written = ["key.asc", "keyring.gpg"]
    for repository in manifest["repositories"]:
        top = os.path.join(out, repository["path"])
        written += [os.path.relpath(os.path.join(d, f), out)
                    for d, _, names in os.walk(top) for f in names]
    manifest["repository_files"] = sorted(written)
    return files, key


def each_build(model):
    for kind in ("products", "addons"):
        for owner in model[kind]:
            for release in owner["releases"]:
                for system in systems_for(model):
                    yield kind, owner, release, system


def write_check_scripts(out, owner, release, manifest):
    """The examine scripts of the components' checks, beside the release's build files: each prints
    its name and ends with the check's exit code."""
    directory = "%s/builds/%s" % (owner["dir"], release["version"])
    for component in owner.get("components", []):
        for check in component.get("checks", []):
            relative = "%s/%s" % (directory, check_script(component, check))
            path = os.path.join(out, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write("#!/bin/sh\necho '%s: %s check of %s'\nexit %d\n"
                        % (check_script(component, check), check["scope"], component["name"],
                           check["exit"]))
            os.chmod(path, 0o755)
            manifest["script_files"].append(relative)


def phase_builds(model, out, manifest, repo_files, key):
    for kind, owner, release, system in each_build(model):
        config, repo_dir = build_paths(owner, release, system)
        root = build_file(owner, release, system, repo_files.get(repo_dir, {}), key)
        required_program(root, model, "builds")
        write_xml(out, "%s/%s" % (owner["dir"], config), root, manifest)
    for kind in ("products", "addons"):
        for owner in model[kind]:
            for release in owner["releases"]:
                write_check_scripts(out, owner, release, manifest)


def build_elements(parent, owner, release, model):
    for system in systems_for(model):
        config, _ = build_paths(owner, release, system)
        attrs = {k: system[k] for k in ("os_name", "os_vendor", "os_version", "os_arch")}
        attrs["config"] = config
        sub(parent, "build", attrs)


def release_element(root, owner, release, model):
    attrs = {k: release[k] for k in ("id", "name", "version", "upgrade_allowed_from")}
    for key in ("codename", "details_url", "tags", "promoted_tags", "hide_tags",
                "tarn_api_version", "dispatcher_api_version"):
        if release.get(key):
            attrs[key] = release[key]
    element = sub(root, "release", attrs)
    if release.get("caution"):
        sub(element, "caution", text=release["caution"])
    build_elements(element, owner, release, model)
    if release.get("best_with"):
        info = sub(element, "compatibility_info")
        by_product = {}
        for product_id, version in release["best_with"]:
            by_product.setdefault(product_id, []).append(version)
        for product_id, versions in by_product.items():
            best = sub(info, "best_with", {"product_id": product_id})
            for version in versions:
                sub(best, "version", text=version)


def phase_products(model, out, manifest):
    for product in model["products"]:
        root = ET.Element("product", {"id": product["id"]})
        owner_keypackages(root, product)
        sub(root, "active_icon", {"src": "icons/%s.png" % product["id"]})
        sub(root, "product_site", {"src": "https://example.invalid/%s" % product["id"]})
        # Newest first, as catalogues list them: a tier keeps the first release that carries it.
        for release in reversed(product["releases"]):
            release_element(root, product, release, model)
        write_xml(out, product["dir"] + "/products.inf3", root, manifest)
    for addon in model["addons"]:
        root = ET.Element("addon")
        for release in addon["releases"]:
            element = sub(root, "release", {k: release[k] for k in ("id", "name", "version")})
            info = sub(element, "compatibility_info")
            for record in release["compatible"]:
                sub(info, "compatible", record)
            build_elements(element, addon, release, model)
        write_xml(out, addon["dir"] + "/addon.inf3", root, manifest)


def index_root(model, everything):
    root = ET.Element("vendors")
    required_program(root, model, "index")
    products = sub(sub(root, "vendor", {"name": model["vendor"]}), "products")
    for product in model["products"]:
        if not everything and not product.get("in_versions", True):
            continue
        attrs = {"id": product["id"], "name": product["name"],
                 "reference": product["dir"] + "/products.inf3"}
        if product.get("hidden_to_install"):
            attrs["hidden_to_install"] = "true"
        element = sub(products, "product", attrs)
        for other in product.get("incompatible_with", []):
            sub(element, "incompatible_with", {"prod_id": other})
    for addon in model["addons"]:
        sub(products, "lazy_addon" if addon.get("lazy") else "addon",
            {"id": addon["id"], "name": addon["name"], "reference": addon["dir"] + "/addon.inf3"})
    return root


def phase_index(model, out, manifest):
    write_xml(out, "products.inf3", index_root(model, True), manifest)
    write_xml(out, "versions.inf3", index_root(model, False), manifest)


def manifest_owner(model, owner, kind):
    entry = {"id": owner["id"], "name": owner["name"],
             "reference": owner["dir"] + ("/products.inf3" if kind == "products" else "/addon.inf3"),
             "releases": []}
    if kind == "products":
        entry["in_versions"] = owner.get("in_versions", True)
        entry["incompatible_with"] = owner.get("incompatible_with", [])
        entry["keypackages"] = owner.get("keypackages", [])
    else:
        entry["lazy"] = bool(owner.get("lazy"))
    entry["components"] = [manifest_component(c) for c in owner.get("components", [])]
    for release in owner["releases"]:
        builds = []
        for system in systems_for(model):
            config, repo_dir = build_paths(owner, release, system)
            builds.append({"config": owner["dir"] + "/" + config, "repository": repo_dir,
                           "source": owner["dir"], "build_dir": system["slug"],
                           "apt_source": apt_source(release, system) if system["family"] == "deb" else "",
                           "os_vendor": system["os_vendor"], "os_version": system["os_version"],
                           "os_arch": system["os_arch"], "family": system["family"],
                           "packages": release_packages(owner, release, system)})
        entry["releases"].append({"id": release["id"], "name": release["name"],
                                  "version": release["version"], "builds": builds})
    return entry


def manifest_component(component):
    """What tests need of a component: its packages, whether the installation types name it, the
    environment it needs (empty: any), its checks and its waiting "prep" action."""
    entry = {"name": component["name"], "description": component["description"],
             "hidden": bool(component.get("hidden")),
             "environment": component.get("environment", ""),
             "in_types": not component.get("hidden") and component.get("in_types", True),
             "requires": component.get("requires", []),
             "packages": [p["name"] for p in component.get("packages", [])],
             "checks": [{"scope": c["scope"], "exit": c["exit"],
                         "script": check_script(component, c)} for c in component.get("checks", [])],
             "failing_postinst": [p["name"] for p in component.get("packages", [])
                                  if p.get("postinst")]}
    if component.get("prep_wait"):
        entry["prep_wait"] = component["prep_wait"]
    return entry


def merge_model(model, path):
    with open(path, encoding="utf-8") as f:
        override = json.load(f)
    if not isinstance(override, dict):
        sys.exit("make_mirror.py: %s: the model override must be a JSON object" % path)
    model.update(override)
    return model


def apply_component_changes(model):
    for full_name, fields in model.get("component_changes", {}).items():
        owner_id, name = full_name.split("/", 1)
        found = [c for kind in ("products", "addons") for o in model[kind] if o["id"] == owner_id
                 for c in o.get("components", []) if c["name"] == name]
        if not found:
            sys.exit("make_mirror.py: component_changes: no component %s" % full_name)
        for component in found:
            component.update(fields)
    return model


def main():
    parser = argparse.ArgumentParser(description="Write a test catalogue mirror.")
    parser.add_argument("out")
    parser.add_argument("--model", help="JSON object merged over the default model")
    parser.add_argument("--phase", action="append", choices=PHASES,
                        help="run only the named phases (repeatable; default: all)")
    parser.add_argument("--scale", nargs=3, type=int, metavar=("PRODUCTS", "RELEASES", "BUILDS"),
                        help="a large generated catalogue instead of the default one (without "
                             "packages unless --phase names them)")
    parser.add_argument("--cache", help="directory keeping built packages and the signing key "
                                        "between runs (default: $KW_MIRROR_CACHE, else none)")
    args = parser.parse_args()
    model = scaled_model(*args.scale) if args.scale else default_model()
    if args.model:
        model = apply_component_changes(merge_model(model, args.model))
    if model.get("builds_per_release", 2) > len(SYSTEMS):
        sys.exit("make_mirror.py: at most %d builds per release" % len(SYSTEMS))
    phases = args.phase or [p for p in PHASES if not (args.scale and p == "packages")]
    os.makedirs(args.out, exist_ok=True)
    manifest = {"products": [manifest_owner(model, p, "products") for p in model["products"]],
                "addons": [manifest_owner(model, a, "addons") for a in model["addons"]],
                "index_files": ["products.inf3", "versions.inf3"] if "index" in phases else [],
                "repositories": [], "key_fingerprint": "", "public_key": "", "keyring": "",
                "repository_files": [], "xml_files": [], "script_files": []}
    repo_files, key = {}, ""
    if "packages" in phases:
        cache = args.cache or os.environ.get("KW_MIRROR_CACHE")
        scratch = None if cache else tempfile.mkdtemp(prefix="kw-mirror-cache-")
        try:
            repo_files, key = phase_packages(model, args.out, manifest, cache or scratch)
        finally:
            if scratch:
                shutil.rmtree(scratch, ignore_errors=True)
    if "builds" in phases:
        phase_builds(model, args.out, manifest, repo_files, key)
    if "products" in phases:
        phase_products(model, args.out, manifest)
    if "index" in phases:
        phase_index(model, args.out, manifest)
    with open(os.path.join(args.out, "mirror.json"), "w", encoding="utf-8") as f:
        json.dump(manifest, f, indent=1, sort_keys=True)
        f.write("\n")


if __name__ == "__main__":
    main()
