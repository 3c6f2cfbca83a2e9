#!/usr/bin/perl
# Copies a 32-bit big-endian PowerPC shared library, turning every extended
# form of "move from FPSCR" (mffsl, mffsce, mffscrn, mffscrni, mffscdrn,
# mffscdrni: POWER9 additions) in its code sections into the plain mffs.
#
# Debian's libm for powerpc issues mffscrn/mffscrni unconditionally and
# relies on processors older than POWER9 executing them as mffs (it then
# sets the rounding mode itself after checking the hardware capabilities).
# qemu-user 7.2 raises an illegal-instruction signal instead for every
# 32-bit CPU it models, so sin, cos, tan, atan2 and friends crash under it.
# The copy behaves as that library does on a real G4.
#
#   perl mffs-compat.pl /usr/powerpc-linux-gnu/lib/libm.so.6 OUT/libm.so.6
use strict;
use warnings;

my ($in, $out) = @ARGV;
die "usage: $0 IN OUT\n" unless defined $out;
open(my $fh, '<:raw', $in) or die "$in: $!\n";
my $image = do { local $/; <$fh> };
close $fh;

die "$in: not a 32-bit big-endian ELF file\n"
    unless substr($image, 0, 6) eq "\x7fELF\x01\x02";
my ($shoff) = unpack('N', substr($image, 0x20, 4));
my ($shentsize, $shnum) = unpack('nn', substr($image, 0x2E, 4));

use constant SHF_EXECINSTR => 0x4;
my $patched = 0;
for my $i (0 .. $shnum - 1) {
    my ($flags, $addr, $offset, $size) =
        unpack('NNNN', substr($image, $shoff + $i * $shentsize + 8, 16));
    next unless $flags & SHF_EXECINSTR;
    for (my $at = $offset; $at + 4 <= $offset + $size; $at += 4) {
        my $word = unpack('N', substr($image, $at, 4));
        # primary opcode 63, extended opcode 583 (mffs), non-zero RA field
        next unless ($word >> 26) == 63 && (($word >> 1) & 0x3FF) == 583
                    && (($word >> 16) & 0x1F) != 0;
        substr($image, $at, 4) = pack('N', $word & ~0x001FF800);
        $patched++;
    }
}

open(my $oh, '>:raw', "$out.tmp") or die "$out.tmp: $!\n";
print $oh $image;
close $oh or die "$out.tmp: $!\n";
rename("$out.tmp", $out) or die "$out: $!\n";
print "mffs-compat: $patched instructions in $in\n";
