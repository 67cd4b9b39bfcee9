"""The writers the sweeps try, each on a small folder of its own (about five records, so that
every kill point can be run), with what an operator runs next and what must hold then."""

import os
import shutil
import subprocess

import campaign_server
import invariants as inv

# The hour is pinned: the runs take their time from --time (Dialrun, Pinread, Inform) or
# from libfaketime (ringlist's backup names carry the date and time).
FIRST_RUN = '2026-12-08T09:00:00'
RESTART = '2026-12-08T10:00:00'
FAKETIME_LIB = '/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1'

LIST = (b'2345601  0001500  \r\n'
        b'2345602  0012000  \r\n'
        b'2345603  0000700  \r\n'
        b'2345604  0003300 Z\r\n'
        b'2345605  0000050  \r\n'
        b'\r\n')
# The same, as import writes it: the database keeps the amount as a number.
SHARED_LIST = (b'2345601     1500  \r\n'
               b'2345602    12000  \r\n'
               b'2345603      700  \r\n'
               b'2345604     3300 Z\r\n'
               b'2345605       50  \r\n'
               b'\r\n')
RACK = ('K1 ring line busy=0 results=1,2,0\n'
        'K2 ring line busy=1 results=2,1\n'
        'K3 ring line busy=0 results=3,1\n')
CSV = ('Телефон;Долг\n'
       '+998 (71) 234-56-01;1 500,00\n'
       '8 71 234 56 02;12000\n'
       '71 234 56 03;700,4\n'
       'нет номера;100\n'
       '2345605;50\n')


def write(path, data):
    with open(path, 'wb') as f:
        f.write(data if isinstance(data, bytes) else data.encode('utf-8'))


def frozen_env():
    env = dict(os.environ)
    if os.path.exists(FAKETIME_LIB):
        env['LD_PRELOAD'] = FAKETIME_LIB
        env['FAKETIME'] = '2026-12-08 10:00:00'
        env['FAKETIME_DONT_FAKE_MONOTONIC'] = '1'
    env['TZ'] = 'UTC'
    return env


class Writer:
    """A command that writes, its files, and its invariants. Subclasses fill in the rest."""
    name = ''
    files = ()
    appended = ()  # logs it appends to, part by part: whole lines, and once after the next run  # the files it owns, by name in its folder (temporary names included)

    def __init__(self, build):
        self.build = build

    def owned(self, folder):
        return [os.path.join(folder, f) for f in self.files]

    def learn(self, folder):
        self.old = inv.tree(folder)
        argv, stdin, env = self.command(folder)
        status, out = run_plain(argv, stdin, env)
        if status != 0:
            raise RuntimeError(f'{self.name}: a clean run failed ({status}): {out[-400:]!r}')
        self.new = inv.tree(folder)

    def after_error(self, folder, status, out, error):
        """A failed call: refused (status 1, said, every file as it was) or done in full."""
        now = inv.tree(folder)
        if status == 0:
            return [] if self.done(now) else [f'код 0, но сделано не все ({error})']
        if not out.strip():
            return [f'код {status} без единого слова']
        return self.unchanged_or_done(now)

    def same(self, name, a, b):
        return inv.meaning(name, a) == inv.meaning(name, b)

    def done(self, now):
        return all(self.same(k, now.get(k), v) for k, v in self.new.items()
                   if not k.endswith('.bak') and k not in self.appended)

    def unchanged_or_done(self, now):
        old_ok = all(self.same(k, now.get(k), v) for k, v in self.old.items()
                     if k not in self.appended)
        return [] if old_ok or self.done(now) else ['файлы ни прежние, ни новые']


def run_plain(argv, stdin=b'', env=None):
    p = subprocess.run(argv, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       env=env, timeout=120)
    return p.returncode, p.stdout


