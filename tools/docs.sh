#!/usr/bin/env bash
# Generates the API reference from the public headers with Doxygen into build/docs/html
# (open build/docs/html/index.html). Fails on any Doxygen warning, among them a public entry
# point, argument or result left undocumented.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/docs
mkdir -p "$out/include/zqlib"

# The version header as the build generates it, from the project version.
version=$(sed -n 's/^project(zqlib VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
IFS=. read -r major minor patch <<<"$version"
sed -e "s/@PROJECT_VERSION_MAJOR@/$major/" -e "s/@PROJECT_VERSION_MINOR@/$minor/" \
  -e "s/@PROJECT_VERSION_PATCH@/$patch/" cmake/version.h.in >"$out/include/zqlib/version.h"

doxygen - <<DOXYFILE
PROJECT_NAME           = zqlib
PROJECT_NUMBER         = $version
PROJECT_BRIEF          = "Bit-exact 2D graphics library for porting 2D games"
OUTPUT_DIRECTORY       = $out
INPUT                  = include/zqlib/zqlib.h $out/include/zqlib/version.h
STRIP_FROM_PATH        = include $out/include
FULL_PATH_NAMES        = YES
EXTRACT_ALL            = NO
WARN_IF_UNDOCUMENTED   = YES
WARN_IF_DOC_ERROR      = YES
WARN_NO_PARAMDOC       = YES
WARN_AS_ERROR          = FAIL_ON_WARNINGS
QUIET                  = YES
GENERATE_HTML          = YES
GENERATE_LATEX         = NO
SEARCH_INCLUDES        = NO
SORT_MEMBER_DOCS       = NO
HAVE_DOT               = NO
DOXYFILE
echo "API reference: $out/html/index.html"
