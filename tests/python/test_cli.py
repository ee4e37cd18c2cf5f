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
