#!/usr/bin/env bash
# Lays out an installation in a temporary folder (the library and its
# backend modules and the example plug-in beside the host, the identity
# files, the settings hives) and runs the example host under
# `kvpal trace record`.
#
# usage: run.sh HOST LIBRARY_FOLDER KVPAL PLUGIN
set -euo pipefail
host=$1 libs=$2 kvpal=$3 plugin=$4
inst=$(mktemp -d)
trap 'rm -rf "$inst"' EXIT

cp "$host" "$plugin" "$inst/"
cp -L "$libs"/libKvPal*.so* "$inst/"
export KVPAL_USER_HIVE=$inst/hives/user.db KVPAL_MACHINE_HIVE=$inst/hives/machine.db

# identityver.ini names the registry key of the installed products;
# identity.ini, per language, names the product's registry roots.
printf '[ProductIdentity]\nProductVersionKey=SOFTWARE\\Halvex\\Tessaran\\Version\nIsConfigurable=1\n' \
  >"$inst/identityver.ini"
mkdir -p "$inst/en-US"
printf '[ProductIdentity]\nGlobalRegistryRootKey=SOFTWARE\\Halvex\\Tessaran\\R1\nProductRegistryRootKey=SOFTWARE\\Halvex\\Tessaran\\R1:409\n' \
  >"$inst/en-US/identity.ini"
# The installer's part: the installed product and its language.
"$kvpal" reg add 'HKLM\SOFTWARE\Halvex\Tessaran\Version\InstalledProducts\PYRA' /v en /d en-US >/dev/null

# The host finds the library beside it ($ORIGIN); an inherited search path
# would put another copy in its place.
"$kvpal" trace record --output "$inst/trace.json" -- env -u LD_LIBRARY_PATH "$inst/$(basename "$host")"
# The host's start-up event pair (PerfLog_WriteKvApAppInitEvent: events 3
# and 4) is in the trace.
for id in 3 4; do
  grep -q "\"args\":{\"id\":$id," "$inst/trace.json" || { echo "run.sh: event $id is not in the trace" >&2; exit 1; }
done
echo "trace: recorded"
