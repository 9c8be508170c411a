#!/usr/bin/env python3
"""Mutation check: does the suite notice small faults planted in the product?

Each mutant in scripts/mutants.txt replaces one exact, unique text fragment of one product file.
The tree is copied once to build/mutate/src with one incremental build tree beside it; for each
mutant the fragment is replaced, only the tests that cover that folder are rebuilt and run, and
the file is written back (with a fresh modification time, so that the next build recompiles it).

Usage: scripts/mutate.py [--list] [--only ID,...] [--folder avi,plugin,...] [--jobs N] [--matrix]

--matrix runs every test of the folder to the end and records which test cases fail for each
mutant (the kill matrix, in build/mutate/report.tsv): a case that kills nothing no other case kills
is a candidate for removal.
"""

import argparse
import atexit
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MUTANTS = os.path.join(ROOT, "scripts", "mutants.txt")
WORK = os.path.join(ROOT, "build", "mutate")
SRC = os.path.join(WORK, "src")
BUILD = os.path.join(WORK, "build")
MANIFEST = os.path.join(WORK, "copied.txt")
REPORT = os.path.join(WORK, "report.tsv")

# Folder -> the ctest tests that exercise it. The large ones (files of several GiB) and repair's
# command-line test (a killed encode) are left out.
PLUGIN_TESTS = [
    "bridge_module_test", "bridge_objects_test", "bridge_concurrency_test", "module_exports_test",
    "encoder_tests", "registration_test", "container_test",
    "reliability_fault_sweep_test", "reliability_concurrency_test",
]
TESTS = {
    "log": ["log_tests"],
    "codec": ["codec_tests", "encoder_tests", "registration_test"],
    "fileio": ["fileio_test", "avi_test", "container_test", "reliability_fault_sweep_test"],
    "avi": ["avi_test", "container_test", "reliability_fault_sweep_test",
            "reliability_concurrency_test", "repair_test"],
    "plugin": PLUGIN_TESTS,
    # The stand-ins under platform/, each against the tests of its own folder.
    "iohost": ["iohost_test", "iohost_cli_test"],
    "parvolux_common64": ["codec_library_test", "codec_decoder_internals_test",
                          "codec_slice_schedule_test"],
    "avi_reader": ["avi_reader_tests"],
}
# Tests that are not programs of their own, and what they need built.
SCRIPT_TESTS = {"module_exports_test": "parvolux_encoder_plugin"}

ESCAPES = {"n": "\n", "t": "\t", "\\": "\\"}


def unescape(text):
    return re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), "\\" + m.group(1)), text)


class Mutant:
    def __init__(self, ident, path, search, replace, line):
        self.id, self.path, self.search, self.replace, self.line = ident, path, search, replace, line
        self.folder = path.split("/", 1)[0]
        if self.folder == "platform":  # platform/iohost/... is keyed "iohost"
            self.folder = path.split("/")[1]


def load_mutants():
    mutants, seen = [], set()
    with open(MUTANTS, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) == 3:
                fields.append("")  # an empty replacement drops the fragment
            if len(fields) != 4:
                sys.exit(f"{MUTANTS}:{number}: want id, file, search, replacement separated by tabs")
            ident, path, search, replace = fields
            if ident in seen:
                sys.exit(f"{MUTANTS}:{number}: duplicate id {ident}")
            seen.add(ident)
            m = Mutant(ident, path, unescape(search), unescape(replace), number)
            if m.folder not in TESTS:
                sys.exit(f"{MUTANTS}:{number}: no tests are mapped for folder {m.folder}/")
            mutants.append(m)
    return mutants


def staleness(m, text):
    """Why a mutant cannot be applied to `text`, or None."""
    if text is None:
        return "file missing"
    count = text.count(m.search)
    if count == 0:
        return "search text not found"
    if count > 1:
        return f"search text found {count} times"
    if m.search == m.replace:
        return "replacement equals search text"
    return None


def read(path):
    try:
        with open(path, encoding="utf-8", newline="") as f:
            return f.read()
    except FileNotFoundError:
        return None


