#!/usr/bin/perl
# Reworks hive files that hivex wrote, into the forms hivex does not write itself:
#   bigdata <hive> <value name>   moves the value's data into "db" segments in a new hive bin
#   lists <hive> <key name>       splits the key's sub-key list into an index root ("ri") over two
#                                 index leaves ("li") in a new hive bin
#   dirty <old> <new> <out>       <out> is <old> marked as not written back, <out>.LOG1 the
#                                 transaction log (new format) whose entry turns it into <new>
#   dirtyold <old> <new> <out>    the same with the older log form (a bitmap of dirty 512-byte pages)
#   badlog <log>                  spoils one byte of the log entry's pages (its hash no longer fits)
#   badsum <hive>                 changes the base block without fixing its checksum
#   cellpast <hive>               gives the root key's cell a length past the end of its bin
#   badref <hive>                 points the root key's sub-key list far past the end of the file
#   deep <hive> <key> <levels>    hangs a chain of <levels> nested keys below the key (which has none)
#   ripeat <hive> <key>           gives the key (its list an index root) an index root that names
#                                 its first index leaf 65,535 times
#   biglog <dirty hive>           writes <hive>.LOG1: 1 KB, one sound entry that claims 1 GiB of hive data
use strict;
use warnings;

my ($op, @args) = @ARGV;
die "usage: hive_tool.pl bigdata|lists|dirty|dirtyold|badlog|badsum|cellpast|badref|deep|ripeat|biglog ...\n" unless $op;

sub slurp { my $f = shift; open(my $h, '<:raw', $f) or die "$f: $!\n"; local $/; my $d = <$h>; close $h; return $d; }
sub spit { my ($f, $d) = @_; open(my $h, '>:raw', $f) or die "$f: $!\n"; print $h $d; close $h; }
sub u32 { return unpack('V', substr($_[0], $_[1], 4)); }
sub checksum {
    my $c = 0;
    $c ^= $_ for unpack('V127', substr($_[0], 0, 508));
    $c = 0xFFFFFFFE if $c == 0xFFFFFFFF;
    $c = 1 if $c == 0;
    substr($_[0], 508, 4) = pack('V', $c);
}

# Marvin32 with the seed of the transaction logs.
sub marvin {
    my $data = shift;
    my ($p0, $p1) = (0x7A4E55C5, 0x82EF4D88);
    my $rotl = sub { my ($v, $n) = @_; return (($v << $n) | ($v >> (32 - $n))) & 0xFFFFFFFF; };
    my $block = sub {
        $p1 ^= $p0; $p0 = $rotl->($p0, 20);
        $p0 = ($p0 + $p1) & 0xFFFFFFFF; $p1 = $rotl->($p1, 9);
        $p1 ^= $p0; $p0 = $rotl->($p0, 27);
        $p0 = ($p0 + $p1) & 0xFFFFFFFF; $p1 = $rotl->($p1, 19);
    };
    my $len = length($data);
    my $i = 0;
    for (; $i + 4 <= $len; $i += 4) { $p0 = ($p0 + u32($data, $i)) & 0xFFFFFFFF; $block->(); }
    my @rest = unpack('C*', substr($data, $i));
    my $last = 0x80;
    $last = 0x8000 | $rest[0] if @rest == 1;
    $last = 0x800000 | $rest[0] | ($rest[1] << 8) if @rest == 2;
    $last = 0x80000000 | $rest[0] | ($rest[1] << 8) | ($rest[2] << 16) if @rest == 3;
    $p0 = ($p0 + $last) & 0xFFFFFFFF;
    $block->(); $block->();
    return pack('VV', $p0, $p1);
}

# Appends a hive bin holding the given cells (built by `cell`) and returns the hive.
sub append_bin {
    my ($h, $cells) = @_;
    my $bins = u32($h, 40);
    my $binsize = 4096 * int((32 + length($cells) + 8 + 4095) / 4096);
    my $free = $binsize - 32 - length($cells);
    $h = substr($h, 0, 4096 + $bins) . pack('a4VVVVQV', 'hbin', $bins, $binsize, 0, 0, 0, 0) . $cells .
         pack('l', $free) . ("\0" x ($free - 4));
    substr($h, 40, 4) = pack('V', $bins + $binsize);
    checksum($h);
    return $h;
}

# The file offset of the "nk" of the key with this name.
sub find_key {
    my ($h, $name) = @_;
    my $nk = -1;
    do { $nk = index($h, 'nk', $nk + 1) } while $nk >= 0 && !(unpack('v', substr($h, $nk + 72, 2)) == length($name) &&
                                                             substr($h, $nk + 76, length($name)) eq $name);
    die "no key $name\n" if $nk < 0;
    return $nk;
}

