"""Runs the demo update: the updater from build/bin with its demo package, beside kvx-devsim.

With a display the person at it drives the updater; without one, this drives it on Xvfb
through the language choice, Start and the outcome, and saves each screen in build/demo/.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import BIN, RIGHT_BUTTON, Desktop, Updater, drive_update  # noqa: E402

SHOTS = os.path.join(BIN, "..", "demo")


def devsim():
    return subprocess.Popen([os.path.join(BIN, "kvx-devsim"), "--version", "1.23", "--delay", "1"],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def on_desktop():
    device = devsim()
    print("The updater and a virtual controller are running; use the updater's window.")
    updater = subprocess.run([os.path.join(BIN, "KVXUpdateProgram")], cwd="/")
    output, _ = device.communicate(timeout=30)
    return updater.returncode, device.returncode, output


def headless():
    os.makedirs(SHOTS, exist_ok=True)
    with Desktop() as desktop:
        updater = Updater(desktop, package=None, folder=BIN).start()
        device = devsim()
        try:
            done = drive_update(updater, SHOTS, timeout=120)
            updater.click(RIGHT_BUTTON)
            updater.wait_exit()
            output, _ = device.communicate(timeout=30)
            return updater.process.returncode if done else 1, device.returncode, output
        finally:
            if device.poll() is None:
                device.kill()
            updater.close()


def main():
    if os.environ.get("DISPLAY"):
        updater_status, device_status, output = on_desktop()
    else:
        updater_status, device_status, output = headless()
        print(f"screenshots: {os.path.abspath(SHOTS)}")
    print(output.strip().splitlines()[-1] if output.strip() else "kvx-devsim said nothing")
    ok = updater_status == 0 and device_status == 0
    print("outcome: the update " + ("succeeded" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