def write(path, text):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def sync_tree():
    """Copies changed files of the worktree into the scratch tree; unchanged ones keep their
    times, so the build stays incremental."""
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT,
                           check=True, capture_output=True).stdout.decode().split("\0")
    files = [f for f in files if f and os.path.isfile(os.path.join(ROOT, f))]
    copied = 0
    for rel in files:
        src, dst = os.path.join(ROOT, rel), os.path.join(SRC, rel)
        with open(src, "rb") as f:
            data = f.read()
        try:
            with open(dst, "rb") as f:
                if f.read() == data:
                    continue
        except FileNotFoundError:
            os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "wb") as f:
            f.write(data)
        shutil.copymode(src, dst)
        copied += 1
    # Files this script copied earlier that the worktree no longer has.
    previous = read(MANIFEST)
    keep = set(files)
    for rel in (previous or "").splitlines():
        if rel and rel not in keep and os.path.isfile(os.path.join(SRC, rel)):
            os.remove(os.path.join(SRC, rel))
    write(MANIFEST, "\n".join(files) + "\n")
    return copied


# The tests' temporary folder: what a crashed or mutated test leaves there goes with it at the end.
TEST_TMP = None


def run(cmd, timeout=None, log=None, fail_fast=True):
    """Runs cmd in its own process group; returns (exit status or None on time-out, seconds)."""
    start = time.monotonic()
    env = dict(os.environ, GTEST_FAIL_FAST="1" if fail_fast else "0")
    if TEST_TMP:
        env["TMPDIR"] = TEST_TMP
    with open(log or os.devnull, "w") as out:
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, env=env,
                                start_new_session=True)
        try:
            status = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            status = None
    return status, time.monotonic() - start


def configure():
    if os.path.exists(os.path.join(BUILD, "build.ninja")):
        return
    flags = "-O1 -DNDEBUG"  # optimised like the release, quicker to build, no debug info
    status, _ = run(["cmake", "-S", SRC, "-B", BUILD, "-G", "Ninja",
                     "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                     f"-DCMAKE_CXX_FLAGS_RELWITHDEBINFO={flags}",
                     f"-DCMAKE_C_FLAGS_RELWITHDEBINFO={flags}"],
                    log=os.path.join(WORK, "configure.log"))
    if status != 0:
        sys.exit(f"configure failed, see {WORK}/configure.log")


def targets(folder):
    return sorted({SCRIPT_TESTS.get(t, t) for t in TESTS[folder]})


def build(folders, jobs, log):
    wanted = sorted({t for f in folders for t in targets(f)})
    return run(["cmake", "--build", BUILD, "-j", str(jobs), "--target", *wanted], log=log)


def test(folder, jobs, timeout, log, matrix=False):
    pattern = "^(" + "|".join(TESTS[folder]) + ")$"
    extra = ["--output-on-failure"] if matrix else ["--stop-on-failure"]
    return run(["ctest", "--test-dir", BUILD, "-R", pattern, "-LE", "large", "-j", str(jobs),
                "--no-tests=error", *extra], timeout=timeout, log=log, fail_fast=not matrix)


