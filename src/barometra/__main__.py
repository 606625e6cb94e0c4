"""``python -m barometra``: the command line; without a subcommand, the demonstration."""

from ._cli import main

if __name__ == "__main__":  # not when a tool imports every module of the package
    raise SystemExit(main())
