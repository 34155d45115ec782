"""Runs a test script again as the user nobody when it was started as root.

Some programs a test starts (Dovecot, delivery agents) refuse to work as
root, so such a test re-runs itself as nobody. The clone it comes from may
sit where nobody cannot read (under /root, which is 0700), so the script,
this module and the varnox program are first copied into a fresh folder
that nobody may read and run; the copy is removed afterwards.
"""
import os
import shutil
import subprocess
import sys
import tempfile


def rerun_as_nobody(script, varnox):
    """When running as root, runs `script` with `varnox` again as nobody from
    a readable copy of both and exits with its status; otherwise returns."""
    if os.getuid() != 0:
        return
    setpriv = shutil.which("setpriv") or "/usr/bin/setpriv"
    python = "/usr/bin/python3" if os.access("/usr/bin/python3", os.X_OK) else sys.executable
    folder = tempfile.mkdtemp(prefix="varnox-as-nobody-")
    try:
        os.chmod(folder, 0o755)
        copies = []
        for source, mode in ((script, 0o644), (__file__, 0o644), (varnox, 0o755)):
            copy = os.path.join(folder, os.path.basename(source))
            shutil.copyfile(source, copy)
            os.chmod(copy, mode)
            copies.append(copy)
        status = subprocess.run([setpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                 python, copies[0], copies[2]]).returncode
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    sys.exit(status if status >= 0 else 128 - status)
