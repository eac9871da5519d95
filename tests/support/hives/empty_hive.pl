#!/usr/bin/perl
# Writes an empty registry hive file: a base block, one hive bin holding the root key and the
# security cell every key needs (hivex copies it to the keys it adds). The tests fill it with
# "hivexregedit --merge".
# Usage: empty_hive.pl <file>
use strict;
use warnings;

my $file = shift or die "usage: empty_hive.pl <file>\n";

# Security descriptor (self-relative): owner and group BUILTIN\Administrators, no lists.
my $sid = pack('CC', 1, 2) . pack('N', 0) . pack('n', 5) . pack('V2', 32, 544);
my $sd = pack('CCvVVVV', 1, 0, 0x8004, 20, 20 + length($sid), 0, 0) . $sid . $sid;

my $root_at = 0x20;                              # first cell of the first bin
my $nk = pack('a2vQVVVVVVVVVVVVVVVvv', 'nk', 0x2C, 0, 0, 0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF,
              0, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0, 0, 0, 0, 0, 4, 0) . 'ROOT';
my $nk_cell = pad(pack('l', 0) . $nk);
my $sk_at = $root_at + length($nk_cell);
substr($nk_cell, 4 + 44, 4) = pack('V', $sk_at);  # the root's security cell
my $sk_cell = pad(pack('l', 0) . pack('a2vVVVV', 'sk', 0, $sk_at, $sk_at, 1, length($sd)) . $sd);
for my $c (\$nk_cell, \$sk_cell) { substr($$c, 0, 4) = pack('l', -length($$c)); }

my $used = 0x20 + length($nk_cell) + length($sk_cell);
my $free = 4096 - $used;
my $bin = pack('a4VVVVQV', 'hbin', 0, 4096, 0, 0, 0, 0) . $nk_cell . $sk_cell . pack('l', $free) . ("\0" x ($free - 4));

my $base = pack('a4VVQVVVVVVV', 'regf', 1, 1, 0, 1, 5, 0, 1, $root_at, 4096, 1);
$base .= "\0" x (508 - length($base));
my $sum = 0;
$sum ^= $_ for unpack('V127', $base);
$base .= pack('V', $sum) . ("\0" x (4096 - 512));

open(my $out, '>:raw', $file) or die "$file: $!\n";
print $out $base, $bin;
close($out);

sub pad { my $c = shift; return $c . ("\0" x ((8 - length($c) % 8) % 8)); }
