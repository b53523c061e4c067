#!/usr/bin/env bash
# End-to-end tests of the zru tool: runs the binary on copies of the bundled
# samples and checks its output, standard error and exit status.
#   zru_cli_test.sh ZRU SOURCE_DIR WORK_DIR GROUP
# GROUP is one of gos, pip, shp, dbf, list, hash, email, count, readme, usage,
# failures. count finds the stand-in libzrpaf.so in the folder $ZRPAF_DIR.
set -uo pipefail
zru=$1 source=$2 work=$3 group=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0

# run ARGS...: runs zru, keeping standard output, standard error and status.
run() { "$zru" "$@" >out.txt 2>err.txt; rc=$?; }
fail() {
  echo "FAIL: $*"
  echo "--- stdout:"; head -20 out.txt; echo "--- stderr:"; head -20 err.txt
  failures=$((failures + 1))
}
# expect STATUS ARGS...: runs zru and checks its exit status.
expect() { local want=$1; shift; run "$@"; [ "$rc" = "$want" ] || fail "zru $* exited $rc, not $want"; }
# has FILE TEXT: FILE holds the fixed text TEXT.
has() { grep -qF -- "$2" "$1" || fail "$1 lacks '$2' (after: zru ${last[*]:-})"; }
same() { cmp -s "$1" "$2" || { fail "$1 differs from $2"; diff "$1" "$2" | head -10; }; }

copy_countries() {
  mkdir -p ne && cp "$source"/samples/naturalearth/naturalearth_lowres.* ne/
  countries=$PWD/ne/naturalearth_lowres
}
# The name of the country of record index N, from the attribute oracle.
country() { awk -F'\t' -v n="$1" 'NR == n + 2 { print $3 }' \
  "$source"/tests/data/shapes/oracle/naturalearth_lowres.attributes.tsv; }

case $group in
gos)
  copy_countries
  expect 0 gos build "$countries.shp" --precision 1
  has out.txt "Columns: 3601"; has out.txt "Precision: 1"; has out.txt "Bytes: "
  has out.txt "Seconds: "
  # Not a terminal: progress as plain lines.
  has err.txt "zru gos build: 100%"
  [ -s "$countries.gos" ] || fail "no index written"
  expect 0 gos info "$countries.gos"
  has out.txt "Longitude range: [-180, 180.1]"; has out.txt "Coordinates very well indexed"
  expect 0 gos column "$countries.gos" -0.1
  has out.txt "gives column 1799"; has out.txt "List of shapes:"
  # London lies inside the United Kingdom's cell; shape code n is record n - 1.
  expect 0 gos search "$countries.gos" 51.5,-0.1
  code=$(sed -n 's/^inside: //p' out.txt)
  [ "$(country $((code - 1)))" = "United Kingdom" ] || fail "London in shape code '$code'"
  # A filtered index names only the selected records.
  expect 0 gos build "$countries.shp" --precision 0 --filter continent=Africa
  expect 0 gos search "$countries.gos" -1.3,36.8
  code=$(sed -n 's/^inside: //p' out.txt)
  [ "$(country $((code - 1)))" = "Kenya" ] || fail "Nairobi in shape code '$code'"
  expect 0 gos search "$countries.gos" 51.5,-0.1
  has out.txt "inside: 0"; grep -qE '^candidates:$' out.txt || fail "London in the Africa index"
  mkdir -p holes && cp "$source"/tests/data/shapes/edge/polygon_holes.* holes/
  expect 0 gos build holes/polygon_holes.shp --higher
  has out.txt "Columns: "
  ;;
