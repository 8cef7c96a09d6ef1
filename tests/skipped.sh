#!/usr/bin/env bash
# The test of a part that this build left out, for want of a package.
#
#   skipped.sh WHY...
source "$(dirname "$0")/common.sh"
skip "$@"
