#!/usr/bin/env bash
# The mutation check (see docs/testing.md); every argument goes to scripts/mutate.py.
exec python3 "$(dirname "$0")/mutate.py" "$@"
