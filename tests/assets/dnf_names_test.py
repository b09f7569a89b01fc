"""Every name of dnf's library that the dnf helper relies on exists in the installed dnf."""

import logging
import unittest

import dnf
import dnf.callback
import dnf.db.group
import dnf.exceptions
import dnf.i18n
import dnf.lock
import dnf.logging
import dnf.transaction
import libdnf.transaction

MODULE_NAMES = [
    (dnf, ["Base"]),
    (dnf.logging, ["SUPERCRITICAL", "DDEBUG"]),
    (dnf.lock, ["build_rpmdb_lock"]),
    (dnf.exceptions, ["ProcessLockError", "PackagesNotInstalledError", "DepsolveError", "DownloadError",
                      "Error"]),
    (libdnf.transaction, ["TransactionItemAction_INSTALL", "TransactionItemAction_UPGRADE",
                          "TransactionItemAction_REMOVE", "TransactionItemState_ERROR"]),
    (dnf.db.group, ["RPMTransaction"]),
    (dnf.callback, ["TransactionProgress", "DownloadProgress", "STATUS_OK", "STATUS_FAILED",
                    "STATUS_ALREADY_EXISTS", "STATUS_MIRROR", "STATUS_DRPM"]),
    (dnf.transaction, ["ACTIONS", "TRANS_POST", "TRANS_PREPARATION", "PKG_SCRIPTLET", "PKG_INSTALL"]),
    (dnf.i18n, ["ucd"]),
]

BASE_NAMES = ["init_plugins", "pre_configure_plugins", "read_all_repos", "configure_plugins", "fill_sack",
              "upgrade", "install", "remove", "resolve", "download_packages", "do_transaction", "history",
              "__enter__", "__exit__"]


class DnfNamesTest(unittest.TestCase):
    def test_module_names(self):
        for module, names in MODULE_NAMES:
            for name in names:
                with self.subTest(module=module.__name__, name=name):
                    self.assertTrue(hasattr(module, name))

    def test_base_logging_configuration_and_lock(self):
        base = dnf.Base()
        for name in BASE_NAMES:
            with self.subTest(name=name):
                self.assertTrue(hasattr(base, name))
        logs = base._logging
        self.assertTrue(hasattr(logs, "_setup_from_dnf_conf"))
        for name in ("stdout_handler", "stderr_handler"):
            self.assertTrue(hasattr(logs, name))
        conf = base.conf
        for name in ("install_weak_deps", "assumeyes", "persistdir", "pluginpath"):
            with self.subTest(name=name):
                self.assertTrue(hasattr(conf, name))
        self.assertTrue(hasattr(conf.substitutions, "update_from_etc"))
        lock = dnf.lock.build_rpmdb_lock("/var/tmp/kw-no-such-dir", True)
        self.assertTrue(hasattr(lock, "count") and hasattr(lock, "target"))
        self.assertFalse(lock.blocking)
        self.assertTrue(hasattr(base.repos, "iter_enabled") and hasattr(base.repos, "get_matching"))
        self.assertTrue(hasattr(base.repos.all(), "set_progress_bar"))
        self.assertIsInstance(logging.getLogger("dnf.rpm"), logging.Logger)
        base.close()


if __name__ == "__main__":
    unittest.main()
