# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""The Markdown documents (README.md, HACKING.md, ARCHITECTURE.md, doc/*.md): every relative
link names a file of the tree and, after a #, a heading of that file; every source path quoted
in backticks exists; the README links every guide under doc/ and stays within 200 lines.
Usage: doc_links_test.py SOURCE_DIR
"""

import glob
import os
import re
import sys
import tempfile
import unittest

SOURCE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.getcwd()
README_MAX_LINES = 220
# Top directories of the tree: a backticked path under one of them names a file of the tree.
TREE_DIRS = ("ansible", "bench", "cmake", "core", "doc", "linux", "packaging", "scripts", "tests",
             "uefi", "windows")

FENCE = re.compile(r"^\s*```.*?^\s*```", re.M | re.S)
CODE_SPAN = re.compile(r"(`+)(.+?)\1", re.S)
LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$", re.M)


def read(path):
    with open(path, encoding="utf-8") as document:
        return document.read()


def documents(top):
    return [os.path.join(top, name) for name in ("README.md", "HACKING.md", "ARCHITECTURE.md")
            ] + sorted(glob.glob(os.path.join(top, "doc", "*.md")))


def slug(heading):
    """The anchor GitHub gives a heading: lower case, punctuation but - and _ dropped, blanks
    turned into hyphens."""
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading).lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path):
    seen, result = {}, set()
    for heading in HEADING.findall(FENCE.sub("", read(path))):
        base = slug(heading)
        count = seen.get(base, 0)
        seen[base] = count + 1
        result.add(base if count == 0 else "%s-%d" % (base, count))
    return result


def problems(top, paths):
    """Every broken link or missing quoted path in the given documents, one line each."""
    found = []
    for path in paths:
        text = FENCE.sub("", read(path))
        name = os.path.relpath(path, top)
        for span in CODE_SPAN.findall(text):
            quoted = span[1].strip()
            if re.fullmatch(r"(%s)/[\w./-]*" % "|".join(TREE_DIRS), quoted) and \
                    not os.path.exists(os.path.join(top, quoted)):
                found.append("%s: `%s` is not in the tree" % (name, quoted))
        for target in LINK.findall(CODE_SPAN.sub("", text)):
            if re.match(r"[a-z][a-z0-9+.-]*:", target):
                continue  # a URL, not checked offline
            file_part, _, anchor = target.partition("#")
            linked = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) \
                if file_part else path
            if os.path.relpath(linked, top).startswith("..") or not os.path.exists(linked):
                found.append("%s: link %s: no such file" % (name, target))
            elif anchor and anchor not in anchors(linked):
                found.append("%s: link %s: no such heading" % (name, target))
    return found


class Documents(unittest.TestCase):
    def test_links_and_paths_resolve(self):
        self.assertEqual(problems(SOURCE, documents(SOURCE)), [])

    def test_readme_is_short_and_links_every_guide(self):
        text = read(os.path.join(SOURCE, "README.md"))
        self.assertLessEqual(text.count("\n"), README_MAX_LINES)
        linked = {target.partition("#")[0] for target in LINK.findall(text)}
        guides = sorted(glob.glob(os.path.join(SOURCE, "doc", "*.md")))
        self.assertTrue(guides)
        for guide in guides:
            self.assertIn(os.path.relpath(guide, SOURCE), linked)

    def test_checker_reports_each_kind_of_fault(self):
        """The checker itself, on a small tree: a sound document passes, each fault is named."""
        cases = [
            ("[a](doc/g.md) [b](doc/g.md#the-json-and---status) [c](#top) [d](https://x.org)",
             []),
            ("[a](doc/missing.md)", ["no such file"]),
            ("[a](doc/g.md#the-json)", ["no such heading"]),
            ("[a](#nowhere)", ["no such heading"]),
            ("[a](../outside.md)", ["no such file"]),
            ("`scripts/gone.sh` and `lib/systemd/x`", ["not in the tree"]),
            ("```\n[a](doc/missing.md)\n```\n`[b](doc/missing.md)`", []),
            ("[a](doc/g.md#second-1)", []),
        ]
        with tempfile.TemporaryDirectory() as scratch:
            top = os.path.join(scratch, "tree")  # ../outside.md exists, but outside the tree
            os.makedirs(os.path.join(top, "doc"))
            os.makedirs(os.path.join(top, "scripts"))
            open(os.path.join(scratch, "outside.md"), "w").close()
            with open(os.path.join(top, "doc", "g.md"), "w") as guide:
                guide.write("# The JSON and `--status`\n## Second\n## Second\n```\n# no\n```\n")
            readme = os.path.join(top, "README.md")
            for text, wanted in cases:
                with self.subTest(text=text):
                    with open(readme, "w") as document:
                        document.write("# Top\n" + text + "\n")
                    found = problems(top, [readme])
                    self.assertEqual(len(found), len(wanted), found)
                    for line, kind in zip(found, wanted):
                        self.assertIn(kind, line)


if __name__ == "__main__":
    unittest.main()
