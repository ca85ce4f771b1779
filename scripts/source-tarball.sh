#!/usr/bin/env bash
# Writes the source tarball of the last commit, zelvax-VERSION.tar.gz, into a folder and
# prints its path: git archive gives each file the commit's time, gzip -n adds no time of
# its own, so any clone gives the same bytes. A build from the tarball, which has no git,
# takes its time stamps from .source-date-epoch in it.
#
#   scripts/source-tarball.sh FOLDER
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:?usage: scripts/source-tarball.sh FOLDER}
source scripts/releases.sh
version=$(zelvax_version)
name=zelvax-$version
mkdir -p "$folder"
git archive --format=tar --prefix="$name/" \
  --add-virtual-file="$name/.source-date-epoch:$(git log -1 --format=%ct)
" HEAD | gzip -9n >"$folder/$name.tar.gz"
realpath "$folder/$name.tar.gz"
