#!/usr/bin/env python3
"""Do the sweeps catch the faults they are there for? Each fault is planted in a scratch copy
of the tree, the programs it touches are built there, and the sweeps that should catch it are
run on that build: a fault they let through is a sweep too weak.

    planted_faults.py [--scratch DIR] [--fault NAME]... [--keep]

The faults: a list written in place instead of aside and renamed; a verdict's mark written
before its log line, with no replay of logged verdicts at start-up; a read (the stop list,
the rack file) that does not check that it reads a regular file. A patch that no longer
applies to the tree stops the script (status 2): the fault must be planted again by hand.

Not part of CI: it builds a second tree. Exit status 0 when every fault was caught."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

# A read that opens whatever the path names, bounded but never asking what it is: a FIFO
# blocks it, a folder reads as empty, /dev/zero as zeros.
PLAIN_READ = '''namespace {

std::string planted_plain_read(const std::filesystem::path& path, std::string& error,
                               std::uintmax_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "не открыт";
        return {};
    }
    std::string bytes;
    char chunk[4096];
    while (bytes.size() < limit && in.read(chunk, sizeof chunk).gcount() > 0) {
        bytes.append(chunk, static_cast<size_t>(in.gcount()));
    }
    return bytes;
}

}  // namespace

'''

LIST_IN_PLACE = [
    ('tools/ringlist/held_list.cpp',
     '    std::string error = write_like_list(file_, fresh, bytes);\n#ifdef _WIN32\n',
     '    fresh = target;\n'
     '    std::string error;\n'
     '    if (std::FILE* in_place = std::fopen(target.c_str(), "wb")) {\n'
     '        error = core::write_durably_and_close(in_place, bytes);\n'
     '    } else {\n'
     '        error = core::system_reason(errno);\n'
     '    }\n'
     '#ifdef _WIN32\n'),
]

MARK_BEFORE_LOG = [
    ('programs/dialrun/calling_engine.cpp',
     '    std::string error =\n'
     '        campaign::append_result_line(s_.drive.resolve(log_name), line, d_.list_mode);\n'
     '    if (!error.empty()) {\n'
     '        log_error(std::string("Ошибка записи в ") + log_name + ": " + error);\n'
     '    }\n'
     '    error = d_.list.mark_record(d_.record_end[k], reply);\n'
     '    if (!error.empty()) {\n'
     '        log_error("Ошибка записи отметки в C:\\\\Ring.TXT: " + error);\n'
     '    }\n',
     '    std::string error = d_.list.mark_record(d_.record_end[k], reply);\n'
     '    if (!error.empty()) {\n'
     '        log_error("Ошибка записи отметки в C:\\\\Ring.TXT: " + error);\n'
     '    }\n'
     '    error = campaign::append_result_line(s_.drive.resolve(log_name), line, d_.list_mode);\n'
     '    if (!error.empty()) {\n'
     '        log_error(std::string("Ошибка записи в ") + log_name + ": " + error);\n'
     '    }\n'),
    ('programs/dialrun/dialrun_controller.cpp',
     '        mark_logged_verdicts(list_bytes);\n',
     '        static_cast<void>(list_bytes);\n'),
]

NO_REPLAY = MARK_BEFORE_LOG[1:]


def plain_read_at(path, first_include, call, anchor):
    """The read at call replaced by the plain one, defined before anchor."""
    return [(path, first_include, first_include + '#include <fstream>\n'),
            (path, anchor, PLAIN_READ + anchor),
            (path, call, call.replace('core::read_regular_file', 'planted_plain_read')
             .replace('read_regular_file', 'planted_plain_read'))]


STOP_LIST_UNCHECKED = plain_read_at(
    'tools/ringlist/import/stop_list.cpp', '#include "ringlist/import/stop_list.h"\n',
    'core::read_regular_file(file, error, STOP_LIST_LIMIT)',
    'std::string read_stop_list(')

RACK_UNCHECKED = plain_read_at(
    'sim/rack_file.cpp', '#include "sim/rack_file.h"\n',
    'core::read_regular_file(core::utf8_path(path), error, core::LARGEST_SETTINGS)',
    'namespace sim {\n')

# name -> (what it is, the edits, the targets to build, the sweeps that should catch it)
FAULTS = {
    'list-in-place': (
        'ringlist writes the new list over the old one in place',
        LIST_IN_PLACE, ['ringlist'],
        [['kill_sweep.py', '--case', 'ringlist-exclude', '--case', 'ringlist-retry']]),
    'mark-before-log': (
        'Dialrun marks a verdict before its log line, and replays no logged verdicts',
        MARK_BEFORE_LOG, ['dialrun'],
        [['kill_sweep.py', '--case', 'dialrun-campaign']]),
    'no-replay': (
        'Dialrun logs, then marks, but replays no logged verdicts at start-up',
        NO_REPLAY, ['dialrun'],
        [['kill_sweep.py', '--case', 'dialrun-campaign']]),
    'stop-list-unchecked': (
        'ringlist reads the stop list without checking that it is a regular file',
        STOP_LIST_UNCHECKED, ['ringlist'],
        [['hostile_sweep.py', '--case', 'ringlist-exclude-stop', '--case',
          'ringlist-import-stop', '--guard', '30']]),
    'rack-unchecked': (
        'the programs read the rack file without checking that it is a regular file',
        RACK_UNCHECKED, ['dialrun', 'pinread', 'inform'],
        [['hostile_sweep.py', '--case', 'dialrun-rack', '--case', 'pinread-rack', '--case',
          'inform-rack', '--guard', '30']]),
}


class NotApplied(Exception):
    pass


def plant(tree, edits):
    """Applies the edits; returns the files' old texts to put back."""
    saved = {}
    for path, old, new in edits:
        full = os.path.join(tree, path)
        with open(full, encoding='utf-8') as f:
            text = f.read()
        saved.setdefault(full, text)
        found = text.count(old)
        if found != 1:
            raise NotApplied(f'{path}: the text to change is there {found} times, not once:\n'
                             f'{old}')
        with open(full, 'w', encoding='utf-8') as f:
            f.write(text.replace(old, new))
    return saved


