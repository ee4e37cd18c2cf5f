"""The command line run as a process."""
import subprocess


def run(binary, *args, **kwargs):
    return subprocess.run([binary, *args], capture_output=True, text=True, **kwargs)


def test_no_arguments_prints_help_to_stderr(scrivane_bin):
    r = run(scrivane_bin)
    assert r.returncode == 2
    assert r.stdout == ""
    assert "Convert scientific PDFs to structured text" in r.stderr
    for sub in ["dump", "probe", "convert", "text"]:
        assert sub in r.stderr


def test_version_and_help_go_to_stdout(scrivane_bin):
    r = run(scrivane_bin, "--version")
    assert (r.returncode, r.stdout, r.stderr) == (0, "scrivane 0.2.2\n", "")
    r = run(scrivane_bin, "-V")
    assert r.stdout == "scrivane 0.2.2\n"
    r = run(scrivane_bin, "convert", "--help")
    assert r.returncode == 0
    for text in ["GitHub-flavoured Markdown", "Resolution to rasterise figures at", "150",
                 "Reads as telegraphese", "<FORMAT>", "<FIGURE_DPI>", "[<CAVEMAN>]"]:
        assert text in r.stdout


def test_usage_errors_exit_with_2(scrivane_bin):
    cases = [
        ["bogus"],
        ["convert"],
        ["dump"],
        ["convert", "--format", "html", "a.pdf"],
        ["convert", "--caveman", "off", "a.pdf"],
        ["convert", "--figure-dpi", "lots", "a.pdf"],
        ["dump", "--page", "-1", "a.pdf"],
        ["text", "--page", "two", "a.pdf"],
    ]
    for args in cases:
        r = run(scrivane_bin, *args)
        assert r.returncode == 2, args
        assert r.stdout == "", args
        assert r.stderr, args


def test_several_inputs_need_out_before_opening_anything(scrivane_bin, tmp_path):
    r = run(scrivane_bin, "convert", "a.pdf", "b.pdf", cwd=tmp_path)
    assert r.returncode == 1
    assert r.stderr == "Error: converting several files needs --out <directory>\n"


def test_single_input_failure_has_converting_context(scrivane_bin, tmp_path):
    r = run(scrivane_bin, "convert", "missing.pdf", cwd=tmp_path)
    assert r.returncode == 1
    assert r.stderr.startswith("Error: converting missing.pdf\n\nCaused by:\n"
                               "    could not open the document: missing.pdf: ")


def test_per_input_failures_are_counted(scrivane_bin, tmp_path):
    r = run(scrivane_bin, "convert", "x.pdf", "y.pdf", "--out", "out", cwd=tmp_path)
    assert r.returncode == 1
    lines = r.stderr.splitlines()
    assert lines[0].startswith("x.pdf: could not open the document: x.pdf: ")
    assert lines[1].startswith("y.pdf: could not open the document: y.pdf: ")
    assert lines[2] == "Error: 2 of 2 files failed"
    assert (tmp_path / "out").is_dir()


def test_out_directory_that_cannot_be_created(scrivane_bin, tmp_path):
    (tmp_path / "file").write_text("x")
    r = run(scrivane_bin, "convert", "a.pdf", "b.pdf", "--out", "file/sub", cwd=tmp_path)
    assert r.returncode == 1
    assert r.stderr.startswith("Error: creating file/sub\n\nCaused by:\n    ")


def test_dump_page_failure_has_no_extracting_context(scrivane_bin, tmp_path):
    r = run(scrivane_bin, "dump", "--page", "0", "missing.pdf", cwd=tmp_path)
    assert r.returncode == 1
    assert r.stderr.startswith("Error: could not open the document: missing.pdf: ")
    r = run(scrivane_bin, "dump", "missing.pdf", cwd=tmp_path)
    assert r.stderr.startswith("Error: extracting missing.pdf\n\nCaused by:\n")


