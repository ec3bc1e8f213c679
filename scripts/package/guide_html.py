#!/usr/bin/python3
"""Turns the user guide (Markdown) into one HTML file with its pictures inside it, so that the
guide is a single file in the package and opens in any browser from the Start menu."""
import base64
import html
import mimetypes
import pathlib
import re
import sys

import markdown

STYLE = """
body { font-family: "Yu Gothic UI", "Meiryo", sans-serif; max-width: 50em; margin: 2em auto;
       padding: 0 1em; line-height: 1.7; color: #222; }
h1, h2, h3 { color: #1a3c8c; }
h2 { border-bottom: 1px solid #ccd; padding-bottom: .2em; margin-top: 2em; }
code, pre { font-family: Consolas, "MS Gothic", monospace; background: #f3f3f7; }
pre { padding: .6em; overflow-x: auto; }
img { max-width: 100%; border: 1px solid #ccc; }
table { border-collapse: collapse; }
td, th { border: 1px solid #ccc; padding: .2em .6em; }
"""


def inline_images(body: str, folder: pathlib.Path) -> str:
    def replace(match: re.Match) -> str:
        source = match.group(1)
        path = (folder / source).resolve()
        if source.startswith(("http:", "https:", "data:")) or not path.is_file():
            return match.group(0)
        kind = mimetypes.guess_type(path.name)[0] or "application/octet-stream"
        data = base64.b64encode(path.read_bytes()).decode("ascii")
        return f'src="data:{kind};base64,{data}"'

    return re.sub(r'src="([^"]+)"', replace, body)


def main() -> int:
    if len(sys.argv) != 3:
        print("usage: guide_html.py GUIDE.md OUTPUT.html", file=sys.stderr)
        return 2
    source = pathlib.Path(sys.argv[1])
    text = source.read_text(encoding="utf-8")
    title_match = re.search(r"^# (.+)$", text, re.MULTILINE)
    title = title_match.group(1).strip() if title_match else source.stem
    body = markdown.markdown(text, extensions=["tables", "fenced_code", "toc"])
    body = inline_images(body, source.parent)
    page = (
        '<!DOCTYPE html>\n<html lang="ja">\n<head>\n<meta charset="utf-8">\n'
        f"<title>{html.escape(title)}</title>\n<style>{STYLE}</style>\n</head>\n"
        f"<body>\n{body}\n</body>\n</html>\n"
    )
    pathlib.Path(sys.argv[2]).write_text(page, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
