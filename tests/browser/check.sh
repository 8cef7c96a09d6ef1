#!/usr/bin/env bash
# Runs check.py with Debian's Python, which has Selenium, against Debian's
# Chromium; skipped where they are missing (tests/common.sh).
#
#   check.sh DUMP SERVER PAGE...
set -euo pipefail
source "$(dirname "$0")/../common.sh"
need "chromium chromium-driver" /usr/bin/chromium /usr/bin/chromedriver
/usr/bin/python3 -c 'import selenium' 2>/dev/null ||
    skip "Selenium is missing, so this check cannot run (apt-get install python3-selenium)"
exec /usr/bin/python3 "$(dirname "$0")/check.py" "$@"
