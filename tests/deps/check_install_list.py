#!/usr/bin/env python3
"""Fails when scripts/install-deps.sh would not bring a new machine everything this build used.

For every file that configure found (the manifest CMake writes) and every program the tests and
scripts call, dpkg names the package that owns it. That package must be in the install list, or
be pulled in by the Depends/Pre-Depends of a package in it; otherwise a developer's machine has it
from earlier work and a fresh Debian machine does not.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys

# Programs that tests, benchmarks and the build scripts start. Looked up only in the system's
# own folders: a tool in a developer's private PATH is exactly what a new machine lacks.
PROGRAMS = [
    "cmake", "ninja", "pkg-config", "g++", "git", "clang-format", "ccache",
    "dpkg-buildflags", "dpkg-architecture",
    "python3", "dbus-daemon", "desktop-file-validate",
    "soundstretch", "rubberband", "sox", "ffmpeg", "ffprobe",
    "Xvfb", "xauth", "xdotool", "convert", "clang++",
]
SYSTEM_PATH = "/usr/bin:/bin:/usr/sbin:/sbin"


def install_list(script):
    text = open(script, encoding="utf-8").read()
    match = re.search(r"^packages=\((.*?)^\)", text, re.S | re.M)
    if not match:
        sys.exit(f"cannot find the packages=( ... ) list in {script}")
    names = []
    for line in match.group(1).splitlines():
        names += line.split("#", 1)[0].split()
    return set(names)


def installed_graph():
    """Package -> the installed packages its Depends and Pre-Depends may be satisfied by."""
    out = subprocess.run(
        ["dpkg-query", "-W", "-f=${Package}\t${db:Status-Abbrev}\t${Depends}, ${Pre-Depends}"
         "\t${Provides}\n"], capture_output=True, text=True, check=True).stdout
    depends, providers = {}, {}
    for line in out.splitlines():
        name, status, deps, provides = (line.split("\t") + ["", "", ""])[:4]
        if not status.startswith("ii"):
            continue
        depends[name] = deps
        for provided in provides.split(","):
            provided = re.sub(r"\(.*?\)", "", provided).strip()
            if provided:
                providers.setdefault(provided, set()).add(name)
    graph = {}
    for name, deps in depends.items():
        targets = set()
        for clause in deps.split(","):
            for alternative in clause.split("|"):
                dep = re.sub(r"\(.*?\)|\[.*?\]|<.*?>", "", alternative).strip()
                dep = dep.split(":", 1)[0]
                if not dep:
                    continue
                if dep in depends:
                    targets.add(dep)
                targets |= providers.get(dep, set())
        graph[name] = targets
    return graph


def closure(roots, graph):
    seen, todo = set(), list(roots)
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        todo += graph.get(name, ())
    return seen


def owner(path):
    """The package that owns path; tries the spellings dpkg may know it by (merged /usr)."""
    candidates = [path, os.path.realpath(path)]
    for p in list(candidates):
        if p.startswith("/usr/lib/") or p.startswith("/usr/bin/") or p.startswith("/usr/sbin/"):
            candidates.append(p[4:])
        elif p.startswith(("/lib/", "/bin/", "/sbin/")):
            candidates.append("/usr" + p)
    for p in candidates:
        result = subprocess.run(["dpkg", "-S", p], capture_output=True, text=True)
        if result.returncode == 0:
            # "pkg:arch: path", or "pkg1, pkg2: path" for shared folders.
            return result.stdout.splitlines()[0].split(": ", 1)[0].split(",")[0].split(":")[0]
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--manifest", required=True)
    parser.add_argument("--install-script", required=True)
    args = parser.parse_args()

    listed = install_list(args.install_script)
    pulled_in = closure(listed, installed_graph())

    used = []
    for line in open(args.manifest, encoding="utf-8"):
        kind, name, path = line.rstrip("\n").split("\t")
        used.append((f"{kind} {name}", path))
    if not any(kind.startswith("pkgconfig") for kind, _ in used):
        sys.exit(f"{args.manifest} lists no pkg-config module: the manifest is not being written")
    for program in PROGRAMS:
        path = shutil.which(program, path=SYSTEM_PATH)
        used.append((f"program {program}", path))

    failures = []
    for what, path in used:
        if path is None:
            failures.append(f"{what}: not installed on this machine")
            continue
        package = owner(path)
        if package is None:
            failures.append(f"{what}: {path} belongs to no Debian package")
        elif package not in pulled_in:
            failures.append(f"{what}: {path} comes from package {package}, "
                            f"which scripts/install-deps.sh does not install")
    for failure in failures:
        print(failure)
    print(f"checked {len(used)} files and programs against {len(listed)} listed packages: "
          f"{len(failures)} missing")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
