#!/usr/bin/env bash
# Checks the man page: mandoc finds nothing to warn about, and its synopsis
# is the first line of tarvel --help, which says the rest in four more lines.
#
#   man_check.sh TARVEL MAN_PAGE
set -euo pipefail
source "$(dirname "$0")/common.sh"
tarvel=$1 page=$2

need mandoc mandoc
mandoc -T lint -W warning "$page"

# The rendered synopsis, without the overstrikes that make bold.
synopsis=$(mandoc -T ascii "$page" | sed 's/.\x08//g' | sed -n '/^SYNOPSIS/{n;s/^ *//;p}')
help=$("$tarvel" --help)
echo "man page: $synopsis"
echo "--help:   $(head -n 1 <<<"$help")"
[ "usage: $synopsis" = "$(head -n 1 <<<"$help")" ]
[ "$(wc -l <<<"$help")" -eq 6 ]
