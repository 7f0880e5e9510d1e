#!/bin/sh
# The layer rules of the sources. Usage: check_layers.sh SOURCE_DIR TARGETS_FILE
#   - nothing outside src/app/ includes src/app/;
#   - the core (src/platform, src/store, src/exchange and src/sync, their widgets/ folders not)
#     includes nothing above it: no window folder, no widgets/ folder, no app/ or cli/,
#     no Qt Widgets or Qt Print Support header;
#   - src/store/ includes nothing from src/exchange/ or src/sync/; src/exchange/ nothing from src/sync/;
#   - src/cli/, when it exists, includes only the core folders and itself;
#   - kartax_core holds no source of a widgets/ folder nor of a folder above the core,
#     and links no widget library; the widgets/ folders of the core build into kartax_gui;
#   - the command (kartax2000, and every target built from src/cli/ but the core
#     library) names kartax_core as its only library of the project and links nothing
#     of the windows through it.
# TARGETS_FILE (written by CMake) has per target of src/ the lines
#   "sources TARGET FILE…", "direct TARGET LIBRARY…" and "closure TARGET LIBRARY…".
# Every breach is printed with the file and the include or library; exit status 1.
set -eu
src_root=$1
targets=$2
cd "$src_root"

# Breaches are collected in a file: some are found in the subshells of pipelines.
breaches=$(mktemp)
trap 'rm -f "$breaches"' EXIT
fail() {
    echo "layers: $*" | tee -a "$breaches" >&2
}

# "FILE:LINE:#include …" for every include of the given folders (more grep options may follow).
includes() {
    grep -rnE --include='*.cpp' --include='*.h' '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$@" || true
}

# Reports each include line of stdin with the rule it breaks.
report() {
    while IFS= read -r line; do
        file=${line%%:*}
        rest=${line#*:}
        number=${rest%%:*}
        include=$(printf '%s\n' "${rest#*:}" | sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*//')
        fail "$file:$number includes $include: $1"
    done
}

widget_headers='#[[:space:]]*include[[:space:]]*<(QtWidgets|QtPrintSupport|QtSvgWidgets)[/>]|#[[:space:]]*include[[:space:]]*<Q(Widget|Application|Dialog|MessageBox|FileDialog|Printer|PrintDialog)>'
above_core='#[[:space:]]*include[[:space:]]*"(platform/widgets|store/widgets|exchange/widgets|sync/widgets|dbcontrols|forms|dial|messaging|history|entry|find|reports|info|app|cli)/'

includes src --exclude-dir=app | grep -E '#[[:space:]]*include[[:space:]]*"app/' |
    report "only src/app/ includes src/app/"
core_includes=$(includes src/platform src/store src/exchange src/sync --exclude-dir=widgets)
printf '%s\n' "$core_includes" | grep -E "$above_core" |
    report "the core (platform, store, exchange, sync without widgets/) includes nothing above it"
printf '%s\n' "$core_includes" | grep -E "$widget_headers" |
    report "the core links no widgets"
includes src/store | grep -E '#[[:space:]]*include[[:space:]]*"(exchange|sync)/' |
    report "src/store/ includes nothing from src/exchange/ or src/sync/"
includes src/exchange | grep -E '#[[:space:]]*include[[:space:]]*"sync/' |
    report "src/exchange/ includes nothing from src/sync/"
if [ -d src/cli ]; then
    cli_includes=$(includes src/cli)
    printf '%s\n' "$cli_includes" | grep -E '#[[:space:]]*include[[:space:]]*"[^"]*/' |
        grep -vE '#[[:space:]]*include[[:space:]]*"(platform|store|exchange|sync|cli)/' |
        report "src/cli/ includes only platform, store, exchange, sync (without widgets/) and cli"
    printf '%s\n' "$cli_includes" |
        grep -E '#[[:space:]]*include[[:space:]]*"(platform|store|exchange|sync)/widgets/' |
        report "src/cli/ includes only platform, store, exchange, sync (without widgets/) and cli"
    printf '%s\n' "$cli_includes" | grep -E "$widget_headers" |
        report "src/cli/ links no widgets"
fi

# The links, from the targets file.
if [ ! -r "$targets" ]; then
    fail "$targets is missing: configure the build first"
    exit 1
fi
widget_libraries='^(kartax_gui|kartax_app|Qt6::Widgets|Qt6::PrintSupport|Qt6::Svg|Qt6::SvgWidgets)$'
# The items of one line of the targets file, one a line.
items() {
    awk -v kind="$1" -v target="$2" '$1 == kind && $2 == target { for (i = 3; i <= NF; i++) print $i }' "$targets"
}

if ! grep -q '^sources kartax_core ' "$targets"; then
    fail "$targets names no kartax_core"
fi
for source in $(items sources kartax_core); do
    case $source in
    src/platform/widgets/* | src/exchange/widgets/* | src/sync/widgets/*)
        fail "$source is built into kartax_core: the widgets/ folders belong to kartax_gui" ;;
    src/platform/* | src/store/* | src/exchange/* | src/sync/* | src/cli/*) ;;
    src/*)
        fail "$source is built into kartax_core: the core holds only platform, store, exchange, sync and cli" ;;
    esac
done
for library in $(items closure kartax_core); do
    if printf '%s\n' "$library" | grep -qE "$widget_libraries"; then
        fail "kartax_core links $library: the core links no widgets"
    fi
done
for target in $(awk '$1 == "sources" { for (i = 3; i <= NF; i++) if ($i ~ /^src\/(platform|exchange|sync)\/widgets\//) { print $2; break } }' "$targets"); do
    [ "$target" = kartax_gui ] ||
        fail "$target holds sources of a widgets/ folder of the core: they build into kartax_gui alone"
done

command_targets=$(awk '$1 == "sources" && ($2 == "kartax2000" || $0 ~ / src\/cli\//) && $2 != "kartax_core" { print $2 }' "$targets")
for target in $command_targets; do
    before=$(wc -l <"$breaches")
    for library in $(items direct "$target"); do
        case $library in
        kartax_core) ;;
        kartax_* | Qt6::Widgets | Qt6::PrintSupport | Qt6::Svg*)
            fail "$target links $library: the command links kartax_core alone" ;;
        esac
    done
    if ! items direct "$target" | grep -qx kartax_core; then
        fail "$target does not link kartax_core: the command links kartax_core alone"
    fi
    # What it links through its libraries, when it names none wrongly itself.
    [ "$(wc -l <"$breaches")" -eq "$before" ] || continue
    for library in $(items closure "$target"); do
        if printf '%s\n' "$library" | grep -qE "$widget_libraries"; then
            fail "$target links $library through its libraries: the command links no widgets"
        fi
    done
done

failures=$(wc -l <"$breaches")
if [ "$failures" -gt 0 ]; then
    echo "layers: $failures breach(es) of the layer rules" >&2
    exit 1
fi
echo "layers: every rule holds"
