"""Every example in the README and in the package's docstrings runs and prints what it shows."""

import doctest
import importlib
import inspect
import pathlib
import pkgutil

import pytest

import barometra

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
FLAGS = doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE


class PackageFinder(doctest.DocTestFinder):
    """Finds the examples of whatever barometra defines, also where a class's
    __module__ names its public home rather than the file defining it."""

    def _from_module(self, module, object):
        owner = getattr(object, "fget", object)  # a property's getter
        name = getattr(owner, "__module__", None) or getattr(inspect.getmodule(owner), "__name__", "")
        return str(name).startswith("barometra")


def docstring_examples():
    """The docstring examples of every module, each once although classes are re-exported."""
    finder = PackageFinder(exclude_empty=True)
    found = {}
    for info in pkgutil.walk_packages(barometra.__path__, "barometra."):
        if info.name == "barometra._engine":
            continue
        module = importlib.import_module(info.name)
        for test in finder.find(module, info.name):
            if test.examples:
                found.setdefault((test.filename, test.lineno), test)
    return sorted(found.values(), key=lambda test: test.name)


EXAMPLES = docstring_examples()


@pytest.mark.parametrize("test", EXAMPLES, ids=lambda test: test.name)
def test_docstring_examples(test):
    runner = doctest.DocTestRunner(optionflags=FLAGS)
    runner.run(test)
    assert runner.failures == 0, f"{test.name} failed; run it with python -m doctest -v"


def test_readme_examples():
    failures, attempted = doctest.testfile(str(README), module_relative=False, optionflags=FLAGS)
    assert attempted > 0 and failures == 0
