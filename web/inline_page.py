"""Makes the page one self-contained HTML file that opens from file:// as well as served: the
style sheet, the core, the worker and the page's script are written into it.

Usage: inline_page.py PAGE_FOLDER OUT_HTML
"""
import pathlib
import sys


def script_text(text):
    # Nothing in a script element may close it early.
    return text.replace("</script", "<\\/script")


def main():
    folder, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    html = (folder / "index.html").read_text(encoding="utf-8")
    pieces = {
        '<link rel="stylesheet" href="style.css">':
            "<style>\n" + (folder / "style.css").read_text(encoding="utf-8") + "</style>",
        '<script src="kettorin.js"></script>':
            '<script id="kettorin-core">\n' +
            script_text((folder / "kettorin.js").read_text(encoding="utf-8")) + "</script>\n" +
            '<script type="text/plain" id="kettorin-worker">\n' +
            script_text((folder / "worker.js").read_text(encoding="utf-8")) + "</script>",
        '<script type="module" src="app.js"></script>':
            '<script type="module">\n' +
            script_text((folder / "app.js").read_text(encoding="utf-8")) + "</script>",
    }
    for tag, inline in pieces.items():
        if html.count(tag) != 1:
            sys.exit(f"inline_page.py: {tag} is not in index.html exactly once")
        html = html.replace(tag, inline)
    out.write_text(html, encoding="utf-8")


if __name__ == "__main__":
    main()
