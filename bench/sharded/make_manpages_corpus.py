#!/usr/bin/python3
"""Writes the Chinese manual pages of Debian's manpages-zh as a JSON Lines
corpus: one record per manual page, as a reader sees it. Every page file of
/usr/share/man/zh_CN and zh_TW is rendered by groff (UTF-8 text, no
hyphenation, left-aligned, one line per paragraph so that no word is cut at
a line end); symbolic links (other names of a page) and pages that only
include another (.so) are left out. Fields: page (file name without .gz),
locale (zh_CN or zh_TW), section (the manual section, 1-8), name (the text of
the page's first section, its name line) and body (the whole rendered page
without its running header and footer).

Usage: make_manpages_corpus.py OUT"""
import concurrent.futures
import gzip
import json
import os
import re
import subprocess
import sys

ROOTS = ["/usr/share/man/zh_CN", "/usr/share/man/zh_TW"]
GROFF = ["groff", "-k", "-Tutf8", "-mandoc", "-rLL=2000n", "-rHY=0", "-dAD=l", "-P-cbou"]
OVERSTRIKE = re.compile(".\b")


def page_files():
    for root in ROOTS:
        for directory, _, files in sorted(os.walk(root)):
            for name in sorted(files):
                path = os.path.join(directory, name)
                if not os.path.islink(path):
                    yield os.path.basename(root), path


def render(path):
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rb") as f:
        source = f.read()
    if re.fullmatch(rb"(\s|\.\\\".*\n)*\.so\s+\S+\s*", source):
        return None
    text = subprocess.run(GROFF, input=source, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, check=False).stdout.decode("utf-8", "replace")
    lines = [OVERSTRIKE.sub("", line).rstrip() for line in text.splitlines()]
    content = [i for i, line in enumerate(lines) if line]
    if len(content) < 3:
        return None
    # The first and last lines with text are the running header and footer.
    lines = lines[content[0] + 1:content[-1]]
    body = re.sub(r"\n{3,}", "\n\n", "\n".join(lines)).strip("\n")
    # The name line: the text under the first section heading.
    name = ""
    for i, line in enumerate(lines):
        if line and not line.startswith(" ") and any(ch.isalnum() for ch in line):
            rest = []
            for following in lines[i + 1:]:
                if following and not following.startswith(" ") and any(
                        ch.isalnum() for ch in following):
                    break
                rest.append(following.strip())
            name = " ".join(part for part in rest if part)
            break
    return name, body


def main(out_path):
    pages = list(page_files())
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        rendered = list(pool.map(lambda page: render(page[1]), pages))
    records = 0
    chars = 0
    with open(out_path, "w", encoding="utf-8") as out:
        for (locale, path), result in zip(pages, rendered):
            if result is None:
                continue
            name, body = result
            page = os.path.basename(path)
            page = page[:-3] if page.endswith(".gz") else page
            section = os.path.basename(os.path.dirname(path))[3:]
            out.write(json.dumps({"page": page, "locale": locale, "section": section,
                                  "name": name, "body": body}, ensure_ascii=False) + "\n")
            records += 1
            chars += len(body)
    print("%d records, %d characters" % (records, chars))


if __name__ == "__main__":
    main(sys.argv[1])
