#!/bin/sh
# The README's two commands: `./make.sh run` and `./make.sh test` (any make
# target works). Installs the Debian packages ORVA needs, make among them,
# which a bare Debian 12 lacks, then runs make with the same arguments.
set -e
cd "$(dirname "$0")"
bash deps/install
exec make "$@"
