"""Drives the real updater on a virtual X display, as a person would.

A Desktop is an Xvfb display with openbox, so that always-on-top, the title and Alt+F4
behave as on a desktop. An Updater is the real program started from a folder of its own
that holds hard links to the built program and its library, and the package file under
test. Screens are told apart by what is drawn at the places where the controls stand.
"""

import os
import random
import shutil
import signal
import subprocess
import tempfile
import time

from PIL import Image

BIN = os.environ.get("KVX_BIN") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "bin")
BIN = os.path.abspath(BIN)

# Sanitizer builds run the program several times slower: KVX_E2E_TIME_SCALE stretches every
# wait and time limit of these tests (never the program's own time-outs).
TIME_SCALE = float(os.environ.get("KVX_E2E_TIME_SCALE") or 1)


def scaled(seconds):
    return seconds * TIME_SCALE


BACKGROUND = (234, 234, 234)

# Control positions in the 426 x 176 content area.
RIGHT_BUTTON = (356, 146)
LEFT_BUTTON = (246, 146)
CHOOSER = (213, 88)


def run(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs).stdout


def wait_until(predicate, timeout, what, interval=0.05):
    timeout = scaled(timeout)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    raise AssertionError(f"timed out after {timeout} s waiting for {what}")


class Desktop:
    def __init__(self):
        self.display = f":{random.randint(200, 900)}"
        self.processes = []

    def __enter__(self):
        for attempt in range(5):
            xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(0.3)
            if xvfb.poll() is None:
                break
            self.display = f":{random.randint(200, 900)}"
        else:
            raise RuntimeError("Xvfb did not start")
        self.processes.append(xvfb)
        self.env = dict(os.environ, DISPLAY=self.display)
        wait_until(lambda: subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0,
                   10, "the X display")
        self.processes.append(subprocess.Popen(["openbox"], env=self.env,
                                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(0.5)
        return self

    def __exit__(self, *exc):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()

    def xdotool(self, *arguments):
        return run(["xdotool", *map(str, arguments)], env=self.env)


class Updater:
    """The updater in a folder of its own, with `package` (bytes or None) next to it."""

    def __init__(self, desktop, package=None, locale="en_US.UTF-8", folder=None):
        self.desktop = desktop
        self.folder = folder or tempfile.mkdtemp(prefix="kvx-e2e-")
        self.owns_folder = folder is None
        for name in ("KVXUpdateProgram", "libdevhid.so"):
            link(os.path.join(BIN, name), os.path.join(self.folder, name))
        fonts = os.path.join(BIN, "fonts")
        if os.path.isdir(fonts) and not os.path.exists(os.path.join(self.folder, "fonts")):
            shutil.copytree(fonts, os.path.join(self.folder, "fonts"), symlinks=True)
        if package is not None:
            with open(os.path.join(self.folder, "KVX-70_UP.upd"), "wb") as out:
                out.write(package)
        self.env = dict(desktop.env)
        for variable in ("LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"):
            self.env.pop(variable, None)
        self.env["LANG"] = locale
        # Under ASan: the framework loads the X11 libraries itself and unloads them at the end,
        # before the leak check, which then sees their allocations without a module to name.
        # Leak checking of the program's own code is left to the unit tests.
        if "ASAN_OPTIONS" in self.env:
            self.env["ASAN_OPTIONS"] += ":detect_leaks=0"
        self.process = None
        self.window = None

    def start(self):
        self.process = subprocess.Popen([os.path.join(self.folder, "KVXUpdateProgram")], env=self.env,
                                        cwd=tempfile.gettempdir(),
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        # setAlwaysOnTop and the native title bar recreate the X window: wait until the
        # window with the catalogue's title is there and stays.
        def find():
            result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid)],
                                    env=self.env, capture_output=True, text=True)
            ids = result.stdout.split()
            return ids[-1] if ids else None
        wait_until(find, 20, "the updater's window")
        time.sleep(scaled(0.8))
        self.window = wait_until(find, 10, "the updater's window")
        return self

    def properties(self):
        return run(["xprop", "-id", self.window], env=self.env)

    def title(self):
        return self.desktop.xdotool("getwindowname", self.window).strip()

    def click(self, position):
        self.desktop.xdotool("mousemove", "--window", self.window, position[0], position[1], "click", "1")
        time.sleep(0.3)

    def key(self, keys):
        self.desktop.xdotool("key", "--window", self.window, keys)
        time.sleep(0.3)

    def screenshot(self, path=None):
        path = path or os.path.join(self.folder, "shot.png")
        run(["import", "-window", self.window, path], env=self.env)
        return Image.open(path).convert("RGB")

    def geometry(self):
        info = run(["xwininfo", "-id", self.window], env=self.env)
        values = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
        return int(values["Width"]), int(values["Height"])

    def screen(self, path=None):
        """Which screen is showing, judged from the pixels where the controls stand."""
        image = self.screenshot(path)
        return classify(image)

    def wait_for_screen(self, expected, timeout=15, path=None):
        wait_until(lambda: self.screen() in expected if isinstance(expected, tuple) else self.screen() == expected,
                   timeout, f"screen {expected}")
        if path:
            self.screenshot(path)

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self, timeout=20):
        return self.process.wait(scaled(timeout))

    def terminate(self):
        self.process.send_signal(signal.SIGTERM)

    def close(self):
        if self.alive():
            self.process.kill()
            self.process.wait()
        if self.owns_folder:
            shutil.rmtree(self.folder, ignore_errors=True)


