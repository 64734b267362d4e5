#!/usr/bin/env bash
# Rebuilds the package of the commit checked out as someone else would, and
# compares it with build/package/ byte for byte: a fresh clone of the commit
# under another path, made as a Windows user's clone on a Windows drive under
# WSL (core.autocrlf=true, Git for Windows' default: CR LF line ends where
# .gitattributes does not say otherwise; every file and folder mode 0777),
# built later, with another umask, time zone and locale, only what we ship (the
# Windows builds and the package, no tests).
# The ZIP and SHA256SUMS must be identical (tools/compare_packages.py);
# on a difference it names the file and its first differing byte and, in a
# ZIP, the member and field, and exits 1. Each step of the rebuild (the clone,
# the checkout, the configuration, the build...) that fails ends the check at
# once, named, with the end of the rebuild's log. Run after the build (CI runs
# it after tools/test.sh); it takes about one build of the shipped files.
#   tools/check-reproducible.sh [--keep] [--from REPOSITORY]
#     --keep             leave the rebuild's folder
#     --from REPOSITORY  clone the commit from REPOSITORY (a path or URL, the
#                        published repository say) instead of this one
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
root=$PWD
keep=no
source=$root
while [ $# -gt 0 ]; do
    case $1 in
        --keep) keep=yes; shift ;;
        --from)
            [ $# -ge 2 ] || { echo "check-reproducible: --from needs a repository"; exit 2; }
            # A path relative to where the check was started; URLs as given.
            case $2 in /* | *:*) source=$2 ;; *) source=$caller/$2 ;; esac
            shift 2 ;;
        *) echo "usage: tools/check-reproducible.sh [--keep] [--from REPOSITORY]"; exit 2 ;;
    esac
done

if [ ! -f build/package/SHA256SUMS ]; then
    echo "check-reproducible: no build/package/SHA256SUMS: build first (bash tools/setup.sh)"
    exit 1
fi
commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "check-reproducible: the work tree has changes not committed; a clone builds commit $commit without them"
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qd7150-rebuild.XXXXXX")
mkdir -p "$work/locale" "$work/drive" "$work/elsewhere"
src=$work/elsewhere/qd7150-source

# A Windows drive under WSL shows every file and folder as 0777 and ignores
# chmod: the build's own files too, those CPack packs among them. bindfs
# (FUSE) shows $work/drive so at $work/elsewhere. Where it cannot, the files
# checked out are chmod 0777, and the build's own files keep their modes.
drive=no
unmount() {
    if [ $drive = yes ]; then
        fusermount3 -u "$work/elsewhere" 2>/dev/null || fusermount -u "$work/elsewhere" 2>/dev/null ||
            umount "$work/elsewhere"
        drive=no
    fi
}
trap unmount EXIT
if command -v bindfs >/dev/null &&
   bindfs --perms=a=rwx --chmod-ignore "$work/drive" "$work/elsewhere" 2>"$work/bindfs.log"; then
    drive=yes
    rebuilt=$work/drive/qd7150-source
    modes="a Windows drive's modes (bindfs: every file and folder 0777, chmod ignored)"
else
    rebuilt=$src
    modes="every file and folder checked out chmod 0777 (no bindfs mount: $(cat "$work/bindfs.log" 2>/dev/null || echo "bindfs missing"); the build's own files keep their modes)"
fi

# Another umask, time zone and locale than ours.
if [ "$(umask)" = 0077 ]; then other_umask=0022; else other_umask=0077; fi
if [ "$(date +%z)" = +1345 ]; then other_tz=QST+09:30; else other_tz=QDT-13:45; fi
current_locale=$(locale 2>/dev/null | sed -n 's/^LC_CTYPE="\{0,1\}\([^"]*\)"\{0,1\}$/\1/p')
other_locale=
locpath=
for candidate in tr_TR sv_SE; do
    [ "${current_locale%%.*}" = "$candidate" ] && continue
    # Compiled into a folder of our own: the system's locales stay as they are.
    # (localedef exits 1 on mere warnings: whether the locale loads decides.)
    localedef -c -i "$candidate" -f UTF-8 "$work/locale/$candidate.UTF-8" >/dev/null 2>&1 || true
    if [ "$(LOCPATH=$work/locale LC_ALL=$candidate.UTF-8 locale charmap 2>/dev/null)" = UTF-8 ]; then
        other_locale=$candidate.UTF-8
        locpath=$work/locale
        break
    fi
done
if [ -z "$other_locale" ]; then
    other_locale=C.UTF-8
    [ "$current_locale" = C.UTF-8 ] && other_locale=C
fi

echo "check-reproducible: rebuilding commit $commit from $source in $src"
echo "check-reproducible: a clone made with core.autocrlf=true, $modes," \
     "umask $other_umask (ours $(umask)), TZ=$other_tz (ours ${TZ:-unset}, $(date +%z))," \
     "LC_ALL=$other_locale (ours ${current_locale:-unset})"
start=$(date +%s)
# The rebuild runs in a shell of its own with its umask, time zone and locale.
# Each step writes its name to $work/step before it runs; the first command
# that fails ends that shell (set -e holds there: it runs in no condition), and
# the check names the step.
log=$work/rebuild.log
set +e
(
    set -e
    step() { echo "$*" > "$work/step"; }
    step "setting the rebuild's umask, time zone and locale"
    umask "$other_umask"
    # LOCPATH first: bash loads the locale as soon as LC_ALL is set.
    [ -z "$locpath" ] || export LOCPATH=$locpath
    export TZ=$other_tz LC_ALL=$other_locale LANG=$other_locale
    unset LANGUAGE
    step "the clone of $source into $src"
    mkdir -p "$(dirname "$src")"
    git clone --quiet --no-hardlinks --no-checkout -c core.autocrlf=true "$source" "$src"
    step "the checkout of commit $commit in $src"
    git -C "$src" checkout --quiet --detach "$commit"
    # Where the modes are real, git now sees every file as changed
    # (core.fileMode): the build asks git for nothing but the commit's time.
    step "the chmod 0777 of the files checked out"
    chmod -R 0777 "$src"
    step "the count of files checked out with CR LF line ends"
    files=$(git -C "$src" ls-files | wc -l)
    crlf=$(cd "$src" && git ls-files -z | xargs -0 grep -lIs $'\r$' | wc -l || true)
    echo "check-reproducible: $crlf of $files files checked out with CR LF line ends" >&3
    step "the configuration of the rebuild (cmake -S $src -B $src/build)"
    cmake -S "$src" -B "$src/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQD_TESTS=OFF
    step "the rebuild (cmake --build $src/build)"
    cmake --build "$src/build" -j"$(nproc)"
) 3>&1 > "$log" 2>&1
status=$?
set -e
if [ $status -ne 0 ]; then
    tail -n 40 "$log"
    echo "check-reproducible: FAIL $(cat "$work/step" 2>/dev/null || echo "the rebuild") failed" \
         "(exit $status), and nothing after it ran; the rebuild's folder: $rebuilt, its log: $log"
    exit 1
fi
echo "check-reproducible: rebuilt in $(( $(date +%s) - start )) s; comparing build/package with the rebuild's"
# The changed files and modes leave the builds' SOURCE_DATE_EPOCH the commit's time.
# (A log without it leaves the check to say so below, not to end here.)
dates=$(grep -o 'SOURCE_DATE_EPOCH [0-9]* ([^)]*)' "$log" | sort -u || true)
echo "check-reproducible: the rebuild took ${dates:-no SOURCE_DATE_EPOCH}"
if [ -z "${SOURCE_DATE_EPOCH:-}" ] &&
   [ "$dates" != "SOURCE_DATE_EPOCH $(git log -1 --format=%ct "$commit") (the time of the commit checked out)" ]; then
    echo "check-reproducible: FAIL the rebuild did not take the time of commit $commit" \
         "($(git log -1 --format=%ct "$commit")) as SOURCE_DATE_EPOCH; its log: $log"
    exit 1
fi

packages=$(cut -d' ' -f3- build/package/SHA256SUMS | paste -sd' ')
if python3 tools/compare_packages.py build/package "$src/build/package"; then
    echo "check-reproducible: $packages and SHA256SUMS of $commit are reproduced bit for bit"
    unmount
    if [ $keep = no ]; then rm -rf "$work"; else echo "check-reproducible: the rebuild stays in $rebuilt"; fi
else
    echo "check-reproducible: FAIL the rebuild differs from build/package (is build/ built from $commit?);" \
         "the rebuild stays in $rebuilt"
    exit 1
fi