class Dialrun(Writer):
    name = 'dialrun-campaign'
    files = ('Ring.TXT', 'RINGY.txt', 'RINGN.txt', 'Ring.TXT.attempts',
             'journal/dialrun-2026-12-08.log', 'status-dialrun.json', 'status-dialrun.json.new')

    def setup(self, folder):
        write(os.path.join(folder, 'Ring.TXT'), LIST)
        write(os.path.join(folder, 'rack.txt'), RACK)

    def argv(self, folder, at):
        return [os.path.join(self.build, 'dialrun', 'dialrun'), '--console', '--no-settings',
                '--fast', '--time', at, '--root', folder, '--simulate',
                os.path.join(folder, 'rack.txt'), '--retry', '2', '--retry-gap', '1',
                '--journal', 'yes', '--status-file', 'yes']

    def command(self, folder):
        return self.argv(folder, FIRST_RUN), b'wait\nstart\n', None

    def learn(self, folder):
        pass  # the verdicts depend on which board takes which record: checked by property

    said_unlogged = ()

    def after_kill(self, folder, status):
        self.said_unlogged = ()
        return inv.list_is_whole(inv.read(os.path.join(folder, 'Ring.TXT')))

    def after_error(self, folder, status, out, error):
        # A failed log line is said and the run goes on; a list that cannot be marked ends it.
        found = [] if status in (0, 1) else [f'код {status}']
        # A mark whose log line the run said it could not write stands without that line
        # (DESIGN): with none, or with an earlier verdict's line as its last. One a failure.
        self.said_unlogged = ()
        said = out.count('Ошибка записи в C:\\RING'.encode())
        if said:
            last = {}
            for _, number, mark in inv.logged_verdicts(folder):
                last[number] = mark
            unlogged = {n for n, m in inv.marks(folder).items()
                        if m in 'YZN' and last.get(n) != m and last.get(n) != 'Y'}
            if len(unlogged) <= said:
                self.said_unlogged = unlogged
        return found + inv.list_is_whole(inv.read(os.path.join(folder, 'Ring.TXT')))

    def after_next(self, folder):
        status, out = run_plain(self.argv(folder, RESTART), b'wait\nstart\n')
        found = [] if status == 0 else [f'перезапуск: код {status}: {out[-300:]!r}']
        found += inv.same_records_but_marks(LIST, inv.read(os.path.join(folder, 'Ring.TXT')))
        found += inv.logs_are_whole(folder)
        found += inv.verdicts_agree_with_marks(folder, cap=2, attempts_kept=True,
                                               said_unlogged=self.said_unlogged,
                                               premarked={'2345604'})
        found += inv.status_parses(os.path.join(folder, 'status-dialrun.json'), 'ended')
        found += inv.journal_is_whole(folder)
        return found