def unplant(saved):
    for full, text in saved.items():
        with open(full, 'w', encoding='utf-8') as f:
            f.write(text)


def copy_tree(scratch):
    """The working tree as it is now (committed or not), without its builds."""
    os.makedirs(scratch, exist_ok=True)
    for entry in os.listdir(scratch):  # the build is kept: only what changed is built again
        if entry != 'build':
            path = os.path.join(scratch, entry)
            shutil.rmtree(path) if os.path.isdir(path) and not os.path.islink(path) \
                else os.unlink(path)
    files = subprocess.run(['git', '-C', REPO, 'ls-files', '-z', '--cached', '--others',
                            '--exclude-standard'], check=True, stdout=subprocess.PIPE).stdout
    for rel in files.decode().split('\0'):
        if not rel or not os.path.lexists(os.path.join(REPO, rel)):
            continue
        dest = os.path.join(scratch, rel)
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        shutil.copy2(os.path.join(REPO, rel), dest, follow_symlinks=False)


def build_env():
    env = dict(os.environ)
    env.setdefault('CMAKE_CXX_COMPILER_LAUNCHER', 'ccache')
    env.setdefault('CMAKE_C_COMPILER_LAUNCHER', 'ccache')
    # The copy's objects are the tree's: ccache may take them whatever folder it builds in.
    env.setdefault('CCACHE_NOHASHDIR', '1')
    return env


def build(scratch, targets, env):
    cmd = ['cmake', '--build', '--preset', 'default', '-j2', '--target'] + targets
    p = subprocess.run(cmd, cwd=scratch, env=env, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT)
    if p.returncode != 0:
        sys.stdout.write(p.stdout.decode(errors='replace')[-3000:])
        raise NotApplied('the planted tree does not build: ' + ' '.join(targets))


def sweep(scratch, argv):
    script = os.path.join(scratch, 'tests', 'sweeps', argv[0])
    cmd = [sys.executable, script, '--build', os.path.join(scratch, 'build', 'default')] + argv[1:]
    started = time.monotonic()
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    out = p.stdout.decode(errors='replace')
    return p.returncode, out, time.monotonic() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--scratch', help='the folder to copy the tree to (a new one in /tmp)')
    parser.add_argument('--fault', action='append', choices=sorted(FAULTS))
    parser.add_argument('--keep', action='store_true', help='leave the scratch copy')
    args = parser.parse_args()
    scratch = args.scratch or tempfile.mkdtemp(prefix='planted-faults-')
    env = build_env()
    copy_tree(scratch)
    subprocess.run(['cmake', '--preset', 'default'], cwd=scratch, env=env, check=True,
                   stdout=subprocess.DEVNULL)
    missed = []
    for name in args.fault or list(FAULTS):
        what, edits, targets, sweeps = FAULTS[name]
        print(f'== {name}: {what}', flush=True)
        try:
            saved = plant(scratch, edits)
        except NotApplied as e:
            print(f'   NOT PLANTED: {e}', flush=True)
            return 2
        try:
            build(scratch, targets, env)
            caught = False
            for argv in sweeps:
                status, out, took = sweep(scratch, argv)
                lines = [ln for ln in out.splitlines() if ln.strip()]
                print(f'   {" ".join(argv)}: status {status}, {took:.0f} s', flush=True)
                for ln in lines[:12]:
                    print('     |', ln, flush=True)
                caught = caught or status != 0
            print(f'   {name}: {"CAUGHT" if caught else "NOT CAUGHT"}', flush=True)
            if not caught:
                missed.append(name)
        finally:
            unplant(saved)
    if not args.keep and not args.scratch:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f'planted faults: {len(missed)} not caught' + (': ' + ', '.join(missed) if missed
                                                         else ''))
    return 1 if missed else 0


if __name__ == '__main__':
    sys.exit(main())
