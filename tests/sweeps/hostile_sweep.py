#!/usr/bin/env python3
"""Every input replaced by something that is not the file it should be.

For each file a program or tool reads, the same command runs with that file replaced by a
FIFO, a folder, /dev/zero, a symbolic link loop, an unreadable file, an empty file, a sparse
file of 2 GB and a file of random bytes. None may crash, hang or change another file; a
refusal says why, with a non-zero status; a program that goes on ends as usual.

    hostile_sweep.py --build BUILD_DIR [--case NAME]... [--kind KIND]...

The unreadable case runs the command as nobody (setpriv), since CI runs as root."""

import argparse
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fixtures  # noqa: E402
import invariants as inv  # noqa: E402

GUARD = 120
# What a reader says of a path that is not the file it reads, in the system's own words: a
# reader that says none of them did not look at what it opened (a FIFO would have hung it, a
# folder read as empty, /dev/zero as a list of zeros).
REASONS = {
    'fifo': ('не обычный файл',),
    'dev-zero': ('не обычный файл',),
    'folder': ('это папка, а не файл', 'не обычный файл'),
    'link-loop': ('ссылки ведут по кругу',),
    'unreadable': ('нет доступа',),
}
# Inputs that are written over, not read: a FIFO in their place is replaced, not opened.
WRITTEN_OVER = ('dialrun-status',)
KINDS = ['fifo', 'folder', 'dev-zero', 'link-loop', 'unreadable', 'empty', 'sparse-2g',
         'random']


def make_hostile(path, kind):
    if os.path.lexists(path):
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path)
        else:
            os.unlink(path)
    if kind == 'fifo':
        os.mkfifo(path)
    elif kind == 'folder':
        os.mkdir(path)
    elif kind == 'dev-zero':
        os.symlink('/dev/zero', path)
    elif kind == 'link-loop':
        os.symlink(os.path.basename(path) + '.loop', path)
        os.symlink(os.path.basename(path), path + '.loop')
    elif kind == 'unreadable':
        with open(path, 'wb') as f:
            f.write(b'2345601  0001500  \r\n\r\n')
        os.chmod(path, 0o200)
    elif kind == 'empty':
        open(path, 'wb').close()
    elif kind == 'sparse-2g':
        with open(path, 'wb') as f:
            f.truncate(2 * 1024 ** 3)
    elif kind == 'random':
        with open(path, 'wb') as f:
            f.write(os.urandom(4096))


def inputs(build):
    d = fixtures.Dialrun(build)
    pin = fixtures.Station(build, 'pinread', 'K1 dtmf line\nK2 dtmf line\n')
    inf = fixtures.Station(build, 'inform', 'K1 informer line\nK2 time line\n')
    ringlist = os.path.join(build, 'tools', 'ringlist', 'ringlist')

    def dialrun_with(extra):
        def argv(folder):
            return d.argv(folder, fixtures.FIRST_RUN) + extra(folder)
        return argv

    def settings_setup(folder):
        d.setup(folder)
        fixtures.write(os.path.join(folder, 'board.conf'), '[dialrun]\nstop-hour = 21\n')

    def holidays_setup(folder):
        d.setup(folder)
        fixtures.write(os.path.join(folder, 'holidays.txt'), '2026-12-14\n01.01\n')

    def list_setup(folder):
        fixtures.write(os.path.join(folder, 'Ring.TXT'), fixtures.LIST)
        fixtures.write(os.path.join(folder, 'RINGY.txt'),
                       b'2345601   08-12 09:01:00  ' + b' ' * 42 + b'\r\n')

    def import_setup(folder):
        fixtures.write(os.path.join(folder, 'billing.csv'), fixtures.CSV)
        fixtures.write(os.path.join(folder, 'stop.txt'), '2345602\n')

    def rl(*args):
        return lambda folder: [ringlist] + [a.replace('DIR', folder) for a in args]

    no = lambda folder: []  # noqa: E731
    cases = [
        ('dialrun-list', 'Ring.TXT', d.setup, dialrun_with(no), b'wait\nstart\n'),
        ('dialrun-log', 'RINGY.txt', d.setup, dialrun_with(no), b'wait\nstart\n'),
        ('dialrun-attempts', 'Ring.TXT.attempts', d.setup, dialrun_with(no), b'wait\nstart\n'),
        ('dialrun-rack', 'rack.txt', d.setup, dialrun_with(no), b'wait\nstart\n'),
        ('dialrun-settings', 'board.conf', settings_setup,
         lambda f: [a for a in d.argv(f, fixtures.FIRST_RUN) if a != '--no-settings'] +
         ['--config', os.path.join(f, 'board.conf')], b'wait\nstart\n'),
        ('dialrun-holidays', 'holidays.txt', holidays_setup,
         dialrun_with(lambda f: ['--call-start', '9', '--holidays',
                                 os.path.join(f, 'holidays.txt')]), b'wait\nstart\n'),
        ('dialrun-status', 'status-dialrun.json', d.setup, dialrun_with(no), b'wait\nstart\n'),
        ('pinread-rack', 'rack.txt', pin.setup, lambda f: pin.command(f)[0],
         b'wait\nstart\nsleep 30\nstop\nwait\n'),
        ('inform-rack', 'rack.txt', inf.setup, lambda f: inf.command(f)[0],
         b'wait\nstart\nsleep 30\nstop\nwait\n'),
        ('ringlist-check-list', 'Ring.TXT', list_setup, rl('check', 'DIR/Ring.TXT'), b''),
        ('ringlist-report-log', 'RINGY.txt', list_setup, rl('report', 'DIR'), b''),
        ('ringlist-report-list', 'Ring.TXT', list_setup, rl('report', 'DIR'), b''),
        ('ringlist-exclude-stop', 'stop.txt', lambda f: (list_setup(f), import_setup(f)),
         rl('exclude', 'DIR/Ring.TXT', 'DIR/stop.txt'), b''),
        ('ringlist-retry-list', 'Ring.TXT', list_setup, rl('retry', 'DIR'), b''),
        ('ringlist-import-csv', 'billing.csv', import_setup,
         rl('import', 'DIR/billing.csv', 'DIR/Ring.TXT', '--number', '1', '--amount', '2',
            '--header'), b''),
        ('ringlist-import-stop', 'stop.txt', import_setup,
         rl('import', 'DIR/billing.csv', 'DIR/Ring.TXT', '--number', '1', '--amount', '2',
            '--header', '--exclude', 'DIR/stop.txt'), b''),
    ]
    return cases


