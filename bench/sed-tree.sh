#!/usr/bin/env bash
# Retargets every project below a folder to Visual Studio 2019 in place with
# sed -i, as a peer to time projport-cli 2019 against: the replacements of
# projport-cli's own rules on the generated tree, byte for byte (LC_ALL=C),
# as many files to each sed as xargs gives it:
#   - the first ToolsVersion value of the file (the project element's, in
#     these projects) becomes "15.0";
#   - every <PlatformToolset> element of another version of the table
#     (v100, v110, v120, v140, v141, v143, v145, in either case of the v)
#     becomes v142; xp variants, driver toolsets and macros are left.
# bench/compare-tree.sh checks that sed and projport-cli leave the same bytes.
# Usage: bench/sed-tree.sh DIR
set -eu
find "$1" -name '*.vcxproj' -type f -print0 |
  LC_ALL=C xargs -0 sed -i \
    -e '0,/ToolsVersion="[^"]*"/s//ToolsVersion="15.0"/' \
    -e 's#<PlatformToolset>[vV]1\(00\|10\|20\|40\|41\|43\|45\)</PlatformToolset>#<PlatformToolset>v142</PlatformToolset>#g'
