#!/usr/bin/env bash
# Runs check.py with Debian's Python, which has Selenium, against Debian's
# Chromium. Exits 77, which the test reports as skipped, where they or
# cpp-httplib (for the server, which the build then leaves out) are missing,
# unless TARVEL_NO_SKIP is set (as in CI): then that is a failure.
#
#   check.sh DUMP SERVER PAGE...
set -euo pipefail
source "$(dirname "$0")/../skip.sh"
if [ ! -x /usr/bin/chromium ] || [ ! -x /usr/bin/chromedriver ] ||
    ! /usr/bin/python3 -c 'import selenium' 2>/dev/null || [ ! -x "$2" ]; then
    skip "Chromium, Selenium or cpp-httplib is missing, so the pages cannot be rendered" \
        "(apt-get install chromium chromium-driver python3-selenium libcpp-httplib-dev pkg-config)"
fi
exec /usr/bin/python3 "$(dirname "$0")/check.py" "$@"
