#!/usr/bin/env python3
"""Measures what the test suite catches: plants one fault at a time in a scratch copy of the
repository, builds it, runs the whole suite and reports the tests that fail.

  plant_faults.py [--only ID,ID] [--tests REGEX] [--tsv FILE] [--scratch DIR]   run (slow: a build per fault)
  plant_faults.py --check                      every fault still applies to the code (fast)
  plant_faults.py --compare BEFORE.tsv AFTER.tsv   faults caught before and not after

The faults are listed in the *.txt files beside this script. A fault whose build fails counts as caught by
the compiler. Tests that already fail without any fault are reported and not counted.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))


def load_faults(paths):
    faults, cur = [], None
    lines = [l for p in paths for l in open(p, encoding="utf-8")]
    for raw in lines:
        line = raw.rstrip("\n")
        if line.startswith("#") or not line.strip():
            continue
        if line.startswith("[") and line.endswith("]"):
            cur = {"id": line[1:-1]}
            faults.append(cur)
            continue
        key, _, value = line.partition(": ")
        if cur is None or key not in ("what", "file", "find", "repl"):
            sys.exit(f"fault lists: cannot read line: {line}")
        cur[key] = value.replace("{NL}", "\n") if key in ("find", "repl") else value
    for f in faults:
        missing = [k for k in ("what", "file", "find", "repl") if k not in f]
        if missing:
            sys.exit(f"fault lists: fault {f['id']} lacks {', '.join(missing)}")
    return faults


def check(faults, root):
    bad = []
    for f in faults:
        path = os.path.join(root, f["file"])
        text = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
        n = text.count(f["find"])
        if n != 1:
            bad.append(f"{f['id']}: the text to replace occurs {n} times in {f['file']}")
    ids = [f["id"] for f in faults]
    bad += [f"duplicate id {i}" for i in sorted({i for i in ids if ids.count(i) > 1})]
    return bad


def run(cmd, cwd, log, timeout=None):
    with open(log, "w") as out:
        return subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode


def failed_tests(build, tests_regex, log):
    failed_file = os.path.join(build, "Testing", "Temporary", "LastTestsFailed.log")
    if os.path.exists(failed_file):
        os.remove(failed_file)
    # The check that the fault lists apply to the code fails under every planted fault: not a catch.
    cmd = ["ctest", "--test-dir", build, "-j2", "--timeout", "600", "-E", "^FaultLists"]
    if tests_regex:
        cmd += ["-R", tests_regex]
    run(cmd, build, log)
    if not os.path.exists(failed_file):
        return set()
    names = set()
    for line in open(failed_file):
        line = line.strip()
        if line:
            names.add(line.split(":", 1)[1] if ":" in line else line)
    return names


def measure(args, faults):
    scratch = os.path.abspath(args.scratch)
    src = os.path.join(scratch, "repo")
    build = os.path.join(scratch, "build")
    logs = os.path.join(scratch, "logs")
    if os.path.exists(src):
        shutil.rmtree(src)
    os.makedirs(logs, exist_ok=True)
    # Fresh file times (not the originals): a reused build directory must see every file as changed.
    shutil.copytree(REPO, src, ignore=shutil.ignore_patterns(".git", "build", "build-*", "build_*"),
                    copy_function=shutil.copy)
    shared = os.path.abspath(os.path.join(REPO, "..", "shared", "data"))
    cfg = ["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DQUELMAR_BENCH=OFF",
           f"-DQUELMAR_SHARED_DATA={shared}"]
    if run(cfg, scratch, os.path.join(logs, "configure.log")) != 0:
        sys.exit("configure failed: see " + os.path.join(logs, "configure.log"))
    if run(["cmake", "--build", build, "-j2"], scratch, os.path.join(logs, "build-baseline.log")) != 0:
        sys.exit("the unchanged copy does not build: see " + os.path.join(logs, "build-baseline.log"))
    baseline = failed_tests(build, args.tests, os.path.join(logs, "ctest-baseline.log"))
    if baseline:
        print("failing without any fault (not counted):", " ".join(sorted(baseline)), flush=True)

    rows = []
    for f in faults:
        t0 = time.time()
        path = os.path.join(src, f["file"])
        original = open(path, encoding="utf-8").read()
        open(path, "w", encoding="utf-8").write(original.replace(f["find"], f["repl"], 1))
        try:
            blog = os.path.join(logs, f"build-{f['id']}.log")
            if run(["cmake", "--build", build, "-j2"], scratch, blog) != 0:
                caught = ["(build fails)"]
            else:
                caught = sorted(failed_tests(build, args.tests, os.path.join(logs, f"ctest-{f['id']}.log")) -
                                baseline)
        finally:
            open(path, "w", encoding="utf-8").write(original)
        rows.append((f["id"], caught))
        shown = ", ".join(caught[:6]) + (f" (+{len(caught) - 6})" if len(caught) > 6 else "")
        print(f"{f['id']:<30} {len(caught):4d}  {shown or 'NOT CAUGHT'}  [{time.time() - t0:.0f} s]", flush=True)

    # Leave the copy built as the repository is, for the next run.
    run(["cmake", "--build", build, "-j2"], scratch, os.path.join(logs, "build-restore.log"))
    if args.tsv:
        with open(args.tsv, "w") as out:
            for fid, caught in rows:
                out.write(fid + "\t" + " ".join(caught) + "\n")
    missed = [fid for fid, caught in rows if not caught]
    print(f"{len(rows) - len(missed)} of {len(rows)} faults caught" +
          (": not caught " + " ".join(missed) if missed else ""))
    return 1 if missed else 0


def compare(before, after):
    def load(p):
        d = {}
        for line in open(p):
            fid, _, tests = line.rstrip("\n").partition("\t")
            d[fid] = tests.split()
        return d
    b, a = load(before), load(after)
    lost = [fid for fid in b if b[fid] and fid in a and not a[fid]]
    print(f"{'fault':<30} {'before':>6} {'after':>6}  tests that catch it after")
    for fid in b:
        after_tests = a.get(fid)
        shown = "not run" if after_tests is None else (" ".join(after_tests[:4]) or "NOT CAUGHT")
        print(f"{fid:<30} {len(b[fid]):6d} {len(after_tests or []):6d}  {shown}")
    if lost:
        print("caught before and not after:", " ".join(lost))
    return 1 if lost else 0


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--faults", nargs="*", default=sorted(
        os.path.join(HERE, f) for f in os.listdir(HERE) if f.endswith(".txt")))
    p.add_argument("--only", help="comma-separated fault ids")
    p.add_argument("--tests", help="ctest -R regex: run only these tests")
    p.add_argument("--tsv", help="write fault id and catching tests, tab-separated")
    p.add_argument("--scratch", default=os.path.join("/tmp", "quelmar-faults-" + str(os.getuid())))
    p.add_argument("--check", action="store_true")
    p.add_argument("--compare", nargs=2, metavar=("BEFORE", "AFTER"))
    args = p.parse_args()
    if args.compare:
        return compare(*args.compare)
    faults = load_faults(args.faults)
    problems = check(faults, REPO)
    if problems:
        print("\n".join(problems))
        return 1
    if args.check:
        print(f"{len(faults)} faults, each applies once")
        return 0
    if args.only:
        want = args.only.split(",")
        unknown = [i for i in want if i not in {f["id"] for f in faults}]
        if unknown:
            sys.exit("unknown fault ids: " + " ".join(unknown))
        faults = [f for f in faults if f["id"] in want]
    return measure(args, faults)


if __name__ == "__main__":
    sys.exit(main())
