#!/usr/bin/env python3
"""Checks that every text of the editor has a finished translation in a .ts file.

Usage: check_translations.py LUPDATE TS_FILE INCLUDE_DIR SOURCE_DIR...

Runs lupdate over the sources into a temporary copy of TS_FILE, so that the copy lists exactly the
texts the code shows now, and fails when a text has no finished translation (new in the code or
marked unfinished), when a translation is kept for a text the code no longer has, or when a
translation loses a placeholder (%1, %n) or the keyboard accelerator (&) of its source. Includes
are found from INCLUDE_DIR, so that a class's texts take the context, namespace included, in which
the program looks them up.
"""

import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

PLACEHOLDER = re.compile(r"%(?:L?[1-9][0-9]?|n)")
ACCELERATOR = re.compile(r"&(?=[^&\s])")


def placeholders(text):
    return sorted(set(PLACEHOLDER.findall(text)))


def problems_of(message):
    source = message.findtext("source") or ""
    translation = message.find("translation")
    kind = translation.get("type", "") if translation is not None else "missing"
    if kind in ("vanished", "obsolete"):
        return ["translated, but no longer in the code"]
    if kind == "unfinished" or translation is None:
        return ["no finished translation"]
    forms = [f.text or "" for f in translation.findall("numerusform")]
    if message.get("numerus") == "yes":
        texts = forms
    else:
        texts = [translation.text or ""]
    found = []
    for text in texts:
        if not text.strip():
            found.append("an empty translation")
            continue
        wanted = [p for p in placeholders(source) if not (forms and p == "%n")]
        missing = [p for p in wanted if p not in text]
        if missing:
            found.append("the translation lacks " + ", ".join(missing))
        extra = [p for p in placeholders(text) if p not in placeholders(source)]
        if extra:
            found.append("the translation adds " + ", ".join(extra))
        if ACCELERATOR.search(source) and not ACCELERATOR.search(text):
            found.append("the translation lacks the accelerator (&)")
    return found


def main(argv):
    if len(argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    lupdate, ts_file, include, sources = argv[1], Path(argv[2]), argv[3], argv[4:]
    with tempfile.TemporaryDirectory() as folder:
        copy = Path(folder) / ts_file.name
        shutil.copyfile(ts_file, copy)
        run = subprocess.run(
            [lupdate, "-silent", "-extensions", "cpp,h", "-locations", "none", "-I", include,
             *sources, "-ts", str(copy)], capture_output=True, text=True)
        if run.returncode != 0:
            print(run.stdout + run.stderr, file=sys.stderr)
            print(f"{sys.argv[0]}: lupdate failed", file=sys.stderr)
            return 1
        root = ET.parse(copy).getroot()
    count = 0
    failures = []
    for context in root.iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            count += 1
            for problem in problems_of(message):
                failures.append(f"{ts_file.name}: {name}: \"{message.findtext('source')}\": "
                                f"{problem}")
    for failure in failures:
        print(failure)
    if count == 0:
        print(f"{ts_file.name}: lupdate found no texts in {' '.join(sources)}")
        return 1
    if failures:
        print(f"{len(failures)} of {count} texts are not translated as they should be; bring "
              f"{ts_file.name} up to date (cmake --build BUILD --target update_translations) "
              "and translate them")
        return 1
    print(f"{ts_file.name}: all {count} texts translated")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