class SharedDialrun(Writer):
    """Dialrun on a campaign shared in the database: its outbox, its logs, its journal and its
    status file are what it writes; after a kill the same rack starts again and the campaign
    ends with every verdict in the database, once."""
    name = 'dialrun-shared'
    files = ('RINGY.txt', 'RINGN.txt', 'Ring.TXT.outbox', 'Ring.TXT.outbox.new',
             'journal/dialrun-2026-12-08.log', 'status-dialrun.json', 'status-dialrun.json.new')
    said = 0

    def setup(self, folder):
        write(os.path.join(folder, 'rack.txt'), RACK)
        self.server = campaign_server.server()
        self.conn = self.server.new_database()
        ringlist = os.path.join(self.build, 'tools', 'ringlist', 'ringlist')
        list_folder = os.path.join(folder, 'list')
        os.makedirs(list_folder)
        write(os.path.join(list_folder, 'Ring.TXT'), SHARED_LIST)
        for args in (['init'], ['push', list_folder, '--campaign', 'sweep', '--retry', '2',
                                '--retry-gap', '1s']):
            status, out = run_plain([ringlist, 'db'] + args + ['--db', self.conn])
            if status != 0:
                raise RuntimeError(f'ringlist db {args[0]}: {out[-300:]!r}')

    def argv(self, folder, at):
        return [os.path.join(self.build, 'dialrun', 'dialrun'), '--console', '--no-settings',
                '--fast', '--time', at, '--root', folder, '--simulate',
                os.path.join(folder, 'rack.txt'), '--campaign-db', self.conn, '--campaign',
                'sweep', '--rack-name', 'sweep', '--claim-lease', '5', '--journal', 'yes',
                '--status-file', 'yes']

    def command(self, folder):
        return self.argv(folder, FIRST_RUN), b'wait\nstart\nwait\n', frozen_zone()

    def learn(self, folder):
        pass  # which board takes which record varies: checked by property

    def after_kill(self, folder, status):
        self.said = 0
        return []

    def after_error(self, folder, status, out, error):
        # A log line that could not be written is said; its verdict is in the database all
        # the same, one line more there than here.
        self.said = out.count('Ошибка записи в C:\\RING'.encode())
        return [] if status in (0, 1) else [f'код {status}']

    def after_next(self, folder):
        status, out = run_plain(self.argv(folder, RESTART), b'wait\nstart\nwait\n',
                                frozen_zone())
        found = [] if status == 0 else [f'перезапуск: код {status}: {out[-300:]!r}']
        found += inv.logs_are_whole(folder)
        found += inv.journal_is_whole(folder)
        found += inv.status_parses(os.path.join(folder, 'status-dialrun.json'), 'ended')
        q = lambda sql: self.server.query(self.conn, sql)  # noqa: E731
        for what, sql, want in (
                ('звонков сверх 2', 'SELECT count(*) FROM records WHERE calls > 2', '0'),
                ('звонок записан дважды',
                 'SELECT count(*) - count(DISTINCT (record_id, attempt)) FROM results', '0'),
                ('записи не оповещены и звонки не исчерпаны',
                 "SELECT count(*) FROM records WHERE NOT (mark = 'Y' OR calls = 2)", '0'),
                ('записи держит стойка', 'SELECT count(*) FROM records WHERE held_by IS NOT NULL',
                 '0')):
            got = q(sql)
            if got != want:
                found.append(f'{what}: {got}')
        outbox = inv.read(os.path.join(folder, 'Ring.TXT.outbox'))
        if outbox:
            found.append(f'Ring.TXT.outbox не пуст после перезапуска: {outbox[:80]!r}')
        found += self.logs_in_database(folder)
        return found

    def logs_in_database(self, folder):
        """Every line of the rack's logs is in db pull's; the database has at most one more, the
        verdict a kill cut between the outbox and the log (or a line said unwritten)."""
        pulled = os.path.join(folder, 'pull')
        shutil.rmtree(pulled, ignore_errors=True)
        os.makedirs(pulled)
        ringlist = os.path.join(self.build, 'tools', 'ringlist', 'ringlist')
        status, out = run_plain([ringlist, 'db', 'pull', '--campaign', 'sweep', pulled, '--db',
                                 self.conn])
        if status != 0:
            return [f'db pull: код {status}: {out[-200:]!r}']
        local, database = [], []
        for name in ('RINGY.txt', 'RINGN.txt'):
            local += inv.log_lines(inv.read(os.path.join(folder, name)))[0]
            database += inv.log_lines(inv.read(os.path.join(pulled, name)))[0]
        missing = [line for line in local if line not in database]
        if missing:
            return [f'строки журнала нет в базе: {missing[0][:26]!r}']
        if len(database) - len(local) > 1 + self.said:
            return [f'в базе {len(database)} результатов, в журналах стойки {len(local)}']
        return []


def frozen_zone():
    env = dict(os.environ)
    env['TZ'] = 'UTC'
    return env


