import _scrivane


def test_version():
    assert _scrivane.__version__ == "0.2.2"
