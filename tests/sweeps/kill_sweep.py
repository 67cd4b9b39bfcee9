#!/usr/bin/env python3
"""Every writer killed, or failed, at every system call on the files it owns.

For each command that writes, the sweep runs it once under strace to count, per system call
and per thread (as strace counts for its injections), the calls on its own files; then for
every N up to that count it runs the command again, killed (or failed) at the N-th call, runs
what an operator would run next, and checks the invariants of that command.

    kill_sweep.py --build BUILD_DIR [--case NAME]... [--except NAME]... [--every K]
                  [--errors | --all-errors] [--jobs J] [--work DIR]

--every K tries every K-th point only (the short run of the test suite). --jobs J runs J
points at once (2). Exit status 0 when
every point held, 1 when any failed (each named with its N and system call)."""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fixtures  # noqa: E402
import invariants as inv  # noqa: E402

SYSCALLS = ['write', 'writev', 'pwrite64', 'rename', 'renameat2', 'unlink', 'fsync',
            'fdatasync', 'ftruncate', 'openat']
ERRORS = ['ENOSPC', 'EIO', 'EACCES']
GUARD = 120  # seconds: a hang, never a bound on speed


def run(argv, stdin=b'', env=None, cwd=None):
    """Runs a command to its end with a guard against a hang; (status, stdout+stderr)."""
    # A group of its own: a hung program is ended with strace, not left behind it.
    p = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, env=env, cwd=cwd, start_new_session=True)
    try:
        out, _ = p.communicate(stdin, timeout=GUARD)
        return p.returncode, out
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        out, _ = p.communicate()
        return 'hang', out or b''


def strace_prefix(case, folder, extra):
    argv = ['strace', '-f', '-qq', '-e', 'trace=' + ','.join(SYSCALLS)]
    for path in case.owned(folder):
        argv += ['-P', path]
    return argv + extra + ['--']


def count_points(case, folder):
    """{syscall: the most calls one thread made on the command's files}."""
    log = os.path.join(folder, '..', case.name + '.strace')
    argv, stdin, env = case.command(folder)
    status, out = run(strace_prefix(case, folder, ['-o', log]) + argv, stdin, env)
    if status != 0:
        raise RuntimeError(f'{case.name}: the run to count failed ({status}): {out[-400:]!r}')
    counts = {}
    with open(log, encoding='utf-8', errors='replace') as f:
        for line in f:
            parts = line.split(None, 1)
            if len(parts) < 2:
                continue
            tid, rest = parts
            call = rest.split('(', 1)[0]
            if call in SYSCALLS and 'resumed>' not in rest[:len(call) + 12]:
                counts[(tid, call)] = counts.get((tid, call), 0) + 1
    os.unlink(log)
    most = {}
    for (_, call), n in counts.items():
        most[call] = max(most.get(call, 0), n)
    return most


def fresh(case, folder):
    if os.path.exists(folder):
        shutil.rmtree(folder)
    os.makedirs(folder)
    case.setup(folder)


def try_point(case, folder, call, n, fault, error):
    """One run killed or failed at the n-th call, then the next run: the failures found."""
    fresh(case, folder)
    argv, stdin, env = case.command(folder)
    inject = ['-e', f'inject={call}:{fault}:when={n}', '-o', '/dev/null']
    status, out = run(strace_prefix(case, folder, inject) + argv, stdin, env)
    where = f'{case.name}: {call} #{n} {fault}'
    if status == 'hang':
        return [where + ': завис']
    found = (case.after_kill(folder, status) if error is None
             else case.after_error(folder, status, out, error))
    found += case.after_next(folder)
    return [f'{where}: {f}' for f in dict.fromkeys(found)]


def sweep_case(slots, work, every, errors):
    """slots: one instance of the same writer per worker, each in a folder of its own (what a
    writer learns holds its folder's path)."""
    name = slots[0].name
    folders = [os.path.join(work, name, f'w{i}') for i in range(len(slots))]
    started = time.monotonic()
    for case, folder in zip(slots, folders):
        fresh(case, folder)
        case.learn(folder)  # the old and the new states, from a clean run
    fresh(slots[0], folders[0])
    points = count_points(slots[0], folders[0])
    total = sum(points.values())
    plan = []
    for call in SYSCALLS:
        for n in range(1, points.get(call, 0) + 1):
            if every > 1 and (n - 1) % every != 0 and n != points[call]:
                continue
            plan.append((call, n, 'signal=KILL', None))
            # A writer takes every failed call the same way, whatever its error: each point
            # fails with one of them, in turn, so each call fails with each (--all-errors:
            # every point with all three).
            kinds = ERRORS if errors == 'all' else [ERRORS[(n - 1) % len(ERRORS)]] \
                if errors else []
            plan += [(call, n, f'error={e}', e) for e in kinds]
    results = [None] * len(plan)

    def worker(w):
        for i in range(w, len(plan), len(slots)):
            try:
                results[i] = try_point(slots[w], folders[w], *plan[i])
            except Exception as e:  # a point the sweep could not try is a failure too
                results[i] = [f'{name}: {plan[i][0]} #{plan[i][1]} {plan[i][2]}: {e!r}']

    threads = [threading.Thread(target=worker, args=(w,)) for w in range(len(slots))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    failures = [f for found in results for f in found]
    took = time.monotonic() - started
    return total, len(plan), failures, took


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--build', required=True, help='the build folder (build/default)')
    parser.add_argument('--case', action='append', help='only this writer (repeatable)')
    parser.add_argument('--except', dest='skip', action='append', default=[],
                        help='every writer but this one (repeatable)')
    parser.add_argument('--every', type=int, default=1, help='every K-th point only')
    parser.add_argument('--errors', action='store_true',
                        help='also fail each call, with ENOSPC, EIO and EACCES in turn')
    parser.add_argument('--all-errors', action='store_true',
                        help='also fail each call with each of the three')
    parser.add_argument('--work', help='the folder to work in (a new temporary one)')
    parser.add_argument('--list', action='store_true', help='name the writers and stop')
    parser.add_argument('--jobs', type=int, default=2, help='points run at once (2)')
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    cases = fixtures.writers(build)
    # Each worker has its own instance of every writer.
    slots = list(zip(*[fixtures.writers(build) for _ in range(max(1, args.jobs))]))
    if args.list:
        for case in cases:
            print(case.name)
        return 0
    if args.case:
        unknown = set(args.case) - {c.name for c in cases}
        if unknown:
            print('неизвестные случаи:', ', '.join(sorted(unknown)), file=sys.stderr)
            return 2
        slots = [s for s in slots if s[0].name in args.case]
    slots = [s for s in slots if s[0].name not in args.skip]
    work = args.work or tempfile.mkdtemp(prefix='kill-sweep-')
    all_failures = []
    for group in slots:
        total, tried, failures, took = sweep_case(group, work, args.every,
                                                  'all' if args.all_errors else args.errors)
        print(f'{group[0].name}: {total} points, {tried} runs, {len(failures)} failed, {took:.0f} s',
              flush=True)
        for f in failures[:20]:
            print('   ', f, flush=True)
        if len(failures) > 20:
            print(f'    ... and {len(failures) - 20} more', flush=True)
        all_failures += failures
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)
    print(f"sweep: {len(slots) - len({f.split(':')[0] for f in all_failures})} writers held, "
          f"{len({f.split(':')[0] for f in all_failures})} did not")
    return 1 if all_failures else 0


if __name__ == '__main__':
    sys.exit(main())