class Station(Writer):
    """Pinread or Inform: the journal and the status file are what they write."""

    def __init__(self, build, program, rack):
        super().__init__(build)
        self.program = program
        self.rack = rack
        self.name = program + '-service'
        self.files = (f'journal/{program}-2026-12-08.log', f'status-{program}.json',
                      f'status-{program}.json.new')

    def setup(self, folder):
        write(os.path.join(folder, 'rack.txt'), self.rack)

    def command(self, folder):
        argv = [os.path.join(self.build, self.program, self.program), '--console',
                '--no-settings', '--fast', '--time', FIRST_RUN, '--root', folder, '--simulate',
                os.path.join(folder, 'rack.txt'), '--journal', 'yes', '--status-file', 'yes']
        return argv, b'wait\nstart\nsleep 30\nstop\nwait\n', None

    def learn(self, folder):
        pass

    def after_kill(self, folder, status):
        return inv.status_parses(os.path.join(folder, f'status-{self.program}.json'))

    def after_error(self, folder, status, out, error):
        return [] if status in (0, 1) else [f'код {status}']

    def after_next(self, folder):
        argv, stdin, _ = self.command(folder)
        status, out = run_plain(argv, stdin)
        found = [] if status == 0 else [f'перезапуск: код {status}: {out[-300:]!r}']
        found += inv.status_parses(os.path.join(folder, f'status-{self.program}.json'), 'ended')
        found += inv.journal_is_whole(folder)
        return found


# What a ringlist command says when it refuses with every file as it was.
SAYS_NOTHING_CHANGED = ('не изменен', 'ничего не изменено', 'Отметки не сняты',
                        'Список не записан', 'Части не записаны')


class Ringlist(Writer):
    """A ringlist command: after a kill every file is the old or the new one, whole, and the
    same command again brings the new state."""
    args = ()
    again_args = None  # what the operator runs next, when not the same command

    def ringlist(self, folder, args):
        exe = os.path.join(self.build, 'tools', 'ringlist', 'ringlist')
        return [exe] + [a.replace('DIR', folder) for a in args]

    def command(self, folder):
        return self.ringlist(folder, self.args), b'', frozen_env()

    def owned(self, folder):
        names = set(self.files)
        for snap in (getattr(self, 'old', {}), getattr(self, 'new', {})):
            names |= {k for k in snap}
        extra = set()
        for n in names:
            extra |= {n + '.new'}
        # The folder too: its sync after a rename is a call that may fail.
        return [os.path.join(folder, n) for n in sorted(names | extra)
                if not n.endswith(('.csv.in', 'stop.txt', 'rack.txt'))] + [folder]

    def after_error(self, folder, status, out, error):
        found = super().after_error(folder, status, out, error)
        text = out.decode('utf-8', 'replace')
        now = inv.tree(folder)
        unchanged = all(self.same(k, now.get(k), v) for k, v in self.old.items()
                        if not k.endswith('.bak') and k not in self.appended)
        if status != 0 and not unchanged and any(s in text for s in SAYS_NOTHING_CHANGED):
            found.append(f'сказано, что файлы прежние, а они изменены: {text[-200:]!r}')
        return found

    def after_kill(self, folder, status):
        now = inv.tree(folder)
        found = []
        for name in set(self.old) | set(self.new):
            if name.endswith('.bak') or name in self.appended:
                continue
            choices = [self.old.get(name), self.new.get(name)]
            if not any(self.same(name, now.get(name), c) for c in choices):
                found.append(f'{name}: ни прежний, ни новый')
        found += inv.backups_equal_a_list(folder, self.lists())
        found += self.pairs(now)
        return found

    def lists(self):
        """Every list that was there: what a backup may hold."""
        return [self.old.get('Ring.TXT'), self.new.get('Ring.TXT')]

    def pairs(self, now):
        """Files that must change together: both old or both new."""
        return []

    def after_next(self, folder):
        status, out = run_plain(self.ringlist(folder, self.again_args or self.args), b'',
                                frozen_env())
        now = inv.tree(folder)
        found = [] if status in (0, 1) else [f'повтор: код {status}: {out[-300:]!r}']
        for name, data in self.new.items():
            if name.endswith('.bak') or name.endswith('.rejects.csv'):
                continue
            if not self.same(name, now.get(name), data):
                found.append(f'после повтора {name} не новый')
        found += inv.backups_equal_a_list(folder, self.lists())
        found += inv.stray_asides(folder)
        return found


