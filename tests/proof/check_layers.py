#!/usr/bin/env python3
"""Checks that the libraries depend on each other one way only.

Each product folder is one library. A library may use only the folders
named for it in LAYERS: the portable core in the order
platform <- host, settings, mime <- engine, lists <- mail <- addin, and each
shell on the core and on its own lower folders. Two views are checked:

- the link graph that CMake itself reports (`cmake --graphviz` on a fresh
  configuration of the native build), every library of which must be in
  LAYERS;
- the quoted #include lines of every source file, which also covers the
  Windows shell (its graph needs the cross toolchain).

Usage: check_layers.py SOURCE_DIR CMAKE [WORK_DIR]
Exit status 0 when both views agree with LAYERS, 1 with the offences listed.
"""

import os
import re
import subprocess
import sys
import tempfile

CORE = ['platform', 'host', 'settings', 'mime', 'engine', 'lists', 'mail', 'addin']

# folder: (library, folders it may use)
LAYERS = {
    'platform': ('varnox_platform', []),
    'host': ('varnox_host', ['platform']),
    'settings': ('varnox_settings', ['platform']),
    'mime': ('varnox_mime', ['platform']),
    'engine': ('varnox_engine', ['platform', 'settings']),
    'lists': ('varnox_lists', ['platform', 'settings']),
    'mail': ('varnox_mail', ['platform', 'host', 'settings', 'engine', 'lists']),
    'addin': ('varnox_addin', ['platform', 'host', 'settings', 'engine', 'lists', 'mail']),
    'linux/platform': ('varnox_linux_platform', ['platform']),
    'linux/maildir': ('varnox_maildir', ['platform', 'host', 'mime', 'linux/platform']),
    'linux/dialogs': ('varnox_linux_dialogs', CORE + ['linux/platform']),
    'linux/eval': ('varnox_eval', CORE + ['linux/platform', 'linux/maildir']),
    'linux/imap': ('varnox_imap', ['platform', 'linux/platform']),
    'linux/cli': ('varnox_cli',
                  CORE + ['linux/platform', 'linux/maildir', 'linux/dialogs', 'linux/eval']),
    'win/platform': ('varnox_win_platform', ['platform']),
    # The Outlook adapters implement the add-in's Outlook-only interfaces
    # (addin/explorer.h, addin/command_bar.h) beside the mail-store seam.
    'win/outlook': ('varnox_outlook', ['platform', 'host', 'addin', 'win/platform']),
    'win/dialogs': ('varnox_win_dialogs', ['platform', 'win/platform']),
    'win/com': ('varnox_win_com', CORE + ['win/platform', 'win/outlook', 'win/dialogs']),
}
# Programs and modules stand above every library.
PROGRAMS = {'varnox', 'VarnoxMail', 'VarnoxRegister'}


def folder_of(path):
    """The LAYERS folder that holds `path` (the longest match), or None."""
    best = None
    for folder in LAYERS:
        if path.startswith(folder + '/') and (best is None or len(folder) > len(best)):
            best = folder
    return best


def include_offences(source_dir):
    offences = []
    include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
    for folder in LAYERS:
        root = os.path.join(source_dir, folder)
        for directory, _, names in os.walk(root):
            for name in sorted(names):
                if not name.endswith(('.cc', '.h')):
                    continue
                relative = os.path.relpath(os.path.join(directory, name), source_dir)
                if folder_of(relative) != folder:
                    continue  # a deeper folder's file
                with open(os.path.join(source_dir, relative), encoding='latin-1') as f:
                    text = f.read()
                for included in include.findall(text):
                    used = folder_of(included)
                    if used is not None and used != folder and used not in LAYERS[folder][1]:
                        offences.append(f'{relative} includes {included} ({folder} may not use {used})')
    return offences


def link_edges(source_dir, cmake, work_dir):
    build = os.path.join(work_dir, 'build')
    dot = os.path.join(work_dir, 'deps.dot')
    subprocess.run([cmake, '-S', source_dir, '-B', build, '-DVARNOX_BUILD_TESTS=OFF',
                    '-DVARNOX_BUILD_BENCH=OFF', f'--graphviz={dot}'],
                   check=True, stdout=subprocess.DEVNULL)
    with open(dot, encoding='utf-8') as f:
        return re.findall(r'// (\S+) -> (\S+)', f.read())


def link_offences(edges):
    folder_of_library = {library: folder for folder, (library, _) in LAYERS.items()}
    offences = []
    for user, used in edges:
        if not (user.startswith('varnox_') or user in PROGRAMS):
            continue  # a system library's own dependencies
        if user in PROGRAMS:
            continue
        if user not in folder_of_library:
            offences.append(f'library {user} has no place in the layers')
            continue
        if not used.startswith('varnox_'):
            continue
        if used not in folder_of_library:
            offences.append(f'library {used} has no place in the layers')
            continue
        folder, target = folder_of_library[user], folder_of_library[used]
        if target not in LAYERS[folder][1]:
            offences.append(f'{user} links {used} ({folder} may not use {target})')
    return offences


def main(argv):
    if len(argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    source_dir, cmake = argv[1], argv[2]
    with tempfile.TemporaryDirectory(dir=argv[3] if len(argv) == 4 else None) as work_dir:
        edges = link_edges(source_dir, cmake, work_dir)
    if not any(user == 'varnox_addin' for user, _ in edges):
        print('cmake --graphviz reported no link of varnox_addin: nothing was checked')
        return 1
    offences = include_offences(source_dir) + link_offences(edges)
    for offence in offences:
        print(offence)
    print(f'{len(edges)} links and the includes of {len(LAYERS)} folders checked, '
          f'{len(offences)} offences')
    return 1 if offences else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
