#!/usr/bin/env bash
# Exit status 0 when this machine runs 32-bit programs. Some kernels cannot execute any i386
# program ("Exec format error"), 32-bit Wine included; 32-bit Wine's version check shows it.
# PELKO_ASSUME_NO_32BIT=1 answers no, to try what such a machine does.
[ "${PELKO_ASSUME_NO_32BIT:-0}" = 1 ] && exit 1
/usr/lib/wine/wine --version >/dev/null 2>&1
