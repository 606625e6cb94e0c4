"""``python -m barometra``: refits the bundled published datasets (see :mod:`barometra._demo`)."""

import sys

from ._demo import main

if __name__ == "__main__":
    sys.exit(main())
