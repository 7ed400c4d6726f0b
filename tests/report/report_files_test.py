#!/usr/bin/env python3
"""The journal and the report as other programs read them: the journal through
Python's csv module (the separator ';', UTF-8 with a byte-order mark) and
LibreOffice's import with a Russian locale (where installed), the
report through html.parser, and printed to PDF by headless Chromium, its pages
counted by pdfinfo. Diagnoses run against the simulated pump (SIM).
Usage: report_files_test.py PUMPDIAG_CLI JOURNAL_TOOL DATA_DIR"""
import csv
import html
import html.parser
import io
import json
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

CLI, TOOL, DATA = sys.argv[1:4]
COLUMNS = ["date", "time_of_day", "zone", "event", "port", "bosch_number", "id_number", "original_number",
           "serial_number", "faults", "erased", "version"]
# The texts end in a word joiner, which keeps them text in any spreadsheet.
MARK = "\u2060"
TEXTS = {"port", "bosch_number", "id_number", "original_number", "serial_number", "faults", "version"}
LIMIT = 300  # seconds for any one program: generous, CI may be busy


# A mount namespace of the test's own, for a small file system to fill up.
# Root's keeps root's right to raise the line threads, without which a
# diagnosis on a busy machine may lose its link; anyone else's is a user
# namespace too.
MOUNT_NAMESPACE = ["unshare", "-m"] if os.geteuid() == 0 else ["unshare", "-Urm"]


def run(args, env, cwd=None, check=True):
    done = subprocess.run(args, env=env, cwd=cwd, capture_output=True, timeout=LIMIT)
    if check and done.returncode != 0:
        raise AssertionError(f"{args} ended with {done.returncode}: {done.stderr.decode(errors='replace')}")
    return done


def csv_rows(path, delimiter=";"):
    with open(path, encoding="utf-8-sig", newline="") as f:
        return list(csv.reader(f, delimiter=delimiter, strict=True))


