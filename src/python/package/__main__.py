"""`python -m korvane`: the command line."""

import sys

from korvane._cli import main

sys.exit(main())
