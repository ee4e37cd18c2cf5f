#!/usr/bin/env bash
# The reader never includes the converter, and only the backend includes the reader.
set -u
root=${1:-.}
status=0
if grep -rnE '#include *"scrivane/' "$root/src/kestrum"; then
  echo "the reader includes the converter"; status=1
fi
if grep -rnE '#include *"kestrum/' "$root/src/scrivane" | grep -v 'src/scrivane/backend/kestrum_backend\.cpp:'; then
  echo "only backend/kestrum_backend.cpp may include the reader"; status=1
fi
exit $status