pip)
  copy_countries
  # An index at precision 1 first, so the queries do not build the default one.
  expect 0 gos build "$countries.shp" --precision 1
  expect 0 pip "$countries.shp" 51.5,-0.1 --fields name
  has out.txt "United Kingdom"
  expect 0 pip "$countries.shp" 51.5,-0.1 --fields NAME,iso_a3 --names --distance
  grep -qE '^NAME=United Kingdom\|iso_a3=GBR\|[0-9]+m$' out.txt || fail "answer with names and distance"
  expect 0 pip "$countries.shp" -33.9,18.4
  has out.txt "South Africa"
  expect 0 pip "$countries.shp" 45,-30 --fields name
  [ "$(cat out.txt)" = "" ] || fail "a point in the Atlantic answered"
  # A batch of 1,000 points from standard input against GEOS's answers (the
  # oracle's points, drawn by splitmix64 as the oracle script draws them).
  oracle=$source/tests/data/shapes/oracle/naturalearth_points.txt
  state=20261207 mask30=$(((1 << 34) - 1)) mask27=$(((1 << 37) - 1)) mask31=$(((1 << 33) - 1))
  next_uniform() {  # splitmix64 in 64-bit wrapping integers; logical shifts masked
    state=$((state + 0x9E3779B97F4A7C15)); local z=$state
    z=$(((z ^ ((z >> 30) & mask30)) * 0xBF58476D1CE4E5B9))
    z=$(((z ^ ((z >> 27) & mask27)) * 0x94D049BB133111EB))
    z=$((z ^ ((z >> 31) & mask31)))
    uniform=$(((z >> 11) & ((1 << 53) - 1)))
  }
  : >points.txt
  for ((i = 0; i < 1000; ++i)); do
    next_uniform; lon=$uniform; next_uniform; echo "$lon $uniform" >>points.txt
  done
  awk '{ u = 1 / 9007199254740992; printf "%.17g,%.17g\n", -90 + 180 * ($2 * u), -180 + 360 * ($1 * u) }' \
    points.txt >latlon.txt
  head -1000 "$oracle" | awk -F'\t' 'NR == FNR { name[FNR - 2] = $3; next }
    { print ($0 == "-" ? "" : $0 == "s" ? "s" : name[$0]) }' \
    "$source"/tests/data/shapes/oracle/naturalearth_lowres.attributes.tsv - >expected.txt
  "$zru" pip "$countries.shp" - --fields name <latlon.txt >answers.txt 2>err.txt || fail "batch exited $?"
  has err.txt "points/s"; has err.txt "1000 points"
  # Points on an edge ("s") are where GEOS and the crossing rule may differ.
  paste -d'\t' expected.txt answers.txt | awk -F'\t' '$1 != "s" && $1 != $2 { bad++; if (bad < 5) print NR": "$0 } END { exit bad > 0 }' \
    || fail "batch answers differ from GEOS"
  [ "$(wc -l <answers.txt)" = 1000 ] || fail "not one answer a line"
  # A bad line fails the run but keeps the answers beside their points.
  printf '51.5,-0.1\nnowhere\n48.85,2.35\n' | "$zru" pip "$countries.shp" - --fields name >out.txt 2>err.txt
  rc=$?; [ "$rc" = 1 ] || fail "batch with a bad line exited $rc"
  [ "$(cat out.txt)" = "$(printf 'United Kingdom\n\nFrance')" ] || fail "batch with a bad line"
  has err.txt "line 2: error -2: Missing or invalid LatLong"
  ;;