class ImportNew(Ringlist):
    name = 'ringlist-import-new'
    args = ('import', 'DIR/billing.csv.in', 'DIR/Ring.TXT', '--header', '--number', 'Телефон',
            '--amount', 'Долг', '--prefix', '99871,871,71')
    files = ('Ring.TXT', 'Ring.TXT.rejects.csv')

    def setup(self, folder):
        write(os.path.join(folder, 'billing.csv.in'), CSV)

    def after_error(self, folder, status, out, error):
        # A list placed before its rejects could be: said, not success, and the journal
        # left for the next import to finish (checked after the next run).
        if status == 1 and 'Ring.TXT.import' in inv.tree(folder) \
                and 'Отклоненные строки не на месте'.encode() in out:
            return []
        return super().after_error(folder, status, out, error)

    def pairs(self, now):
        # Two files cannot change in one step: where they part, the import's journal beside
        # them says so, and the next import finishes or undoes the cut one.
        if 'Ring.TXT.import' in now:
            return []
        listed = now.get('Ring.TXT')
        rejects = now.get('Ring.TXT.rejects.csv')
        new_list = listed == self.new.get('Ring.TXT')
        new_rejects = rejects == self.new.get('Ring.TXT.rejects.csv')
        return [] if new_list == new_rejects else ['список и отклоненные строки не от одного раза']


class ImportAppend(ImportNew):
    name = 'ringlist-import-append'
    args = ImportNew.args + ('--append',)

    def setup(self, folder):
        write(os.path.join(folder, 'billing.csv.in'), CSV)
        write(os.path.join(folder, 'Ring.TXT'), LIST[:40] + b'\r\n')
        write(os.path.join(folder, 'Ring.TXT.rejects.csv'), 'старые;отклоненные\n')


class Exclude(Ringlist):
    name = 'ringlist-exclude'
    args = ('exclude', 'DIR/Ring.TXT', 'DIR/stop.txt', '--prefix', '871')
    files = ('Ring.TXT',)

    def setup(self, folder):
        write(os.path.join(folder, 'Ring.TXT'), LIST)
        write(os.path.join(folder, 'stop.txt'), '# стоп\n8712345602\n2345604\n')


class Retry(Ringlist):
    name = 'ringlist-retry'
    args = ('retry', 'DIR', '--max-attempts', '3', '--min-gap', '1')
    files = ('Ring.TXT', 'Ring.TXT.attempts')

    def setup(self, folder):
        write(os.path.join(folder, 'Ring.TXT'), LIST.replace(b'0000700  ', b'0000700 N'))
        write(os.path.join(folder, 'Ring.TXT.attempts'),
              b'3 2345603 1 1765180800\r\n4 2345604 2 1765180800\r\n')



class Split(Ringlist):
    name = 'ringlist-split'
    args = ('split', 'DIR/Ring.TXT', '2', 'DIR/parts')
    files = ('Ring.TXT', 'Ring.TXT.split', 'parts/1/Ring.TXT', 'parts/2/Ring.TXT')

    def setup(self, folder):
        write(os.path.join(folder, 'Ring.TXT'), LIST)

    def after_next(self, folder):
        # A deal written is out, even when the master's marks are not: no other deal may
        # follow it (two deals of the same records), and the refusal changes nothing.
        found = []
        if os.path.exists(os.path.join(folder, 'Ring.TXT.split')):
            def kept(snap):  # a killed write's aside file goes with any run that holds the list
                return {k: v for k, v in snap.items() if not k.endswith('.new')}
            before = kept(inv.tree(folder))
            other = self.ringlist(folder, ('split', 'DIR/Ring.TXT', '3', 'DIR/other'))
            status, out = run_plain(other, b'', frozen_env())
            if status != 1 or kept(inv.tree(folder)) != before:
                found.append(f'вторая раздача после обрыва: код {status}: {out[-300:]!r}')
        return found + super().after_next(folder)

    def after_error(self, folder, status, out, error):
        # A part that cannot be written after the marks: the deal stands, said so, and the
        # same split writes the rest (checked after the next run).
        if status == 1 and 'повторите ту же раздачу, она допишет части'.encode() in out:
            return self.after_kill(folder, status)
        return super().after_error(folder, status, out, error)

    def after_kill(self, folder, status):
        # A part is never out while its records can still be called on the master.
        found = super().after_kill(folder, status)
        master = inv.read(os.path.join(folder, 'Ring.TXT')) or b''
        callable_numbers = {master[at:at + 7] for at in range(0, len(master) - 2, 20)
                            if master[at + 17:at + 18] == b' '}
        for part in ('1', '2'):
            data = inv.read(os.path.join(folder, 'parts', part, 'Ring.TXT')) or b''
            for at in range(0, len(data) - 2, 20):
                if data[at:at + 7] in callable_numbers:
                    found.append(f'{data[at:at + 7].decode()} в части {part} и без отметки '
                                 'в основном списке')
        return found


