"""`python -m korvane`: the command line."""

import sys

from korvane._cli import main

# Imported by tools (a type checker's stub test, say) without running the command line.
if __name__ == "__main__":
    sys.exit(main())
