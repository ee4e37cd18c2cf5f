#!/usr/bin/env bash
# Installs with apt-get what tests/corpus/build.sh needs to rebuild the PDF
# corpus: the TeX engines and packages, Ghostscript, img2pdf, qpdf and the
# poppler tools. Not needed for building or testing scrivane itself, which
# reads the committed PDFs.
# Idempotent: packages already present are left alone; prints what it installed.
set -euo pipefail

packages=(
  # pdflatex, latex and dvips, natbib and fancyhdr
  texlive-latex-base
  # booktabs, microtype, fontspec, unicode-math
  texlive-latex-recommended
  # TikZ and pgfplots
  texlive-pictures
  # Times and Palatino (URW Type 1 fonts)
  texlive-fonts-recommended
  # engines; texlive-xetex also pulls in texlive-latex-extra
  texlive-xetex texlive-luatex
  # Latin Modern (Type 1 and OpenType, with Latin Modern Math) and TeX Gyre OpenType
  lmodern fonts-lmodern fonts-texgyre
  ghostscript img2pdf qpdf poppler-utils
)

exec "$(dirname "$0")/apt-install.sh" corpus-deps "${packages[@]}"
