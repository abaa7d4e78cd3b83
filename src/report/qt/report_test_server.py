"""A local HTTPS server for the problem report's transport test.

    report_test_server.py DIR

Makes a CA (DIR/ca.pem) and a certificate for 127.0.0.1 signed by it, listens on 127.0.0.1 on a
free port, prints the port on its first line and serves until its standard input closes (or two
minutes pass). The path chooses the answer:
  /status/<code>/...  that status, empty body      /hang/...   reads the request, never answers
  /redirect/...       302 to another path           /cut/...    200 whose body stops half-way
  /big/...            200 with a 3 MiB body          anything else: 200, and the request is
                                                     appended to DIR/record as one JSON line
"""
import http.server
import json
import os
import ssl
import subprocess
import sys
import threading

stopping = threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, code, body=b"", headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        parts = self.path.split("/")
        if self.path.startswith("/status/"):
            self.answer(int(parts[2]))
        elif self.path.startswith("/hang/"):
            stopping.wait(60)
        elif self.path.startswith("/redirect/"):
            self.answer(302, headers=[("Location", "/spacemarquee/diagnostics")])
        elif self.path.startswith("/cut/"):
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b"0123456789")
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(2)
        elif self.path.startswith("/big/"):
            self.answer(200, b"x" * (3 << 20))
        else:
            with open(os.path.join(sys.argv[1], "record"), "a", encoding="utf-8") as record:
                record.write(json.dumps({"method": self.command, "path": self.path,
                                         "headers": {k.lower(): v for k, v in self.headers.items()},
                                         "body": body.decode("utf-8")}) + "\n")
            self.answer(200, b"ok")


def make_certificates(directory):
    def openssl(*args):
        subprocess.run(["openssl", *args], cwd=directory, check=True, capture_output=True)

    with open(os.path.join(directory, "server.ext"), "w", encoding="ascii") as ext:
        ext.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")
    key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    openssl("req", "-x509", *key, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Test CA")
    openssl("req", *key, "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-out", "server.pem", "-days", "2", "-extfile", "server.ext")


def main():
    directory = sys.argv[1]
    make_certificates(directory)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(directory, "server.pem"), os.path.join(directory, "server.key"))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    threading.Thread(target=lambda: (sys.stdin.read(), stopping.set()), daemon=True).start()
    stopping.wait(120)
    stopping.set()
    server.shutdown()


if __name__ == "__main__":
    main()