shp)
  copy_countries
  expect 0 shp info "$countries.shp"
  has out.txt "Shape type: Polygon"; has out.txt "Records: 177"; has out.txt "Fields: 5"
  has out.txt "name: C, width 80"
  for set in "$source"/tests/data/shapes/edge/*.shp; do
    base=$(basename "$set" .shp); cp "$source/tests/data/shapes/edge/$base".* .
    expect 0 shp dump "$base"
    records=$(wc -l <"$source/tests/data/shapes/oracle/$base.shapes.tsv")
    [ "$(grep -c '^Record ' out.txt)" = "$records" ] || fail "$base: dump of $records records"
  done
  expect 0 shp info polygon_holes.shx
  has out.txt "Shape type: Polygon"; has out.txt "Records: $(wc -l <"$source/tests/data/shapes/oracle/polygon_holes.shapes.tsv")"
  expect 0 shp dump point.shp
  has out.txt "Record 0: Point, 0 parts, 1 points"
  expect 0 shp dump "$countries"
  has out.txt "  name=United Kingdom"
  ;;
dbf)
  copy_countries
  expect 0 dbf dump "$countries.dbf" --fields NAME,iso_a3
  # The oracle's columns 3 and 4, as CSV with CRLF line ends.
  # The table's code page is ISO 8859-1 (its .cpg); the oracle keeps its bytes.
  awk -F'\t' 'NR == 1 { print "name,iso_a3\r"; next } { print $3 "," $4 "\r" }' \
    "$source"/tests/data/shapes/oracle/naturalearth_lowres.attributes.tsv |
    iconv -f ISO-8859-1 -t UTF-8 >expected.csv
  same out.txt expected.csv
  expect 0 dbf dump "$countries.dbf"
  [ "$(wc -l <out.txt)" = 178 ] || fail "not 177 records and a header"
  has out.txt "pop_est,continent,name,iso_a3,gdp_md_est"
  # A one-field table whose values need quoting and a code page: a comma, a
  # quote, a line break and a Windows-1252 e acute.
  {
    printf '\003\172\014\007\003\000\000\000\101\000\015\000\000\000\000\000'
    printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000'
    printf 'TEXT\000\000\000\000\000\000\000C\000\000\000\000\014\000'
    printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000'
    printf '\015'
    printf ' a,b         '; printf ' say "hi"    '; printf ' caf\351        '
    printf '\032'
  } >quote.dbf
  expect 0 dbf dump quote.dbf
  printf 'TEXT\r\n"a,b"\r\n"say ""hi"""\r\ncaf\303\251\r\n' >expected.csv
  same out.txt expected.csv
  ;;
list)
  cp "$source"/samples/lists/streets.txt .
  expect 0 list search streets.txt "High Street"
  [ "$(cat out.txt)" = "$(printf '1\tHigh Street\t')" ] || fail "High Street"
  expect 0 list search streets.txt "Acacia Avenue"
  [ "$(cat out.txt)" = "$(printf '0\t\t')" ] || fail "missing text"
  same streets.txt "$source"/samples/lists/streets.txt
  expect 0 list search streets.txt "Acacia Avenue" --insert
  [ "$(cat out.txt)" = "$(printf '21\tAcacia Avenue\tNew')" ] || fail "insert"
  grep -qP '^21\tAcacia Avenue$' streets.txt || fail "insert not written back"
  expect 0 list search streets.txt "Acacia Avenue"
  [ "$(cat out.txt)" = "$(printf '21\tAcacia Avenue\t')" ] || fail "inserted text read back"
  ;;
hash)
  # 2,000 keys, one value each; every key must find its value among its
  # candidates, with either hash function.
  awk 'BEGIN { for (i = 1; i <= 2000; ++i) printf "key%d\t%d\n", i, i * 7 }' >keys.tsv
  for hash in oat lookup3; do
    expect 0 hash build keys.tsv "$hash.idx" --hash "$hash" --text "keys by $hash"
    has out.txt "Keys: 2000"; has out.txt "Slots: 4001 of"; has out.txt "Hash: $hash"
    expect 0 hash info "$hash.idx"
    has out.txt "Hash: $hash"; has out.txt "Text: keys by $hash"; has out.txt "List: none"
    expect 0 hash table "$hash.idx"
    [ "$(wc -l <out.txt)" = 2000 ] || fail "$hash: not 2000 slots in use"
    for i in 1 777 2000; do
      expect 0 hash get "$hash.idx" "key$i"
      grep -qx "$((i * 7))" out.txt || fail "$hash: key$i does not find $((i * 7))"
    done
  done
  cmp -s oat.idx lookup3.idx && fail "the two hash functions wrote the same index"
  # A key's lines one after another make one key with a value list.
  printf 'alpha\t3\nalpha\t1\nalpha\t2\nbeta\t9\n\ngamma\t4\ngamma\t4\n' >list.tsv
  expect 1 hash build list.tsv list.idx
  has err.txt "zru: list.tsv: line 2: key 'alpha' repeats the previous line's: use --list"
  [ -e list.idx ] && fail "a refused build wrote an index"
  expect 0 hash build list.tsv list.idx --list
  has out.txt "Keys: 3"; has out.txt "Values: 6"
  expect 0 hash info list.idx; has out.txt "List: "
  expect 0 hash get list.idx alpha; grep -qx "3 1 2" out.txt || fail "alpha's values"
  expect 0 hash get list.idx gamma; grep -qx "4 4" out.txt || fail "gamma's values"
  expect 0 hash get list.idx beta; grep -qx "9" out.txt || fail "beta's value"
  # Bad lines: reported with their line number; nothing is written.
  while IFS='|' read -r lines text; do
    printf "$lines" >bad.tsv
    expect 1 hash build bad.tsv bad.idx
    has err.txt "$text"
    [ -e bad.idx ] && fail "bad keys wrote an index"
  done <<'CASES'
a\t1\nno tab here\n|zru: bad.tsv: line 2: no TAB between key and value
a\t0\n|line 1: error 4804: value 0 cannot be stored
a\t-5\n|line 1: error 4804: the value is not a whole number
a\t12x\n|line 1: error 4804: the value is not a whole number
a\t99999999999999999999\n|line 1: error 4801: the value needs more than 56 bits
a\t72057594037927936\n|line 1: error 4801
a\t1\nb\000c\t2\n|line 2: a key holding a NUL byte
CASES
  ;;
email)
  # No real network: the resolver is pointed at loopback only, a closed port
  # (refused at once) or a dnsmasq started here.
  cache=$PWD/email.cache
  printf 'EmailCacheFile=%s\n' "$cache" >morvel.cfg
  export MORVEL_CONFIG_FILE=$PWD/morvel.cfg HOME=$PWD
  dead=127.0.0.1:1
  # A fresh positive verdict in the cache answers without any DNS query.
  minutes=$((($(date +%s) - 1262304000) / 60))
  digits=0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ+/ stamp=
  for ((m = minutes; m > 0; m /= 64)); do stamp=${digits:m % 64:1}$stamp; done
  printf '\ncached.test\t4%s\nstale.test\t40   \n' "$stamp" >"$cache"
  expect 0 email user@cached.test --nameserver "$dead"
  [ "$(cat out.txt)" = "$(printf '4\tMX records found')" ] || fail "cache hit"
  # A verdict of 1960 is stale: asked again, and no server answers.
  expect 0 email user@stale.test --nameserver "$dead"
  [ "$(cut -c1 out.txt)" = 3 ] || fail "stale record reused"
  expect 0 email no-address --nameserver "$dead"
  [ "$(cat out.txt)" = "$(printf '1\tno @ in the address')" ] || fail "no @"
  if [ -x /usr/sbin/dnsmasq ]; then
    echo '#' >nocache.cfg
    for attempt in 1 2 3 4 5; do
      port=$((20000 + RANDOM % 30000))
      /usr/sbin/dnsmasq --keep-in-foreground --port=$port --listen-address=127.0.0.1 \
        --bind-interfaces --no-resolv --no-hosts --pid-file= --user=root --log-facility=/dev/null \
        --mx-host=dm.test,127.0.0.77,10 --mx-host=closed.dm.test,127.0.0.78,10 &
      dnsmasq=$!
      # Probes keep no verdict: a refusal cached before dnsmasq is up would
      # answer every later probe.
      for ((i = 0; i < 50; ++i)); do
        MORVEL_CONFIG_FILE=$PWD/nocache.cfg "$zru" email probe@dm.test --nameserver 127.0.0.1:$port \
          2>/dev/null | grep -q '^4' && break 2
        kill -0 $dnsmasq 2>/dev/null || break
        sleep 0.1
      done
      kill $dnsmasq 2>/dev/null; wait $dnsmasq 2>/dev/null; dnsmasq=
    done
    [ -n "${dnsmasq:-}" ] || fail "dnsmasq did not start"
    server=127.0.0.1:${port:-0}
    expect 0 email a@dm.test --nameserver "$server"
    [ "$(cat out.txt)" = "$(printf '4\tMX records found')" ] || fail "MX records"
    expect 0 email a@closed.dm.test --nameserver "$server" --level 3
    [ "$(cat out.txt)" = "$(printf '5\tno mail server accepted a connection on port 25')" ] ||
      fail "level 3, nothing listening"
    expect 0 email a@none.dm.test --nameserver "$server"
    [ "$(cut -c1 out.txt)" = 3 ] || fail "unknown domain"
    [ -n "${dnsmasq:-}" ] && { kill $dnsmasq; wait $dnsmasq 2>/dev/null; }
    # The verdicts went to the cache: answered again with no server at all.
    grep -qP '^dm\.test\t4' "$cache" || fail "dm.test not cached"
    expect 0 email b@dm.test --nameserver "$dead"
    [ "$(cut -c1 out.txt)" = 4 ] || fail "dm.test not answered from the cache"
  else
    echo "dnsmasq not installed: the DNS cases are skipped"
  fi
  ;;
count)
  arf=$source/samples/arf/sample.arf
  export LD_LIBRARY_PATH=$ZRPAF_DIR
  expect 0 count "$arf" -27.4712,153.0281 --gif Ward --level L
  [ "$(cat out.txt)" = "$(printf 'Ashford Green South East\t250\t32.3834')" ] || fail "single count"
  expect 0 count "$arf" -27.4712,153.0281 --gif Ward --level L --all
  [ "$(cat out.txt)" = "$(printf 'Ashford Green North East,Ashford Green North West,Ashford Green South East,Ashford Green South West\t240,78,250,204\t31.0881,10.1036,32.3834,26.4249')" ] ||
    fail "all values"
  expect 0 count "$arf" -27.4712,153.0281 --gif Ward --level L --boundary "Ashford Green North West"
  [ "$(cat out.txt)" = "$(printf 'Ashford Green North West\t78\t10.1036')" ] || fail "given boundary"
  # The street level counts the street's addresses: fewer than the locality's.
  expect 0 count "$arf" -27.4712,153.0281 --gif Postcode --level S
  street=$(cut -f2 out.txt)
  expect 0 count "$arf" -27.4712,153.0281 --gif Postcode --level L
  [ "$street" -gt 0 ] && [ "$street" -lt "$(cut -f2 out.txt)" ] || fail "street count $street"
  expect 1 count missing.arf -27.4712,153.0281 --gif Ward --level L
  has err.txt "zru: missing.arf: error 2: "
  expect 1 count "$arf" -27.4712,153.0281 --gif Nope --level L; has err.txt "error 5: "
  LD_LIBRARY_PATH=$ZRPAF_DIR/none expect 1 count "$arf" 1,1 --gif Ward --level L
  has err.txt "zru: address-data library: error 990: "
  LD_LIBRARY_PATH=$ZRPAF_DIR/incomplete expect 1 count "$arf" 1,1 --gif Ward --level L
  has err.txt "error 991: pafReadPointRecord function doesn't exist in libzrpaf.so"
  ;;
readme)
  # The README's `zru --help` block is the binary's output, indented.
  awk '/^    \$ zru --help$/ { on = 1; next }
       on && /^[^ ]/ { exit }
       on { print }' "$source"/README.md | sed 's/^    //' | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' >readme.txt
  expect 0 --help
  same out.txt readme.txt
  ;;
usage)
  for args in "" "bogus" "gos" "gos build" "gos column x.gos" "gos search x.gos" \
              "gos build x.shp --precision 7" "gos build x.shp --precision 1 --higher" \
              "pip x.shp" "pip x.shp 1" "pip x.shp 91x,2" "gos search x.gos 1;2" \
              "shp" "shp info" "dbf dump" "list search x" "pip x.shp 1,2 --bogus" \
              "hash" "hash build k.tsv" "hash build k.tsv o --hash md5" "hash get x.idx" \
              "hash build k.tsv o --text $(printf '%0300d' 0)" \
              "email" "email a@b --level -1" "email a@b --level x" "email a@b --nameserver 1.2.3" \
              "email a@b --nameserver 127.0.0.1:99999" "count x.arf 1,2 --gif W" \
              "count x.arf 1,2 --level S" "count x.arf 1,2 --gif W --level X" \
              "count x.arf 1;2 --gif W --level S" "count x.arf 1,2 --gif W --level S --all --boundary B"; do
    # shellcheck disable=SC2086
    expect 2 $args
    [ -s err.txt ] || fail "zru $args: no message"
  done
  for args in "" "gos" "gos build" "gos info" "gos column" "gos search" "pip" "shp" \
              "shp info" "shp dump" "dbf" "dbf dump" "list" "list search" "hash" \
              "hash build" "hash info" "hash table" "hash get" "email" "count"; do
    # shellcheck disable=SC2086
    expect 0 $args --help
    has out.txt "Usage: zru"
  done
  ;;
failures)
  copy_countries
  # file, subcommand, expected code and text
  while IFS='|' read -r args text; do
    # shellcheck disable=SC2086
    expect 1 $args
    has err.txt "$text"
  done <<'CASES'
gos build missing.shp|error 4025:
gos build ne/naturalearth_lowres.shp --precision 0 --filter nofield|error 28108:
gos info missing.gos|error 4025: No such file or directory
gos column missing.gos 1|error 4025:
gos search missing.gos 1,1|error 4025:
pip missing.shp 1,1|error 4025: No such file or directory
shp info missing.shp|error 4025: No such file or directory
shp dump missing|error 4025:
dbf dump missing.dbf|error 4025: No such file or directory
dbf dump ne/naturalearth_lowres.dbf --fields name,nope|error 28020: unknown field name
list search missing.txt x|error 24201: Cannot open input file missing.txt
hash build missing.tsv out.idx|zru: missing.tsv: error 4025: No such file or directory
hash info missing.idx|zru: missing.idx: error 4025: No such file or directory
hash table missing.idx|error 4025:
hash get missing.idx key|error 4025:
CASES
  # Damaged hash indexes: cut short, a wrong magic, and a table cut off.
  printf 'a\t1\nb\t2\nc\t3\n' >keys.tsv
  expect 0 hash build keys.tsv keys.idx
  printf 'not a hash index, not at all, not even close, no no no no no' >garbage.idx
  expect 1 hash info garbage.idx; has err.txt "zru: garbage.idx: error 4811: not a hash index file"
  head -c 20 keys.idx >cut.idx
  expect 1 hash get cut.idx a; has err.txt "zru: cut.idx: error 4027: read past the end of the file"
  head -c $(($(stat -c %s keys.idx) - 3)) keys.idx >short.idx
  expect 1 hash info short.idx; has err.txt "zru: short.idx: error 48"
  # Damaged indexes: cut short, and not an index at all.
  expect 0 gos build "$countries.shp" --precision 1
  head -c 100 "$countries.gos" >cut.gos
  expect 1 gos info cut.gos; has err.txt "zru: cut.gos: error 28113:"
  expect 1 gos search cut.gos 51.5,-0.1; has err.txt "error 28113"
  printf 'not a grid index file, not at all, not even close' >garbage.gos
  expect 1 gos info garbage.gos; has err.txt "error 28115: not a grid index file"
  # A point-type set cannot be indexed.
  cp "$source"/tests/data/shapes/edge/point.* .
  expect 1 gos build point.shp; has err.txt "error 28104"
  expect 1 pip point.shp 1,2; has err.txt "error 28104"
  ;;
*) echo "unknown group $group"; exit 2 ;;
esac
[ "$failures" = 0 ] && echo "zru $group: all passed"
exit $((failures > 0))
