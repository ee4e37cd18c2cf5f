#!/usr/bin/env bash
# Rebuilds every PDF of the test corpus from the LaTeX sources in src/.
# The committed PDFs are what the tests read; this script is only needed to
# change them. Install the tools first with scripts/corpus-deps.sh.
#
# Everything is built in work/ (git-ignored) and copied next to this script.
# Dates, document IDs and AES initialisation vectors are fixed so that a
# rebuild with the same packages gives the same files. The AES-256 copies
# cannot be repeated byte for byte (their key salts are always random); an
# existing one is kept when it decrypts to the same file as the new one.
set -euo pipefail

corpus=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$corpus/src
work=$corpus/work

export SOURCE_DATE_EPOCH=1678579200 # 2023-03-12 00:00:00 UTC
export FORCE_SOURCE_DATE=1
export TZ=UTC
export LC_ALL=C.UTF-8
# No per-user TeX trees or caches, and no bitmap fonts generated on the fly:
# a missing Type 1 font must fail the build instead of becoming a Type 3 font.
export TEXMFHOME=$work/texmf-home
export TEXMFVAR=$work/texmf-var
export TEXMFCONFIG=$work/texmf-config
export MKTEXPK=0 MKTEXTFM=0 MKTEXMF=0

die() {
  echo "build.sh: $*" >&2
  exit 1
}

for tool in pdflatex xelatex lualatex latex dvips ps2pdf gs pdftotext pdffonts img2pdf qpdf; do
  command -v "$tool" >/dev/null || die "$tool is missing; run scripts/corpus-deps.sh"
done

rm -rf "$work"
mkdir -p "$work"
produced=()

# run_tex ENGINE NAME: compiles src/NAME.tex in work/NAME/ until the
# cross-references have settled (at least two passes, at most four).
run_tex() {
  local engine=$1 name=$2 dir=$work/$2 pass
  mkdir -p "$dir"
  cp "$src/$name.tex" "$dir/"
  for pass in 1 2 3 4; do
    if ! (cd "$dir" && "$engine" -interaction=nonstopmode -halt-on-error "$name.tex" >"$dir/$name.stdout" 2>&1); then
      tail -n 40 "$dir/$name.log" >&2 || true
      die "$engine failed on $name.tex"
    fi
    if [ "$pass" -ge 2 ] && ! grep -q 'Rerun to get\|Label(s) may have changed' "$dir/$name.log"; then
      return 0
    fi
  done
  die "$name.tex: cross-references did not settle"
}

# keep FILE [NAME]: copies a finished file into the corpus.
keep() {
  local name=${2:-$(basename "$1")}
  cp "$1" "$corpus/$name"
  produced+=("$name")
}

# --- Documents compiled by the TeX engines -------------------------------

for name in article twocolumn authoryear sample short; do
  run_tex pdflatex "$name"
  keep "$work/$name/$name.pdf"
done

run_tex xelatex xelatex
keep "$work/xelatex/xelatex.pdf"

run_tex lualatex lualatex
keep "$work/lualatex/lualatex.pdf"

# latex -> dvips -> ps2pdf. The interpreter stamps the current time and a
# time-based ID and XMP packet unless told not to.
run_tex latex dvips
(
  cd "$work/dvips"
  dvips -q -o dvips.ps dvips.dvi
  ps2pdf -dOmitInfoDate -dOmitID -dOmitXMP dvips.ps dvips.pdf
)
keep "$work/dvips/dvips.pdf"

# No bitmap fallback fonts anywhere (TeX would have made Type 3 fonts).
for f in article twocolumn authoryear sample short xelatex lualatex dvips; do
  if pdffonts "$corpus/$f.pdf" | grep -q 'Type 3'; then
    die "$f.pdf contains a Type 3 font"
  fi
done

# The two-column article exists to show words broken at line ends.
hyphens=$(pdftotext -raw "$corpus/twocolumn.pdf" - | grep -c '[a-z]-$' || true)
[ "$hyphens" -ge 20 ] || die "twocolumn.pdf has only $hyphens hyphenated line ends"

# --- Rewritten variants ----------------------------------------------------

mkdir -p "$work/qpdf"
qpdf --deterministic-id --object-streams=generate \
  "$corpus/article.pdf" "$work/qpdf/article-objstm.pdf"
keep "$work/qpdf/article-objstm.pdf"

qpdf --deterministic-id --linearize --object-streams=disable \
  "$corpus/twocolumn.pdf" "$work/qpdf/twocolumn-linearized.pdf"