class Merge(Ringlist):
    name = 'ringlist-merge'
    args = ('merge', 'DIR/Ring.TXT', 'DIR/parts/1', 'DIR/parts/2')
    files = ('Ring.TXT', 'Ring.TXT.split', 'RINGY.txt', 'RINGN.txt')
    appended = ('RINGY.txt', 'RINGN.txt')

    def lists(self):
        return super().lists() + [LIST]

    def setup(self, folder):
        write(os.path.join(folder, 'Ring.TXT'), LIST)
        exe = os.path.join(self.build, 'tools', 'ringlist', 'ringlist')
        subprocess.run([exe, 'split', os.path.join(folder, 'Ring.TXT'), '2',
                        os.path.join(folder, 'parts')], check=True, env=frozen_env(),
                       stdout=subprocess.DEVNULL)
        # Every dealt record comes back with a result: a merge cut short then leaves no S in
        # the master, the state a cut split's check must not take for its own.
        for part, (mark, log) in (('1', (b'Y', 'RINGY.txt')), ('2', (b'N', 'RINGN.txt'))):
            path = os.path.join(folder, 'parts', part, 'Ring.TXT')
            data = bytearray(inv.read(path))
            lines = b''
            for at in range(0, len(data) - 2, 20):
                data[at + 17:at + 18] = mark
                lines += (data[at:at + 7] + b'   08-12 09:01:00 ' +
                          (b'N' if mark == b'N' else b' ') + b' ' * 42 + b'\r\n')
            write(path, bytes(data))
            write(os.path.join(folder, 'parts', part, log), bytes(lines))

    def after_error(self, folder, status, out, error):
        # A merge is steps over several files: one that fails half-way says so, and the next
        # merge finishes it without doing any step twice (checked after the next run).
        if status != 0 and not out.strip():
            return [f'код {status} без единого слова']
        return [] if status != 0 or self.done(inv.tree(folder)) else ['код 0, но сделано не все']

    def after_next(self, folder):
        found = super().after_next(folder)
        before = inv.tree(folder)
        run_plain(self.ringlist(folder, self.args), b'', frozen_env())
        after = inv.tree(folder)
        for name in ('RINGY.txt', 'RINGN.txt'):
            if before.get(name) != after.get(name):
                found.append(f'второе слияние дописало {name}')
        return found


class Report(Ringlist):
    name = 'ringlist-report'
    args = ('report', 'DIR', '--csv', 'DIR/out.csv', '--html', 'DIR/out.html')
    again_args = args + ('--force',)
    files = ('out.csv', 'out.html')

    def setup(self, folder):
        write(os.path.join(folder, 'Ring.TXT'), LIST.replace(b'0001500  ', b'0001500 Y'))
        write(os.path.join(folder, 'RINGY.txt'),
              b'2345601   08-12 09:01:00  ' + b' ' * 42 + b'\r\n')
        write(os.path.join(folder, 'RINGN.txt'),
              b'2345604   08-12 09:02:00 Z' + b' ' * 42 + b'\r\n')


def writers(build):
    shared = [SharedDialrun(build)] if campaign_server.binaries() else []
    return [
        Dialrun(build),
    ] + shared + [
        Station(build, 'pinread', 'K1 dtmf line ring=40\nK2 dtmf line ring=1000000\n'),
        Station(build, 'inform', 'K1 informer line\nK2 time line\n'),
        ImportNew(build),
        ImportAppend(build),
        Exclude(build),
        Retry(build),
        Split(build),
        Merge(build),
        Report(build),
    ]
