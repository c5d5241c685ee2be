#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
"""Sampled single-token mutation testing of core/, linux/, uefi/ and windows/ by their suites."""

import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path
from typing import NamedTuple

ROOT = Path(__file__).resolve().parent.parent
WINE_SETUP = ROOT / "tests" / "windows" / "wine.sh"  # the Windows tests' own Wine set-up


class Token(NamedTuple):
    kind: str  # "word", "number", "punct" or "other"
    start: int
    end: int


class Site(NamedTuple):
    """One single-token mutant: text[start:end] of the file at `path` becomes `replacement`."""
    path: str
    start: int
    end: int
    replacement: str


class CtestTest(NamedTuple):
    """A test as ctest would run it."""
    command: list  # None when ctest finds no program for it
    directory: str
    environment: dict
    properties: dict


@dataclass(frozen=True)
class Judge:
    """How the mutants of one folder are built and judged. A test meets a mutant only when a
    program it runs (named in its command or environment) is built from the mutated file; those
    programs are all a mutant gets built."""
    preset: str  # the CMake preset of the scratch build, configured once
    tests: tuple  # ctest tests, run fastest first; the first that fails kills the mutant
    wine_prefixes: tuple = ()  # prefixes of the build tree whose wineserver stays up for the run


LINUX_SUITES = Judge("linux", ("core_tests", "efivarfs_syscalls_tests", "linux_tests"))
FOLDERS = {
    "core": LINUX_SUITES,
    "linux": LINUX_SUITES,
    "uefi": Judge("linux", ("uefi_host_tests",)),
    # The unit suite takes seconds, so the scripts that run the real programs, slower, only meet
    # its survivors. guard_service_under_wine makes its prefix afresh and runs its own wineserver.
    "windows": Judge("windows", ("windows_tests", "quiplexc_under_wine", "quiplexu_under_wine",
                                 "guard_service_under_wine", "quiplexu_unseen_station"),
                     ("wineprefix", "wineprefix-relay", "wineprefix-console",
                      "wineprefix-station")),
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
    """Yields a Token for each code token, leaving out comments, literals and directives."""
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
                yield Token(kind, match.start(), match.end())
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
    """Every single-token mutant of one file, as Sites."""
    found = []
    toks = list(tokens(text))
    angle_depth = 0
    assertion_depth = 0  # a static_assert is checked by the compiler, never by a test
    for i, (kind, start, end) in enumerate(toks):
        word = text[start:end]
        previous = text[toks[i - 1].start:toks[i - 1].end] if i > 0 else ""
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
            found.append(Site(path, start, end, SWAPS[word]))
        elif kind == "number":
            found.extend(Site(path, start, end, v) for v in integer_variants(word))
        if word in ("+", "-") and i + 1 < len(toks) and i > 0:
            following = toks[i + 1]
            binary = toks[i - 1].kind in ("word", "number") or previous in (")", "]")
            if binary and text[following.start:following.end] == "1":
                found.append(Site(path, toks[i - 1].end, following.end, ""))
    return found


def all_sites(tree):
    sites = []
    for folder in FOLDERS:
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
    """Makes the scratch copy match the tree (without build/ and .git), copying changed files."""
    for folder, dirs, files in os.walk(ROOT):
        relative = Path(folder).relative_to(ROOT)
        if relative == Path("."):
            dirs[:] = [d for d in dirs if d not in ("build", ".git")]
        (scratch / relative).mkdir(parents=True, exist_ok=True)
        for name in files:
            source, copy = Path(folder) / name, scratch / relative / name
            # A fresh time stamp: the source's own may be older than an object the scratch
            # build made from a mutant of it since, and ninja would keep that object.
            if not copy.exists() or copy.read_bytes() != source.read_bytes():
                shutil.copy(source, copy)


def run(command, cwd, timeout=None, env=None):
    """The exit code, or "timeout" after killing the whole process group (a test script's too)."""
    process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        return "timeout"


class Suites:
    """One scratch build of a preset and the ctest tests that judge the mutants built in it."""

    def __init__(self, scratch, preset, jobs):
        self.build = scratch / "build" / preset
        self.jobs = jobs
        if not (self.build / "build.ninja").exists():
            subprocess.run(["cmake", "--preset", preset], cwd=scratch, check=True,
                           stdout=subprocess.DEVNULL)
        # CMake runs again when the tree's CMake files changed, so that ctest lists today's tests.
        subprocess.run(["ninja", "-C", str(self.build), "build.ninja"], check=True,
                       stdout=subprocess.DEVNULL)
        self.prefixes = []
        self.spent = {}
        self.programs = {}  # test: the build outputs it runs
        self.sources = {}  # test: the files of the tree those are built from

    def ninja(self, targets):
        return run(["ninja", "-C", str(self.build), f"-j{self.jobs}", *targets], self.build)

    def outputs_named(self, texts):
        """The build outputs among the paths in the texts, relative to the build tree."""
        found = set()
        for text in texts:
            for path in re.findall(re.escape(str(self.build)) + r"/[^\s,;:'\"]+", text):
                relative = Path(path).relative_to(self.build).as_posix()
                query = subprocess.run(["ninja", "-C", str(self.build), "-t", "query", relative],
                                       capture_output=True, text=True)
                if query.returncode == 0 and "input:" in query.stdout:
                    found.add(relative)
        return sorted(found)

    def compiled_sources(self, targets):
        """The source files the targets are built from, relative to the tree."""
        listing = subprocess.run(["ninja", "-C", str(self.build), "-t", "inputs", *targets],
                                 check=True, capture_output=True, text=True).stdout
        root = self.build.parent.parent
        return {Path(line).relative_to(root).as_posix() for line in listing.splitlines()
                if line.startswith(str(root) + "/")}

    def tests_of(self, names, path):
        """The tests among `names` that run a program built from `path`."""
        return [name for name in names if path in self.sources[name]]

    def programs_of(self, names):
        return sorted({program for name in names for program in self.programs[name]})

    def keep_wineservers(self, prefixes):
        """One wineserver per prefix for the whole run: Wine starts its services once, not for
        every program, and a relay trace holds only the program under test. Started after the
        fixtures, so that the desktop it keeps running sees their settings."""
        for name in prefixes:
            prefix = self.build / name
            if prefix in self.prefixes:
                continue
            environment = {**os.environ, "WINEPREFIX": str(prefix)}
            # Made as the tests make it, if their fixtures have not already.
            subprocess.run(["bash", str(WINE_SETUP), str(prefix), "cmd", "/c", "exit", "0"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-k"], env=environment, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=environment)
            subprocess.run(["wineserver", "-p"], env=environment, check=True)
            self.prefixes.append(prefix)

    def stop_wineservers(self):
        for prefix in self.prefixes:
            subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": str(prefix)})

    def ctest_listing(self):
        return json.loads(subprocess.run(
            ["ctest", "--test-dir", str(self.build), "--show-only=json-v1"],
            check=True, capture_output=True, text=True).stdout)

    def load_tests(self, names):
        """Each test's command, directory and environment as ctest would run it; runs the fixtures
        they need once."""
        listing = self.ctest_listing()
        # ctest leaves out the command of a test whose program was never built; a test named
        # after its program gets it built first.
        unbuilt = [t["name"] for t in listing["tests"] if t["name"] in names and "command" not in t]
        if unbuilt:
            self.ninja(unbuilt)
            listing = self.ctest_listing()
        tests = {}
        for test in listing["tests"]:
            properties = {p["name"]: p["value"] for p in test.get("properties", [])}
            # The Wine scripts leave the servers this run keeps to it.
            environment = dict(os.environ, GTEST_FAIL_FAST="1", QUIPLEX_WINE_KEPT="1")
            environment.update(v.split("=", 1) for v in properties.get("ENVIRONMENT", []))
            directory = properties.get("WORKING_DIRECTORY", self.build)
            tests[test["name"]] = CtestTest(test.get("command"), directory, environment,
                                            properties)
        self.tests = tests
        for name in names:
            command, _, _, properties = tests[name]
            if command is None:
                sys.exit(f"ctest finds no program for {name}: build it in {self.build} first")
            self.programs[name] = self.outputs_named(command + properties.get("ENVIRONMENT", []))
            if not self.programs[name]:
                sys.exit(f"{name} runs no program of the {self.build.name} build")
        for name in names:
            self.sources[name] = self.compiled_sources(self.programs[name])
        needed = {f for name in names for f in tests[name].properties.get("FIXTURES_REQUIRED", [])}
        for name, (command, cwd, environment, properties) in tests.items():
            if needed & set(properties.get("FIXTURES_SETUP", [])):
                if run(command, cwd, 300, environment) != 0:
                    sys.exit(f"the fixture {name} fails")

    def time_tests(self, names):
        for name in names:
            if name in self.spent:
                continue
            command, cwd, environment, _ = self.tests[name]
            began = time.monotonic()
            if run(command, cwd, 600, environment) != 0:
                sys.exit(f"{name} fails on the unmutated tree")
            self.spent[name] = time.monotonic() - began
            print(f"{name}: {self.spent[name]:.1f} s on the unmutated tree", file=sys.stderr)

    def verdict(self, names):
        """"killed", "SURVIVED" or "not compiled". Each test's programs are built just before it
        runs, so a mutant the first test kills costs no build of the programs of the others."""
        for name in sorted(names, key=self.spent.get):
            if self.ninja(self.programs[name]) != 0:
                return "not compiled"
            command, cwd, environment, _ = self.tests[name]
            if run(command, cwd, max(10.0, 10 * self.spent[name]), environment) != 0:
                return "killed"
        return "SURVIVED"


def folder_of(site):
    return site.path.split("/", 1)[0]


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
    # Stopped from outside, the run still puts the mutated file back and ends its wineservers.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))

    texts = {}
    for folder in FOLDERS:
        for path in sorted((ROOT / folder).glob("*.cpp")):
            texts[path.relative_to(ROOT).as_posix()] = path.read_text()
    sites = all_sites(ROOT)
    if args.match:
        sites = [site for site in sites if any(m in describe(texts, site) for m in args.match)]
    if args.list:
        for site in sites:
            print(describe(texts, site))
        print(f"{len(sites)} mutants: " + ", ".join(
            f"{folder} {sum(folder_of(s) == folder for s in sites)}" for folder in FOLDERS))
        return 0

    if os.geteuid() != 0:
        print("warning: not root, so the Linux suites skip and their faults survive",
              file=sys.stderr)
    scratch = args.scratch.resolve()
    sync_tree(scratch)
    folders = [f for f in FOLDERS if any(folder_of(site) == f for site in sites)]
    builds = {}
    try:
        for folder in folders:
            judge = FOLDERS[folder]
            if judge.preset not in builds:
                builds[judge.preset] = Suites(scratch, judge.preset, args.jobs)
            suites = builds[judge.preset]
            suites.load_tests(judge.tests)
            if suites.ninja(suites.programs_of(judge.tests)) != 0:
                sys.exit(f"the unmutated tree does not build with the {judge.preset} preset")
            suites.keep_wineservers(judge.wine_prefixes)
            suites.time_tests(judge.tests)
        # A file that no judged test's program is built from cannot be judged: say so, leave it.
        left_out = sorted({site.path for site in sites
                           if not builds[FOLDERS[folder_of(site)].preset].tests_of(
                               FOLDERS[folder_of(site)].tests, site.path)})
        for path in left_out:
            count = sum(site.path == path for site in sites)
            print(f"left out: {path} ({count} mutants), no suite of its folder is built from it")
        sites = [site for site in sites if site.path not in left_out]
        sample = random.Random(args.seed).sample(sites, min(args.count, len(sites)))
        return judge_sample(args, texts, sites, sample, scratch, builds)
    finally:
        for suites in builds.values():
            suites.stop_wineservers()


def judge_sample(args, texts, sites, sample, scratch, builds):
    killed, survivors, broken = [], [], []
    spent = dict.fromkeys(FOLDERS, 0.0)
    listed = equivalents(ROOT)
    began = time.monotonic()
    for number, site in enumerate(sample, 1):
        path, start, end, replacement = site
        judge = FOLDERS[folder_of(site)]
        suites = builds[judge.preset]
        tests = suites.tests_of(judge.tests, path)
        target = scratch / path
        original = texts[path]
        target.write_text(original[:start] + replacement + original[end:])
        mutant_began = time.monotonic()
        try:
            verdict = suites.verdict(tests)
            {"not compiled": broken, "SURVIVED": survivors, "killed": killed}[verdict].append(site)
        finally:
            target.write_text(original)
        spent[folder_of(site)] += time.monotonic() - mutant_began
        print(f"[{number}/{len(sample)}] {verdict}: {describe(texts, site)}", file=sys.stderr)

    def score(chosen, killed_here, survived_here, seconds):
        compiled = len(killed_here) + len(survived_here)
        return (f"{len(chosen)} mutants, {compiled} compiled, {len(killed_here)} killed "
                f"({100 * len(killed_here) / max(compiled, 1):.1f} %), {seconds:.0f} s")

    print(f"seed {args.seed}: of {len(sites)} mutants " +
          score(sample, killed, survivors, time.monotonic() - began))
    for folder in FOLDERS:
        mine = [s for s in sample if folder_of(s) == folder]
        if mine:
            print(f"  {folder}/: " + score(mine, [s for s in killed if folder_of(s) == folder],
                                           [s for s in survivors if folder_of(s) == folder],
                                           spent[folder]))
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
