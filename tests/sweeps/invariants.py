"""What must hold in a campaign folder after any kill or failed call, written once.

Each check takes a folder (and what it needs to compare with) and returns a list of
failures, in words; an empty list is a pass."""

import json
import os
import re

RECORD = re.compile(rb'^\d{7}..[ \d]{7}.[ YZNXS]\r\n$', re.S)
LOG_LINE = re.compile(rb'^\d{7}   \d\d-\d\d \d\d:\d\d:\d\d [ ZN] {42}\r\n$')
JOURNAL_LINE = re.compile(r'^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\t[a-z]+\t.*$')
ATTEMPT_LINE = re.compile(rb'^(\d+) (\d{7}) (\d+) (\d+)\r?\n$')


def read(path):
    try:
        with open(path, 'rb') as f:
            return f.read()
    except FileNotFoundError:
        return None


def list_records(data):
    """The records before the list's end marker, and the bytes from the marker on."""
    records = []
    pos = 0
    while pos < len(data):
        end = data.find(b'\n', pos)
        end = len(data) if end < 0 else end + 1
        line = data[pos:end]
        if len(line) >= 2 and line[1:2] == b'\n':
            return records, data[pos:]
        records.append(line)
        pos = end
    return records, b''


def list_is_whole(data, name='Ring.TXT'):
    """A list a program wrote: every record whole, the end marker there."""
    if data is None:
        return [name + ': нет файла']
    records, tail = list_records(data)
    bad = [i + 1 for i, r in enumerate(records) if not RECORD.match(r)]
    out = [f'{name}: запись {i} не цела' for i in bad[:3]]
    if not tail.startswith(b'\r\n'):
        out.append(name + ': нет пустой строки в конце')
    return out


def same_records_but_marks(before, after, name='Ring.TXT'):
    """Only mark bytes changed: the numbers, amounts and the tail are as they were."""
    if after is None:
        return [name + ': нет файла']
    rb, tb = list_records(before)
    ra, ta = list_records(after)
    if len(rb) != len(ra) or tb != ta:
        return [f'{name}: записей было {len(rb)}, стало {len(ra)}, или хвост другой']
    out = []
    for i, (x, y) in enumerate(zip(rb, ra)):
        if x[:17] != y[:17] or x[18:] != y[18:]:
            out.append(f'{name}: запись {i + 1} изменена не только в отметке')
    return out


def log_lines(data):
    """Whole 70-byte lines, and a torn tail (bytes after the last LF) if any."""
    if not data:
        return [], b''
    cut = data.rfind(b'\n') + 1
    body, tail = data[:cut], data[cut:]
    lines = [body[i:i + 70] for i in range(0, len(body), 70)]
    return lines, tail


def logs_are_whole(folder):
    out = []
    for name in ('RINGY.txt', 'RINGN.txt'):
        data = read(os.path.join(folder, name))
        if data is None:
            continue
        cut = data.rfind(b'\n') + 1
        body = data[:cut]
        for n, line in enumerate(body.split(b'\n')[:-1]):
            if not LOG_LINE.match(line + b'\n'):
                out.append(f'{name}: строка {n + 1} не цела: {line[:20]!r}')
                break
    return out


def logged_verdicts(folder):
    """(time key, number, mark) for every whole line of both logs, in time order."""
    found = []
    for name, default in (('RINGY.txt', 'Y'), ('RINGN.txt', None)):
        data = read(os.path.join(folder, name)) or b''
        for line in data.split(b'\n')[:-1]:
            line += b'\n'
            if not LOG_LINE.match(line):
                continue
            number = line[:7].decode()
            stamp = line[10:24].decode()  # dd-mm HH:MM:SS
            key = stamp[3:5] + stamp[0:2] + stamp[6:]
            mark = default or line[25:26].decode()
            found.append((key, number, mark))
    found.sort()
    return found


def attempts(folder):
    """number -> calls counted, the last line of a position standing."""
    data = read(os.path.join(folder, 'Ring.TXT.attempts')) or b''
    by_position = {}
    for line in data.splitlines(keepends=True):
        m = ATTEMPT_LINE.match(line)
        if m:
            by_position[int(m.group(1))] = (m.group(2).decode(), int(m.group(3)))
    counted = {}
    for number, count in by_position.values():
        counted[number] = max(counted.get(number, 0), count)
    return counted


def attempts_by_position(data):
    """What an attempts file says: position -> (number, count, last call), the last line of a
    position standing. Two files that say the same are the same state, whatever their bytes:
    the file is appended to, and a count set back is a line more."""
    if data is None:
        return None
    said = {}
    for line in data.splitlines(keepends=True):
        m = ATTEMPT_LINE.match(line)
        if m:
            said[int(m.group(1))] = (m.group(2), int(m.group(3)), int(m.group(4)))
    return said


