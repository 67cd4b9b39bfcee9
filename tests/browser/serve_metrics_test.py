#!/usr/bin/env python3
"""ringlist serve's /metrics read by Prometheus' own parser (Debian's python3-prometheus-client),
on loopback without a key and off it with a key made by README's own command.

Usage: serve_metrics_test.py RINGLIST"""

import http.client
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

from prometheus_client.parser import text_string_to_metric_families


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def record(number, amount, mark=" "):
    return "%s  %7d %s\r\n" % (number, amount, mark)


def start_server(ringlist, args, port, address="127.0.0.1"):
    server = subprocess.Popen([ringlist, "serve", *args, "--listen", "%s:%d" % (address, port)],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    banner = server.stdout.readline()  # printed once it listens
    if "Страница прозвонки" not in banner:
        server.kill()
        raise SystemExit("ringlist serve did not start: " + banner + server.stdout.read())
    return server, banner


def get(port, path, headers=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    connection.request("GET", path, headers=headers or {})
    response = connection.getresponse()
    body = response.read().decode("utf-8")
    connection.close()
    return response, body


def samples(text):
    found = {}
    for family in text_string_to_metric_families(text):
        for s in family.samples:
            found[(s.name, tuple(sorted(s.labels.items())))] = s.value
    return found


def main():
    ringlist = sys.argv[1]
    work = tempfile.mkdtemp(prefix="serve_metrics_")
    rack = os.path.join(work, 'rack "1"\\east')
    os.makedirs(rack)
    with open(os.path.join(rack, "Ring.TXT"), "w", newline="") as f:
        f.write("".join(record("%07d" % (3000000 + i), 100 + i,
                               "Y" if i < 5 else ("X" if i == 19 else " ")) for i in range(20)))
        f.write("\r\n")
    with open(os.path.join(rack, "status-dialrun.json"), "w") as f:
        f.write('{"state": "paused", "until": "2026-12-08T13:00:00+03:00"}')
    servers = []
    try:
        port = free_port()
        gone = os.path.join(work, "gone")  # a share not mounted: kept in sight as an error
        server, banner = start_server(ringlist, [rack, gone], port)
        servers.append(server)
        assert "http://127.0.0.1:%d/" % port in banner, banner
        response, text = get(port, "/metrics")
        assert response.status == 200, (response.status, text)
        assert response.getheader("Content-Type").startswith("text/plain; version=0.0.4"), \
            response.getheader("Content-Type")
        found = samples(text)
        folder = ("folder", rack)
        assert found[("boardrack_records", (folder, ("mark", "Y")))] == 5, found
        assert found[("boardrack_records", (folder, ("mark", "uncalled")))] == 14, found
        assert found[("boardrack_records", (folder, ("mark", "X")))] == 1, found
        assert ("boardrack_calls_last_hour", (folder,)) in found, found
        assert found[("boardrack_folder_error", (folder,))] == 0, found
        assert found[("boardrack_folder_error", (("folder", gone),))] == 1, found
        assert ("boardrack_records", (("folder", gone), ("mark", "Y"))) not in found, found
        for state, value in (("paused", 1), ("running", 0), ("ended", 0), ("idle", 0)):
            key = ("boardrack_program_state", (folder, ("program", "dialrun"), ("state", state)))
            assert found[key] == value, (state, found)
        age = found[("boardrack_status_age_seconds", (folder, ("program", "dialrun")))]
        assert 0 <= age < 120, age
        # A rebinding name is refused without a key.
        response, _ = get(port, "/metrics", {"Host": "evil.example:%d" % port})
        assert response.status == 421, response.status
        # SIGTERM, as systemd stops it: it says so and ends cleanly.
        server.terminate()
        said, _ = server.communicate(timeout=120)
        assert server.returncode == 0, (server.returncode, said)
        assert "Сервер остановлен" in said, said

        # With README's key: nothing without it, the same numbers with it.
        key_file = os.path.join(work, "serve.key")
        subprocess.run("head -c 24 /dev/urandom | base64 | tr -d '/+=' > '%s'" % key_file,
                       shell=True, check=True)
        os.chmod(key_file, 0o600)
        with open(key_file) as f:
            key = f.read().strip()
        keyed = free_port()
        server, banner = start_server(ringlist, [rack, "--token-file", key_file], keyed)
        servers.append(server)
        assert "?token=..." in banner, banner
        response, _ = get(keyed, "/metrics")
        assert response.status == 401, response.status
        response, text = get(keyed, "/metrics", {"Authorization": "Bearer " + key})
        assert response.status == 200, response.status
        assert samples(text)[("boardrack_records", (folder, ("mark", "Y")))] == 5
        response, _ = get(keyed, "/?token=" + key)
        assert response.status == 303, response.status
        cookie = response.getheader("Set-Cookie")
        assert cookie.startswith("ringlist_token_%d=%s;" % (keyed, key)), cookie
        response, _ = get(keyed, "/", {"Cookie": "ringlist_token_%d=%s" % (keyed, key)})
        assert response.status == 200, response.status
        # This PC's name is its loopback address; an IPv6 one is written in brackets.
        named = free_port()
        server, banner = start_server(ringlist, [rack], named, "localhost")
        servers.append(server)
        assert "http://127.0.0.1:%d/" % named in banner, banner
        if socket.has_ipv6:
            try:
                with socket.socket(socket.AF_INET6) as s:
                    s.bind(("::1", 0))
                    six = s.getsockname()[1]
            except OSError:
                six = None
            if six:
                server, banner = start_server(ringlist, [rack], six, "[::1]")
                servers.append(server)
                assert "http://[::1]:%d/" % six in banner, banner
        print("serve metrics: parsed by prometheus_client; README's key works")
    finally:
        for server in servers:
            server.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
