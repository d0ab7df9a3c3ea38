#!/usr/bin/env bash
# Sets everything up and runs the converter's round trip on the bundled
# example school: export the exchange document into the working tables, put
# the bundled timetable (SOLUC.DBF) beside them, import it into the result
# document. Everything happens in a fresh folder under /tmp (or $1).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target transquadrix -j "$(nproc)"

out=${1:-$(mktemp -d /tmp/transquadrix-demo.XXXXXX)}
mkdir -p "$out/qtemp"
cp examples/instituto_ejemplo.xml "$out/"
tool=build/cli/transquadrix

echo "== export: $out/instituto_ejemplo.xml -> $out/qtemp"
"$tool" export "$out/instituto_ejemplo.xml" --workdir "$out/qtemp"

echo "== the timetabling program's solution: examples/SOLUC.DBF"
cp examples/SOLUC.DBF "$out/qtemp/"

echo "== import: $out/qtemp/SOLUC.DBF -> $out/ResultadoQuadrixinstituto_ejemplo.xml"
"$tool" import "$out/instituto_ejemplo.xml" --workdir "$out/qtemp"

echo
echo "Tablas de trabajo:    $out/qtemp"
echo "Documento resultado:  $out/ResultadoQuadrixinstituto_ejemplo.xml"
