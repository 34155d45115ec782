#!/usr/bin/env python3
"""`varnox watch` learns from moves made through a real IMAP server.

Dovecot (Debian's dovecot-imapd) is started as an unprivileged process on a
loopback port over a temporary Maildir, with its own configuration, a
throw-away user and password file, and no system file touched. An IMAP client
moves a judged message into SpamFilter with UID MOVE, then back out as phones
do (UID COPY, \\Deleted, EXPUNGE: the copy gets a new file name); `varnox
watch` runs on the same Maildir with LearnFromMoves on and must teach each
move exactly once.

    dovecot_moves_test.py VARNOX_BINARY

Exit 0 passed, 1 failed, 77 skipped (Dovecot missing or unable to start).
Dovecot refuses to serve mail as root, so run as root the test runs itself
again as the user nobody, from a copy nobody may read (unprivileged.py).
"""
import imaplib
import os
import pwd
import grp
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written beside the sources
import unprivileged  # noqa: E402

SKIP = 77
DOVECOT = "/usr/sbin/dovecot"


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(SKIP)


def fail(reason, *details):
    print("FAILED: " + reason)
    for detail in details:
        print(detail)
    sys.exit(1)


def wait_for(done, seconds=15):
    until = time.monotonic() + seconds
    while not done():
        if time.monotonic() > until:
            return False
        time.sleep(0.05)
    return True


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def dovecot_conf(top, maildir, port):
    user = pwd.getpwuid(os.getuid()).pw_name
    group = grp.getgrgid(os.getgid()).gr_name
    return f"""base_dir = {top}/run
state_dir = {top}/run/state
log_path = {top}/dovecot.log
protocols = imap
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
default_internal_user = {user}
default_internal_group = {group}
default_login_user = {user}
mail_location = maildir:{maildir}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {top}/passwd
}}
userdb {{
  driver = passwd-file
  args = {top}/passwd
}}
service imap-login {{
  chroot =
  inet_listener imap {{
    address = 127.0.0.1
    port = {port}
  }}
}}
service anvil {{
  chroot =
}}
"""


