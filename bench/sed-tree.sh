#!/usr/bin/env bash
# Retargets every project below a folder to Visual Studio 2019 in place with
# sed -i, as a peer to time projport-cli 2019 against: the replacements of
# bench/sed-retarget.sh (the first table ToolsVersion of each file becomes
# "15.0", every v100/v140/v141 toolset element becomes v142), byte for byte
# (LC_ALL=C), as many files to each sed as xargs gives it.
# sed replaces every toolset element, while projport-cli leaves an element
# of a later row that stands before the last one of an earlier row (a v140
# before a v100) as it is; sed also takes the first attribute in file order
# rather than by version. bench/compare-tree.sh checks that the two differ
# only on the projects of the first kind.
# Usage: bench/sed-tree.sh DIR
set -eu
find "$1" -name '*.vcxproj' -type f -print0 |
  LC_ALL=C xargs -0 sed -i \
    -e '0,/ToolsVersion="\(4\|14\|15\)\.0"/s//ToolsVersion="15.0"/' \
    -e 's#<PlatformToolset>v1\(00\|40\|41\)</PlatformToolset>#<PlatformToolset>v142</PlatformToolset>#g'