sub cell { my $c = shift; $c .= "\0" x ((8 - (length($c) + 4) % 8) % 8); return pack('l', -(length($c) + 4)) . $c; }

if ($op eq 'bigdata') {
    my ($file, $name) = @args;
    my $h = slurp($file);
    my $vk = index($h, 'vk' . pack('v', length($name)));
    $vk = index($h, 'vk' . pack('v', length($name)), $vk + 1) while $vk >= 0 && substr($h, $vk + 20, length($name)) ne $name;
    die "no value $name\n" if $vk < 0;
    my $size = u32($h, $vk + 4);
    my $data = substr($h, 4096 + u32($h, $vk + 8) + 4, $size);
    my @segments = unpack('(a16344)*', $data);
    my $db_at = u32($h, 40) + 32;               # the first cell of the new bin
    my $list_at = $db_at + length(cell('db' . pack('vV', 0, 0)));
    my $seg_at = $list_at + length(cell(pack('V*', (0) x @segments)));
    my (@offsets, $segs);
    for my $s (@segments) { push @offsets, $seg_at + length($segs // ''); $segs .= cell($s); }
    my $cells = cell('db' . pack('vV', scalar @segments, $list_at)) . cell(pack('V*', @offsets)) . $segs;
    substr($h, $vk + 8, 4) = pack('V', $db_at);
    spit($file, append_bin($h, $cells));
} elsif ($op eq 'lists') {
    my ($file, $name) = @args;
    my $h = slurp($file);
    my $nk = -1;
    do { $nk = index($h, 'nk', $nk + 1) } while $nk >= 0 && !(unpack('v', substr($h, $nk + 72, 2)) == length($name) &&
                                                             substr($h, $nk + 76, length($name)) eq $name);
    die "no key $name\n" if $nk < 0;
    my $list = 4096 + u32($h, $nk + 28) + 4;
    my $n = unpack('v', substr($h, $list + 2, 2));
    my @keys = map { u32($h, $list + 4 + 8 * $_) } 0 .. $n - 1;
    my $half = int($n / 2);
    my $at = u32($h, 40) + 32;
    my $li1 = cell('li' . pack('v', $half) . pack('V*', @keys[0 .. $half - 1]));
    my $li2 = cell('li' . pack('v', $n - $half) . pack('V*', @keys[$half .. $n - 1]));
    my $ri = cell('ri' . pack('vVV', 2, $at, $at + length($li1)));
    substr($h, $nk + 28, 4) = pack('V', $at + length($li1) + length($li2));
    spit($file, append_bin($h, $li1 . $li2 . $ri));
} elsif ($op eq 'dirty') {
    my ($old, $new, $out) = @args;
    my ($o, $n) = (slurp($old), slurp($new));
    my $seq = u32($o, 8) + 1;                   # the primary number runs one ahead: not written back
    substr($o, 4, 4) = pack('V', $seq);
    checksum($o);
    spit($out, $o);
    # The log: a copy of the first sector of the base block (file type 6), then one entry with
    # every page of the new hive bins data that differs from the old.
    my $base = substr($n, 0, 512);
    substr($base, 4, 8) = pack('VV', $seq, $seq);
    substr($base, 28, 4) = pack('V', 6);
    checksum($base);
    my $bins = u32($n, 40);
    my ($refs, $pages, $count) = ('', '', 0);
    for (my $p = 0; $p < $bins; $p += 4096) {
        my $page = substr($n, 4096 + $p, 4096);
        next if 4096 + $p + 4096 <= length($o) && $page eq substr($o, 4096 + $p, 4096);
        $refs .= pack('VV', $p, 4096);
        $pages .= $page;
        $count++;
    }
    my $body = $refs . $pages;
    my $size = 40 + length($body);
    $size += (512 - $size % 512) % 512;
    $body .= "\0" x ($size - 40 - length($body));
    my $head = pack('a4VVVVV', 'HvLE', $size, 0, $seq, $bins, $count);
    my $h1 = marvin($body);
    my $h2 = marvin($head . $h1);
    spit("$out.LOG1", $base . $head . $h1 . $h2 . $body);
} elsif ($op eq 'dirtyold') {
    my ($old, $new, $out) = @args;
    my ($o, $n) = (slurp($old), slurp($new));
    my $seq = u32($o, 8) + 1;
    substr($o, 4, 4) = pack('V', $seq);
    checksum($o);
    spit($out, $o);
    # The base block as it is to be, with the old one's time of writing; the bitmap; the pages.
    my $base = substr($n, 0, 512);
    substr($base, 4, 8) = pack('VV', $seq, $seq);
    substr($base, 12, 8) = substr($o, 12, 8);
    substr($base, 28, 4) = pack('V', 1);
    checksum($base);
    my $bins = u32($n, 40);
    my ($bits, $pages) = ('', '');
    for (my $p = 0; $p < $bins; $p += 512) {
        my $page = substr($n, 4096 + $p, 512);
        my $same = 4096 + $p + 512 <= length($o) && $page eq substr($o, 4096 + $p, 512);
        $bits .= $same ? '0' : '1';
        $pages .= $page unless $same;
    }
    my $vector = 'DIRT' . pack('b*', $bits);
    $vector .= "\0" x ((512 - length($vector) % 512) % 512);
    spit("$out.LOG1", $base . $vector . $pages);
} elsif ($op eq 'badlog') {
    my $log = slurp($args[0]);
    substr($log, length($log) - 100, 1) = chr(ord(substr($log, length($log) - 100, 1)) ^ 0xFF);
    spit($args[0], $log);
} elsif ($op eq 'badsum') {
    my $h = slurp($args[0]);
    substr($h, 48, 2) = 'XY';
    spit($args[0], $h);
} elsif ($op eq 'cellpast') {
    my $h = slurp($args[0]);
    substr($h, 4096 + u32($h, 36), 4) = pack('l', -0x100000);
    spit($args[0], $h);
} elsif ($op eq 'badref') {
    my $h = slurp($args[0]);
    substr($h, 4096 + u32($h, 36) + 4 + 28, 4) = pack('V', 0x7FFFFFF8);
    spit($args[0], $h);
} elsif ($op eq 'deep') {
    my ($file, $name, $levels) = @args;
    my $h = slurp($file);
    my $nk = find_key($h, $name);
    die "$name has sub-keys\n" if u32($h, $nk + 20);
    my $sk = u32($h, $nk + 44);
    my $at = u32($h, 40) + 32;
    my $key = sub {  # a key named "Ebene" with its parent and at most one sub-key
        my ($parent, $list) = @_;
        return cell(pack('a2vQVVVVVVVVVVVVVVVvv', 'nk', 0x20, 0, 0, $parent, $list == 0xFFFFFFFF ? 0 : 1, 0, $list,
                         0xFFFFFFFF, 0, 0xFFFFFFFF, $sk, 0xFFFFFFFF, 0, 0, 0, 0, 0, 5, 0) . 'Ebene');
    };
    my $step = length($key->(0, 0)) + length(cell('li' . pack('vV', 1, 0)));
    my $cells = '';
    for my $i (0 .. $levels - 1) {
        my $self = $at + $i * $step;
        my $last = $i == $levels - 1;
        $cells .= $key->($i ? $self - $step : $nk - 4 - 4096, $last ? 0xFFFFFFFF : $self + $step - 16);
        $cells .= cell('li' . pack('vV', 1, $last ? 0 : $self + $step));
    }
    my $first = $at + length($cells);
    $cells .= cell('li' . pack('vV', 1, $at));
    substr($h, $nk + 20, 4) = pack('V', 1);
    substr($h, $nk + 28, 4) = pack('V', $first);
    spit($file, append_bin($h, $cells));
} elsif ($op eq 'ripeat') {
    my ($file, $name) = @args;
    my $h = slurp($file);
    my $nk = find_key($h, $name);
    my $ri = 4096 + u32($h, $nk + 28) + 4;
    die "$name has no index root\n" unless substr($h, $ri, 2) eq 'ri';
    my $leaf = u32($h, $ri + 4);
    substr($h, $nk + 28, 4) = pack('V', u32($h, 40) + 32);
    spit($file, append_bin($h, cell('ri' . pack('v', 65535) . pack('V', $leaf) x 65535)));
} elsif ($op eq 'biglog') {
    my $file = $args[0];
    my $h = slurp($file);
    my $seq = u32($h, 4);
    my $base = substr($h, 0, 512);
    substr($base, 8, 4) = pack('V', $seq);
    substr($base, 28, 4) = pack('V', 6);
    checksum($base);
    my $body = "\0" x (512 - 40);
    my $head = pack('a4VVVVV', 'HvLE', 512, 0, $seq, 0x40000000, 0);
    my $h1 = marvin($body);
    spit("$file.LOG1", $base . $head . $h1 . marvin($head . $h1) . $body);
} else {
    die "unknown operation $op\n";
}
