#!/usr/bin/env bash
# Release checks on the two shipped exes, build/windows-x64 and
# build/windows-x86 (built by their presets before this runs):
#   - hardening: ASLR with relocations, DEP, high-entropy ASLR on x64, no
#     section both writable and executable; the x86 exe loads on Windows 2000;
#   - imports: only Known DLLs, no delay loads, and exactly the reviewed
#     lists imports-x64.txt / imports-x86.txt;
#   - resources: the manifest (elevation, supported systems, Common Controls
#     6, DPI awareness, no code page) and the version resource;
#   - reproducibility: two clean builds in other folders, one of them from a
#     copy of the sources at another path, give the same exe as the preset
#     build, and the same zip and SHA256SUMS from the package target;
#   - the package: the exe and the README, whose message texts match
#     app/messages.h, and SHA256SUMS that `sha256sum -c` accepts.
# Usage: tests/release/check.sh [x64|x86]...   (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
here=$root/tests/release

for tool in xmllint sha256sum od dd; do
    command -v "$tool" >/dev/null || { echo "check.sh: $tool is missing (tools/install-deps)" >&2; exit 2; }
done

failures=0
fail() { printf 'FAIL %s\n' "$*"; failures=$((failures + 1)); }
ok() { printf 'ok   %s\n' "$*"; }