def drive_update(updater, shots, timeout, on_screen=None):
    """Walks `updater` (anything with click, wait_for_screen and screen) from the language
    screen through Start to the outcome, with a screenshot of each screen in `shots`;
    on_screen(name) runs after each of the first three. True when the update was done."""
    steps = [("1-select-language", "selectLanguage", None),
             ("2-ready-to-update", "readyToUpdate", RIGHT_BUTTON),
             ("3-updating", "updating", RIGHT_BUTTON)]
    for name, screen, click in steps:
        if click:
            updater.click(click)
        updater.wait_for_screen(screen, path=os.path.join(shots, name + ".png"))
        print(f"screen: {screen}")
        if on_screen:
            on_screen(screen)
    updater.wait_for_screen(("updateDone", "warning"), timeout=timeout)
    done = updater.screen(os.path.join(shots, "4-outcome.png")) == "updateDone"
    print(f"screen: {'updateDone' if done else 'updateFailed'}")
    return done


def link(source, target):
    if os.path.exists(target):
        return
    try:
        os.link(source, target)
    except OSError:
        shutil.copy2(source, target)


def is_button(image, centre):
    """A bevelled button: a white line along its top edge and a black one along its bottom."""
    x, y = centre
    top = image.getpixel((x, y - 10))
    bottom = image.getpixel((x, y + 9))
    return min(top) > 200 and max(bottom) < 60


def has_warning(image):
    """The yellow of the warning symbol in the square (20, 15, 64, 64)."""
    for y in range(20, 79, 2):
        for x in range(25, 80, 2):
            r, g, b = image.getpixel((x, y))
            if r > 200 and g > 150 and b < 100:
                return True
    return False


def has_progress_well(image):
    return max(image.getpixel((22, 80))) < 20 or max(image.getpixel((CHOOSER[0], 96))) < 20


def classify(image):
    right = is_button(image, RIGHT_BUTTON)
    left = is_button(image, LEFT_BUTTON)
    warning = has_warning(image)
    chooser = image.getpixel(CHOOSER) != BACKGROUND and not has_progress_well(image)
    if left and right and chooser:
        return "selectLanguage"
    if left and right:
        return "readyToUpdate"
    if not left and not right and has_progress_well(image):
        return "updating"
    if right and not left and warning:
        return "warning"            # package error, not found or failure: tell them by context
    if right and not left:
        return "updateDone"
    return "unknown"
