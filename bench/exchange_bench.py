#!/usr/bin/env python3
"""Times orva-cli's translation round trip on generated databases.

  exchange_bench.py ORVA_CLI DATA_DIR

- the import of 1,000 changed texts (one rewrite) into an 8 MiB database,
  from a whole export with 1,000 messages translated and from a file of
  those 1,000 alone, against the insertion of one text into the same database, each the median
  of several runs on a fresh copy;
- the export of a 64 MiB database to PO and to CSV: time and peak memory
  (/usr/bin/time -v).

The databases are laid out as the insertion benchmark's are: missions, the
end marker, then entries enough to make up the size, each with a 60-byte text.
"""
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import time


def database(size, missions):
    text = b"m" * 60 + b"\0"
    ids = list(range(5000, 5000 + missions)) + [6000]
    used = 8 + len(ids) * (8 + len(text))
    next_id = 7000
    while used + 8 + len(text) <= size:
        ids.append(next_id)
        next_id += 1
        used += 8 + len(text)
    table_end = 8 * (len(ids) + 1)
    table = [struct.pack("<ii", len(ids), 0x00010203)]
    for k, entry_id in enumerate(ids):
        table.append(struct.pack("<ii", entry_id, table_end + k * len(text)))
    return b"".join(table) + text * len(ids)


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def peak_kib(command):
    run = subprocess.run(["/usr/bin/time", "-v"] + command, check=True,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", run.stderr).group(1))


def median_on_copies(original, work, command, runs=7):
    times = []
    for _ in range(runs):
        shutil.copyfile(original, work)
        times.append(timed([part if part != "DB" else work for part in command]))
    return statistics.median(times), min(times), max(times)


def main():
    cli, data_dir = sys.argv[1], sys.argv[2]
    os.makedirs(data_dir, exist_ok=True)
    db8 = os.path.join(data_dir, "exchange_8MiB.def")
    db64 = os.path.join(data_dir, "exchange_64MiB.def")
    with open(db8, "wb") as f:
        f.write(database(8 << 20, 100))
    with open(db64, "wb") as f:
        f.write(database(64 << 20, 1000))

    work = os.path.join(data_dir, "exchange_work.def")
    po = os.path.join(data_dir, "exchange_8MiB.po")
    subprocess.run([cli, "export", db8, "-o", po], check=True)
    # The first 1,000 messages translated, each a byte longer than before, so
    # that every text after the first moves.
    with open(po, encoding="utf-8") as f:
        content = f.read()
    count = 0

    def translate(match):
        nonlocal count
        count += 1
        return match.group(1) + ('"' + "н" * 61 + '"' if count <= 1000 else '""')

    content = re.sub(r'(msgid "m{60}"\nmsgstr )""', translate, content)
    with open(po, "w", encoding="utf-8") as f:
        f.write(content)

    # The same 1,000 translations in a file that holds only them.
    small = os.path.join(data_dir, "exchange_1000.po")
    with open(small, "w", encoding="utf-8") as f:
        f.write("\n\n".join(m for m in content.split("\n\n") if 'msgstr "н' in m) + "\n")

    imported = median_on_copies(db8, work, [cli, "import", "DB", po])
    imported_small = median_on_copies(db8, work, [cli, "import", "DB", small])
    inserted = median_on_copies(db8, work, [cli, "insert", "DB", "Новая миссия"])
    print("8 MiB database (%d bytes):" % os.path.getsize(db8))
    print("  import of 1,000 changed texts: %.1f ms (%.1f-%.1f)" % tuple(1000 * t for t in imported))
    print("  the same from a file of those 1,000 alone: %.1f ms (%.1f-%.1f)"
          % tuple(1000 * t for t in imported_small))
    print("  insertion of one text:         %.1f ms (%.1f-%.1f)" % tuple(1000 * t for t in inserted))
    print("  ratio of the medians: %.2f, %.2f" % (imported[0] / inserted[0],
                                                 imported_small[0] / inserted[0]))
    shutil.copyfile(db8, work)
    print("  peak memory of the import: %d KiB" % peak_kib([cli, "import", work, po]))

    print("64 MiB database (%d bytes):" % os.path.getsize(db64))
    for fmt in ("po", "csv"):
        out = os.path.join(data_dir, "exchange_64MiB." + fmt)
        runs = [timed([cli, "export", "--format", fmt, db64, "-o", out]) for _ in range(3)]
        print("  export to %s: %.0f ms (median of 3), %d bytes, peak memory %d KiB"
              % (fmt.upper(), 1000 * statistics.median(runs), os.path.getsize(out),
                 peak_kib([cli, "export", "--format", fmt, db64, "-o", out])))
    for name in (work, po, small, db8, db64, out, os.path.join(data_dir, "exchange_64MiB.po")):
        if os.path.exists(name):
            os.remove(name)


if __name__ == "__main__":
    main()
