#!/usr/bin/env python3
"""Measures how many small faults the test suite catches.

Applies each mutation of a fixed list (scripts/mutations.txt) to the core's sources, one at a time,
rebuilds the test programs, runs them and counts the mutations that no test notices (survivors).
A mutation that does not compile is left out of the score. The file is always restored.

    python3 scripts/mutation-pass.py [--build build-mutation] [--only m001,m017] [--out results.tsv]

List format, one mutation per line, tab-separated:
    id  path  n  line  find  replace
The n-th line of path whose text (without leading and trailing blanks) equals `line` gets its
first `find` replaced by `replace`; a `replace` of ";" with `find` equal to the line drops the statement.
"""

import argparse
import os
import pathlib
import signal
import subprocess
import sys
import time

PROGRAMS = ["util_tests", "device_tests", "disc_tests", "emulator_tests", "cli_tests", "controls_tests", "app_tests"]
FIRST = {"src/util": "util_tests", "src/device": "device_tests", "src/disc": "disc_tests", "src/emulator": "emulator_tests"}


def load(path):
    mutations = []
    for number, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not raw.strip() or raw.startswith("#"):
            continue
        fields = raw.split("\t")
        if len(fields) != 6:
            sys.exit(f"{path}:{number}: expected 6 tab-separated fields, found {len(fields)}")
        ident, file, n, line, find, replace = fields
        mutations.append({"id": ident, "file": file, "n": int(n), "line": line, "find": find, "replace": replace})
    return mutations


def mutate(text, m):
    lines = text.split("\n")
    seen = 0
    for i, raw in enumerate(lines):
        if raw.strip() != m["line"]:
            continue
        seen += 1
        if seen != m["n"]:
            continue
        if m["find"] == m["line"] and m["replace"] == ";":
            lines[i] = raw[: len(raw) - len(raw.lstrip())] + ";"
        elif m["find"] in raw:
            lines[i] = raw.replace(m["find"], m["replace"], 1)
        else:
            return None
        return "\n".join(lines)
    return None


def run(cmd, cwd=None, timeout=None):
    try:
        done = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
        return done.returncode, done.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return -1, "timeout"


def build(args):
    return run(["cmake", "--build", args.build, "-j", str(args.jobs), "--target", *PROGRAMS, "tolvane-cli"])


def failing_program(args, order):
    """The first test program that fails, or None when all pass."""
    env = dict(os.environ, GTEST_FAIL_FAST="1")
    for program in order:
        cmd = ["ctest", "--test-dir", args.build, "-R", f"^{program}$", "--timeout", str(args.timeout), "-Q"]
        # A session of its own, so that a test a fault sent into an endless loop dies with it.
        child = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 start_new_session=True)
        try:
            rc = child.wait(timeout=args.timeout + 30)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            rc = -1
        if rc != 0:
            return program
    return None


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--list", default=str(root / "scripts" / "mutations.txt"))
    parser.add_argument("--build", default=str(root / "build-mutation"))
    parser.add_argument("--only", default="", help="comma-separated mutation ids")
    parser.add_argument("--out", default="", help="results file (default: BUILD/mutation-results.tsv)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--timeout", type=int, default=300, help="seconds per test program")
    args = parser.parse_args()

    mutations = load(pathlib.Path(args.list))
    if args.only:
        wanted = set(args.only.split(","))
        mutations = [m for m in mutations if m["id"] in wanted]

    if not (pathlib.Path(args.build) / "CMakeCache.txt").exists():
        configure = ["cmake", "-S", str(root), "-B", args.build, "-DCMAKE_BUILD_TYPE=None", "-DCMAKE_CXX_FLAGS=-O1 -g0"]
        if subprocess.run(["sh", "-c", "command -v ninja"], stdout=subprocess.DEVNULL).returncode == 0:
            configure += ["-G", "Ninja"]
        if subprocess.run(["sh", "-c", "command -v ccache"], stdout=subprocess.DEVNULL).returncode == 0:
            configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
        rc, out = run(configure)
        if rc != 0:
            sys.exit("configure failed:\n" + out)
    rc, out = build(args)
    if rc != 0:
        sys.exit("the unmutated tree does not build:\n" + out[-3000:])
    broken = failing_program(args, PROGRAMS)
    if broken:
        sys.exit(f"the unmutated tree fails {broken}: fix that first")

    out_path = pathlib.Path(args.out or pathlib.Path(args.build) / "mutation-results.tsv")
    results = []
    with out_path.open("w", encoding="utf-8") as out_file:
        for m in mutations:
            path = root / m["file"]
            original = path.read_text(encoding="utf-8")
            changed = mutate(original, m)
            started = time.monotonic()
            if changed is None:
                outcome, by = "missing", ""
            else:
                try:
                    path.write_text(changed, encoding="utf-8")
                    rc, _ = build(args)
                    if rc != 0:
                        outcome, by = "invalid", ""
                    else:
                        folder = "/".join(m["file"].split("/")[:2])
                        order = [FIRST[folder]] + [p for p in PROGRAMS if p != FIRST[folder]]
                        by = failing_program(args, order) or ""
                        outcome = "killed" if by else "survived"
                finally:
                    path.write_text(original, encoding="utf-8")
            seconds = time.monotonic() - started
            results.append(outcome)
            out_file.write(f"{m['id']}\t{outcome}\t{by}\t{m['file']}\t{m['line']}\t{m['find']}\t{m['replace']}\n")
            out_file.flush()
            print(f"{m['id']} {outcome:8} {by:14} {seconds:5.0f}s {m['file']}: {m['find']!r} -> {m['replace']!r}",
                  flush=True)
    build(args)  # leave the build matching the restored sources

    killed = results.count("killed")
    valid = killed + results.count("survived")
    missing = results.count("missing")
    print(f"\n{killed} of {valid} mutations caught ({100.0 * killed / max(valid, 1):.1f} %); "
          f"{results.count('invalid')} did not compile" + (f"; {missing} did not apply" if missing else ""))
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
