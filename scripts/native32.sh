#!/bin/sh
# Exits 0 when this machine runs 32-bit programs itself, and so the 32-bit Wine that the
# shipped library's tests need. Where the kernel cannot, the tests run on a 64-bit build and
# in the 32-bit lane (scripts/lane32.sh). TRELVOX_LANE32=1 takes that path on any machine.
[ "${TRELVOX_LANE32:-0}" != 1 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1
