import os
import pathlib

import pytest

SOURCE_DIR = pathlib.Path(os.environ.get("SCRIVANE_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
CORPUS = SOURCE_DIR / "tests" / "corpus"


@pytest.fixture
def scrivane_bin():
    return os.environ["SCRIVANE_BIN"]


@pytest.fixture
def corpus():
    return CORPUS
