#!/usr/bin/env python3
"""A local SMTP server for the support mail tests (aiosmtpd).

Listens on 127.0.0.1 at a free port and prints "ready <port>" once it accepts connections. LOGIN (and
PLAIN) authentication against one user and password; every attempt is logged to FOLDER/auth.log as
"<mechanism> <login> <ok|denied> tls=<0|1>". Each message received is stored as FOLDER/mail-<n>.eml with
FOLDER/mail-<n>.meta ("tls=<0|1>", "from=...", "to=..."). Runs until terminated.

  smtp_server.py FOLDER USER PASSWORD MODE [CERT KEY]
  MODE: plain     no TLS at all; AUTH offered in the clear
        starttls  STARTTLS offered (CERT, KEY); AUTH only after it
        smtps     TLS from the first byte (CERT, KEY)
"""

import asyncio
import os
import signal
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def over_tls(server):
    transport = server.transport
    return 1 if transport is not None and transport.get_extra_info("ssl_object") is not None else 0


class Store:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "mail-%d" % self.count)
        with open(base + ".eml", "wb") as out:
            out.write(envelope.original_content or envelope.content)
        with open(base + ".meta", "w") as out:
            out.write("tls=%d\nfrom=%s\nto=%s\n" % (over_tls(server), envelope.mail_from,
                                                     ",".join(envelope.rcpt_tos)))
        return "250 OK"


class Authenticator:
    def __init__(self, folder, user, password):
        self.log = os.path.join(folder, "auth.log")
        self.user = user.encode()
        self.password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and auth_data.login == self.user and \
            auth_data.password == self.password
        login = auth_data.login.decode(errors="replace") if isinstance(auth_data, LoginPassword) else "?"
        with open(self.log, "a") as out:
            out.write("%s %s %s tls=%d\n" % (mechanism, login, "ok" if ok else "denied", over_tls(server)))
        return AuthResult(success=ok, handled=False)


async def main():
    folder, user, password, mode = sys.argv[1:5]
    context = None
    if mode in ("starttls", "smtps"):
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(sys.argv[5], sys.argv[6])
    loop = asyncio.get_running_loop()
    store = Store(folder)
    authenticator = Authenticator(folder, user, password)

    def protocol():
        return SMTP(store, hostname="127.0.0.1", authenticator=authenticator, auth_required=True,
                    tls_context=context if mode == "starttls" else None,
                    auth_require_tls=(mode == "starttls"), loop=loop)

    server = await loop.create_server(protocol, "127.0.0.1", 0, ssl=context if mode == "smtps" else None)
    print("ready %d" % server.sockets[0].getsockname()[1], flush=True)
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    await stop.wait()
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