def as_nobody(argv):
    return ['setpriv', '--reuid=nobody', '--regid=nogroup', '--clear-groups', '--'] + argv


def run_one(case, kind, work, env):
    name, target, setup, argv, stdin = case
    folder = os.path.join(work, name)
    if os.path.exists(folder):
        subprocess.run(['chmod', '-R', 'u+rwX', folder])
        shutil.rmtree(folder)
    os.makedirs(folder)
    setup(folder)
    path = os.path.join(folder, target)
    make_hostile(path, kind)
    before = {k: v for k, v in snapshot(folder).items() if k != target}
    command = argv(folder)
    if kind == 'unreadable' and os.geteuid() == 0:
        os.chmod(folder, 0o777)
        for entry in os.listdir(folder):
            p = os.path.join(folder, entry)
            if entry != target and not os.path.islink(p):
                os.chmod(p, 0o666 if os.path.isfile(p) else 0o777)
        command = as_nobody(command)
    started = time.monotonic()
    try:
        p = subprocess.run(command, input=stdin, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=GUARD, env=env)
        status, out = p.returncode, p.stdout
    except subprocess.TimeoutExpired:
        return [f'{name} {kind}: завис (больше {GUARD} с)']
    took = time.monotonic() - started
    found = []
    if status < 0:
        found.append(f'{name} {kind}: упал по сигналу {-status}')
    if status not in (0, 1, 2) and status >= 0:
        found.append(f'{name} {kind}: код {status}')
    if status != 0 and not out.strip():
        found.append(f'{name} {kind}: код {status} без единого слова')
    said = out.decode('utf-8', errors='replace')
    if kind in REASONS and name not in WRITTEN_OVER and \
            not any(reason in said for reason in REASONS[kind]):
        found.append(f'{name} {kind}: не сказано «{REASONS[kind][0]}» (код {status})')
    after = snapshot(folder)
    for k, v in before.items():
        if k in after and after[k] != v and not changes_allowed(name, k):
            found.append(f'{name} {kind}: изменен {k}')
    del took
    return found


def changes_allowed(case, name):
    """What the command writes as its work: a program's own logs and status, ringlist's
    outputs."""
    written = ('RINGY.txt', 'RINGN.txt', 'Ring.TXT', 'Ring.TXT.attempts', 'status-')
    return case.startswith(('dialrun', 'pinread', 'inform', 'ringlist-retry',
                            'ringlist-exclude', 'ringlist-import')) and \
        name.startswith(written)


def snapshot(folder):
    snap = {}
    for base, dirs, names in os.walk(folder):
        for n in names:
            p = os.path.join(base, n)
            try:
                st = os.lstat(p)
            except OSError:
                continue
            if stat.S_ISREG(st.st_mode) and st.st_size < 1 << 24:
                snap[os.path.relpath(p, folder)] = inv.read(p)
    return snap


def main():
    global GUARD
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--build', required=True)
    parser.add_argument('--case', action='append')
    parser.add_argument('--kind', action='append', choices=KINDS)
    parser.add_argument('--work')
    parser.add_argument('--guard', type=int, default=120,
                        help='seconds after which a run counts as hung (default 120)')
    args = parser.parse_args()
    GUARD = args.guard
    cases = inputs(os.path.abspath(args.build))
    if args.case:
        cases = [c for c in cases if c[0] in args.case]
    kinds = args.kind or KINDS
    work = args.work or tempfile.mkdtemp(prefix='hostile-sweep-')
    os.chmod(work, 0o755)
    # A sanitizer's report must not pass for a refusal (status 1).
    env = dict(os.environ, TZ='UTC', ASAN_OPTIONS='exitcode=99:detect_leaks=0')
    failures = []
    started = time.monotonic()
    for case in cases:
        for kind in kinds:
            found = run_one(case, kind, work, env)
            for f in found:
                print('   ', f, flush=True)
            failures += found
    print(f'hostile files: {len(cases)} inputs x {len(kinds)} kinds, {len(failures)} failed, '
          f'{time.monotonic() - started:.0f} s')
    if not args.work:
        subprocess.run(['chmod', '-R', 'u+rwX', work])
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
