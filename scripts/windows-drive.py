"""Runs a whole update with the Windows program under Wine, beside kvx-devsim on the TCP bus.

The program and devhid.dll from build-windows/bin run from a folder of their own with the
demo package; a Wine prefix is made in build-windows/ the first time. The program is driven
on Xvfb through the language screen, Start and the outcome, each screen is saved in
build-windows/screens/, and the sections the virtual controller received are compared with
the ones packed. Exit status 0 only for a whole, correct update.
"""

import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import BIN, RIGHT_BUTTON, Desktop, classify, drive_update, run, wait_until  # noqa: E402

from PIL import Image  # noqa: E402

WINDOWS = os.path.abspath(os.environ["KVX_WINDOWS"])
RUN = os.path.join(WINDOWS, "run")
SHOTS = os.path.join(WINDOWS, "screens")
RECEIVED = os.path.join(WINDOWS, "received")
SECTIONS = os.path.join(WINDOWS, "sections")
PREFIX = os.path.join(WINDOWS, "wineprefix")

# Five sections of a few dozen KB each; the fourth is carried but not sent.
SIZES = [65536, 131072, 48000, 20000, 98765]
SENT = [1, 2, 3, 5]

# The English catalogue's window title.
TITLE = "Updater Program"


def wine_env(desktop):
    env = dict(desktop.env, WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    for variable in ("LC_ALL", "LC_MESSAGES", "LANGUAGE"):
        env.pop(variable, None)
    env["LANG"] = "en_US.UTF-8"
    return env


def prepare_folder():
    shutil.rmtree(RUN, ignore_errors=True)
    shutil.rmtree(RECEIVED, ignore_errors=True)
    shutil.rmtree(SHOTS, ignore_errors=True)
    for folder in (RUN, SECTIONS, SHOTS):
        os.makedirs(folder, exist_ok=True)
    for number, size in enumerate(SIZES, start=1):
        generator = random.Random(number)
        with open(os.path.join(SECTIONS, f"section{number}.bin"), "wb") as out:
            out.write(bytes(generator.getrandbits(8) for _ in range(size)))
    sections = []
    for number in range(1, len(SIZES) + 1):
        path = os.path.join(SECTIONS, f"section{number}.bin")
        sections += ["--section", path if number in SENT else path + ":off"]
    run([os.path.join(BIN, "kvx-package"), "create", "-o", os.path.join(RUN, "KVX-70_UP.upd"),
         "--version", "1.24", *sections])
    for name in ("KVXUpdateProgram.exe", "devhid.dll"):
        shutil.copy2(os.path.join(WINDOWS, "bin", name), os.path.join(RUN, name))


class WineUpdater:
    def __init__(self, desktop):
        self.desktop = desktop
        self.env = wine_env(desktop)
        self.process = None
        self.window = None

    def start(self):
        self.process = subprocess.Popen(["wine", "KVXUpdateProgram.exe"], cwd=RUN, env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def find():
            result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + TITLE + "$"],
                                    env=self.env, capture_output=True, text=True)
            ids = result.stdout.split()
            return ids[-1] if ids else None
        wait_until(find, 60, "the program's window under Wine")
        time.sleep(1.0)
        self.window = wait_until(find, 10, "the program's window under Wine")
        return self

    def windows(self):
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + TITLE + "$"],
                                env=self.env, capture_output=True, text=True)
        return result.stdout.split()

    def second_start(self):
        """A second start hands over to the running instance and ends at once with 0."""
        status = subprocess.run(["wine", "KVXUpdateProgram.exe"], cwd=RUN, env=self.env,
                                capture_output=True, timeout=60).returncode
        time.sleep(1.0)
        return status, len(self.windows())

    def click(self, position):
        self.desktop.xdotool("mousemove", "--window", self.window, position[0], position[1], "click", "1")
        time.sleep(0.3)

    def screenshot(self, path):
        run(["import", "-window", self.window, path], env=self.env)
        return Image.open(path).convert("RGB")

    def screen(self, path=None):
        return classify(self.screenshot(path or os.path.join(SHOTS, "current.png")))

    def wait_for_screen(self, expected, timeout=30, path=None):
        expected = expected if isinstance(expected, tuple) else (expected,)
        wait_until(lambda: self.screen() in expected, timeout, f"screen {expected}", interval=0.2)
        if path:
            self.screenshot(path)

    def close(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)


def main():
    prepare_folder()
    with Desktop() as desktop:
        env = wine_env(desktop)
        if not os.path.exists(os.path.join(PREFIX, "system.reg")):
            print("Making the Wine prefix (once)...")
            subprocess.run(["wine", "wineboot", "--init"], env=env, capture_output=True, timeout=300)
            subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=300)

        device = subprocess.Popen([os.path.join(BIN, "kvx-devsim"), "--tcp", "--version", "1.23", "--delay", "1",
                                   "--save", RECEIVED, "--timeout", "600"],
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        updater = WineUpdater(desktop)
        try:
            updater.start()
            second_start = []

            def on_screen(screen):
                if screen == "selectLanguage":
                    second_start.extend(updater.second_start())
                    print(f"second start: status {second_start[0]}, {second_start[1]} window(s) on screen")

            done = drive_update(updater, SHOTS, timeout=300, on_screen=on_screen)
            second_status, window_count = second_start
            updater.click(RIGHT_BUTTON)
            program_status = updater.process.wait(30)
            output, _ = device.communicate(timeout=30)
        finally:
            if device.poll() is None:
                device.kill()
            updater.close()
            current = os.path.join(SHOTS, "current.png")
            if os.path.exists(current):
                os.remove(current)

    print(output, end="")
    failures = []
    if second_status != 0 or window_count != 1:
        failures.append("a second start did not leave exactly the one running window")
    if not done:
        failures.append("the program showed no success")
    if program_status != 0:
        failures.append(f"the program ended with status {program_status}")
    if device.returncode != 0:
        failures.append(f"kvx-devsim ended with status {device.returncode}")
    for number in SENT:
        with open(os.path.join(SECTIONS, f"section{number}.bin"), "rb") as packed:
            expected = packed.read()
        path = os.path.join(RECEIVED, f"section-{number}.bin")
        received = open(path, "rb").read() if os.path.exists(path) else None
        if received != expected:
            failures.append(f"section {number} did not arrive intact")
    if os.path.exists(os.path.join(RECEIVED, "section-4.bin")):
        failures.append("section 4 is switched off but was sent")

    if failures:
        for failure in failures:
            print(f"test-windows: {failure}", file=sys.stderr)
        return 1
    print(f"test-windows: a whole update under Wine; sections {SENT} arrived intact; screens in {SHOTS}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
