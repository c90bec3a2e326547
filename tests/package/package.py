#!/usr/bin/env python3
"""The Debian package, built with CPack from this build folder: its file list
(the XDG layout the programs look in), its control data and its files. As
root with TARNWICK_TEST_DPKG_INSTALL=1 it is also installed with dpkg, run
from /usr and purged, and nothing of it may be left.

Exit status 77 (skipped) when the Debian tools are missing."""

import argparse
import gzip
import os
import shutil
import subprocess
import sys
import tempfile

PANE = "usr/share/PreferencePanes/Tarnwick.prefPane"
APP = PANE + "/Tarnwick.app/Contents"
EXECUTABLES = [APP + "/MacOS/Tarnwick", APP + "/MacOS/tarnwick-guard", APP + "/Resources/pkill",
               "usr/bin/tarnwick-settings"]
FILES = EXECUTABLES + [
    PANE + "/Contents/Info.plist",
    PANE + "/Contents/MacOS/TarnwickPreferences",
    PANE + "/Contents/Frameworks/PrefGlue.framework/Versions/A/PrefGlue",
    APP + "/Info.plist",
    APP + "/Resources/lock.png",
    "usr/share/applications/tarnwick-settings.desktop",
    "usr/share/icons/hicolor/256x256/apps/tarnwick-settings.png",
    "usr/share/man/man1/Tarnwick.1.gz",
    "usr/share/man/man1/tarnwick-settings.1.gz",
    "usr/share/man/man1/tarnwick-ctl.1.gz",
]


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def build_package(cpack, build, work):
    result = run([cpack, "--config", os.path.join(build, "CPackConfig.cmake"), "-B", work])
    check(result.returncode == 0, "cpack failed:\n" + result.stdout + result.stderr)
    packages = [name for name in os.listdir(work) if name.endswith(".deb")]
    check(len(packages) == 1, f"cpack made {packages}")
    return os.path.join(work, packages[0])


def file_modes(package):
    """Path (without the leading ./) → the mode column of dpkg-deb -c."""
    listing = run(["dpkg-deb", "-c", package]).stdout
    modes = {}
    for line in listing.splitlines():
        fields = line.split(None, 5)
        path = fields[5].split(" -> ")[0].removeprefix("./").rstrip("/")
        modes[path] = fields[0]
    return modes


def check_file_list(package, expect_ctl):
    modes = file_modes(package)
    expected = FILES + (["usr/bin/tarnwick-ctl"] if expect_ctl else [])
    missing = [path for path in expected if path not in modes]
    check(not missing, f"missing from the package: {missing}")
    not_executable = [path for path in EXECUTABLES if modes[path][3] != "x"]
    check(not not_executable, f"not executable: {not_executable}")
    # Starting at login is each user's choice, kept in their own autostart folder.
    outside = [path for path in modes if path and not path.startswith("usr")]
    check(not outside, f"installed outside /usr: {outside}")
    return modes


def check_control(package, version):
    fields = {}
    for line in run(["dpkg-deb", "-f", package]).stdout.splitlines():
        if ":" in line and not line.startswith(" "):
            key, value = line.split(":", 1)
            fields[key] = value.strip()
    architecture = run(["dpkg", "--print-architecture"]).stdout.strip()
    check(fields.get("Package") == "tarnwick", f"Package: {fields.get('Package')}")
    check(fields.get("Version") == version, f"Version: {fields.get('Version')}, expected {version}")
    check(fields.get("Architecture") == architecture, f"Architecture: {fields.get('Architecture')}")
    depends = fields.get("Depends", "")
    for library in ("libc6", "libqt6widgets6", "libplist"):
        check(library in depends, f"Depends does not name {library}: {depends!r}")
    for key in ("Maintainer", "Section", "Description"):
        check(fields.get(key), f"no {key}")
    info = run(["dpkg-deb", "-I", package]).stdout
    check("md5sums" in info, "no md5sums in the control archive:\n" + info)


HOOK = b"TARNWICK_TEST_SECONDS_PER_MINUTE"


def check_test_hooks(root, hooks_built):
    """Only a build with test hooks may honour them; scripts/package builds
    without, and its packages are checked the same way."""
    program = open(os.path.join(root, APP, "MacOS/Tarnwick"), "rb").read()
    check((HOOK in program) == hooks_built,
          f"the packaged Tarnwick {'lacks' if hooks_built else 'honours'} the test hook {HOOK.decode()}")


