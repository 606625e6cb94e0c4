"""Sphinx configuration of the barometra documentation.

Built by scripts/build_docs.sh with warnings as errors, every reference
checked (nitpicky) and every example run (sphinx.ext.doctest); the figures
are drawn by matplotlib's plot directive during the build.
"""

import os

import matplotlib

import barometra

matplotlib.use("Agg")

project = "barometra"
author = "the barometra developers"
copyright = "the barometra developers"
release = version = barometra.__version__

extensions = [
    "myst_parser",
    "numpydoc",
    "sphinx.ext.autodoc",
    "sphinx.ext.autosummary",
    "sphinx.ext.doctest",
    "sphinx.ext.mathjax",
    "matplotlib.sphinxext.plot_directive",
]

source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
# Pages of features still being written: each joins the toctree of index.md,
# and leaves this list, when its feature does.
exclude_patterns = ["_build"]

nitpicky = True
# There is no network in the build, so no intersphinx: the names of Python,
# NumPy, matplotlib and Dask that docstrings mention stay unlinked text.
nitpick_ignore_regex = [
    (r"py:.*", r"(numpy|np|npt|matplotlib|dask|distributed|dataclasses|json|warnings|os|pathlib)\..*"),
    # The built-in exceptions and warnings the docstrings name.
    (r"py:(class|exc|obj)", r"(Value|Type|Key|Index|Lookup|Arithmetic|NotImplemented|Runtime|"
                            r"OS|Memory|FileNotFound|Overflow|ZeroDivision)Error"
                            r"|Exception|(User|Runtime)?Warning"),
]

# The types are in the numpydoc Parameters sections; annotations would repeat
# them with the private aliases of the package.
autodoc_typehints = "none"
autodoc_member_order = "bysource"
# The page outline lists pressure(), not BirchMurnaghan3.pressure().
toc_object_entries_show_parents = "hide"
autosummary_generate = True
numpydoc_show_class_members = False
numpydoc_class_members_toctree = False

myst_enable_extensions = ["colon_fence", "deflist", "dollarmath"]
myst_heading_anchors = 3
# Formulas keep their primes: K0' and K0'' are not quotation marks.
smartquotes = False

# The docstrings' own examples run under pytest (tests/python/test_docs.py), in
# their modules' namespaces; here only the examples of these pages run.
doctest_test_doctest_blocks = ""
doctest_global_setup = """
import numpy as np
import matplotlib
matplotlib.use("Agg")
"""
doctest_default_flags = (__import__("doctest").ELLIPSIS
                         | __import__("doctest").NORMALIZE_WHITESPACE
                         | __import__("doctest").DONT_ACCEPT_TRUE_FOR_1)

plot_include_source = True
plot_html_show_source_link = False
plot_html_show_formats = False
plot_formats = [("png", 110)]
plot_rcparams = {"figure.dpi": 110}
plot_pre_code = "import numpy as np\nimport matplotlib.pyplot as plt\n"

html_theme = "pydata_sphinx_theme"
html_title = "barometra"
html_theme_options = {
    "navigation_with_keys": False,
    "show_toc_level": 2,
    "secondary_sidebar_items": ["page-toc"],
    "footer_start": ["copyright"],
    "footer_end": [],
}
# The guide's pages have no subpages, so only the reference gets the left column.
html_sidebars = {page: [] for page in ("index", "getting_started", "tour", "units", "fitting",
                                        "scales", "hugoniot", "cli", "dask", "performance")}
html_show_sourcelink = False


def _write_model_pages(folder):
    """One page per model class of barometra.eos, from the package itself.

    The classes come from the engine's model table, so their list is read
    here rather than copied into the sources; an alias (BM3 for
    BirchMurnaghan3) is listed on its class's page.
    """
    from barometra import eos

    os.makedirs(folder, exist_ok=True)
    aliases = {}
    for name in eos.__all__:
        aliases.setdefault(getattr(eos, name).__name__, []).append(name)
    for name, names in aliases.items():
        text = (f"{name}\n{'=' * len(name)}\n\n.. currentmodule:: barometra.eos\n\n"
                f".. autoclass:: {name}\n   :members:\n   :inherited-members:\n")
        for alias in names[1:]:
            text += f"\n.. data:: {alias}\n\n   Another name of :class:`{name}`.\n"
        path = os.path.join(folder, f"{name}.rst")
        # Rewritten only when changed, so that Sphinx rereads nothing it need not.
        if not os.path.exists(path) or open(path, encoding="utf-8").read() != text:
            with open(path, "w", encoding="utf-8") as page:
                page.write(text)


_write_model_pages(os.path.join(os.path.dirname(__file__), "api", "models"))
