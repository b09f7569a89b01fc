#ifndef KW_TESTS_SUPPORT_GENERATEDMIRROR_H
#define KW_TESTS_SUPPORT_GENERATEDMIRROR_H

#include <memory>
#include <string>
#include <vector>

#include <boost/property_tree/ptree.hpp>

#include "tests/support/TempDir.h"

// A catalogue written by tests/support/mirror/make_mirror.py into a fresh directory, with the
// manifest (mirror.json) it wrote: tests read ids, versions and paths from there.
//
// Beside the catalogue the generator writes real, signed package repositories (see the script's own
// description for the layout). In short, for the build file P/builds/V/SLUG.inf3 of product directory P:
// - its "build_dir" is SLUG (relative to the build file): the repository P/builds/V/SLUG/, with
//   SLUG-thirdparty/ and SLUG-extras/ beside it; the build and extras ones hold "headers.gz", the
//   gzipped cache records of their packages;
// - a Debian-family build has the apt line "builds/V/SLUG/ ./" (relative to P: a Build whose source is
//   P) over a flat apt repository with Packages, Release, InRelease and Release.gpg; a Red Hat one
//   has rpm repositories (repodata/) of signed rpms;
// - every build file carries the signing key as "gpg_public_key"; key.asc (armored) and keyring.gpg
//   (binary, for apt's signed-by) hold it too, the manifest names its fingerprint ("key_fingerprint");
// - the packages are installable (dpkg, apt-get, rpm, dnf): each installs
//   /usr/share/kitwright-mirror/NAME.ARCH and declares the model's requires, provides, conflicts;
// - the manifest's "repositories" list each repository: path (relative to the mirror), kind ("b",
//   "t", "x"), family ("deb", "rpm"), build_config, headers_file and packages (name, version, arch,
//   file); "repository_files" lists every file of the package phase.
// - the manifest's products list their "components": name, packages, "in_types" (named by the
//   installation types), "checks" (scope, exit code, script), "failing_postinst" (packages whose
//   configuration fails) and "prep_wait" (marker, release, seconds: a "prep" action that touches the
//   marker, then waits for the release file); "script_files" lists the examine scripts written.
// A model's "extra_packages" (objects with name, version, arch, requires, provides, conflicts, family,
// and optionally epoch, pre_install_fails and repository "b", "t" or "x") are added to that repository
// of every build of their family, unnamed in the build files; its "system_packages" make one
// repository per family, system-FAMILY/ (kind "s", build_config ""), as the system's own sources.
// Built packages and repositories are cached in the build tree, so only the first mirror is slow.
// The mirror's directories are readable by everyone (apt reads them as its own user).
class GeneratedMirror {
public:
    // The generator's options after OUT (e.g. {"--model", file}); throws when it fails. The mirror lies
    // in a fresh directory under `parent` (under /var/tmp, children with a private /tmp or an overlay
    // of / see it).
    explicit GeneratedMirror(const std::vector<std::string>& options = {}, const std::string& parent = "/tmp");

    // The default mirror, generated once into the test cache for the generator's present text and
    // shared by every test process after that (a lock makes concurrent first users wait). Never change
    // it: a test that needs another mirror makes its own.
    static const GeneratedMirror& shared();

    const std::string& path() const { return root; }
    const boost::property_tree::ptree& manifest() const { return manifest_; }
    // The values of one field of every element of a manifest array, e.g. ("products", "id").
    std::vector<std::string> list(const std::string& array, const std::string& field = "") const;

    // A product (or addon) of the manifest by id, one of its releases by position, one of its components.
    const boost::property_tree::ptree& owner(const std::string& id) const;
    const boost::property_tree::ptree& release(const std::string& product, size_t index) const;
    const boost::property_tree::ptree& component(const std::string& product, const std::string& name) const;
    // The version ("1.0-1") of a package in the Debian build of a release of a product.
    std::string debVersion(const std::string& product, size_t release, const std::string& package) const;

    // One repository of the manifest: the build file's config and the kind.
    const boost::property_tree::ptree& repository(const std::string& build_config, char kind = 'b') const;
    // The config (relative to the mirror) of the first build of the family ("deb" or "rpm").
    std::string firstBuild(const std::string& family) const;

    static std::string script();
    // The model of the package tools' tests (tests/data/mirror/package-tool-model.json): small "kwt-"
    // packages with dependencies, conflicts, two versions of one name, an epoch, a foreign architecture
    // and a failing pre-installation script, and a system repository beside the product's.
    static std::string packageToolModel();

private:
    struct Shared {};
    explicit GeneratedMirror(Shared);
    void generate(const std::string& out, const std::vector<std::string>& options);

    std::unique_ptr<TempDir> dir;
    std::string root;
    boost::property_tree::ptree manifest_;
};

#endif