def check_contents(package, root, version, hooks_built):
    """The files name where they are installed, not where they were built."""
    subprocess.run(["dpkg-deb", "-x", package, root], check=True)
    check_test_hooks(root, hooks_built)
    entry = open(os.path.join(root, "usr/share/applications/tarnwick-settings.desktop")).read()
    check("\nExec=/usr/bin/tarnwick-settings\n" in entry, "the desktop entry's Exec:\n" + entry)
    icon = next(line for line in entry.splitlines() if line.startswith("Icon="))[5:]
    check(os.path.isfile(root + icon), f"the desktop entry's icon {icon} is not in the package")

    page = gzip.open(os.path.join(root, "usr/share/man/man1/Tarnwick.1.gz"), "rt").read()
    check("/" + PANE + "/Tarnwick.app/Contents/MacOS/Tarnwick" in page and "@" not in page,
          "the man page does not name the installed program:\n" + page[:400])
    check(f'"Tarnwick {version}"' in page, "the man page does not carry the version")
    if shutil.which("groff"):
        for name in ("Tarnwick", "tarnwick-settings", "tarnwick-ctl"):
            text = gzip.open(os.path.join(root, f"usr/share/man/man1/{name}.1.gz"), "rt").read()
            # Every warning but a path too long for the line.
            result = run(["groff", "-man", "-Tutf8", "-ww", "-Wbreak", "-z"], input=text)
            check(result.returncode == 0 and not result.stderr, f"{name}.1: {result.stderr}")
    else:
        print("groff is not installed: the man pages are not checked for roff warnings")

    binaries = [APP + "/MacOS/Tarnwick", APP + "/MacOS/tarnwick-guard", "usr/bin/tarnwick-settings",
                PANE + "/Contents/MacOS/TarnwickPreferences",
                PANE + "/Contents/Frameworks/PrefGlue.framework/Versions/A/PrefGlue"]
    for path in binaries:
        dynamic = run(["readelf", "-d", os.path.join(root, path)]).stdout
        check("/build" not in dynamic, f"{path} has a run path into the build folder:\n{dynamic}")
        sections = run(["readelf", "-S", os.path.join(root, path)]).stdout
        check(".debug_info" not in sections, f"{path} is not stripped")


def run_version(program, environment=None):
    return run([program, "--version"], env=environment).stdout.strip()


def install_and_purge(package, modes, version):
    if run(["dpkg-query", "-W", "-f=${Status}", "tarnwick"]).stdout.strip().endswith(" installed"):
        raise AssertionError("a tarnwick package is installed already: purge it (dpkg --purge tarnwick) first")
    panes_existed = os.path.exists("/usr/share/PreferencePanes")
    installed = run(["dpkg", "-i", package])
    try:
        check(installed.returncode == 0, "dpkg -i failed:\n" + installed.stdout + installed.stderr)
        check(run_version("/" + APP + "/MacOS/Tarnwick") == f"Tarnwick {version}", "the installed Tarnwick")
        check(run_version("/usr/bin/tarnwick-settings") == f"tarnwick-settings {version}", "tarnwick-settings")
        # The settings host finds the pane where the application looks for
        # itself; only the missing display stops it.
        with tempfile.TemporaryDirectory() as home:
            environment = {"PATH": os.environ["PATH"], "HOME": home, "XDG_DATA_HOME": home}
            shown = run(["/usr/bin/tarnwick-settings"], env=environment)
            check(shown.returncode == 1 and "no X display" in shown.stderr,
                  f"tarnwick-settings without a display: {shown.returncode} {shown.stderr}")
    finally:
        purged = run(["dpkg", "--purge", "tarnwick"])
    check(purged.returncode == 0, "dpkg --purge failed:\n" + purged.stdout + purged.stderr)
    left = [path for path in modes if modes[path][0] != "d" and os.path.lexists("/" + path)]
    check(not left, f"left after the purge: {left}")
    check(panes_existed or not os.path.exists("/usr/share/PreferencePanes"), "/usr/share/PreferencePanes is left")
    print("installed with dpkg -i, ran from /usr and purged without a trace")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--expect-ctl", default="0")
    parser.add_argument("--work", required=True)
    parser.add_argument("--test-hooks", default="OFF")
    args = parser.parse_args()
    missing = [tool for tool in ("dpkg-deb", "dpkg-shlibdeps", "file", "readelf") if not shutil.which(tool)]
    if missing:
        print(f"SKIPPED: {', '.join(missing)} not installed (scripts/packages.txt lists them)")
        return 77

    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    package = build_package(args.cpack, args.build, args.work)
    modes = check_file_list(package, args.expect_ctl in ("1", "ON", "TRUE"))
    check_control(package, args.version)
    check_contents(package, os.path.join(args.work, "root"), args.version,
                   args.test_hooks.upper() in ("1", "ON", "TRUE", "YES"))
    print(f"{os.path.basename(package)}: {len(modes)} entries, control data and files as expected")

    if os.environ.get("TARNWICK_TEST_DPKG_INSTALL") == "1":
        if os.geteuid() != 0:
            print("not root: the package is not installed (TARNWICK_TEST_DPKG_INSTALL=1 needs root)")
        else:
            install_and_purge(package, modes, args.version)
    else:
        print("TARNWICK_TEST_DPKG_INSTALL is not 1: the package is not installed")
    shutil.rmtree(args.work, ignore_errors=True)
    return 0


def check_package_without_hooks(package, work):
    """scripts/package: the package it made must not honour the test hooks."""
    shutil.rmtree(work, ignore_errors=True)
    subprocess.run(["dpkg-deb", "-x", package, work], check=True)
    check_test_hooks(work, False)
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--check-no-hooks":
        try:
            sys.exit(check_package_without_hooks(sys.argv[2], sys.argv[3]))
        except AssertionError as failure:
            print(f"FAILED: {failure}")
            sys.exit(1)
    try:
        sys.exit(main())
    except AssertionError as failure:
        print(f"FAILED: {failure}")
        sys.exit(1)
