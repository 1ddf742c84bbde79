#!/usr/bin/python3
"""Writes the Chinese manual pages of Debian's manpages-zh as a JSON Lines
corpus: one record per section (.SH) of a page, fields page, section, body,
the roff requests and escapes stripped. Usage: make_manpages_corpus.py OUT"""
import gzip
import json
import os
import re
import sys

ROOTS = ["/usr/share/man/zh_CN", "/usr/share/man/zh_TW"]
ESCAPE = re.compile(r"\\(f[BIRP1-4]|f\(..|f\[[^]]*\]|\(..|\[[^]]*\]|s[-+]?\d|[-&e|^ 0c])")


def text_lines(raw):
    for line in raw.splitlines():
        if line.startswith((".\\\"", "'\\\"")):
            continue
        yield line


def main(out_path):
    records = 0
    chars = 0
    with open(out_path, "w", encoding="utf-8") as out:
        for root in ROOTS:
            for directory, _, files in sorted(os.walk(root)):
                for name in sorted(files):
                    path = os.path.join(directory, name)
                    opener = gzip.open if name.endswith(".gz") else open
                    try:
                        with opener(path, "rb") as f:
                            raw = f.read().decode("utf-8", errors="replace")
                    except OSError:
                        continue
                    section, body = "", []

                    def flush():
                        nonlocal records, chars
                        text = "\n".join(body).strip()
                        if text:
                            out.write(json.dumps({"page": name, "section": section, "body": text},
                                                 ensure_ascii=False) + "\n")
                            records += 1
                            chars += len(text)

                    for line in text_lines(raw):
                        if line.startswith(".SH") or line.startswith(".Sh"):
                            flush()
                            section, body = ESCAPE.sub("", line[3:]).strip().strip('"'), []
                        elif line.startswith((".", "'")):
                            words = line.split(None, 1)
                            if len(words) == 2 and words[0] in (".B", ".I", ".BR", ".IR", ".RB", ".BI", ".IB", ".TP", ".IP"):
                                body.append(ESCAPE.sub("", words[1]))
                        else:
                            body.append(ESCAPE.sub("", line))
                    flush()
    print("%d records, %d characters" % (records, chars))


if __name__ == "__main__":
    main(sys.argv[1])