version=$(sed -n 's/^project(UlvexTandrel VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "check.sh: no project version in CMakeLists.txt" >&2; exit 2; }
IFS=. read -r v_major v_minor v_patch <<<"$version"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# ---------------------------------------------------------------------------
# Reading PE files.

# Little-endian unsigned integer of $3 bytes at offset $2 of file $1.
read_uint() { od -An -tu"$3" -j "$2" -N "$3" "$1" | tr -d ' '; }

# "name characteristics" of every section, from the raw section table:
# objdump's flag words do not say "writable" and "executable" one to one.
section_table() {
    local exe=$1 pe count optional table i entry name
    pe=$(read_uint "$exe" 60 4)
    count=$(read_uint "$exe" $((pe + 6)) 2)
    optional=$(read_uint "$exe" $((pe + 20)) 2)
    table=$((pe + 24 + optional))
    for ((i = 0; i < count; i++)); do
        entry=$((table + 40 * i))
        name=$(dd if="$exe" bs=1 skip="$entry" count=8 status=none | tr -d '\0')
        printf '%s %s\n' "$name" "$(read_uint "$exe" $((entry + 36)) 4)"
    done
}

# "DLL function" per import (#ordinal for one without a name), sorted.
import_list() {
    awk '/^\tDLL Name: /{dll = $3; next}
         /^\tvma: +Hint/{inlist = 1; next}
         /^$/{inlist = 0}
         inlist { if ($3 == "<none>") print dll, "#" $2; else print dll, $3 }' "$1" | LC_ALL=C sort
}

# The reviewed list without its comments.
reviewed_list() { grep -v -e '^#' -e '^[[:space:]]*$' "$1"; }

# "type name rva size" of each resource leaf, from objdump's tree.
resource_leaves() {
    awk '/^The .rsrc Resource Directory section/{in_rsrc = 1; next}
         !in_rsrc {next}
         /^[0-9a-f]+   Entry: ID:/{type = $4}
         /^[0-9a-f]+     Entry: ID:/{name = $4}
         /Leaf: Addr:/{print type, name, $4, $6}
         /^ Resources start at/{exit}' "$1" | tr -d ','
}

# The bytes of the resource at RVA $3, size $4, in exe $1 with headers $2.
extract_resource() {
    local exe=$1 headers=$2 rva=$(($3)) size=$(($4)) base vma offset
    base=$((0x$(awk '$1 == "ImageBase" {print $2}' "$headers")))
    read -r vma offset < <("$objdump" -h "$exe" | awk '$2 == ".rsrc" {print $4, $6}')
    dd if="$exe" bs=1 skip=$((0x$offset + rva - (0x$vma - base))) count="$size" status=none
}

# ---------------------------------------------------------------------------
# Checks on one built exe.

check_exe() {
    local arch=$1 exe=$2
    local headers=$scratch/$arch.headers
    "$objdump" -p "$exe" >"$headers"

    # Hardening. ASLR needs the relocations as well as the flag.
    local flags
    flags=$(awk '/^DllCharacteristics/{on = 1; next} on && /^\t+[A-Z_]+$/{print $1; next} {on = 0}' "$headers")
    local wanted=(DYNAMIC_BASE NX_COMPAT)
    [ "$arch" = x64 ] && wanted+=(HIGH_ENTROPY_VA)
    for flag in "${wanted[@]}"; do
        if grep -qx "$flag" <<<"$flags"; then ok "$arch: $flag"; else fail "$arch: $flag not set"; fi
    done
    if grep -q 'relocations stripped' "$headers" ||
        ! awk '/Base Relocation Directory/ && $3 ~ /[1-9a-f]/ {found = 1} END {exit !found}' "$headers"; then
        fail "$arch: no base relocations, so DYNAMIC_BASE does nothing"
    else
        ok "$arch: base relocations present"
    fi

    local name characteristics wx=0
    while read -r name characteristics; do
        # IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_WRITE
        if (((characteristics & 0xA0000000) == 0xA0000000)); then
            fail "$arch: section $name is writable and executable"
            wx=1
        fi
    done < <(section_table "$exe")
    if [ $wx = 0 ]; then ok "$arch: no writable and executable section"; fi

    # Windows 2000 refuses an image that asks for a newer subsystem or system.
    if [ "$arch" = x86 ]; then
        local os sub
        os=$(awk '$1 == "MajorOSystemVersion" {M = $2} $1 == "MinorOSystemVersion" {m = $2} END {print M * 100 + m}' "$headers")
        sub=$(awk '$1 == "MajorSubsystemVersion" {M = $2} $1 == "MinorSubsystemVersion" {m = $2} END {print M * 100 + m}' "$headers")
        if ((os <= 500 && sub <= 500)); then
            ok "x86: OS and subsystem versions load on Windows 2000"
        else
            fail "x86: OS/subsystem version $os/$sub (x100) is above Windows 2000's 5.0"
        fi
    fi

    # Imports: only Known DLLs, none delay-loaded, and the reviewed list.
    local imports=$scratch/$arch.imports
    import_list "$headers" >"$imports"
    local others
    others=$(cut -d' ' -f1 "$imports" | sort -fu | grep -vix -e KERNEL32.dll -e ADVAPI32.dll -e USER32.dll -e msvcrt.dll || true)
    if [ -z "$others" ]; then ok "$arch: imports only KERNEL32, ADVAPI32, USER32, msvcrt"; else fail "$arch: imports from" $others; fi
    if awk '/Delay Import Directory/ && $3 ~ /[1-9a-f]/ {found = 1} END {exit !found}' "$headers"; then
        fail "$arch: has delay-loaded imports"
    fi
    if diff -u --label "reviewed tests/release/imports-$arch.txt" --label "imports of $exe" \
        <(reviewed_list "$here/imports-$arch.txt") "$imports" >"$scratch/$arch.diff"; then
        ok "$arch: imports equal tests/release/imports-$arch.txt ($(wc -l <"$imports") functions)"
    else
        fail "$arch: imports differ from the reviewed list (+ new in the exe, - gone):"
        cat "$scratch/$arch.diff"
    fi

    # Resources: the version resource (16) and the manifest (24), both ID 1.
    local leaves=$scratch/$arch.leaves
    resource_leaves "$headers" >"$leaves"
    local type hex
    for type in 0x000010 0x000018; do
        if awk -v t="$type" '$1 == t && $2 == "0x000001" {found = 1} END {exit !found}' "$leaves"; then
            ok "$arch: resource type $((type)) ID 1 present"
        else
            fail "$arch: no resource of type $((type)) with ID 1"
        fi
    done

    local manifest=$scratch/$arch.manifest rva size
    if read -r _ _ rva size < <(awk '$1 == "0x000018" && $2 == "0x000001"' "$leaves"); then
        extract_resource "$exe" "$headers" "$rva" "$size" >"$manifest"
        check_manifest "$arch" "$manifest"
    fi

    check_version_resource "$arch" "$exe"
}

# XPath over the manifest; namespaces are spelt out because Windows ignores
# an element in the wrong one.
xpath() { xmllint --xpath "$2" "$1" 2>/dev/null || true; }

check_manifest() {
    local arch=$1 manifest=$2
    if ! xmllint --noout "$manifest" 2>"$scratch/xmllint.err"; then
        fail "$arch: the manifest is not well-formed XML (Windows would not start the exe):"
        cat "$scratch/xmllint.err"
        return
    fi
    local asm1=urn:schemas-microsoft-com:asm.v1 asm3=urn:schemas-microsoft-com:asm.v3
    local compat=urn:schemas-microsoft-com:compatibility.v1
    local smi2005=http://schemas.microsoft.com/SMI/2005/WindowsSettings
    local smi2016=http://schemas.microsoft.com/SMI/2016/WindowsSettings
    el() { printf "*[local-name()='%s' and namespace-uri()='%s']" "$1" "$2"; }
    local machine
    case $arch in x64) machine=amd64 ;; x86) machine=x86 ;; esac

    local level
    level=$(xpath "$manifest" "string(/$(el assembly $asm1)/$(el trustInfo $asm3)/$(el security $asm3)/$(el requestedPrivileges $asm3)/$(el requestedExecutionLevel $asm3)/@level)")
    printf '     %s manifest: requestedExecutionLevel level="%s"\n' "$arch" "$level"

    # "what it is|XPath string expression|expected value"
    local checks=(
        "elevation|string(//$(el requestedExecutionLevel $asm3)/@level)|requireAdministrator"
        "uiAccess|string(//$(el requestedExecutionLevel $asm3)/@uiAccess)|false"
        "one requestedExecutionLevel|count(//*[local-name()='requestedExecutionLevel'])|1"
        "own identity's architecture|string(/$(el assembly $asm1)/$(el assemblyIdentity $asm1)/@processorArchitecture)|$machine"
        "own identity's version|string(/$(el assembly $asm1)/$(el assemblyIdentity $asm1)/@version)|$version.0"
        "supported systems, Vista to 10/11|concat($(
            for id in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
                4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
                8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
                printf "count(//%s/%s/%s[@Id='{%s}']), " "$(el compatibility $compat)" "$(el application $compat)" "$(el supportedOS $compat)" "$id"
            done) count(//*[local-name()='supportedOS']))|111115"
        "Common Controls 6|string(//$(el dependentAssembly $asm1)/$(el assemblyIdentity $asm1)[@name='Microsoft.Windows.Common-Controls']/@version)|6.0.0.0"
        "Common Controls key|string(//$(el assemblyIdentity $asm1)[@name='Microsoft.Windows.Common-Controls']/@publicKeyToken)|6595b64144ccf1df"
        "dpiAware|normalize-space(//$(el application $asm3)/$(el windowsSettings $asm3)/$(el dpiAware $smi2005))|true"
        "dpiAwareness|normalize-space(//$(el application $asm3)/$(el windowsSettings $asm3)/$(el dpiAwareness $smi2016))|PerMonitorV2"
        "no activeCodePage|count(//*[local-name()='activeCodePage'])|0"
    )
    local entry what expression expected got
    for entry in "${checks[@]}"; do
        IFS='|' read -r what expression expected <<<"$entry"
        got=$(xpath "$manifest" "$expression")
        if [ "$got" = "$expected" ]; then ok "$arch manifest: $what"; else fail "$arch manifest: $what: got '$got', want '$expected'"; fi
    done
}

