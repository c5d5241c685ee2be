#!/usr/bin/env python3
"""Sampled single-token mutation testing of core/ and linux/ against the fast test suites."""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SOURCES = ("core", "linux")
SUITES = {  # target: directory of the build tree it runs in, as ctest runs it
    "core_tests": "tests/core",
    "efivarfs_syscalls_tests": "tests/linux",
    "linux_tests": "tests/linux",
}
EQUIVALENT_LIST = "tests/mutation-equivalent.txt"

SWAPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
         "&&": "||", "||": "&&", "true": "false", "false": "true"}
CASTS = {"static_cast", "reinterpret_cast", "const_cast", "dynamic_cast", "template"}
PUNCTUATORS = sorted(
    "<<= >>= ... -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= :: "
    "{ } [ ] ( ) ; : , . ? ~ ! + - * / % ^ & | = < >".split(), key=len, reverse=True)
TOKEN = re.compile(r"""
    (?P<space>[ \t\r\n\f\v]+|\\\n)
  | (?P<comment>//[^\n]*|/\*.*?\*/)
  | (?P<string>(?:u8|[uUL])?R"(?P<delim>[^(\s]*)\(.*?\)(?P=delim)"
             |(?:u8|[uUL])?"(?:\\.|[^"\\\n])*"
             |(?:u8|[uUL])?'(?:\\.|[^'\\\n])*')
  | (?P<number>\.?[0-9](?:[eEpP][+-]|[0-9A-Za-z_.'])*)
  | (?P<word>[A-Za-z_][A-Za-z_0-9]*)
  | (?P<punct>""" + "|".join(re.escape(p) for p in PUNCTUATORS) + r""")
  | (?P<other>.)
""", re.S | re.X)
INTEGER = re.compile(r"(0[xX][0-9A-Fa-f]+|[0-9]+)([uUlL]*)$")


def tokens(text):
    """Yields (kind, start, end) for code tokens, leaving out comments, literals and directives."""
    at_line_start = True
    pos = 0
    while pos < len(text):
        match = TOKEN.match(text, pos)
        kind = match.lastgroup if match.lastgroup != "delim" else "string"
        if at_line_start and text[pos] == "#":
            end = pos
            while True:  # a directive runs to a newline not escaped by a backslash
                end = text.find("\n", end)
                if end < 0 or text[end - 1] != "\\":
                    break
                end += 1
            pos = len(text) if end < 0 else end
            continue
        if kind == "space":
            at_line_start = at_line_start or "\n" in match.group()
        elif kind != "comment":
            at_line_start = False
            if kind != "string":
                yield kind, match.start(), match.end()
        pos = match.end()


def integer_variants(literal):
    match = INTEGER.match(literal)
    if not match or "'" in literal:
        return []
    digits, suffix = match.groups()
    if digits[:2] in ("0x", "0X"):
        value, shown = int(digits, 16), lambda v: "0x" + format(v, "X")
    elif digits[0] == "0" and len(digits) > 1:
        value, shown = int(digits, 8), lambda v: "0" + format(v, "o")
    else:
        value, shown = int(digits), str
    variants = [value + 1] + ([value - 1] if value > 0 else [])
    return [shown(v) + suffix for v in variants]


def sites_of(path, text):
    """Every single-token mutant of one file as (path, start, end, replacement)."""
    found = []
    toks = list(tokens(text))
    angle_depth = 0
    assertion_depth = 0  # a static_assert is checked by the compiler, never by a test
    for i, (kind, start, end) in enumerate(toks):
        word = text[start:end]
        previous = text[toks[i - 1][1]:toks[i - 1][2]] if i > 0 else ""
        if previous == "static_assert" or assertion_depth > 0:
            assertion_depth += {"(": 1, ")": -1}.get(word, 0)
            continue
        if word == "<" and (previous in CASTS or angle_depth > 0):
            angle_depth += 1
            continue
        if word == ">" and angle_depth > 0:
            angle_depth -= 1
            continue
        if word in SWAPS:
            found.append((path, start, end, SWAPS[word]))
        elif kind == "number":
            found.extend((path, start, end, v) for v in integer_variants(word))
        if word in ("+", "-") and i + 1 < len(toks) and i > 0:
            following = toks[i + 1]
            binary = toks[i - 1][0] in ("word", "number") or previous in (")", "]")
            if binary and text[following[1]:following[2]] == "1":
                found.append((path, toks[i - 1][2], following[2], ""))
    return found


def all_sites(tree):
    sites = []
    for folder in SOURCES:
        for path in sorted((tree / folder).glob("*.cpp")):
            sites.extend(sites_of(path.relative_to(tree).as_posix(), path.read_text()))
    return sites


