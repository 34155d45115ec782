#!/usr/bin/env python3
"""`varnox classify --stamp` under real delivery agents.

Each agent (procmail, maildrop, and Dovecot's deliver with a Sieve `filter`
step of sieve_extprograms) delivers a spam message and a clean one through the
recipe that docs/varnox.md gives, into a temporary Maildir: spam must land in
.SpamFilter with its stamp, clean mail in the inbox with its own, also when
its sender wrote a verdict field of his own (which must be gone); and when
varnox fails (no settings), the message must land in the inbox byte for byte
as it came. Nothing outside a temporary folder is read or written.

    delivery_agents_test.py VARNOX_BINARY

Exit 0 passed, 1 failed, 77 skipped (no agent installed). An agent that is
not installed is skipped with a message. Agents reset HOME from the password
file and Dovecot will not deliver as root, so run as root the test runs itself
again as the user nobody, from a copy nobody may read (unprivileged.py).
"""
import glob
import os
import shutil
import stat
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # nothing written beside the sources
import unprivileged  # noqa: E402

SKIP = 77
# "привет" encoded: non-English, so spam on an untrained filter.
SPAM = ("Received: by mx.example\nFrom: ivan@example.ru\n"
        "Subject: =?utf-8?B?0L/RgNC40LLQtdGC?=\n\nhello\n")
CLEAN = "Received: by mx.example\nFrom: ann@example.org\nSubject: Lunch\n\nat noon\n"
# Clean mail whose sender wrote a verdict of his own above ours: a recipe
# that reads the first X-VNX-RESULT line would file it as spam.
FORGED = ("Received: by mx.example\nX-VNX-RESULT:Spam\nx-vnx-score: 100\n"
          "From: bob@example.org\nSubject: Minutes\n\nof the meeting\n")
DOVECOT_LDA = "/usr/lib/dovecot/dovecot-lda"


class Failure(Exception):
    pass


def write(path, text, mode=0o600):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)


def messages(folder):
    found = {}
    for path in glob.glob(os.path.join(folder, "new", "*")):
        with open(path, encoding="utf-8", errors="replace") as f:
            found[path] = f.read()
    return found


class Agent:
    """One delivery agent over a fresh Maildir; `home` holds varnox's files
    (an empty one makes varnox fail)."""

    def __init__(self, top, varnox, home):
        self.top = tempfile.mkdtemp(dir=top)
        self.varnox = varnox
        self.home = home
        self.maildir = os.path.join(self.top, "Maildir")
        for folder in (self.maildir, os.path.join(self.maildir, ".SpamFilter")):
            for sub in ("cur", "new", "tmp"):
                os.makedirs(os.path.join(folder, sub))

    def run(self, command, message):
        done = subprocess.run(command, input=message, capture_output=True, text=True,
                              cwd=self.top, timeout=60)
        if done.returncode != 0:
            raise Failure(f"{command[0]} exited {done.returncode}: {done.stderr}")


class Procmail(Agent):
    name = "procmail"
    program = "procmail"

    def deliver(self, message):
        rc = os.path.join(self.top, "procmailrc")
        write(rc, f"""HOME={self.home}
MAILDIR={self.maildir}/
DEFAULT=$MAILDIR
:0 fw
| {self.varnox} classify --stamp
:0
* ^X-VNX-RESULT:(Spam|Non English Spam)
.SpamFilter/
""")
        self.run(["procmail", "-m", rc], message)


class Maildrop(Agent):
    name = "maildrop"
    program = "maildrop"

    def deliver(self, message):
        rc = os.path.join(self.top, "mailfilter")
        write(rc, f"""HOME="{self.home}"
SHELL="/bin/sh"
DEFAULT="{self.maildir}"
xfilter '{self.varnox} classify --stamp || test $? -eq 1'
if (/^X-VNX-RESULT: *(Spam|Non English Spam)/:h)
  to "{self.maildir}/.SpamFilter"
""")
        self.run(["maildrop", rc], message)


