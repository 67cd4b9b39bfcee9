#!/usr/bin/env python3
"""ringlist import at the size of a city, beside a plain Python csv read of the same file.

Generates a billing export of N rows (Windows-1251, ";", quoted names, decimal commas, about
57 bytes a row), then runs, each in its own process so that its peak memory is its own:
  - python3: csv.reader over the file, every row read (the yardstick);
  - ringlist import FILE LIST --number 2 --amount 3 --header;
  - ringlist check LIST --duplicates.
Prints the wall time and peak memory of each and the ratios the goals are stated in:
import memory / file size (goal <= 3), import time / Python time (goal <= 2), check time
(goal <= 1 s on 1,000,000 records).

    bench/import_bench.py [--rows N] [--ringlist PATH] [--dir DIR]
"""

import argparse
import os
import random
import resource
import subprocess
import sys
import tempfile
import time

PYTHON_READ = (
    "import csv, sys\n"
    "n = 0\n"
    "with open(sys.argv[1], encoding='cp1251', newline='') as f:\n"
    "    for row in csv.reader(f, delimiter=';'):\n"
    "        n += 1\n"
    "print(n)\n"
)

SURNAMES = ["Иванов", "Петров", "Сидоров", "Кузнецов", "Смирнов", "Попов", "Васильев"]


def generate(path, rows):
    rng = random.Random(20261210)
    numbers = rng.sample(range(1000000, 9999999), rows)
    with open(path, "w", encoding="cp1251", newline="") as f:
        f.write("Абонент;Телефон;Долг;Лицевой счет\r\n")
        for i, number in enumerate(numbers):
            name = "%s, %s %d" % (rng.choice(SURNAMES), "И.", i % 1000)
            amount = "%d,%02d" % (rng.randrange(0, 99999), rng.randrange(0, 100))
            f.write('"%s";%d;%s;%010d\r\n' % (name, number, amount, i))


def measured(args):
    """Wall seconds, processor seconds (user and system) and peak resident kilobytes of args,
    run under a wrapper process of its own so that its peak memory is its own. On a busy
    machine the wall time waits for the processor; the processor time does not."""
    wrapper = (
        "import resource, subprocess, sys, time\n"
        "s = time.monotonic()\n"
        "r = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)\n"
        "t = time.monotonic() - s\n"
        "if r.returncode != 0:\n"
        "    sys.stderr.write(r.stderr.decode()); sys.exit(r.returncode)\n"
        "u = resource.getrusage(resource.RUSAGE_CHILDREN)\n"
        "print(t, u.ru_utime + u.ru_stime, u.ru_maxrss)\n"
    )
    out = subprocess.run([sys.executable, "-c", wrapper] + args, capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit("%s failed: %s" % (" ".join(args), out.stderr))
    seconds, cpu, kilobytes = out.stdout.split()
    return float(seconds), float(cpu), int(kilobytes)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=1000000)
    parser.add_argument("--ringlist",
                        default=os.path.join(here, "..", "build", "default", "tools", "ringlist",
                                             "ringlist"))
    parser.add_argument("--dir", default=None)
    o = parser.parse_args()
    folder = o.dir or tempfile.mkdtemp(prefix="import_bench.")
    os.makedirs(folder, exist_ok=True)
    bill = os.path.join(folder, "billing.csv")
    ring = os.path.join(folder, "Ring.TXT")
    for stale in (ring, ring + ".rejects.csv"):
        if os.path.exists(stale):
            os.remove(stale)
    generate(bill, o.rows)
    size = os.path.getsize(bill)
    print("file: %d rows, %.1f MB (cp1251, ';')" % (o.rows, size / 1e6))

    py_s, py_cpu, py_kb = measured([sys.executable, "-c", PYTHON_READ, bill])
    im_s, im_cpu, im_kb = measured([o.ringlist, "import", bill, ring, "--header", "--number",
                                    "2", "--amount", "3"])
    ck_s, ck_cpu, ck_kb = measured([o.ringlist, "check", ring, "--duplicates"])

    print("                    wall s   cpu s   peak MB")
    for name, wall, cpu, kb in (("python csv read", py_s, py_cpu, py_kb),
                                ("ringlist import", im_s, im_cpu, im_kb),
                                ("check --duplicates", ck_s, ck_cpu, ck_kb)):
        print("%-18s %8.2f %7.2f %9.1f" % (name, wall, cpu, kb / 1024))
    print("import memory / file size: %.2f (goal <= 3)" % (im_kb * 1024 / size))
    print("import time / python time: %.2f wall, %.2f cpu (goal <= 2)"
          % (im_s / py_s, im_cpu / py_cpu))
    print("check time: %.2f s wall, %.2f s cpu (goal <= 1 s on 1,000,000 records)"
          % (ck_s, ck_cpu))

if __name__ == "__main__":
    main()
