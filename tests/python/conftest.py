from __future__ import annotations

import pytest
from support import RtEos, build


@pytest.fixture
def bm3():
    return RtEos.bm3(10.0, 160.0, 4.0)


@pytest.fixture
def holzapfel():
    return build("holzapfel")
