"""The README's Python example runs and prints what the README says."""

import contextlib
import io
import pathlib
import re

import orvane

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"


def test_the_readme_example_prints_what_it_shows():
    text = README.read_text()
    code, shown = re.search(r"```python\n(.*?)```\n\nprints\n\n```text\n(.*?)```", text,
                            re.S).groups()
    out = io.StringIO()
    try:
        with contextlib.redirect_stdout(out):
            exec(compile(code, str(README), "exec"), {})
    finally:
        orvane.SetClock(None)
    assert out.getvalue() == shown