def meaning(name, data):
    """A file's content as its readers take it."""
    return attempts_by_position(data) if name.endswith('.attempts') else data


def marks(folder):
    data = read(os.path.join(folder, 'Ring.TXT')) or b''
    records, _ = list_records(data)
    return {r[:7].decode(): chr(r[17]) for r in records if len(r) == 20}


def verdicts_agree_with_marks(folder, cap, attempts_kept, said_unlogged=(), premarked=()):
    """Every logged verdict is marked (where attempts are kept), every mark has its line (but
    the marks an earlier run left, premarked), no call after a Y, never over the cap, attempts
    never fewer than calls logged."""
    out = []
    m = marks(folder)
    logged = logged_verdicts(folder)
    by_number = {}
    for _, number, mark in logged:
        by_number.setdefault(number, []).append(mark)
    counted = attempts(folder)
    for number, seq in by_number.items():
        if 'Y' in seq and seq.index('Y') != len(seq) - 1:
            out.append(f'{number}: звонок после Y')
        if attempts_kept and len(seq) > cap:
            out.append(f'{number}: {len(seq)} звонков при пределе {cap}')
        if attempts_kept and counted.get(number, 0) < len(seq):
            out.append(f'{number}: попыток {counted.get(number, 0)}, звонков в журналах {len(seq)}')
        # A said failure leaves an earlier verdict's line last, never a Y's.
        excused = number in said_unlogged and seq[-1] != 'Y'
        if attempts_kept and m.get(number) != seq[-1] and m.get(number) != 'X' and not excused:
            out.append(f'{number}: в журнале {seq[-1]}, в списке {m.get(number)!r}')
    for number, mark in m.items():
        if mark in 'YZN' and number not in by_number and number not in said_unlogged \
                and number not in premarked:
            out.append(f'{number}: отметка {mark} без строки журнала')
    return out


def status_parses(path, want_state=None):
    data = read(path)
    if data is None:
        return []
    try:
        status = json.loads(data.decode('utf-8'))
    except (ValueError, UnicodeDecodeError) as e:
        return [f'{os.path.basename(path)}: не JSON: {e}']
    if want_state and status.get('state') != want_state:
        return [f'{os.path.basename(path)}: state {status.get("state")!r}, ждали {want_state!r}']
    return []


def journal_is_whole(folder):
    out = []
    jdir = os.path.join(folder, 'journal')
    if not os.path.isdir(jdir):
        return out
    for name in sorted(os.listdir(jdir)):
        data = read(os.path.join(jdir, name)) or b''
        try:
            text = data.decode('utf-8')
        except UnicodeDecodeError:
            out.append(name + ': не UTF-8')
            continue
        if text and not text.endswith('\n'):
            out.append(name + ': последняя строка не окончена')
        for n, line in enumerate(text.split('\n')[:-1]):
            if not JOURNAL_LINE.match(line):
                out.append(f'{name}: строка {n + 1} не цела: {line[:40]!r}')
                break
    return out


def one_of(path, choices, name=None):
    """The file is one of the given states (None: absent)."""
    data = read(path)
    if any(data == c for c in choices):
        return []
    shown = 'нет' if data is None else f'{len(data)} байт'
    return [f'{name or os.path.basename(path)}: ни прежний, ни новый ({shown})']


def backups_equal_a_list(folder, lists):
    """A backup beside the list is a list that was there: never a torn one."""
    out = []
    for name in os.listdir(folder):
        if name.endswith('.bak'):
            data = read(os.path.join(folder, name))
            if data not in lists:
                out.append(f'{name}: не равен ни одному прежнему списку')
    return out


def stray_files(folder, allowed):
    """Temporary files left behind that no run will clean."""
    out = []
    for name in os.listdir(folder):
        if name not in allowed and not name.endswith('.bak'):
            out.append(f'лишний файл {name}')
    return out


def stray_asides(folder):
    """A file written aside (NAME.new) that the next run of the same command left: a killed
    writer's leftovers are removed by the next run, never left to pile up."""
    out = []
    for base, _, names in os.walk(folder):
        for n in names:
            if n.endswith('.new'):
                out.append(f'лишний файл {os.path.relpath(os.path.join(base, n), folder)}')
    return out


def tree(folder):
    """Every file below a folder with its bytes: a snapshot to compare."""
    snap = {}
    for base, _, names in os.walk(folder):
        for n in names:
            p = os.path.join(base, n)
            snap[os.path.relpath(p, folder)] = read(p)
    return snap