check_version_resource() {
    local arch=$1 exe=$2
    local rc=$scratch/$arch.rc
    "$windres" -i "$exe" -O rc -o "$rc" 2>/dev/null || { fail "$arch: windres cannot read the resources"; return; }
    local checks=(
        "FILEVERSION $v_major, $v_minor, $v_patch, 0"
        "PRODUCTVERSION $v_major, $v_minor, $v_patch, 0"
        "VALUE \"ProductName\", \"Ulvex Tandrel\""
        "VALUE \"OriginalFilename\", \"UlvexTandrel.exe\""
        "VALUE \"FileVersion\", \"$version\""
        "VALUE \"ProductVersion\", \"$version\""
    )
    local line
    for line in "${checks[@]}"; do
        if grep -qxF -- "$line" < <(sed 's/^ *//' "$rc"); then ok "$arch version: $line"; else fail "$arch version: no '$line'"; fi
    done
    if grep -qE '^ *VALUE "FileDescription", "[^"]+"$' "$rc"; then ok "$arch version: FileDescription"; else fail "$arch version: no FileDescription"; fi
}

# ---------------------------------------------------------------------------
# The package: contents, README against the message catalogue, SHA256SUMS.

# Each message of app/messages.h, its pieces joined, "\n" as a space.
message_texts() {
    awk '/^constexpr const char\* Msg/{text = ""; on = 1}
         on { line = $0
              while (match(line, /"([^"\\]|\\.)*"/)) {
                  text = text substr(line, RSTART + 1, RLENGTH - 2); line = substr(line, RSTART + RLENGTH) }
              if ($0 ~ /;[[:space:]]*$/) { on = 0; print text } }' app/messages.h |
        sed -e 's/\\n/ /g' -e 's/\\\\/\\/g'
}