def describe(texts, site):
    """The mutated line as 'file:line: before => after', both sides stripped."""
    path, start, end, replacement = site
    text = texts[path]
    line_start = text.rfind("\n", 0, start) + 1
    line_end = text.find("\n", end)
    line_end = len(text) if line_end < 0 else line_end
    before = text[line_start:line_end]
    after = text[line_start:start] + replacement + text[end:line_end]
    line = text.count("\n", 0, start) + 1
    return f"{path}:{line}: {before.strip()} => {after.strip()}"


def equivalents(tree):
    """Survivors judged equivalent, keyed without line numbers so edits above them do not matter."""
    listed = set()
    listing = tree / EQUIVALENT_LIST
    if listing.exists():
        for entry in listing.read_text().splitlines():
            entry = entry.split("  #", 1)[0].strip()
            if entry and not entry.startswith("#"):
                listed.add(re.sub(r":\d+: ", ": ", entry, count=1))
    return listed


def sync_tree(scratch):
    """Makes the scratch copy match the tree (without build/ and .git), copying changed files only."""
    for folder, dirs, files in os.walk(ROOT):
        relative = Path(folder).relative_to(ROOT)
        if relative == Path("."):
            dirs[:] = [d for d in dirs if d not in ("build", ".git")]
        (scratch / relative).mkdir(parents=True, exist_ok=True)
        for name in files:
            source, copy = Path(folder) / name, scratch / relative / name
            if not copy.exists() or copy.read_bytes() != source.read_bytes():
                shutil.copy2(source, copy)


def run(command, cwd, timeout=None):
    try:
        return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def suites_pass(build, order, timeout):
    for target in order:
        directory = build / SUITES[target]
        if run([str(directory / target), "--gtest_fail_fast"], directory, timeout) != 0:
            return False
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=40)
    parser.add_argument("--list", action="store_true", help="print every site and stop")
    parser.add_argument("--match", action="append",
                        help="only the mutants whose description holds this text (repeatable)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--scratch", type=Path, default=ROOT / "build" / "mutate",
                        help="copy of the tree to mutate, kept between runs")
    args = parser.parse_args()

    texts = {}
    for folder in SOURCES:
        for path in sorted((ROOT / folder).glob("*.cpp")):
            texts[path.relative_to(ROOT).as_posix()] = path.read_text()
    sites = all_sites(ROOT)
    if args.list:
        for site in sites:
            print(describe(texts, site))
        print(f"{len(sites)} mutants")
        return 0

    if os.geteuid() != 0:
        print("warning: not root, so the Linux suites skip and their faults survive", file=sys.stderr)
    scratch = args.scratch.resolve()
    build = scratch / "build" / "linux"
    sync_tree(scratch)
    if not (build / "build.ninja").exists():
        subprocess.run(["cmake", "--preset", "linux"], cwd=scratch, check=True,
                       stdout=subprocess.DEVNULL)
    ninja = ["ninja", "-C", str(build), f"-j{args.jobs}", *SUITES]
    if run(ninja, scratch) != 0:
        sys.exit("the unmutated tree does not build")
    spent = {}
    for target in SUITES:
        began = time.monotonic()
        if not suites_pass(build, [target], None):
            sys.exit(f"{target} fails on the unmutated tree")
        spent[target] = time.monotonic() - began
    order = sorted(SUITES, key=spent.get)
    timeout = max(10.0, 10 * max(spent.values()))

    if args.match:
        sites = [site for site in sites if any(m in describe(texts, site) for m in args.match)]
    sample = random.Random(args.seed).sample(sites, min(args.count, len(sites)))
    killed, survivors, broken = 0, [], []
    listed = equivalents(ROOT)
    began = time.monotonic()
    for number, site in enumerate(sample, 1):
        path, start, end, replacement = site
        target = scratch / path
        original = texts[path]
        target.write_text(original[:start] + replacement + original[end:])
        try:
            if run(ninja, scratch) != 0:
                broken.append(site)
                verdict = "not compiled"
            elif suites_pass(build, order, timeout):
                survivors.append(site)
                verdict = "SURVIVED"
            else:
                killed += 1
                verdict = "killed"
        finally:
            target.write_text(original)
        print(f"[{number}/{len(sample)}] {verdict}: {describe(texts, site)}", file=sys.stderr)

    compiled = killed + len(survivors)
    print(f"seed {args.seed}: {len(sample)} of {len(sites)} mutants, {compiled} compiled, "
          f"{killed} killed ({100 * killed / max(compiled, 1):.1f} %), "
          f"{time.monotonic() - began:.0f} s")
    if broken:
        print("not compiled:")
        for site in broken:
            print("  " + describe(texts, site))
    if survivors:
        known = [re.sub(r":\d+: ", ": ", describe(texts, site), count=1) in listed
                 for site in survivors]
        print(f"survivors: {len(survivors)}, {sum(known)} of them listed in {EQUIVALENT_LIST}")
        for site, equivalent in zip(survivors, known):
            print(f"  {describe(texts, site)}" + ("  (equivalent)" if equivalent else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
