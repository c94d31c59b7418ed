# The tests' SMTP server: aiosmtpd on a free loopback port, AUTH LOGIN over plain text with one static user.
#
# Every message received is stored in FOLDER as <n>.eml (the bytes as received, dot-stuffing undone),
# <n>.parsed (the message as Python's standard mail parser reads it, see parsed_view) with the decoded
# content of each leaf part in <n>.leaf<k>, and <n>.envelope (lines "AUTH <user>" when the session logged
# in, "FROM <sender>", "TO <recipient>" ...). Each is written to a temporary name and renamed, so a
# reader never sees half a file; the .envelope comes last. Prints "PORT <n>" once it listens; ends when its standard input closes.
#
#   /usr/bin/python3 smtp_server.py FOLDER USER PASSWORD
import email
import email.policy
import logging
import os
import socket
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Store:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            number = self.count
        base = os.path.join(self.folder, str(number))
        lines = []
        if session.authenticated and isinstance(session.auth_data, LoginPassword):
            lines.append("AUTH " + session.auth_data.login.decode("utf-8", "replace"))
        lines.append("FROM " + envelope.mail_from)
        lines.extend("TO " + rcpt for rcpt in envelope.rcpt_tos)
        write_atomically(base + ".eml", envelope.original_content)
        write_atomically(base + ".parsed", parsed_view(envelope.original_content, base).encode("utf-8"))
        write_atomically(base + ".envelope", ("\n".join(lines) + "\n").encode("utf-8"))
        return "250 OK"


class Authenticator:
    def __init__(self, user, password):
        self.user = user.encode("utf-8")
        self.password = password.encode("utf-8")

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = (mechanism == "LOGIN" and isinstance(auth_data, LoginPassword)
              and auth_data.login == self.user and auth_data.password == self.password)
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)


def parsed_view(content, base):
    """Lines "HEADER <name>\t<decoded value>" for the top-level headers, "DEFECT <text>" for every defect
    the parser found, "PART <depth> <content type>" for every part in order, and for each leaf part
    "LEAF <k> <content type>\t<file name or empty>", its decoded bytes in <base>.leaf<k>."""
    message = email.message_from_bytes(content, policy=email.policy.default)
    lines = ["HEADER %s\t%s" % (name, value) for name, value in message.items()]
    leaves = 0

    def visit(part, depth):
        nonlocal leaves
        lines.extend("DEFECT %r" % defect for defect in part.defects)
        for value in part.values():
            lines.extend("DEFECT %r" % defect for defect in getattr(value, "defects", ()))
        lines.append("PART %d %s" % (depth, part.get_content_type()))
        if part.is_multipart():
            for child in part.iter_parts():
                visit(child, depth + 1)
            return
        leaves += 1
        write_atomically("%s.leaf%d" % (base, leaves), part.get_payload(decode=True))
        lines.append("LEAF %d %s\t%s" % (leaves, part.get_content_type(), part.get_filename() or ""))

    visit(message, 0)
    return "\n".join(lines) + "\n"


def write_atomically(path, data):
    with open(path + ".part", "wb") as out:
        out.write(data)
    os.rename(path + ".part", path)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start(folder, user, password):
    # The port is found free and then bound by the server: another process may take it in between,
    # so a failed start is tried again on a new port.
    last_error = None
    for _ in range(20):
        controller = Controller(Store(folder), hostname="127.0.0.1", port=free_port(),
                                authenticator=Authenticator(user, password), auth_require_tls=False,
                                auth_exclude_mechanism=["PLAIN"], data_size_limit=0)
        try:
            controller.start()
            return controller
        except Exception as error:  # noqa: BLE001 - any failure to listen means: try another port
            last_error = error
    raise SystemExit("cannot start the SMTP server: %s" % last_error)


def main():
    # aiosmtpd's own use of a deprecated field would otherwise warn on every log-in.
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    folder, user, password = sys.argv[1:4]
    controller = start(folder, user, password)
    print("PORT %d" % controller.port, flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
