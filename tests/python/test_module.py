import inspect

import pytest

import _scrivane


def test_attributes():
    assert _scrivane.__version__ == "0.2.2"
    cls = _scrivane.ScannedDocument
    assert issubclass(cls, ValueError)
    assert cls.__module__ == "_scrivane" and cls.__name__ == "ScannedDocument"
    assert cls.__doc__ == "The PDF is image-only, which this pipeline does not handle."


def test_signatures_come_from_the_docstrings():
    for name in ["to_markdown", "to_json", "to_typst", "to_text", "convert_json"]:
        assert str(inspect.signature(getattr(_scrivane, name))) == "(path, caveman=None)"
    assert str(inspect.signature(_scrivane.extract_json)) == "(path)"
    assert str(inspect.signature(_scrivane._run_cli)) == "(args)"
    assert _scrivane._run_cli.__doc__.startswith(
        "Run the same CLI as the native executable, returning its exit status.")


def test_missing_file_is_a_value_error(tmp_path):
    missing = str(tmp_path / "absent.pdf")
    for fn in [_scrivane.to_markdown, _scrivane.to_text, _scrivane.extract_json]:
        with pytest.raises(ValueError) as err:
            fn(missing)
        assert not isinstance(err.value, _scrivane.ScannedDocument)
        assert str(err.value).startswith("could not open the document: ")


@pytest.mark.parametrize("level", ["Light", "medium", "light ", ""])
def test_unknown_caveman_level(tmp_path, level):
    with pytest.raises(ValueError) as err:
        _scrivane.to_markdown(str(tmp_path / "absent.pdf"), caveman=level)
    assert str(err.value) == f'unknown caveman level "{level}"; expected "off", "light" or "hard"'


def test_wrong_argument_types():
    with pytest.raises(TypeError):
        _scrivane.to_markdown(b"paper.pdf")
    with pytest.raises(TypeError):
        _scrivane.to_json("paper.pdf", caveman=1)
    with pytest.raises(TypeError):
        _scrivane._run_cli("scrivane")
    with pytest.raises(TypeError):
        _scrivane._run_cli(["scrivane", 3])


def test_run_cli_uses_the_process_streams(capfd):
    assert _scrivane._run_cli(["scrivane", "--version"]) == 0
    out, err = capfd.readouterr()
    assert out == "scrivane 0.2.2\n" and err == ""
    assert _scrivane._run_cli(("scrivane",)) == 2
    out, err = capfd.readouterr()
    assert out == "" and "Usage:" in err and "convert" in err


def test_run_cli_reports_failures_through_the_status(capfd, tmp_path):
    missing = str(tmp_path / "absent.pdf")
    assert _scrivane._run_cli(["scrivane", "convert", missing]) == 1
    _, err = capfd.readouterr()
    assert err.startswith(f"Error: converting {missing}\n\nCaused by:\n    could not open the document: ")
