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

A third rule keeps the shells off the user interface of the add-in: a shell
does a command's work by calling the operations of the core, never by
reaching the toolbar, the commands its buttons run or a dialog's controller
(USER_INTERFACE), nor by clicking a control by its caption. Only the files
of UI_SHOWN show a dialog, to a person: the console faces of the dialogs
and the terminal prompts of `varnox settings` and `varnox train`.

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
    'linux/imap': ('varnox_imap', ['platform', 'host', 'mime', 'linux/platform']),
    'linux/watch': ('varnox_watch', CORE + ['linux/platform', 'linux/maildir']),
    'linux/cli': ('varnox_cli', CORE + ['linux/platform', 'linux/maildir', 'linux/dialogs',
                                        'linux/eval', 'linux/watch', 'linux/imap']),
    'win/platform': ('varnox_win_platform', ['platform']),
    # The Outlook adapters implement the add-in's Outlook-only interfaces
    # (addin/explorer.h, addin/command_bar.h) beside the mail-store seam.
    'win/outlook': ('varnox_outlook', ['platform', 'host', 'addin', 'win/platform']),
    'win/dialogs': ('varnox_win_dialogs', ['platform', 'win/platform']),
    'win/com': ('varnox_win_com', CORE + ['win/platform', 'win/outlook', 'win/dialogs']),
}
# The add-in's user interface: the toolbar, the commands its buttons run,
# and the dialogs' controllers.
USER_INTERFACE = {
    'addin/toolbar.h', 'addin/list_commands.h', 'addin/mail_commands.h',
    'addin/settings_commands.h', 'lists/list_dialog.h', 'mail/folder_pickers.h',
    'mail/train_dialog.h', 'settings/settings_dialog.h', 'settings/info_dialogs.h',
}
SHELLS = ('linux/', 'win/')
# The shell files that show a dialog to a person, and the dialogs they show.
UI_SHOWN = {
    'linux/dialogs/console_dialog_runner.cc': {
        'mail/folder_pickers.h', 'mail/train_dialog.h', 'settings/info_dialogs.h',
        'settings/settings_dialog.h'},
    'linux/cli/settings_command.cc': {'settings/settings_dialog.h'},
    'linux/cli/train_command.cc': {'mail/train_dialog.h'},
}
# A control clicked by its caption.
CLICK_BY_CAPTION = re.compile(r'Click\s*\(\s*"')

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
                offences += user_interface_offences(relative, text, include.findall(text))
    return offences


def user_interface_offences(relative, text, included):
    """What the shell file `relative` does with the add-in's user interface."""
    if not relative.startswith(SHELLS):
        return []
    offences = []
    for header in included:
        if header in USER_INTERFACE and header not in UI_SHOWN.get(relative, set()):
            offences.append(f'{relative} includes {header} (a shell calls the operations, '
                            'not the toolbar or a dialog)')
    if CLICK_BY_CAPTION.search(text):
        offences.append(f'{relative} clicks a control by its caption')
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
