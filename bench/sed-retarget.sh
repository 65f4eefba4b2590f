#!/usr/bin/env bash
# Retargets a project to Visual Studio 2019 with sed, as a peer to time the
# conversion against: the first table ToolsVersion becomes "15.0", every
# v100/v140/v141 toolset element becomes v142. Byte for byte (LC_ALL=C).
# sed takes the first attribute in file order rather than by version and
# replaces toolsets before the attribute too, so it agrees with the
# conversion only on projects like the generated ones (one attribute, at the
# top); bench/compare-sed.sh checks that it does on those.
# Usage: bench/sed-retarget.sh INPUT OUTPUT
set -eu
LC_ALL=C sed \
  -e '0,/ToolsVersion="\(4\|14\|15\)\.0"/s//ToolsVersion="15.0"/' \
  -e 's#<PlatformToolset>v1\(00\|40\|41\)</PlatformToolset>#<PlatformToolset>v142</PlatformToolset>#g' \
  "$1" > "$2"
