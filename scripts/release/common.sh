# shellcheck shell=bash disable=SC2034  # the variables are used by the scripts that source this
# common.sh: what both halves of the release checks share; sourced by linux.sh and win32.sh.

fail() {
    echo "release: $*" >&2
    exit 1
}

# The host scenario of tests/host/, with the native host's main, which calls the entry points the
# header declares: linked with libvelkano.so it draws the native bytes, linked with an import
# library of Velkano.dll the bytes that must equal them.
host_scenario_sources=(tests/host/native_host.c tests/host/host_scenario.c tests/host/host_harness.c
    tests/host/host_flash.c tests/host/host_tile.c tests/host/host_affine.c tests/host/host_persp.c)
# The project's C flags (velkano_target_flags, cmake/VelkanoFlags.cmake): IEEE double with no
# contraction, never fast-math, no vectoriser. Windows programs add -msse2 -mfpmath=sse. -Isrc
# gives the hosts the list of entry points their table is made from (trace/entry_point_list.h);
# velkano.h comes from the package under test.
host_c_flags=(-std=c99 -O2 -Wall -Wextra -ffp-contract=off -fno-fast-math -fno-tree-vectorize -Isrc)