# --- Runs over real files ------------------------------------------------------------------


def copy_as(corpus, tmp_path, source, name):
    target = tmp_path / name
    target.write_bytes((corpus / source).read_bytes())
    return target


def test_dump_page_past_the_end(scrivane_bin, corpus):
    r = run(scrivane_bin, "dump", "--page", "5", str(corpus / "article.pdf"))
    assert r.returncode == 1
    assert r.stderr == "Error: page 5 is out of range\n"


def test_dump_forms(scrivane_bin, corpus):
    import json
    whole = run(scrivane_bin, "dump", str(corpus / "sample.pdf"))
    assert whole.returncode == 0 and whole.stdout.endswith("}\n")
    assert "\n" not in whole.stdout[:-1], "compact by default"
    doc = json.loads(whole.stdout)
    assert list(doc) == ["fonts", "pages"] and len(doc["pages"]) == 2
    one = run(scrivane_bin, "dump", "--page", "1", "--pretty", str(corpus / "sample.pdf"))
    fonts, page = json.loads(one.stdout)
    assert page["index"] == 1 and one.stdout.startswith("[\n  {\n    \"names\": [")
    assert set(fonts["names"]) <= set(doc["fonts"]["names"])


def test_closed_pipe_is_success(scrivane_bin, corpus):
    # dump writes far more than a pipe holds, so the writes after the reader left fail.
    proc = subprocess.Popen([scrivane_bin, "dump", "--pretty", str(corpus / "twocolumn.pdf")],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert proc.stdout.read(1) == b"{"
    proc.stdout.close()
    _, err = proc.communicate()
    assert proc.returncode == 0
    assert err == b""


def test_several_inputs_write_one_file_each(scrivane_bin, corpus, tmp_path):
    a = copy_as(corpus, tmp_path, "sample.pdf", "a.pdf")
    b = copy_as(corpus, tmp_path, "short.pdf", "b.pdf")
    r = run(scrivane_bin, "convert", str(a), str(b), "--out", str(tmp_path / "out"),
            "--format", "typst")
    assert r.returncode == 0, r.stderr
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == [
        "a.typ", "a_assets", "b.typ", "b_assets"]
    assert "Estimating River Discharge" in (tmp_path / "out" / "a.typ").read_text()
    r = run(scrivane_bin, "convert", str(a), str(b), "--out", str(tmp_path / "out2"),
            "--assets", str(tmp_path / "figs"))
    assert r.returncode == 0, r.stderr
    assert sorted(p.name for p in (tmp_path / "out2").iterdir()) == ["a.md", "b.md"]
    assert sorted(p.name for p in (tmp_path / "figs").iterdir()) == ["a", "b"]


def test_output_stems(scrivane_bin, corpus, tmp_path):
    hidden = copy_as(corpus, tmp_path, "short.pdf", ".hidden")
    tarred = copy_as(corpus, tmp_path, "short.pdf", "archive.tar.pdf")
    r = run(scrivane_bin, "convert", str(hidden), str(tarred), "--out", str(tmp_path / "out"))
    assert r.returncode == 0, r.stderr
    names = sorted(p.name for p in (tmp_path / "out").iterdir())
    assert names == [".hidden.md", ".hidden_assets", "archive.tar.md", "archive.tar_assets"]


def test_single_output_file_takes_the_name_as_given(scrivane_bin, corpus, tmp_path):
    import json
    target = tmp_path / "result.txt"
    r = run(scrivane_bin, "convert", str(corpus / "short.pdf"), "--out", str(target),
            "--format", "json")
    assert r.returncode == 0 and r.stdout == ""
    text = target.read_text()
    assert text.endswith("}\n") and not text.endswith("\n\n")
    assert text.startswith('{\n  "title": ')
    assert json.loads(text)["blocks"]
    same = run(scrivane_bin, "convert", str(corpus / "short.pdf"), "--format", "json")
    assert same.stdout == text


def test_one_scanned_input_of_three(scrivane_bin, corpus, tmp_path):
    inputs = [str(corpus / n) for n in ["short.pdf", "scanned.pdf", "sample.pdf"]]
    r = run(scrivane_bin, "convert", *inputs, "--out", str(tmp_path / "out"))
    assert r.returncode == 1
    assert r.stderr == (
        f"{inputs[1]}: {inputs[1]} looks like a scanned document (3/3 pages have no extractable "
        "text); scrivane handles born-digital PDFs only\nError: 1 of 3 files failed\n")
    assert sorted(p.name for p in (tmp_path / "out").glob("*.md")) == ["sample.md", "short.md"]


def test_single_scanned_input(scrivane_bin, corpus):
    path = str(corpus / "scanned.pdf")
    r = run(scrivane_bin, "convert", path)
    assert r.returncode == 1
    assert r.stderr.startswith(f"Error: converting {path}\n\nCaused by:\n    {path} looks like a "
                               "scanned document (3/3 pages")


def test_text_prints_the_lines_of_each_page(scrivane_bin, corpus):
    r = run(scrivane_bin, "text", str(corpus / "article.pdf"))
    assert r.returncode == 0
    lines = r.stdout.splitlines()
    assert lines[0] == "--- page 0 ---"
    assert [l for l in lines if l.startswith("--- page")] == [
        "--- page 0 ---", "--- page 1 ---", "--- page 2 ---"]
    wanted = ["Adaptive Step Control for Stiff Reaction–Diffusion Solvers", "1 Introduction",
              "2 Method", "2.1 Discretisation", "2.2 Error estimate and controller",
              "3 Experiments", "4 Discussion", "References"]
    positions = [lines.index(w) for w in wanted]
    assert positions == sorted(positions)


def test_text_of_one_page_with_geometry(scrivane_bin, corpus):
    import re
    r = run(scrivane_bin, "text", "--page", "1", "--geometry", str(corpus / "sample.pdf"))
    lines = r.stdout.splitlines()
    assert lines[0] == "--- page 1 ---"
    assert not any(l.startswith("--- page 0") for l in lines)
    pattern = re.compile(r"^\[y=[ \d]{3}\d\.\d\d x=[ \d]{3}\d\.\d\.\.[ \d]{3}\d\.\d size=[ \d]\d\.\d\d\] ")
    assert len(lines) > 10 and all(pattern.match(l) for l in lines[1:]), lines[:3]
    assert run(scrivane_bin, "text", "--page", "9", str(corpus / "sample.pdf")).stdout == ""


def test_probe_reports(scrivane_bin, corpus):
    import re
    path = str(corpus / "twocolumn.pdf")
    r = run(scrivane_bin, "probe", "--pages", path)
    assert r.returncode == 0
    lines = r.stdout.splitlines()
    assert lines[0] == path
    assert re.fullmatch(r"  \d+ pages, \d+ glyphs, 0 images in \d+ ms \(\d+\.\d ms/page\)", lines[1])
    assert re.fullmatch(r"  paths: \d+ h-rules, \d+ v-rules, \d+ boxes, \d+ other", lines[2])
    assert re.fullmatch(r"  fonts \(\d+ distinct\):", lines[3])
    assert re.fullmatch(r"    {0,6}\d+  [ \d]{2}\d\.\d%  \S+NimbusRomNo9L-Regu", lines[4])
    assert "  per page:" in lines
    per_page = [l for l in lines if re.match(r"    [ \d]{2}\d: ", l)]
    assert per_page and all("pt rot=0" in l and "gutters=[" in l for l in per_page)
    assert any(re.search(r"gutters=\[\(2\d\d, 3\d\d\)\]", l) for l in per_page)
    r = run(scrivane_bin, "probe", str(corpus / "scanned.pdf"))
    assert r.returncode == 1 and r.stderr.startswith("Error: extracting ")
