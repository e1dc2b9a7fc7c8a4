#!/bin/sh
# Runs the link of one subsystem's link check (RULE_LAUNCH_LINK) and, when it fails,
# says what the undefined references above mean.
#   link_check_launcher.sh <folder> <link command...>
folder=$1
shift
"$@" && exit 0
status=$?
echo "Link check: $folder/ refers to something that neither $folder/ nor the folders it may use" >&2
echo "define (the undefined references above); see docs/structure.md." >&2
exit $status
