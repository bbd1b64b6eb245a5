#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the tree that `cmake --install` makes, the way a package or a user's `sudo cmake --install` would lay it
# out: install_tree.sh files|validators|start BUILD_DIR SOURCE_DIR VERSION
#   files       every installed file is where the desktop looks for it
#   validators  the desktop entry, the AppStream metadata and the file type pass their validators and agree
#   start       the installed program, started from a folder it cannot write, finds its language file, opens the
#               catalogue named on its command line and keeps its settings in the user's configuration folder
set -euo pipefail
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND exited with $?" >&2' ERR

mode=$1
build_dir=$2
source_dir=$3
version=$4

failures=0
fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/mediatar-install.XXXXXX")
program_pid=
xvfb_pid=
cleanup()
{
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

root=$work/root
DESTDIR=$root cmake --install "$build_dir" --prefix /usr >"$work/install.log" 2>&1 || {
    cat "$work/install.log" >&2
    exit 1
}
usr=$root/usr
icon_sizes="16 24 32 48 64 128 256"

check_files()
{
    local expected=(
        bin/mediatar bin/mediatar-catalogue
        share/mediatar/HU_magyar.lng
        share/applications/mediatar.desktop
        share/metainfo/hu.mediatar.mediatar.metainfo.xml
        share/mime/packages/mediatar.xml
        share/icons/hicolor/scalable/apps/mediatar.svg
        share/man/man1/mediatar.1.gz share/man/man1/mediatar-catalogue.1.gz share/man/hu/man1/mediatar.1.gz
        share/doc/mediatar/copyright share/doc/mediatar/changelog.gz
    )
    for size in $icon_sizes; do
        expected+=("share/icons/hicolor/${size}x${size}/apps/mediatar.png")
    done
    # The music module, in the library folder of the prefix (lib, or lib/<multiarch> for /usr).
    local modules
    modules=$(cd "$usr" && find lib* -path '*/mediatar/mediatar-taglib.so' 2>/dev/null || true)
    [ "$(wc -w <<<"$modules")" = 1 ] || fail "not one music module under /usr/lib*/*/mediatar: '$modules'"
    expected+=($modules)
    for file in "${expected[@]}"; do
        [ -f "$usr/$file" ] || fail "missing: /usr/$file"
    done
    # Nothing lands outside the prefix, and nothing is installed that the list above does not name.
    local unexpected
    unexpected=$(cd "$root" && find . -type f | sed 's|^\./usr/||' | sort | comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
    [ -z "$unexpected" ] || fail "installed but not expected: $unexpected"

    for program in mediatar mediatar-catalogue; do
        [ -x "$usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
        # An installed program must not look for its libraries in the build folder.
        if readelf -d "$usr/bin/$program" | grep -E 'RPATH|RUNPATH' | grep -q "$build_dir"; then
            fail "/usr/bin/$program still points into the build folder: $(readelf -d "$usr/bin/$program" | grep -E 'R(UN)?PATH')"
        fi
        # What only a server catalogue or reading media needs is loaded then, not at every start.
        local linked
        linked=$(readelf -d "$usr/bin/$program" | grep NEEDED | grep -o -E 'lib(pq|tag|mediainfo)\.so[^]]*' || true)
        [ -z "$linked" ] || fail "/usr/bin/$program links $linked, which it should load only when needed"
    done
    cmp -s "$usr/share/mediatar/HU_magyar.lng" "$source_dir/data/HU_magyar.lng" || fail "the installed language file differs"

    # Each PNG is a PNG of the size its folder names (width and height from the IHDR chunk).
    for size in $icon_sizes; do
        local png=$usr/share/icons/hicolor/${size}x${size}/apps/mediatar.png
        [ -f "$png" ] || continue
        local header
        header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
        [ "${header:0:16}" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
        [ $((16#${header:32:8})) = "$size" ] && [ $((16#${header:40:8})) = "$size" ] ||
            fail "$png is $((16#${header:32:8}))x$((16#${header:40:8})), not ${size}x${size}"
    done

    # The manual pages and the changelog are compressed, and the pages carry this version.
    for page in man1/mediatar man1/mediatar-catalogue hu/man1/mediatar; do
        local gz=$usr/share/man/$page.1.gz
        [ -f "$gz" ] || continue
        gzip -t "$gz" || fail "$gz is not a valid gzip file"
        gzip -dc "$gz" | grep -q "^\.TH .*\"Médiatár $version\"" || fail "$gz does not name version $version"
        gzip -dc "$gz" | grep -q -E '^\.SH (NAME|NÉV)$' || fail "$gz has no NAME section"
        local warnings
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$gz" 2>&1 >/dev/null || true)
        [ -z "$warnings" ] || fail "$gz: $warnings"
        # A catalogue on a server, which the program's help offers, is in its page too, with where the password
        # belongs (a password in the URI shows in the process list).
        local help text
        help=$(QT_QPA_PLATFORM=offscreen "$usr/bin/$(basename "$page")" --help 2>&1 || true)
        text=$(gzip -dc "$gz")
        if grep -q -E 'postgresql://|URI' <<<"$help"; then
            grep -q 'postgresql://' <<<"$text" || fail "$gz does not name the postgresql:// argument"
            grep -q '~/\.pgpass' <<<"$text" || fail "$gz does not say that passwords go into ~/.pgpass"
        fi
    done
    gzip -dc "$usr/share/doc/mediatar/changelog.gz" | head -1 | grep -q "^mediatar ($version) " ||
        fail "the changelog's first entry is not version $version"
}

check_validators()
{
    local desktop=$usr/share/applications/mediatar.desktop
    local metainfo=$usr/share/metainfo/hu.mediatar.mediatar.metainfo.xml
    local mime=$usr/share/mime/packages/mediatar.xml

    desktop-file-validate "$desktop" >"$work/desktop.log" 2>&1 && [ ! -s "$work/desktop.log" ] ||
        fail "desktop-file-validate: $(cat "$work/desktop.log")"
    appstreamcli validate --no-net --no-color "$metainfo" >"$work/metainfo.log" 2>&1 ||
        fail "appstreamcli validate: $(cat "$work/metainfo.log")"
    # The whole tree: the metainfo's launchable must name a desktop entry that is really installed.
    appstreamcli validate-tree --no-net --no-color "$root/usr" >"$work/tree.log" 2>&1 ||
        fail "appstreamcli validate-tree: $(cat "$work/tree.log")"
    # update-mime-database says nothing about a good file and complains about a bad one, yet exits 0 for most.
    mkdir -p "$work/mime/packages"
    cp "$mime" "$work/mime/packages/"
    update-mime-database "$work/mime" >"$work/mime.log" 2>&1 || fail "update-mime-database failed: $(cat "$work/mime.log")"
    grep -v -e "is not in the search path" -e "XDG_DATA_HOME and XDG_DATA_DIRS" -e "^environment variables" \
        -e "may not be able to find it" -e "directories currently searched" -e "^- /" -e '^$' \
        -e "^be able to find it" "$work/mime.log" >"$work/mime-complaints.log" || true
    [ ! -s "$work/mime-complaints.log" ] || fail "update-mime-database: $(cat "$work/mime-complaints.log")"

    # What the validators do not check: the three files must name the same things.
    key() { sed -n "s/^$1=//p" "$desktop" | head -1; }
    [ "$(key Exec)" = "mediatar %f" ] || fail "the desktop entry's Exec is '$(key Exec)', not 'mediatar %f'"
    [ "$(key Icon)" = mediatar ] || fail "the desktop entry's Icon is '$(key Icon)'"
    [ -n "$(key 'Name\[hu\]')" ] && [ -n "$(key 'Comment\[hu\]')" ] || fail "the desktop entry has no Hungarian name or comment"
    local types
    types=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$mime" | sort)
    [ "$(key MimeType | tr ';' '\n' | sed '/^$/d' | sort)" = "$types" ] ||
        fail "the desktop entry opens '$(key MimeType)' but the file type defines '$types'"
    [ "$(sed -n 's/.*<mediatype>\(.*\)<\/mediatype>.*/\1/p' "$metainfo" | sort)" = "$types" ] ||
        fail "the metainfo's media types differ from the file type's"
    grep -q '<launchable type="desktop-id">mediatar.desktop</launchable>' "$metainfo" ||
        fail "the metainfo does not launch mediatar.desktop"
    grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release entry for $version"
    grep -q '<screenshot type="default">' "$metainfo" || fail "the metainfo has no default screenshot"
}

check_start()
{
    local bin=$usr/bin
    local home=$work/home
    local config=$work/config
    local runtime=$work/runtime
    local catalogues=$work/catalogues
    mkdir -p "$home" "$config" "$runtime" "$catalogues"
    chmod 700 "$runtime"
    # A path with a blank and accented letters, as a user's would be.
    local catalogue="$catalogues/Gyűjtemény otthon.tnx"
    "$bin/mediatar-catalogue" create "$catalogue" --seed "$source_dir/data/demo_catalogue.sql" >/dev/null

    # The program folder is made unwritable. Root writes anywhere whatever the mode bits say, so as root the
    # program runs as the unprivileged user nobody, for whom the mode bits hold.
    chmod 555 "$bin"
    local as_user=()
    if [ "$(id -u)" = 0 ]; then
        as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
        chmod 755 "$work"
        chown -R 65534:65534 "$home" "$config" "$runtime" "$catalogues"
    fi
    if "${as_user[@]}" test -w "$bin"; then
        fail "the program folder is still writable for the user who runs the program"
        return
    fi
    local environment=(env -i "HOME=$home" "XDG_CONFIG_HOME=$config" "XDG_RUNTIME_DIR=$runtime"
        "PATH=$bin:/usr/bin:/bin" "LANG=C.UTF-8")

    # The installed tool reads music through the installed module, and films through MediaInfo.
    local scanned
    scanned=$(timeout 20 "${environment[@]}" "$bin/mediatar-catalogue" scan "$source_dir/tests/media/fixtures/music/album" \
        "$catalogue" --dry-run 2>&1) || fail "the installed scan failed: $scanned"
    [[ $scanned == *"Kispál és a Borz"*"Tűzoltó"* && $scanned != *"not read"* ]] ||
        fail "the installed tool did not read the music: $scanned"
    scanned=$(timeout 20 "${environment[@]}" "$bin/mediatar-catalogue" scan "$source_dir/tests/media/fixtures/video/nyar.mkv" \
        "$catalogue" --kind films --dry-run 2>&1) || fail "the installed scan failed: $scanned"
    [[ $scanned == *"Egy nyári film"*"H.264"* ]] || fail "the installed tool did not read the film: $scanned"

    local printed
    printed=$(timeout 20 "${environment[@]}" QT_QPA_PLATFORM=offscreen "${as_user[@]}" "$bin/mediatar" --version 2>&1) || fail "mediatar --version failed: $printed"
    [[ $printed == *"$version"* ]] || fail "mediatar --version printed '$printed', not the version $version"
    printed=$(timeout 20 "${environment[@]}" "${as_user[@]}" "$bin/mediatar-catalogue" --version 2>&1) ||
        fail "mediatar-catalogue --version failed: $printed"
    [[ $printed == *"$version"* ]] || fail "mediatar-catalogue --version printed '$printed', not the version $version"

    # A headless X server, so that the program can be closed the way a user closes it: Alt+K, its Kilépés button.
    exec 3>"$work/display"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    local display=
    for _ in $(seq 100); do
        display=$(cat "$work/display")
        [ -n "$display" ] && break
        sleep 0.1
    done
    [ -n "$display" ] || { fail "Xvfb did not start: $(cat "$work/xvfb.log")"; return; }
    export DISPLAY=:$display

    "${environment[@]}" "DISPLAY=:$display" QT_QPA_PLATFORM=xcb "${as_user[@]}" mediatar "$catalogue" \
        >"$work/program.log" 2>&1 &
    program_pid=$!

    # The main window's title starts with the program's name from the language file (without the file it would
    # start with a blank, and a question would come first) and names the catalogue.
    local name_in_title
    name_in_title=$(basename "$catalogue")
    local window= titles=
    for _ in $(seq 150); do
        titles=
        for id in $(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null); do
            local name
            name=$(xdotool getwindowname "$id" 2>/dev/null || true)
            titles+="'$name' "
            [[ $name == Médiatár* && $name == *"$name_in_title"* ]] && window=$id
        done
        [ -n "$window" ] && break
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.2
    done
    if [ -z "$window" ]; then
        fail "no main window on '$name_in_title'; the program showed: ${titles:-nothing}; its output: $(cat "$work/program.log")"
        return
    fi

    # A window that has just appeared may not take keys yet: focus it and press again until the program ends.
    for _ in $(seq 5); do
        xdotool windowfocus --sync "$window" 2>/dev/null || true
        xdotool key --clearmodifiers alt+k 2>/dev/null || true
        for _ in $(seq 20); do
            kill -0 "$program_pid" 2>/dev/null || break 2
            sleep 0.1
        done
    done
    if kill -0 "$program_pid" 2>/dev/null; then
        fail "the program did not close on Alt+K; its output: $(cat "$work/program.log")"
        return
    fi
    wait "$program_pid" || fail "the program exited with $?; its output: $(cat "$work/program.log")"
    program_pid=

    local settings=$config/mediatar/list.ini
    if [ ! -f "$settings" ]; then
        fail "no $settings; the configuration folder holds: $(cd "$config" && find . | tr '\n' ' ')"
    else
        local first
        first=$(head -1 "$settings" | tr -d '\r' | iconv -f CP1250 -t UTF-8)
        [ "$first" = "$catalogue" ] || fail "list.ini remembers '$first', not '$catalogue'"
    fi
    [ ! -e "$bin/list.ini" ] && [ ! -e "$bin/ini.tmp" ] || fail "settings were written beside the executable"
}

case $mode in
    files) check_files ;;
    validators) check_validators ;;
    start) check_start ;;
    *) echo "unknown mode '$mode'" >&2; exit 2 ;;
esac
[ "$failures" = 0 ] || exit 1
echo "install tree ($mode): all checks passed"
