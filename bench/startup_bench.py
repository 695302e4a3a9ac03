#!/usr/bin/python3
"""Start-up and peak memory of the updater beside a bare JUCE window program.

Both run on one private Xvfb display (no window manager), in alternating rounds, each
measured by startup_probe from the moment before exec to the first frame that shows its
content (for the updater: the language screen). The updater starts from a folder of its
own that holds hard links to the program and its library, its fonts folder and a 64 MB
package, so that it reads and checks the whole package at start as it does on a
desktop. The updater starts in English; as a diagnostic it is also measured started in
Japanese, which registers the CJK font collections at start. Prints the medians and
writes them as JSON (--json).

  startup_bench.py [--bin DIR] [--rounds N] [--json FILE]
"""

import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PACKAGE_BYTES = 64 << 20


def fail(message):
    print(f"startup_bench: {message}", file=sys.stderr)
    sys.exit(1)


def start_display():
    for _ in range(5):
        display = f":{random.randint(200, 900)}"
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        env = dict(os.environ, DISPLAY=display)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and xvfb.poll() is None:
            if subprocess.run(["xdpyinfo"], env=env, capture_output=True).returncode == 0:
                return xvfb, env
            time.sleep(0.1)
        xvfb.kill()
        xvfb.wait()
    fail("Xvfb did not start")


def link(source, target):
    try:
        os.link(source, target)
    except OSError:
        shutil.copy2(source, target)


def prepare_updater(bin_dir, folder):
    for name in ("KVXUpdateProgram", "libdevhid.so"):
        link(os.path.join(bin_dir, name), os.path.join(folder, name))
    fonts = os.path.join(bin_dir, "fonts")
    if os.path.isdir(fonts):
        shutil.copytree(fonts, os.path.join(folder, "fonts"), symlinks=True)

    # Eight enabled sections of 8 MB, written by the project's own package writer.
    sections = []
    generator = random.Random(7)
    for number in range(8):
        path = os.path.join(folder, f"section{number}.bin")
        with open(path, "wb") as out:
            out.write(generator.randbytes(PACKAGE_BYTES // 8))
        sections += ["--section", path]
    package = os.path.join(folder, "KVX-70_UP.upd")
    subprocess.run([os.path.join(bin_dir, "kvx-package"), "create", "-o", package, "--version", "1.23", *sections],
                   check=True, capture_output=True)
    for number in range(8):
        os.remove(os.path.join(folder, f"section{number}.bin"))
    return os.path.join(folder, "KVXUpdateProgram"), os.path.getsize(package)


def probe(bin_dir, program, env):
    result = subprocess.run([os.path.join(bin_dir, "startup_probe"), program], env=env,
                            capture_output=True, text=True, cwd=tempfile.gettempdir())
    if result.returncode != 0:
        fail(f"{os.path.basename(program)}: {result.stderr.strip()}")
    return json.loads(result.stdout)


def main():
    parser = argparse.ArgumentParser(description="Start-up and peak memory of the updater beside a bare JUCE window.")
    parser.add_argument("--bin", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "bin"))
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--json")
    arguments = parser.parse_args()
    bin_dir = os.path.abspath(arguments.bin)

    folder = tempfile.mkdtemp(prefix="kvx-startup-bench-")
    xvfb = None
    try:
        updater, package_bytes = prepare_updater(bin_dir, folder)
        bare = os.path.join(bin_dir, "bare_window")
        xvfb, env = start_display()
        env = {k: v for k, v in env.items() if k not in ("LC_ALL", "LC_MESSAGES", "LANGUAGE")}
        env["LANG"] = "en_US.UTF-8"
        japanese_env = dict(env, LANG="ja_JP.UTF-8")

        # One start of each first, unmeasured: the page cache then holds both alike.
        probe(bin_dir, bare, env)
        probe(bin_dir, updater, japanese_env)

        samples = {"bare": [], "updater": [], "updater_japanese": []}
        for round_number in range(arguments.rounds):
            order = [("bare", bare, env), ("updater", updater, env), ("updater_japanese", updater, japanese_env)]
            if round_number % 2:
                order.reverse()
            for name, program, program_env in order:
                samples[name].append(probe(bin_dir, program, program_env))
    finally:
        if xvfb is not None:
            xvfb.terminate()
            xvfb.wait()
        shutil.rmtree(folder, ignore_errors=True)

    def median(name, key):
        return statistics.median(sample[key] for sample in samples[name])

    figures = {
        "rounds": arguments.rounds,
        "package_bytes": package_bytes,
        "bare_first_frame_ms": median("bare", "first_frame_ms"),
        "updater_first_frame_ms": median("updater", "first_frame_ms"),
        "bare_vm_hwm_kb": median("bare", "vm_hwm_kb"),
        "updater_vm_hwm_kb": median("updater", "vm_hwm_kb"),
        "japanese_first_frame_ms": median("updater_japanese", "first_frame_ms"),
        "samples": samples,
    }
    figures["startup_ratio"] = figures["updater_first_frame_ms"] / figures["bare_first_frame_ms"]
    figures["memory_over_bare_per_package"] = \
        (figures["updater_vm_hwm_kb"] - figures["bare_vm_hwm_kb"]) * 1024 / package_bytes

    print(f"first painted frame: updater {figures['updater_first_frame_ms']:.1f} ms, "
          f"bare window {figures['bare_first_frame_ms']:.1f} ms (x{figures['startup_ratio']:.2f}), "
          f"updater started in Japanese {figures['japanese_first_frame_ms']:.1f} ms; "
          f"peak memory: updater {figures['updater_vm_hwm_kb'] / 1024:.1f} MB, "
          f"bare window {figures['bare_vm_hwm_kb'] / 1024:.1f} MB, package {package_bytes / 2**20:.1f} MB "
          f"(medians of {arguments.rounds})")
    if arguments.json:
        with open(arguments.json, "w") as out:
            json.dump(figures, out, indent=1)


if __name__ == "__main__":
    main()