def records(path, delimiter=";"):
    """The journal's records by column name, the texts' mark taken off."""
    rows = csv_rows(path, delimiter)
    return [{c: v[:-1] if c in TEXTS and v.endswith(MARK) else v for c, v in zip(rows[0], row)} for row in rows[1:]]


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
        self.assertTrue(all(v.endswith(MARK) for row in rows[1:] for c, v in zip(COLUMNS, row) if c in TEXTS))
        for i, r in enumerate(records(self.journal)):
            self.assertEqual([r[c] for c in COLUMNS[3:]],
                             ["fault read", 'порт;"1"', '0 470 "506"; 917', "PU4471  0218",
                              "Оригинальный;№ 4B1907401S", "VR1708512 3470", f"53:{i}", "no", str(i)])
            self.assertRegex(r["date"], r"^\d{4}-\d\d-\d\d$")
            self.assertRegex(r["time_of_day"], r"^\d\d:\d\d:\d\d$")
            self.assertRegex(r["zone"], r"^UTC[+-]\d\d:\d\d$")

    def test_two_writers_at_once_keep_every_line_whole(self):
        count = 400
        writers = [self.append(count, tag) for tag in ("first", "second")]
        self.assertEqual([w.wait(LIMIT) for w in writers], [0, 0])
        rows = csv_rows(self.journal)
        self.assertEqual(rows[0], COLUMNS, "one header, written by whichever came first")
        self.assertTrue(all(len(row) == len(COLUMNS) for row in rows), "no line mixed with another")
        seen = sorted((r["port"], int(r["version"])) for r in records(self.journal))
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
                # Plain: the power went in the middle of the erase column's "no".
                cut = len(raw) - 8 if where == "plain" else raw.index("\"Ориг".encode(), last) + 3
                with open(self.journal, "r+b") as f:
                    f.truncate(cut)
                self.assertEqual(self.append(1, "after").wait(LIMIT), 0)
                rows = csv_rows(self.journal)
                self.assertEqual(len(rows), 5)
                self.assertLess(len(rows[3]), len(COLUMNS), "the cut record stays short")
                self.assertEqual(records(self.journal)[3]["port"], "after")
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

    def diagnose(self, env):
        # On a loaded machine the simulated line may stall (exit code 4): tried again, as a technician would.
        for _ in range(3):
            done = run([CLI, "diagnose", "--port", "SIM", "--read-faults"], env, cwd=self.work, check=False)
            if done.returncode != 4:
                return done
        return done

    def check_kept_then_written(self, first, second):
        """The first run could not write its records: one message, exit code 6, the diagnosis done all the same.
        The second could, and wrote them before its own."""
        err = first.stderr.decode()
        self.assertEqual(first.returncode, 6, err)
        self.assertEqual(err.count("cannot be written"), 1, err)
        self.assertIn("are kept in", err)
        self.assertIn("53  error counter 2", first.stdout.decode())
        self.assertEqual(second.returncode, 0, second.stderr.decode())
        self.assertIn("the records kept meanwhile", second.stderr.decode())
        listed = self.journal_json()
        self.assertEqual([e["event"] for e in listed][-2:], ["identification", "fault read"])
        self.assertEqual([e["event"] for e in listed].count("fault read"), 2, listed)
        self.assertEqual([e["time"] for e in listed], sorted(e["time"] for e in listed), "in order")

    def test_a_journal_that_cannot_be_written_keeps_its_records_for_the_next_run(self):
        # The data folder is a file: the journal's folder cannot be made, and the records go to the state folder.
        blocked = os.path.join(self.root, "data")
        with open(blocked, "w"):
            pass
        first = self.diagnose(self.env)
        self.assertIn(os.path.join(blocked, "pumpdiag"), first.stderr.decode())
        os.remove(blocked)
        self.check_kept_then_written(first, self.diagnose(self.env))

    def test_a_full_disk_keeps_the_records_until_there_is_room(self):
        # The journal's folder on a file system of its own, filled up, in a mount namespace of the test's own.
        if subprocess.run([*MOUNT_NAMESPACE, "true"], capture_output=True).returncode != 0:
            self.skipTest("no mount namespace here")
        data = os.path.join(self.root, "data")
        os.makedirs(data)
        script = """
            mount -t tmpfs -o size=64k none "$DATA" && mkdir "$DATA/pumpdiag" || exit 99
            dd if=/dev/zero of="$DATA/filler" bs=4096 2>/dev/null
            for step in first second; do
              for try in 1 2 3; do
                "$CLI" diagnose --port SIM --read-faults >"$ROOT/$step.out" 2>"$ROOT/$step.err"
                code=$?; [ $code -ne 4 ] && break
              done
              echo $code >"$ROOT/$step.code"
              rm -f "$DATA/filler"
            done
            cp "$DATA/pumpdiag/journal.csv" "$ROOT/journal.csv"
            """
        env = dict(self.env, DATA=data, ROOT=self.root, CLI=CLI)
        done = subprocess.run([*MOUNT_NAMESPACE, "sh", "-c", script], env=env, cwd=self.work, capture_output=True,
                              timeout=3 * LIMIT)
        self.assertEqual(done.returncode, 0, done.stderr.decode(errors="replace"))

        def ended(step):
            with open(os.path.join(self.root, step + ".code")) as code, \
                    open(os.path.join(self.root, step + ".out"), "rb") as out, \
                    open(os.path.join(self.root, step + ".err"), "rb") as err:
                return subprocess.CompletedProcess([], int(code.read()), out.read(), err.read())
        self.assertIn("No space left on device", ended("first").stderr.decode())
        os.makedirs(os.path.dirname(self.journal))
        shutil.copy(os.path.join(self.root, "journal.csv"), self.journal)
        self.check_kept_then_written(ended("first"), ended("second"))

    def test_a_journal_saved_back_by_a_spreadsheet_is_read_and_appended(self):
        office = shutil.which("libreoffice") or shutil.which("soffice")
        if not office:
            self.skipTest("no LibreOffice here")
        self.assertEqual(self.append(2, "=2+5", "+1+1 VR2000001").wait(LIMIT), 0)
        self.assertEqual(self.append(1, "'apostrophe").wait(LIMIT), 0)
        before = self.journal_json()
        # Russian locale, special numbers detected, formulas evaluated: what the user's spreadsheet may do.
        import_options = "CSV:59,34,76,1,,1049,false,true,false,false,false,-1,true"
        out = os.path.join(self.root, "office")

        def convert(to):
            run([office, f"-env:UserInstallation=file://{self.root}/office-profile", "--headless",
                 f"--infilter={import_options}", "--convert-to", to, "--outdir", out, self.journal], self.env)
        convert("fods")
        cells = imported_cells(os.path.join(out, "journal.fods"))
        self.assertEqual([c[0] for c in cells[0]], COLUMNS)
        for row in cells[1:]:
            kinds = dict(zip(COLUMNS, (kind for _, kind, _ in row)))
            self.assertEqual((kinds.pop("date"), kinds.pop("time_of_day")), ("date", "time"))
            self.assertEqual(set(kinds.values()), {"string"}, "no number, date or formula among the texts")
            self.assertFalse(any(formula for _, _, formula in row))
        self.assertIn("0 470 \"506\"; 917" + MARK, [text for text, _, _ in cells[1]])
        # Saved back as the spreadsheet's own CSV: commas, no byte-order mark, LF.
        convert("csv:Text - txt - csv (StarCalc):44,34,76,1")
        shutil.copy(os.path.join(out, "journal.csv"), self.journal)
        self.assertEqual(self.journal_json(), before)
        self.assertEqual(self.append(1, "after").wait(LIMIT), 0)
        # On disk as neutralised: an apostrophe before a formula's start and before one of the pump's own.
        self.assertEqual([r["port"] for r in records(self.journal, ",")], ["'=2+5", "'=2+5", "''apostrophe", "after"])
        self.assertEqual([e["port"] for e in self.journal_json("--serial", "VR1708512")], ["'apostrophe", "after"])
        self.assertEqual([e["port"] for e in self.journal_json("--serial", "+1+1")], ["=2+5", "=2+5"])


