#!/usr/bin/env python3
"""TLS server for what nginx will not do on demand (loopback only, stdlib only).

Usage: python3 tls_fault_server.py --pki DIR --port-file FILE [--max-seconds S]
  DIR holds the files of make-test-pki.sh (good.crt, good.key, ca.crt).
  Listens on three ports the kernel picks and writes "close=P alert12=P alert13=P" to FILE:
    close    TLS 1.2/1.3 with good.crt; answers HTTP/1.0 200 with a body that ends at the
             close: /bare-close closes the TCP connection without a close_notify,
             /notify-close sends close_notify first.
    alert12  TLS 1.2 only, demands a client certificate: the handshake ends in an alert.
    alert13  TLS 1.3 only, demands a client certificate: the client's handshake completes,
             and the alert comes where the client reads the answer.
  Exits by itself after --max-seconds (default 300).
"""
import argparse
import os
import socket
import ssl
import threading

BODY = b"close-delimited body over TLS\n"


def context(pki, version=None, client_cert=False):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(os.path.join(pki, "good.crt"), os.path.join(pki, "good.key"))
    if version is not None:
        ctx.minimum_version = version
        ctx.maximum_version = version
    if client_cert:
        ctx.verify_mode = ssl.CERT_REQUIRED
        ctx.load_verify_locations(os.path.join(pki, "ca.crt"))
    return ctx


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        data += chunk
    return data.split(b"\r\n", 1)[0].decode("latin-1")


def serve_close(conn):
    line = read_head(conn)
    if line is None:
        return
    path = line.split(" ")[1] if " " in line else ""
    conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + BODY)
    if path == "/notify-close":
        conn = conn.unwrap()
    conn.close()


def serve_alert(conn):
    read_head(conn)
    conn.close()


def close_gently(raw):
    """Closes after the client has: closing with its bytes unread would reset the connection,
    and the client would see the reset instead of the alert sent before it."""
    try:
        raw.shutdown(socket.SHUT_WR)
        while raw.recv(4096):
            pass
    except OSError:
        pass
    raw.close()


def handle(raw, ctx, serve):
    raw.settimeout(10)
    conn = ctx.wrap_socket(raw, server_side=True, do_handshake_on_connect=False)
    try:
        # TLS 1.3: the client's certificate (or its absence) is only seen here, after the
        # client has finished its part of the handshake.
        conn.do_handshake()
        serve(conn)
    except (ssl.SSLError, OSError):
        close_gently(conn)  # shutting an SSLSocket down leaves it a plain socket


def listen(ctx, serve):
    sock = socket.socket()
    sock.bind(("127.0.0.1", 0))
    sock.listen(16)

    def loop():
        while True:
            raw, _ = sock.accept()
            threading.Thread(target=handle, args=(raw, ctx, serve), daemon=True).start()

    threading.Thread(target=loop, daemon=True).start()
    return sock.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pki", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--max-seconds", type=float, default=300)
    args = parser.parse_args()
    ports = {
        "close": listen(context(args.pki), serve_close),
        "alert12": listen(context(args.pki, ssl.TLSVersion.TLSv1_2, True), serve_alert),
        "alert13": listen(context(args.pki, ssl.TLSVersion.TLSv1_3, True), serve_alert),
    }
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(" ".join("%s=%d" % item for item in ports.items()) + "\n")
    os.rename(tmp, args.port_file)
    threading.Event().wait(args.max_seconds)


if __name__ == "__main__":
    main()
