"""Imports a helper script of assets/ (a file without a .py suffix) as a module."""

import importlib.machinery
import importlib.util
import os

ASSETS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "assets")


def load_script(name):
    path = os.path.join(ASSETS, name)
    loader = importlib.machinery.SourceFileLoader(name, path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(name, loader))
    loader.exec_module(module)
    return module
