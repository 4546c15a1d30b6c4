"""The manual pages: each names every option (and sub-command) its program's
--help names, and renders without a warning.

Run from tests/package with LABEL_BUILD_DIR set to the build directory; the
pages are found beside the test, in ../../man.
"""
import os
import re
import shutil
import subprocess
import unittest

MAN_DIR = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "man"))
BUILD = os.environ.get("LABEL_BUILD_DIR", "")

# program, its page, and the words of its --help the page must hold beyond
# the options: the sub-commands PAPPL's usage lists, one per line, between
# "Sub-commands:" and "Options:".
PAGES = [
    ("labelprint", "labelprint.1", None),
    ("labelview", "labelview.1", None),
    ("label-printer-app", "label-printer-app.8", r"Sub-commands:\n(.*?)\nOptions:"),
]

LONG_OPTION = re.compile(r"--[a-z][a-z0-9-]*")
SHORT_OPTION = re.compile(r"(?<![\w-])-[a-zA-Z]\b")


def page_text(page):
    """The page's source, with roff's escaped hyphens as plain ones."""
    with open(os.path.join(MAN_DIR, page), encoding="utf-8") as source:
        return source.read().replace("\\-", "-")


def names(word, text):
    """Whether `text` holds `word` as a word of its own (not inside a longer option)."""
    return re.search(r"(?<![\w-])" + re.escape(word) + r"(?![\w-])", text) is not None


def help_text(program):
    """What `program --help` prints, on either stream; skips when it is not built."""
    if not BUILD:
        raise unittest.SkipTest("LABEL_BUILD_DIR is not set: no program to ask for --help")
    binary = os.path.join(BUILD, "bin", program)
    if not os.access(binary, os.X_OK):
        raise unittest.SkipTest(f"{binary} is not built: its --help is not checked")
    # PAPPL translates its usage; the page is matched against the English one.
    result = subprocess.run([binary, "--help"], capture_output=True, text=True, timeout=60,
                            stdin=subprocess.DEVNULL, env=dict(os.environ, LC_ALL="C"))
    # labelprint reports --help as a usage error (2); the others exit 0.
    if result.returncode not in (0, 2):
        raise AssertionError(f"{program} --help exited {result.returncode}:\n{result.stderr}")
    text = result.stdout + result.stderr
    if "usage" not in text.lower():
        raise AssertionError(f"{program} --help printed no usage:\n{text}")
    return text


class ManPages(unittest.TestCase):
    def test_each_page_names_its_program_in_its_title_and_name(self):
        for program, page, _ in PAGES:
            with self.subTest(page):
                text = page_text(page)
                section = page.rsplit(".", 1)[1]
                wanted = {
                    "title": r"^\.TH " + re.escape(program.upper()) + " " + section + " ",
                    "name": r"^\.SH NAME\n" + re.escape(program) + r" - \S",
                }
                for heading in ("SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "SEE ALSO"):
                    wanted[heading] = r"^\.SH \"?" + heading
                absent = [what for what, pattern in wanted.items()
                          if not re.search(pattern, text, re.M)]
                self.assertEqual(absent, [], f"{page} lacks these")

    def test_each_page_names_every_option_and_sub_command_of_its_help(self):
        for program, page, sub_commands in PAGES:
            with self.subTest(program):
                usage = help_text(program)
                wanted = set(LONG_OPTION.findall(usage)) | set(SHORT_OPTION.findall(usage))
                if sub_commands:
                    listing = re.search(sub_commands, usage, re.S)
                    self.assertIsNotNone(listing, f"{program} --help lists no sub-commands")
                    wanted |= set(re.findall(r"(?m)^\s+([a-z]+)\b", listing.group(1)))
                self.assertTrue(wanted, f"{program} --help names no option:\n{usage}")
                text = page_text(page)
                missing = sorted(word for word in wanted if not names(word, text))
                self.assertEqual(missing, [], f"{page} lacks what {program} --help names")

    def test_each_page_renders_without_a_warning(self):
        renderers = [
            ("man", lambda path: ["man", "--warnings", "-l", path]),
            ("groff", lambda path: ["groff", "-man", "-ww", "-z", path]),
        ]
        environment = dict(os.environ, MANWIDTH="80")
        for tool, command in renderers:
            for _, page, _ in PAGES:
                with self.subTest(tool=tool, page=page):
                    if not shutil.which(tool):
                        self.skipTest(f"{tool} is not installed")
                    result = subprocess.run(command(os.path.join(MAN_DIR, page)),
                                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                            text=True, timeout=60, env=environment)
                    self.assertEqual((result.returncode, result.stderr), (0, ""))


if __name__ == "__main__":
    unittest.main()