def failing_cases(log):
    """The GoogleTest cases a test log reports failed, and "program:" for a failed program that
    names no failed case (a crash, a time-out, a script test). ctest prints each failed
    program's output right after its result line."""
    cases, program, named = set(), None, False
    for line in (read(log) or "").splitlines() + ["Test #0: end ."]:
        result = re.search(r"Test +#\d+: (\S+) \.+(.*)$", line)
        if result:
            if program and not named:
                cases.add(program + ":")
            program = result.group(1) if "***" in result.group(2) else None
            named = False
        failed = re.match(r"\[  FAILED  \] (\S+\.\S+)", line)
        if failed and program:
            cases.add(failed.group(1))
            named = True
    return sorted(cases)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--list", action="store_true", help="list the mutants and whether they apply")
    parser.add_argument("--only", help="comma-separated mutant ids")
    parser.add_argument("--folder", help="comma-separated product folders (avi, plugin, ...)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--matrix", action="store_true",
                        help="run every test to the end and record the failing cases")
    args = parser.parse_args()

    mutants = load_mutants()
    if args.only:
        wanted = set(args.only.split(","))
        unknown = wanted - {m.id for m in mutants}
        if unknown:
            sys.exit("unknown mutant ids: " + ", ".join(sorted(unknown)))
        mutants = [m for m in mutants if m.id in wanted]
    if args.folder:
        folders = set(args.folder.rstrip("/").split(","))
        mutants = [m for m in mutants if m.folder in folders]

    if args.list:
        for m in mutants:
            why = staleness(m, read(os.path.join(ROOT, m.path)))
            state = f"STALE ({why})" if why else "ok"
            print(f"{m.id:10} {m.path:45} {state}")
            print(f"{'':10}   - {m.search!r}\n{'':10}   + {m.replace!r}")
        return 0

    started = time.monotonic()
    os.makedirs(SRC, exist_ok=True)
    global TEST_TMP
    TEST_TMP = tempfile.mkdtemp(prefix="tmp-", dir=WORK)
    atexit.register(shutil.rmtree, TEST_TMP, True)
    logs = os.path.join(WORK, "logs")
    os.makedirs(logs, exist_ok=True)
    print(f"scratch tree {SRC}: {sync_tree()} files copied")
    configure()

    folders = sorted({m.folder for m in mutants})
    status, seconds = build(folders, args.jobs, os.path.join(logs, "baseline-build.log"))
    if status != 0:
        sys.exit(f"the unmutated tree does not build, see {logs}/baseline-build.log")
    print(f"baseline build {seconds:.0f}s")
    timeouts = {}
    for folder in folders:
        status, seconds = test(folder, args.jobs, 900, os.path.join(logs, f"baseline-{folder}.log"))
        if status != 0:
            sys.exit(f"the unmutated tests of {folder}/ fail, see {logs}/baseline-{folder}.log")
        # Generous: a mutant that merely slows a test down must not count as caught by a clock.
        timeouts[folder] = max(60.0, 5 * seconds)
        print(f"baseline tests of {folder}/: {seconds:.1f}s, time limit {timeouts[folder]:.0f}s")

    # Mutants of one file run together, so each restore is compiled with the next mutant.
    mutants.sort(key=lambda m: (m.path, m.line))
    results = []
    for n, m in enumerate(mutants, 1):
        path = os.path.join(SRC, m.path)
        original = read(path)
        why = staleness(m, original)
        seconds = 0.0
        if why:
            outcome = "stale"
        else:
            log = os.path.join(logs, f"{m.id}.log")
            try:
                write(path, original.replace(m.search, m.replace, 1))
                status, seconds = build([m.folder], args.jobs, log)
                if status != 0:
                    outcome = "build-failed"
                else:
                    status, t = test(m.folder, args.jobs, timeouts[m.folder], log + ".test",
                                     args.matrix)
                    seconds += t
                    if args.matrix and status:
                        why = " ".join(failing_cases(log + ".test"))
                    outcome = "timed-out" if status is None else (
                        "survived" if status == 0 else "killed")
            finally:
                write(path, original)
        results.append((m, outcome, why or ""))
        detail = f"  ({why})" if outcome == "stale" else ""
        print(f"[{n:3}/{len(mutants)}] {m.id:10} {outcome:12} {seconds:5.0f}s  {m.path}{detail}",
              flush=True)

    counts = {k: sum(1 for _, o, _ in results if o == k)
              for k in ("killed", "timed-out", "survived", "build-failed", "stale")}
    judged = counts["killed"] + counts["timed-out"] + counts["survived"]
    with open(REPORT, "w", encoding="utf-8") as f:
        for m, outcome, why in results:
            f.write(f"{m.id}\t{outcome}\t{m.path}\t{m.search!r}\t{m.replace!r}\t{why}\n")
    print()
    for m, outcome, _ in results:
        if outcome in ("survived", "build-failed"):
            print(f"{outcome:12} {m.id:10} {m.path}: {m.search!r} -> {m.replace!r}")
    print("\n" + ", ".join(f"{k} {v}" for k, v in counts.items()))
    if judged:
        rate = 100.0 * (counts["killed"] + counts["timed-out"]) / judged
        print(f"kill rate {rate:.1f}% ({counts['killed'] + counts['timed-out']}/{judged}; "
              "build-failed and stale mutants are not counted)")
    print(f"total {time.monotonic() - started:.0f}s, report {REPORT}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