keep "$work/qpdf/twocolumn-linearized.pdf"

# encrypt REVISION LABEL USER-PASSWORD SUFFIX KEY-LENGTH ENCRYPT-ARGS...
# Copies with an empty user password forbid text extraction, as "protected"
# files in the wild do. The RC4 copies are written without object streams,
# like the older files that use those revisions; the AES copies keep them.
# A document ID cannot be derived from the content of an encrypted file, so
# a static one is used; the static IV makes the AES-128 copies reproducible.
encrypt() {
  local rev=$1 label=$2 user=$3 suffix=$4 layout=preserve
  shift 4
  local name=short-r$rev-$label$suffix.pdf shown restrict=()
  local out=$work/qpdf/$name old=$corpus/$name
  [ -n "$user" ] || restrict=(--extract=n)
  [ "$rev" -ge 4 ] || layout=disable
  qpdf --static-id --static-aes-iv --allow-weak-crypto --object-streams=$layout \
    --encrypt "$user" owner "$@" "${restrict[@]}" -- "$corpus/short.pdf" "$out"
  shown=$(qpdf --show-encryption --password=owner "$out")
  grep -q "^R = $rev\$" <<<"$shown" || die "$out: expected security handler revision $rev"
  # AES-256 key salts are random, so a rebuild never repeats the bytes of
  # those copies: keep the committed file when it has the same encryption
  # settings and decrypts to the same PDF.
  if [ "$rev" -eq 6 ] && [ -f "$old" ] &&
    [ "$shown" = "$(qpdf --show-encryption --password=owner "$old")" ] &&
    cmp -s <(qpdf --password=owner --decrypt --deterministic-id "$old" -) \
      <(qpdf --password=owner --decrypt --deterministic-id "$out" -); then
    cp "$old" "$out"
  fi
  keep "$out"
}
for pw in "" secret; do
  suffix=${pw:+-$pw}
  encrypt 2 rc4-40 "$pw" "$suffix" 40
  encrypt 3 rc4-128 "$pw" "$suffix" 128 --use-aes=n
  encrypt 4 aes-128 "$pw" "$suffix" 128 --use-aes=y
  encrypt 6 aes-256 "$pw" "$suffix" 256
done

# --- Image-only pages --------------------------------------------------------

# Three pages of the article rasterised at a scanner-like resolution and put
# back together with one full-page image per page and no text.
mkdir -p "$work/scan"
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=jpeggray -r100 -dJPEGQ=55 \
  -dTextAlphaBits=4 -dGraphicsAlphaBits=4 -dFirstPage=1 -dLastPage=3 \
  -sOutputFile="$work/scan/page-%d.jpg" "$corpus/article.pdf"
img2pdf --engine internal --pagesize A4 \
  --creationdate 2023-03-12T00:00:00 --moddate 2023-03-12T00:00:00 \
  -o "$work/scan/scanned.pdf" "$work/scan"/page-1.jpg "$work/scan"/page-2.jpg "$work/scan"/page-3.jpg
keep "$work/scan/scanned.pdf"

# The article with only its second page replaced by the scanned image.
qpdf --deterministic-id --empty --pages \
  "$corpus/article.pdf" 1 "$corpus/scanned.pdf" 2 "$corpus/article.pdf" 3 -- \
  "$work/scan/mixed.pdf"
keep "$work/scan/mixed.pdf"

[ -z "$(pdftotext "$corpus/scanned.pdf" - | tr -d '[:space:]')" ] || die "scanned.pdf has text"

# --- Checks --------------------------------------------------------------------

failed=0
printf '%-34s %6s %9s\n' file pages bytes
for name in "${produced[@]}"; do
  file=$corpus/$name
  pw=()
  if [[ $name == *-secret.pdf ]]; then
    pw=(--password=secret)
    # The user password must really be needed.
    if qpdf --check "$file" >/dev/null 2>&1; then
      echo "build.sh: $name opens without its password" >&2
      failed=1
    fi
  fi
  if ! qpdf "${pw[@]}" --check "$file" >"$work/check.out" 2>&1; then
    cat "$work/check.out" >&2
    echo "build.sh: qpdf --check failed on $name" >&2
    failed=1
    continue
  fi
  printf '%-34s %6s %9s\n' "$name" "$(qpdf "${pw[@]}" --show-npages "$file")" "$(stat -c %s "$file")"
done
[ "$failed" -eq 0 ] || die "some checks failed"
echo "total: $(du -cb "${produced[@]/#/$corpus/}" | tail -n 1 | cut -f1) bytes in ${#produced[@]} files"
