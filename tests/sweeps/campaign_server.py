"""A PostgreSQL of the sweep's own for the shared campaign's writer: started once, on a free
loopback port in a temporary folder (as nobody when run as root: initdb refuses root), a new
database for each run, stopped when the sweep ends."""

import atexit
import glob
import os
import shutil
import socket
import subprocess
import tempfile
import threading

_lock = threading.Lock()
_server = None


def binaries():
    found = sorted(glob.glob('/usr/lib/postgresql/*/bin/initdb'),
                   key=lambda p: int(p.split('/')[4]))
    return os.path.dirname(found[-1]) if found else None


def _as_server(argv):
    return (['runuser', '-u', 'nobody', '--'] + argv) if os.geteuid() == 0 else argv


class Server:
    def __init__(self, bindir):
        self.bin = bindir
        self.dir = tempfile.mkdtemp(prefix='sweep-pg-')
        os.chmod(self.dir, 0o755)
        if os.geteuid() == 0:
            shutil.chown(self.dir, 'nobody')
        self.databases = 0
        subprocess.run(_as_server([f'{self.bin}/initdb', '-D', f'{self.dir}/data', '-U',
                                   'boardrack', '-A', 'trust', '-E', 'UTF8', '--no-locale',
                                   '--no-sync']), check=True, capture_output=True)
        with socket.socket() as s:
            s.bind(('127.0.0.1', 0))
            self.port = s.getsockname()[1]
        subprocess.run(_as_server([f'{self.bin}/pg_ctl', '-D', f'{self.dir}/data', '-l',
                                   f'{self.dir}/log', '-w', '-o',
                                   f'-p {self.port} -c listen_addresses=127.0.0.1 '
                                   f'-c unix_socket_directories={self.dir} -c fsync=off',
                                   'start']), check=True, capture_output=True)
        atexit.register(self.stop)

    def stop(self):
        subprocess.run(_as_server([f'{self.bin}/pg_ctl', '-D', f'{self.dir}/data', '-m', 'fast',
                                   '-w', 'stop']), capture_output=True)
        shutil.rmtree(self.dir, ignore_errors=True)

    def new_database(self):
        """A new empty database's ODBC connection string."""
        with _lock:
            self.databases += 1
            name = f'sweep{self.databases}'
        subprocess.run([f'{self.bin}/createdb', '-h', '127.0.0.1', '-p', str(self.port), '-U',
                        'boardrack', name], check=True, capture_output=True)
        return (f'Driver={{PostgreSQL Unicode}};Server=127.0.0.1;Port={self.port};'
                f'Database={name};Uid=boardrack;')

    def query(self, connection, sql):
        """One value, as text."""
        database = connection.split('Database=')[1].split(';')[0]
        p = subprocess.run(['psql', '-h', '127.0.0.1', '-p', str(self.port), '-U', 'boardrack',
                            '-d', database, '-tAc', sql], capture_output=True, text=True)
        return p.stdout.strip() if p.returncode == 0 else 'psql: ' + p.stderr.strip()


def server():
    """The sweep's server, started on first use; None where PostgreSQL is not installed."""
    global _server
    with _lock:
        if _server is None and binaries():
            _server = Server(binaries())
        return _server
