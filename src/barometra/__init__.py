"""barometra: equations of state of solids at high pressure and temperature.

The numerical core is the private extension module ``barometra._engine``;
failures surface as the exception classes of :mod:`barometra.errors`.
"""

__version__ = "0.1.0"

__all__ = ["__version__"]
