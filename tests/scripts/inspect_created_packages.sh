#!/usr/bin/env bash
# Runs the create-package tests under Wine, then reads the packages they left
# with msitools, which share no code with Wine's msi.dll.
# Usage: inspect_created_packages.sh <folder of bastion_tests.exe>
set -u
tests=$(cd "$1" && pwd)
export WINEPREFIX=${WINEPREFIX:-$tests/../../wineprefix}
export WINEDEBUG=-all
unset http_proxy https_proxy

# A copy of the test binary and its packages of its own, so the test cases
# run by ctest beside this one cannot touch the packages inspected here.
work=$tests/inspection
rm -rf "$work"
mkdir -p "$work"
cp "$tests/bastion_tests.exe" "$work/"
cp -r "$tests/msi" "$work/"
cd "$work"
if ! timeout 300 /usr/lib/wine/wine64 bastion_tests.exe --gtest_filter='CreatePackageTest.*' \
    </dev/null >createmsi.log 2>&1; then
  cat createmsi.log
  echo "FAIL: the create-package tests under Wine"
  exit 1
fi

status=0
fail() { echo "FAIL: $*"; status=1; }

property() {  # package name -> value, or "absent"
  msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v n="$2" '$1 == n {print $2; f=1} END {if (!f) print "absent"}'
}
properties_without_reconf() {
  msiinfo export "$1" Property | tr -d '\r' | grep -v '^RECONF	'
}
config_rows() {
  msiinfo export "$1" Binary | tr -d '\r' | grep -c '^VTINSTADDEXT_config\.dat	'
}
stream_is_config() {  # folder
  msiinfo extract "$1/BSX.msi" Binary.VTINSTADDEXT_config.dat | cmp -s - "$1/expected-config.dat"
}

d=createmsi/SignedPackageWithReconfIsConfigured
stream_is_config $d || fail "$d: the Binary row does not hold the config.dat bytes"
[ "$(config_rows $d/BSX.msi)" = 1 ] || fail "$d: not exactly one configuration row"
[ "$(property $d/BSX.msi RECONF)" = 1 ] || fail "$d: RECONF is not 1"
[ "$(property $d/BSX.msi reconf)" = 0 ] || fail "$d: lower-case reconf was changed"
diff <(properties_without_reconf $d/BSX.msi) <(properties_without_reconf msi/reconf_signed.msi) >/dev/null \
  || fail "$d: other properties changed"

d=createmsi/PackageWithoutReconfIsStillCreated
stream_is_config $d || fail "$d: the Binary row does not hold the config.dat bytes"
[ "$(property $d/BSX.msi RECONF)" = absent ] || fail "$d: a RECONF row was added"
diff <(msiinfo export $d/BSX.msi Property) <(msiinfo export msi/plain.msi Property) >/dev/null \
  || fail "$d: the Property table changed"

# The edits fail on the private copy, the rename fails over a package in
# use: nothing new beside the executable.
for d in createmsi/PackageAlreadyCarryingTheConfigurationStopsAtTheInsert createmsi/FileThatIsNoPackageIsNotOpened; do
  [ -e $d/BSX.msi ] && fail "$d: a package was left beside the executable"
done
d=createmsi/BSXInUseByAnotherProgramFailsTheRenameWithItsError
[ "$(cat $d/BSX.msi)" = "an earlier BSX.msi" ] || fail "$d: the BSX.msi in use changed"

# Beside the executable: at most the package, next to the planted config.dat
# and the expected bytes, which stay as they were.
for d in createmsi/*/; do
  [ -z "$(ls "$d")" ] && continue  # a case that worked in another folder
  [ "$(cat $d/config.dat)" = "a stranger's config.dat" ] || fail "$d: the planted config.dat changed"
  others=$(ls "$d" | grep -v -x -e BSX.msi -e config.dat -e expected-config.dat)
  [ -z "$others" ] || fail "$d: left beside the executable: $others"
done

[ $status = 0 ] && echo "created packages inspected: all as expected"
exit $status