def imported_cells(fods):
    """Each row's cells as LibreOffice holds them: text, value type and formula."""
    ns = {"table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
          "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0"}
    rows = []
    for row in ElementTree.parse(fods).iter(f"{{{ns['table']}}}table-row"):
        cells = [("".join(c.itertext()).strip(), c.get(f"{{{ns['office']}}}value-type"),
                  c.get(f"{{{ns['table']}}}formula")) for c in row.findall("table:table-cell", ns)]
        if cells and cells[0][0]:
            rows.append(cells[:len(COLUMNS)])
    return rows


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

    def pages(self, html_file, png=None):
        """The report printed to PDF: its page count and text; with `png`, its first page as a picture there."""
        pdf = os.path.join(self.root, "out.pdf")
        profile = tempfile.mkdtemp(dir=self.root)
        run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run", f"--user-data-dir={profile}",
             f"--print-to-pdf={pdf}", html_file], self.env)
        info = run(["pdfinfo", pdf], self.env).stdout.decode()
        text = run(["pdftotext", "-layout", pdf, "-"], self.env).stdout.decode()
        if png:
            run(["pdftoppm", "-png", "-r", "60", "-singlefile", pdf, png[:-len(".png")]], self.env)
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
        events = [r["event"] for r in records(self.journal)]
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

    def test_long_words_break_and_print_whole_on_one_page(self):
        original, workshop = "4B1907401S" * 25, "Дизельсервис" * 10
        os.makedirs(os.path.join(self.root, "data", "pumpdiag"))
        with open(os.path.join(self.root, "data", "pumpdiag", "report.ini"), "w", encoding="utf-8") as f:
            f.write(f"Workshop = {workshop}\ntechnician = Иванов\n")
        report = os.path.join(self.root, "long.html")
        run([TOOL, "report", report, "2", "kept", original], self.env)
        png = os.path.join(self.root, "long.png")
        self.assertEqual(self.pages(report, png)[0], 1)
        if os.environ.get("PD_KEEP_REPORT_PNG"):
            shutil.copy(png, os.environ["PD_KEEP_REPORT_PNG"])
        # Each cell is a block of the printed text: the values are whole in theirs, not cut at the page's edge.
        layout = run(["pdftotext", "-bbox-layout", os.path.join(self.root, "out.pdf"), "-"], self.env).stdout.decode()
        blocks = ["".join(html.unescape(w) for w in re.findall(r"<word[^>]*>(.*?)</word>", block))
                  for block in re.findall(r"<block.*?</block>", layout, re.S)]
        self.assertIn(original, blocks)
        self.assertIn(workshop, blocks)
        self.assertIn("Technician:Иванов", blocks)
        # Not shrunk to fit a wide page: the title keeps its 16 points.
        title = max(float(bottom) - float(top) for top, bottom in
                    re.findall(r'<word xMin="[\d.]+" yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)">Pump</word>', layout))
        self.assertGreater(title, 16)

# Runs the rest of the command line, then names on standard error what its
# folder's reports/ holds (seen from inside a mount namespace, which ends with it).
RUN_AND_LIST = '"$@"; code=$?; echo "left: $(ls -A "$0/reports")" >&2; exit $code'
# The report's folder on a file system of 4 KiB filled up, in a mount
# namespace of the test's own.
FULL_DISK = [*MOUNT_NAMESPACE, "sh", "-c", 'mount -t tmpfs -o size=4k none "$0" && mkdir "$0/reports" && '
             '{ head -c 8192 /dev/zero > "$0/fill"; } 2>/dev/null; ' + RUN_AND_LIST]
# Writes beyond 1 KiB fail as on a full disk, root's included.
SIZE_LIMIT = ["sh", "-c", 'mkdir "$0/reports"; ' + RUN_AND_LIST]


def small_file_limit():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (1024, resource.getrlimit(resource.RLIMIT_FSIZE)[1]))


class ReportNotWritten(Folder):
    def test_a_report_that_cannot_be_written_leaves_no_file(self):
        has_namespaces = subprocess.run([*MOUNT_NAMESPACE, "true"], capture_output=True).returncode == 0
        for way, wrapper, limit in (("full file system", FULL_DISK, None), ("file size limit", SIZE_LIMIT, small_file_limit)):
            with self.subTest(way=way):
                if wrapper is FULL_DISK and not has_namespaces:
                    self.skipTest("no mount namespace here")
                for _ in range(3):
                    # A folder of its own each time: a stalled link's report of the identification alone is smaller.
                    folder = tempfile.mkdtemp(dir=self.root)
                    args = [*wrapper, folder, CLI, "diagnose", "--port", "SIM", "--read-faults", "--report",
                            os.path.join(folder, "reports", "report.html")]
                    done = subprocess.run(args, env=self.env, cwd=self.work, capture_output=True, timeout=LIMIT,
                                          preexec_fn=limit)
                    if done.returncode != 4:
                        break
                err = done.stderr.decode(errors="replace")
                self.assertEqual(done.returncode, 6, err)
                self.assertIn("report.html", err)
                self.assertIn("left: \n", err, "nothing left behind")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
