#!/usr/bin/env bash
# Makes the Debian package from a finished build and checks it: its file list, its declared
# dependencies, and that the menu's launcher, run from the unpacked package, lays out a new, empty
# installation in ~/wvestor with the pictures and starts the program there.
#
#   packaging/check-package.sh BUILD_DIR SCRATCH_DIR
#
# Exit 77 (skipped) when cpack or dpkg-deb is missing.
set -euo pipefail

build=$1
scratch=$2
for tool in cpack dpkg-deb; do
    command -v "$tool" >/dev/null || { echo "no $tool: skipped"; exit 77; }
done

rm -rf "$scratch"
mkdir -p "$scratch"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; exit 1; }
debs=("$scratch"/wvestor_*.deb)
[ -f "${debs[0]}" ] || { echo "no package made"; cat "$scratch/cpack.log"; exit 1; }
deb=${debs[0]}
echo "package: $deb ($(stat -c %s "$deb") bytes)"

fail() { echo "FAIL: $*"; exit 1; }

# The files, exactly.
dpkg-deb -c "$deb" >"$scratch/listing"
awk '$1 !~ /^d/ {print $NF}' "$scratch/listing" | sed 's|^\./|/|' | sort >"$scratch/files"
sort >"$scratch/expected" <<'LIST'
/usr/bin/wvestor
/usr/bin/wvestor-db
/usr/bin/wvestor-escritorio
/usr/share/applications/wvestor.desktop
/usr/share/icons/hicolor/64x64/apps/wvestor.png
/usr/share/icons/hicolor/scalable/apps/wvestor.svg
/usr/share/wvestor/empresa.jpg
/usr/share/wvestor/logo_impresion.bmp
LIST
diff -u "$scratch/expected" "$scratch/files" || fail "the package's files differ"
grep -q '^-rwxr-xr-x .* \./usr/bin/wvestor-escritorio$' "$scratch/listing" ||
    fail "the launcher is not executable"

# What apt has to bring along on a fresh system.
depends=$(dpkg-deb -f "$deb" Depends)
needed=(libfreeimage3 fonts-liberation)
command -v dpkg-shlibdeps >/dev/null &&
    needed+=(libqt6widgets6 libqt6printsupport6 libqt6uitools6 libqt6gui6 libqt6core6)
for p in "${needed[@]}"; do
    [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p: $depends"
done

# The menu entry runs the launcher, whose icon is in the package.
root=$scratch/root
dpkg-deb -x "$deb" "$root"
entry=$root/usr/share/applications/wvestor.desktop
grep -qx 'Exec=wvestor-escritorio' "$entry" || fail "the menu entry does not run the launcher"
grep -qx 'Icon=wvestor' "$entry" || fail "the menu entry's icon is not wvestor"

# The launcher from the unpacked package, for a user without an installation.
home=$scratch/home
mkdir -p "$home" "$scratch/run"
chmod 700 "$scratch/run"
env -u WVESTOR_DIR HOME="$home" XDG_RUNTIME_DIR="$scratch/run" QT_QPA_PLATFORM=offscreen \
    "$root/usr/bin/wvestor-escritorio" >"$scratch/program.log" 2>&1 &
pid=$!
inst=$home/wvestor
for _ in $(seq 1 300); do
    [ -s "$inst/wVestor32.log" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
# It waits on the new installation's notice; nothing more is needed of it.
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
[ -s "$inst/wVestor32.log" ] || { cat "$scratch/program.log"; fail "the program did not start in $inst"; }
for f in datos/cliente.dbf datos/articulo.dbf datos/concfac.dbf datos/facturas.dbf \
         datos/det_fact.dbf datos/pos_fac.dbf config/cfg.dbf bitmaps/empresa.jpg \
         bitmaps/logo_impresion.bmp; do
    [ -f "$inst/$f" ] || fail "the new installation lacks $f"
done
cmp -s "$inst/bitmaps/empresa.jpg" "$root/usr/share/wvestor/empresa.jpg" ||
    fail "the company picture is not the package's"
# Empty: the catalogues have no records (the header line of the dump only).
for t in cliente articulo concfac; do
    [ "$("$root/usr/bin/wvestor-db" dump "$inst/datos/$t" | wc -l)" -eq 1 ] ||
        fail "the new installation's $t has records"
done
echo "ok"