class Sieve(Agent):
    name = "Sieve (dovecot-lda, sieve_extprograms)"
    program = DOVECOT_LDA

    def deliver(self, message):
        bin_dir = os.path.join(self.top, "sieve-bin")
        os.makedirs(bin_dir, exist_ok=True)
        # The program Sieve may run, by name; here with the test's HOME.
        write(os.path.join(bin_dir, "varnox"),
              f'#!/bin/sh\nHOME="{self.home}" exec "{self.varnox}" "$@"\n', 0o700)
        write(os.path.join(self.top, "filter.sieve"), """require ["vnd.dovecot.filter", "fileinto", "mailbox"];
filter "varnox" ["classify", "--stamp"];
if header :is "X-VNX-RESULT" ["Spam", "Non English Spam"] {
  fileinto :create "SpamFilter";
}
""")
        conf = os.path.join(self.top, "dovecot.conf")
        write(conf, f"""base_dir = {self.top}/run
state_dir = {self.top}/run/state
log_path = {self.top}/lda.log
mail_location = maildir:{self.maildir}
protocol lda {{
  mail_plugins = sieve
}}
plugin {{
  sieve = file:{self.top}/sieve;active={self.top}/filter.sieve
  sieve_plugins = sieve_extprograms
  sieve_extensions = +vnd.dovecot.filter
  sieve_filter_bin_dir = {bin_dir}
}}
""")
        self.run([DOVECOT_LDA, "-c", conf, "-e"], message)


def check(agent_class, top, varnox, home, empty_home):
    agent = agent_class(top, varnox, home)
    agent.deliver(SPAM)
    agent.deliver(CLEAN)
    agent.deliver(FORGED)
    spam = list(messages(os.path.join(agent.maildir, ".SpamFilter")).values())
    inbox = sorted(messages(agent.maildir).values(), key=lambda text: "Minutes" in text)
    if len(spam) != 1 or "\nX-VNX-RESULT:Non English Spam\n\nhello\n" not in spam[0]:
        raise Failure(f"spam did not land in .SpamFilter with its stamp: {spam}")
    if len(inbox) != 2 or "\nX-VNX-RESULT:NotSpam\nX-VNX-SCORE:" not in inbox[0]:
        raise Failure(f"clean mail did not land in the inbox with its stamp: {inbox}")
    forged = inbox[1]
    if (forged.lower().count("x-vnx-result") != 1 or forged.lower().count("x-vnx-score") != 1
            or "\nX-VNX-RESULT:NotSpam\nX-VNX-SCORE:" not in forged):
        raise Failure(f"the verdict a sender wrote was kept beside ours: {forged}")

    broken = agent_class(top, varnox, empty_home)
    broken.deliver(SPAM)
    inbox = list(messages(broken.maildir).values())
    if inbox != [SPAM] or messages(os.path.join(broken.maildir, ".SpamFilter")):
        raise Failure(f"with varnox failing, the message was not passed on unchanged: {inbox}")


def main():
    if len(sys.argv) != 2:
        print("usage: delivery_agents_test.py VARNOX_BINARY")
        return 1
    varnox = os.path.abspath(sys.argv[1])
    unprivileged.rerun_as_nobody(os.path.abspath(__file__), varnox)
    top = tempfile.mkdtemp(prefix="varnox-agents-")
    os.chmod(top, stat.S_IRWXU)
    try:
        home = os.path.join(top, "home")
        empty_home = os.path.join(top, "empty-home")
        os.makedirs(home)
        os.makedirs(empty_home)
        init = subprocess.run([varnox, "init"], env={"HOME": home, "PATH": "/usr/bin:/bin"},
                              capture_output=True, text=True)
        if init.returncode != 0:
            print("FAILED: varnox init: " + init.stderr)
            return 1
        ran = 0
        failed = 0
        for agent_class in (Procmail, Maildrop, Sieve):
            if shutil.which(agent_class.program) is None:
                print(f"SKIPPED: {agent_class.name}: {agent_class.program} is not installed")
                continue
            ran += 1
            try:
                check(agent_class, top, varnox, home, empty_home)
                print(f"passed: {agent_class.name}")
            except Failure as failure:
                failed += 1
                print(f"FAILED: {agent_class.name}: {failure}")
        if ran == 0:
            return SKIP
        return 1 if failed else 0
    finally:
        shutil.rmtree(top, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
