"""The real updater under Xvfb with openbox, driven by clicks at the controls' places.

Run by CTest (see CMakeLists.txt here); screenshots land in build/e2e/.
"""

import filecmp
import os
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import ImageChops

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (BIN, CHOOSER, LEFT_BUTTON, RIGHT_BUTTON, Desktop, Updater,  # noqa: E402
                     scaled, wait_until)

SHOTS = os.environ.get("KVX_E2E_SHOTS") or os.path.join(BIN, "..", "e2e")
os.makedirs(SHOTS, exist_ok=True)

LOCALES = ["en_US", "fr_FR", "de_DE", "es_ES", "it_IT", "nl_NL",
           "ru_RU", "pt_PT", "zh_CN", "zh_TW", "ko_KR", "ja_JP"]


def shot(name):
    return os.path.join(SHOTS, name + ".png")


def write_sections(folder, sizes):
    paths = []
    for number, size in enumerate(sizes, start=1):
        path = os.path.join(folder, f"data{number}.bin")
        with open(path, "wb") as out:
            out.write(bytes((i * 31 + number * 7) & 0xFF for i in range(size)))
        paths.append(path)
    return paths


def make_package(folder, sizes=(3000, 700, 1250), off=(2,), version="1.24"):
    """A package written by kvx-package; returns its bytes and the data of each section."""
    paths = write_sections(folder, sizes)
    arguments = [os.path.join(BIN, "kvx-package"), "create", "-o", os.path.join(folder, "p.upd"),
                 "--version", version]
    for number, path in enumerate(paths, start=1):
        arguments += ["--section", path + (":off" if number in off else "")]
    subprocess.run(arguments, check=True)
    with open(os.path.join(folder, "p.upd"), "rb") as package:
        return package.read(), paths


class Devsim:
    def __init__(self, *arguments):
        self.process = subprocess.Popen([os.path.join(BIN, "kvx-devsim"), *arguments],
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)

    def finish(self, timeout=30):
        try:
            output, _ = self.process.communicate(timeout=scaled(timeout))
        except subprocess.TimeoutExpired:
            self.process.kill()
            output, _ = self.process.communicate()
        return self.process.returncode, output

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class UpdaterTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="kvx-e2e-data-")
        self.desktop = Desktop().__enter__()
        self.cleanups = []

    def tearDown(self):
        for cleanup in reversed(self.cleanups):
            cleanup()
        self.desktop.__exit__(None, None, None)

    def start(self, package, locale="en_US.UTF-8"):
        updater = Updater(self.desktop, package, locale)
        self.cleanups.append(updater.close)
        return updater.start()

    def devsim(self, *arguments):
        device = Devsim(*arguments)
        self.cleanups.append(device.stop)
        return device


class Screens(UpdaterTest):
    def test_language_screen_not_found_then_ready_when_the_controller_arrives(self):
        package, _ = make_package(self.folder)
        updater = self.start(package)

        self.assertEqual(updater.geometry(), (426, 176))
        self.assertEqual(updater.title(), "Updater Program")
        self.assertIn("_NET_WM_STATE_ABOVE", updater.properties(), "the window stays on top")
        updater.wait_for_screen("selectLanguage", path=shot("1-select-language"))

        updater.click(RIGHT_BUTTON)
        updater.wait_for_screen("warning", path=shot("2-device-not-found"))

        device = self.devsim("--version", "1.23")
        updater.wait_for_screen("readyToUpdate", path=shot("3-ready-to-update"))

        # Alt+F4 is ignored, on any screen.
        updater.key("alt+F4")
        time.sleep(scaled(0.5))
        self.assertTrue(updater.alive())

        # Close quits.
        updater.click(LEFT_BUTTON)
        self.assertEqual(updater.wait_exit(), 0)
        device.stop()

    def test_package_error_shows_after_the_language_screen_and_its_button_quits(self):
        package, _ = make_package(self.folder)
        damaged = bytearray(package)
        damaged[36 + 36 + 10] ^= 0xFF
        updater = self.start(bytes(damaged))
        self.devsim()

        updater.wait_for_screen("selectLanguage")
        updater.click(RIGHT_BUTTON)
        updater.wait_for_screen("warning", path=shot("package-error"))
        updater.click(RIGHT_BUTTON)
        self.assertEqual(updater.wait_exit(), 0)

    def test_cancel_on_the_language_screen_quits(self):
        updater = self.start(None)
        updater.wait_for_screen("selectLanguage")
        updater.click(LEFT_BUTTON)
        self.assertEqual(updater.wait_exit(), 0)

    def test_a_second_start_exits_and_leaves_the_first_window(self):
        package, _ = make_package(self.folder)
        first = self.start(package)
        first.wait_for_screen("selectLanguage")

        second = Updater(self.desktop, None, folder=first.folder)
        second.process = subprocess.Popen([os.path.join(first.folder, "KVXUpdateProgram")], env=second.env)
        self.assertEqual(second.process.wait(10), 0)
        self.assertTrue(first.alive())
        self.assertEqual(first.screen(), "selectLanguage")
        first.click(LEFT_BUTTON)
        self.assertEqual(first.wait_exit(), 0)

    def test_the_language_screen_in_each_language(self):
        package, _ = make_package(self.folder)
        titles = set()
        for locale in LOCALES:
            updater = self.start(package, locale + ".UTF-8")
            updater.wait_for_screen("selectLanguage", path=shot("language-" + locale))
            titles.add(updater.title())
            updater.click(LEFT_BUTTON)
            self.assertEqual(updater.wait_exit(), 0)
        self.assertEqual(len(titles), len(LOCALES), titles)

    # An English start has not loaded the fonts of Chinese, Korean and Japanese: opening the
    # list and picking 日本語 (the last item) must still show the names and then the
    # Japanese screen.
    def test_picking_japanese_in_the_open_list_switches_to_the_japanese_screen(self):
        package, _ = make_package(self.folder)
        japanese = self.start(package, "ja_JP.UTF-8")
        japanese.wait_for_screen("selectLanguage")
        japanese_title = japanese.title()
        started_in_japanese = japanese.screenshot()
        japanese.click(LEFT_BUTTON)
        self.assertEqual(japanese.wait_exit(), 0)

        updater = self.start(package)
        updater.wait_for_screen("selectLanguage")
        self.assertNotEqual(updater.title(), japanese_title)
        updater.click(CHOOSER)
        time.sleep(scaled(1.0))
        # The list is a window of its own, below the chooser.
        subprocess.run(["import", "-window", "root", shot("language-list-open")],
                       env=updater.env, check=True)
        updater.desktop.xdotool("key", "Up", "Return")
        wait_until(lambda: updater.title() == japanese_title, 10, "the Japanese title")
        updater.wait_for_screen("selectLanguage")

        # The chooser's face as a start in Japanese shows it (it showed the name as boxes
        # once, in the typeface it had found for English). The face is repainted after the
        # title changes, so it is given a moment; the glyphs' edges may come out a shade
        # apart (a dozen pixels), boxes differ in about a hundred.
        face = (22, 80, 200, 97)
        expected = started_in_japanese.convert("L").crop(face)

        def differing_pixels():
            shown = updater.screenshot().convert("L").crop(face)
            return sum(1 for value in ImageChops.difference(shown, expected).getdata() if value > 100)

        try:
            wait_until(lambda: differing_pixels() < 40, 5,
                       "the chooser's face to show the name as a start in Japanese does")
        finally:
            updater.screenshot(shot("language-picked-ja_JP"))

