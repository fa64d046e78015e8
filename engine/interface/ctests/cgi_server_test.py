#!/usr/bin/env python3
"""The engine as a CGI program behind a real web server.

Starts lighttpd on 127.0.0.1 at a free port with the CGI host program, sends
GET and POST requests (umlauts, "+", %xx escapes, long values, a TEXT* value
with a line break, malformed escapes, a body above the 8 MiB limit) and
compares each answer byte for byte. The server is stopped on every path.
Exits 77 (skipped) when lighttpd is not installed.

Usage: cgi_server_test.py <cgi host program>
"""
import http.client
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HEADER = b"Content-Type: text/plain; charset=windows-1252"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(port, server, seconds=20):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if server.poll() is not None:
            raise RuntimeError("lighttpd ended at start with %d" % server.returncode)
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("lighttpd does not answer on port %d" % port)


def request(port, method, target, body=None, headers=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    try:
        connection.putrequest(method, target, skip_accept_encoding=True)
        for key, value in (headers or {}).items():
            connection.putheader(key, value)
        if body is not None:
            connection.putheader("Content-Length", str(len(body)))
        connection.endheaders()
        if body is not None:
            connection.send(body)
        response = connection.getresponse()
        return response.status, response.getheader("Content-Type"), response.read()
    finally:
        connection.close()


def main():
    host = os.path.abspath(sys.argv[1])
    lighttpd = shutil.which("lighttpd") or ("/usr/sbin/lighttpd" if os.path.exists("/usr/sbin/lighttpd") else None)
    if not lighttpd:
        print("lighttpd is not installed: skipped")
        return 77
    work = tempfile.mkdtemp(prefix="zet-cgi-")
    port = free_port()
    os.symlink(host, os.path.join(work, "app.cgi"))
    config = os.path.join(work, "lighttpd.conf")
    with open(config, "w") as f:
        f.write('server.document-root = "%s"\n' % work)
        f.write('server.bind = "127.0.0.1"\n')
        f.write("server.port = %d\n" % port)
        f.write('server.modules = ("mod_cgi")\n')
        f.write('cgi.assign = (".cgi" => "")\n')
        f.write('server.errorlog = "%s"\n' % os.path.join(work, "error.log"))
        f.write("server.max-request-size = 16384\n")
        # Forms of this system send Windows-1252 escapes, which are not UTF-8.
        f.write('server.http-parseopts = ("url-invalid-utf8-reject" => "disable")\n')
    server = subprocess.Popen([lighttpd, "-D", "-f", config])
    failures = []
    try:
        wait_for(port, server)
        form = {"Content-Type": "application/x-www-form-urlencoded"}
        long_value = "x" * 300
        cases = [
            ("GET with umlauts, plus, escapes, a repeated and a long parameter",
             "GET", "/app.cgi?kunde=M%FCller&plus=a+b%2Bc&bad=%zz%4&Kunde=zwei&lang=" + long_value + "&leer=", None, {},
             b"kunde (6)=M&uuml;ller\n"
             b"bad (5)=%zz%4\n"
             b"plus (5)=a b+c\n"
             b"lang (300)=" + b"x" * 255 + b"\n"
             b"leer (0)=\n"),
            ("POST body and query together, a TEXT value with a line break, malformed escapes",
             "POST", "/app.cgi?q=1",
             b"text1=Gr%FC%DFe+an%0D%0Aalle&b=%4&c=%zz&q=2&d=%",
             form,
             b"q (1)=1\n"
             b"b (2)=%4\n"
             b"c (3)=%zz\n"
             b"d (1)=%\n"
             b"text1 (14)=Gr&uuml;&szlig;e an\r\nalle\n"),
            ("POST of a long value: the whole value in its text buffer",
             "POST", "/app.cgi", b"big=" + b"y" * 100000 + b"&z=%3C%22%26%3E", form,
             b"big (65534)=" + b"y" * 255 + b"\n"
             b"z (4)=&lt;&quot;&amp;&gt;\n"),
            ("POST of a body above 8 MiB: the body is not read, the query is",
             "POST", "/app.cgi?q=3", b"a=" + b"z" * (8 * 1024 * 1024), form,
             b"q (1)=3\n"),
        ]
        for name, method, target, body, headers, expected in cases:
            try:
                status, kind, answer = request(port, method, target, body, headers)
            except (OSError, http.client.HTTPException) as e:
                failures.append("%s: no answer (%s)" % (name, e))
                continue
            if status != 200 or kind != HEADER.split(b": ")[1].decode() or answer != expected:
                failures.append("%s:\n  status %s, type %r\n  expected %r\n  answered %r"
                                % (name, status, kind, expected[:400], answer[:400]))
            else:
                print("ok: " + name)
    finally:
        server.terminate()
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
        log = os.path.join(work, "error.log")
        if failures and os.path.exists(log):
            with open(log, errors="replace") as f:
                print("lighttpd error log:\n" + f.read()[-4000:])
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAILED " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