class Run:
    def __init__(self, varnox, top):
        self.varnox = varnox
        self.top = top
        self.home = os.path.join(top, "home")
        self.maildir = os.path.join(self.home, "Maildir")
        self.env = {"HOME": self.home, "PATH": "/usr/bin:/bin", "LC_ALL": "C.UTF-8"}
        self.dovecot = None
        self.watch = None

    def command(self, *args):
        return subprocess.run([self.varnox, *args], env=self.env, capture_output=True,
                              text=True, timeout=60)

    def stats(self):
        return self.command("stats").stdout

    def watch_out(self):
        return read(os.path.join(self.top, "watch.out"))

    def deliver(self, name, text):
        tmp = os.path.join(self.maildir, "tmp", name)
        with open(tmp, "w") as f:
            f.write(text)
        os.rename(tmp, os.path.join(self.maildir, "new", name))

    def start_dovecot(self):
        port = free_port()
        conf = os.path.join(self.top, "dovecot.conf")
        with open(conf, "w") as f:
            f.write(dovecot_conf(self.top, self.maildir, port))
        with open(os.path.join(self.top, "passwd"), "w") as f:
            f.write("ann:{PLAIN}secret:::::\n")
        self.dovecot = subprocess.Popen([DOVECOT, "-c", conf, "-F"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
        client = []

        def connected():
            if self.dovecot.poll() is not None:
                return True
            try:
                client.append(imaplib.IMAP4("127.0.0.1", port))
                return True
            except OSError:
                return False

        if not wait_for(connected, 10) or not client:
            skip("Dovecot could not start: " + read(os.path.join(self.top, "dovecot.log")))
        client[0].login("ann", "secret")
        return client[0]

    def start_watch(self):
        out = open(os.path.join(self.top, "watch.out"), "w")
        err = open(os.path.join(self.top, "watch.err"), "w")
        self.watch = subprocess.Popen([self.varnox, "watch", self.maildir], env=self.env,
                                      stdout=out, stderr=err)
        if not wait_for(lambda: "Ctrl-C" in read(os.path.join(self.top, "watch.err"))):
            fail("watch did not start", read(os.path.join(self.top, "watch.err")))

    def printed(self, text):
        return wait_for(lambda: text in self.watch_out())

    def stop(self):
        if self.watch is not None and self.watch.poll() is None:
            self.watch.send_signal(signal.SIGTERM)
            self.watch.wait(60)
        if self.dovecot is not None and self.dovecot.poll() is None:
            self.dovecot.terminate()
            self.dovecot.wait(10)


def only_uid(client, mailbox):
    typ, data = client.select(mailbox)
    if typ != "OK":
        fail("cannot select " + mailbox, data)
    typ, data = client.uid("SEARCH", None, "ALL")
    uids = data[0].split()
    if typ != "OK" or len(uids) != 1:
        fail(f"{mailbox} should hold one message", data)
    return uids[0]


def check(run, client):
    if run.command("init").returncode != 0:
        fail("varnox init failed")
    if run.command("settings", "set", "LearnFromMoves", "on").returncode != 0:
        fail("the setting could not be set")
    for folder in (run.maildir, os.path.join(run.maildir, ".SpamFilter")):
        for sub in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(folder, sub), exist_ok=True)
    run.start_watch()
    run.deliver("1765100000.M1P1.host",
                "Received: by mx.example\nFrom: Ann <ann@example.org>\n"
                "Message-ID: <lunch@example.org>\nSubject: Lunch offer\n\n"
                "Shall we meet at noon for the cheap lunch offer?\n")
    if not run.printed('Inbox: "Lunch offer" NotSpam'):
        fail("the delivery was not judged", run.watch_out())

    typ, data = client.uid("MOVE", only_uid(client, "INBOX"), "SpamFilter")
    if typ != "OK":
        fail("UID MOVE failed", data)
    if not run.printed('"Lunch offer" moved into SpamFilter: learned as spam'):
        fail("the move into SpamFilter was not learned", run.watch_out())
    if "Spam messages   1\nGood messages   0\n" not in run.stats():
        fail("the database does not hold the spam lesson", run.stats())

    uid = only_uid(client, "SpamFilter")
    for command in (("COPY", uid, "INBOX"), ("STORE", uid, "+FLAGS", "(\\Deleted)")):
        typ, data = client.uid(*command)
        if typ != "OK":
            fail(command[0] + " failed", data)
    client.expunge()
    if not run.printed('Inbox: "Lunch offer" moved out of SpamFilter: learned as good mail'):
        fail("the move out of SpamFilter was not learned", run.watch_out())
    time.sleep(0.7)  # anything taught twice would show by now
    only_uid(client, "INBOX")
    client.logout()
    run.stop()
    out = run.watch_out()
    if out.count("learned as") != 2 or out.count("NotSpam") != 1:
        fail("each move must be taught once and the message judged once", out)
    if "Spam messages   1\nGood messages   1\n" not in run.stats():
        fail("the database does not hold both lessons", run.stats())
    print("passed: UID MOVE taught as spam, COPY + EXPUNGE taught as good mail, once each")


def main():
    if len(sys.argv) != 2:
        fail("usage: dovecot_moves_test.py VARNOX_BINARY")
    varnox = os.path.abspath(sys.argv[1])
    if not os.access(DOVECOT, os.X_OK):
        skip("Dovecot is not installed (Debian package dovecot-imapd)")
    unprivileged.rerun_as_nobody(os.path.abspath(__file__), varnox)
    top = tempfile.mkdtemp(prefix="varnox-dovecot-")
    run = Run(varnox, top)
    try:
        os.makedirs(run.maildir)
        client = run.start_dovecot()
        check(run, client)
    finally:
        run.stop()
        shutil.rmtree(top, ignore_errors=True)


if __name__ == "__main__":
    main()