class Update(UpdaterTest):
    def go_to_ready(self, package, *devsim_arguments):
        updater = self.start(package)
        device = self.devsim(*devsim_arguments)
        updater.wait_for_screen("selectLanguage")
        time.sleep(scaled(0.5))
        updater.click(RIGHT_BUTTON)
        updater.wait_for_screen("readyToUpdate")
        return updater, device

    def test_a_complete_update_delivers_every_enabled_section_intact(self):
        package, sections = make_package(self.folder, sizes=(40000, 62, 63, 5000, 0), off=(3,))
        saved = os.path.join(self.folder, "saved")
        os.makedirs(saved)
        updater, device = self.go_to_ready(package, "--save", saved, "--delay", "2")

        updater.click(RIGHT_BUTTON)
        updater.wait_for_screen("updating", path=shot("4-updating"))
        updater.wait_for_screen("updateDone", timeout=60, path=shot("5-update-done"))

        updater.click(RIGHT_BUTTON)
        self.assertEqual(updater.wait_exit(), 0)
        status, output = device.finish()
        self.assertEqual(status, 0, output)
        for number, path in enumerate(sections, start=1):
            received = os.path.join(saved, f"section-{number}.bin")
            if number == 3:
                self.assertFalse(os.path.exists(received), "a section that is off was sent")
            else:
                self.assertTrue(filecmp.cmp(path, received, shallow=False), f"section {number}")

    def test_an_unplug_in_the_middle_fails(self):
        package, _ = make_package(self.folder, sizes=(30000,), off=())
        updater, device = self.go_to_ready(package, "--leave-after", "200", "--delay", "2")
        updater.click(RIGHT_BUTTON)
        updater.wait_for_screen("warning", timeout=60, path=shot("6-update-failed"))
        self.assertNotEqual(device.finish()[0], 0)
        updater.click(RIGHT_BUTTON)
        self.assertEqual(updater.wait_exit(), 0)

    def test_a_wrong_answer_fails(self):
        package, _ = make_package(self.folder)
        updater, device = self.go_to_ready(package, "--wrong-at", "data:10")
        updater.click(RIGHT_BUTTON)
        updater.wait_for_screen("warning", timeout=60)
        self.assertNotEqual(device.finish()[0], 0)

    def test_a_quit_request_from_the_system_during_the_update_ends_cleanly(self):
        package, _ = make_package(self.folder, sizes=(200000,), off=())
        updater, device = self.go_to_ready(package, "--delay", "5")
        updater.click(RIGHT_BUTTON)
        updater.wait_for_screen("updating")
        time.sleep(scaled(1.0))
        started = time.monotonic()
        updater.terminate()
        self.assertEqual(updater.wait_exit(timeout=20), 0)
        self.assertLess(time.monotonic() - started, scaled(15))
        self.assertNotEqual(device.finish()[0], 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
