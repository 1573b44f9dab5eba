#!/bin/bash
# The Win32 ui backend's own tests (duskpane_win32_tests, the Win32Ui cases)
# under Wine on a private X display: Wine's windows need one.
# Usage: ui_xvfb.sh path/to/duskpane.exe   (the tests are built beside it;
# exit 77: tools missing, skipped)
set -u

program=${1:?usage: ui_xvfb.sh path/to/duskpane.exe}
tests="$(dirname "$program")/duskpane_win32_tests.exe"
# shellcheck source=wine_session.bash
source "$(dirname "$0")/wine_session.bash"
session_begin Xvfb
[ -f "$tests" ] || { echo "FAILED: $tests is missing"; exit 1; }

x_display_start
make_prefix
timeout 150 "$wine" "$tests" --gtest_filter='Win32UiTest.*:Win32OpenFileFilter.*:Win32/PeerScenarios/*' --gtest_brief=1 2>&1 | tee "$work/tests.log"
status=${PIPESTATUS[0]}
if grep -q '^\[  SKIPPED' "$work/tests.log"; then
    echo "FAILED: cases were skipped although a display was there"
    exit 1
fi
exit "$status"
