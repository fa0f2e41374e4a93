#!/bin/sh
# The README's two commands: `./make.sh run` and `./make.sh test` (any make
# target works). Installs the Debian packages building and running ORVA need,
# make among them, which a bare Debian 12 lacks, then runs make with the same
# arguments; the targets install what else they need (the tests' packages).
set -e
cd "$(dirname "$0")"
bash deps/install
exec make "$@"
