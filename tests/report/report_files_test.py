#!/usr/bin/env python3
"""The journal and the report as other programs read them: the journal through
Python's csv module (the separator ';', UTF-8 with a byte-order mark), the
report through html.parser, and printed to PDF by headless Chromium, its pages
counted by pdfinfo. Diagnoses run against the simulated pump (SIM).
Usage: report_files_test.py PUMPDIAG_CLI JOURNAL_TOOL DATA_DIR"""
import csv
import html.parser
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI, TOOL, DATA = sys.argv[1:4]
COLUMNS = ["time", "event", "port", "bosch_number", "id_number", "original_number", "serial_number", "faults",
           "erased", "version"]
LIMIT = 300  # seconds for any one program: generous, CI may be busy


def run(args, env, cwd=None, check=True):
    done = subprocess.run(args, env=env, cwd=cwd, capture_output=True, timeout=LIMIT)
    if check and done.returncode != 0:
        raise AssertionError(f"{args} ended with {done.returncode}: {done.stderr.decode(errors='replace')}")
    return done


def csv_rows(path):
    with open(path, encoding="utf-8-sig", newline="") as f:
        return list(csv.reader(f, delimiter=";", strict=True))


class Folder(unittest.TestCase):
    """A private home, data folder and working folder holding the help texts."""

    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.work = os.path.join(self.root, "work")
        shutil.copytree(DATA, self.work)
        self.env = dict(os.environ, HOME=self.root, XDG_DATA_HOME=os.path.join(self.root, "data"),
                        XDG_CONFIG_HOME=os.path.join(self.root, "config"), LANG="C", LC_ALL="C")
        self.journal = os.path.join(self.root, "data", "pumpdiag", "journal.csv")

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def append(self, count, tag, serial="VR1708512 3470"):
        return subprocess.Popen([TOOL, "append", self.journal, str(count), tag, serial], env=self.env)

    def journal_json(self, *args):
        return json.loads(run([CLI, "journal", "--json", *args], self.env).stdout)


