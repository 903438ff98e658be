#!/usr/bin/env bash
# Installs, from Debian's packages, what building Quorix needs and is not yet
# on this machine; with --tests, also what the tests and benchmarks use; with
# --mpi, also MPI and MUMPS for a build with -DQUORIX_MPI=ON.
# Packages already installed are left alone, so on a prepared machine the
# script only checks and says nothing. Needs root or sudo to install.
#
#   tools/install-deps.sh           the compiler, CMake, Ninja and METIS
#   tools/install-deps.sh --tests   those, and the test tools
#   tools/install-deps.sh --mpi     also Open MPI and MUMPS (both options may be given)
set -euo pipefail

packages=(g++ cmake ninja-build libmetis-dev)
for option in "$@"; do
  case "$option" in
    --tests)
      # GoogleTest and Google Benchmark; VTK's Python bindings, NumPy and an SVG
      # renderer read what the program writes; Gmsh meshes the examples;
      # valgrind checks one run's memory.
      packages+=(libgtest-dev libgmock-dev libbenchmark-dev python3-vtk9 python3-numpy librsvg2-bin gmsh
        valgrind)
      ;;
    --mpi)
      # MUMPS built with SCOTCH (it brings libmumps-dev), on Open MPI.
      packages+=(openmpi-bin libopenmpi-dev libmumps-ptscotch-dev)
      ;;
    *)
      echo "usage: tools/install-deps.sh [--tests] [--mpi]" >&2
      exit 2
      ;;
  esac
done

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
((${#missing[@]} == 0)) && exit 0

echo "tools/install-deps.sh: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "tools/install-deps.sh: not root and no sudo: install ${missing[*]} as root" >&2
    exit 1
  fi
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