check_package() {
    local arch=$1 dir=$2 built=$3
    local name=UlvexTandrel-$version-$arch
    local zip=$dir/$name.zip unpacked=$scratch/unpacked-$arch
    [ -f "$zip" ] || { fail "$arch: the package target made no $name.zip"; return; }
    local listing
    listing=$(cmake -E tar tf "$zip" | LC_ALL=C sort | tr '\n' ' ')
    if [ "$listing" = "$name/README.txt $name/UlvexTandrel.exe " ]; then
        ok "$arch package: $name.zip holds the exe and README.txt"
    else
        fail "$arch package: $name.zip holds: $listing"
    fi
    mkdir -p "$unpacked" && cp "$zip" "$dir/SHA256SUMS" "$unpacked/" && (cd "$unpacked" && cmake -E tar xf "$zip")
    if (cd "$unpacked" && sha256sum --quiet -c SHA256SUMS) && [ "$(wc -l <"$unpacked/SHA256SUMS")" = 2 ]; then
        ok "$arch package: SHA256SUMS checks the zip and the unzipped exe"
    else
        fail "$arch package: SHA256SUMS does not match"
    fi
    cmp -s "$unpacked/$name/UlvexTandrel.exe" "$built" || fail "$arch package: the zipped exe is not the built one"

    local readme=$unpacked/$name/README.txt flat text missing=0
    [ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "$arch package: README.txt has lines without CRLF"
    grep -qF "Ulvex Tandrel $version" "$readme" || fail "$arch package: README.txt does not name version $version"
    # The README quotes each box; compare with runs of white space as one.
    flat=$(tr -s ' \t\r\n' ' ' <"$readme")
    while IFS= read -r text; do
        if ! grep -qF -- "$(tr -s ' ' <<<"$text")" <<<"$flat"; then
            fail "$arch package: README.txt does not quote the message: $text"
            missing=1
        fi
    done < <(message_texts)
    if [ $missing = 0 ]; then ok "$arch package: README.txt quotes all $(message_texts | wc -l) messages of app/messages.h"; fi
}

# ---------------------------------------------------------------------------
# Two clean builds and packages; the second from a copy of the sources.

# The working tree as git sees it (tracked and new files, nothing ignored).
copy_sources() {
    mkdir -p "$1"
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar --null -T - -cf - | tar -C "$1" -xf -
}

build_and_package() {
    local arch=$1 source=$2 build=$3
    rm -rf "$build"
    {
        cmake --preset "windows-$arch" -S "$source" -B "$build" -DULVEX_BUILD_E2E=OFF &&
            cmake --build "$build" -j "$(nproc)" &&
            cmake --build "$build" --target package
    } >"$build.log" 2>&1 || { cat "$build.log"; return 1; }
}

check_reproducible() {
    local arch=$1 preset_exe=$2
    local a=$root/build/repro-a-$arch b=$root/build/repro-b-$arch
    local copy=$root/build/repro-source-copy-at-another-path
    rm -rf "$copy" && copy_sources "$copy"
    mkdir -p "$root/build"
    if ! build_and_package "$arch" "$root" "$a" || ! build_and_package "$arch" "$copy" "$b"; then
        fail "$arch: a clean build failed"
        return
    fi
    rm -rf "$copy"
    local file sum_a sum_b
    for file in UlvexTandrel.exe "UlvexTandrel-$version-$arch.zip" SHA256SUMS; do
        sum_a=$(sha256sum <"$a/$file" | cut -d' ' -f1)
        sum_b=$(sha256sum <"$b/$file" | cut -d' ' -f1)
        if [ "$sum_a" = "$sum_b" ]; then
            ok "$arch reproducible: $file $sum_a"
        else
            fail "$arch reproducible: $file differs between two clean builds: $sum_a $sum_b"
        fi
    done
    sum_b=$(sha256sum <"$preset_exe" | cut -d' ' -f1)
    sum_a=$(sha256sum <"$a/UlvexTandrel.exe" | cut -d' ' -f1)
    [ "$sum_a" = "$sum_b" ] || fail "$arch reproducible: $preset_exe ($sum_b) is not the clean build ($sum_a): stale, or built differently"
    check_package "$arch" "$a" "$a/UlvexTandrel.exe"
}

# ---------------------------------------------------------------------------
# The checks must see faults, not just pass: an exe with every fault they
# look for (no ASLR, DEP or high-entropy ASLR, a writable and executable
# section, an import from SHELL32, no resources) has to fail each of them.

self_test() {
    local dir=$scratch/self-test
    mkdir -p "$dir"
    cat >"$dir/bad.cpp" <<'SOURCE'
#include <windows.h>
#include <shellapi.h>
__asm__(".section .wx, \"wx\"\n.byte 0xc3\n.text\n");
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return ShellExecuteA(nullptr, nullptr, "x", nullptr, nullptr, 0) != nullptr;
}
SOURCE
    if ! x86_64-w64-mingw32-g++-win32 -Os -mwindows -static -s -o "$dir/bad.exe" "$dir/bad.cpp" -lshell32 \
        -Wl,--disable-dynamicbase,--disable-nxcompat,--disable-high-entropy-va 2>"$dir/build.log"; then
        cat "$dir/build.log"
        fail "self-test: the faulty exe does not build"
        return
    fi
    (objdump=x86_64-w64-mingw32-objdump windres=x86_64-w64-mingw32-windres scratch=$dir
        check_exe x64 "$dir/bad.exe") >"$dir/out" 2>&1 || true
    local expected=(
        "x64: DYNAMIC_BASE not set"
        "x64: NX_COMPAT not set"
        "x64: HIGH_ENTROPY_VA not set"
        "x64: section .wx is writable and executable"
        "x64: imports from SHELL32.dll"
        "x64: imports differ from the reviewed list"
        "+SHELL32.dll ShellExecuteA"
        "x64: no resource of type 16 with ID 1"
        "x64: no resource of type 24 with ID 1"
        "x64: windres cannot read the resources"
    )
    local line missed=0
    for line in "${expected[@]}"; do
        if ! grep -qF -- "$line" "$dir/out"; then
            fail "self-test: the faulty exe did not give: $line"
            missed=1
        fi
    done
    if [ $missed = 0 ]; then ok "self-test: a faulty exe fails every check it should"; else cat "$dir/out"; fi
}

# ---------------------------------------------------------------------------

self_test

# The zips' dates come from here; the copied sources have no git history.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
export SOURCE_DATE_EPOCH

# Where the preset builds are; another folder only to try this script out.
preset_builds=${ULVEX_PRESET_BUILDS:-$root/build}

arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x64 x86)
for arch in "${arches[@]}"; do
    case $arch in
    x64) prefix=x86_64-w64-mingw32 ;;
    x86) prefix=i686-w64-mingw32 ;;
    *) echo "check.sh: unknown architecture $arch" >&2; exit 2 ;;
    esac
    objdump=$prefix-objdump
    windres=$prefix-windres
    exe=$preset_builds/windows-$arch/UlvexTandrel.exe
    printf '\n--- %s: %s\n' "$arch" "$exe"
    if [ ! -f "$exe" ]; then
        fail "$arch: $exe is missing: run cmake --workflow --preset windows-$arch first"
        continue
    fi
    check_exe "$arch" "$exe"
    check_reproducible "$arch" "$exe"
done

printf '\n'
if [ $failures -gt 0 ]; then
    echo "release checks: $failures failed"
    exit 1
fi
echo "release checks: all passed"