class JournalCsv(Folder):
    def test_fields_come_back_as_written(self):
        self.assertEqual(self.append(3, 'порт;"1"').wait(LIMIT), 0)
        with open(self.journal, "rb") as f:
            raw = f.read()
        self.assertTrue(raw.startswith(b"\xef\xbb\xbf"), "UTF-8 byte-order mark first")
        self.assertTrue(all(line.endswith(b"\r") for line in raw.split(b"\n")[:-1]), "CR LF line ends")
        rows = csv_rows(self.journal)
        self.assertEqual(rows[0], COLUMNS)
        self.assertEqual(len(rows), 4)
        for i, row in enumerate(rows[1:]):
            self.assertEqual(row[1:8], ["fault read", 'порт;"1"', '0 470 "506"; 917', "PU4471  0218",
                                        "Оригинальный;№ 4B1907401S", "VR1708512 3470", f"53:{i}"])
            self.assertEqual(row[8:], ["no", str(i)])
            self.assertRegex(row[0], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$")

    def test_two_writers_at_once_keep_every_line_whole(self):
        count = 400
        writers = [self.append(count, tag) for tag in ("first", "second")]
        self.assertEqual([w.wait(LIMIT) for w in writers], [0, 0])
        rows = csv_rows(self.journal)
        self.assertEqual(rows[0], COLUMNS, "one header, written by whichever came first")
        self.assertTrue(all(len(row) == len(COLUMNS) for row in rows), "no line mixed with another")
        seen = sorted((row[2], int(row[9])) for row in rows[1:])
        self.assertEqual(seen, sorted((tag, i) for tag in ("first", "second") for i in range(count)))

    def test_a_cut_last_line_is_read_and_the_next_record_starts_a_line(self):
        # Where the power went: in the middle of a plain field, and inside a quoted one.
        for where in ("plain", "quoted"):
            with self.subTest(where=where):
                if os.path.exists(self.journal):
                    os.remove(self.journal)
                self.assertEqual(self.append(3, "before").wait(LIMIT), 0)
                with open(self.journal, "rb") as f:
                    raw = f.read()
                last = raw.rindex(b"\n", 0, len(raw) - 1) + 1
                cut = len(raw) - 4 if where == "plain" else raw.index("\"Ориг".encode(), last) + 3
                with open(self.journal, "r+b") as f:
                    f.truncate(cut)
                self.assertEqual(self.append(1, "after").wait(LIMIT), 0)
                rows = csv_rows(self.journal)
                self.assertEqual(len(rows), 5)
                self.assertLess(len(rows[3]), len(COLUMNS), "the cut record stays short")
                self.assertEqual(rows[4][2], "after")
                self.assertEqual(len(rows[4]), len(COLUMNS))
                listed = self.journal_json()
                self.assertEqual([e["cut"] for e in listed], [False, False, True, False])
                self.assertEqual(listed[3]["port"], "after")

    def test_journal_lists_one_pump_by_serial_and_from_a_day(self):
        for tag, serial in (("a", "VR1708512 3470"), ("b", "VR2000001 1111")):
            self.assertEqual(self.append(2, tag, serial).wait(LIMIT), 0)
        for args, ports in ((["--serial", "VR1708512"], ["a", "a"]), (["--serial", "vr1708512 3470"], ["a", "a"]),
                            (["--serial", "VR2000001"], ["b", "b"]), (["--serial", "VR17"], []),
                            (["--since", "2000-01-01"], ["a", "a", "b", "b"]), (["--since", "2999-01-01"], [])):
            with self.subTest(args=args):
                self.assertEqual([e["port"] for e in self.journal_json(*args)], ports)
        text = run([CLI, "journal", "--serial", "VR2000001"], self.env).stdout.decode()
        self.assertEqual(text.count("VR2000001 1111"), 2)
        self.assertNotIn("VR1708512", text)

    def test_a_journal_that_cannot_be_written_gives_one_message_and_the_diagnosis_goes_on(self):
        # The data folder is a file: the journal's folder cannot be made.
        with open(os.path.join(self.root, "blocked"), "w"):
            pass
        env = dict(self.env, XDG_DATA_HOME=os.path.join(self.root, "blocked"))
        for _ in range(3):
            done = run([CLI, "diagnose", "--port", "SIM", "--read-faults"], env, cwd=self.work, check=False)
            if done.returncode != 4:
                break
        self.assertEqual(done.returncode, 0, done.stderr.decode(errors="replace"))
        err = done.stderr.decode()
        self.assertEqual(err.count("cannot be written"), 1, err)
        self.assertIn(os.path.join(self.root, "blocked", "pumpdiag"), err)
        self.assertIn("53  error counter 2", done.stdout.decode())


class ReportReader(html.parser.HTMLParser):
    """The text of every element with an id, and the cells of each fault row."""

    def __init__(self):
        super().__init__()
        self.by_id, self.faults, self.open, self.row, self.tags = {}, {}, [], None, []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.tags.append(tag)
        if "data-code" in attrs:
            self.row = self.faults.setdefault(attrs["data-code"], [])
        if tag == "td" and self.row is not None:
            self.row.append("")
        self.open.append(attrs.get("id"))
        if attrs.get("id"):
            self.by_id[attrs["id"]] = ""

    def handle_endtag(self, tag):
        if tag == "tr":
            self.row = None
        self.open.pop()

    def handle_data(self, data):
        for name in self.open:
            if name:
                self.by_id[name] += data
        if self.row is not None and self.row:
            self.row[-1] += data


def help_paragraph(code):
    """The fault's help text as the report should quote it: its heading, then its first paragraph."""
    with open(os.path.join(DATA, f"{code}.txt"), encoding="cp1251") as f:
        paragraphs = [" ".join(line.strip() for line in block.splitlines() if line.strip())
                      for block in re.split(r"\r?\n\s*\r?\n", f.read())]
    return f"{paragraphs[0]} — {paragraphs[1]}"


class Report(Folder):
    def diagnose(self, *args):
        report = os.path.join(self.root, "report.html")
        # On a loaded machine the simulated line may stall (exit code 4): tried again, as a technician would.
        for _ in range(3):
            done = run([CLI, "diagnose", "--port", "SIM", "--read-faults", "--json", "--report", report, *args],
                       self.env, cwd=self.work, check=False)
            if done.returncode != 4:
                break
        self.assertEqual(done.returncode, 0, done.stderr.decode(errors="replace"))
        reader = ReportReader()
        with open(report, encoding="utf-8") as f:
            page = f.read()
        reader.feed(page)
        return json.loads(done.stdout), reader, page, report

    def pages(self, html_file):
        pdf = os.path.join(self.root, "out.pdf")
        profile = tempfile.mkdtemp(dir=self.root)
        run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run", f"--user-data-dir={profile}",
             f"--print-to-pdf={pdf}", html_file], self.env)
        info = run(["pdfinfo", pdf], self.env).stdout.decode()
        text = run(["pdftotext", "-layout", pdf, "-"], self.env).stdout.decode()
        return int(re.search(r"^Pages:\s+(\d+)", info, re.M).group(1)), text

    def check_common(self, found, reader, page):
        self.assertNotRegex(page, r"<(link|script|img)\b|url\(", "nothing outside the file")
        for key, value in found["identification"].items():
            self.assertEqual(reader.by_id[f"ident-{key}"], value, key)
        self.assertEqual(reader.by_id["port"], "SIM")
        version = run([CLI, "--version"], self.env).stdout.decode().split()[-1]
        self.assertEqual(reader.by_id["version"], version)
        self.assertRegex(reader.by_id["date"], r"^\d\d\.\d\d\.\d{4} \d\d:\d\d \(UTC[+-]\d\d:\d\d\)$")
        faults = {f["code"]: [f["code"], str(f["counter"]), help_paragraph(f["code"])] for f in found["faults"]}
        self.assertEqual(reader.faults, faults)
        self.assertEqual(sorted(faults), ["53", "5A"], "the simulated pump's faults")

    def test_report_of_a_fault_read_holds_the_pumps_fields(self):
        os.makedirs(os.path.join(self.root, "data", "pumpdiag"))
        with open(os.path.join(self.root, "data", "pumpdiag", "report.ini"), "w", encoding="utf-8") as f:
            f.write("workshop=Мастерская «Дизель» & сыновья\n")
        found, reader, page, report = self.diagnose()
        self.check_common(found, reader, page)
        self.assertEqual(reader.by_id["workshop"], "Мастерская «Дизель» & сыновья")
        self.assertNotIn("after-erase", reader.by_id)
        self.assertIn("not erased", reader.by_id["erase"])
        pages, text = self.pages(report)
        self.assertEqual(pages, 1)
        self.assertIn("Мастерская «Дизель» & сыновья", text, "Cyrillic printed as it is")

    def test_report_after_an_erase_holds_the_erase_and_what_was_read_before(self):
        found, reader, page, report = self.diagnose("--clear-faults", "--yes")
        self.assertTrue(found["cleared"])
        self.check_common(found, reader, page)
        self.assertRegex(reader.by_id["erase"], r"erased at \d\d\.\d\d\.\d{4} \d\d:\d\d \(UTC")
        self.assertEqual(reader.by_id["after-erase"], "No faults stored.")
        self.assertEqual(self.pages(report)[0], 1)
        events = [row[1] for row in csv_rows(self.journal)[1:]]
        self.assertEqual(events[-4:], ["identification", "fault read", "erase", "fault read"])

    def test_the_fullest_report_still_prints_on_one_page(self):
        os.makedirs(os.path.join(self.root, "data", "pumpdiag"))
        with open(os.path.join(self.root, "data", "pumpdiag", "report.ini"), "w", encoding="cp1251") as f:
            f.write("workshop=" + "Мастерская " * 40 + "\n")
        report = os.path.join(self.root, "full.html")
        # Russian: the longer texts.
        run([TOOL, "report", report, "15", "erased"], dict(self.env, LANG="ru_RU.UTF-8", LC_ALL=""))
        reader = ReportReader()
        with open(report, encoding="utf-8") as f:
            page = f.read()
        reader.feed(page)
        self.assertEqual(len(reader.faults), 15)
        self.assertEqual(page.count("<tr data-code="), 30, "and the 15 again after the erase")
        self.assertIn("<h1>Отчёт о диагностике насоса</h1>", page)
        self.assertTrue(reader.by_id["workshop"].startswith("Мастерская Мастерская"), "Windows-1251 settings read")
        self.assertEqual(self.pages(report)[0], 1)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
